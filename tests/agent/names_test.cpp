// names Oracle refuses or that meet once shortened or upper-cased, over repeated runs

#include "agent_fixture.hpp"

#include <algorithm>
#include <string>
#include <vector>

using strings = std::vector<std::string>;

TEST_F(kestrun_conversion, a_merge_finds_the_columns_whose_generated_names_met)
{
    // a and A meet ignoring case, the long names once shortened: the columns the first run
    // made are the ones a merge writes into
    const std::string long_name(35, 'c');
    pg.exec("CREATE TABLE t (id int PRIMARY KEY, a int, \"A\" int, " + long_name + "1 int, "
            + long_name + "2 int); INSERT INTO t VALUES (1, 2, 3, 4, 5)");
    const struct {
        std::vector<std::string> options;
        const char* table;
    } cases[] = {{{}, "t"}, {{"--uppercase"}, "T"}};
    for (const auto& c : cases) {
        for (const std::string& t : oracle_tables())
            ora.sql("DROP TABLE \"" + t + "\";\n");
        pg.exec("DELETE FROM t WHERE id = 6");
        kestrun_result r = run(c.options);
        EXPECT_EQ(r.exit_code, 0) << r.out << r.err;
        pg.exec("INSERT INTO t VALUES (6, 7, 8, 9, 10)");
        std::vector<std::string> merge = c.options;
        merge.push_back("--mode=1");
        r = run(merge);
        EXPECT_EQ(r.exit_code, 0) << c.table << r.out << r.err;
        EXPECT_EQ(oracle_tables(), strings{c.table});
        EXPECT_EQ(oracle("SELECT * FROM \"" + std::string(c.table) + "\" ORDER BY 1;"),
                  (strings{"1\t2\t3\t4\t5", "6\t7\t8\t9\t10"}))
            << c.table;
    }
}

TEST_F(kestrun_conversion, a_name_of_more_than_30_bytes_gets_a_generated_name)
{
    // 21 and 23 characters, twice as many bytes: too long for a server before 12.2
    const std::string table = "клиенты_и_заказы_всех";
    const std::string column = "длинное_имя_столбца_тут";
    pg.exec("CREATE TABLE \"" + table + "\" (id int PRIMARY KEY, \"" + column + "\" int, \""
            + column + "2\" int); CREATE INDEX \"индекс_по_длинному_столбцу\" ON \"" + table
            + "\" (\"" + column + "\"); INSERT INTO \"" + table + "\" VALUES (1, 2, 3)");
    const std::string old_server
        = "OCISIM_BANNER=Oracle Database 11g Enterprise Edition Release 11.2.0.4.0 - 64bit "
          "Production";
    for (const char* mode : {"--mode=0", "--mode=1"}) {
        const kestrun_result r = run({mode}, {old_server});
        EXPECT_EQ(r.exit_code, 0) << mode << r.out << r.err;
        const strings tables = oracle_tables();
        ASSERT_EQ(tables.size(), 1u) << mode;
        EXPECT_LE(tables[0].size(), 30u);
        EXPECT_EQ(tables[0].compare(0, 10, table, 0, 10), 0) << tables[0];
        const strings rows = oracle("SELECT * FROM \"" + tables[0] + "\" ORDER BY 1;");
        const strings expected = mode == std::string("--mode=0")
                                     ? strings{"1\t2\t3"}
                                     : strings{"1\t2\t3", "4\t5\t6"};
        EXPECT_EQ(rows, expected) << mode;
        for (const std::string& name :
             oracle("SELECT column_name FROM user_tab_columns UNION ALL "
                    "SELECT index_name FROM user_indexes;"))
            EXPECT_LE(name.size(), 30u) << name;
        EXPECT_EQ(oracle("SELECT COUNT(*) FROM user_indexes;"), strings{"2"});
        if (mode == std::string("--mode=0"))
            pg.exec("INSERT INTO \"" + table + "\" VALUES (4, 5, 6)");
    }
}

TEST_F(kestrun_conversion, without_the_schema_a_partition_does_not_stand_in_for_a_table)
{
    // schema a comes first, and its partition carries the name of the table of schema hr
    pg.exec("CREATE SCHEMA a; CREATE SCHEMA hr;"
            "CREATE TABLE a.p (id int) PARTITION BY RANGE (id);"
            "CREATE TABLE a.items PARTITION OF a.p FOR VALUES FROM (0) TO (100);"
            "INSERT INTO a.p VALUES (1);"
            "CREATE TABLE hr.items (id int, name text); INSERT INTO hr.items VALUES (50, 'hr')");
    const kestrun_result r = run({});
    EXPECT_EQ(r.exit_code, 0) << r.out << r.err;
    EXPECT_EQ(oracle_tables(), (strings{"items", "p"}));
    EXPECT_EQ(oracle("SELECT * FROM \"items\";"), strings{"50\thr"});
    EXPECT_EQ(oracle("SELECT * FROM \"p\";"), strings{"1"});
}

TEST_F(kestrun_conversion, a_name_shared_by_two_schemas_fails_a_run_that_skips_the_table_too)
{
    pg.exec("CREATE TABLE t (id int); CREATE SCHEMA s2; CREATE TABLE s2.t (id int, x int);"
            "INSERT INTO t VALUES (1)");
    const std::string report = "Error:\nt: More than one schema holds a table of this name: only "
                               "one of them is converted (leave out --no_schema to convert each)\n";
    for (const char* mode : {"--mode=0", "--mode=2"}) {
        const kestrun_result r = run({mode});
        EXPECT_EQ(r.exit_code, 255) << mode << r.out << r.err;
        EXPECT_NE(r.out.find(report), std::string::npos) << mode << r.out;
        EXPECT_EQ(oracle("SELECT * FROM \"t\";"), strings{"1"});
    }
}

TEST_F(kestrun_conversion, a_table_that_fails_before_its_first_record_counts_its_records)
{
    // the table is made, then Oracle refuses its index, named: none of its records arrive
    pg.exec("CREATE TABLE a (id int PRIMARY KEY, v int); CREATE INDEX a_v ON a (v);"
            "INSERT INTO a VALUES (1, 1), (2, 2); CREATE TABLE z (id int); INSERT INTO z VALUES (1)");
    const kestrun_result r = run({}, {"OCISIM_FAULTS=1450:CREATE INDEX*"});
    EXPECT_EQ(r.exit_code, 255) << r.out << r.err;
    EXPECT_EQ(r.out.rfind(database_line(2) + "Error:\na: Index a_v was not created: ORA-01450", 0),
              0u)
        << r.out;
    EXPECT_NE(r.out.find("\nError:\na: 2 of 2 records were not written\n" + table_line("z", 1)),
              std::string::npos)
        << r.out;
    EXPECT_EQ(oracle("SELECT COUNT(*) FROM \"a\";"), strings{"0"});
    EXPECT_EQ(oracle("SELECT * FROM \"z\";"), strings{"1"});
}

TEST_F(kestrun_conversion, a_query_named_like_a_tables_generated_name_is_numbered_apart)
{
    // with the schema in the names public.x becomes public_x: a query of that name, in any
    // case, must not take it
    pg.exec("CREATE TABLE x (id int, v text); INSERT INTO x VALUES (1, 'a'), (2, 'b')");
    const struct {
        const char* query;
        const char* query_table;   // where its rows go
        bool clash;
    } cases[] = {{"public_x", "public_x00000", true},
                 {"PUBLIC_X", "PUBLIC_X00000", true},
                 {"public_y", "public_y", false}};
    for (const auto& c : cases) {
        for (const std::string& t : oracle_tables())
            ora.sql("DROP TABLE \"" + t + "\";\n");
        ASSERT_EQ(run_with_schema({}).exit_code, 0);
        const std::string query = std::string(c.query) + "=SELECT id, v FROM x WHERE id = 2";
        const std::string p = profile("q.qlx", generic(), "public.x\r\n" + query);
        const kestrun_result r = run_kestrun({"--profile=" + p, "--mode=0"}, profile_environment());
        EXPECT_EQ(r.exit_code, c.clash ? 255 : 0) << c.query << r.out << r.err;
        const std::string clash
            = c.clash ? "Error:\n" + std::string(c.query) + ": The Oracle name public_x is the "
                        "name of the table public.x, which keeps it: the rows of this query go "
                        "to " + c.query_table + "\n"
                      : std::string();
        // in name order: upper case first, then the point before the underscore
        const std::string query_lines = table_line(c.query, 1) + clash;
        const bool query_first = c.query[0] == 'P';
        EXPECT_EQ(r.out, database_line(1) + (query_first ? query_lines : "")
                             + table_line("public.x", 2) + (query_first ? "" : query_lines))
            << c.query;
        EXPECT_EQ(oracle("SELECT \"id\", \"v\" FROM \"public_x\" ORDER BY 1;"),
                  (strings{"1\ta", "2\tb"}))
            << c.query;
        EXPECT_EQ(oracle("SELECT \"id\", \"v\" FROM \"" + std::string(c.query_table) + "\";"),
                  strings{"2\tb"})
            << c.query;
    }
}

TEST_F(kestrun_conversion, a_schema_added_keeps_every_long_table_name_in_its_oracle_table)
{
    // the qualified names are cut at 29 bytes, where they meet: one of them is numbered, and
    // a schema that sorts first would take the names of the others by the rules alone
    const std::string prefix = "common_prefix_schema_name_for_q";
    const auto add = [&](const std::string& quarter) {
        pg.exec("CREATE SCHEMA " + prefix + quarter + "; CREATE TABLE " + prefix + quarter
                + ".t (id int PRIMARY KEY, q text); INSERT INTO " + prefix + quarter
                + ".t VALUES (1, '" + quarter + "'), (2, '" + quarter + "')");
    };
    const std::string cut = "common_prefix_schema_name_for";
    const std::string numbered = "common_prefix_schema_nam";
    // every Oracle table and its rows: each holds one quarter's rows
    const auto destination = [&] {
        strings all;
        for (const std::string& t : oracle_tables())
            for (const std::string& row : oracle("SELECT * FROM \"" + t + "\" ORDER BY 1;"))
                all.push_back(t + ": " + row);
        std::sort(all.begin(), all.end());
        return all;
    };
    add("07");
    add("08");
    kestrun_result r = run_with_schema({});
    EXPECT_EQ(r.exit_code, 0) << r.out << r.err;
    const strings first{numbered + "00000: 1\t08", numbered + "00000: 2\t08", cut + ": 1\t07",
                        cut + ": 2\t07"};
    EXPECT_EQ(destination(), first);

    add("00");
    // merge with update has no option: a profile asks for it
    const std::string update = "--profile=" + profile("u.qlx", generic() + "\r\nmode=4", "");
    for (const std::string mode : {"--mode=1", "--mode=0", "--mode=2", "mode=4"}) {
        r = mode == "mode=4" ? run_kestrun({update}, profile_environment())
                             : run_with_schema({mode});
        EXPECT_EQ(r.exit_code, 0) << mode << r.out << r.err;
        if (mode != "--mode=2")
            EXPECT_EQ(r.out, database_line(3) + table_line(prefix + "00.t", 2)
                                 + table_line(prefix + "07.t", 2) + table_line(prefix + "08.t", 2))
                << mode;
        const strings expected{numbered + "00000: 1\t08", numbered + "00000: 2\t08",
                               numbered + "00001: 1\t00", numbered + "00001: 2\t00",
                               cut + ": 1\t07", cut + ": 2\t07"};
        EXPECT_EQ(destination(), expected) << mode;
    }
}

TEST_F(kestrun_conversion, a_source_table_named_like_another_ones_oracle_table_is_numbered_apart)
{
    // "x y" is x_y; a table x_y added later would be x_y by its own name
    pg.exec("CREATE TABLE \"x y\" (id int PRIMARY KEY); INSERT INTO \"x y\" VALUES (1)");
    kestrun_result r = run({});
    EXPECT_EQ(r.exit_code, 0) << r.out << r.err;
    pg.exec("CREATE TABLE x_y (id int PRIMARY KEY, v text); INSERT INTO x_y VALUES (2, 'b')");
    const std::string told = "Error:\nx_y: The Oracle table x_y holds the rows of the source "
                             "table x y, which keeps it: the rows of this table go to x_y00000\n";
    r = run({"--mode=1"});
    EXPECT_EQ(r.exit_code, 255) << r.out << r.err;
    EXPECT_EQ(r.out, database_line(2) + table_line("x y", 1) + table_line("x_y", 1) + told);
    // the next run finds both tables by their records
    r = run({"--mode=1"});
    EXPECT_EQ(r.exit_code, 0) << r.out << r.err;
    EXPECT_EQ(oracle_tables(), (strings{"x_y", "x_y00000"}));
    EXPECT_EQ(oracle("SELECT * FROM \"x_y\";"), strings{"1"});
    EXPECT_EQ(oracle("SELECT * FROM \"x_y00000\";"), strings{"2\tb"});

    // with both gone from the source, a query of that name is numbered on as well
    pg.exec("DROP TABLE \"x y\"; DROP TABLE x_y");
    const std::string p
        = profile("q.qlx", generic() + "\r\nno schema=1", "x_y=SELECT 5 AS id");
    r = run_kestrun({"--profile=" + p, "--mode=1"}, profile_environment());
    EXPECT_EQ(r.exit_code, 255) << r.out << r.err;
    // a run of queries alone counts no tables
    EXPECT_EQ(r.out, database_line(0) + table_line("x_y", 1)
                         + "Error:\nx_y: The Oracle table x_y holds the rows of the source table "
                           "x y, which keeps it: the rows of this query go to x_y00001\n");
    EXPECT_EQ(oracle_tables(), (strings{"x_y", "x_y00000", "x_y00001"}));
    EXPECT_EQ(oracle("SELECT * FROM \"x_y\";"), strings{"1"});
    EXPECT_EQ(oracle("SELECT * FROM \"x_y00001\";"), strings{"5"});
}

TEST_F(kestrun_conversion, a_run_in_upper_case_merges_into_a_table_of_the_same_name)
{
    // "T" is T under either case rule: the table the first run made is the one to merge into
    pg.exec("CREATE TABLE \"T\" (id int PRIMARY KEY); INSERT INTO \"T\" VALUES (1)");
    kestrun_result r = run({});
    EXPECT_EQ(r.exit_code, 0) << r.out << r.err;
    pg.exec("INSERT INTO \"T\" VALUES (2)");
    r = run({"--uppercase", "--mode=1"});
    EXPECT_EQ(r.exit_code, 0) << r.out << r.err;
    EXPECT_EQ(r.out, database_line(1) + table_line("T", 2));
    EXPECT_EQ(oracle_tables(), strings{"T"});
    EXPECT_EQ(oracle("SELECT * FROM \"T\" ORDER BY 1;"), (strings{"1", "2"}));
}
