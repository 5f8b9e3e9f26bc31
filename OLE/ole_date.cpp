#include "ole_date.hpp"

#include "ole_num_impl.hpp"

#include "tk_except.hpp"
#include "tk_log.hpp"
#include "tk_utils.hpp"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

// a field read by sscanf must fit the 16-bit SYSTEMTIME member; fields are
// read as long so that an overlong number saturates instead of wrapping
bool fits(long value)
{
    return value >= 0 && value <= 0xffff;
}

int digits_between(const std::string& text, int from, int to)
{
    int count = 0;
    for (int k = from; k < to && k < int(text.size()); ++k)
        if (text[size_t(k)] >= '0' && text[size_t(k)] <= '9')
            ++count;
    return count;
}

} // namespace

ole_date::ole_date(const SYSTEMTIME& time, bool short_year)
{
    tk_trace(1, "ole_date::ole_date(SYSTEMTIME)");
    m_set = true;
    m_kind = date_time;
    m_time = time;
    m_short_year = short_year && time.wYear < 100;
    refine_type();
}

ole_date::ole_date(const std::string& text)
{
    m_set = true;
    m_kind = invalid;
    parse(text);
}

ole_date::ole_date(const std::wstring& text)
{
    m_set = true;
    m_kind = invalid;
    parse(tk_to_ansi(text));
}

void ole_date::clear_time()
{
    std::memset(&m_time, 0, sizeof m_time);
}

void ole_date::parse(const std::string& text)
{
    tk_trace(1, "ole_date::ole_date('%s')", text.c_str());
    clear_time();
    std::string buffer = tk_trim(text);
    tk_trace(1, "After tk_trim: %s", buffer.c_str());
    for (const char* marker : {"AM", "PM", "am", "pm"}) {
        size_t at = buffer.find(marker);
        if (at != std::string::npos) {
            buffer = tk_trim(buffer.substr(0, at));
            break;
        }
    }
    tk_trace(1, "Again buf1=%s", buffer.c_str());
    if (buffer.size() < 5) {
        tk_trace(2, "Invalid date/time format: '%s'", buffer.c_str());
        return;
    }
    import_from_string(buffer);
    if (m_kind == date_time || m_kind == date_only) {
        // day-first texts such as 05-03-2010 or postgresql's 01-01-0001: the
        // year stands in the day's place
        bool day_first = (m_time.wDay > 31 && m_time.wYear < 32) || (m_first_digits <= 2 && m_third_digits >= 3);
        if (day_first) {
            std::swap(m_time.wDay, m_time.wYear);
            std::swap(m_first_digits, m_third_digits);
        }
        if (m_first_digits)
            m_short_year = m_first_digits <= 2;
    }
    bool pm = text.find("PM") != std::string::npos || text.find("pm") != std::string::npos;
    bool am = !pm && (text.find("AM") != std::string::npos || text.find("am") != std::string::npos);
    if (pm && m_time.wHour < 12)
        m_time.wHour += 12;
    else if (am && m_time.wHour == 12)
        m_time.wHour = 0;
}

// 14 digits: date and time run together; 8 digits: the date alone
bool ole_date::try_timestamp(const std::string& text)
{
    const bool with_time = text.size() == 14;
    if (!with_time && text.size() != 8)
        return false;
    tk_trace(1, with_time ? "Trying timestamp format (1)..." : "Trying timestamp format (2)...");
    int f[6] = {0, 0, 0, 0, 0, 0};
    int year_end = 0;
    const int wanted = with_time ? 6 : 3;
    bool read = std::sscanf(text.c_str(), "%4d%n%02d%02d%02d%02d%02d", &f[0], &year_end, &f[1], &f[2], &f[3],
                            &f[4], &f[5]) >= wanted;
    for (int k = 0; k < wanted; ++k)
        read = read && fits(f[k]);
    if (read) {
        m_time.wYear = WORD(f[0]);
        m_time.wMonth = WORD(f[1]);
        m_time.wDay = WORD(f[2]);
        m_time.wHour = WORD(f[3]);
        m_time.wMinute = WORD(f[4]);
        m_time.wSecond = WORD(f[5]);
        m_kind = with_time ? date_time : date_only;
        if (is_valid()) {
            m_short_year = digits_between(text, 0, year_end) <= 2;
            return true;
        }
    }
    clear_time();
    return false;
}

bool ole_date::try_pure_time(const std::string& text)
{
    tk_trace(1, "Trying pure time format...");
    long h = 0, mi = 0;
    char seconds[256] = "";
    if (std::sscanf(text.c_str(), "%ld:%ld:%255s", &h, &mi, seconds) == 3 && fits(h) && fits(mi)) {
        m_time.wHour = WORD(h);
        m_time.wMinute = WORD(mi);
        m_kind = time_only;
        if (is_valid()) {
            process_milliseconds(seconds);
            return true;
        }
    }
    clear_time();
    return false;
}

bool ole_date::try_platform(const std::string& text)
{
    // the system default locale; 1033 is what an unset one means
    DATE date = 0;
    if (FAILED(VarDateFromStr(tk_to_unicode(text).c_str(), LCID_ENGLISH_US, 0, &date)))
        return false;
    SYSTEMTIME st;
    if (!VariantTimeToSystemTime(date, &st))
        return false;
    m_time = st;
    tk_trace(1, "Got datetime using Microsoft API");
    m_kind = date_time;
    m_short_year = false;
    refine_type();
    return true;
}

bool ole_date::try_separator_forms(const std::string& text)
{
    static const char* const forms[] = {
        "%n%ld%n-%ld-%n%ld%n %ld:%ld:%255s",
        "%n%ld%n/%ld/%n%ld%n %ld:%ld:%255s",
        "%n%ld%n.%ld.%n%ld%n %ld:%ld:%255s",
    };
    for (int k = 0; k < 3; ++k) {
        tk_trace(1, "Trying datetime format #%d", k);
        long y = 0, mo = 0, d = 0, h = 0, mi = 0;
        int y_from = 0, y_to = 0, d_from = 0, d_to = 0;
        char seconds[256] = "";
        int items = std::sscanf(text.c_str(), forms[k], &y_from, &y, &y_to, &mo, &d_from, &d, &d_to, &h, &mi,
                                seconds);
        if (items != 3 && items != 6)
            continue;
        if (!fits(y) || !fits(mo) || !fits(d) || (items == 6 && (!fits(h) || !fits(mi))))
            continue;
        m_time.wYear = WORD(y);
        m_time.wMonth = WORD(mo);
        m_time.wDay = WORD(d);
        m_first_digits = digits_between(text, y_from, y_to);
        m_third_digits = digits_between(text, d_from, d_to);
        if (items == 3) {
            tk_trace(1, "Format #%d succeeded (3 items)", k);
            m_kind = date_only;
            if (is_valid())
                return true;
        } else {
            tk_trace(1, "Format #%d succeeded (6 items)", k);
            m_time.wHour = WORD(h);
            m_time.wMinute = WORD(mi);
            m_kind = date_time;
            if (is_valid()) {
                process_milliseconds(seconds);
                refine_type();
                return true;
            }
        }
    }
    m_first_digits = m_third_digits = 0;
    return false;
}

void ole_date::import_from_string(const std::string& text)
{
    tk_trace(1, "ole_date::import_from_string");
    if (try_timestamp(text) || try_pure_time(text) || try_platform(text) || try_separator_forms(text))
        return;
    m_kind = invalid;
    tk_trace(2, "Invalid date/time format: '%s'", text.c_str());
}

bool ole_date::is_valid() const
{
    tk_trace(1, "ole_date::is_valid");
    if (m_kind == invalid)
        return false;
    if (m_time.wYear == 0 && m_time.wMonth == 0 && m_time.wDay == 0) {
        tk_trace(1, "DATETIME is a pute time");
    } else {
        if (m_time.wMonth == 0 || m_time.wMonth > 12) {
            tk_trace(1, "Invalid month");
            return false;
        }
        if (m_time.wDay == 0 || m_time.wYear == 0 || (m_time.wYear > 31 && m_time.wDay > 31)) {
            tk_trace(1, "Invalid day and/or year");
            return false;
        }
    }
    if (m_time.wHour > 60 || m_time.wMinute > 60 || m_time.wSecond > 60) {
        tk_trace(1, "Invalid time");
        return false;
    }
    return true;
}

void ole_date::process_milliseconds(const char* seconds)
{
    tk_trace(1, "ole_date::process_milliseconds");
    if (!seconds)
        throw tk_mail_assertion("ole_date.cpp", 372);
    tk_trace(1, "Got row sec: '%s'", seconds);
    double s = 0.0;
    {
        ole_c_numeric_scope c_numbers;
        s = std::atof(seconds);
    }
    // keep the conversion defined for any text
    if (!(s >= 0.0))
        s = 0.0;
    if (s > 65535.0)
        s = 65535.0;
    m_time.wSecond = WORD(s);
    tk_trace(1, "Got sec: %d", int(m_time.wSecond));
    m_time.wMilliseconds = WORD((s - m_time.wSecond) * 1000.0);
    tk_trace(1, "Got msec: %d", int(m_time.wMilliseconds));
}

void ole_date::refine_type()
{
    tk_trace(1, "ole_date::refine_type(%d,%d,%d,%d,%d,%d)", m_time.wYear, m_time.wMonth, m_time.wDay, m_time.wHour,
             m_time.wMinute, m_time.wSecond);
    bool no_date = m_time.wYear == 0 && m_time.wMonth == 0 && m_time.wDay == 0;
    bool full_date = m_time.wYear != 0 && m_time.wMonth != 0 && m_time.wDay != 0;
    bool midnight = m_time.wHour == 0 && m_time.wMinute == 0 && m_time.wSecond == 0;
    if (no_date)
        m_kind = time_only;
    else if (midnight && full_date)
        m_kind = date_only;
}

void ole_date::widen_year()
{
    if (!m_short_year || m_kind == time_only || m_time.wYear >= 100)
        return;
    m_time.wYear += m_time.wYear < 50 ? 2000 : 1900;
    m_short_year = false;
}

std::string ole_date::format()
{
    widen_year();
    char buffer[64];
    const SYSTEMTIME& t = m_time;
    switch (m_kind) {
    case date_time:
        tk_trace(1, "printing datetime...");
        if (t.wHour == 0 && t.wMinute == 0 && t.wSecond == 0 && m_set)
            std::snprintf(buffer, sizeof buffer, "%04d-%02d-%02d", t.wYear, t.wMonth, t.wDay);
        else
            std::snprintf(buffer, sizeof buffer, "%04d-%02d-%02d %02d:%02d:%02d", t.wYear, t.wMonth, t.wDay,
                          t.wHour, t.wMinute, t.wSecond);
        return buffer;
    case date_only:
        tk_trace(1, "printing date...");
        std::snprintf(buffer, sizeof buffer, "%04d-%02d-%02d", t.wYear, t.wMonth, t.wDay);
        return buffer;
    case time_only:
        tk_trace(1, "printing time...");
        std::snprintf(buffer, sizeof buffer, "0000-00-00 %02d:%02d:%02d", t.wHour, t.wMinute, t.wSecond);
        return buffer;
    default:
        return std::string();
    }
}

std::string ole_date::to_string()
{
    tk_trace(1, "ole_date::to_string");
    return format();
}

std::wstring ole_date::to_wstring()
{
    tk_trace(1, "ole_date::to_wstring");
    return tk_to_unicode(format());
}
