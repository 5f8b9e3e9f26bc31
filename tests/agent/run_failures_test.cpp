#include "agent_fixture.hpp"
#include "test_pg_hold.hpp"
#include "test_wait.hpp"

#include <pqxx/pqxx>

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
    const std::string role = pg.name();
    pg.exec("CREATE ROLE \"" + role + "\" LOGIN PASSWORD 'pw';"
            "CREATE TABLE t (id int); INSERT INTO t VALUES (1), (2);"
            "ALTER TABLE t ENABLE ROW LEVEL SECURITY;"
            "CREATE POLICY odd ON t USING (id % 2 = 1);"
            "GRANT SELECT ON t TO \"" + role + "\";"
            "CREATE TABLE u (id int, secret text); INSERT INTO u VALUES (1, 's'), (2, 's');"
            "GRANT SELECT (id) ON u TO \"" + role + "\";"
            "CREATE TABLE v (id int); INSERT INTO v VALUES (1);"
            "GRANT SELECT ON v TO \"" + role + "\"");
    struct dropper {
        const test_pg_database& db;
        std::string role;
        ~dropper() { db.exec("DROP OWNED BY \"" + role + "\"; DROP ROLE \"" + role + "\""); }
    } drop{pg, role};
    const kestrun_result r = run({"--posgsu=" + role, "--posgsp=pw"});
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
        alter("SET statement_timeout = '200ms'");
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
