#include "pgs_value.hpp"

#include <cstring>

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
    const char* point = std::strchr(text, '.');
    const size_t length = std::strlen(text);
    size_t end = length;
    // trailing zeros of the fraction beyond the decimal's scale carry no value
    if (point) {
        while (end > static_cast<size_t>(point - text) + 1 + 28 && text[end - 1] == '0')
            --end;
    }
    unsigned __int128 mantissa = 0;
    const unsigned __int128 limit = (static_cast<unsigned __int128>(1) << 96) - 1;
    int scale = 0;
    bool digits = false;
    bool fraction = false;
    for (size_t i = 0; i < end; ++i) {
        const char c = text[i];
        if (c == '.' && !fraction) {
            fraction = true;
            continue;
        }
        if (c < '0' || c > '9')
            return false;
        digits = true;
        mantissa = mantissa * 10 + static_cast<unsigned>(c - '0');
        if (mantissa > limit)
            return false;
        if (fraction)
            ++scale;
    }
    if (!digits || scale > 28)
        return false;
    value = DECIMAL{};
    value.scale = static_cast<BYTE>(scale);
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
