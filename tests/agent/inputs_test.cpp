#include "agent_fixture.hpp"

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include <cerrno>
#include <cstring>

#include <sys/stat.h>
#include <unistd.h>

using strings = std::vector<std::string>;
using namespace std::string_literals;

namespace {

const char tab_names_help[] = ".\nPlease verify the file is a text file with one table name per line.\n";

// an existing oracle table with a row the source does not have: the default mode would
// drop it, so a refused input must leave it exactly as it is
class kestrun_inputs : public kestrun_conversion {
protected:
    void SetUp() override
    {
        pg.exec("CREATE TABLE t (id int, v varchar(10)); INSERT INTO t VALUES (1, 'new')");
        ora.sql("CREATE TABLE \"t\" (\"id\" NUMBER(11,0), \"v\" NVARCHAR2(10));\n"
                "INSERT INTO \"t\" VALUES (1, 'old');\nINSERT INTO \"t\" VALUES (2, 'extra');\n");
    }

    strings destination() const { return oracle("SELECT \"id\", \"v\" FROM \"t\" ORDER BY 1;"); }

    void expect_refused(const kestrun_result& r, const std::string& out, const std::string& err,
                        const std::string& what) const
    {
        EXPECT_EQ(r.exit_code, 255) << what;
        EXPECT_EQ(r.out, out) << what;
        EXPECT_EQ(r.err, err) << what;
        EXPECT_EQ(oracle_tables(), strings{"t"}) << what;
        EXPECT_EQ(destination(), (strings{"1\told", "2\textra"})) << what;
    }

    // a profile of the servers that selects t
    std::string profile(const std::string& name, const std::string& generic,
                        const std::string& oracle_extra = "") const
    {
        const test_pg_server& s = test_pg_server::get();
        // a key given twice with two values would refuse the profile: the case's own
        // "no schema" replaces the default one
        const std::string no_schema
            = generic.find("no schema") == std::string::npos ? "no schema=1\r\n" : "";
        return dir.write(
            name, "[Generic settings]\r\n" + generic + "\r\nsrc=" + pg.name() + "\r\ndest="
                      + ora.service() + "\r\n" + no_schema + "[Oracle settings]\r\nuser="
                      + ora.user() + "\r\npassword=" + ora.password() + "\r\n" + oracle_extra
                      + "\r\n[Selected Tables]\r\nt\r\n\r\n[pgs settings]\r\nhost=" + s.host
                      + "\r\nuser=" + s.user + "\r\npassword=" + s.password + "\r\n");
    }

    // the servers from the profile; the postgresql port comes from PGPORT
    kestrun_result run_profile(const std::string& generic, const std::string& oracle_extra) const
    {
        std::vector<std::string> env = ora.environment();
        env.push_back("PGPORT=" + test_pg_server::get().port);
        return run_kestrun({"--profile=" + profile("p.qlx", generic, oracle_extra)}, env);
    }
};

} // namespace

TEST_F(kestrun_inputs, profile_value_that_does_not_read_refuses_the_whole_profile)
{
    struct value_case {
        std::string generic;
        std::string oracle_extra;
        std::string message;
    };
    const std::string flag = "': it must be 0 or 1. Please verify the profile.";
    const std::string digit = "': it must be one digit. Please verify the profile.";
    const value_case cases[] = {
        {"only definitions=false", "", "'false' for the key 'only definitions" + flag},
        {"skip indexes=no", "", "'no' for the key 'skip indexes" + flag},
        {"only definitions=1\r\nskip indexes=yes", "", "'yes' for the key 'skip indexes" + flag},
        {"", "uppercase=true", "'true' for the key 'uppercase" + flag},
        {"mode=two", "", "'two' for the key 'mode" + digit},
        {"mode=12", "", "'12' for the key 'mode" + digit},
        {"mode= -1", "", "' -1' for the key 'mode" + digit},
        {"mode=\x1b[2J", "", "'\\x1b[2J' for the key 'mode" + digit},
    };
    for (const value_case& c : cases) {
        const kestrun_result r = run_profile(c.generic, c.oracle_extra);
        expect_refused(r, "Error:\nInvalid profile value " + c.message + "\n", "",
                       c.generic + c.oracle_extra);
    }
    // the profile's own "no schema" is refused the same way
    const kestrun_result r = run_profile("no schema=true", "");
    EXPECT_EQ(r.exit_code, 255);
    EXPECT_EQ(r.out, "Error:\nInvalid profile value 'true' for the key 'no schema" + flag + "\n");
}

TEST_F(kestrun_inputs, profile_values_read_with_blanks_around_them)
{
    // mode 2 skips the existing table; "no schema" still on, so no second table appears
    const kestrun_result r = run_profile(
        "mode = 2 \r\nonly definitions= 0\r\nskip indexes = 1\r\nno schema = 1", "uppercase= 0");
    EXPECT_EQ(r.exit_code, 0) << r.out << r.err;
    EXPECT_EQ(r.out, database_line(1));
    EXPECT_EQ(oracle_tables(), strings{"t"});
    EXPECT_EQ(destination(), (strings{"1\told", "2\textra"}));
}

TEST_F(kestrun_inputs, table_list_that_names_nothing_or_does_not_read_ends_the_program)
{
    struct list_case {
        std::string bytes;
        std::string err;
    };
    const std::string empty = "Table names file lists no table.\nPlease verify the correct "
                              "path/name was given.\n";
    const list_case cases[] = {
        {"", empty},
        {"\n\r\n\n", empty},
        {"\xEF\xBB\xBF\r\n", empty},
        {"t\nx\0y\n"s, "Table names file holds a NUL byte on line 2" + std::string(tab_names_help)},
        {"t\n" + std::string(65537, 'a') + "\nt\n",
         "Table names file has a line longer than 65536 bytes (line 2)"
             + std::string(tab_names_help)},
    };
    for (const list_case& c : cases) {
        const kestrun_result r = run({"--tab_file=" + dir.write("list.txt", c.bytes)});
        expect_refused(r, "", c.err, c.bytes.substr(0, 20) + "... (" + std::to_string(c.bytes.size()) + " bytes)");
    }

    // a file without line ends or with NUL bytes without end
    kestrun_result r = run({"--tab_file=/dev/zero"});
    expect_refused(r, "", "Table names file holds a NUL byte on line 1" + std::string(tab_names_help),
                   "/dev/zero");

    // the disk fails after the first name: the part read is no list
    const std::string list = std::filesystem::canonical(dir.write("io.txt", "t\nu\nv\n"));
    r = run({"--tab_file=" + list},
            {"LD_PRELOAD=" READ_FAULT_LIB, "READ_FAULT_PATH=" + list, "READ_FAULT_AFTER=2"});
    expect_refused(r, "",
                   "Table names file cannot be read: Input/output error.\nPlease verify the file "
                   "can be read to its end.\n",
                   "EIO");
}

TEST_F(kestrun_inputs, table_list_line_of_64_kib_is_still_a_name)
{
    const std::string name(65536, 'a');
    const kestrun_result r = run({"--tab_file=" + dir.write("list.txt", name + "\r\nt")});
    // the long name is no table: reported, and t is converted
    EXPECT_EQ(r.exit_code, 255);
    EXPECT_TRUE(r.err == "Table " + name + " not exists\n") << r.err.substr(0, 200);
    EXPECT_EQ(destination(), strings{"1\tnew"});
}

TEST_F(kestrun_inputs, postgresql_port_must_be_empty_or_1_to_65535)
{
    const test_pg_server& s = test_pg_server::get();
    for (const std::string port : {"abc", "-35036", "35036xyz", "0", "65536", " 5432", "99999999999"}) {
        // the default server through PGPORT would be reachable: it must not be used
        const kestrun_result r = run({"--pgport=" + port}, {"PGPORT=" + s.port});
        expect_refused(r, "", "Invalid PostgreSQL port\n", port);
    }
}

TEST_F(kestrun_inputs, log_file_that_cannot_be_written_is_refused_at_start)
{
    struct log_case {
        std::string path;
        std::string reason;
    };
    const log_case cases[] = {
        {"/dev/full", "No space left on device"},
        {dir.path(), "Is a directory"},
    };
    for (const log_case& c : cases) {
        const kestrun_result r = run({"--logfile=" + c.path});
        expect_refused(r,
                       "Error:\nLogfile cannot be written: " + c.reason
                           + ". Please verify the correct path was given.\n",
                       "", c.path);
    }
}

TEST_F(kestrun_inputs, log_file_of_another_user_is_refused_and_stays_theirs)
{
    if (geteuid() != 0)
        GTEST_SKIP() << "needs root: only root can give a file to another user and still open it";
    // root could narrow its mode, but the file, and the rows' values in it, would stay theirs
    const std::string log = dir.write("theirs.log", "their log\n");
    ASSERT_EQ(chmod(log.c_str(), 0644), 0);
    ASSERT_EQ(chown(log.c_str(), 65534, 65534), 0);
    const kestrun_result r = run({"--logfile=" + log});
    expect_refused(r,
                   "Error:\nLogfile cannot be made readable by its owner alone: "
                       + std::string(std::strerror(EPERM))
                       + ". Please verify the correct path was given.\n",
                   "", log);
    struct stat st {};
    ASSERT_EQ(stat(log.c_str(), &st), 0);
    EXPECT_EQ(st.st_uid, 65534u);
    EXPECT_EQ(st.st_mode & 07777, 0644u);
    EXPECT_EQ(test_read_file(log), "their log\n");
}

TEST_F(kestrun_inputs, log_file_that_is_an_input_file_is_refused_before_it_is_emptied)
{
    const std::string list = dir.write("list.txt", "t\n");
    const std::string dotted = dir.path() + "/./list.txt";
    const std::string link = dir.file("link.txt");
    std::filesystem::create_symlink(list, link);
    const std::string hard = dir.file("hard.txt");
    std::filesystem::create_hard_link(list, hard);
    const std::string p = profile("p.qlx", "");
    const std::string self = dir.file("self.qlx");
    profile("self.qlx", "logfile=" + self);
    const std::string to_list = profile("to_list.qlx", "logfile=" + link);
    std::vector<std::pair<std::string, std::string>> inputs;
    for (const std::string& path : {list, p, self, to_list})
        inputs.emplace_back(path, test_read_file(path));

    struct log_case {
        strings args;
        std::string log;
        std::string input;   // what the message calls it and its path
    };
    const std::string tab = "table names file '" + list + "'";
    const log_case cases[] = {
        {{"--tab_file=" + list, "--logfile=" + list}, list, tab},
        {{"--logfile=" + dotted, "--tab_file=" + list}, dotted, tab},
        {{"--logfile=" + link, "--mode=0", "--tab_file=" + list}, link, tab},
        {{"--tab_file=" + list, "--logfile=" + hard}, hard, tab},
        {{"--profile=" + p, "--logfile=" + p}, p, "profile '" + p + "'"},
        {{"--logfile=" + p, "--profile=" + p}, p, "profile '" + p + "'"},
        // the profile's own log key
        {{"--profile=" + self}, self, "profile '" + self + "'"},
        {{"--profile=" + to_list, "--tab_file=" + list}, link, tab},
        {{"--tab_file=" + list, "--profile=" + to_list}, link, tab},
    };
    for (const log_case& c : cases) {
        const std::string what = c.args[0] + " " + c.args.back();
        expect_refused(run(c.args),
                       "Error:\nLogfile name '" + c.log + "' specifies the " + c.input
                           + ". Please verify the correct path was given.\n",
                       "", what);
        for (const auto& [path, bytes] : inputs)
            EXPECT_EQ(test_read_file(path), bytes) << what << ": " << path;
    }

    // a log of its own, from the command line or from the profile
    const std::string log = dir.file("trace.log");
    for (const strings& args : {strings{"--tab_file=" + list, "--logfile=" + log},
                                strings{"--profile=" + profile("log.qlx", "logfile=" + log)}}) {
        const kestrun_result r = run(args, {"PGPORT=" + test_pg_server::get().port});
        EXPECT_EQ(r.exit_code, 0) << r.out << r.err;
        EXPECT_EQ(destination(), strings{"1\tnew"});
        EXPECT_NE(test_read_file(log).find("Converting table t (1 records)"), std::string::npos);
        std::filesystem::remove(log);
    }
    EXPECT_EQ(test_read_file(list), "t\n");
}

// names that could break or forge console lines: converted as they are, shown escaped
TEST_F(kestrun_conversion, names_with_control_characters_are_shown_escaped_on_one_line)
{
    pg.exec("CREATE TABLE \"a\nb\" (id int); INSERT INTO \"a\nb\" VALUES (1);"
            "CREATE TABLE \"c\rd\" (id int); INSERT INTO \"c\rd\" VALUES (2);"
            "CREATE TABLE \"e\x1b[2Jf\" (id int); INSERT INTO \"e\x1b[2Jf\" VALUES (3);"
            "CREATE TABLE \"g\u202eh\" (id int); INSERT INTO \"g\u202eh\" VALUES (4);"
            "CREATE TABLE \"i\\x0aj\" (id int); INSERT INTO \"i\\x0aj\" VALUES (5)");
    const std::string log = dir.file("trace.log");
    kestrun_result r = run({"--logfile=" + log});
    EXPECT_EQ(r.exit_code, 0) << r.out << r.err;
    EXPECT_EQ(r.out, database_line(5) + table_line("a\\x0ab", 1) + table_line("c\\x0dd", 1)
                         + table_line("e\\x1b[2Jf", 1) + table_line("g\\u202eh", 1)
                         + table_line("i\\\\x0aj", 1));
    EXPECT_EQ(r.err, "");
    // the trace keeps the names as they are
    const std::string trace = test_read_file(log);
    for (const std::string name : {"a\nb", "c\rd", "e\x1b[2Jf", "g\u202eh", "i\\x0aj"})
        EXPECT_NE(trace.find("Converting table " + name + " (1 records)"), std::string::npos)
            << name;
    // every row arrived, under the names oracle accepts
    const strings tables = oracle_tables();
    ASSERT_EQ(tables.size(), 5u);
    strings ids;
    for (const std::string& table : tables)
        for (const std::string& id : oracle("SELECT \"id\" FROM \"" + table + "\";"))
            ids.push_back(id);
    std::sort(ids.begin(), ids.end());
    EXPECT_EQ(ids, (strings{"1", "2", "3", "4", "5"}));

    // the context of an error block and a name inside its text
    pg.exec("DROP TABLE \"a\nb\", \"c\rd\", \"e\x1b[2Jf\", \"g\u202eh\", \"i\\x0aj\";"
            "CREATE TABLE \"k\nl\" (id int, \"m\x1bn\" text);"
            "CREATE UNIQUE INDEX \"u\u202eq\" ON \"k\nl\" (\"m\x1bn\");"
            "INSERT INTO \"k\nl\" VALUES (1, 'v')");
    r = run({});
    EXPECT_EQ(r.exit_code, 255);
    EXPECT_EQ(r.out, database_line(1) + table_line("k\\x0al", 1)
                         + "Error:\nk\\x0al: Index u\\u202eq was not created: column m\\x1bn is "
                           "stored as a large object, which Oracle cannot index\n");

    // a missing table
    r = run({"--tab_file=" + dir.write("list", "no\x1bsuch\n")});
    EXPECT_EQ(r.exit_code, 255);
    EXPECT_EQ(r.err, "Table no\\x1bsuch not exists\n");
}

// the trace holds every row's values: only its owner reads it
TEST_F(kestrun_conversion, log_file_is_its_owners_alone)
{
    pg.exec("CREATE TABLE t (id int, secret varchar(20)); INSERT INTO t VALUES (1, 'hunter2')");
    const std::string fresh = dir.file("fresh.log");
    const std::string old = dir.write("old.log", "an earlier run\n");
    ASSERT_EQ(chmod(old.c_str(), 0664), 0);
    for (const std::string& log : {fresh, old}) {
        const kestrun_result r = run({"--logfile=" + log, "--mode=0"});
        EXPECT_EQ(r.exit_code, 0) << r.out << r.err;
        struct stat st {};
        ASSERT_EQ(stat(log.c_str(), &st), 0) << log;
        EXPECT_EQ(st.st_mode & 07777, 0600u) << log;
        const std::string trace = test_read_file(log);
        EXPECT_NE(trace.find("hunter2"), std::string::npos) << log;
        EXPECT_EQ(trace.find("an earlier run"), std::string::npos) << log;
    }
}
