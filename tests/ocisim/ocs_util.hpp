#pragma once

// small helpers of the Oracle stand-in: text conversion, Oracle errors, exact decimal
// numbers, dates and hexadecimal text

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace ocs
{

// an Oracle error: the number and the whole "ORA-NNNNN: ..." text
class ora_error : public std::runtime_error
{
public:
    ora_error(int code, const std::string &text);
    int code() const { return code_; }

private:
    int code_;
};

// throws ORA-<code> with the standard message; args fill the %s of the message in order
[[noreturn]] void fail(int code, const std::vector<std::string> &args = {});
std::string message(int code, const std::vector<std::string> &args = {});

std::string utf16_to_utf8(const char16_t *s, size_t n);
std::u16string utf8_to_utf16(const std::string &s);
size_t utf16_length(const std::string &utf8);     // UTF-16 units
size_t utf8_char_count(const std::string &utf8);  // code points
// well-formed UTF-8 (shortest forms, no surrogates, nothing above U+10FFFF), which the
// conversions above carry through UTF-16 unchanged; units: its UTF-16 units
bool plain_utf8(const char *s, size_t n, size_t &units);

std::string upper_ascii(std::string s);
bool iequals(const std::string &a, const std::string &b);
std::string trim(const std::string &s);
// glob with * and ?, ASCII case ignored
bool glob_match(const char *pat, const char *s);

std::string hex_encode(const std::string &bytes);                // upper case
std::optional<std::string> hex_decode(const std::string &text);  // odd length gets a leading 0

// exact decimal: value = 0.d1d2d3... x 10^exp, digits without leading or trailing zeros;
// zero has no digits
struct decimal
{
    bool neg = false;
    std::string digits;
    int exp = 0;

    static std::optional<decimal> parse(const std::string &text);
    static decimal from_int(long long v);
    bool is_zero() const { return digits.empty(); }
    // rounds half away from zero at 10^-scale
    decimal rounded(int scale) const;
    decimal rounded_significant(int n) const;
    int integer_digits() const { return digits.empty() ? 0 : exp; }
    bool is_integer() const { return digits.empty() || (int)digits.size() <= exp; }
    std::optional<__int128> to_int128() const;
    double to_double() const;
    // the text Oracle shows: .5, -12, 1E+30
    std::string render() const;
    int compare(const decimal &o) const;
};

decimal decimal_from_int128(__int128 v);

// BINARY_FLOAT (single) and BINARY_DOUBLE values. the stored text is the shortest one that
// reads back as the value as a double, a single rounded first ("inf" and "-inf" for the
// infinities)
std::string ieee_stored_text(double v, bool single);
// the text Oracle shows: the shortest digits in exponent form, 1.23123E+002, 1.0E+000, Inf
std::string ieee_display_text(double v, bool single = false);
// a number text as Oracle reads one for a binary column (INF, -INF and NaN included,
// blanks around it allowed); nothing for any other text
std::optional<double> ieee_parse(const std::string &text);

// dates as 'YYYY-MM-DD HH:MM:SS' (a timestamp with '.fffffffff', nine digits)
struct datetime
{
    int year = 0, month = 1, day = 1, hour = 0, minute = 0, second = 0;
    int nano = 0;
    std::string text(bool fraction = false) const;
    // the fraction rounded to digits places, as a TIMESTAMP(digits) column keeps it; the carry
    // may reach the next day (ORA-01841 past the year 9999)
    datetime rounded(int digits) const;
    static std::optional<datetime> parse_iso(const std::string &text);
    bool valid() const;
    // the days 1582-10-05 to 1582-10-14 are not in Oracle's calendar: they become 10-15
    datetime past_calendar_gap() const;
};

// TO_DATE(text, mask) for the masks the engine writes and the common elements; with
// timestamp, TO_TIMESTAMP: FF and FF1 to FF9 read the fraction (ORA-01821 in a date mask)
datetime to_date(const std::string &text, const std::string &mask, bool timestamp = false);
// 'DD-MON-RR', the default date text of a session
std::string default_date_text(const datetime &d);
std::optional<datetime> parse_default_date(const std::string &text);

} // namespace ocs
