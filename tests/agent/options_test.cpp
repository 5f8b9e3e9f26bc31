#include "agent_fixture.hpp"

#include <string>
#include <vector>

using strings = std::vector<std::string>;

namespace {

const char client_missing[] =
    "Error:\nThe Oracle client and networking components were not found. These components are "
    "supplied by the Oracle Corporation and are part of the Oracle Version 7.3.4 (or later) "
    "client software installation. You will be unable to use this program until these "
    "components have been installed.\n";

} // namespace

TEST_F(kestrun_conversion, uppercase_skip_idx_and_tab_def_shape_the_destination)
{
    pg.exec("CREATE TABLE \"Mixed\" (id int PRIMARY KEY, code varchar(5) UNIQUE, city varchar(40));"
            "CREATE INDEX mixed_city ON \"Mixed\" (city);"
            "INSERT INTO \"Mixed\" VALUES (1, 'a', 'x'), (2, 'b', 'y')");
    const std::string indexes = "SELECT COUNT(*) FROM user_indexes;";
    const std::string constraints = "SELECT COUNT(*) FROM user_constraints;";

    kestrun_result r = run({"--uppercase"});
    EXPECT_EQ(r.exit_code, 0) << r.out << r.err;
    EXPECT_EQ(oracle_tables(), strings{"MIXED"});
    EXPECT_EQ(oracle("SELECT COUNT(*) FROM \"MIXED\";"), strings{"2"});
    EXPECT_EQ(oracle(indexes), strings{"3"});
    EXPECT_EQ(oracle(constraints), strings{"2"});

    // the default mode overwrites the table
    r = run({"--skip_idx", "--tab_def"});
    EXPECT_EQ(r.exit_code, 0) << r.out << r.err;
    EXPECT_EQ(r.out, database_line(1) + table_line("Mixed", 2));
    EXPECT_EQ(oracle_tables(), (strings{"MIXED", "Mixed"}));
    EXPECT_EQ(oracle("SELECT COUNT(*) FROM \"Mixed\";"), strings{"0"});
    EXPECT_EQ(oracle("SELECT COUNT(*) FROM user_indexes WHERE table_name = 'Mixed';"), strings{"0"});
}

TEST_F(kestrun_conversion, without_no_schema_tables_carry_their_schema)
{
    pg.exec("CREATE TABLE t (id int)");
    std::vector<std::string> args = ora_args();
    for (const std::string& a : pg_args())
        args.push_back(a);
    const kestrun_result r = run_kestrun(args, ora.environment());
    EXPECT_EQ(r.exit_code, 0) << r.out << r.err;
    EXPECT_EQ(r.out, database_line(1) + table_line("public.t", 0));
    const strings tables = oracle_tables();
    ASSERT_EQ(tables.size(), 1u);
    EXPECT_NE(tables[0], "t");
}

TEST_F(kestrun_conversion, later_mode_wins_and_merge_drops_duplicates_silently)
{
    pg.exec("CREATE TABLE t (id int PRIMARY KEY, v varchar(10));"
            "INSERT INTO t VALUES (1, 'new'), (2, 'b')");
    const std::string old_table = "CREATE TABLE \"t\" (\"id\" NUMBER(11,0) PRIMARY KEY, "
                                  "\"v\" NVARCHAR2(10));\nINSERT INTO \"t\" VALUES (1, 'old');\n";
    ora.sql(old_table);
    kestrun_result r = run({"--mode=2", "--mode=1"});
    EXPECT_EQ(r.exit_code, 0) << r.out << r.err;
    EXPECT_EQ(r.out, database_line(1) + table_line("t", 2));
    EXPECT_EQ(oracle("SELECT \"id\", \"v\" FROM \"t\" ORDER BY 1;"), (strings{"1\told", "2\tb"}));

    r = run({"--mode=1", "--mode=2"});
    EXPECT_EQ(r.exit_code, 0) << r.out << r.err;
    EXPECT_EQ(r.out, database_line(1));

    r = run({"--mode=2", "--mode=0"});
    EXPECT_EQ(r.exit_code, 0) << r.out << r.err;
    EXPECT_EQ(oracle("SELECT \"id\", \"v\" FROM \"t\" ORDER BY 1;"), (strings{"1\tnew", "2\tb"}));
}

TEST_F(kestrun_conversion, record_error_is_reported_and_fails_the_run)
{
    pg.exec("CREATE TABLE t (id int PRIMARY KEY, v varchar(10));"
            "INSERT INTO t VALUES (1, 'ok'), (2, 'too long'), (3, 'ok')");
    ora.sql("CREATE TABLE \"t\" (\"id\" NUMBER(11,0) PRIMARY KEY, \"v\" NVARCHAR2(3));\n");
    const kestrun_result r = run({"--mode=1"});
    EXPECT_EQ(r.exit_code, 255);
    const strings out = lines_of(r.out);
    ASSERT_EQ(out.size(), 6u) << r.out;
    EXPECT_EQ(out[2], "Error:");
    EXPECT_EQ(out[3].rfind("t, record #2: ORA-12899", 0), 0u) << out[3];
    EXPECT_EQ(out[4] + "\n" + out[5], "Error:\nt: 1 of 3 records were not written");
    EXPECT_EQ(oracle("SELECT \"id\" FROM \"t\" ORDER BY 1;"), (strings{"1", "3"}));
}

TEST_F(kestrun_conversion, connection_failures_end_with_the_error_block)
{
    pg.exec("CREATE TABLE t (id int)");
    // oracle is connected first: a postgresql host that cannot resolve is never reached
    std::vector<std::string> wrong_oracle = {"--dest=" + ora.service(), "--oraclu=" + ora.user(),
                                             "--oraclp=wrong", "--posgsh=no.such.host.invalid",
                                             "--src=" + pg.name()};
    kestrun_result r = run_kestrun(wrong_oracle, ora.environment());
    EXPECT_EQ(r.exit_code, 255);
    EXPECT_EQ(r.out, "Error:\nInvalid user name or password.\n");
    EXPECT_EQ(r.err, "");

    // no client on the library path
    r = run_kestrun(wrong_oracle, {"OCISIM_DIR=" + ora.dir(), "LD_LIBRARY_PATH="});
    EXPECT_EQ(r.exit_code, 255);
    EXPECT_EQ(r.out, client_missing);

    std::vector<std::string> wrong_pg = ora_args();
    const test_pg_server& s = test_pg_server::get();
    for (const std::string& a : {"--posgsh=" + s.host, "--pgport=" + s.port, "--posgsu=" + s.user,
                                 std::string("--posgsp=wrong"), "--src=" + pg.name()})
        wrong_pg.push_back(a);
    r = run_kestrun(wrong_pg, ora.environment());
    EXPECT_EQ(r.exit_code, 255);
    EXPECT_EQ(r.out.rfind("Error:\n", 0), 0u) << r.out;
    EXPECT_EQ(lines_of(r.out).size(), 2u) << r.out;
    EXPECT_TRUE(oracle_tables().empty());

    // a source database that does not exist: the run cannot open it
    r = run({"--src=" + pg.name() + "_absent"});
    EXPECT_EQ(r.exit_code, 255);
    EXPECT_EQ(r.out.rfind("Error:\n", 0), 0u) << r.out;
}
