#include "agent_support.hpp"

#include <gtest/gtest.h>

#include <filesystem>

#include <string>
#include <vector>

namespace {

const char mode_error[] = "Invalid merge/overwrite mode\n";
const char tab_file_missing[] =
    "Table names file does not exist.\nPlease verify the correct path/name was given.\n";

const std::vector<std::string> usage_options = {
    "   --dest=...     Oracle database name",
    "   --direct       connect to Oracle server via IP + port",
    "   --help         display this help message and exit",
    "   --logfile=...  path to the file where execution trace will be written",
    "   --mode=...     how to process tables that already exist in Oracle database",
    "                  (0 - overwrite, 1 - merge, 2 - skip)",
    "   --no_schema    do not include schema name in table name",
    "   --oraclh=...   Network name or IP address of Oracle server",
    "   --oraclu=...   Oracle user name",
    "   --oraclp=...   Oracle user password",
    "   --oraport=...  Oracle port (for direct mode only)",
    "   --pgport=...   PostgreSQL port",
    "   --posgsh=...   PostgreSQL server IP address or network name",
    "   --posgsu=...   PostgreSQL user name",
    "   --posgsp=...   PostgreSQL user password",
    "   --profile=...  path to the file to load conversion settings from",
    "   --silent       disable program output",
    "   --skip_idx     skip converting indexes",
    "   --src=...      PostgreSQL database name",
    "   --tab_def      convert table definitions only",
    "   --tab_file=... file containing the list of tables to convert",
    "                  (one table name per line)",
    "   --uppercase    make table/field names uppercase",
};

void expect_usage(const kestrun_result& r, const std::string& what)
{
    EXPECT_EQ(r.exit_code, 255) << what;
    EXPECT_EQ(r.out, "") << what;
    const std::vector<std::string> lines = lines_of(r.err);
    ASSERT_GT(lines.size(), 3 + usage_options.size()) << what << "\n" << r.err;
    EXPECT_EQ(lines[0].rfind("KESTRUN v1.0", 0), 0u) << lines[0];
    EXPECT_EQ(lines[1], "Usage: KESTRUN.EXE OPTIONS");
    EXPECT_EQ(lines[2], "");
    EXPECT_EQ(std::vector<std::string>(lines.begin() + 3, lines.begin() + 3 + usage_options.size()),
              usage_options);
    EXPECT_EQ(lines.back(),
              "   4) If you omit 'tab_file' parameter, all database tables will be converted.");
    EXPECT_EQ(r.err.back(), '\n');
}

} // namespace

TEST(command_line, usage_for_no_argument_help_and_unknown_arguments)
{
    std::vector<std::string> many_unknown{"--dest=d", "--src=s"};
    for (int i = 0; i < 25; ++i)
        many_unknown.push_back("--unknown" + std::to_string(i));
    const std::vector<std::vector<std::string>> cases = {
        {},
        {"--help"},
        {"--dest=d", "--src=s", "--help"},
        {"--direct"},
        {"--dest=d", "--src=s", "--bogus"},
        {"-dest=d"},
        many_unknown,
    };
    for (const auto& args : cases)
        expect_usage(run_kestrun(args), args.empty() ? "(none)" : args.back());
}

TEST(command_line, silent_prints_nothing_for_unknown_arguments)
{
    const std::vector<std::vector<std::string>> cases = {
        {"--silent", "--bogus"},
        {"--bogus", "--silent"},
        {"--silentX", "--bogus"},       // matched by prefix
        {"--silent", "--help"},
        {"--silent", "--mode=9"},
        {"--silent", "--src=x"},
    };
    for (const auto& args : cases) {
        const kestrun_result r = run_kestrun(args);
        EXPECT_EQ(r.exit_code, 255) << args[1];
        EXPECT_EQ(r.out + r.err, "") << args[1];
    }
}

TEST(command_line, mode_must_be_exactly_0_1_or_2)
{
    for (const std::string mode : {"3", "01", "", "x", "-0", "1 ", "+1", "4"}) {
        const kestrun_result r = run_kestrun({"--dest=d", "--src=s", "--mode=" + mode});
        EXPECT_EQ(r.exit_code, 255) << mode;
        EXPECT_EQ(r.err, mode_error) << mode;
        EXPECT_EQ(r.out, "") << mode;
    }
}

TEST(command_line, database_names_are_required_without_a_profile)
{
    struct name_case {
        std::vector<std::string> args;
        std::string err;
    };
    const name_case cases[] = {
        {{"--src=x"}, "You should enter Oracle database name\n"},
        {{"--dest=x"}, "You should enter PostgreSQL database name\n"},
        {{"--skip_idx"}, "You should enter Oracle database name\n"},
        {{"--dest=", "--src=x"}, "You should enter Oracle database name\n"},
    };
    for (const name_case& c : cases) {
        const kestrun_result r = run_kestrun(c.args);
        EXPECT_EQ(r.exit_code, 255) << c.args[0];
        EXPECT_EQ(r.err, c.err) << c.args[0];
        EXPECT_EQ(r.out, "");
    }
}

TEST(command_line, missing_table_list_file_ends_the_program)
{
    test_temp_dir dir{"kestrun_test"};
    for (const std::string& path : {dir.file("absent.txt"), dir.path()}) {
        const kestrun_result r = run_kestrun({"--dest=d", "--src=s", "--tab_file=" + path});
        EXPECT_EQ(r.exit_code, 255) << path;
        EXPECT_EQ(r.err, tab_file_missing) << path;
        EXPECT_EQ(r.out, "");
    }
}

TEST(command_line, bad_profile_and_log_paths_are_level_1_errors)
{
    test_temp_dir dir{"kestrun_test"};
    const std::string not_a_profile = dir.write("bom.qlx", "\xEF\xBB\xBF[Generic settings]\r\nsrc=x\r\n");
    const std::string read_only = dir.write("read_only.log", "kept\n");
    std::filesystem::permissions(read_only, std::filesystem::perms::owner_read);
    struct path_case {
        std::string arg;
        std::string out;
        std::string err;
    };
    const path_case cases[] = {
        {"--profile=" + dir.file("absent.qlx"),
         "Error:\nProfile does not exist. Please verify the correct path/name was given.\n", ""},
        {"--logfile=" + dir.file("no/such/dir/trace.log"),
         "Error:\nLogfile path does not exist. Please verify the correct path was given.\n", ""},
        {"--logfile=" + read_only, "Error:\nLogfile name specifies an existing read-only file.\n",
         ""},
        // a file that does not read as a profile is not silently left out
        {"--profile=" + not_a_profile, "",
         "Profile cannot be read. Please verify that the file is a conversion profile.\n"},
    };
    for (const path_case& c : cases) {
        const kestrun_result r = run_kestrun({"--dest=d", "--src=s", c.arg});
        EXPECT_EQ(r.exit_code, 255) << c.arg;
        EXPECT_EQ(r.out, c.out) << c.arg;
        EXPECT_EQ(r.err, c.err) << c.arg;
    }
    EXPECT_EQ(test_read_file(read_only), "kept\n");
}

TEST(command_line, fatal_messages_reach_the_trace_log)
{
    test_temp_dir dir{"kestrun_test"};
    const std::string log = dir.file("trace.log");
    const kestrun_result r = run_kestrun({"--logfile=" + log, "--silent", "--dest=d", "--src=s", "--mode=7"});
    EXPECT_EQ(r.exit_code, 255);
    EXPECT_EQ(r.out + r.err, "");
    EXPECT_EQ(test_read_file(log), "Invalid merge/overwrite mode\r\n");
}
