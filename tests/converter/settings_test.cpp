#include "conv_support.hpp"

#include "pgs_engine.hpp"
#include "setting_values.hpp"
#include "tarnova_convertor.hpp"
#include "tk_log.hpp"
#include "tk_utils.hpp"
#include "udb_prof.hpp"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include <sys/stat.h>
#include <unistd.h>

namespace {

// every test gets its own registry file and profile directory
class settings : public testing::Test {
protected:
    void SetUp() override { setenv("XDG_CONFIG_HOME", dir.path().c_str(), 1); }
    void TearDown() override { unsetenv("XDG_CONFIG_HOME"); }

    std::string registry_file() const { return dir.file("Varnholt/Quilmot.ini"); }
    std::wstring profile_path(const char* name) const { return tk_to_unicode(dir.file(name)); }

    test_temp_dir dir{"conv_test"};
};

const char full_profile[] =
    "[Available Queries]\r\n"
    "recent=SELECT * FROM orders WHERE d > now()\r\n"
    "\r\n"
    "[Generic settings]\r\n"
    "dest=ORCL\r\n"
    "mode=2\r\n"
    "no schema=1\r\n"
    "only definitions=1\r\n"
    "skip indexes=1\r\n"
    "src=shop\r\n"
    "\r\n"
    "[Oracle settings]\r\n"
    "host=orahost\r\n"
    "password=secret\r\n"
    "port=1522\r\n"
    "uppercase=1\r\n"
    "user=scott\r\n"
    "\r\n"
    "[Selected Tables]\r\n"
    "big=SELECT id FROM big\r\n"
    "orders\r\n"
    "\r\n"
    "[pgs settings]\r\n"
    "host=pghost\r\n"
    "password=p\xc3\xa4ss\r\n"
    "user=pguser\r\n"
    "\r\n";

} // namespace

TEST_F(settings, profile_load_sets_every_key)
{
    test_write_file(dir.file("p.qlx"), full_profile);
    tarnova_convertor task(tarnova_convertor::program::console);
    ASSERT_TRUE(task.load_profile_file(profile_path("p.qlx")));

    EXPECT_EQ(task.get_source_name(), L"shop");
    EXPECT_EQ(task.get_dest_name(), L"ORCL");
    EXPECT_EQ(task.mode, 2);
    EXPECT_TRUE(task.tab_def);
    EXPECT_TRUE(task.skip_idx);
    EXPECT_TRUE(task.uppercase);
    EXPECT_TRUE(task.pgs().engine().get_no_schema());
    EXPECT_TRUE(task.pgs().engine().get_view_owned());
    EXPECT_EQ(task.host, L"orahost");
    EXPECT_EQ(task.password, L"secret");
    EXPECT_EQ(task.port, L"1522");
    EXPECT_EQ(task.user, L"scott");
    EXPECT_EQ(task.pgs().host, "pghost");
    EXPECT_EQ(task.pgs().user, "pguser");
    EXPECT_EQ(task.pgs().password, "p\xc3\xa4ss");
    // a table with a query goes into queries only
    EXPECT_EQ(task.selected, std::vector<std::wstring>{L"orders"});
    EXPECT_EQ(task.queries.size(), 2u);
    EXPECT_EQ(task.queries.at(L"big"), L"SELECT id FROM big");
    EXPECT_EQ(task.queries.at(L"orders"), L"");
    EXPECT_EQ(task.available.at(L"recent"), L"SELECT * FROM orders WHERE d > now()");
}

TEST_F(settings, profile_round_trip_keeps_every_key)
{
    {
        test_write_file(dir.file("p.qlx"), full_profile);
        tarnova_convertor task(tarnova_convertor::program::console);
        ASSERT_TRUE(task.load_profile_file(profile_path("p.qlx")));
        task.tab_def = false;
        ASSERT_TRUE(task.save_profile_file(profile_path("q.qlx")));
    }
    std::string expected = full_profile;
    const std::string from = "only definitions=1", to = "only definitions=0";
    expected.replace(expected.find(from), from.size(), to);
    const std::string dest = "dest=ORCL\r\n";
    // logfile is always written, empty here
    expected.insert(expected.find(dest) + dest.size(), "logfile=\r\n");
    EXPECT_EQ(test_read_file(dir.file("q.qlx")), expected);
}

TEST_F(settings, stored_queries_turn_each_line_break_into_one_blank)
{
    EXPECT_EQ(udb_one_line_query(L"SELECT a\nFROM t\r\nWHERE x\rAND y\n\n"),
              L"SELECT a FROM t WHERE x AND y");
    tarnova_convertor task(tarnova_convertor::program::console);
    task.queries[L"q"] = L"SELECT a\r\nFROM t\r\n";
    task.available[L"v"] = L"SELECT b\nFROM u";
    udb_profile profile;
    ASSERT_TRUE(task.store_profile(profile));
    EXPECT_EQ(profile.get_value(L"Selected Tables", L"q"), L"SELECT a FROM t");
    EXPECT_EQ(profile.get_value(L"Available Queries", L"v"), L"SELECT b FROM u");
    // the final line break leaves no trailing blank that would make the save fail
    EXPECT_TRUE(task.save_profile_file(profile_path("q.qlx")));
}

TEST_F(settings, profile_values_read_as_their_form_or_refuse_the_profile)
{
    struct value_case {
        const wchar_t* upper;   // "Oracle settings" uppercase
        const wchar_t* mode;
        bool upper_after;
        int mode_after;
        const wchar_t* refusal;
    };
    const value_case cases[] = {
        {L"", L"", true, 4, L""},               // absent: the current values stay
        {L" 0 ", L" 7", false, 7, L""},         // blanks around are no part of the value
        {L"1", L"0", true, 0, L""},
        {L"yes", L"1", true, 4,
         L"Invalid profile value 'yes' for the key 'uppercase': it must be 0 or 1. Please verify "
         L"the profile."},
        {L"0", L"12", true, 4,
         L"Invalid profile value '12' for the key 'mode': it must be one digit. Please verify the "
         L"profile."},
        {L"1", L"x\n", true, 4,
         L"Invalid profile value 'x\\x0a' for the key 'mode': it must be one digit. Please verify "
         L"the profile."},
    };
    for (const value_case& c : cases) {
        tarnova_convertor task(tarnova_convertor::program::console);
        task.uppercase = true;
        task.mode = 4;
        udb_profile profile;
        profile.set_value(L"Generic settings", L"src", L"from_profile");
        profile.set_value(L"Selected Tables", L"t", L"");
        if (*c.upper)
            profile.set_value(L"Oracle settings", L"uppercase", c.upper);
        if (*c.mode)
            profile.set_value(L"Generic settings", L"mode", c.mode);
        std::wstring refusal;
        EXPECT_EQ(task.load_profile(profile, &refusal), !*c.refusal) << tk_to_utf8(c.mode);
        EXPECT_EQ(refusal, c.refusal);
        EXPECT_EQ(task.uppercase, c.upper_after) << tk_to_utf8(c.upper);
        EXPECT_EQ(task.mode, c.mode_after) << tk_to_utf8(c.mode);
        // a refused profile applies nothing at all
        EXPECT_EQ(task.get_source_name(), *c.refusal ? L"" : L"from_profile");
        EXPECT_EQ(task.selected.size(), *c.refusal ? 0u : 1u);
    }
}

TEST(setting_values, postgresql_port_is_empty_or_1_to_65535)
{
    struct port_case {
        const char* text;
        bool reads;
        int port;
    };
    const port_case cases[] = {
        {"", true, 0},          {"1", true, 1},         {"65535", true, 65535},
        {"05432", true, 5432},  {"0", false, 7},        {"65536", false, 7},
        {"-1", false, 7},       {"5432x", false, 7},    {" 5432", false, 7},
        {"+5432", false, 7},    {"99999999999999999999", false, 7},
    };
    for (const port_case& c : cases) {
        int port = 7;
        EXPECT_EQ(setting_pgs_port(c.text, port), c.reads) << c.text;
        EXPECT_EQ(port, c.port) << c.text;
    }
}

TEST_F(settings, loading_two_profiles_keeps_the_tables_of_both)
{
    tarnova_convertor task(tarnova_convertor::program::console);
    udb_profile first, second;
    first.set_value(L"Selected Tables", L"a", L"");
    first.set_value(L"Selected Tables", L"q", L"SELECT 1");
    second.set_value(L"Selected Tables", L"b", L"");
    second.set_value(L"Selected Tables", L"q", L"SELECT 2");
    second.set_value(L"Selected Tables", L"a", L"");
    ASSERT_TRUE(task.load_profile(first));
    ASSERT_TRUE(task.load_profile(second));
    EXPECT_EQ(task.selected, (std::vector<std::wstring>{L"a", L"b"}));
    EXPECT_EQ(task.queries.at(L"q"), L"SELECT 1");
    task.clear_tables();
    EXPECT_TRUE(task.selected.empty() && task.queries.empty() && task.available.empty());
}

TEST_F(settings, logfile_without_trace_log_is_kept_and_saved_back)
{
    tarnova_convertor task(tarnova_convertor::program::console);
    udb_profile profile;
    // not even the directory exists here: without a log nothing is checked
    profile.set_value(L"Generic settings", L"logfile", L"/nonexistent/dir/run.log");
    ASSERT_TRUE(task.load_profile(profile));
    EXPECT_EQ(task.get_logfile(), "/nonexistent/dir/run.log");
    udb_profile saved;
    ASSERT_TRUE(task.store_profile(saved));
    EXPECT_EQ(saved.get_value(L"Generic settings", L"logfile"), L"/nonexistent/dir/run.log");
}

TEST_F(settings, save_reports_a_profile_that_was_not_written)
{
    tarnova_convertor task(tarnova_convertor::program::console);
    EXPECT_FALSE(task.save_profile_file(profile_path("missing/dir/p.qlx")));
    // a table name that would not read back
    task.queries[L"a=b"] = L"";
    EXPECT_FALSE(task.save_profile_file(profile_path("p.qlx")));
    task.queries.clear();
    EXPECT_TRUE(task.save_profile_file(profile_path("p.qlx")));
}

TEST_F(settings, save_names_the_systems_reason_for_a_file_that_was_not_written)
{
    tarnova_convertor task(tarnova_convertor::program::console);
    const auto refusal_for = [&](const std::wstring& path) {
        std::wstring refusal;
        EXPECT_FALSE(task.save_profile_file(path, &refusal)) << tk_to_utf8(path);
        return tk_to_utf8(refusal);
    };
    const auto expected = [](const std::string& path, int error) {
        return "Profile '" + path + "' cannot be saved: " + std::strerror(error)
               + ". Please verify the path and that the file may be written.";
    };
    EXPECT_EQ(refusal_for(profile_path("missing/dir/p.qlx")),
              expected(dir.file("missing/dir/p.qlx"), ENOENT));
    // the write or its flush fails on a device that is always full
    struct stat st {};
    if (stat("/dev/full", &st) == 0 && S_ISCHR(st.st_mode))
        EXPECT_EQ(refusal_for(L"/dev/full"), expected("/dev/full", ENOSPC));

    // another user's file stays as it is, also for root, who could narrow its mode
    if (geteuid() != 0)
        GTEST_SKIP() << "needs root: only root can give a file to another user and still open it";
    const std::string theirs = dir.write("theirs.qlx", "their profile");
    ASSERT_EQ(chmod(theirs.c_str(), 0644), 0);
    ASSERT_EQ(chown(theirs.c_str(), 65534, 65534), 0);
    EXPECT_EQ(refusal_for(profile_path("theirs.qlx")), expected(theirs, EPERM));
    ASSERT_EQ(stat(theirs.c_str(), &st), 0);
    EXPECT_EQ(st.st_uid, 65534u);
    EXPECT_EQ(st.st_mode & 07777, 0644u);
    EXPECT_EQ(test_read_file(theirs), "their profile");
}

TEST_F(settings, unreadable_profile_is_not_applied)
{
    test_write_file(dir.file("bad.qlx"), "src=before_any_section\r\n[Generic settings]\r\ndest=X\r\n");
    tarnova_convertor task(tarnova_convertor::program::console);
    EXPECT_FALSE(task.load_profile_file(profile_path("bad.qlx")));
    EXPECT_EQ(task.get_dest_name(), L"");
    EXPECT_THROW(task.load_profile_file(profile_path("none.qlx")), tk_exception);
}

TEST_F(settings, profile_without_connection_stores_the_task_flags)
{
    tarnova_convertor task(tarnova_convertor::program::console);
    task.uppercase = true;
    task.pgs().engine().set_view_owned(true);
    task.mode = 1;
    udb_profile profile;
    ASSERT_TRUE(task.store_profile(profile));
    EXPECT_EQ(profile.get_value(L"Oracle settings", L"uppercase"), L"1");
    EXPECT_EQ(profile.get_value(L"Generic settings", L"no schema"), L"1");
    EXPECT_EQ(profile.get_value(L"Generic settings", L"mode"), L"1");
    // empty server settings are left out
    EXPECT_EQ(profile.get_value(L"pgs settings", L"host"), L"");
}

TEST_F(settings, console_task_starts_plain_and_leaves_the_registry_alone)
{
    {
        tarnova_convertor task(tarnova_convertor::program::console);
        EXPECT_FALSE(task.uppercase);
        EXPECT_EQ(task.mode, 0);
        EXPECT_FALSE(task.pgs().engine().get_view_owned());
        EXPECT_FALSE(task.pgs().engine().get_no_schema());
    }
    EXPECT_FALSE(std::filesystem::exists(registry_file()));
}

TEST_F(settings, first_wizard_start_applies_the_registry_defaults)
{
    {
        tarnova_convertor task(tarnova_convertor::program::wizard);
        EXPECT_EQ(task.mode, 1);
        EXPECT_TRUE(task.uppercase);
        EXPECT_EQ(task.port, L"1521");
        EXPECT_EQ(task.pgs().port, 0);
        EXPECT_TRUE(task.pgs().engine().get_view_owned());
        EXPECT_TRUE(task.pgs().engine().get_no_schema());
        EXPECT_TRUE(task.convert_views);
        EXPECT_FALSE(task.skip_idx);
        EXPECT_FALSE(task.tab_def);
        task.set_source_name(L"shop");
        task.host = L"db\\1";
        task.pgs().password = "a b\n";
        task.mode = 2;
    }
    const std::string saved = test_read_file(registry_file());
    EXPECT_NE(saved.find("mode=dword:2"), std::string::npos) << saved;
    EXPECT_NE(saved.find("no_schema=dword:1"), std::string::npos) << saved;
    EXPECT_NE(saved.find("view_owned=dword:1"), std::string::npos) << saved;

    tarnova_convertor again(tarnova_convertor::program::wizard);
    EXPECT_EQ(again.mode, 2);
    EXPECT_EQ(again.get_source_name(), L"shop");
    EXPECT_EQ(again.host, L"db\\1");
    EXPECT_EQ(again.pgs().password, "a b\n");
}

TEST_F(settings, view_owned_decides_both_schema_flags)
{
    std::filesystem::create_directories(dir.file("Varnholt"));
    test_write_file(registry_file(), "no_schema=dword:1\nview_owned=dword:0\nuppercase=dword:0\n");
    {
        tarnova_convertor task(tarnova_convertor::program::wizard);
        EXPECT_FALSE(task.pgs().engine().get_view_owned());
        EXPECT_FALSE(task.pgs().engine().get_no_schema());
        EXPECT_FALSE(task.uppercase);
    }
    const std::string saved = test_read_file(registry_file());
    EXPECT_NE(saved.find("no_schema=dword:0"), std::string::npos) << saved;
    EXPECT_NE(saved.find("view_owned=dword:0"), std::string::npos) << saved;
}

TEST_F(settings, test_query_accepts_any_text)
{
    tarnova_convertor task(tarnova_convertor::program::console);
    EXPECT_TRUE(task.test_query(L""));
    EXPECT_TRUE(task.test_query(L"not sql at all"));
}

TEST_F(settings, oracle_settings_are_traced_without_the_password)
{
    {
        tk_log log(dir.file("trace.log").c_str(), true, 1, false);
        tarnova_convertor task(tarnova_convertor::program::console);
        task.store_oracle_settings(L"orahost", L"scott", L"s3cr3t-pw", L"1522");
    }
    const std::string trace = test_read_file(dir.file("trace.log"));
    EXPECT_NE(trace.find("store_oracle_settings(orahost,scott,1522)"), std::string::npos) << trace;
    EXPECT_EQ(trace.find("s3cr3t-pw"), std::string::npos);
}
