#include "ole_date.hpp"

#include <gtest/gtest.h>

#include <string>

namespace {

struct parse_case {
    const char* text;
    int kind;
    int year, month, day, hour, minute, second, msec;
};

TEST(ole_date, parses_the_known_forms)
{
    const parse_case cases[] = {
        {"20100305143000", ole_date::date_time, 2010, 3, 5, 14, 30, 0, 0},
        {"20100305", ole_date::date_only, 2010, 3, 5, 0, 0, 0, 0},
        {"14:30:15.25", ole_date::time_only, 0, 0, 0, 14, 30, 15, 250},
        {"10:20:30.123", ole_date::time_only, 0, 0, 0, 10, 20, 30, 123},
        {"2010-03-05", ole_date::date_only, 2010, 3, 5, 0, 0, 0, 0},
        {"3/5/2010 10:20:30", ole_date::date_time, 2010, 3, 5, 10, 20, 30, 0},
        {"05-03-2010 10:20:30 123", ole_date::date_time, 2010, 3, 5, 10, 20, 30, 0},
        {"25-12-2020 17:30:05 123", ole_date::date_time, 2020, 12, 25, 17, 30, 5, 0},
        {"05-03-2010", ole_date::date_only, 2010, 3, 5, 0, 0, 0, 0},
        {"2010-03-05 10:20:30.5", ole_date::date_time, 2010, 3, 5, 10, 20, 30, 500},
        {"2010.03.05 10:20:30", ole_date::date_time, 2010, 3, 5, 10, 20, 30, 0},
        {"2010-03-05T10:20:30", ole_date::date_time, 2010, 3, 5, 10, 20, 30, 0},
        {"01-01-0001 00:00:00 000", ole_date::date_only, 1, 1, 1, 0, 0, 0, 0},
        {"2010-03-05 02:00:00 PM", ole_date::date_time, 2010, 3, 5, 14, 0, 0, 0},
        {"2010-03-05 12:00:00 PM", ole_date::date_time, 2010, 3, 5, 12, 0, 0, 0},
        {"2010-03-05 01:00:00 am", ole_date::date_time, 2010, 3, 5, 1, 0, 0, 0},
        // midnight is 12 AM
        {"2010-03-05 12:00:00 AM", ole_date::date_time, 2010, 3, 5, 0, 0, 0, 0},
        {"  45:00:00  ", ole_date::time_only, 0, 0, 0, 45, 0, 0, 0},
    };
    for (const parse_case& c : cases) {
        ole_date d{std::string(c.text)};
        ASSERT_TRUE(d.is_valid()) << c.text;
        const SYSTEMTIME& t = d.get_time();
        EXPECT_EQ(d.get_kind(), c.kind) << c.text;
        EXPECT_EQ(t.wYear, c.year) << c.text;
        EXPECT_EQ(t.wMonth, c.month) << c.text;
        EXPECT_EQ(t.wDay, c.day) << c.text;
        EXPECT_EQ(t.wHour, c.hour) << c.text;
        EXPECT_EQ(t.wMinute, c.minute) << c.text;
        EXPECT_EQ(t.wSecond, c.second) << c.text;
        EXPECT_EQ(t.wMilliseconds, c.msec) << c.text;
    }
}

TEST(ole_date, refuses_what_is_no_date)
{
    for (const char* text : {"1:02", "99999999999999999999-01-01", "10:4294967306:00", "", "    ", "abcdefgh", "2010-13-05", "2010-03-00", "99:99:99",
                             "40-03-40 10:00:00", "-5-03-2010", "20101305"}) {
        ole_date d{std::string(text)};
        EXPECT_FALSE(d.is_valid()) << text;
        EXPECT_EQ(d.to_string(), "") << text;
    }
}

TEST(ole_date, prints_canonical_forms)
{
    EXPECT_EQ(ole_date(std::string("20100305143000")).to_string(), "2010-03-05 14:30:00");
    EXPECT_EQ(ole_date(std::string("20100305")).to_string(), "2010-03-05");
    EXPECT_EQ(ole_date(std::string("14:30:15.25")).to_string(), "0000-00-00 14:30:15");
    EXPECT_EQ(ole_date(std::wstring(L"14:30:15")).to_wstring(), L"0000-00-00 14:30:15");
    EXPECT_EQ(ole_date(std::string("2010-03-05 00:00:00.5")).to_string(), "2010-03-05");
    EXPECT_EQ(ole_date(std::string("2010-03-05 12:00:00 AM")).to_string(), "2010-03-05");

    SYSTEMTIME midnight{};
    midnight.wYear = 2010;
    midnight.wMonth = 3;
    midnight.wDay = 5;
    ole_date at_midnight(midnight);
    EXPECT_EQ(at_midnight.get_kind(), ole_date::date_only);
    EXPECT_EQ(at_midnight.to_string(), "2010-03-05");
}

TEST(ole_date, widens_only_years_written_short)
{
    SYSTEMTIME t{};
    t.wYear = 49;
    t.wMonth = 1;
    t.wDay = 2;
    t.wHour = 3;
    ole_date built(t);
    EXPECT_EQ(built.to_string(), "2049-01-02 03:00:00");
    EXPECT_EQ(built.get_time().wYear, 2049);
    t.wYear = 50;
    EXPECT_EQ(ole_date(t).to_string(), "1950-01-02 03:00:00");
    t.wYear = 0;
    EXPECT_EQ(ole_date(t).to_string(), "2000-01-02 03:00:00");
    t.wYear = 49;
    EXPECT_EQ(ole_date(t, false).to_string(), "0049-01-02 03:00:00");

    EXPECT_EQ(ole_date(std::string("01-01-0001 00:00:00 000")).to_string(), "0001-01-01");
    EXPECT_EQ(ole_date(std::string("0049-01-02 03:00:00")).to_string(), "0049-01-02 03:00:00");
    EXPECT_EQ(ole_date(std::string("49-01-02 03:00:00")).to_string(), "2049-01-02 03:00:00");
    EXPECT_EQ(ole_date(std::string("02-01-49 03:00:00")).to_string(), "2049-01-02 03:00:00");
    EXPECT_EQ(ole_date(std::string("3/5/49")).to_string(), "1949-03-05");
}

TEST(ole_date, long_seconds_text_is_bounded)
{
    std::string text = "10:20:" + std::string(1000, '1');
    ole_date d(text);
    EXPECT_TRUE(d.is_set());
    EXPECT_EQ(d.get_kind(), ole_date::time_only);
    std::string dated = "2010-03-05 10:20:3" + std::string(1000, '0');
    ole_date d2(dated);
    EXPECT_EQ(d2.get_time().wYear, 2010);
}

} // namespace
