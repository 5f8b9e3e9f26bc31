#include "pgs_value.hpp"

#include <climits>
#include <string>

namespace {

// exactly count digits from text into number; advances text
bool read_digits(const char*& text, int count, int& number)
{
    number = 0;
    for (int i = 0; i < count; ++i, ++text) {
        if (*text < '0' || *text > '9')
            return false;
        number = number * 10 + (*text - '0');
    }
    return true;
}

bool read_char(const char*& text, char c)
{
    if (*text != c)
        return false;
    ++text;
    return true;
}

} // namespace

bool pgs_parse_decimal(const char* text, DECIMAL& value)
{
    bool negative = false;
    if (*text == '-' || *text == '+')
        negative = *text++ == '-';
    std::string whole;
    std::string fraction;
    bool point = false;
    for (; *text; ++text) {
        if (*text == '.' && !point)
            point = true;
        else if (*text >= '0' && *text <= '9')
            (point ? fraction : whole) += *text;
        else
            return false;
    }
    if (whole.empty() && fraction.empty())
        return false;
    // the server pads the fraction to the column's scale: its trailing zeros carry
    // no value, so they go where the decimal's 28 places or 96 bits need the room
    while (fraction.size() > 28 && fraction.back() == '0')
        fraction.pop_back();
    if (fraction.size() > 28)
        return false;
    const unsigned __int128 limit = (static_cast<unsigned __int128>(1) << 96) - 1;
    unsigned __int128 mantissa = 0;
    for (;;) {
        mantissa = 0;
        bool fits = true;
        for (const std::string* digits : {&whole, &fraction})
            for (const char c : *digits)
                if (fits) {
                    mantissa = mantissa * 10 + static_cast<unsigned>(c - '0');
                    fits = mantissa <= limit;
                }
        if (fits)
            break;
        if (fraction.empty() || fraction.back() != '0')
            return false;
        fraction.pop_back();
    }
    value = DECIMAL{};
    value.scale = static_cast<BYTE>(fraction.size());
    value.sign = negative && mantissa != 0 ? DECIMAL_NEG : 0;
    value.Hi32 = static_cast<ULONG>(mantissa >> 64);
    value.Lo64 = static_cast<ULONGLONG>(mantissa);
    return true;
}

bool pgs_parse_date(const char* text, SYSTEMTIME& value)
{
    int day, month, year, hour, minute, second, millisecond;
    if (!read_digits(text, 2, day) || !read_char(text, '-') || !read_digits(text, 2, month) ||
        !read_char(text, '-') || !read_digits(text, 4, year) || !read_char(text, ' ') ||
        !read_digits(text, 2, hour) || !read_char(text, ':') || !read_digits(text, 2, minute) ||
        !read_char(text, ':') || !read_digits(text, 2, second) || !read_char(text, ' ') ||
        !read_digits(text, 3, millisecond) || *text != '\0')
        return false;
    if (year < 1 || month < 1 || month > 12 || day < 1 || day > 31 || hour > 23 || minute > 59 ||
        second > 60)
        return false;
    value = SYSTEMTIME{};
    value.wYear = static_cast<WORD>(year);
    value.wMonth = static_cast<WORD>(month);
    value.wDay = static_cast<WORD>(day);
    value.wHour = static_cast<WORD>(hour);
    value.wMinute = static_cast<WORD>(minute);
    value.wSecond = static_cast<WORD>(second);
    value.wMilliseconds = static_cast<WORD>(millisecond);
    return true;
}

namespace {

// a base64 digit's value; -1 for anything else
int base64_value(char c)
{
    if (c >= 'A' && c <= 'Z')
        return c - 'A';
    if (c >= 'a' && c <= 'z')
        return c - 'a' + 26;
    if (c >= '0' && c <= '9')
        return c - '0' + 52;
    if (c == '+')
        return 62;
    if (c == '/')
        return 63;
    return -1;
}

} // namespace

bool pgs_decode_base64(const char* text, size_t size, ole_variant& out)
{
    // the server breaks its base64 text into lines
    size_t digits = 0;
    size_t padding = 0;
    for (size_t i = 0; i < size; ++i) {
        const char c = text[i];
        if (c == '\n' || c == '\r')
            continue;
        if (c == '=') {
            ++padding;
        } else if (padding != 0 || base64_value(c) < 0) {
            return false;
        } else {
            ++digits;
        }
    }
    if ((digits + padding) % 4 != 0 || padding > 2 || digits * 3 / 4 > UINT_MAX)
        return false;
    const size_t count = digits * 3 / 4;
    BYTE* bytes = out.allocate_bytes(static_cast<unsigned>(count));
    unsigned bits = 0;
    int held = 0;
    size_t at = 0;
    for (size_t i = 0; i < size && at < count; ++i) {
        const int value = base64_value(text[i]);
        if (value < 0)
            continue;
        bits = bits << 6 | static_cast<unsigned>(value);
        held += 6;
        if (held >= 8) {
            held -= 8;
            bytes[at++] = static_cast<BYTE>(bits >> held);
        }
    }
    return true;
}
