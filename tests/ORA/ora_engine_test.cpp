#include "ora_except.hpp"
#include "ora_schema_fixture.hpp"
#include "ora_stmt.hpp"
#include "tk_except.hpp"

#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <vector>

namespace {

const char client_missing[] =
    "The Oracle client and networking components were not found.\n"
    "These components are supplied by the Oracle Corporation and\n"
    "are part of the Oracle Version 7.3.4 (or later) client\n"
    "software installation. You will be unable to use this program\n"
    "until these components have been installed.";

// the error of one logon attempt; fails the test when the logon succeeds
ora_exception failed_logon(ora_engine& engine, const std::wstring& source,
                           const std::wstring& user, const std::wstring& password)
{
    try {
        engine.open_db(source, user, password);
    } catch (const ora_exception& e) {
        return e;
    }
    ADD_FAILURE() << "the logon succeeded";
    return ora_exception(0, "");
}

} // namespace

TEST(ora_engine, data_source_from_host_port_and_database)
{
    EXPECT_EQ(ora_engine::make_data_source(L"", L"", L"ORCL"), L"ORCL");
    EXPECT_EQ(ora_engine::make_data_source(L"", L"1522", L"XE"), L"//localhost:1522/XE");
    EXPECT_EQ(ora_engine::make_data_source(L"db1", L"", L"XE"), L"//db1:1521/XE");
    EXPECT_EQ(ora_engine::make_data_source(L"db1", L"1600", L""), L"//db1:1600/");
}

TEST(ora_engine, version_is_the_first_dotted_number_of_the_banner)
{
    EXPECT_EQ(ora_engine::parse_version(
                  "Oracle Database 10g Enterprise Edition Release 10.2.0.1.0 - Prod"),
              0xA0200u);
    EXPECT_EQ(ora_engine::parse_version("Oracle9i Release 9.2.0.1.0 - Production"), 0x90200u);
    EXPECT_EQ(ora_engine::parse_version("11.2.0.1.0"), 0xB0200u);
    EXPECT_EQ(ora_engine::parse_version("Oracle Database 11g Express Edition"), 0u);
    EXPECT_EQ(ora_engine::parse_version("Release 8.1 only two"), 0u);
    EXPECT_EQ(ora_engine::parse_version(""), 0u);
}

TEST(ora_engine, oracle_error_codes_keep_the_low_16_bits_of_the_number)
{
    const ora_exception unique(1, "ORA-00001: unique constraint violated");
    EXPECT_EQ(unique.get_code(), 1048577);
    EXPECT_EQ(unique.get_level(), 0);
    EXPECT_STREQ(unique.what(), "ORA-00001: unique constraint violated");
    EXPECT_EQ(ora_exception(12541, "x").get_code(), 0x1030FD);
}

TEST(ora_engine, oracle_errors_carry_the_kind_of_their_number)
{
    const struct {
        int number;
        tk_error_kind kind;
    } cases[] = {
        {1, tk_error_kind::duplicate_key},
        {54, tk_error_kind::resource_busy},
        {942, tk_error_kind::database},
        {1400, tk_error_kind::database},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ora_exception(c.number, "x").get_kind(), c.kind) << c.number;
    EXPECT_EQ(tk_exception("plain", 0).get_kind(), tk_error_kind::none);
}

using ora_logon = ora_schema_test;

TEST_F(ora_logon, logon_keeps_the_credentials_and_reads_the_server_version)
{
    EXPECT_TRUE(engine.is_logged_on());
    EXPECT_EQ(engine.get_data_source(), L"XE");
    EXPECT_EQ(engine.get_user(), L"SCOTT");
    EXPECT_EQ(engine.get_password(), L"tiger");
    // the stand-in's banner names release 19.0.0.0.0
    EXPECT_EQ(engine.get_version(), 19u << 16);
    EXPECT_TRUE(db->tables.empty());
}

TEST_F(ora_logon, easy_connect_and_net_service_names_reach_the_service)
{
    db = engine.open_db(L"", L"SCOTT", L"tiger", L"", L"ORCL");
    EXPECT_EQ(engine.get_data_source(), L"ORCL");
    db = engine.open_db(L"", L"SCOTT", L"tiger", L"1522", L"ORCL");
    EXPECT_EQ(engine.get_data_source(), L"//localhost:1522/ORCL");
}

TEST_F(ora_logon, wrong_password_is_ora_01017_and_a_later_logon_succeeds)
{
    db.reset();
    const ora_exception e = failed_logon(engine, L"XE", L"SCOTT", L"wrong");
    EXPECT_EQ(e.get_code(), 0x1003F9);
    EXPECT_EQ(e.get_level(), 0);
    EXPECT_EQ(std::string(e.what()).rfind("ORA-01017", 0), 0u) << e.what();
    EXPECT_FALSE(engine.is_logged_on());
    // the stored credentials stay those of the last successful logon
    EXPECT_EQ(engine.get_password(), L"tiger");

    EXPECT_EQ(failed_logon(engine, L"NOSUCH", L"SCOTT", L"tiger").get_code(),
              ora_error_code(12154));
    EXPECT_EQ(failed_logon(engine, L"//localhost:1521/NOSUCH", L"SCOTT", L"tiger").get_code(),
              ora_error_code(12514));

    db = engine.open_db(L"XE", L"SCOTT", L"tiger");
    EXPECT_TRUE(engine.is_logged_on());
    exec(L"CREATE TABLE T1 (N NUMBER)");
    EXPECT_EQ(engine.get_records_cnt(L"T1"), 0);
}

TEST_F(ora_logon, second_logon_logs_off_the_first_session_which_commits)
{
    exec(L"CREATE TABLE T1 (N NUMBER)");
    exec(L"INSERT INTO T1 VALUES (1)");   // not committed by itself

    std::unique_ptr<ora_database> other(engine.open_db(L"XE", L"HR", L"hr"));
    EXPECT_NE(other.get(), db.get());
    EXPECT_EQ(engine.get_user(), L"HR");
    EXPECT_TRUE(other->tables.empty());

    logon();
    ASSERT_EQ(db->tables.size(), 1u);
    EXPECT_EQ(engine.get_records_cnt(L"T1"), 1);
}

TEST(ora_engine, destroying_the_engine_logs_off_and_keeps_the_sessions_work)
{
    ora_schema_dir dir;
    {
        auto engine = std::make_unique<ora_engine>();
        std::unique_ptr<ora_database> db(engine->open_db(L"XE", L"SCOTT", L"tiger"));
        db->query(L"CREATE TABLE T1 (N NUMBER)");
        db->query(L"INSERT INTO T1 VALUES (1)");
        db.reset();
        engine.reset();
    }
    auto engine = std::make_unique<ora_engine>();
    std::unique_ptr<ora_database> db(engine->open_db(L"XE", L"SCOTT", L"tiger"));
    EXPECT_EQ(engine->get_records_cnt(L"T1"), 1);
}

TEST_F(ora_logon, row_counts_of_a_quoted_table_name_and_of_a_query)
{
    exec(L"CREATE TABLE \"t1\" (N NUMBER)");
    exec(L"CREATE TABLE T1 (N NUMBER)");
    for (int i = 1; i <= 3; ++i)
        exec(L"INSERT INTO T1 VALUES (" + std::to_wstring(i) + L")");
    exec(L"INSERT INTO \"t1\" VALUES (7)");
    EXPECT_EQ(engine.get_records_cnt(L"T1"), 3);
    EXPECT_EQ(engine.get_records_cnt(L"t1"), 1);
    EXPECT_EQ(engine.get_records_cnt(L"select N from T1 where N > 1", true), 2);
    EXPECT_THROW(engine.get_records_cnt(L"NOSUCH"), ora_exception);
}

TEST(ora_engine, counts_and_version_without_a_session_are_internal_errors)
{
    ora_schema_dir dir;
    ora_engine engine;
    for (auto call : {+[](ora_engine& e) { e.get_records_cnt(L"T"); },
                      +[](ora_engine& e) { e.get_version(); }}) {
        try {
            call(engine);
            ADD_FAILURE();
        } catch (const tk_exception& e) {
            EXPECT_EQ(e.get_level(), 2);
        }
    }
}

TEST(ora_engine, banners_of_older_servers)
{
    {
        ora_schema_dir dir("Oracle Database 10g Enterprise Edition Release 10.2.0.1.0 - Prod");
        ora_engine engine;
        std::unique_ptr<ora_database> db(engine.open_db(L"XE", L"SCOTT", L"tiger"));
        EXPECT_EQ(engine.get_version(), 0xA0200u);
    }
    // no dotted number: version 0, and the tables are listed with the short statement
    ora_schema_dir dir("Oracle Database Express Edition");
    ora_engine engine;
    std::unique_ptr<ora_database> db(engine.open_db(L"XE", L"SCOTT", L"tiger"));
    EXPECT_EQ(engine.get_version(), 0u);
    db->query(L"CREATE TABLE T1 (N NUMBER)");
    db = engine.open_db(L"XE", L"SCOTT", L"tiger");
    ASSERT_EQ(db->tables.size(), 1u);
    EXPECT_EQ(db->tables[0], L"T1");
}

TEST_F(ora_logon, status_check_passes_statuses_and_raises_on_errors)
{
    EXPECT_EQ(engine.check_status(OCI_SUCCESS), OCI_SUCCESS);
    EXPECT_EQ(engine.check_status(OCI_SUCCESS_WITH_INFO), OCI_SUCCESS_WITH_INFO);
    EXPECT_EQ(engine.check_status(OCI_NO_DATA), OCI_NO_DATA);
    try {
        engine.check_status(OCI_INVALID_HANDLE, "OCIStmtExecute");
        FAIL();
    } catch (const ora_exception&) {
        FAIL() << "an invalid handle is no oracle error";
    } catch (const tk_exception& e) {
        EXPECT_EQ(e.get_level(), 2);
        EXPECT_NE(std::string(e.what()).find("OCIStmtExecute"), std::string::npos);
    }
    // a statement the server refuses: the error of the execute with its ORA text
    ora_stmt stmt(ora_engine::instance().session());
    stmt.prepare(L"SELECT * FROM NOSUCH");
    try {
        stmt.execute(0);
        FAIL();
    } catch (const ora_exception& e) {
        EXPECT_EQ(e.get_code(), ora_error_code(942));
        EXPECT_EQ(std::string(e.what()).rfind("ORA-00942", 0), 0u) << e.what();
    }
}

// the client cannot be found: run this same test program without the library path
TEST(ora_engine, missing_client_is_the_level_1_error_before_any_client_call)
{
    if (std::getenv("ORA_TEST_NO_CLIENT")) {
        ora_engine engine;
        try {
            engine.open_db(L"XE", L"SCOTT", L"tiger");
            FAIL() << "logged on without a client";
        } catch (const ora_exception& e) {
            FAIL() << "an oracle error without a client: " << e.what();
        } catch (const tk_exception& e) {
            EXPECT_EQ(e.get_level(), 1);
            EXPECT_STREQ(e.what(), client_missing);
        }
        EXPECT_FALSE(engine.is_initialized());
        return;
    }

    std::vector<std::string> env;
    for (char** e = environ; *e; ++e)
        if (std::strncmp(*e, "LD_LIBRARY_PATH=", 16) != 0)
            env.push_back(*e);
    env.push_back("ORA_TEST_NO_CLIENT=1");
    std::vector<char*> envp;
    for (std::string& s : env)
        envp.push_back(s.data());
    envp.push_back(nullptr);
    std::string filter =
        "--gtest_filter=ora_engine.missing_client_is_the_level_1_error_before_any_client_call";
    char self[] = "/proc/self/exe";
    char* argv[] = {self, filter.data(), nullptr};

    const pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        execve(self, argv, envp.data());
        _exit(127);
    }
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
}
