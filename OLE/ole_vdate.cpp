#include "ole_num_impl.hpp"

#include <cmath>
#include <cstdio>

// OLE dates: whole days since 1899-12-30 (negative before it); the fraction is
// the time of day, always counted forward from midnight, so -1.25 is
// 1899-12-29 06:00. years 1 to 9999 of the proleptic gregorian calendar.
namespace {

// days since 1970-01-01 of a civil date
int64_t days_from_civil(int64_t y, unsigned m, unsigned d)
{
    y -= m <= 2;
    const int64_t era = (y >= 0 ? y : y - 399) / 400;
    const unsigned yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<int64_t>(doe) - 719468;
}

void civil_from_days(int64_t z, int& y, unsigned& m, unsigned& d)
{
    z += 719468;
    const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const unsigned doe = static_cast<unsigned>(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    d = doy - (153 * mp + 2) / 5 + 1;
    m = mp < 10 ? mp + 3 : mp - 9;
    y = static_cast<int>(static_cast<int64_t>(yoe) + era * 400 + (m <= 2));
}

const int64_t epoch = days_from_civil(1899, 12, 30);
const int64_t first_day = days_from_civil(1, 1, 1) - epoch;
const int64_t last_day = days_from_civil(9999, 12, 31) - epoch;

bool is_leap(int y)
{
    return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
}

unsigned days_in_month(int y, unsigned m)
{
    static const unsigned days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return m == 2 && is_leap(y) ? 29 : days[m - 1];
}

bool make_date(int y, unsigned m, unsigned d, unsigned hh, unsigned mm, unsigned ss, DATE& out)
{
    if (y < 1 || y > 9999 || m < 1 || m > 12 || d < 1 || d > days_in_month(y, m) || hh > 23 || mm > 59 ||
        ss > 59)
        return false;
    int64_t day = days_from_civil(y, m, d) - epoch;
    double time = (hh * 3600.0 + mm * 60.0 + ss) / 86400.0;
    out = day >= 0 ? double(day) + time : double(day) - time;
    return true;
}

} // namespace

INT SystemTimeToVariantTime(const SYSTEMTIME* time, DATE* date)
{
    if (!time || !date)
        return 0;
    return make_date(time->wYear, time->wMonth, time->wDay, time->wHour, time->wMinute, time->wSecond, *date)
               ? 1
               : 0;
}

INT VariantTimeToSystemTime(DATE date, SYSTEMTIME* time)
{
    if (!time || !std::isfinite(date))
        return 0;
    double whole = std::trunc(date);
    if (whole < double(first_day) || whole > double(last_day))
        return 0;
    int64_t day = static_cast<int64_t>(whole);
    // the nearest second; a time that rounds up to midnight moves to the next day,
    // which is day + 1 also before 1899-12-30 (the time counts forward there too)
    int64_t seconds = std::llround(std::fabs(date - whole) * 86400.0);
    if (seconds >= 86400) {
        seconds -= 86400;
        ++day;
        if (day < first_day || day > last_day)
            return 0;
    }
    int y;
    unsigned m, d;
    civil_from_days(day + epoch, y, m, d);
    time->wYear = static_cast<WORD>(y);
    time->wMonth = static_cast<WORD>(m);
    time->wDay = static_cast<WORD>(d);
    // 1899-12-30 was a saturday
    time->wDayOfWeek = static_cast<WORD>(((day % 7) + 7 + 6) % 7);
    time->wHour = static_cast<WORD>(seconds / 3600);
    time->wMinute = static_cast<WORD>(seconds / 60 % 60);
    time->wSecond = static_cast<WORD>(seconds % 60);
    time->wMilliseconds = 0;
    return 1;
}

namespace {

// a small reader over the UTF-16 units of a date text
struct date_scanner {
    const OLECHAR* s;
    size_t i = 0;

    unsigned at() const { return static_cast<unsigned>(s[i]); }
    void skip_blanks()
    {
        while (at() == ' ' || at() == '\t')
            ++i;
    }
    // up to max_digits digits; digits counts what was read
    bool number(int max_digits, unsigned& value, int& digits)
    {
        value = 0;
        digits = 0;
        while (at() >= '0' && at() <= '9') {
            if (++digits > max_digits)
                return false;
            value = value * 10 + (at() - '0');
            ++i;
        }
        return digits > 0;
    }
    bool number(int max_digits, unsigned& value)
    {
        int digits;
        return number(max_digits, value, digits);
    }
    bool accept(unsigned c)
    {
        if (at() != c)
            return false;
        ++i;
        return true;
    }
    bool accept_word(const char* word)
    {
        size_t k = 0;
        for (; word[k]; ++k) {
            unsigned c = static_cast<unsigned>(s[i + k]);
            if (c >= 'a' && c <= 'z')
                c -= 'a' - 'A';
            if (c != static_cast<unsigned>(word[k]))
                return false;
        }
        i += k;
        return true;
    }
};

bool scan_date(date_scanner& in, int& y, unsigned& m, unsigned& d, bool& year_first)
{
    unsigned a, b, c;
    int a_digits, c_digits;
    if (!in.number(4, a, a_digits))
        return false;
    unsigned separator = in.at();
    if (separator != '/' && separator != '-')
        return false;
    ++in.i;
    if (!in.number(2, b) || !in.accept(separator) || !in.number(4, c, c_digits))
        return false;
    year_first = a_digits >= 3;
    if (year_first) {
        // year first: 2010-03-05 or 2010/03/05
        if (a_digits != 4 || c_digits > 2)
            return false;
        y = int(a);
        m = b;
        d = c;
        return true;
    }
    // month/day/year; dashes in that order are too easily day-first
    if (separator != '/' || a_digits > 2)
        return false;
    m = a;
    d = b;
    if (c_digits <= 2)
        y = int(c) < 30 ? 2000 + int(c) : 1900 + int(c);
    else if (c >= 100)
        y = int(c);
    else
        return false;
    return true;
}

bool scan_time(date_scanner& in, unsigned& hh, unsigned& mm, unsigned& ss)
{
    ss = 0;
    if (!in.number(2, hh) || !in.accept(':') || !in.number(2, mm))
        return false;
    if (in.accept(':') && !in.number(2, ss))
        return false;
    size_t before = in.i;
    in.skip_blanks();
    bool pm = in.accept_word("PM");
    bool am = !pm && in.accept_word("AM");
    if (!am && !pm) {
        in.i = before;
        return true;
    }
    if (hh < 1 || hh > 12)
        return false;
    if (am && hh == 12)
        hh = 0;
    if (pm && hh != 12)
        hh += 12;
    return true;
}

} // namespace

HRESULT VarDateFromStr(const OLECHAR* text, LCID, ULONG, DATE* result)
{
    if (!text || !result)
        return E_INVALIDARG;
    date_scanner in{text};
    in.skip_blanks();
    int y = 0;
    unsigned m = 0, d = 0, hh = 0, mm = 0, ss = 0;
    bool year_first = false;
    if (!scan_date(in, y, m, d, year_first))
        return DISP_E_TYPEMISMATCH;
    size_t before = in.i;
    in.skip_blanks();
    // a year-first date may also join its time with 'T'
    bool joined = in.i == before && year_first && in.accept('T');
    if ((in.i > before && in.at() != 0) || joined) {
        if (!scan_time(in, hh, mm, ss))
            return DISP_E_TYPEMISMATCH;
    }
    in.skip_blanks();
    // anything after the time is refused, so callers can read it their own way
    if (in.at() != 0)
        return DISP_E_TYPEMISMATCH;
    if (y < 100 || !make_date(y, m, d, hh, mm, ss, *result))
        return DISP_E_TYPEMISMATCH;
    return S_OK;
}

std::string ole_format_date(DATE date)
{
    SYSTEMTIME st;
    if (!VariantTimeToSystemTime(date, &st))
        return std::string();
    char buffer[64];
    std::string text;
    bool has_date = std::trunc(date) != 0.0;
    bool has_time = st.wHour || st.wMinute || st.wSecond;
    if (has_date) {
        std::snprintf(buffer, sizeof buffer, "%u/%u/%u", st.wMonth, st.wDay, st.wYear);
        text = buffer;
    }
    if (has_time || !has_date) {
        unsigned h12 = st.wHour % 12 == 0 ? 12 : st.wHour % 12;
        std::snprintf(buffer, sizeof buffer, "%s%u:%02u:%02u %s", has_date ? " " : "", h12, st.wMinute,
                      st.wSecond, st.wHour < 12 ? "AM" : "PM");
        text += buffer;
    }
    return text;
}
