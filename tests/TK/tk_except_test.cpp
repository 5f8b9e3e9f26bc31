#include "tk_errco.hpp"
#include "tk_except.hpp"
#include "tk_test_files.hpp"

#include <cerrno>
#include <gtest/gtest.h>

TEST(tk_exception, empty_narrow_text_reads_unknown_but_empty_wide_text_stays_empty)
{
    EXPECT_STREQ(tk_exception(std::string(), 1).what(), "Unknown exception");
    EXPECT_STREQ(tk_exception(1).what(), "Unknown exception");
    EXPECT_STREQ(tk_exception(std::wstring(), 1).what(), "");
    const tk_exception e("disk full", 0);
    EXPECT_EQ(e.get_text(), "disk full");
    EXPECT_EQ(e.get_code(), 0);
    EXPECT_EQ(e.get_level(), 0);
}

TEST(tk_exception, wide_text_becomes_utf8)
{
    const tk_exception e(std::wstring(L"Tabelle \x00e4\xD83D\xDE00"), 1);
    EXPECT_EQ(e.get_text(), "Tabelle \xC3\xA4\xF0\x9F\x98\x80");
    EXPECT_EQ(e.get_level(), 1);
}

TEST(tk_exception, copy_keeps_text_code_and_level)
{
    errno = ENOENT;
    const tk_exception_ex original("open: ", 1);
    const tk_exception copy = original;
    EXPECT_EQ(copy.get_text(), original.get_text());
    EXPECT_EQ(copy.get_code(), ENOENT);
    EXPECT_EQ(copy.get_level(), 1);
}

TEST(tk_exception_ex, takes_errno_and_system_message_after_prefix)
{
    errno = ENOENT;
    const tk_exception_ex e("Cannot open: ", 0);
    EXPECT_EQ(e.get_code(), ENOENT);
    EXPECT_EQ(e.get_text(), "Cannot open: No such file or directory");
    EXPECT_EQ(e.get_level(), 0);

    errno = EACCES;
    const tk_exception_ex d;
    EXPECT_EQ(d.get_level(), 1);
    EXPECT_EQ(d.get_text(), "Permission denied");
}

TEST(tk_mail_assertion, encodes_source_position_in_lower_case_hex)
{
    const tk_mail_assertion e("udb_db.cpp", 44);
    EXPECT_EQ(e.get_text(), "Internal error: \ncode=7564625f64622e6370705c3434");
    EXPECT_EQ(e.get_level(), 2);
    EXPECT_EQ(e.get_code(), 0);
}

TEST(tk_mail_assertion, header_path_gives_two_digits_per_byte)
{
    const tk_mail_assertion e("..\\TK/tk_singl.hpp", 59);
    const std::string prefix = "Internal error: \ncode=";
    ASSERT_EQ(e.get_text().compare(0, prefix.size(), prefix), 0);
    const std::string digits = e.get_text().substr(prefix.size());
    EXPECT_EQ(digits.size(), 42u);
    EXPECT_EQ(digits, "2e2e5c544b2f746b5f73696e676c2e6870705c3539");
    EXPECT_EQ(e.get_level(), 2);
    EXPECT_EQ(e.get_code(), 0);
}

TEST(tk_final_exception, is_a_plain_standard_exception)
{
    const tk_final_exception e;
    const std::exception& base = e;
    EXPECT_EQ(dynamic_cast<const tk_exception*>(&base), nullptr);
}

TEST(tk_error_converter, first_row_for_a_code_wins_also_across_loads)
{
    const tk_error_entry first[] = {{5, "a"}, {5, "b"}, {7, "seven"}};
    tk_error_converter conv(3, first);
    EXPECT_EQ(conv.convert(5), "a");
    const tk_error_entry second[] = {{5, "c"}, {8, "eight"}};
    conv.load_map(2, second);
    EXPECT_EQ(conv.convert(5), "a");
    EXPECT_EQ(conv.convert(8), "eight");
    EXPECT_EQ(conv.convert(7), "seven");
}

TEST(tk_error_converter, unknown_code_gives_empty_text)
{
    const tk_error_entry rows[] = {{1, "one"}};
    const tk_error_converter conv(1, rows);
    EXPECT_EQ(conv.convert(2), "");
    EXPECT_EQ(conv.convert(-1), "");
}

TEST(tk_error_converter, null_table_is_an_internal_error)
{
    EXPECT_TK_ASSERTION(tk_error_converter(0, nullptr), "tk_errco.cpp", 43);
}
