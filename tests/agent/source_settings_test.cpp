#include "agent_fixture.hpp"
#include "test_pg_hold.hpp"
#include "test_wait.hpp"

#include <pqxx/pqxx>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

using strings = std::vector<std::string>;

namespace {

// the source database's own settings, and the server's texts in english for its sessions
class kestrun_source_settings : public kestrun_profile {
protected:
    void SetUp() override { alter("SET lc_messages = 'C'"); }

    void alter(const std::string& change) const
    {
        pg.exec("ALTER DATABASE \"" + pg.name() + "\" " + change);
    }

    std::string no_schema_profile(const std::string& selected) const
    {
        return "--profile=" + profile("p.qlx", generic() + "\r\nno schema=1", selected);
    }

    // a run held at table a, which it lists before d, while the source changes; held is
    // false when the run ended without reaching a
    kestrun_result run_changed_at_a(bool with_schema, const std::string& change, bool& held) const
    {
        std::unique_ptr<test_pg_hold> hold = test_pg_hold::table(pg, "a");
        kestrun_result r;
        std::atomic<bool> done{false};
        std::thread runner([&] {
            r = with_schema ? run_with_schema({}) : run({});
            done = true;
        });
        test_wait_until([&] { return hold->reached() || done; }, "the run at table a");
        held = !done;
        pg.exec(change);
        hold->release();
        runner.join();
        return r;
    }
};

} // namespace

TEST_F(kestrun_source_settings, dates_and_timestamps_keep_their_day_and_time_in_every_zone)
{
    // days whose midnight some zone skipped: summer time from 00:00 (Sao Paulo 2018, Havana
    // 2023) and a day Apia left out
    // a domain over date is a date too
    pg.exec("CREATE DOMAIN day AS date;"
            "CREATE TABLE d (id int, d date, ts timestamp, tz timestamptz, dd day);"
            "INSERT INTO d VALUES (1, '2018-11-04', '2018-11-04 00:30:00', '2020-06-15 12:00:00+00',"
            " '2018-11-04'), (2, '2011-12-30', '2011-12-30 00:30:00', NULL, '2011-12-30'),"
            "(3, '2023-03-12', '2023-03-12 00:30:00', NULL, '2023-03-12')");
    const std::string p = no_schema_profile("d\r\nq=SELECT id AS qid, d, ts FROM d");
    const std::string dates = "\"d\", 'YYYY-MM-DD HH24:MI:SS'), TO_CHAR(\"ts\", 'YYYY-MM-DD HH24:MI:SS')";
    const strings day_rows = {"1\t2018-11-04 00:00:00\t2018-11-04 00:30:00",
                              "2\t2011-12-30 00:00:00\t2011-12-30 00:30:00",
                              "3\t2023-03-12 00:00:00\t2023-03-12 00:30:00"};
    struct zone_case {
        std::string zone;
        // a timestamptz arrives as the local time of the session's zone
        std::string local;
    };
    const zone_case zones[] = {{"UTC", "2020-06-15 12:00:00"},
                               {"America/Sao_Paulo", "2020-06-15 09:00:00"},
                               {"America/Havana", "2020-06-15 08:00:00"},
                               {"Pacific/Apia", "2020-06-16 01:00:00"}};
    for (const zone_case& c : zones)
        for (const bool by_environment : {false, true}) {
            const std::string what = c.zone + (by_environment ? " by PGTZ" : " by the database");
            alter(by_environment ? "RESET timezone" : "SET timezone = '" + c.zone + "'");
            const kestrun_result r = run_default_port(
                {p}, by_environment ? strings{"PGTZ=" + c.zone} : strings{});
            EXPECT_EQ(r.exit_code, 0) << what << r.out << r.err;
            EXPECT_EQ(r.out, database_line(1) + table_line("d", 3) + table_line("q", 3)) << what;
            EXPECT_EQ(oracle("SELECT \"id\", TO_CHAR(" + dates + " FROM \"d\" ORDER BY 1;"),
                      day_rows)
                << what;
            EXPECT_EQ(oracle("SELECT \"qid\", TO_CHAR(" + dates + " FROM \"q\" ORDER BY 1;"),
                      day_rows)
                << what;
            EXPECT_EQ(oracle("SELECT \"id\", TO_CHAR(\"dd\", 'YYYY-MM-DD HH24:MI:SS') FROM \"d\" "
                             "ORDER BY 1;"),
                      (strings{"1\t2018-11-04 00:00:00", "2\t2011-12-30 00:00:00",
                               "3\t2023-03-12 00:00:00"}))
                << what;
            EXPECT_EQ(oracle("SELECT TO_CHAR(\"tz\", 'YYYY-MM-DD HH24:MI:SS') FROM \"d\" "
                             "WHERE \"id\" = 1;"),
                      strings{c.local})
                << what;
        }
}

TEST_F(kestrun_source_settings, output_styles_of_the_database_role_or_client_change_no_text)
{
    pg.exec("CREATE TYPE span AS (at timestamp, length interval);"
            "CREATE TABLE s (id int, da date[], i interval, ba bytea[], ta timestamp[], r span,"
            " d date);"
            "INSERT INTO s VALUES (1, '{2018-11-04,2018-04-11}', '1 day 02:03:04',"
            " ARRAY['\\x00ff'::bytea, 'A'], ARRAY['2018-11-04 10:20:30'::timestamp],"
            " ROW('2018-04-11 01:02:03', '-1 mon 2 days'), '2018-04-11')");
    const std::string sql = "SELECT \"da\", \"i\", \"ba\", \"ta\", \"r\", "
                            "TO_CHAR(\"d\", 'YYYY-MM-DD') FROM \"s\";";
    // as a database with a fresh cluster's settings gives them (the tool doubles a backslash)
    const strings defaults = {"{2018-11-04,2018-04-11}\t1 day 02:03:04"
                              "\t{\"\\\\\\\\x00ff\",\"\\\\\\\\x41\"}"
                              "\t{\"2018-11-04 10:20:30\"}"
                              "\t(\"2018-04-11 01:02:03\",\"-1 mons +2 days\")\t2018-04-11"};
    struct style_case {
        std::string what;
        std::string database;   // ALTER DATABASE ... SET
        std::string role;       // ALTER ROLE ... IN DATABASE ... SET
        std::string env;
    };
    const style_case cases[] = {
        {"defaults", "", "", ""},
        {"SQL, DMY", "datestyle = 'SQL, DMY'", "", ""},
        {"SQL, MDY", "datestyle = 'SQL, MDY'", "", ""},
        {"Postgres, DMY", "datestyle = 'Postgres, DMY'", "", ""},
        {"iso_8601", "intervalstyle = 'iso_8601'", "", ""},
        {"sql_standard", "intervalstyle = 'sql_standard'", "", ""},
        {"escape", "bytea_output = 'escape'", "", ""},
        {"German for the role", "", "datestyle = 'German'", ""},
        {"PGDATESTYLE", "", "", "PGDATESTYLE=German"},
        {"PGOPTIONS", "", "", "PGOPTIONS=-c intervalstyle=postgres_verbose -c bytea_output=escape"},
    };
    const std::string role = "ALTER ROLE CURRENT_USER IN DATABASE \"" + pg.name() + "\" ";
    for (const style_case& c : cases) {
        alter(c.database.empty() ? "RESET ALL" : "SET " + c.database);
        alter("SET lc_messages = 'C'");
        pg.exec(role + (c.role.empty() ? "RESET ALL" : "SET " + c.role));
        const kestrun_result r = run({}, c.env.empty() ? strings{} : strings{c.env});
        EXPECT_EQ(r.exit_code, 0) << c.what << r.out << r.err;
        EXPECT_EQ(r.out, database_line(1) + table_line("s", 1)) << c.what;
        EXPECT_EQ(oracle(sql), defaults) << c.what;
    }
    pg.exec(role + "RESET ALL");
}

TEST_F(kestrun_source_settings, a_profile_query_that_would_write_fails_its_table_and_writes_nothing)
{
    pg.exec("CREATE TABLE audit (v int); CREATE SEQUENCE seq;"
            "CREATE FUNCTION note() RETURNS int LANGUAGE sql"
            " AS $$INSERT INTO audit VALUES (9) RETURNING v$$;"
            "CREATE TABLE t (id int); INSERT INTO t VALUES (1)");
    const std::string p = no_schema_profile(
        "a=SELECT 1 AS a) AS q; COMMIT; INSERT INTO audit VALUES (8); SELECT * FROM (SELECT 1 AS a"
        "\r\nb=SELECT note() AS v"
        "\r\nc=SELECT nextval('seq') AS v"
        "\r\nd=WITH w AS (INSERT INTO audit VALUES (7) RETURNING v) SELECT v FROM w"
        "\r\nt");
    const kestrun_result r = run_default_port({p});
    EXPECT_EQ(r.exit_code, 255) << r.out << r.err;
    // a text of several statements is refused before anything runs; what calls a writing
    // function or nextval() fails when the rows are counted
    EXPECT_EQ(r.out,
              database_line(1) + "Error:\na: Cannot begin reading a: ERROR:  cannot "
                                 "insert multiple commands into a "
                                 "prepared statement \n"
                  + "Error:\na: None of its records were written (their number could not be read)\n"
                  + "Error:\nb: Cannot get number of records (b): ERROR:  cannot execute INSERT "
                    "in a read-only transaction CONTEXT:  SQL function \"note\" statement 1 \n"
                  + "Error:\nb: None of its records were written (their number could not be read)\n"
                  + "Error:\nc: Cannot get number of records (c): ERROR:  cannot execute "
                    "nextval() in a read-only transaction \n"
                  + "Error:\nc: None of its records were written (their number could not be read)\n"
                  + "Error:\nd: Cannot begin reading d: ERROR:  WITH clause containing a "
                    "data-modifying statement must "
                    "be at the top level LINE 1: SELECT * FROM (WITH w AS (INSERT INTO audit "
                    "VALUES (7) RETUR...                             ^ \n"
                  + "Error:\nd: None of its records were written (their number could not be read)\n"
                  + table_line("t", 1))
        << r.err;
    EXPECT_EQ(pg.query_value("SELECT count(*) FROM audit"), "0");
    EXPECT_EQ(pg.query_value("SELECT is_called FROM seq"), "f");
    EXPECT_EQ(oracle("SELECT \"id\" FROM \"t\";"), strings{"1"});
}

TEST_F(kestrun_source_settings, a_connection_the_server_ends_mid_table_is_reported_as_lost)
{
    // the third row waits for a lock the test holds, only while the rows are fetched
    pg.exec("CREATE TABLE b (id int); INSERT INTO b VALUES (1);"
            "CREATE TABLE c (id int); INSERT INTO c VALUES (2)");
    const std::string p = no_schema_profile(
        "a=SELECT g AS id, CASE WHEN g = 3 AND pg_catalog.current_query() LIKE 'FETCH%' THEN "
        "pg_catalog.pg_advisory_xact_lock_shared(26)::text END AS held "
        "FROM pg_catalog.generate_series(1, 5) AS g\r\nb\r\nc");
    pqxx::connection holder(pg.conn_string());
    pqxx::nontransaction(holder).exec("SELECT pg_advisory_lock(26)");
    bool ended = false;
    std::thread killer([&] {
        pqxx::nontransaction w(holder);
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while (!ended && std::chrono::steady_clock::now() < deadline) {
            const pqxx::result r = w.exec(
                "SELECT pg_terminate_backend(pid) FROM pg_stat_activity WHERE datname = "
                + w.quote(pg.name())
                + " AND wait_event_type = 'Lock' AND query LIKE 'FETCH%'");
            ended = !r.empty() && r[0][0].as<bool>();
            if (!ended)
                std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        w.exec("SELECT pg_advisory_unlock(26)");
    });
    const kestrun_result r = run_default_port({p});
    killer.join();
    ASSERT_TRUE(ended) << r.out << r.err;
    EXPECT_EQ(r.exit_code, 255);
    EXPECT_EQ(r.err, "");
    const std::string lost = "The connection to the PostgreSQL server was lost";
    const std::string head = database_line(2) + table_line("a", 5) + "Error:\na: " + lost
                             + ": FATAL:  terminating connection due to administrator command\n"
                             + "Error:\na: 4 of 5 records were not written\n";
    ASSERT_EQ(r.out.substr(0, head.size()), head) << r.out;
    // the tables after it are read on a new connection
    EXPECT_EQ(r.out.substr(head.size()), table_line("b", 1) + table_line("c", 1));
    EXPECT_EQ(oracle("SELECT \"id\" FROM \"a\";"), strings{"1"});
    EXPECT_EQ(oracle("SELECT \"id\" FROM \"b\";"), strings{"1"});
    EXPECT_EQ(oracle("SELECT \"id\" FROM \"c\";"), strings{"2"});
}

TEST_F(kestrun_source_settings, a_literal_of_a_query_reads_in_the_field_order_of_the_session)
{
    // 04/11/2018 is November 4th in DMY, April 11th in MDY; dates arrive the same either way
    pg.exec("CREATE TABLE t (id int, d date);"
            "INSERT INTO t VALUES (1, '2018-11-04'), (2, '2018-04-11')");
    const std::string p = no_schema_profile("q=SELECT id, d FROM t WHERE d = '04/11/2018'");
    struct order_case {
        std::string what;
        std::string database;
        std::string env;
        std::string id;
    };
    const order_case cases[] = {
        {"German, DMY", "datestyle = 'German, DMY'", "", "1"},
        {"SQL, DMY", "datestyle = 'SQL, DMY'", "", "1"},
        {"ISO, MDY", "datestyle = 'ISO, MDY'", "", "2"},
        {"PGDATESTYLE", "", "PGDATESTYLE=Postgres, DMY", "1"},
    };
    for (const order_case& c : cases) {
        alter(c.database.empty() ? "RESET datestyle" : "SET " + c.database);
        const kestrun_result r = run_default_port({p}, c.env.empty() ? strings{} : strings{c.env});
        EXPECT_EQ(r.exit_code, 0) << c.what << r.out << r.err;
        EXPECT_EQ(r.out, database_line(0) + table_line("q", 1)) << c.what;
        EXPECT_EQ(oracle("SELECT \"id\", TO_CHAR(\"d\", 'YYYY-MM-DD') FROM \"q\";"),
                  strings{c.id + (c.id == "1" ? "\t2018-11-04" : "\t2018-04-11")})
            << c.what;
    }
}

TEST_F(kestrun_source_settings, a_query_ending_in_a_comment_or_semicolon_runs_as_psql_runs_it)
{
    pg.exec("CREATE TABLE t (id int, v text);"
            "INSERT INTO t VALUES (1, 'a;--b'), (2, 'c'), (3, 'it''s;--')");
    // a ';' or "--" inside a literal or a quoted name is no end: taken for one, the text
    // after it would be cut off or lose its ';', and the query would select other rows
    const struct {
        std::string query;
        strings ids;
    } cases[] = {
        {"SELECT id, v FROM t -- all rows", {"1", "2", "3"}},
        {"SELECT id, v FROM t; -- done", {"1", "2", "3"}},
        {"SELECT id, v FROM t /* all */ ;; ", {"1", "2", "3"}},
        {"SELECT id, v FROM t WHERE v = 'a;--b'; /* one */ -- row", {"1"}},
        {"SELECT id, v FROM t WHERE v = $$a;--b$$;", {"1"}},
        {"SELECT id, v FROM t WHERE v = E'a\\;--b' --", {"1"}},
        {"SELECT id, v FROM t AS \"x;--y\" WHERE \"x;--y\".v <> 'c';", {"1", "3"}},
        {"SELECT id, v FROM t WHERE v <> $tag$a;--b$tag$; -- done", {"2", "3"}},
        {"SELECT id, v FROM t WHERE v = E'it\\'s;--' OR v = 'a;--b';", {"1", "3"}},
    };
    for (const auto& c : cases) {
        const kestrun_result r = run_default_port({no_schema_profile("q=" + c.query)});
        EXPECT_EQ(r.exit_code, 0) << c.query << r.out << r.err;
        EXPECT_EQ(r.out, database_line(0) + table_line("q", static_cast<int>(c.ids.size())))
            << c.query;
        // a query the server refused left no table, and the next case goes on
        if (oracle_tables() != strings{"q"}) {
            ADD_FAILURE() << "no table q: " << c.query;
            continue;
        }
        EXPECT_EQ(oracle("SELECT \"id\" FROM \"q\" ORDER BY 1;"), c.ids) << c.query;
        ora.sql("DROP TABLE \"q\";");
    }
    // a comment alone is no query
    const kestrun_result r = run_default_port({no_schema_profile("e=-- nothing ;")});
    EXPECT_EQ(r.exit_code, 255);
    EXPECT_EQ(r.out, database_line(0) + "Error:\ne: The query of e is empty\n"
                         + "Error:\ne: None of its records were written (their number could not be read)\n")
        << r.err;
}

TEST_F(kestrun_source_settings, a_table_dropped_after_the_run_listed_it_is_a_table_the_source_lacks)
{
    pg.exec("CREATE TABLE a (id int); INSERT INTO a VALUES (1);"
            "CREATE TABLE d (id int); INSERT INTO d VALUES (2);"
            "CREATE TABLE e (id int); INSERT INTO e VALUES (3)");
    bool held = false;
    const kestrun_result r = run_changed_at_a(false, "DROP TABLE d", held);
    ASSERT_TRUE(held) << r.out << r.err;
    EXPECT_EQ(r.exit_code, 255);
    EXPECT_EQ(r.out, database_line(3) + table_line("a", 1) + table_line("e", 1));
    EXPECT_EQ(r.err, "Table d not exists\n");
    EXPECT_EQ(oracle_tables(), (strings{"a", "e"}));
}

TEST_F(kestrun_source_settings, a_table_whose_schema_is_dropped_after_the_run_listed_it_is_missing)
{
    pg.exec("CREATE TABLE a (id int); INSERT INTO a VALUES (1);"
            "CREATE SCHEMA sch; CREATE TABLE sch.d (id int); INSERT INTO sch.d VALUES (2);"
            "CREATE TABLE e (id int); INSERT INTO e VALUES (3)");
    bool held = false;
    const kestrun_result r = run_changed_at_a(true, "DROP SCHEMA sch CASCADE", held);
    ASSERT_TRUE(held) << r.out << r.err;
    EXPECT_EQ(r.exit_code, 255);
    EXPECT_EQ(r.out, database_line(3) + table_line("public.a", 1) + table_line("public.e", 1));
    EXPECT_EQ(r.err, "Table sch.d not exists\n");
    EXPECT_EQ(oracle_tables(), (strings{"public_a", "public_e"}));
}

TEST_F(kestrun_source_settings, a_table_changed_while_the_run_holds_it_arrives_as_it_was)
{
    // the run is held at t; its type and values change from a session of the test meanwhile
    pg.exec("CREATE TABLE t (id int PRIMARY KEY, n int); INSERT INTO t VALUES (1, 7), (2, 8)");
    std::unique_ptr<test_pg_hold> hold = test_pg_hold::table(pg, "t");
    kestrun_result r;
    bool done = false;
    std::thread runner([&] {
        r = run({});
        done = true;
    });
    test_wait_until([&] { return hold->reached() || done; }, "the run at table t");
    const bool held = !done;
    // from a session of the test: waits for the hold's lock, commits once it goes
    std::thread change([&] {
        pg.exec("ALTER TABLE t ALTER COLUMN n TYPE bigint; UPDATE t SET n = 3000000000 + id;"
                "INSERT INTO t VALUES (3, -3000000000)");
    });
    test_wait_until([&] {
        return pg.query_value("SELECT count(*) FROM pg_locks l JOIN pg_class c ON c.oid = "
                              "l.relation WHERE c.relname = 't' AND NOT l.granted")
               == "2";
    }, "the change and the run both waiting for t");
    hold->release();
    change.join();
    runner.join();
    ASSERT_TRUE(held) << r.out << r.err;
    EXPECT_EQ(r.exit_code, 0) << r.out << r.err;
    // the run asked first: it reads the rows as they were, and the change waits for it
    EXPECT_EQ(r.out, database_line(1) + table_line("t", 2));
    EXPECT_EQ(oracle("SELECT \"id\", \"n\" FROM \"t\" ORDER BY 1;"), (strings{"1\t7", "2\t8"}));
    EXPECT_EQ(pg.query_value("SELECT n FROM t WHERE id = 3"), "-3000000000");
}

TEST_F(kestrun_source_settings, tables_whose_indexes_call_the_databases_own_functions_convert)
{
    // planning a table's read inlines these sql functions, whose bodies name the extension's
    // type, the extension's function and the user's own function, found on the database's path
    pg.exec("CREATE EXTENSION cube; CREATE EXTENSION earthdistance; CREATE EXTENSION unaccent;"
            "CREATE FUNCTION norm(text) RETURNS text LANGUAGE sql IMMUTABLE"
            " AS $$ SELECT lower(btrim($1)) $$;"
            "CREATE TABLE cities (id int PRIMARY KEY, lat float8, lon float8, r regclass,"
            " k regtype, f regproc);"
            "CREATE INDEX cities_earth ON cities USING gist (ll_to_earth(lat, lon));"
            "INSERT INTO cities VALUES (1, 48.85, 2.35, 'cities', 'earth', 'norm'),"
            " (2, -33.87, 151.21, NULL, NULL, NULL)");
    pg.exec("CREATE FUNCTION f_unaccent(text) RETURNS text LANGUAGE sql IMMUTABLE"
            " AS $$ SELECT unaccent('unaccent', $1) $$;"
            "CREATE TABLE names (id int, name text);"
            "CREATE INDEX names_plain ON names (f_unaccent(name));"
            "INSERT INTO names VALUES (1, 'Élodie'), (2, 'Zoë');"
            "CREATE FUNCTION is_open(text) RETURNS boolean LANGUAGE sql IMMUTABLE"
            " AS $$ SELECT norm($1) = 'open' $$;"
            "CREATE TABLE orders (id int, status text);"
            "CREATE INDEX orders_open ON orders (id) WHERE is_open(status);"
            "CREATE STATISTICS orders_norm ON (norm(status)) FROM orders;"
            "INSERT INTO orders VALUES (1, ' Open'), (2, 'closed');"
            "ANALYZE orders");
    const auto report = [](const std::string& table, const std::string& text) {
        return "Error:\n" + table + ": " + text + "\n";
    };
    const kestrun_result r = run({});
    EXPECT_EQ(r.exit_code, 255) << r.out << r.err;
    // the expression and partial indexes are left out, as any such index is
    EXPECT_EQ(r.out, database_line(3) + table_line("cities", 2)
                         + report("cities", "Index cities_earth was not created: its key holds "
                                            "an expression, which is not converted")
                         + table_line("names", 2)
                         + report("names", "Index names_plain was not created: its key holds "
                                           "an expression, which is not converted")
                         + table_line("orders", 2)
                         + report("orders", "Index orders_open was not created: it covers only "
                                            "the rows of its WHERE condition, which is not "
                                            "converted"))
        << r.err;
    EXPECT_EQ(oracle_tables(), (strings{"cities", "names", "orders"}));
    // the reg* values still name their objects with their schema
    EXPECT_EQ(oracle("SELECT \"id\", \"r\", \"k\", \"f\" FROM \"cities\" ORDER BY 1;"),
              (strings{"1\tpublic.cities\tpublic.earth\tpublic.norm", "2\t~\t~\t~"}));
    EXPECT_EQ(oracle("SELECT \"id\", \"name\" FROM \"names\" ORDER BY 1;"),
              (strings{"1\tÉlodie", "2\tZoë"}));
    EXPECT_EQ(oracle("SELECT \"id\", \"status\" FROM \"orders\" ORDER BY 1;"),
              (strings{"1\t Open", "2\tclosed"}));
}

TEST_F(kestrun_source_settings, a_table_reads_under_an_empty_search_path_of_the_database)
{
    pg.exec("CREATE TABLE public.t (id int PRIMARY KEY, r regclass);"
            "INSERT INTO public.t VALUES (1, 'public.t')");
    alter("SET search_path = ''");
    const kestrun_result r = run({});
    EXPECT_EQ(r.exit_code, 0) << r.out << r.err;
    EXPECT_EQ(r.out, database_line(1) + table_line("t", 1)) << r.err;
    EXPECT_EQ(oracle("SELECT \"id\", \"r\" FROM \"t\";"), strings{"1\tpublic.t"});
}

TEST_F(kestrun_source_settings, a_table_reads_under_a_path_of_a_quoted_schema_and_a_missing_one)
{
    // the database's path names its schemas as the server quotes them, and one it lacks
    pg.exec("CREATE SCHEMA \"My Schema\"; SET search_path = \"My Schema\";"
            "CREATE FUNCTION \"My Schema\".g(text) RETURNS text LANGUAGE sql IMMUTABLE"
            " AS $$ SELECT pg_catalog.lower($1) $$;"
            "CREATE FUNCTION \"My Schema\".f(text) RETURNS text LANGUAGE sql IMMUTABLE"
            " AS $$ SELECT g($1) $$;"
            "CREATE TABLE \"My Schema\".\"T x\" (id int PRIMARY KEY, s text, r regclass);"
            "CREATE INDEX tx_f ON \"My Schema\".\"T x\" (f(s));"
            "INSERT INTO \"My Schema\".\"T x\" VALUES (1, 'A', '\"My Schema\".\"T x\"')");
    alter("SET search_path = nosuch, \"My Schema\"");
    const kestrun_result r = run_with_schema({});
    EXPECT_EQ(r.exit_code, 255) << r.out << r.err;
    EXPECT_EQ(r.out, database_line(1) + table_line("My Schema.T x", 1)
                         + "Error:\nMy Schema.T x: Index tx_f was not created: its key holds an "
                           "expression, which is not converted\n")
        << r.err;
    EXPECT_EQ(oracle("SELECT \"id\", \"s\", \"r\" FROM \"My_Schema_T_x\";"),
              strings{"1\tA\t\"My Schema\".\"T x\""});
}
