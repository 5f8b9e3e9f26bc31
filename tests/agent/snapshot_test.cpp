#include "agent_fixture.hpp"
#include "test_pg_hold.hpp"
#include "test_wait.hpp"

#include <atomic>
#include <cstdio>
#include <functional>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

using strings = std::vector<std::string>;

namespace {

// a table t of two rows, changed by another session while a run reads it
class kestrun_snapshot : public kestrun_profile {
protected:
    void SetUp() override
    {
        pg.exec("CREATE TABLE t (id int PRIMARY KEY, n int); INSERT INTO t VALUES (1, 7), (2, 8)");
    }

    // a role that may read every column of t, but not the table itself: LOCK TABLE is refused
    // to it. it leaves with the test
    void add_column_reader()
    {
        pg.exec("CREATE ROLE \"" + role() + "\" LOGIN PASSWORD 'pw';"
                "GRANT SELECT (id, n) ON t TO \"" + role() + "\"");
        m_role_made = true;
    }

    void TearDown() override
    {
        if (m_role_made)
            pg.exec("DROP OWNED BY \"" + role() + "\"; DROP ROLE \"" + role() + "\"");
    }

    // named like the database, which its first connection then finds
    std::string role() const { return pg.name(); }

    // a profile converting t, or q=query, as user (with password pw unless it is the server's)
    std::string profile_as(const std::string& user, const std::string& selected) const
    {
        const test_pg_server& s = test_pg_server::get();
        const std::string password = user == s.user ? s.password : "pw";
        return "--profile="
               + dir.write("p.qlx", "[Generic settings]\r\n" + generic()
                                        + "\r\nno schema=1\r\n[Oracle settings]\r\nuser="
                                        + ora.user() + "\r\npassword=" + ora.password()
                                        + "\r\n[Selected Tables]\r\n" + selected
                                        + "\r\n[pgs settings]\r\nhost=" + s.host + "\r\nuser="
                                        + user + "\r\npassword=" + password + "\r\n");
    }

    // runs the program in a thread while `meanwhile` acts on the source
    kestrun_result run_while(const std::vector<std::string>& args,
                             const std::vector<std::string>& env,
                             const std::function<void(const std::atomic<bool>& done)>& meanwhile)
    {
        kestrun_result r;
        std::atomic<bool> done{false};
        std::thread runner([&] {
            r = run_default_port(args, env);
            done = true;
        });
        try {
            meanwhile(done);
        } catch (...) {
            runner.join();
            throw;
        }
        runner.join();
        return r;
    }

    // runs the program with a profile converting `selected` as user while another session
    // holds `table`: once the run waits for it, that session makes the change and commits.
    // held is false when the run ended without waiting there
    kestrun_result run_rewritten_by_holder(const std::string& user, const std::string& selected,
                                           const std::string& table, const std::string& change,
                                           bool& held)
    {
        // held before the run starts, so the run cannot pass the table before the hold
        const std::unique_ptr<test_pg_hold> hold = test_pg_hold::table(pg, table);
        return run_while({profile_as(user, selected)}, {}, [&](const std::atomic<bool>& done) {
            test_wait_until([&] { return hold->reached() || done; }, "the run at " + table);
            held = !done;
            hold->exec(change);
            hold->release();
        });
    }

private:
    bool m_role_made = false;
};

} // namespace

TEST_F(kestrun_snapshot, a_table_its_holder_rewrites_while_the_run_waits_arrives_whole)
{
    // the session that holds t as the run starts changes it and commits while the run waits
    // for t: the run reads t as that session left it, all of it
    add_column_reader();
    const std::string owner = test_pg_server::get().user;
    const struct {
        std::string change;
        strings rows;
    } changes[] = {
        {"ALTER TABLE t ALTER COLUMN n TYPE bigint; UPDATE t SET n = 3000000000 + id;"
         "INSERT INTO t VALUES (3, -3000000000)",
         {"1\t3000000001", "2\t3000000002", "3\t-3000000000"}},
        {"TRUNCATE t; INSERT INTO t VALUES (4, 40), (5, 50), (6, 60)",
         {"4\t40", "5\t50", "6\t60"}},
    };
    const struct {
        std::string what;
        std::string user;
        std::string selected;
        std::string table;
        bool view = false;
    } reads[] = {
        {"the table", owner, "t", "t"},
        {"a query", owner, "q=SELECT * FROM t", "q"},
        // the lock is refused: the read that follows finds the rewrite and starts again
        {"the table by a reader of its columns", role(), "t", "t"},
        {"a query by a reader of its columns", role(), "q=SELECT id, n FROM t", "q"},
        // the view is locked, and t through it; a column a view shows keeps its type
        {"a query over a view by a reader of the view", role(), "q=SELECT * FROM v", "q", true},
    };
    for (const auto& change : changes)
        for (const auto& read : reads) {
            const std::string what = read.what + ", " + change.change;
            if (read.view && change.change.find("ALTER") != std::string::npos)
                continue;
            pg.exec("DROP VIEW IF EXISTS v; TRUNCATE t; ALTER TABLE t ALTER COLUMN n TYPE int;"
                    "INSERT INTO t VALUES (1, 7), (2, 8)");
            if (read.view)
                pg.exec("CREATE VIEW v AS SELECT id, n FROM t;"
                        "GRANT SELECT ON v TO \"" + role() + "\"");
            bool held = false;
            const kestrun_result r
                = run_rewritten_by_holder(read.user, read.selected, "t", change.change, held);
            ASSERT_TRUE(held) << what << r.out << r.err;
            EXPECT_EQ(r.exit_code, 0) << what << r.out << r.err;
            EXPECT_EQ(r.out, database_line(read.table == "t" ? 1 : 0)
                                 + table_line(read.table, 3))
                << what << r.err;
            EXPECT_EQ(oracle("SELECT \"id\", \"n\" FROM \"" + read.table + "\" ORDER BY 1;"),
                      change.rows)
                << what;
            ora.sql("DROP TABLE \"" + read.table + "\";");
        }
}

TEST_F(kestrun_snapshot, a_row_added_between_the_count_and_the_rows_is_not_read)
{
    // the run is held at the destination once it counted the rows and before it reads them
    const std::string held = dir.file("held");
    const strings env = {"OCISIM_HOLD=1:CREATE TABLE*", "OCISIM_HOLD_FILE=" + held};
    const std::string owner = test_pg_server::get().user;
    const struct {
        std::string selected;
        std::string table;
    } reads[] = {{"t", "t"}, {"q=SELECT * FROM t", "q"}};
    int next_id = 3;
    for (const auto& read : reads) {
        bool reached = false;
        const std::string row = std::to_string(next_id++);
        const kestrun_result r = run_while(
            {profile_as(owner, read.selected)}, env, [&](const std::atomic<bool>& done) {
                test_wait_until([&] { return access(held.c_str(), F_OK) == 0 || done; },
                                "the run at the destination's CREATE TABLE");
                reached = !done;
                pg.exec("INSERT INTO t VALUES (" + row + ", 0)");
                std::remove(held.c_str());
            });
        ASSERT_TRUE(reached) << read.table << r.out << r.err;
        EXPECT_EQ(r.exit_code, 0) << read.table << r.out << r.err;
        // the count and the rows come from one snapshot
        EXPECT_EQ(r.out, database_line(read.table == "t" ? 1 : 0) + table_line(read.table, 2))
            << read.table << r.err;
        EXPECT_EQ(oracle("SELECT \"id\", \"n\" FROM \"" + read.table + "\" ORDER BY 1;"),
                  (strings{"1\t7", "2\t8"}))
            << read.table;
        pg.exec("DELETE FROM t WHERE id > 2");
    }
}

TEST_F(kestrun_snapshot, a_query_over_a_materialized_view_gets_its_rows)
{
    // no LOCK TABLE takes a materialized view: it is checked for a refresh instead
    add_column_reader();
    pg.exec("CREATE MATERIALIZED VIEW m AS SELECT id * 10 AS id, n FROM t;"
            "GRANT SELECT ON m TO \"" + role() + "\"");
    for (const std::string& user : {test_pg_server::get().user, role()}) {
        const kestrun_result r = run_default_port({profile_as(user, "q=SELECT * FROM m")});
        EXPECT_EQ(r.exit_code, 0) << user << r.out << r.err;
        EXPECT_EQ(r.out, database_line(0) + table_line("q", 2)) << user << r.err;
        EXPECT_EQ(oracle("SELECT \"id\", \"n\" FROM \"q\" ORDER BY 1;"),
                  (strings{"10\t7", "20\t8"}))
            << user;
        ora.sql("DROP TABLE \"q\";");
    }
}

TEST_F(kestrun_snapshot, a_held_table_of_a_join_or_a_partition_rewritten_while_the_run_waits_arrives_whole)
{
    add_column_reader();
    pg.exec("CREATE TABLE u (id int PRIMARY KEY, m int);"
            "GRANT SELECT (id, m) ON u TO \"" + role() + "\";"
            "CREATE TABLE p (id int, n int) PARTITION BY RANGE (id);"
            "CREATE TABLE p1 PARTITION OF p FOR VALUES FROM (0) TO (10);"
            "CREATE TABLE p2 PARTITION OF p FOR VALUES FROM (10) TO (20);"
            "GRANT SELECT (id, n) ON p, p1, p2 TO \"" + role() + "\"");
    const std::string owner = test_pg_server::get().user;
    const std::string join = "q=SELECT t.id, t.n, u.m FROM t JOIN u USING (id)";
    const std::string rewrite_u = "TRUNCATE u; INSERT INTO u VALUES (1, 71), (2, 81)";
    const std::string rewrite_p1 = "TRUNCATE p1; INSERT INTO p1 VALUES (3, 3)";
    const struct {
        std::string user, selected, held, change, table;
        strings rows;
    } cases[] = {
        {owner, join, "u", "ALTER TABLE u ALTER COLUMN m TYPE bigint; UPDATE u SET m = m + 1", "q",
         {"1\t7\t71", "2\t8\t81"}},
        {owner, join, "u", rewrite_u, "q", {"1\t7\t71", "2\t8\t81"}},
        {role(), join, "u", rewrite_u, "q", {"1\t7\t71", "2\t8\t81"}},
        {owner, "q=SELECT * FROM p", "p1", rewrite_p1, "q", {"3\t3", "11\t11"}},
        {role(), "q=SELECT * FROM p", "p1", rewrite_p1, "q", {"3\t3", "11\t11"}},
        {owner, "p", "p1", rewrite_p1, "p", {"3\t3", "11\t11"}},
        {role(), "p", "p1", rewrite_p1, "p", {"3\t3", "11\t11"}},
    };
    for (const auto& c : cases) {
        const std::string what = c.user + ": " + c.selected + ": " + c.change;
        pg.exec("TRUNCATE u, p; ALTER TABLE u ALTER COLUMN m TYPE int;"
                "INSERT INTO u VALUES (1, 70), (2, 80); INSERT INTO p VALUES (1, 1), (2, 2), (11, 11)");
        bool held = false;
        const kestrun_result r = run_rewritten_by_holder(c.user, c.selected, c.held, c.change, held);
        ASSERT_TRUE(held) << what << r.out << r.err;
        EXPECT_EQ(r.exit_code, 0) << what << r.out << r.err;
        EXPECT_EQ(r.out, database_line(c.table == "q" ? 0 : 1)
                             + table_line(c.table, static_cast<int>(c.rows.size())))
            << what << r.err;
        const std::string columns = c.table == "q" && c.held == "u" ? "\"id\", \"n\", \"m\""
                                                                    : "\"id\", \"n\"";
        EXPECT_EQ(oracle("SELECT " + columns + " FROM \"" + c.table + "\" ORDER BY 1;"), c.rows)
            << what;
        ora.sql("DROP TABLE \"" + c.table + "\";");
    }
}

TEST_F(kestrun_snapshot, a_table_a_query_reads_through_a_function_is_read_whole_or_reported)
{
    // planning the query does not see the table its functions read: the run locks it only
    // once its snapshot is taken, when the count runs a volatile function or the first row a
    // stable one. the session that held it rewrote it meanwhile
    pg.exec("CREATE TABLE u (id int PRIMARY KEY, m int);"
            "CREATE FUNCTION u_count() RETURNS bigint LANGUAGE plpgsql"
            " AS $$ BEGIN RETURN (SELECT pg_catalog.count(*) FROM public.u); END $$;"
            "CREATE FUNCTION u_count_stable() RETURNS bigint LANGUAGE plpgsql STABLE"
            " AS $$ BEGIN RETURN (SELECT pg_catalog.count(*) FROM public.u); END $$");
    const std::string owner = test_pg_server::get().user;
    const std::string changes[] = {
        "TRUNCATE u; INSERT INTO u VALUES (1, 71), (2, 81), (3, 91)",
        "ALTER TABLE u ALTER COLUMN m TYPE bigint; INSERT INTO u VALUES (3, 91)",
    };
    for (const bool stable : {false, true})
        for (const std::string& change : changes) {
            const std::string what = (stable ? "stable: " : "volatile: ") + change;
            pg.exec("TRUNCATE u; ALTER TABLE u ALTER COLUMN m TYPE int;"
                    "INSERT INTO u VALUES (1, 70), (2, 80)");
            bool held = false;
            const std::string query = std::string("q=SELECT id, ")
                                      + (stable ? "u_count_stable()" : "u_count()") + " AS k FROM t";
            const kestrun_result r = run_rewritten_by_holder(owner, query, "u", change, held);
            ASSERT_TRUE(held) << what << r.out << r.err;
            if (stable) {
                // the count was taken before: the query is reported, no row of it written
                EXPECT_EQ(r.exit_code, 255) << what << r.out << r.err;
                EXPECT_EQ(r.out, database_line(0) + table_line("q", 2)
                                     + "Error:\nq: Cannot read the records of q: another "
                                       "session rewrote a table the query reads after the run "
                                       "began reading it\nError:\nq: 2 of 2 records were not "
                                       "written\n")
                    << what << r.err;
                EXPECT_EQ(oracle("SELECT COUNT(*) FROM \"q\";"), strings{"0"}) << what;
            } else {
                // read again from a snapshot taken after the change
                EXPECT_EQ(r.exit_code, 0) << what << r.out << r.err;
                EXPECT_EQ(r.out, database_line(0) + table_line("q", 2)) << what << r.err;
                EXPECT_EQ(oracle("SELECT \"id\", \"k\" FROM \"q\" ORDER BY 1;"),
                          (strings{"1\t3", "2\t3"}))
                    << what;
            }
            ora.sql("DROP TABLE \"q\";");
        }
}
