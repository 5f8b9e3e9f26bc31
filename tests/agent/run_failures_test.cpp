#include "agent_fixture.hpp"
#include "test_pg_hold.hpp"
#include "test_wait.hpp"

#include <pqxx/pqxx>

#include <csignal>
#include <sys/resource.h>

#include <filesystem>
#include <regex>
#include <string>
#include <thread>
#include <vector>

using strings = std::vector<std::string>;

namespace {

// faults in the middle of a run: what the run did not write is said, table by table
class kestrun_run_failures : public kestrun_conversion {
protected:
    void SetUp() override { alter("SET lc_messages = 'C'"); }

    // each table of the destination holds the rows of its source table
    void expect_whole(const strings& names) const
    {
        for (const std::string& name : names)
            EXPECT_EQ(oracle("SELECT \"id\" FROM \"" + name + "\" ORDER BY 1;"),
                      lines_of(pg.query_value("SELECT string_agg(id::text, E'\\n' ORDER BY id) "
                                              "FROM " + name)))
                << name;
    }

    const std::string tables = "CREATE TABLE a (id int); INSERT INTO a VALUES (1), (2);"
                               "CREATE TABLE b (id int); INSERT INTO b VALUES (1), (2), (3);"
                               "CREATE TABLE c (id int); INSERT INTO c VALUES (1);"
                               "CREATE TABLE d (id int); INSERT INTO d VALUES (1), (2)";
    const std::string lost = "The connection to the PostgreSQL server was lost";

    void alter(const std::string& change) const
    {
        pg.exec("ALTER DATABASE \"" + pg.name() + "\" " + change);
    }

    // ends the run's session that waits for a lock
    void end_waiting_session() const
    {
        test_wait_until(
            [&] {
                return pg.query_value("SELECT count(pg_catalog.pg_terminate_backend(pid)) FROM "
                                      "pg_stat_activity WHERE datname = current_database() AND "
                                      "pid <> pg_backend_pid() AND wait_event_type = 'Lock'")
                       == "1";
            },
            "the run's session waiting for a lock");
    }
};

// a limit to the size of the files this process and the programs it starts write
class file_size_limit {
public:
    explicit file_size_limit(rlim_t bytes)
    {
        getrlimit(RLIMIT_FSIZE, &m_saved);
        const rlimit limit{bytes, m_saved.rlim_max};
        m_handler = signal(SIGXFSZ, SIG_IGN);
        setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~file_size_limit()
    {
        setrlimit(RLIMIT_FSIZE, &m_saved);
        signal(SIGXFSZ, m_handler);
    }
    file_size_limit(const file_size_limit&) = delete;
    file_size_limit& operator=(const file_size_limit&) = delete;

private:
    rlimit m_saved{};
    sighandler_t m_handler = SIG_DFL;
};

} // namespace

TEST_F(kestrun_run_failures, a_table_whose_connection_ends_is_counted_and_the_tables_after_it_convert)
{
    pg.exec(tables);
    std::unique_ptr<test_pg_hold> hold = test_pg_hold::table(pg, "b");
    kestrun_result r;
    std::thread runner([&] { r = run({}); });
    hold->wait_reached();
    end_waiting_session();
    hold->release();
    runner.join();
    EXPECT_EQ(r.exit_code, 255) << r.err;
    EXPECT_EQ(r.out, database_line(4) + table_line("a", 2) + "Error:\nb: " + lost
                         + "\nError:\nb: 3 of 3 records were not written\n" + table_line("c", 1)
                         + table_line("d", 2));
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(oracle_tables(), (strings{"a", "c", "d"}));
    expect_whole({"a", "c", "d"});
}

TEST_F(kestrun_run_failures, tables_the_server_no_longer_lets_in_are_said_to_be_unwritten)
{
    pg.exec(tables);
    // (a session of another database: a database cannot turn away its own)
    pqxx::connection admin(test_pg_server::get().conn_string("postgres"));
    const auto allow = [&](const char* value) {
        pqxx::nontransaction(admin).exec("ALTER DATABASE " + admin.quote_name(pg.name())
                                         + " ALLOW_CONNECTIONS " + value);
    };
    std::unique_ptr<test_pg_hold> hold = test_pg_hold::table(pg, "b");
    kestrun_result r;
    std::thread runner([&] { r = run({}); });
    hold->wait_reached();
    end_waiting_session();
    // as a server that is not back yet: no new connection gets in
    allow("false");
    hold->release();
    runner.join();
    allow("true");
    EXPECT_EQ(r.exit_code, 255) << r.err;
    const std::string unknown = ": None of its records were written (their number could not be "
                                "read)\n";
    const std::string refused = ": connection to server at \"" + test_pg_server::get().host
                                + "\", port " + test_pg_server::get().port
                                + " failed: FATAL:  database \"" + pg.name()
                                + "\" is not currently accepting connections\n";
    EXPECT_EQ(r.out, database_line(4) + table_line("a", 2) + "Error:\nb: " + lost + "\nError:\nb"
                         + unknown + "Error:\nc: " + lost + refused + "Error:\nc" + unknown
                         + "Error:\nd: " + lost + refused + "Error:\nd" + unknown);
    EXPECT_EQ(oracle_tables(), strings{"a"});
    expect_whole({"a"});
}

TEST_F(kestrun_run_failures, a_table_that_fails_before_its_first_record_says_what_it_lost)
{
    // the role reads t only through a row-level policy, which the reader does not let
    // filter rows: its count fails, and so does counting it again
    const kestrun_role role(pg);
    pg.exec("CREATE TABLE t (id int); INSERT INTO t VALUES (1), (2);"
            "ALTER TABLE t ENABLE ROW LEVEL SECURITY;"
            "CREATE POLICY odd ON t USING (id % 2 = 1);"
            "GRANT SELECT ON t TO " + role.sql() + ";"
            "CREATE TABLE u (id int, secret text); INSERT INTO u VALUES (1, 's'), (2, 's');"
            "GRANT SELECT (id) ON u TO " + role.sql() + ";"
            "CREATE TABLE v (id int); INSERT INTO v VALUES (1);"
            "GRANT SELECT ON v TO " + role.sql());
    const kestrun_result r = run(role.args());
    EXPECT_EQ(r.exit_code, 255) << r.err;
    EXPECT_EQ(r.out, database_line(3) + "Error:\nt: Cannot get number of records (t): ERROR:  "
                                        "query would be affected by row-level security policy "
                                        "for table \"t\" \n"
                         + "Error:\nt: None of its records were written (their number could "
                           "not be read)\n"
                         + "Error:\nu: Cannot read the columns of u: permission denied for "
                           "column secret\n"
                         + "Error:\nu: 2 of 2 records were not written\n" + table_line("v", 1));
    EXPECT_EQ(oracle_tables(), strings{"v"});
    expect_whole({"v"});
}

TEST_F(kestrun_run_failures, a_statement_timeout_names_the_step_it_ended)
{
    pg.exec(tables);
    {
        // the list of tables waits for the catalogue the test holds, until the server
        // cancels it
        alter("SET statement_timeout = '1s'");
        pqxx::connection holder(pg.conn_string());
        pqxx::work tx(holder);
        tx.exec("LOCK TABLE pg_catalog.pg_namespace IN ACCESS EXCLUSIVE MODE");
        const test_watchdog watchdog("a run while the test holds pg_namespace");
        const kestrun_result r = run({});
        EXPECT_EQ(r.exit_code, 255) << r.err;
        EXPECT_EQ(r.out, "Error:\nCannot read the tables of the PostgreSQL database " + pg.name()
                             + ": ERROR:  canceling statement due to statement timeout \n");
        EXPECT_EQ(oracle_tables(), strings{});
    }
    // wherever a millisecond ends the run, it says which step it ended
    alter("SET statement_timeout = '1ms'");
    const std::regex named("(([abcd]: )?Cannot [^:]+: ERROR:  "
                           "canceling statement due to statement timeout |[abcd]: [0-9]+ of "
                           "[0-9]+ records were not written|[abcd]: None of its records were "
                           "written \\(their number could not be read\\))");
    for (int i = 0; i < 3; ++i) {
        const kestrun_result r = run({});
        EXPECT_EQ(r.exit_code, 255) << r.out << r.err;
        bool failed = false;
        for (const std::string& line : lines_of(r.out)) {
            if (line == "Error:" || line.rfind("Converting ", 0) == 0)
                continue;
            failed = true;
            EXPECT_TRUE(std::regex_match(line, named)) << line;
        }
        EXPECT_TRUE(failed) << r.out;
        // what a run wrote before the time ran out is whole or reported
        for (const std::string& table : oracle_tables())
            if (r.out.find(table + ": ") == std::string::npos)
                expect_whole({table});
    }
}

TEST_F(kestrun_run_failures, a_trace_log_that_fills_during_the_run_fails_it)
{
    // every record of n is refused before it reaches Oracle, and its error, which names the
    // long value, goes to the log: the log grows, the destination's own file does not
    pg.exec("CREATE TABLE a (id int); INSERT INTO a VALUES (1), (2);"
            "CREATE TABLE n (id int, v numeric);"
            "INSERT INTO n SELECT g, 10::numeric ^ 900 + g FROM pg_catalog.generate_series(1, 400) g;"
            "CREATE TABLE z (id int); INSERT INTO z VALUES (1)");
    const std::string log = dir.file("trace.log");
    constexpr rlim_t limit = 256 * 1024;
    kestrun_result r;
    {
        // files the run writes cannot grow past the limit: a write there fails as on a full
        // disk (with SIGXFSZ ignored, which the program inherits)
        const file_size_limit scope(limit);
        r = run({"--logfile=" + log});
    }
    EXPECT_EQ(r.exit_code, 255) << r.err;
    const std::string head = database_line(3) + table_line("a", 2) + table_line("n", 400);
    const std::string tail = "Error:\nn: 400 of 400 records were not written\n" + table_line("z", 1)
                             + "Error:\nLogfile cannot be written: File too large. The trace log "
                               "of this run is incomplete.\n";
    ASSERT_GT(r.out.size(), head.size() + tail.size());
    EXPECT_EQ(r.out.substr(0, head.size()), head);
    EXPECT_EQ(r.out.substr(r.out.size() - tail.size()), tail);
    // the log holds the run's trace up to the limit
    EXPECT_EQ(std::filesystem::file_size(log), limit);
    EXPECT_EQ(test_read_file(log).rfind("Connecting to Oracle data source", 0), 0u);
    EXPECT_EQ(oracle_tables(), (strings{"a", "n", "z"}));
    expect_whole({"a", "z"});
    EXPECT_EQ(oracle("SELECT COUNT(*) FROM \"n\";"), strings{"0"});
}

TEST_F(kestrun_run_failures, a_trace_log_on_a_full_filesystem_is_refused_at_start)
{
    pg.exec("CREATE TABLE a (id int); INSERT INTO a VALUES (1)");
    for (const bool exists : {false, true}) {
        const std::string log = dir.file("trace.log");
        if (exists)
            test_write_file(log, "an earlier trace\n");
        const kestrun_result r
            = run({"--logfile=" + log}, {"LD_PRELOAD=" FULL_FS_LIB, "FULL_FS_PATH=" + log});
        EXPECT_EQ(r.exit_code, 255) << exists << r.err;
        EXPECT_EQ(r.out, "Error:\nLogfile cannot be written: No space left on device. Please "
                         "verify the correct path was given.\n")
            << exists;
        EXPECT_EQ(std::filesystem::exists(log), exists);
        if (exists) {
            EXPECT_EQ(test_read_file(log), "an earlier trace\n");
        }
        EXPECT_EQ(oracle_tables(), strings{});
    }
}

TEST_F(kestrun_run_failures, a_table_whose_lock_waits_past_a_time_out_is_said_to_be_unwritten)
{
    pg.exec(tables);
    struct timeout_case {
        std::string setting;
        std::string error;   // how the server ends the wait
    };
    // (a statement time-out well above what any other statement of the run takes)
    const timeout_case cases[] = {
        {"statement_timeout = '2s'", "canceling statement due to statement timeout"},
        {"lock_timeout = '100ms'", "canceling statement due to lock timeout"},
    };
    for (const timeout_case& c : cases) {
        alter("SET " + c.setting);
        // b is held for the whole run: counting it apart waits as long
        const std::unique_ptr<test_pg_hold> hold = test_pg_hold::table(pg, "b");
        const kestrun_result r = run({});
        hold->release();
        alter("RESET " + c.setting.substr(0, c.setting.find(' ')));
        EXPECT_EQ(r.exit_code, 255) << c.setting << r.err;
        const std::string head = database_line(4) + table_line("a", 2)
                                 + "Error:\nb: Cannot begin reading b: ERROR:  " + c.error;
        const std::string tail = "\nError:\nb: None of its records were written (their number "
                                 "could not be read)\n"
                                 + table_line("c", 1) + table_line("d", 2);
        EXPECT_EQ(r.out.substr(0, head.size()), head) << c.setting << r.out;
        ASSERT_GT(r.out.size(), tail.size());
        EXPECT_EQ(r.out.substr(r.out.size() - tail.size()), tail) << c.setting << r.out;
        EXPECT_EQ(oracle_tables(), (strings{"a", "c", "d"})) << c.setting;
        expect_whole({"a", "c", "d"});
    }
}

TEST_F(kestrun_run_failures, a_server_restart_mid_run_costs_the_table_in_hand_alone)
{
    // a server of its own: the others' sessions must not end with this one's
    const test_pg_cluster cluster("C");
    const test_pg_server& s = cluster.server();
    cluster.exec("CREATE DATABASE r");
    {
        pqxx::connection c(s.conn_string("r"));
        pqxx::nontransaction(c).exec(tables);
    }
    // the run stops as it creates b in Oracle, b's rows counted and not yet read
    const std::string held = dir.file("held");
    std::vector<std::string> env = ora.environment();
    env.push_back("OCISIM_HOLD=1:CREATE TABLE \"b\"*");
    env.push_back("OCISIM_HOLD_FILE=" + held);
    std::vector<std::string> args = ora_args();
    for (const std::string& a : strings{"--no_schema", "--posgsh=" + s.host, "--pgport=" + s.port,
                                 "--posgsu=" + s.user, "--posgsp=" + s.password, "--src=r"})
        args.push_back(a);
    kestrun_result r;
    std::thread runner([&] { r = run_kestrun(args, env); });
    test_wait_until([&] { return std::filesystem::exists(held); }, "the run held at table b");
    cluster.restart();
    std::filesystem::remove(held);
    runner.join();
    EXPECT_EQ(r.exit_code, 255) << r.err;
    const std::string head = "Converting database r(4 tables)\n" + table_line("a", 2)
                             + table_line("b", 3) + "Error:\nb: " + lost;
    const std::string tail = "\nError:\nb: 3 of 3 records were not written\n"
                             + table_line("c", 1) + table_line("d", 2);
    EXPECT_EQ(r.out.substr(0, head.size()), head) << r.out;
    ASSERT_GT(r.out.size(), tail.size());
    EXPECT_EQ(r.out.substr(r.out.size() - tail.size()), tail) << r.out;
    EXPECT_EQ(oracle_tables(), (strings{"a", "b", "c", "d"})) << r.out;
    EXPECT_EQ(oracle("SELECT COUNT(*) FROM \"b\";"), strings{"0"});
    EXPECT_EQ(oracle("SELECT \"id\" FROM \"a\" ORDER BY 1;"), (strings{"1", "2"}));
    EXPECT_EQ(oracle("SELECT \"id\" FROM \"c\";"), strings{"1"});
    EXPECT_EQ(oracle("SELECT \"id\" FROM \"d\" ORDER BY 1;"), (strings{"1", "2"}));
}

TEST_F(kestrun_run_failures, a_profile_query_whose_connection_ends_is_said_to_be_unwritten)
{
    // q waits for b as its tables are found; the connection is made again for the next ones
    pg.exec(tables);
    const std::string p = profile("p.qlx", generic() + "\r\nno schema=1",
                                  "a\r\nq=SELECT * FROM b\r\nr=SELECT * FROM c JOIN d USING (id)\r\nd");
    std::unique_ptr<test_pg_hold> hold = test_pg_hold::table(pg, "b");
    kestrun_result r;
    std::thread runner([&] { r = run_kestrun({"--profile=" + p}, profile_environment()); });
    hold->wait_reached();
    end_waiting_session();
    hold->release();
    runner.join();
    EXPECT_EQ(r.exit_code, 255) << r.err;
    EXPECT_EQ(r.out, database_line(2) + table_line("a", 2) + table_line("d", 2) + "Error:\nq: "
                         + lost + "\nError:\nq: None of its records were written (their number "
                                  "could not be read)\n"
                         + table_line("r", 1));
    EXPECT_EQ(oracle_tables(), (strings{"a", "d", "r"}));
    expect_whole({"a", "d"});
    EXPECT_EQ(oracle("SELECT \"id\" FROM \"r\";"), strings{"1"});
}
