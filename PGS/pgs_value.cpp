#include "pgs_value.hpp"

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
