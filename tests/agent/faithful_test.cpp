#include "agent_fixture.hpp"

#include <string>
#include <vector>

using strings = std::vector<std::string>;

// the hostile names and values of real sample databases: each arrives as it is, or is reported
// with a failing exit code

TEST_F(kestrun_conversion, a_bare_name_is_its_own_table_before_one_of_the_public_schema)
{
    pg.exec("CREATE TABLE x (v text); INSERT INTO x VALUES ('table x');"
            "CREATE TABLE \"public.x\" (v text);"
            "INSERT INTO \"public.x\" VALUES ('dotted'), ('2')");
    const kestrun_result r = run({});
    EXPECT_EQ(r.exit_code, 0) << r.out << r.err;
    EXPECT_EQ(r.out, database_line(2) + table_line("public.x", 2) + table_line("x", 1));
    EXPECT_EQ(oracle("SELECT \"v\" FROM \"x\";"), strings{"table x"});
    EXPECT_EQ(oracle("SELECT \"v\" FROM \"public_x\" ORDER BY 1;"), (strings{"2", "dotted"}));
}

TEST_F(kestrun_conversion, a_column_the_user_cannot_read_fails_its_table)
{
    const kestrun_role role(pg);
    pg.exec("CREATE TABLE t (id int, secret text, v text); INSERT INTO t VALUES (1, 's', 'v');"
            "GRANT SELECT (id, v) ON t TO " + role.sql() + ";"
            "CREATE TABLE open (id int); INSERT INTO open VALUES (1);"
            "GRANT SELECT ON open TO " + role.sql());
    const kestrun_result r = run(role.args());
    EXPECT_EQ(r.exit_code, 255) << r.out << r.err;
    EXPECT_EQ(r.out, database_line(2) + table_line("open", 1) + "Error:\nt: Cannot read the "
                     "columns of t: permission denied for column secret\n"
                     "Error:\nt: 1 of 1 records were not written\n");
    EXPECT_EQ(oracle_tables(), strings{"open"});
}

TEST_F(kestrun_conversion, merge_reports_numbers_an_existing_column_would_round)
{
    pg.exec("CREATE TABLE t (id int PRIMARY KEY, p numeric(6,3), d numeric(4,1), h int);"
            "INSERT INTO t VALUES (1, 1.25, 2, 100), (2, 1.2, 3, 12300), (3, 1.000, 2.5, 200),"
            "(4, 0, -4, 12345), (5, -0.100, 1e2, -500)");
    ora.sql("CREATE TABLE \"t\" (\"id\" NUMBER(11,0) PRIMARY KEY, \"p\" NUMBER(5,1),"
            " \"d\" NUMBER(3), \"h\" NUMBER(5,-2));\n");
    const auto record = [](int n, const std::string& text) {
        return "Error:\nt, record #" + std::to_string(n) + ": " + text + "\n";
    };
    const std::string reports = record(1, "Column p cannot hold 1.25 exactly: Oracle would round "
                                          "it to 1 decimal places")
                                + record(3, "Column d cannot hold 2.5 exactly: Oracle would round "
                                            "it to 0 decimal places")
                                + record(4, "Column h cannot hold 12345 exactly: Oracle would "
                                            "round it to -2 decimal places")
                                + "Error:\nt: 3 of 5 records were not written\n";
    kestrun_result r = run({"--mode=1"});
    EXPECT_EQ(r.exit_code, 255);
    EXPECT_EQ(r.out, database_line(1) + table_line("t", 5) + reports) << r.err;
    const std::string rows_sql = "SELECT \"id\", \"p\", \"d\", \"h\" FROM \"t\" ORDER BY 1;";
    EXPECT_EQ(oracle(rows_sql), (strings{"2\t1.2\t3\t12300", "5\t-.1\t100\t-500"}));

    // an update of a row it holds is refused the same way
    pg.exec("UPDATE t SET p = 1.23 WHERE id = 2");
    // merge with update has no option: a profile asks for it, with the port as PGPORT
    const test_pg_server& s = test_pg_server::get();
    const std::string profile = dir.write(
        "update.qlx", "[Generic settings]\r\nsrc=" + pg.name() + "\r\ndest=" + ora.service()
                          + "\r\nmode=4\r\nno schema=1\r\n[Oracle settings]\r\nuser=" + ora.user()
                          + "\r\npassword=" + ora.password() + "\r\n[Selected Tables]\r\nt\r\n"
                          + "[pgs settings]\r\nhost=" + s.host + "\r\nuser=" + s.user
                          + "\r\npassword=" + s.password + "\r\n");
    std::vector<std::string> env = ora.environment();
    env.push_back("PGPORT=" + s.port);
    r = run_kestrun({"--profile=" + profile}, env);
    EXPECT_EQ(r.exit_code, 255) << r.out;
    // the updated row is read last
    EXPECT_NE(r.out.find(record(5, "Column p cannot hold 1.23 exactly: Oracle would round "
                                          "it to 1 decimal places")), std::string::npos)
        << r.out;
    EXPECT_EQ(oracle(rows_sql), (strings{"2\t1.2\t3\t12300", "5\t-.1\t100\t-500"}));
}

TEST_F(kestrun_conversion, a_replaced_number_of_a_record_not_written_is_not_reported_as_written)
{
    pg.exec("CREATE TABLE t (id int PRIMARY KEY, d double precision NOT NULL, e double precision);"
            "INSERT INTO t VALUES (1, 'Infinity', 'Infinity'), (2, 1, 'NaN')");
    const kestrun_result r = run({});
    EXPECT_EQ(r.exit_code, 255);
    // the first record fails on its NOT NULL column: of its values nothing was written
    const std::string failed = "Error:\nt, record #1: ORA-01400: cannot insert NULL into (";
    EXPECT_EQ(r.out.substr(0, r.out.find(failed) + failed.size()),
              database_line(1) + table_line("t", 2) + failed) << r.out;
    const size_t end = r.out.find('\n', r.out.find(failed) + failed.size());
    const std::string after = r.out.substr(end + 1);
    EXPECT_EQ(after, "Error:\nt: 1 value(s) of column e were beyond the Oracle number range and "
                     "were written as the column default or NULL\n"
                     "Error:\nt: 1 of 2 records were not written\n");
    EXPECT_EQ(oracle("SELECT \"id\", \"d\", \"e\" FROM \"t\";"), strings{"2\t1\t~"});
}
