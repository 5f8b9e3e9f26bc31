#include "tk_conv.hpp"
#include "tk_log.hpp"
#include "tk_test_files.hpp"

#include <filesystem>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

class tk_conv_test : public ::testing::Test {
protected:
    test_temp_dir dir{"tk_test"};
    tk_converter conv;
};

void expect_level1(const std::function<void()>& call, const std::string& text)
{
    try {
        call();
        ADD_FAILURE() << "no tk_exception";
    } catch (const tk_exception& e) {
        EXPECT_EQ(e.get_level(), 1);
        EXPECT_EQ(e.get_text(), text);
    }
}

} // namespace

TEST_F(tk_conv_test, starts_with_flags_false_and_names_empty)
{
    EXPECT_FALSE(conv.is_finished());
    EXPECT_FALSE(conv.is_silent());
    EXPECT_TRUE(conv.get_source_name().empty());
    EXPECT_TRUE(conv.get_dest_name().empty());
    EXPECT_TRUE(conv.get_logfile().empty());
    conv.set_silent(true);
    EXPECT_TRUE(conv.is_silent());
}

TEST_F(tk_conv_test, read_only_log_file_is_rejected_and_nothing_changes)
{
    const std::string ro = dir.file("ro.log");
    test_write_file(ro, "old");
    ASSERT_EQ(chmod(ro.c_str(), 0444), 0);
    tk_log log(dir.file("first.log").c_str(), false, 1, false);
    expect_level1([&] { conv.set_logfile(ro); }, "Logfile name specifies an existing read-only file.");
    EXPECT_EQ(conv.get_logfile(), "");
    EXPECT_EQ(log.get_file_name(), dir.file("first.log"));
    EXPECT_FALSE(log.is_enabled());
}

TEST_F(tk_conv_test, missing_directory_is_rejected_with_two_line_message)
{
    expect_level1([&] { conv.set_logfile(dir.file("missing/trace.log")); },
                  "Logfile path does not exist.\nPlease verify the correct path was given.");
    EXPECT_EQ(conv.get_logfile(), "");
}

TEST_F(tk_conv_test, new_file_in_existing_directory_enables_log_and_first_line_empties_it)
{
    const std::string name = dir.file("trace.log");
    test_write_file(name, "last run\r\n");
    tk_log log(nullptr, false, 3, false);
    conv.set_logfile(name);
    EXPECT_EQ(conv.get_logfile(), name);
    EXPECT_EQ(log.get_file_name(), name);
    EXPECT_TRUE(log.is_enabled());
    EXPECT_EQ(test_read_file(name), "last run\r\n");
    tk_trace(3, "Converting");
    EXPECT_EQ(test_read_file(name), "Converting\r\n");
}

TEST_F(tk_conv_test, relative_name_is_checked_against_current_directory)
{
    const std::string saved = std::filesystem::current_path().string();
    ASSERT_EQ(chdir(dir.path().c_str()), 0);
    tk_log log(nullptr, false, 1, false);
    conv.set_logfile("here.log");
    EXPECT_EQ(conv.get_logfile(), "here.log");
    tk_trace(1, "x");
    EXPECT_EQ(test_read_file(dir.file("here.log")), "x\r\n");
    expect_level1([&] { conv.set_logfile("nowhere/here.log"); },
                  "Logfile path does not exist.\nPlease verify the correct path was given.");
    ASSERT_EQ(chdir(saved.c_str()), 0);
}

TEST_F(tk_conv_test, empty_name_keeps_log_on_earlier_file)
{
    const std::string name = dir.file("trace.log");
    tk_log log(nullptr, false, 3, false);
    conv.set_logfile(name);
    conv.set_logfile("");
    EXPECT_EQ(conv.get_logfile(), "");
    EXPECT_EQ(log.get_file_name(), name);
    EXPECT_TRUE(log.is_enabled());
    tk_trace(3, "still here");
    EXPECT_EQ(test_read_file(name), "still here\r\n");
}

TEST_F(tk_conv_test, without_trace_log_the_name_is_kept)
{
    ASSERT_FALSE(tk_log::has_instance());
    const std::string name = dir.file("wizard.log");
    conv.set_logfile(name);
    EXPECT_EQ(conv.get_logfile(), name);
    EXPECT_FALSE(std::filesystem::exists(name));
}
