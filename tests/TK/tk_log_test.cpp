#include "tk_log.hpp"
#include "tk_test_files.hpp"

#include <filesystem>
#include <gtest/gtest.h>
#include <regex>

namespace {

class tk_log_test : public ::testing::Test {
protected:
    test_temp_dir dir{"tk_test"};
    std::string name = dir.file("trace.log");
};

} // namespace

TEST_F(tk_log_test, line_has_time_stamp_text_and_crlf)
{
    tk_log log(name.c_str(), true, 1, true);
    tk_trace(1, "table %s has %d rows", "t1", 42);
    const std::string bytes = test_read_file(name);
    EXPECT_TRUE(std::regex_match(bytes, std::regex("[0-2][0-9]:[0-5][0-9]:[0-6][0-9] table t1 has 42 rows\r\n")))
        << bytes;
}

TEST_F(tk_log_test, lines_below_threshold_are_not_written)
{
    tk_log log(name.c_str(), true, 3, false);
    tk_trace(2, "detail");
    tk_trace(3, "progress");
    tk_trace(4, "more");
    EXPECT_EQ(test_read_file(name), "progress\r\nmore\r\n");
}

TEST_F(tk_log_test, enabled_log_empties_file_at_construction)
{
    test_write_file(name, "old run\r\n");
    tk_log log(name.c_str(), true, 3, false);
    EXPECT_TRUE(std::filesystem::exists(name));
    EXPECT_EQ(test_read_file(name), "");
}

TEST_F(tk_log_test, first_call_after_enabling_empties_file_even_below_threshold)
{
    test_write_file(name, "old run\r\n");
    tk_log log(name.c_str(), false, 3, false);
    tk_trace(3, "not yet");
    EXPECT_EQ(test_read_file(name), "old run\r\n");
    log.set_enabled(true);
    tk_trace(2, "below threshold");
    EXPECT_EQ(test_read_file(name), "");
    tk_trace(3, "kept");
    EXPECT_EQ(test_read_file(name), "kept\r\n");
}

TEST_F(tk_log_test, disabled_log_with_default_name_creates_no_file)
{
    const std::string default_name = tk_log::default_file_name();
    const bool existed = std::filesystem::exists(default_name);
    {
        tk_log log(nullptr, false, 1, false);
        EXPECT_EQ(log.get_file_name(), default_name);
        tk_trace(3, "nothing");
        tk_wtrace(3, L"nothing");
    }
    EXPECT_EQ(std::filesystem::exists(default_name), existed);
}

TEST_F(tk_log_test, default_name_is_program_path_with_log_extension)
{
    const std::string exe = std::filesystem::read_symlink("/proc/self/exe").string();
    EXPECT_EQ(tk_log::default_file_name(), exe + ".log");
}

TEST_F(tk_log_test, new_file_name_after_lines_is_not_emptied)
{
    const std::string second = dir.file("second.log");
    test_write_file(second, "keep\r\n");
    tk_log log(name.c_str(), true, 1, false);
    tk_trace(1, "one");
    log.set_file_name(second.c_str());
    tk_trace(1, "two");
    EXPECT_EQ(test_read_file(name), "one\r\n");
    EXPECT_EQ(test_read_file(second), "keep\r\ntwo\r\n");
}

TEST_F(tk_log_test, null_file_name_is_an_internal_error)
{
    tk_log log(name.c_str(), true, 1, false);
    EXPECT_TK_ASSERTION(log.set_file_name(nullptr), "..\\TK/tk_log.hpp", 82);
}

TEST_F(tk_log_test, second_log_is_an_internal_error)
{
    tk_log log(name.c_str(), true, 1, false);
    EXPECT_TK_ASSERTION(tk_log(nullptr, false, 1, false), "..\\TK/tk_singl.hpp", 35);
}

TEST_F(tk_log_test, wide_line_is_written_as_utf8)
{
    tk_log log(name.c_str(), true, 1, false);
    const std::wstring table = L"Stra\x00df" L"e_\xD83D\xDE00";
    tk_wtrace(1, L"Converting table %ls (%d records)", table.c_str(), 7);
    EXPECT_EQ(test_read_file(name), "Converting table Stra\xC3\x9F" "e_\xF0\x9F\x98\x80 (7 records)\r\n");
}

TEST_F(tk_log_test, wide_text_too_long_for_utf8_buffer_keeps_only_stamp_and_line_end)
{
    tk_log log(name.c_str(), true, 1, true);
    // 6000 units of U+00E4 need 12000 utf-8 bytes
    const std::wstring text(6000, L'\x00e4');
    tk_wtrace(1, L"%ls", text.c_str());
    const std::string bytes = test_read_file(name);
    EXPECT_TRUE(std::regex_match(bytes, std::regex("[0-9]{2}:[0-9]{2}:[0-9]{2} \r\n"))) << bytes.size();
}

TEST_F(tk_log_test, wide_text_longer_than_wide_buffer_is_cut_and_line_ends)
{
    tk_log log(name.c_str(), true, 1, false);
    const std::wstring text(20000, L'x');
    tk_wtrace(1, L"%ls", text.c_str());
    const std::string bytes = test_read_file(name);
    ASSERT_GE(bytes.size(), 2u);
    EXPECT_LT(bytes.size(), 10240u + 2);
    EXPECT_EQ(bytes.substr(bytes.size() - 2), "\r\n");
    EXPECT_EQ(bytes.find_first_not_of('x'), bytes.size() - 2);
}

TEST_F(tk_log_test, text_with_line_breaks_is_written_unchanged)
{
    tk_log log(name.c_str(), true, 1, false);
    tk_trace(1, "Error while extracting views:\n%s\n", "boom");
    EXPECT_EQ(test_read_file(name), "Error while extracting views:\nboom\n\r\n");
}

TEST(tk_log, trace_without_log_does_nothing)
{
    ASSERT_FALSE(tk_log::has_instance());
    tk_trace(3, "nobody listens %d", 1);
    tk_wtrace(3, L"nobody listens %d", 1);
}
