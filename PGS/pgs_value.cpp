#include "pgs_value.hpp"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
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

bool pgs_parse_integer(const char* text, VARTYPE type, ole_variant& value)
{
    if ((*text < '0' || *text > '9') && *text != '-' && *text != '+')
        return false;
    char* end = nullptr;
    errno = 0;
    const long long number = std::strtoll(text, &end, 10);
    if (errno == ERANGE || end == text || *end != '\0')
        return false;
    switch (type) {
    case VT_I2:
        if (number < SHRT_MIN || number > SHRT_MAX)
            return false;
        value = ole_variant(static_cast<short>(number));
        return true;
    case VT_I4:
        if (number < INT_MIN || number > INT_MAX)
            return false;
        value = ole_variant(static_cast<int>(number));
        return true;
    case VT_I8:
        value = ole_variant(number);
        return true;
    default:
        return false;
    }
}

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
    int day, month, year, hour, minute, second, microsecond;
    if (!read_digits(text, 2, day) || !read_char(text, '-') || !read_digits(text, 2, month) ||
        !read_char(text, '-') || !read_digits(text, 4, year) || !read_char(text, ' ') ||
        !read_digits(text, 2, hour) || !read_char(text, ':') || !read_digits(text, 2, minute) ||
        !read_char(text, ':') || !read_digits(text, 2, second) || !read_char(text, ' ') ||
        !read_digits(text, 6, microsecond) || *text != '\0')
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
    value.wMilliseconds = static_cast<WORD>(microsecond / 1000);
    value.wMicroseconds = static_cast<WORD>(microsecond % 1000);
    return true;
}

namespace {

constexpr unsigned char base64_pad = 64;    // '='
constexpr unsigned char base64_break = 65;  // the server's line breaks
constexpr unsigned char base64_other = 66;

// every byte's base64 value (0 to 63), or one of the marks above; a table because a large
// value passes here twice a character
struct base64_table {
    unsigned char value[256];
    constexpr base64_table() : value()
    {
        for (unsigned char& v : value)
            v = base64_other;
        for (int i = 0; i < 26; ++i) {
            value['A' + i] = static_cast<unsigned char>(i);
            value['a' + i] = static_cast<unsigned char>(i + 26);
        }
        for (int i = 0; i < 10; ++i)
            value['0' + i] = static_cast<unsigned char>(i + 52);
        value[static_cast<unsigned char>('+')] = 62;
        value[static_cast<unsigned char>('/')] = 63;
        value[static_cast<unsigned char>('=')] = base64_pad;
        value[static_cast<unsigned char>('\n')] = base64_break;
        value[static_cast<unsigned char>('\r')] = base64_break;
    }
};

constexpr base64_table base64;

} // namespace

bool pgs_decode_base64(const char* text, size_t size, ole_variant& out)
{
    const auto* in = reinterpret_cast<const unsigned char*>(text);
    // the padding ends the text, among the server's line breaks
    size_t end = size;
    size_t padding = 0;
    for (; end > 0; --end) {
        const unsigned char value = base64.value[in[end - 1]];
        if (value == base64_pad)
            ++padding;
        else if (value != base64_break)
            break;
    }
    // lines are long: find the breaks rather than look at every character
    size_t breaks = 0;
    for (const char* at = text; (at = static_cast<const char*>(
                                     std::memchr(at, '\n', size_t(text + size - at))));
         ++at)
        ++breaks;
    for (const char* at = text; (at = static_cast<const char*>(
                                     std::memchr(at, '\r', size_t(text + size - at))));
         ++at)
        ++breaks;
    // an upper bound until every character before the padding is known to be a digit
    const size_t digits = size - breaks - padding;
    if ((digits + padding) % 4 != 0 || padding > 2 || digits * 3 / 4 > UINT_MAX)
        return false;
    const size_t count = digits * 3 / 4;
    BYTE* bytes = out.allocate_bytes(static_cast<unsigned>(count));
    unsigned quad = 0;
    int held = 0;
    size_t at = 0;
    size_t i = 0;
    while (i < end) {
        if (held == 0 && i + 4 <= end) {
            const unsigned a = base64.value[in[i]];
            const unsigned b = base64.value[in[i + 1]];
            const unsigned c = base64.value[in[i + 2]];
            const unsigned d = base64.value[in[i + 3]];
            if ((a | b | c | d) < base64_pad) {
                const unsigned group = a << 18 | b << 12 | c << 6 | d;
                bytes[at] = static_cast<BYTE>(group >> 16);
                bytes[at + 1] = static_cast<BYTE>(group >> 8);
                bytes[at + 2] = static_cast<BYTE>(group);
                at += 3;
                i += 4;
                continue;
            }
        }
        const unsigned char value = base64.value[in[i++]];
        if (value >= base64_pad) {
            // a padding before the end, or no base64 at all
            if (value != base64_break) {
                out = ole_variant();
                return false;
            }
            continue;
        }
        quad = quad << 6 | value;
        if (++held == 4) {
            bytes[at] = static_cast<BYTE>(quad >> 16);
            bytes[at + 1] = static_cast<BYTE>(quad >> 8);
            bytes[at + 2] = static_cast<BYTE>(quad);
            at += 3;
            quad = 0;
            held = 0;
        }
    }
    // the last group before the padding: two digits hold one byte, three two
    if (held == 2) {
        bytes[at] = static_cast<BYTE>(quad >> 4);
    } else if (held == 3) {
        bytes[at] = static_cast<BYTE>(quad >> 10);
        bytes[at + 1] = static_cast<BYTE>(quad >> 2);
    }
    return true;
}
