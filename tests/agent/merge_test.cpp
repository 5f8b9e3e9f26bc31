// merging into the destination: quiet only about rows that were there before the run

#include "agent_fixture.hpp"

#include <string>
#include <vector>

using strings = std::vector<std::string>;

namespace {

bool contains(const std::string& text, const std::string& part)
{
    return text.find(part) != std::string::npos;
}

} // namespace

class kestrun_merge : public kestrun_conversion {
protected:
    // merge with update has no option: a profile asks for it, with the port as PGPORT
    kestrun_result run_profile_mode(int mode) const
    {
        const test_pg_server& s = test_pg_server::get();
        const std::string profile = dir.write(
            "merge.qlx", "[Generic settings]\r\nsrc=" + pg.name() + "\r\ndest=" + ora.service()
                             + "\r\nmode=" + std::to_string(mode)
                             + "\r\nno schema=1\r\n[Oracle settings]\r\nuser=" + ora.user()
                             + "\r\npassword=" + ora.password() + "\r\n[pgs settings]\r\nhost="
                             + s.host + "\r\nuser=" + s.user + "\r\npassword=" + s.password
                             + "\r\n");
        std::vector<std::string> env = ora.environment();
        env.push_back("PGPORT=" + s.port);
        return run_kestrun({"--profile=" + profile}, env);
    }

    kestrun_result run_mode(int mode) const
    {
        return mode > 2 ? run_profile_mode(mode) : run({"--mode=" + std::to_string(mode)});
    }

    void drop_oracle_tables() const
    {
        for (const std::string& t : oracle_tables())
            ora.sql("DROP TABLE \"" + t + "\";\n");
    }
};

TEST_F(kestrun_merge, keys_the_conversion_makes_equal_are_lost_records_in_every_mode)
{
    // oracle's DATE keeps whole seconds: three keys become one; in Berlin two instants of the
    // end of daylight saving time become one local hour
    pg.exec("ALTER DATABASE \"" + pg.name() + "\" SET TimeZone = 'Europe/Berlin';"
            "CREATE TABLE ev (ts timestamp PRIMARY KEY, what text);"
            "INSERT INTO ev VALUES ('2024-01-01 10:00:00.1', 'a'), ('2024-01-01 10:00:00.2', 'b'),"
            "('2024-01-01 10:00:00.3', 'c');"
            "CREATE TABLE evz (t timestamptz PRIMARY KEY, what text);"
            "INSERT INTO evz VALUES ('2024-10-27 00:30:00+00', 'summer'),"
            "('2024-10-27 01:30:00+00', 'winter')");
    const std::string duplicate
        = ": Duplicate field values being used for an unique index were found.";
    const struct {
        int mode;
        bool definitions_first;   // a --tab_def run made the tables, empty
    } cases[] = {{0, false}, {1, false}, {4, false}, {3, false}, {1, true}, {4, true}};
    for (const auto& c : cases) {
        const std::string what = "mode " + std::to_string(c.mode)
                                 + (c.definitions_first ? " after --tab_def" : "");
        drop_oracle_tables();
        if (c.definitions_first)
            ASSERT_EQ(run({"--tab_def"}).exit_code, 0) << what;
        const kestrun_result r = run_mode(c.mode);
        EXPECT_EQ(r.exit_code, 255) << what << r.out << r.err;
        EXPECT_TRUE(contains(r.out, "Error:\nev, record #2" + duplicate)) << what << r.out;
        EXPECT_TRUE(contains(r.out, "Error:\nev, record #3" + duplicate)) << what << r.out;
        EXPECT_TRUE(contains(r.out, "Error:\nev: 2 of 3 records were not written\n"))
            << what << r.out;
        EXPECT_TRUE(contains(r.out, "Error:\nevz, record #2" + duplicate)) << what << r.out;
        EXPECT_TRUE(contains(r.out, "Error:\nevz: 1 of 2 records were not written\n"))
            << what << r.out;
        // the first row stays as written: no later one overwrote it
        EXPECT_EQ(oracle("SELECT TO_CHAR(\"ts\", 'YYYY-MM-DD HH24:MI:SS'), \"what\" FROM \"ev\";"),
                  strings{"2024-01-01 10:00:00\ta"}) << what;
        EXPECT_EQ(oracle("SELECT TO_CHAR(\"t\", 'YYYY-MM-DD HH24:MI:SS'), \"what\" FROM \"evz\";"),
                  strings{"2024-10-27 02:30:00\tsummer"}) << what;
    }
}

TEST_F(kestrun_merge, a_merge_over_the_rows_of_an_earlier_run_stays_quiet)
{
    pg.exec("CREATE TABLE t (id int PRIMARY KEY, v text);"
            "INSERT INTO t VALUES (1, 'one'), (2, 'two')");
    const struct {
        int mode;
        strings rows;   // after the source changed one row and gained one
    } cases[] = {{1, {"1\tone", "2\ttwo", "3\tthree"}}, {4, {"1\tONE", "2\ttwo", "3\tthree"}}};
    for (const auto& c : cases) {
        drop_oracle_tables();
        pg.exec("DELETE FROM t WHERE id = 3; UPDATE t SET v = 'one' WHERE id = 1");
        ASSERT_EQ(run({}).exit_code, 0);
        kestrun_result r = run_mode(c.mode);
        EXPECT_EQ(r.exit_code, 0) << c.mode << r.out << r.err;
        EXPECT_EQ(r.out, database_line(1) + table_line("t", 2)) << c.mode;
        pg.exec("INSERT INTO t VALUES (3, 'three'); UPDATE t SET v = 'ONE' WHERE id = 1");
        r = run_mode(c.mode);
        EXPECT_EQ(r.exit_code, 0) << c.mode << r.out << r.err;
        EXPECT_EQ(oracle("SELECT \"id\", \"v\" FROM \"t\" ORDER BY 1;"), c.rows) << c.mode;
    }
}

TEST_F(kestrun_merge, a_merge_leaves_the_not_null_of_the_users_own_table)
{
    pg.exec("CREATE TABLE t (id int PRIMARY KEY, name varchar(20));"
            "INSERT INTO t VALUES (1, 'ann'), (2, NULL), (3, '')");
    const std::string nullable_sql
        = "SELECT column_name, nullable FROM user_tab_columns WHERE table_name = 't' "
          "ORDER BY column_id;";
    for (const int mode : {1, 4}) {
        drop_oracle_tables();
        ora.sql("CREATE TABLE \"t\" (\"id\" NUMBER(11,0) PRIMARY KEY, "
                "\"name\" NVARCHAR2(20) NOT NULL);\n");
        const kestrun_result r = run_mode(mode);
        EXPECT_EQ(r.exit_code, 255) << mode << r.out << r.err;
        EXPECT_EQ(r.out.rfind(database_line(1) + table_line("t", 3), 0), 0u) << mode << r.out;
        EXPECT_TRUE(contains(r.out, "Error:\nt, record #2: ORA-01400")) << mode << r.out;
        EXPECT_TRUE(contains(r.out, "Error:\nt, record #3: ORA-01400")) << mode << r.out;
        EXPECT_TRUE(contains(r.out, "Error:\nt: 2 of 3 records were not written\n"))
            << mode << r.out;
        EXPECT_FALSE(contains(r.out, "NOT NULL constraint")) << mode << r.out;
        EXPECT_EQ(oracle(nullable_sql), (strings{"id\tN", "name\tN"})) << mode;
        EXPECT_EQ(oracle("SELECT \"id\", \"name\" FROM \"t\";"), strings{"1\tann"}) << mode;
    }

    // a table the run creates itself takes the empty text and says what arrived
    drop_oracle_tables();
    pg.exec("UPDATE t SET name = '' WHERE id = 2; ALTER TABLE t ALTER name SET NOT NULL");
    const kestrun_result r = run({"--mode=1"});
    EXPECT_EQ(r.exit_code, 255) << r.out << r.err;
    EXPECT_EQ(r.out, database_line(1) + table_line("t", 3)
                         + "Error:\nt: Column name lost its NOT NULL constraint: an empty text "
                           "arrives in Oracle as NULL\n");
    EXPECT_EQ(oracle(nullable_sql), (strings{"id\tN", "name\tY"}));
    EXPECT_EQ(oracle("SELECT \"id\", \"name\" FROM \"t\" ORDER BY 1;"),
              (strings{"1\tann", "2\t~", "3\t~"}));
}

TEST_F(kestrun_merge, a_null_for_a_row_already_there_leaves_the_row_and_the_not_null)
{
    // the earlier run made the table: this one did not, so its definition stays, and the
    // row refused for its NULL keeps its old value
    pg.exec("CREATE TABLE t (id int PRIMARY KEY, name varchar(20) NOT NULL);"
            "INSERT INTO t VALUES (1, 'ann'), (2, 'bob')");
    ASSERT_EQ(run({}).exit_code, 0);
    pg.exec("ALTER TABLE t ALTER name DROP NOT NULL; UPDATE t SET name = NULL WHERE id = 1;"
            "UPDATE t SET name = '' WHERE id = 2; INSERT INTO t VALUES (3, 'cy')");
    const kestrun_result r = run_profile_mode(4);
    EXPECT_EQ(r.exit_code, 255) << r.out << r.err;
    EXPECT_TRUE(contains(r.out, "Error:\nt, record #1: ORA-01400")) << r.out;
    EXPECT_TRUE(contains(r.out, "Error:\nt, record #2: ORA-01400")) << r.out;
    EXPECT_TRUE(contains(r.out, "Error:\nt: 2 of 3 records were not written\n")) << r.out;
    EXPECT_FALSE(contains(r.out, "NOT NULL constraint")) << r.out;
    EXPECT_EQ(oracle("SELECT nullable FROM user_tab_columns WHERE table_name = 't' AND "
                     "column_name = 'name';"),
              strings{"N"});
    EXPECT_EQ(oracle("SELECT \"id\", \"name\" FROM \"t\" ORDER BY 1;"),
              (strings{"1\tann", "2\tbob", "3\tcy"}));
}

TEST_F(kestrun_merge, merge_with_update_replaces_out_of_range_doubles_and_writes_the_row)
{
    pg.exec("CREATE TABLE t (id int PRIMARY KEY, d float8, e float8, z float8, v text);"
            "INSERT INTO t VALUES (1, 1, 1, 1, 'old'), (2, 2, 2, 2, 'old')");
    ASSERT_EQ(run({}).exit_code, 0);
    pg.exec("UPDATE t SET d = 'Infinity', e = 'NaN', z = 5e-324, v = 'new' WHERE id = 1;"
            "UPDATE t SET d = '-Infinity', e = 2e126, v = 'new' WHERE id = 2");
    const kestrun_result r = run_profile_mode(4);
    EXPECT_EQ(r.exit_code, 255) << r.out << r.err;
    EXPECT_EQ(r.out, database_line(1) + table_line("t", 2)
                         + "Error:\nt: 2 value(s) of column d were beyond the Oracle number range "
                           "and were written as the column default or NULL\n"
                           "Error:\nt: 2 value(s) of column e were beyond the Oracle number range "
                           "and were written as the column default or NULL\n"
                           "Error:\nt: 1 value(s) of column z were too small for an Oracle number "
                           "and were written as 0\n");
    EXPECT_EQ(oracle("SELECT \"id\", \"d\", \"e\", \"z\", \"v\" FROM \"t\" ORDER BY 1;"),
              (strings{"1\t~\t~\t0\tnew", "2\t~\t~\t2\tnew"}));
}

TEST_F(kestrun_merge, a_merge_into_a_table_without_a_key_that_held_rows_says_so)
{
    // the key over a text column cannot be built: the first run leaves it out
    pg.exec("CREATE TABLE doc (body text PRIMARY KEY, n int);"
            "INSERT INTO doc VALUES ('a', 1), ('b', 2), ('c', 3)");
    const std::string added = "Error:\ndoc: 3 records were added to the 3 rows the Oracle table "
                              "held, not merged: it has no primary or unique key to find their "
                              "rows by\n";
    const struct {
        const char* what;
        strings first;   // the run that makes the table (none: the user makes it)
        int mode;
        int exit_code;
        bool reported;
        const char* rows;
    } cases[] = {
        {"mode 1 after a full run", {"--mode=0"}, 1, 255, true, "6"},
        {"mode 4 after a full run", {"--mode=0"}, 4, 255, true, "6"},
        {"mode 1 into the empty table of --tab_def", {"--tab_def"}, 1, 0, false, "3"},
        {"mode 1 into a user's table with a generated unique key", {}, 1, 0, false, "3"},
    };
    for (const auto& c : cases) {
        drop_oracle_tables();
        if (c.first.empty())
            ora.sql("CREATE TABLE \"doc\" (\"body\" NVARCHAR2(10) UNIQUE, \"n\" NUMBER);\n"
                    "INSERT INTO \"doc\" VALUES ('a', 1);\nINSERT INTO \"doc\" VALUES ('b', 2);\n"
                    "INSERT INTO \"doc\" VALUES ('c', 3);\n");
        else
            run(c.first);
        const kestrun_result r = run_mode(c.mode);
        EXPECT_EQ(r.exit_code, c.exit_code) << c.what << r.out << r.err;
        EXPECT_EQ(contains(r.out, added), c.reported) << c.what << r.out;
        EXPECT_FALSE(c.reported ? false : contains(r.out, "Error:")) << c.what << r.out;
        EXPECT_EQ(oracle("SELECT COUNT(*) FROM \"doc\";"), strings{c.rows}) << c.what;
    }
}

TEST_F(kestrun_merge, a_merge_into_rows_held_says_how_many_records_no_key_could_find)
{
    // a NULL email finds no row: c has no other key, k has a second one, and Oracle's key over
    // (a, b) finds a row unless both parts are NULL
    pg.exec("CREATE TABLE c (email varchar(50) UNIQUE, name varchar(20));"
            "INSERT INTO c VALUES ('a@x', 'Ann'), (NULL, 'Bob'), (NULL, 'Cid');"
            "CREATE TABLE k (email varchar(50) UNIQUE, code int UNIQUE, name varchar(20));"
            "INSERT INTO k VALUES ('a@x', 1, 'Ann'), (NULL, 2, 'Bob'), (NULL, NULL, 'Cid');"
            "CREATE TABLE u (a int, b int); INSERT INTO u VALUES (1, NULL), (NULL, NULL)");
    const auto added = [](const std::string& table, int records, int rows) {
        return "Error:\n" + table + ": " + std::to_string(records)
               + " records were added to the " + std::to_string(rows)
               + " rows the Oracle table held, not merged: they are NULL in every unique key, "
                 "and a NULL key finds no row\n";
    };
    const struct {
        const char* what;
        strings first;
        int mode;
        bool held;   // the first run wrote the rows
        strings rows;
    } cases[] = {
        {"mode 1 after a full run", {"--mode=0"}, 1, true, {"5", "4", "4"}},
        {"mode 4 after a full run", {"--mode=0"}, 4, true, {"5", "4", "4"}},
        {"mode 1 into the empty tables of --tab_def", {"--tab_def"}, 1, false, {"3", "3", "3"}},
    };
    for (const auto& c : cases) {
        drop_oracle_tables();
        pg.exec("DELETE FROM u WHERE b = 2");
        run(c.first);
        // the user's own key: the first run leaves (a, b) without UNIQUE
        ora.sql("ALTER TABLE \"u\" ADD CONSTRAINT \"u_ab\" UNIQUE (\"a\", \"b\");\n");
        // a new record with a value in the key's second column only: the key finds it
        pg.exec("INSERT INTO u VALUES (NULL, 2)");
        const kestrun_result r = run_mode(c.mode);
        EXPECT_EQ(r.exit_code, c.held ? 255 : 0) << c.what << r.out << r.err;
        EXPECT_EQ(r.out, database_line(3) + table_line("c", 3) + (c.held ? added("c", 2, 3) : "")
                             + table_line("k", 3) + (c.held ? added("k", 1, 3) : "")
                             + table_line("u", 3) + (c.held ? added("u", 1, 2) : ""))
            << c.what;
        EXPECT_EQ((strings{oracle("SELECT COUNT(*) FROM \"c\";").at(0),
                           oracle("SELECT COUNT(*) FROM \"k\";").at(0),
                           oracle("SELECT COUNT(*) FROM \"u\";").at(0)}),
                  c.rows)
            << c.what;
    }
}

TEST_F(kestrun_merge, a_merge_into_a_table_whose_key_covers_a_column_it_does_not_write_names_it)
{
    pg.exec("CREATE TABLE t (id int PRIMARY KEY, v text); INSERT INTO t VALUES (1, 'a'),"
            "(2, 'b'), (3, 'c')");
    const std::string duplicate
        = ": Duplicate field values being used for an unique index were found.";
    const std::string unwritten = ", which the run does not write: a record that meets a row on "
                                  "it cannot be told from a row of an earlier run and is merged "
                                  "as one\n";
    const struct {
        const char* what;
        const char* key;   // how the user's table keys its column tag
        const char* name;  // the key's name
        bool held;         // the table holds a row of its own
        int mode;
        strings errors;    // besides the key's report
        strings rows;
    } cases[] = {
        {"a constraint, mode 1", "CONSTRAINT \"tag_uk\" UNIQUE (\"tag\")", "tag_uk", true, 1,
         {}, {"1\ta\t0", "100\told\t5"}},
        // the records differ in v: none meets another, all arrive
        {"a constraint over v and tag, mode 1", "CONSTRAINT \"vt_uk\" UNIQUE (\"v\", \"tag\")",
         "vt_uk", true, 1, {}, {"1\ta\t0", "2\tb\t0", "3\tc\t0", "100\told\t5"}},
        {"a constraint, mode 4", "CONSTRAINT \"tag_uk\" UNIQUE (\"tag\")", "tag_uk", true, 4,
         {"t, record #2: The record cannot be updated: no row of the table has its key",
          "t, record #3: The record cannot be updated: no row of the table has its key",
          "t: 2 of 3 records were not written"},
         {"1\ta\t0", "100\told\t5"}},
        {"a unique index, mode 1, an empty table", "", "tag_ix", false, 1,
         {"t, record #2" + duplicate, "t, record #3" + duplicate,
          "t: 2 of 3 records were not written"},
         {"1\ta\t0"}},
    };
    for (const auto& c : cases) {
        drop_oracle_tables();
        const std::string key = c.key;
        ora.sql("CREATE TABLE \"t\" (\"id\" NUMBER PRIMARY KEY, \"v\" VARCHAR2(20), \"tag\" "
                "NUMBER DEFAULT 0" + (key.empty() ? "" : ", " + key) + ");\n"
                + (key.empty() ? "CREATE UNIQUE INDEX \"tag_ix\" ON \"t\" (\"tag\");\n" : "")
                + (c.held ? "INSERT INTO \"t\" VALUES (100, 'old', 5);\n" : ""));
        const kestrun_result r = run_mode(c.mode);
        EXPECT_EQ(r.exit_code, 255) << c.what << r.out << r.err;
        EXPECT_TRUE(contains(r.out, "Error:\nt: Unique key " + std::string(c.name)
                                        + " covers column tag"
                                        + unwritten))
            << c.what << r.out;
        for (const std::string& error : c.errors)
            EXPECT_TRUE(contains(r.out, "Error:\n" + error)) << c.what << r.out;
        EXPECT_EQ(oracle("SELECT \"id\", \"v\", \"tag\" FROM \"t\" ORDER BY 1;"), c.rows)
            << c.what;
    }

    // the key over the columns the run writes: quiet
    drop_oracle_tables();
    ora.sql("CREATE TABLE \"t\" (\"id\" NUMBER PRIMARY KEY, \"v\" VARCHAR2(20), \"tag\" NUMBER "
            "DEFAULT 0, CONSTRAINT \"v_uk\" UNIQUE (\"v\"));\n"
            "INSERT INTO \"t\" VALUES (1, 'a', 5);\n");
    const kestrun_result r = run({"--mode=1"});
    EXPECT_EQ(r.exit_code, 0) << r.out << r.err;
    EXPECT_EQ(r.out, database_line(1) + table_line("t", 3));
}

TEST_F(kestrun_merge, a_renamed_or_replaced_column_is_named_and_the_others_are_written)
{
    const std::string unwritten
        = " has no column in the Oracle table: its values were not written\n";
    const struct {
        const char* what;
        std::string change;   // after the first run
        int mode;
        std::string column;   // the source column the Oracle table has none for
        strings rows;
    } cases[] = {
        {"qty renamed, merge", "ALTER TABLE t RENAME qty TO quantity;", 1, "quantity",
         {"1\t5\ta", "2\t6\tb", "3\t~\tc"}},
        {"qty renamed, merge with update", "ALTER TABLE t RENAME qty TO quantity;", 4,
         "quantity", {"1\t5\ta", "2\t6\tB", "3\t~\tc"}},
        // as many columns as the Oracle table: note has no source column any more
        {"note replaced, merge", "ALTER TABLE t DROP COLUMN note; ALTER TABLE t ADD remark text;",
         1, "remark", {"1\t5\ta", "2\t6\tb", "3\t7\t~"}},
        {"note replaced, merge with update",
         "ALTER TABLE t DROP COLUMN note; ALTER TABLE t ADD remark text;", 4, "remark",
         {"1\t5\ta", "2\t60\tb", "3\t7\t~"}},
    };
    for (const auto& c : cases) {
        drop_oracle_tables();
        pg.exec("DROP TABLE IF EXISTS t; CREATE TABLE t (id int PRIMARY KEY, qty int, note "
                "varchar(10)); INSERT INTO t VALUES (1, 5, 'a'), (2, 6, 'b')");
        kestrun_result r = run_mode(0);
        ASSERT_EQ(r.exit_code, 0) << c.what << r.out << r.err;
        pg.exec(c.change);
        const bool renamed = c.column == "quantity";
        pg.exec(renamed ? "UPDATE t SET note = 'B' WHERE id = 2; INSERT INTO t VALUES (3, 7, 'c')"
                        : "UPDATE t SET qty = 60 WHERE id = 2; INSERT INTO t VALUES (3, 7, "
                          "'r')");
        r = run_mode(c.mode);
        EXPECT_EQ(r.exit_code, 255) << c.what << r.out << r.err;
        EXPECT_EQ(r.out, database_line(1) + table_line("t", 3) + "Error:\nt: Column " + c.column
                             + unwritten)
            << c.what;
        EXPECT_EQ(oracle("SELECT * FROM \"t\" ORDER BY 1;"), c.rows) << c.what;
    }

    // a NOT NULL column without a default that no source column meets refuses the new rows
    drop_oracle_tables();
    pg.exec("DROP TABLE t; CREATE TABLE t (id int PRIMARY KEY, quantity int, note varchar(10));"
            "INSERT INTO t VALUES (1, 5, 'a'), (2, 6, 'b'), (3, 7, 'c')");
    ora.sql("CREATE TABLE \"t\" (\"id\" NUMBER PRIMARY KEY, \"qty\" NUMBER NOT NULL, \"note\" "
            "VARCHAR2(10));\nINSERT INTO \"t\" VALUES (1, 5, 'a');\n");
    const kestrun_result r = run_mode(1);
    EXPECT_EQ(r.exit_code, 255) << r.out << r.err;
    // the row the table held as well: Oracle checks NOT NULL before the key
    for (const char* record : {"#1", "#2", "#3"})
        EXPECT_TRUE(contains(r.out, std::string("Error:\nt, record ") + record + ": ORA-01400"))
            << r.out;
    EXPECT_TRUE(contains(r.out, "Error:\nt: Column quantity" + unwritten)) << r.out;
    EXPECT_TRUE(contains(r.out, "Error:\nt: 3 of 3 records were not written\n")) << r.out;
    EXPECT_EQ(oracle("SELECT * FROM \"t\" ORDER BY 1;"), strings{"1\t5\ta"});
}
