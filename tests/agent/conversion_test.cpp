#include "agent_fixture.hpp"
#include "test_silent_server.hpp"

#include <pqxx/pqxx>

#include <string>
#include <vector>

using strings = std::vector<std::string>;

TEST_F(kestrun_conversion, converts_every_source_table_in_name_order)
{
    pg.exec("CREATE TABLE b (id int PRIMARY KEY, v text);"
            "INSERT INTO b VALUES (1, 'x'), (2, NULL);"
            "CREATE TABLE \"C\" (id int);"
            "CREATE TABLE a_empty (id int)");
    const kestrun_result r = run({});
    EXPECT_EQ(r.exit_code, 0) << r.out << r.err;
    EXPECT_EQ(r.out, database_line(3) + table_line("C", 0) + table_line("a_empty", 0)
                         + table_line("b", 2));
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(oracle_tables(), (strings{"C", "a_empty", "b"}));
    EXPECT_EQ(oracle("SELECT \"id\", \"v\" FROM \"b\" ORDER BY 1;"), (strings{"1\tx", "2\t~"}));
}

TEST_F(kestrun_conversion, empty_source_database_prints_the_database_line_only)
{
    const kestrun_result r = run({});
    EXPECT_EQ(r.exit_code, 0) << r.err;
    EXPECT_EQ(r.out, database_line(0));
    EXPECT_EQ(r.err, "");
}

TEST_F(kestrun_conversion, silent_run_prints_nothing_and_writes_the_trace_log)
{
    pg.exec("CREATE TABLE t (id int); INSERT INTO t VALUES (1)");
    const std::string log = dir.file("trace.log");
    const kestrun_result r = run({"--silent", "--logfile=" + log, "--tab_file=" + dir.write("list", "t\nmissing\n")});
    // the missing table still fails the run
    EXPECT_EQ(r.exit_code, 255);
    EXPECT_EQ(r.out + r.err, "");
    EXPECT_EQ(oracle("SELECT COUNT(*) FROM \"t\";"), strings{"1"});
    const std::string trace = test_read_file(log);
    EXPECT_NE(trace.find("Conversion started on "), std::string::npos) << trace;
    EXPECT_NE(trace.find("Converting table t (1 records)\r\n"), std::string::npos) << trace;
    EXPECT_NE(trace.find("Conversion ended on "), std::string::npos) << trace;
}

TEST_F(kestrun_conversion, table_list_file_names_are_read_exactly)
{
    const std::string long_name(300, 'n');
    pg.exec("CREATE TABLE \"zażółć\" (id int); INSERT INTO \"zażółć\" VALUES (1);"
            "CREATE TABLE \"with blank \" (id int);"
            "CREATE TABLE other (id int)");
    struct list_case {
        std::string name;
        std::string bytes;
        std::string out;
        std::string err;
    };
    const list_case cases[] = {
        {"utf-8 mark, CR LF, empty lines, a long missing name, a mark on a later line",
         "\xEF\xBB\xBFza\xC5\xBC\xC3\xB3\xC5\x82\xC4\x87\r\n\r\n\nwith blank \r\n" + long_name
             + "\r\n\xEF\xBB\xBFother\r\n",
         database_line(4) + table_line("with blank ", 0) + table_line("zażółć", 1),
         "Table " + long_name + " not exists\nTable \xEF\xBB\xBFother not exists\n"},
        {"no mark: the same bytes in the ansi code page, last line without line end",
         "za\xC5\xBC\xC3\xB3\xC5\x82\xC4\x87\nother", database_line(2) + table_line("other", 0)
             + table_line("zażółć", 1), ""},
    };
    for (const list_case& c : cases) {
        const kestrun_result r = run({"--tab_file=" + dir.write("list.txt", c.bytes)});
        EXPECT_EQ(r.out, c.out) << c.name;
        EXPECT_EQ(r.err, c.err) << c.name;
        EXPECT_EQ(r.exit_code, c.err.empty() ? 0 : 255) << c.name;
    }
}

TEST_F(kestrun_conversion, missing_requested_table_fails_the_run_after_the_others)
{
    pg.exec("CREATE TABLE t (id int); INSERT INTO t VALUES (1), (2)");
    const kestrun_result r = run({"--tab_file=" + dir.write("list", "x\nt\n")});
    EXPECT_EQ(r.exit_code, 255);
    EXPECT_EQ(r.out, database_line(2) + table_line("t", 2));
    EXPECT_EQ(r.err, "Table x not exists\n");
    EXPECT_EQ(oracle_tables(), strings{"t"});
}

TEST_F(kestrun_conversion, a_second_table_list_replaces_the_first)
{
    pg.exec("CREATE TABLE a (id int); CREATE TABLE b (id int)");
    const kestrun_result r = run({"--tab_file=" + dir.write("one", "a\n"),
                                  "--tab_file=" + dir.write("two", "b\n")});
    EXPECT_EQ(r.exit_code, 0) << r.err;
    EXPECT_EQ(oracle_tables(), strings{"b"});
}

TEST_F(kestrun_conversion, failed_log_off_at_the_end_fails_the_run_and_says_what_it_may_cost)
{
    // every row was committed with its large objects before: the log-off costs none of them
    pg.exec("CREATE TABLE t (id int PRIMARY KEY, body text); INSERT INTO t VALUES (1, 'x')");
    const kestrun_result r = run({}, {"OCISIM_FAULTS=3113:LOGOFF"});
    EXPECT_EQ(r.exit_code, 255) << r.out << r.err;
    const std::string block = "Error:\nLogging off Oracle failed (ORA-03113";
    ASSERT_NE(r.out.find(block), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("): every row written, inserted or updated, had been committed with "
                         "its large objects\n"),
              std::string::npos)
        << r.out;
    EXPECT_EQ(oracle("SELECT \"id\", \"body\" FROM \"t\";"), strings{"1\tx"});
}

TEST_F(kestrun_conversion, index_left_out_fails_the_run_and_the_rows_still_arrive)
{
    // a key over a column stored as a large object cannot be built in Oracle
    pg.exec("CREATE TABLE t (body text PRIMARY KEY, n int); INSERT INTO t VALUES ('a', 1)");
    const kestrun_result r = run({});
    EXPECT_EQ(r.exit_code, 255) << r.out << r.err;
    EXPECT_NE(r.out.find("Index t_pkey was not created: column body is stored as a large object"),
              std::string::npos)
        << r.out << r.err;
    EXPECT_EQ(oracle("SELECT \"body\", \"n\" FROM \"t\";"), strings{"a\t1"});
}

TEST_F(kestrun_conversion, table_name_shared_by_two_schemas_fails_the_run)
{
    // without the schema both tables are listed as t: only one of them can be read
    pg.exec("CREATE TABLE t (id int); CREATE SCHEMA s2; CREATE TABLE s2.t (id int, x int);"
            "INSERT INTO s2.t VALUES (1, 2); CREATE TABLE u (id int)");
    const std::string report = "Error:\nt: More than one schema holds a table of this name: only "
                               "one of them is converted (leave out --no_schema to convert each)\n";
    for (const strings& extra : {strings{}, strings{"--tab_file=" + dir.write("list", "t\nu\n")}}) {
        const kestrun_result r = run(extra);
        EXPECT_EQ(r.exit_code, 255) << r.out << r.err;
        // the table left out counts its records
        EXPECT_EQ(r.out, database_line(extra.empty() ? 3 : 2) + table_line("t", 0) + report
                             + "Error:\ns2.t: 1 of 1 records were not written\n"
                             + table_line("u", 0));
        EXPECT_EQ(oracle_tables(), (strings{"t", "u"}));
    }
}

TEST_F(kestrun_conversion, whole_database_run_converts_each_row_once)
{
    pg.exec("CREATE TABLE parent (id int); CREATE TABLE child (extra text) INHERITS (parent);"
            "INSERT INTO parent VALUES (1); INSERT INTO child VALUES (2, 'x');"
            "CREATE TABLE sales (id int, region text) PARTITION BY LIST (region);"
            "CREATE TABLE sales_east PARTITION OF sales FOR VALUES IN ('east');"
            "CREATE TABLE sales_rest PARTITION OF sales DEFAULT;"
            "INSERT INTO sales VALUES (1, 'east'), (2, 'west'), (3, 'east')");
    // another session's temporary table is no source table
    pqxx::connection other(pg.conn_string());
    pqxx::nontransaction(other).exec("CREATE TEMP TABLE scratch (id int)");
    kestrun_result r = run({});
    EXPECT_EQ(r.exit_code, 0) << r.out << r.err;
    EXPECT_EQ(r.out, database_line(3) + table_line("child", 1) + table_line("parent", 1)
                         + table_line("sales", 3));
    EXPECT_EQ(oracle_tables(), (strings{"child", "parent", "sales"}));
    EXPECT_EQ(oracle("SELECT \"id\" FROM \"parent\";"), strings{"1"});
    EXPECT_EQ(oracle("SELECT \"id\", \"extra\" FROM \"child\";"), strings{"2\tx"});
    EXPECT_EQ(oracle("SELECT \"id\", \"region\" FROM \"sales\" ORDER BY 1;"),
              (strings{"1\teast", "2\twest", "3\teast"}));

    // a partition named in the table list is converted alone
    r = run({"--tab_file=" + dir.write("list", "sales_east\n")});
    EXPECT_EQ(r.exit_code, 0) << r.out << r.err;
    EXPECT_EQ(oracle("SELECT \"id\" FROM \"sales_east\" ORDER BY 1;"), (strings{"1", "3"}));
}

TEST_F(kestrun_conversion, postgresql_address_that_never_answers_fails_after_the_time_out)
{
    const test_silent_server silent;
    std::vector<std::string> args = ora_args();
    for (const std::string& a : {std::string("--posgsh=127.0.0.1"), "--pgport=" + silent.port(),
                                 std::string("--posgsu=u"), std::string("--posgsp=p"),
                                 "--src=" + pg.name()})
        args.push_back(a);
    const kestrun_result r = run_kestrun(args, ora.environment());
    EXPECT_EQ(r.exit_code, 255);
    EXPECT_EQ(r.out.rfind("Error:\n", 0), 0u) << r.out;
    EXPECT_NE(r.out.find("timeout expired"), std::string::npos) << r.out;
    EXPECT_TRUE(oracle_tables().empty());
}

TEST_F(kestrun_conversion, user_without_a_database_of_their_own_name_converts)
{
    const test_pg_role role(pg, pg.name() + "_nodb");
    pg.exec("CREATE TABLE t (id int); INSERT INTO t VALUES (1);"
            "GRANT SELECT ON t TO \"" + role.name() + "\"");
    const test_pg_server& s = test_pg_server::get();
    std::vector<std::string> args = ora_args();
    for (const std::string& a : {"--posgsh=" + s.host, "--pgport=" + s.port,
                                 "--posgsu=" + role.name(), "--posgsp=" + role.password(),
                                 "--src=" + pg.name(), std::string("--no_schema")})
        args.push_back(a);
    const kestrun_result r = run_kestrun(args, ora.environment());
    EXPECT_EQ(r.exit_code, 0) << r.out << r.err;
    EXPECT_EQ(r.out, database_line(1) + table_line("t", 1));
    EXPECT_EQ(oracle("SELECT \"id\" FROM \"t\";"), strings{"1"});
}
