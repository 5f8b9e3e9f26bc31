// merge with update and merges into the user's own tables: what a record writes, what it
// is refused for, and what each record commits

#include "agent_fixture.hpp"

#include <string>
#include <utility>
#include <vector>

using strings = std::vector<std::string>;

class kestrun_update : public kestrun_conversion {
protected:
    // merge with update has no option: a profile asks for it
    kestrun_result run_update(const std::vector<std::string>& extra_env = {}) const
    {
        std::vector<std::string> env = profile_environment();
        env.insert(env.end(), extra_env.begin(), extra_env.end());
        return run_kestrun({"--profile=" + profile("update.qlx", generic() + "\r\nmode=4\r\n"
                                                                              "no schema=1",
                                                   "")},
                           env);
    }

    // the rows of the source, in the form oracle() gives the destination's: the columns are
    // texts joined by tabs, NULL as "~", ordered by the first
    strings source(const std::string& table, const std::string& columns) const
    {
        const std::string text = pg.query_value(
            "SELECT string_agg(r, E'\\n' ORDER BY k) FROM (SELECT (ARRAY[" + columns
            + "])[1] AS k, array_to_string(ARRAY[" + columns + "], E'\\t', '~') AS r FROM "
            + table + ") s");
        return lines_of(text);
    }
};

TEST_F(kestrun_update, an_update_writes_large_objects_of_any_size)
{
    // longer than a literal holds (2000 bytes as hex, 4000 as text), and shorter than the
    // value they replace
    pg.exec("CREATE TABLE t (id int PRIMARY KEY, b bytea, c text);"
            "INSERT INTO t VALUES (1, '\\x00', 'x'), (2, NULL, NULL),"
            "(3, decode(repeat('0102', 1500), 'hex'), repeat('long ', 1000))");
    ASSERT_EQ(run({"--mode=0"}).exit_code, 0);
    pg.exec("UPDATE t SET b = decode(repeat('00ff41', 1000), 'hex'), c = repeat('Grüße 😀 ', 900)"
            " WHERE id = 1;"
            "UPDATE t SET b = decode(repeat('ab', 2500), 'hex'), c = '' WHERE id = 2;"
            "UPDATE t SET b = '\\xab', c = 'short' WHERE id = 3");
    const kestrun_result r = run_update();
    EXPECT_EQ(r.exit_code, 0) << r.out << r.err;
    EXPECT_EQ(r.out, database_line(1) + table_line("t", 3));
    EXPECT_EQ(oracle("SELECT \"id\", \"b\", \"c\" FROM \"t\" ORDER BY 1;"),
              source("t", "id::text, upper(encode(b, 'hex')), c"));
}

TEST_F(kestrun_update, a_key_whose_name_oracle_generated_finds_the_row)
{
    // the constraint and its index are named SYS_C... by oracle
    pg.exec("CREATE TABLE t (id int PRIMARY KEY, v varchar(20));"
            "INSERT INTO t VALUES (1, 'new'), (2, 'two')");
    ora.sql("CREATE TABLE \"t\" (\"id\" NUMBER UNIQUE, \"v\" NVARCHAR2(20));\n"
            "INSERT INTO \"t\" VALUES (1, 'old');\n");
    ASSERT_EQ(oracle("SELECT SUBSTR(constraint_name, 1, 5) FROM user_constraints WHERE "
                     "table_name = 't';"),
              strings{"SYS_C"});
    const kestrun_result r = run_update();
    EXPECT_EQ(r.exit_code, 0) << r.out << r.err;
    EXPECT_EQ(r.out, database_line(1) + table_line("t", 2));
    EXPECT_EQ(oracle("SELECT \"id\", \"v\" FROM \"t\" ORDER BY 1;"), source("t", "id::text, v"));
}

TEST_F(kestrun_update, a_number_the_users_number_column_would_round_is_refused_from_any_type)
{
    // each source column goes into the user's NUMBER(5,1) (NUMBER(2,1) for d): the first
    // record fits, the second would be rounded
    const struct {
        const char* type;
        const char* fits;
        const char* rounds;
        const char* shown;   // in the message
        const char* column;  // the user's column type
    } cases[] = {
        {"char(6)", "'1.5'", "'1.25'", "'1.25  '", "NUMBER(5,1)"},
        {"varchar(10)", "' 2.5 '", "'1.25 '", "'1.25 '", "NUMBER(5,1)"},
        {"varchar(10)", "'2.5'", "'1.25'", "'1.25'", "NUMBER(5,1)"},
        {"text", "'-3'", "'1.24'", "'1.24'", "NUMBER(5,1)"},
        {"float8", "2.5", "1.25", "1.25", "NUMBER(5,1)"},
        {"float8", "1.5", "0.15", "0.15", "NUMBER(2,1)"},
        {"numeric", "2.5", "1.25", "1.25", "NUMBER(5,1)"},
    };
    std::string expected;
    int n = 0;
    for (const auto& c : cases) {
        const std::string table = "n" + std::to_string(n++);
        pg.exec("CREATE TABLE " + table + " (id int PRIMARY KEY, v " + c.type + ");"
                "INSERT INTO " + table + " VALUES (1, " + c.fits + "), (2, " + c.rounds + ")");
        ora.sql("CREATE TABLE \"" + table + "\" (\"id\" NUMBER PRIMARY KEY, \"v\" " + c.column
                + ");\n");
        expected += table_line(table, 2) + "Error:\n" + table
                    + ", record #2: Column v cannot hold " + c.shown
                    + " exactly: Oracle would round it to 1 decimal places\nError:\n" + table
                    + ": 1 of 2 records were not written\n";
    }
    for (int mode : {1, 4}) {
        const kestrun_result r = mode == 1 ? run({"--mode=1"}) : run_update();
        EXPECT_EQ(r.exit_code, 255) << mode << r.out << r.err;
        EXPECT_EQ(r.out, database_line(n) + expected) << mode;
        for (int i = 0; i < n; ++i) {
            const std::string table = "n" + std::to_string(i);
            EXPECT_EQ(oracle("SELECT \"id\", TO_CHAR(\"v\") FROM \"" + table + "\";"),
                      source(table + " WHERE id = 1", "id::text, (v::numeric)::text"))
                << mode << " " << cases[i].type;
        }
    }
}

TEST_F(kestrun_update, bytes_and_the_users_columns_that_hold_none_are_refused_both_ways)
{
    // bytes into the user's CLOB, NVARCHAR2 and NUMBER (which would keep their hex digits,
    // or read them as a decimal number), a text into a BLOB, and a number and a text into
    // a RAW (which would read their digits as hex digits: 1234 as the bytes 12 34)
    pg.exec("CREATE TABLE tc (id int PRIMARY KEY, v bytea);"
            "CREATE TABLE tn (id int PRIMARY KEY, v bytea);"
            "CREATE TABLE td (id int PRIMARY KEY, v bytea);"
            "CREATE TABLE tb (id int PRIMARY KEY, v text);"
            "CREATE TABLE tr (id int PRIMARY KEY, v int);"
            "CREATE TABLE ts (id int PRIMARY KEY, v text);"
            "INSERT INTO tc VALUES (1, NULL), (2, 'ABC'), (3, 'DEF');"
            "INSERT INTO tn VALUES (1, NULL), (2, 'ABC'), (3, 'DEF');"
            "INSERT INTO td VALUES (1, NULL), (2, '\\x1234'), (3, '\\x5678');"
            "INSERT INTO tb VALUES (1, NULL), (2, 'ABC'), (3, 'DEF');"
            "INSERT INTO tr VALUES (1, NULL), (2, 1234), (3, 5678);"
            "INSERT INTO ts VALUES (1, NULL), (2, '1234'), (3, 'ABCD')");
    const std::string refused
        = ": The structure of data source does not conform to the destination table.\n";
    std::string expected;
    for (const std::string t : {"tb", "tc", "td", "tn", "tr", "ts"})
        expected += table_line(t, 3) + "Error:\n" + t + refused + "Error:\n" + t
                    + ": 2 of 3 records were not written\n";
    for (int mode : {1, 4}) {
        for (const std::string& t : oracle_tables())
            ora.sql("DROP TABLE \"" + t + "\";\n");
        ora.sql("CREATE TABLE \"tc\" (\"id\" NUMBER PRIMARY KEY, \"v\" CLOB);\n"
                "CREATE TABLE \"tn\" (\"id\" NUMBER PRIMARY KEY, \"v\" NVARCHAR2(20));\n"
                "CREATE TABLE \"td\" (\"id\" NUMBER PRIMARY KEY, \"v\" NUMBER);\n"
                "CREATE TABLE \"tb\" (\"id\" NUMBER PRIMARY KEY, \"v\" BLOB);\n"
                "CREATE TABLE \"tr\" (\"id\" NUMBER PRIMARY KEY, \"v\" RAW(20));\n"
                "CREATE TABLE \"ts\" (\"id\" NUMBER PRIMARY KEY, \"v\" RAW(20));\n"
                "INSERT INTO \"tc\" VALUES (2, 'old');\nINSERT INTO \"tn\" VALUES (2, 'old');\n"
                "INSERT INTO \"td\" VALUES (2, 7);\nINSERT INTO \"tr\" VALUES (2, HEXTORAW('AB'));\n"
                "INSERT INTO \"ts\" VALUES (2, HEXTORAW('AB'));\n");
        const kestrun_result r = mode == 1 ? run({"--mode=1"}) : run_update();
        EXPECT_EQ(r.exit_code, 255) << mode << r.out << r.err;
        EXPECT_EQ(r.out, database_line(6) + expected) << mode;
        for (const auto& [t, old] : std::vector<std::pair<std::string, std::string>>{
                 {"tc", "old"}, {"tn", "old"}, {"td", "7"}, {"tr", "AB"}, {"ts", "AB"}})
            EXPECT_EQ(oracle("SELECT \"id\", \"v\" FROM \"" + t + "\" ORDER BY 1;"),
                      (strings{"1\t~", "2\t" + old}))
                << mode << " " << t;
        EXPECT_EQ(oracle("SELECT \"id\", \"v\" FROM \"tb\";"), strings{"1\t~"}) << mode;
    }
}
