// what a run touches in a schema that holds more than it made, and the rules it cannot keep:
// each case is a kestrun process, its exit code, its message and the destination afterwards

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

class kestrun_destination : public kestrun_conversion {
protected:
    strings constraints(const std::string& table) const
    {
        return oracle("SELECT constraint_name, constraint_type FROM user_constraints WHERE "
                      "table_name='" + table + "' ORDER BY constraint_name;");
    }
};

TEST_F(kestrun_destination, overwrite_reports_the_foreign_keys_of_other_tables_it_drops)
{
    pg.exec("CREATE TABLE customers (id int PRIMARY KEY, name text);"
            "INSERT INTO customers VALUES (1, 'a'), (2, 'b')");
    ASSERT_EQ(run({}).exit_code, 0);
    // the user's own tables refer to the converted one; its own key to itself goes with it
    ora.sql("CREATE TABLE \"app_orders\" (\"id\" NUMBER, \"cust\" NUMBER CONSTRAINT "
            "\"fk_orders_cust\" REFERENCES \"customers\"(\"id\"));\n"
            "CREATE TABLE \"app_notes\" (\"cust\" NUMBER, CONSTRAINT \"fk_notes\" FOREIGN KEY "
            "(\"cust\") REFERENCES \"customers\"(\"id\") ON DELETE CASCADE);\n"
            "ALTER TABLE \"customers\" ADD (\"boss\" NUMBER);\n"
            "ALTER TABLE \"customers\" ADD CONSTRAINT \"fk_self\" FOREIGN KEY (\"boss\") "
            "REFERENCES \"customers\"(\"id\");\n");
    const kestrun_result r = run({});
    EXPECT_EQ(r.exit_code, 255) << r.out << r.err;
    // said as soon as the table is dropped, before its rows
    EXPECT_EQ(r.out, database_line(1)
                         + "Error:\ncustomers: Foreign key fk_notes of table app_notes was "
                           "dropped with the table it refers to and is not created again: "
                           "restore it after the run\n"
                           "Error:\ncustomers: Foreign key fk_orders_cust of table app_orders "
                           "was dropped with the table it refers to and is not created again: "
                           "restore it after the run\n"
                         + table_line("customers", 2))
        << r.err;
    EXPECT_EQ(oracle("SELECT COUNT(*) FROM user_constraints WHERE constraint_type='R';"),
              strings{"0"});
    EXPECT_EQ(oracle_tables(), (strings{"app_notes", "app_orders", "customers"}));
    EXPECT_EQ(oracle("SELECT \"id\", \"name\" FROM \"customers\" ORDER BY 1;"),
              (strings{"1\ta", "2\tb"}));
    // nothing refers to it any more: the next overwrite is quiet
    const kestrun_result again = run({});
    EXPECT_EQ(again.exit_code, 0) << again.out << again.err;
}

TEST_F(kestrun_destination, unique_rules_oracle_keeps_less_of_are_reported_with_the_index)
{
    pg.exec("CREATE COLLATION ci (provider = icu, locale = 'und-u-ks-level2', "
            "deterministic = false);"
            "CREATE TABLE u (id int PRIMARY KEY, name varchar(20) COLLATE ci "
            "CONSTRAINT u_name UNIQUE, code int, a int NOT NULL, b int, body text COLLATE ci,"
            "CONSTRAINT u_code UNIQUE NULLS NOT DISTINCT (code),"
            "CONSTRAINT u_a UNIQUE NULLS NOT DISTINCT (a),"
            "CONSTRAINT u_ab UNIQUE NULLS NOT DISTINCT (a, b),"
            "CONSTRAINT u_body UNIQUE (body));"
            "CREATE TABLE k (name varchar(10) COLLATE ci PRIMARY KEY);"
            "INSERT INTO u VALUES (1, 'Alice', NULL, 1, NULL, 'x'), (2, 'Bob', 2, 2, 2, 'y');"
            "INSERT INTO k VALUES ('Alice')");
    const kestrun_result r = run({});
    EXPECT_EQ(r.exit_code, 255) << r.out << r.err;
    const std::string collation = " keeps UNIQUE comparing values exactly: its column name has "
                                  "the non-deterministic collation ci, and Oracle accepts values "
                                  "that PostgreSQL takes as equal\n";
    const std::string nulls = " keeps UNIQUE without NULLS NOT DISTINCT: Oracle accepts several "
                              "rows whose key columns are all NULL, which PostgreSQL refuses\n";
    EXPECT_TRUE(contains(r.out, "Error:\nk: Index k_pkey" + collation)) << r.out;
    EXPECT_TRUE(contains(r.out, "Error:\nu: Index u_name" + collation)) << r.out;
    EXPECT_TRUE(contains(r.out, "Error:\nu: Index u_code" + nulls)) << r.out;
    EXPECT_TRUE(contains(r.out, "Error:\nu: Index u_ab" + nulls)) << r.out;
    // a column that allows no NULL loses nothing; an index left out is said to be left out
    EXPECT_FALSE(contains(r.out, "Index u_a ")) << r.out;
    EXPECT_TRUE(contains(r.out, "Error:\nu: Index u_body was not created: column body is stored "
                                "as a large object, which Oracle cannot index\n"))
        << r.out;
    EXPECT_FALSE(contains(r.out, "u_body keeps")) << r.out;
    EXPECT_FALSE(contains(r.out, "without UNIQUE")) << r.out;
    EXPECT_EQ(oracle("SELECT index_name, uniqueness FROM user_indexes WHERE table_name='u' "
                     "ORDER BY index_name;"),
              (strings{"u_a\tUNIQUE", "u_ab\tUNIQUE", "u_code\tUNIQUE", "u_name\tUNIQUE",
                       "u_pkey\tUNIQUE"}));
    EXPECT_EQ(oracle("SELECT COUNT(*) FROM \"u\";"), strings{"2"});
    EXPECT_EQ(oracle("SELECT \"name\" FROM \"k\";"), strings{"Alice"});
}

TEST_F(kestrun_destination, a_unique_key_over_a_large_object_is_reported_once_as_left_out)
{
    // region allows NULL, so the key would be made plain, but it becomes a CLOB: no index
    pg.exec("CREATE TABLE acct (id int NOT NULL, region text, UNIQUE (region, id));"
            "INSERT INTO acct VALUES (1, 'north'), (2, NULL)");
    const kestrun_result r = run({});
    EXPECT_EQ(r.exit_code, 255) << r.out << r.err;
    EXPECT_EQ(r.out, database_line(1) + table_line("acct", 2)
                         + "Error:\nacct: Index acct_region_id_key was not created: column region "
                           "is stored as a large object, which Oracle cannot index\n")
        << r.err;
    EXPECT_EQ(oracle("SELECT COUNT(*) FROM user_indexes;"), strings{"0"});
    EXPECT_EQ(oracle("SELECT \"id\", \"region\" FROM \"acct\" ORDER BY 1;"),
              (strings{"1\tnorth", "2\t~"}));
}

TEST_F(kestrun_destination, a_constraint_name_another_table_holds_is_numbered_apart)
{
    ora.sql("CREATE TABLE \"other\" (\"id\" NUMBER CONSTRAINT \"other_pk\" PRIMARY KEY, "
            "\"r\" NUMBER CONSTRAINT \"fk_app\" REFERENCES \"other\"(\"id\"), "
            "CONSTRAINT \"ck_app\" CHECK (\"id\" > 0));\n");
    pg.exec("CREATE TABLE t (id int CONSTRAINT other_pk PRIMARY KEY, a int CONSTRAINT fk_app "
            "UNIQUE, b int CONSTRAINT ck_app UNIQUE);"
            "INSERT INTO t VALUES (1, 1, 1), (2, 2, 2)");
    for (int run_number = 1; run_number <= 2; ++run_number) {
        const kestrun_result r = run({});
        EXPECT_EQ(r.exit_code, 0) << run_number << r.out << r.err;
        EXPECT_EQ(constraints("t"),
                  (strings{"ck_app00000\tU", "fk_app00000\tU", "other_pk00000\tP"}))
            << run_number;
        EXPECT_EQ(oracle("SELECT COUNT(*) FROM \"t\";"), strings{"2"}) << run_number;
    }
    EXPECT_EQ(constraints("other"), (strings{"ck_app\tC", "fk_app\tR", "other_pk\tP"}));
}

TEST_F(kestrun_destination, one_qualified_name_for_two_tables_names_both_and_counts_the_other)
{
    pg.exec("CREATE SCHEMA \"a.b\"; CREATE TABLE \"a.b\".c (id int);"
            "INSERT INTO \"a.b\".c VALUES (1), (2), (3);"
            "CREATE SCHEMA a; CREATE TABLE a.\"b.c\" (id int, x int);"
            "INSERT INTO a.\"b.c\" VALUES (7, 8), (9, 10)");
    const kestrun_result r = run_with_schema({});
    EXPECT_EQ(r.exit_code, 255) << r.out << r.err;
    EXPECT_EQ(r.out, database_line(2) + table_line("a.b.c", 2)
                         + "Error:\na.b.c: The tables a.\"b.c\" and \"a.b\".c have the same "
                           "qualified name: only a.\"b.c\" is converted\n"
                           "Error:\n\"a.b\".c: 3 of 3 records were not written\n")
        << r.err;
    const strings tables = oracle_tables();
    ASSERT_EQ(tables.size(), 1u);
    EXPECT_EQ(oracle("SELECT * FROM \"" + tables[0] + "\" ORDER BY 1;"),
              (strings{"7\t8", "9\t10"}));
}
