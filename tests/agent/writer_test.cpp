// what the Oracle side of a run keeps, and what it says about what it cannot keep

#include "agent_fixture.hpp"
#include "test_pg_hold.hpp"
#include "test_wait.hpp"

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include <unistd.h>

using strings = std::vector<std::string>;

namespace {

bool contains(const std::string& text, const std::string& part)
{
    return text.find(part) != std::string::npos;
}

std::string report(const std::string& table, const std::string& text)
{
    return "Error:\n" + table + ": " + text + "\n";
}

} // namespace

TEST_F(kestrun_conversion, repeated_runs_keep_one_table_and_the_same_names_in_every_mode)
{
    // two names that meet in one safe name, numbered within the run, and the same at every run
    pg.exec("CREATE TABLE customers (id int PRIMARY KEY, name varchar(10), code int);"
            "CREATE UNIQUE INDEX customers_code ON customers (code);"
            "CREATE INDEX customers_name ON customers (name);"
            "INSERT INTO customers VALUES (1, 'a', 10), (2, 'b', 20);"
            "CREATE TABLE \"a b\" (id int PRIMARY KEY); CREATE TABLE a_b (id int PRIMARY KEY);"
            "INSERT INTO \"a b\" VALUES (1); INSERT INTO a_b VALUES (2)");
    const strings tables{"public_a_b", "public_a_b00000", "public_customers"};
    const std::string indexes_sql
        = "SELECT table_name, index_name FROM user_indexes ORDER BY 1, 2;";
    const std::string keys_sql
        = "SELECT table_name, constraint_name FROM user_constraints WHERE constraint_type = 'P' "
          "ORDER BY 1, 2;";
    const struct {
        const char* mode;
        strings rows;   // of public_customers after a run that found a row deleted
    } modes[] = {{"--mode=0", {"1", "2"}}, {"--mode=1", {"1", "2"}}, {"--mode=2", {"2"}}};
    for (const auto& m : modes) {
        for (const std::string& t : oracle_tables())
            ora.sql("DROP TABLE \"" + t + "\";\n");
        strings indexes, keys;
        for (int run_no = 1; run_no <= 3; ++run_no) {
            if (run_no > 1)
                ora.sql("DELETE FROM \"public_customers\" WHERE \"id\" = 1;\n");
            const kestrun_result r = run_with_schema({m.mode});
            EXPECT_EQ(r.exit_code, 0) << m.mode << " run " << run_no << r.out << r.err;
            EXPECT_EQ(oracle_tables(), tables) << m.mode << " run " << run_no;
            const strings expected = run_no == 1 ? strings{"1", "2"} : m.rows;
            EXPECT_EQ(oracle("SELECT \"id\" FROM \"public_customers\" ORDER BY 1;"), expected)
                << m.mode << " run " << run_no;
            EXPECT_EQ(oracle("SELECT \"id\" FROM \"public_a_b00000\";"), strings{"2"});
            if (run_no == 1) {
                indexes = oracle(indexes_sql);
                keys = oracle(keys_sql);
                EXPECT_EQ(indexes.size(), 5u) << m.mode;
                EXPECT_EQ(keys.size(), 3u) << m.mode;
            } else {
                EXPECT_EQ(oracle(indexes_sql), indexes) << m.mode << " run " << run_no;
                EXPECT_EQ(oracle(keys_sql), keys) << m.mode << " run " << run_no;
            }
        }
    }
}

TEST_F(kestrun_conversion, a_generated_name_does_not_depend_on_the_tables_a_run_selects)
{
    pg.exec("CREATE TABLE \"a b\" (id int); CREATE TABLE a_b (id int);"
            "INSERT INTO \"a b\" VALUES (1); INSERT INTO a_b VALUES (2)");
    kestrun_result r = run_with_schema({});
    EXPECT_EQ(r.exit_code, 0) << r.out << r.err;
    EXPECT_EQ(oracle_tables(), (strings{"public_a_b", "public_a_b00000"}));
    pg.exec("INSERT INTO a_b VALUES (3)");
    r = run_with_schema({"--tab_file=" + dir.write("list", "public.a_b\n")});
    EXPECT_EQ(r.exit_code, 0) << r.out << r.err;
    EXPECT_EQ(oracle("SELECT \"id\" FROM \"public_a_b\";"), strings{"1"});
    EXPECT_EQ(oracle("SELECT \"id\" FROM \"public_a_b00000\" ORDER BY 1;"), (strings{"2", "3"}));
}

TEST_F(kestrun_conversion, a_long_name_is_generated_alike_at_every_run)
{
    const std::string long_name(40, 'n');
    pg.exec("CREATE TABLE " + long_name + " (id int PRIMARY KEY); INSERT INTO " + long_name
            + " VALUES (1)");
    for (int run_no = 1; run_no <= 2; ++run_no) {
        const kestrun_result r = run({});
        EXPECT_EQ(r.exit_code, 0) << r.out << r.err;
        EXPECT_EQ(oracle_tables(), strings{std::string(29, 'n')}) << "run " << run_no;
    }
}

TEST_F(kestrun_conversion, a_record_whose_large_object_cannot_be_written_leaves_no_row)
{
    pg.exec("CREATE TABLE t (id int PRIMARY KEY, body text, pic bytea);"
            "INSERT INTO t VALUES (1, 'one', '\\x01'), (2, 'two', '\\x02')");
    const kestrun_result r = run({}, {"OCISIM_FAULTS=1031:SELECT*FOR UPDATE"});
    EXPECT_EQ(r.exit_code, 255) << r.out << r.err;
    EXPECT_TRUE(contains(r.out, "t, record #1: ORA-01031")) << r.out;
    EXPECT_TRUE(contains(r.out, "t, record #2: ORA-01031")) << r.out;
    EXPECT_TRUE(contains(r.out, report("t", "2 of 2 records were not written"))) << r.out;
    EXPECT_EQ(oracle("SELECT COUNT(*) FROM \"t\";"), strings{"0"});
}

TEST_F(kestrun_conversion, a_run_killed_mid_table_leaves_only_complete_rows)
{
    pg.exec("CREATE TABLE t (id int PRIMARY KEY, body text, pic bytea);"
            "INSERT INTO t SELECT i, 'text ' || i, '\\xabcd' FROM generate_series(1, 2000) i");
    // the run waits at row 1000, then the process dies as it would in a power cut
    const auto kill_at_hold = [&](const std::string& what, kestrun_process& process,
                                  const std::function<bool()>& reached) {
        test_wait_until([&] { return reached() || !process.running(); }, what + ": row 1000");
        ASSERT_TRUE(process.running()) << what << ": the run ended before its hold";
        test_wait_until(
            [&] {
                try {
                    const strings count = oracle("SELECT COUNT(*) FROM \"t\";");
                    return !count.empty() && count[0] != "0";
                } catch (const std::exception&) {
                    return false;   // the table is not there yet, or the writer holds it
                }
            },
            what + ": rows written before the hold");
        process.kill();
        const strings counts = oracle(
            "SELECT COUNT(*), COUNT(CASE WHEN \"body\" = 'text ' || TO_CHAR(\"id\") AND "
            "DBMS_LOB.GETLENGTH(\"pic\") = 2 THEN 1 END) FROM \"t\";");
        ASSERT_EQ(counts.size(), 1u) << what;
        const std::string all = counts[0].substr(0, counts[0].find('\t'));
        EXPECT_NE(all, "0") << what;
        EXPECT_LT(std::stoi(all), 1000) << what;
        EXPECT_EQ(counts[0], all + "\t" + all)
            << what << ": rows committed without their large objects";
        ora.sql("DROP TABLE \"t\";\n");
    };
    {
        // a query of a profile, held in the source with the rows before it written
        const std::unique_ptr<test_pg_hold> hold = test_pg_hold::rows(pg);
        const std::string path = profile(
            "p.qlx", generic() + "\r\nno schema=1",
            "t=SELECT * FROM t WHERE " + test_pg_hold::row_filter("id = 1000"));
        kestrun_process process({"--profile=" + path}, profile_environment());
        kill_at_hold("a query", process, [&] { return hold->reached(); });
    }
    {
        // the table itself with its key, as a user names it: held at the destination once
        // the row is in and before its large objects are
        std::vector<std::string> args = ora_args();
        const strings source = pg_args();
        args.insert(args.end(), source.begin(), source.end());
        args.push_back("--no_schema");
        const std::string held = dir.file("held");
        std::vector<std::string> env = ora.environment();
        env.push_back("OCISIM_HOLD=1000:SELECT*FOR UPDATE");
        env.push_back("OCISIM_HOLD_FILE=" + held);
        kestrun_process process(args, env);
        kill_at_hold("the table", process, [&] { return access(held.c_str(), F_OK) == 0; });
    }
}

TEST_F(kestrun_conversion, not_null_of_a_large_object_column_is_kept)
{
    pg.exec("CREATE TABLE t (id int, body text NOT NULL, pic bytea NOT NULL, "
            "big varchar(3000) NOT NULL, free text);"
            "INSERT INTO t VALUES (1, '', '\\x', 'x', NULL)");
    const kestrun_result r = run({});
    EXPECT_EQ(r.exit_code, 0) << r.out << r.err;
    EXPECT_EQ(oracle("SELECT column_name, data_type, nullable FROM user_tab_columns "
                     "WHERE table_name = 't' ORDER BY column_id;"),
              (strings{"id\tNUMBER\tY", "body\tCLOB\tN", "pic\tBLOB\tN", "big\tCLOB\tN",
                       "free\tCLOB\tY"}));
    EXPECT_EQ(oracle("SELECT DBMS_LOB.GETLENGTH(\"body\"), DBMS_LOB.GETLENGTH(\"pic\"), \"big\", "
                     "NVL(TO_CHAR(DBMS_LOB.GETLENGTH(\"free\")), 'null') FROM \"t\";"),
              strings{"0\t0\tx\tnull"});
}

TEST_F(kestrun_conversion, indexes_oracle_would_enforce_otherwise_are_reported_after_their_table)
{
    pg.exec("CREATE TABLE t (id int PRIMARY KEY, a int NOT NULL, b int, c int);"
            "CREATE INDEX t_expr ON t ((a + b));"
            "CREATE UNIQUE INDEX t_part ON t (c) WHERE c > 0;"
            "CREATE UNIQUE INDEX t_ab ON t (a, b);"
            "CREATE UNIQUE INDEX t_c ON t (c);"
            "INSERT INTO t VALUES (1, 1, NULL, 1), (2, 1, NULL, 2)");
    const kestrun_result r = run({});
    EXPECT_EQ(r.exit_code, 255) << r.out << r.err;
    EXPECT_EQ(r.out,
              database_line(1) + table_line("t", 2)
                  + report("t", "Index t_expr was not created: its key holds an expression, "
                                "which is not converted")
                  + report("t", "Index t_part was not created: it covers only the rows of its "
                                "WHERE condition, which is not converted")
                  + report("t", "Index t_ab is converted without UNIQUE: its column b allows "
                                "NULL, and Oracle would refuse rows that PostgreSQL accepts"))
        << r.err;
    EXPECT_EQ(oracle("SELECT index_name, uniqueness FROM user_indexes ORDER BY 1;"),
              (strings{"t_ab\tNONUNIQUE", "t_c\tUNIQUE", "t_pkey\tUNIQUE"}));
    EXPECT_EQ(oracle("SELECT COUNT(*) FROM \"t\";"), strings{"2"});
}

TEST_F(kestrun_conversion, indexes_of_other_access_methods_over_columns_arrive_as_plain_indexes)
{
    // and a table whose name starts with no letter gets a generated one
    pg.exec("CREATE EXTENSION pg_trgm; CREATE EXTENSION btree_gist;"
            "CREATE TABLE _ltreetest (id int PRIMARY KEY, name varchar(40), tag int, code int,"
            " at timestamp);"
            "CREATE INDEX i_trgm ON _ltreetest USING gin (name gin_trgm_ops);"
            "CREATE INDEX i_hash ON _ltreetest USING hash (tag);"
            "CREATE INDEX i_gist ON _ltreetest USING gist (code);"
            "CREATE INDEX i_brin ON _ltreetest USING brin (at);"
            "INSERT INTO _ltreetest VALUES (1, 'abc', 2, 3, '2024-01-02 03:04:05')");
    const kestrun_result r = run({});
    EXPECT_EQ(r.exit_code, 0) << r.out << r.err;
    EXPECT_EQ(r.out, database_line(1) + table_line("_ltreetest", 1)) << r.err;
    EXPECT_EQ(oracle_tables(), strings{"A_ltreetest"});
    EXPECT_EQ(oracle("SELECT i.index_name, i.uniqueness, c.column_name FROM user_indexes i JOIN "
                     "user_ind_columns c ON c.index_name = i.index_name WHERE i.table_name = "
                     "'A_ltreetest' ORDER BY 1;"),
              (strings{"A_ltreetest_pkey\tUNIQUE\tid", "i_brin\tNONUNIQUE\tat",
                       "i_gist\tNONUNIQUE\tcode", "i_hash\tNONUNIQUE\ttag",
                       "i_trgm\tNONUNIQUE\tname"}));
}

TEST_F(kestrun_conversion, merge_into_a_table_lacking_columns_reports_them)
{
    pg.exec("CREATE TABLE t (id int PRIMARY KEY, v int, w text);"
            "INSERT INTO t VALUES (1, 10, 'x'), (2, 20, 'y')");
    ora.sql("CREATE TABLE \"t\" (\"id\" NUMBER(11,0) PRIMARY KEY);\n");
    const kestrun_result r = run({"--mode=1"});
    EXPECT_EQ(r.exit_code, 255) << r.out << r.err;
    EXPECT_EQ(r.out, database_line(1) + table_line("t", 2)
                         + report("t", "Column v has no column in the Oracle table: its values "
                                       "were not written")
                         + report("t", "Column w has no column in the Oracle table: its values "
                                       "were not written"));
    EXPECT_EQ(oracle("SELECT \"id\" FROM \"t\" ORDER BY 1;"), (strings{"1", "2"}));
}

TEST_F(kestrun_conversion, merge_never_turns_null_into_an_empty_large_object)
{
    pg.exec("CREATE TABLE t (id int PRIMARY KEY, body text);"
            "INSERT INTO t VALUES (1, NULL), (2, 'b')");
    ora.sql("CREATE TABLE \"t\" (\"id\" NUMBER(11,0) PRIMARY KEY, \"body\" CLOB NOT NULL);\n");
    const kestrun_result r = run({"--mode=1"});
    EXPECT_EQ(r.exit_code, 255) << r.out << r.err;
    EXPECT_TRUE(contains(r.out, "t, record #1: ORA-01400")) << r.out;
    EXPECT_TRUE(contains(r.out, report("t", "1 of 2 records were not written"))) << r.out;
    EXPECT_EQ(oracle("SELECT \"id\", \"body\" FROM \"t\" ORDER BY 1;"), strings{"2\tb"});
}

TEST_F(kestrun_conversion, a_column_named_rowid_gets_a_generated_name)
{
    pg.exec("CREATE TABLE t (id int PRIMARY KEY, \"ROWID\" int, body text);"
            "INSERT INTO t VALUES (1, 10, 'one'), (2, 20, 'two');"
            "CREATE TABLE u (rowid int, body text); INSERT INTO u VALUES (5, 'five')");
    for (const bool upper : {false, true}) {
        const kestrun_result r = run(upper ? strings{"--uppercase"} : strings{});
        EXPECT_EQ(r.exit_code, 0) << r.out << r.err;
        const std::string t = upper ? "T" : "t";
        const std::string u = upper ? "U" : "u";
        EXPECT_EQ(oracle("SELECT column_name FROM user_tab_columns WHERE table_name = '" + t
                         + "' ORDER BY column_id;"),
                  upper ? (strings{"ID", "ROWID00000", "BODY"})
                        : (strings{"id", "ROWID00000", "body"}));
        EXPECT_EQ(oracle("SELECT column_name FROM user_tab_columns WHERE table_name = '" + u
                         + "' ORDER BY column_id;"),
                  upper ? (strings{"ROWID00000", "BODY"}) : (strings{"rowid", "body"}));
        EXPECT_EQ(oracle("SELECT \"ROWID00000\", \"" + std::string(upper ? "BODY" : "body")
                         + "\" FROM \"" + t + "\" ORDER BY 1;"),
                  (strings{"10\tone", "20\ttwo"}));
        EXPECT_EQ(oracle("SELECT COUNT(*) FROM \"" + u + "\";"), strings{"1"});
    }
}

TEST_F(kestrun_conversion, days_of_the_calendar_switch_are_reported_not_written)
{
    pg.exec("CREATE TABLE t (id int, d date, ts timestamp);"
            "INSERT INTO t VALUES (1, '1582-10-04', NULL), (2, '1582-10-05', NULL),"
            "(3, NULL, '1582-10-14 12:00:00'), (4, '1582-10-15', '1582-10-15 01:02:03')");
    const kestrun_result r = run({});
    EXPECT_EQ(r.exit_code, 255) << r.out << r.err;
    EXPECT_TRUE(contains(r.out, "t, record #2: Column d holds 1582-10-05, a day that Oracle's "
                                "calendar does not have (1582-10-05 to 1582-10-14)"))
        << r.out;
    EXPECT_TRUE(contains(r.out, "t, record #3: Column ts holds 1582-10-14, a day that Oracle's "
                                "calendar does not have (1582-10-05 to 1582-10-14)"))
        << r.out;
    EXPECT_TRUE(contains(r.out, report("t", "2 of 4 records were not written"))) << r.out;
    EXPECT_EQ(oracle("SELECT \"id\", TO_CHAR(\"d\", 'YYYY-MM-DD') FROM \"t\" ORDER BY 1;"),
              (strings{"1\t1582-10-04", "4\t1582-10-15"}));
}

TEST_F(kestrun_conversion, reports_say_what_was_written_and_how_many_records_were_not)
{
    pg.exec("CREATE TABLE t (id int PRIMARY KEY, f float8, v varchar(10));"
            "INSERT INTO t VALUES (1, 5e-324, 'a'), (2, 1, 'abcd'), (3, 2, 'ok')");
    ora.sql("CREATE TABLE \"t\" (\"id\" NUMBER(11,0) PRIMARY KEY, \"f\" NUMBER, "
            "\"v\" NVARCHAR2(2));\n");
    const kestrun_result r = run({"--mode=1"});
    EXPECT_EQ(r.exit_code, 255) << r.out << r.err;
    const strings out = lines_of(r.out);
    ASSERT_EQ(out.size(), 8u) << r.out;
    EXPECT_EQ(out[3].rfind("t, record #2: ORA-12899", 0), 0u) << out[3];
    EXPECT_EQ(out[4] + "\n" + out[5] + "\n" + out[6] + "\n" + out[7] + "\n",
              report("t", "1 value(s) of column f were too small for an Oracle number and "
                          "were written as 0")
                  + report("t", "1 of 3 records were not written"));
    EXPECT_EQ(oracle("SELECT \"id\", \"f\" FROM \"t\" ORDER BY 1;"), (strings{"1\t0", "3\t2"}));
}

TEST_F(kestrun_conversion, a_table_wider_than_oracle_allows_is_reported)
{
    std::string columns = "c1 int";
    for (int i = 2; i <= 1001; ++i)
        columns += ", c" + std::to_string(i) + " int";
    pg.exec("CREATE TABLE wide (" + columns + "); CREATE TABLE t (id int)");
    const kestrun_result r = run({});
    EXPECT_EQ(r.exit_code, 255) << r.out << r.err;
    EXPECT_TRUE(contains(r.out, "Error:\nwide: ORA-01792")) << r.out;
    EXPECT_EQ(oracle_tables(), strings{"t"});
}

TEST_F(kestrun_conversion, an_index_over_the_columns_of_another_is_left_out_and_reported)
{
    // oracle keeps one index over a column list: a DESC column is converted as ascending
    pg.exec("CREATE TABLE t (id int PRIMARY KEY, x int, y int, c1 int NOT NULL, c2 int NOT NULL,"
            "CONSTRAINT u1 UNIQUE (c1, c2)); ALTER TABLE t ADD CONSTRAINT u2 UNIQUE (c1, c2);"
            "CREATE INDEX a1 ON t (x); CREATE INDEX a2 ON t (x); CREATE INDEX a3 ON t (x DESC);"
            "CREATE UNIQUE INDEX t_id ON t (id);"
            "CREATE INDEX p1 ON t (y); ALTER TABLE t ADD CONSTRAINT p2 UNIQUE (y);"
            "INSERT INTO t VALUES (1, 1, 1, 1, 1), (2, 1, 2, 1, 2)");
    const std::string repeat = ", and Oracle keeps one index over a column list";
    const kestrun_result r = run({});
    EXPECT_EQ(r.exit_code, 255) << r.out << r.err;
    EXPECT_EQ(r.out, database_line(1) + table_line("t", 2)
                         + report("t", "Index u2 was not created: it covers the same columns as "
                                       "index u1" + repeat)
                         + report("t", "Index a2 was not created: it covers the same columns as "
                                       "index a1" + repeat)
                         + report("t", "Index a3 was not created: it covers the same columns as "
                                       "index a1" + repeat)
                         + report("t", "Index t_id was not created: it covers the same columns "
                                       "as index t_pkey" + repeat));
    // a key over the columns of a plain index is no repeat: it is kept over that index
    EXPECT_EQ(oracle("SELECT index_name FROM user_indexes ORDER BY 1;"),
              (strings{"a1", "p1", "t_pkey", "u1"}));
    EXPECT_EQ(oracle("SELECT constraint_name, constraint_type FROM user_constraints "
                     "WHERE constraint_type IN ('P', 'U') ORDER BY 1;"),
              (strings{"p2\tU", "t_pkey\tP", "u1\tU"}));
    EXPECT_EQ(oracle("SELECT COUNT(*) FROM \"t\";"), strings{"2"});
}

TEST_F(kestrun_conversion, a_table_without_columns_is_reported_and_not_created)
{
    // rows without columns: the columns dropped, or none to begin with
    pg.exec("CREATE TABLE e (); INSERT INTO e DEFAULT VALUES; INSERT INTO e DEFAULT VALUES;"
            "CREATE TABLE d (a int); INSERT INTO d VALUES (1); ALTER TABLE d DROP COLUMN a;"
            "CREATE TABLE z (id int); INSERT INTO z VALUES (1)");
    const std::string created = "The table has no columns and was not created: Oracle cannot "
                                "hold a table without columns";
    const std::string kept = "The table has no columns and was not written: the Oracle table of "
                             "its name stays as it was";
    const struct {
        const char* mode;
        bool oracle_table;   // an Oracle table e holds a row before the run
    } cases[] = {{"--mode=0", false}, {"--mode=0", true}, {"--mode=1", true}, {"--mode=2", true}};
    for (const auto& c : cases) {
        const std::string what = std::string(c.mode) + (c.oracle_table ? " over a table" : "");
        for (const std::string& t : oracle_tables())
            ora.sql("DROP TABLE \"" + t + "\";\n");
        if (c.oracle_table)
            ora.sql("CREATE TABLE \"e\" (\"v\" NUMBER);\nINSERT INTO \"e\" VALUES (7);\n");
        const kestrun_result r = run({c.mode});
        const bool skipped = c.mode == std::string("--mode=2");
        EXPECT_EQ(r.exit_code, 255) << what << r.out << r.err;
        EXPECT_EQ(r.out, database_line(3) + report("d", created)
                             + report("d", "1 of 1 records were not written")
                             + (skipped ? std::string()
                                        : report("e", c.oracle_table ? kept : created)
                                              + report("e", "2 of 2 records were not written"))
                             + table_line("z", 1))
            << what;
        EXPECT_EQ(oracle_tables(), (c.oracle_table ? strings{"e", "z"} : strings{"z"})) << what;
        if (c.oracle_table) {
            EXPECT_EQ(oracle("SELECT \"v\" FROM \"e\";"), strings{"7"}) << what;
        }
    }
}
