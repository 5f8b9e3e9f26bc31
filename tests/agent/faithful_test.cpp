#include "agent_fixture.hpp"

#include <string>
#include <vector>

using strings = std::vector<std::string>;

// the hostile names and values of real sample databases: each arrives as it is, or is reported
// with a failing exit code

TEST_F(kestrun_conversion, a_bare_name_is_its_own_table_before_one_of_the_public_schema)
{
    pg.exec("CREATE TABLE x (v text); INSERT INTO x VALUES ('table x');"
            "CREATE TABLE \"public.x\" (v text); INSERT INTO \"public.x\" VALUES ('dotted'), ('2')");
    const kestrun_result r = run({});
    EXPECT_EQ(r.exit_code, 0) << r.out << r.err;
    EXPECT_EQ(r.out, database_line(2) + table_line("public.x", 2) + table_line("x", 1));
    EXPECT_EQ(oracle("SELECT \"v\" FROM \"x\";"), strings{"table x"});
    EXPECT_EQ(oracle("SELECT \"v\" FROM \"public_x\" ORDER BY 1;"), (strings{"2", "dotted"}));
}

TEST_F(kestrun_conversion, a_column_the_user_cannot_read_fails_its_table)
{
    // named like the database, which its first connection then finds
    const std::string role = pg.name();
    pg.exec("CREATE ROLE \"" + role + "\" LOGIN PASSWORD 'pw';"
            "CREATE TABLE t (id int, secret text, v text); INSERT INTO t VALUES (1, 's', 'v');"
            "GRANT SELECT (id, v) ON t TO \"" + role + "\";"
            "CREATE TABLE open (id int); INSERT INTO open VALUES (1);"
            "GRANT SELECT ON open TO \"" + role + "\"");
    // the role leaves with the test, whatever happens in it
    struct dropper {
        const test_pg_database& db;
        std::string role;
        ~dropper() { db.exec("DROP OWNED BY \"" + role + "\"; DROP ROLE \"" + role + "\""); }
    } drop{pg, role};
    const kestrun_result r = run({"--posgsu=" + role, "--posgsp=pw"});
    EXPECT_EQ(r.exit_code, 255) << r.out << r.err;
    EXPECT_EQ(r.out, database_line(2) + table_line("open", 1) + "Error:\nt: Cannot read the "
                     "columns of t: permission denied for column secret\n");
    EXPECT_EQ(oracle_tables(), strings{"open"});
}
