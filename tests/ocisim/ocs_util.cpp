#include "ocs_util.hpp"

#include <charconv>
#include <clocale>
#include <cmath>
#include <cstdlib>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <locale.h>
#include <map>

namespace ocs
{

namespace
{

const std::map<int, const char *> &messages()
{
    static const std::map<int, const char *> m = {
        {1, "unique constraint (%s) violated"},
        {54, "resource busy and acquire with NOWAIT specified or timeout expired"},
        {900, "invalid SQL statement"},
        {901, "invalid CREATE command"},
        {902, "invalid datatype"},
        {903, "invalid table name"},
        {904, "%s: invalid identifier"},
        {905, "missing keyword"},
        {906, "missing left parenthesis"},
        {907, "missing right parenthesis"},
        {908, "missing NULL keyword"},
        {910, "specified length too long for its datatype"},
        {911, "invalid character"},
        {913, "too many values"},
        {917, "missing comma"},
        {918, "column ambiguously defined"},
        {921, "unexpected end of SQL command"},
        {922, "missing or invalid option"},
        {923, "FROM keyword not found where expected"},
        {925, "missing INTO keyword"},
        {926, "missing VALUES keyword"},
        {927, "missing equal sign"},
        {928, "missing SELECT keyword"},
        {932, "inconsistent datatypes: expected %s got %s"},
        {933, "SQL command not properly ended"},
        {936, "missing expression"},
        {937, "not a single-group group function"},
        {938, "not enough arguments for function"},
        {940, "invalid ALTER command"},
        {942, "table or view does not exist"},
        {947, "not enough values"},
        {950, "invalid DROP option"},
        {955, "name is already used by an existing object"},
        {957, "duplicate column name"},
        {969, "missing ON keyword"},
        {972, "identifier is too long"},
        {1002, "fetch out of sequence"},
        {1007, "variable not in select list"},
        {1008, "not all variables bound"},
        {1012, "not logged on"},
        {1017, "invalid username/password; logon denied"},
        {1031, "insufficient privileges"},
        {1036, "illegal variable name/number"},
        {1400, "cannot insert NULL into (%s)"},
        {1403, "no data found"},
        {1405, "fetched column value is NULL"},
        {1406, "fetched column value was truncated"},
        {1407, "cannot update (%s) to NULL"},
        {1408, "such column list already indexed"},
        {1410, "invalid ROWID"},
        {1418, "specified index does not exist"},
        {1426, "numeric overflow"},
        {1430, "column being added already exists in table"},
        {1438, "value larger than specified precision allowed for this column"},
        {1440, "column to be modified must be empty to decrease precision or scale"},
        {1441, "cannot decrease column length because some value is too big"},
        {1442, "column to be modified to NOT NULL is already NOT NULL"},
        {1449, "column contains NULL values; cannot alter to NOT NULL"},
        {1451, "column to be modified to NULL cannot be modified to NULL"},
        {1465, "invalid hex number"},
        {1481, "invalid number format model"},
        {1489, "result of string concatenation is too long"},
        {1476, "divisor is equal to zero"},
        {1653, "unable to extend table %s.%s by %s in tablespace %s"},
        {1704, "string literal too long"},
        {1722, "invalid number"},
        {1727, "numeric precision specifier is out of range (1 to 38)"},
        {1728, "numeric scale specifier is out of range (-84 to 127)"},
        {1741, "illegal zero-length identifier"},
        {1756, "quoted string not properly terminated"},
        {1792, "maximum number of columns in a table or view is 1000"},
        {1785, "ORDER BY item must be the number of a SELECT-list expression"},
        {1789, "query block has incorrect number of result columns"},
        {1830, "date format picture ends before converting entire input string"},
        {1821, "date format not recognized"},
        {1841, "(full) year must be between -4713 and +9999, and not be 0"},
        {1843, "not a valid month"},
        {1847, "day of month must be between 1 and last day of month"},
        {1850, "hour must be between 0 and 23"},
        {1851, "minutes must be between 0 and 59"},
        {1852, "seconds must be between 0 and 59"},
        {1858, "a non-numeric character was found where a numeric was expected"},
        {1861, "literal does not match format string"},
        {2256, "number of referencing columns must match referenced columns"},
        {2260, "table can have only one primary key"},
        {2261, "such unique or primary key already exists in the table"},
        {2264, "name already used by an existing constraint"},
        {2270, "no matching unique or primary key for this column-list"},
        {2289, "sequence does not exist"},
        {2327, "cannot create index on expression with datatype LOB"},
        {2329, "column of datatype LOB cannot be unique or a primary key"},
        {2291, "integrity constraint (%s) violated - parent key not found"},
        {2292, "integrity constraint (%s) violated - child record found"},
        {2296, "cannot enable (%s) - null values found"},
        {2298, "cannot validate (%s) - parent keys not found"},
        {2299, "cannot validate (%s) - duplicate keys found"},
        {2429, "cannot drop index used for enforcement of unique/primary key"},
        {2437, "cannot validate (%s) - primary key violated"},
        {2443, "Cannot drop constraint  - nonexistent constraint"},
        {2449, "unique/primary keys in table referenced by foreign keys"},
        {4080, "trigger '%s' does not exist"},
        {4081, "trigger '%s' already exists"},
        {4098, "trigger '%s' is invalid and failed re-validation"},
        {8002, "sequence %s.CURRVAL is not yet defined in this session"},
        {8004, "sequence %s.NEXTVAL exceeds MAXVALUE and cannot be instantiated"},
        {12154, "TNS:could not resolve the connect identifier specified"},
        {12514, "TNS:listener does not currently know of service requested in connect descriptor"},
        {12541, "TNS:no listener"},
        {12545, "Connect failed because target host or object does not exist"},
        {12899, "value too large for column %s (actual: %s, maximum: %s)"},
        {22275, "invalid LOB locator specified"},
        {22920, "row containing the LOB value is not locked"},
        {24315, "illegal attribute type"},
        {24328, "illegal attribute value"},
        {24333, "zero iteration count"},
        {24334, "no descriptor for this position"},
        {24337, "statement handle not prepared"},
        {24338, "statement handle not executed"},
        {24343, "user defined callback error"},
        {24344, "success with compilation error"},
        {24374, "define not done before fetch or execute and fetch"},
        {24801, "illegal parameter value in OCI lob function"},
        {24806, "LOB form mismatch"},
    };
    return m;
}

} // namespace

ora_error::ora_error(int code, const std::string &text) : std::runtime_error(text), code_(code)
{
}

std::string message(int code, const std::vector<std::string> &args)
{
    auto it = messages().find(code);
    std::string fmt = it == messages().end() ? "message %d not found" : it->second;
    std::string body;
    size_t next = 0;
    for (size_t i = 0; i < fmt.size(); ++i) {
        if (fmt[i] == '%' && i + 1 < fmt.size() && (fmt[i + 1] == 's' || fmt[i + 1] == 'd')) {
            if (it == messages().end())
                body += std::to_string(code);
            else if (next < args.size())
                body += args[next++];
            ++i;
        } else {
            body += fmt[i];
        }
    }
    char head[16];
    std::snprintf(head, sizeof head, "ORA-%05d: ", code);
    return head + body;
}

void fail(int code, const std::vector<std::string> &args)
{
    throw ora_error(code, message(code, args));
}

std::string utf16_to_utf8(const char16_t *s, size_t n)
{
    std::string out;
    out.reserve(n);
    for (size_t i = 0; i < n; ++i) {
        uint32_t c = s[i];
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < n && s[i + 1] >= 0xDC00 && s[i + 1] <= 0xDFFF) {
            c = 0x10000 + ((c - 0xD800) << 10) + (s[i + 1] - 0xDC00);
            ++i;
        } else if (c >= 0xD800 && c <= 0xDFFF) {
            c = 0xFFFD;
        }
        if (c < 0x80) {
            out += char(c);
        } else if (c < 0x800) {
            out += char(0xC0 | (c >> 6));
            out += char(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            out += char(0xE0 | (c >> 12));
            out += char(0x80 | ((c >> 6) & 0x3F));
            out += char(0x80 | (c & 0x3F));
        } else {
            out += char(0xF0 | (c >> 18));
            out += char(0x80 | ((c >> 12) & 0x3F));
            out += char(0x80 | ((c >> 6) & 0x3F));
            out += char(0x80 | (c & 0x3F));
        }
    }
    return out;
}

namespace
{

// next code point of a UTF-8 text; invalid bytes give U+FFFD
uint32_t next_code_point(const std::string &s, size_t &i)
{
    unsigned char b = s[i++];
    if (b < 0x80)
        return b;
    int extra = b >= 0xF0 ? 3 : b >= 0xE0 ? 2 : b >= 0xC0 ? 1 : -1;
    if (extra < 0 || b >= 0xF8)
        return 0xFFFD;
    uint32_t c = b & (0x3F >> extra);
    for (int k = 0; k < extra; ++k) {
        if (i >= s.size() || (static_cast<unsigned char>(s[i]) & 0xC0) != 0x80)
            return 0xFFFD;
        c = (c << 6) | (static_cast<unsigned char>(s[i++]) & 0x3F);
    }
    return c;
}

} // namespace

std::u16string utf8_to_utf16(const std::string &s)
{
    std::u16string out;
    out.reserve(s.size());
    for (size_t i = 0; i < s.size();) {
        uint32_t c = next_code_point(s, i);
        if (c >= 0x10000) {
            c -= 0x10000;
            out += char16_t(0xD800 + (c >> 10));
            out += char16_t(0xDC00 + (c & 0x3FF));
        } else {
            out += char16_t(c);
        }
    }
    return out;
}

size_t utf16_length(const std::string &utf8)
{
    size_t n = 0;
    for (size_t i = 0; i < utf8.size();)
        n += next_code_point(utf8, i) >= 0x10000 ? 2 : 1;
    return n;
}

bool plain_utf8(const char *s, size_t n, size_t &units)
{
    const auto *u = reinterpret_cast<const unsigned char *>(s);
    units = 0;
    for (size_t i = 0; i < n;) {
        unsigned char b = u[i];
        if (b < 0x80) {
            ++units;
            ++i;
            continue;
        }
        int extra;
        unsigned char lo = 0x80, hi = 0xBF;
        if (b >= 0xC2 && b <= 0xDF) {
            extra = 1;
        } else if (b >= 0xE0 && b <= 0xEF) {
            extra = 2;
            lo = b == 0xE0 ? 0xA0 : 0x80;
            hi = b == 0xED ? 0x9F : 0xBF;
        } else if (b >= 0xF0 && b <= 0xF4) {
            extra = 3;
            lo = b == 0xF0 ? 0x90 : 0x80;
            hi = b == 0xF4 ? 0x8F : 0xBF;
        } else {
            return false;
        }
        if (n - i <= size_t(extra))
            return false;
        for (int k = 1; k <= extra; ++k) {
            unsigned char c = u[i + k];
            if (c < lo || c > hi)
                return false;
            lo = 0x80;
            hi = 0xBF;
        }
        units += extra == 3 ? 2 : 1;
        i += size_t(extra) + 1;
    }
    return true;
}

size_t utf8_char_count(const std::string &utf8)
{
    size_t n = 0;
    for (size_t i = 0; i < utf8.size(); ++n)
        next_code_point(utf8, i);
    return n;
}

std::string upper_ascii(std::string s)
{
    for (char &c : s)
        if (c >= 'a' && c <= 'z')
            c = char(c - 'a' + 'A');
    return s;
}

bool iequals(const std::string &a, const std::string &b)
{
    return upper_ascii(a) == upper_ascii(b);
}

std::string trim(const std::string &s)
{
    size_t b = s.find_first_not_of(" \t\r\n");
    if (b == std::string::npos)
        return "";
    size_t e = s.find_last_not_of(" \t\r\n");
    return s.substr(b, e - b + 1);
}

bool glob_match(const char *p, const char *s)
{
    auto up = [](char c) { return (c >= 'a' && c <= 'z') ? char(c - 'a' + 'A') : c; };
    const char *star = nullptr, *mark = nullptr;
    while (*s) {
        if (*p == '*') {
            star = p++;
            mark = s;
        } else if (*p == '?' || (*p && up(*p) == up(*s))) {
            ++p;
            ++s;
        } else if (star) {
            p = star + 1;
            s = ++mark;
        } else {
            return false;
        }
    }
    while (*p == '*')
        ++p;
    return !*p;
}

std::string hex_encode(const std::string &bytes)
{
    static const char digits[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(bytes.size() * 2);
    for (unsigned char b : bytes) {
        out += digits[b >> 4];
        out += digits[b & 15];
    }
    return out;
}

std::optional<std::string> hex_decode(const std::string &text)
{
    auto val = [](char c) -> int {
        if (c >= '0' && c <= '9')
            return c - '0';
        if (c >= 'a' && c <= 'f')
            return c - 'a' + 10;
        if (c >= 'A' && c <= 'F')
            return c - 'A' + 10;
        return -1;
    };
    std::string t = text.size() % 2 ? "0" + text : text;
    std::string out;
    out.reserve(t.size() / 2);
    for (size_t i = 0; i < t.size(); i += 2) {
        int h = val(t[i]), l = val(t[i + 1]);
        if (h < 0 || l < 0)
            return std::nullopt;
        out += char(h * 16 + l);
    }
    return out;
}

// ---- decimal

std::optional<decimal> decimal::parse(const std::string &text)
{
    std::string t = trim(text);
    size_t i = 0;
    decimal d;
    if (i < t.size() && (t[i] == '+' || t[i] == '-'))
        d.neg = t[i++] == '-';
    std::string mant;
    int point = -1;
    bool any = false;
    for (; i < t.size(); ++i) {
        char c = t[i];
        if (c >= '0' && c <= '9') {
            mant += c;
            any = true;
        } else if (c == '.' && point < 0) {
            point = int(mant.size());
        } else {
            break;
        }
    }
    if (!any)
        return std::nullopt;
    long long e10 = 0;
    if (i < t.size() && (t[i] == 'e' || t[i] == 'E')) {
        ++i;
        bool eneg = false;
        if (i < t.size() && (t[i] == '+' || t[i] == '-'))
            eneg = t[i++] == '-';
        if (i >= t.size())
            return std::nullopt;
        for (; i < t.size() && t[i] >= '0' && t[i] <= '9'; ++i) {
            e10 = e10 * 10 + (t[i] - '0');
            if (e10 > 100000)
                return std::nullopt;
        }
        if (eneg)
            e10 = -e10;
    }
    if (i != t.size())
        return std::nullopt;
    if (point < 0)
        point = int(mant.size());
    // strip leading zeros
    size_t lead = 0;
    while (lead < mant.size() && mant[lead] == '0')
        ++lead;
    if (lead == mant.size()) {
        d.neg = false;
        return d;
    }
    d.digits = mant.substr(lead);
    d.exp = point - int(lead) + int(e10);
    while (!d.digits.empty() && d.digits.back() == '0')
        d.digits.pop_back();
    return d;
}

decimal decimal::from_int(long long v)
{
    return *parse(std::to_string(v));
}

decimal decimal_from_int128(__int128 v)
{
    bool neg = v < 0;
    unsigned __int128 u = neg ? (unsigned __int128)(-(v + 1)) + 1 : (unsigned __int128)v;
    std::string s;
    do {
        s.insert(s.begin(), char('0' + int(u % 10)));
        u /= 10;
    } while (u);
    return *decimal::parse((neg ? "-" : "") + s);
}

decimal decimal::rounded_significant(int n) const
{
    if ((int)digits.size() <= n)
        return *this;
    return rounded(n - exp);
}

decimal decimal::rounded(int scale) const
{
    // keep digits at positions whose weight is >= 10^-scale: count = exp + scale
    int keep = exp + scale;
    if ((int)digits.size() <= keep)
        return *this;
    decimal r;
    r.neg = neg;
    if (keep < 0)
        return decimal{};
    bool up = digits[keep] >= '5';
    std::string d = digits.substr(0, keep);
    int e = exp;
    if (up) {
        int i = int(d.size()) - 1;
        while (i >= 0 && d[i] == '9') {
            d[i] = '0';
            --i;
        }
        if (i < 0) {
            d.insert(d.begin(), '1');
            ++e;
        } else {
            d[i]++;
        }
    }
    while (!d.empty() && d.back() == '0')
        d.pop_back();
    if (d.empty())
        return decimal{};
    r.digits = d;
    r.exp = e;
    return r;
}

std::optional<__int128> decimal::to_int128() const
{
    if (!is_integer() || exp > 38)
        return std::nullopt;
    __int128 v = 0;
    for (int i = 0; i < exp; ++i)
        v = v * 10 + (i < (int)digits.size() ? digits[i] - '0' : 0);
    return neg ? -v : v;
}

double decimal::to_double() const
{
    return std::strtod(render().c_str(), nullptr);
}

std::string decimal::render() const
{
    if (digits.empty())
        return "0";
    std::string out = neg ? "-" : "";
    int n = int(digits.size());
    std::string plain;
    if (exp <= 0)
        plain = "." + std::string(-exp, '0') + digits;
    else if (exp >= n)
        plain = digits + std::string(exp - n, '0');
    else
        plain = digits.substr(0, exp) + "." + digits.substr(exp);
    // from 1E+30 on, and where the plain text would pass 40 characters, the text is
    // scientific with every significant digit kept
    if (exp > 30 || plain.size() > 40) {
        std::string m = digits.substr(0, 1);
        if (n > 1)
            m += "." + digits.substr(1);
        int e = exp - 1;
        char buf[16];
        std::snprintf(buf, sizeof buf, "E%c%02d", e < 0 ? '-' : '+', e < 0 ? -e : e);
        return out + m + buf;
    }
    return out + plain;
}

int decimal::compare(const decimal &o) const
{
    auto sign = [](const decimal &d) { return d.digits.empty() ? 0 : d.neg ? -1 : 1; };
    int sa = sign(*this), sb = sign(o);
    if (sa != sb)
        return sa < sb ? -1 : 1;
    if (sa == 0)
        return 0;
    int mag;
    if (exp != o.exp) {
        mag = exp < o.exp ? -1 : 1;
    } else {
        int c = digits.compare(o.digits);
        mag = c < 0 ? -1 : c > 0 ? 1 : 0;
    }
    return sa < 0 ? -mag : mag;
}

// ---- dates

namespace
{

bool leap(int y)
{
    return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
}

int days_in(int y, int m)
{
    static const int d[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return m == 2 && leap(y) ? 29 : d[m - 1];
}

const char *const month_names[] = {"JAN", "FEB", "MAR", "APR", "MAY", "JUN",
                                   "JUL", "AUG", "SEP", "OCT", "NOV", "DEC"};

} // namespace

bool datetime::valid() const
{
    return year >= -4712 && year <= 9999 && year != 0 && month >= 1 && month <= 12 && day >= 1 &&
           day <= days_in(year, month) && hour >= 0 && hour < 24 && minute >= 0 && minute < 60 &&
           second >= 0 && second < 60;
}

datetime datetime::past_calendar_gap() const
{
    datetime d = *this;
    if (year == 1582 && month == 10 && day >= 5 && day <= 14)
        d.day = 15;
    return d;
}

std::string datetime::text(bool fraction) const
{
    char buf[48];
    std::snprintf(buf, sizeof buf, "%04d-%02d-%02d %02d:%02d:%02d", year, month, day, hour, minute,
                  second);
    std::string s = buf;
    if (fraction) {
        std::snprintf(buf, sizeof buf, ".%09d", nano);
        s += buf;
    }
    return s;
}

datetime datetime::rounded(int digits) const
{
    datetime d = *this;
    int unit = 1;
    for (int i = digits; i < 9; ++i)
        unit *= 10;
    // half a unit goes up, as Oracle rounds into a TIMESTAMP(n)
    d.nano = (nano + unit / 2) / unit * unit;
    if (d.nano < 1000000000)
        return d;
    d.nano = 0;
    if (++d.second < 60)
        return d;
    d.second = 0;
    if (++d.minute < 60)
        return d;
    d.minute = 0;
    if (++d.hour < 24)
        return d;
    d.hour = 0;
    if (++d.day <= days_in(d.year, d.month))
        return d.past_calendar_gap();
    d.day = 1;
    if (++d.month <= 12)
        return d;
    d.month = 1;
    if (++d.year > 9999)
        fail(1841);
    return d;
}

std::optional<datetime> datetime::parse_iso(const std::string &text)
{
    datetime d;
    int n = 0;
    char frac[16] = {0};
    int got = std::sscanf(text.c_str(), "%d-%d-%d %d:%d:%d%n", &d.year, &d.month, &d.day, &d.hour,
                          &d.minute, &d.second, &n);
    if (got < 3)
        return std::nullopt;
    if (got == 6 && text[n] == '.') {
        std::snprintf(frac, sizeof frac, "%s", text.c_str() + n + 1);
        std::string f = frac;
        f.resize(9, '0');
        d.nano = std::atoi(f.c_str());
    }
    if (!d.valid())
        return std::nullopt;
    return d;
}

datetime to_date(const std::string &text, const std::string &mask_in, bool timestamp)
{
    std::string mask = upper_ascii(mask_in);
    datetime d;
    d.year = 0;
    // an Oracle date without a day or month element takes the current month's first day;
    // the engine always names both
    bool have_year = false, have_month = false;
    size_t ti = 0, mi = 0;
    auto skip_blanks = [&] {
        while (ti < text.size() && text[ti] == ' ')
            ++ti;
    };
    auto number = [&](int max_digits) -> int {
        skip_blanks();
        bool neg = false;
        if (ti < text.size() && text[ti] == '-' && max_digits == 4) {
            neg = true;
            ++ti;
        }
        int v = 0, n = 0;
        while (ti < text.size() && n < max_digits && text[ti] >= '0' && text[ti] <= '9') {
            v = v * 10 + (text[ti++] - '0');
            ++n;
        }
        if (n == 0)
            fail(1858);
        return neg ? -v : v;
    };
    while (mi < mask.size()) {
        auto starts = [&](const char *k) { return mask.compare(mi, std::strlen(k), k) == 0; };
        if (starts("YYYY")) {
            d.year = number(4);
            have_year = true;
            mi += 4;
        } else if (starts("RRRR")) {
            d.year = number(4);
            have_year = true;
            mi += 4;
        } else if (starts("RR") || starts("YY")) {
            int y = number(2);
            d.year = y < 50 ? 2000 + y : 1900 + y;
            have_year = true;
            mi += 2;
        } else if (starts("MM")) {
            d.month = number(2);
            if (d.month < 1 || d.month > 12)
                fail(1843);
            have_month = true;
            mi += 2;
        } else if (starts("MON")) {
            skip_blanks();
            std::string m = upper_ascii(text.substr(ti, 3));
            int found = 0;
            for (int k = 0; k < 12; ++k)
                if (m == month_names[k])
                    found = k + 1;
            if (!found)
                fail(1843);
            d.month = found;
            have_month = true;
            ti += 3;
            mi += 3;
        } else if (starts("DD")) {
            d.day = number(2);
            mi += 2;
        } else if (starts("HH24")) {
            d.hour = number(2);
            if (d.hour > 23)
                fail(1850);
            mi += 4;
        } else if (starts("HH")) {
            d.hour = number(2);
            if (d.hour > 23)
                fail(1850);
            mi += starts("HH12") ? 4 : 2;
        } else if (starts("MI")) {
            d.minute = number(2);
            if (d.minute > 59)
                fail(1851);
            mi += 2;
        } else if (starts("SS")) {
            d.second = number(2);
            if (d.second > 59)
                fail(1852);
            mi += 2;
        } else if (starts("FF")) {
            // a fraction of seconds, only in a timestamp mask: FF takes up to nine digits,
            // FFn up to n; a digit more is left over (ORA-01830)
            mi += 2;
            int most = 9;
            if (mi < mask.size() && mask[mi] >= '1' && mask[mi] <= '9')
                most = mask[mi++] - '0';
            if (!timestamp)
                fail(1821);
            skip_blanks();
            int n = 0;
            d.nano = 0;
            while (ti < text.size() && n < most && text[ti] >= '0' && text[ti] <= '9') {
                d.nano = d.nano * 10 + (text[ti++] - '0');
                ++n;
            }
            if (n == 0)
                fail(1858);
            for (int i = n; i < 9; ++i)
                d.nano *= 10;
        } else {
            char c = mask[mi];
            if (std::isalnum(static_cast<unsigned char>(c)))
                fail(1821);
            // punctuation of the mask matches any punctuation of the text, loosely
            ++mi;
            if (ti < text.size() && !std::isalnum(static_cast<unsigned char>(text[ti])))
                ++ti;
        }
    }
    skip_blanks();
    if (ti < text.size())
        fail(1830);
    if (!have_year || !have_month) {
        // a mask without year or month takes the current ones, as Oracle does
        std::time_t now = std::time(nullptr);
        std::tm tm;
        localtime_r(&now, &tm);
        if (!have_year)
            d.year = tm.tm_year + 1900;
        if (!have_month)
            d.month = tm.tm_mon + 1;
    }
    if (d.day < 1 || d.day > days_in(d.year <= 0 ? 2001 : d.year, d.month))
        fail(1847);
    return d.past_calendar_gap();
}

std::string default_date_text(const datetime &d)
{
    char buf[32];
    std::snprintf(buf, sizeof buf, "%02d-%s-%02d", d.day, month_names[d.month - 1],
                  ((d.year % 100) + 100) % 100);
    return buf;
}

std::optional<datetime> parse_default_date(const std::string &text)
{
    try {
        return to_date(text, "DD-MON-RR");
    } catch (const ora_error &) {
        return std::nullopt;
    }
}

std::string ieee_stored_text(double v, bool single)
{
    if (std::isinf(v))
        return v < 0 ? "-inf" : "inf";
    if (std::isnan(v))
        return "nan";
    char buf[64];
    // a single's own value as a double: its shortest single text would read back as another
    // double
    const std::to_chars_result r = std::to_chars(buf, buf + sizeof buf, single ? double(float(v)) : v);
    return std::string(buf, r.ptr);
}

std::string ieee_display_text(double v, bool single)
{
    if (std::isinf(v))
        return v < 0 ? "-Inf" : "Inf";
    if (std::isnan(v))
        return "Nan";
    if (v == 0)
        return "0";
    // the digits of the shortest text that reads back, whatever its form
    char buf[64];
    const std::to_chars_result r =
        single ? std::to_chars(buf, buf + sizeof buf, float(v), std::chars_format::scientific)
               : std::to_chars(buf, buf + sizeof buf, v, std::chars_format::scientific);
    std::string text(buf, r.ptr);
    const size_t e = text.find('e');
    std::string mantissa = text.substr(0, e);
    int exponent = std::atoi(text.c_str() + e + 1);
    if (mantissa.find('.') == std::string::npos)
        mantissa += ".0";
    char tail[16];
    std::snprintf(tail, sizeof tail, "E%c%03d", exponent < 0 ? '-' : '+', std::abs(exponent));
    return mantissa + tail;
}

std::optional<double> ieee_parse(const std::string &text)
{
    const std::string t = upper_ascii(trim(text));
    if (t == "INF" || t == "+INF")
        return HUGE_VAL;
    if (t == "-INF")
        return -HUGE_VAL;
    if (t == "NAN")
        return std::nan("");
    // only decimal digits, a point and an exponent: strtod would take hex and "infinity"
    if (t.empty() || t.find_first_not_of("0123456789.E+-") != std::string::npos)
        return std::nullopt;
    // the point is a point in every locale of the process
    static const locale_t c_locale = newlocale(LC_ALL_MASK, "C", nullptr);
    char *end = nullptr;
    const double v = strtod_l(t.c_str(), &end, c_locale);
    if (end != t.c_str() + t.size())
        return std::nullopt;
    return v;
}

} // namespace ocs
