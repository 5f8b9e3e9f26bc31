#pragma once

#include "ole_auto.hpp"

#include <string>

// a date, a time or both, parsed from the many forms dates arrive in and
// printed as "YYYY-MM-DD HH:MM:SS", "YYYY-MM-DD" or "0000-00-00 HH:MM:SS"
class ole_date {
public:
    enum kind_t { invalid = 0, date_time = 1, date_only = 2, time_only = 3 };

    // short_year: a year below 100 stands for a two-digit year and is widened
    // when printed; false keeps it as it is
    explicit ole_date(const SYSTEMTIME& time, bool short_year = true);
    explicit ole_date(const std::string& text);
    explicit ole_date(const std::wstring& text);

    bool is_valid() const;
    void refine_type();
    void process_milliseconds(const char* seconds);
    void import_from_string(const std::string& text);

    // both widen a year written with one or two digits and keep the result
    std::string to_string();
    std::wstring to_wstring();

    // printing step 1 alone: a year written with one or two digits becomes
    // 20xx (below 50) or 19xx; a time alone keeps year 0
    void widen_year();

    int get_kind() const { return m_kind; }
    const SYSTEMTIME& get_time() const { return m_time; }
    bool is_set() const { return m_set; }

private:
    void parse(const std::string& text);
    bool try_timestamp(const std::string& text);
    bool try_pure_time(const std::string& text);
    bool try_platform(const std::string& text);
    bool try_separator_forms(const std::string& text);
    void clear_time();
    std::string format();

    bool m_set = false;
    int m_kind = invalid;
    SYSTEMTIME m_time{};
    // the year was written or built with one or two digits
    bool m_short_year = false;
    // digits of the first and third field of a separator form
    int m_first_digits = 0;
    int m_third_digits = 0;
};
