#include "pgs_fixture.hpp"

#include "tk_except.hpp"

#include <pqxx/pqxx>

#include <algorithm>

using pgs_db_test = pgs_fixture;

TEST_F(pgs_db_test, tables_are_listed_under_schema_qualified_names)
{
    db.exec("CREATE TABLE a (id int); CREATE SCHEMA sales; CREATE TABLE sales.b (id int)");
    std::unique_ptr<pgs_database> database = open();
    EXPECT_EQ(database->tables, (std::vector<std::wstring>{L"public.a", L"sales.b"}));
    EXPECT_TRUE(database->is_table_exist(L"a"));
    EXPECT_FALSE(database->is_table_exist(L"b"));
    EXPECT_TRUE(database->is_table_exist(L"sales.b"));
    EXPECT_EQ(database->get_full_name_pair(L"sales.b"),
              (std::pair<std::wstring, std::wstring>{L"sales", L"b"}));
    EXPECT_EQ(database->get_full_name_pair(L"nothing"),
              (std::pair<std::wstring, std::wstring>{}));
}

TEST_F(pgs_db_test, no_schema_lists_bare_names_and_first_schema_keeps_a_repeated_name)
{
    db.exec("CREATE TABLE a (id int); CREATE SCHEMA sales; CREATE TABLE sales.b (id int);"
            "CREATE SCHEMA x; CREATE TABLE x.a (id int)");
    engine.set_no_schema(true);
    std::unique_ptr<pgs_database> database = open();
    EXPECT_EQ(database->tables, (std::vector<std::wstring>{L"a", L"b", L"a"}));
    EXPECT_EQ(database->get_full_name(L"b"), L"b");
    EXPECT_TRUE(database->is_table_exist(L"b"));
    EXPECT_EQ(database->get_full_name_pair(L"a").first, L"public");
}

TEST_F(pgs_db_test, safe_name_quotes_schema_and_table)
{
    db.exec("CREATE TABLE a (id int)");
    std::unique_ptr<pgs_database> database = open();
    EXPECT_EQ(database->get_safe_name(L"sales.b"), L"\"sales\".\"b\"");
    EXPECT_EQ(database->get_safe_name(L"b"), L"\"public\".\"b\"");
    EXPECT_EQ(database->get_safe_name(L"s.x\"y"), L"\"s\".\"x\"\"y\"");
}

TEST_F(pgs_db_test, test_query_answers_without_leaving_a_transaction_open)
{
    db.exec("CREATE TABLE a (id int)");
    std::unique_ptr<pgs_database> database = open();
    EXPECT_FALSE(database->test_query(L"SELEC 1"));
    EXPECT_TRUE(database->test_query(L"SELECT * FROM a"));
    EXPECT_FALSE(database->test_query(L"SELECT * FROM missing"));
    // a failed test leaves the connection usable
    EXPECT_TRUE(engine.is_db_exist(tk_from_utf8(db.name())));
    EXPECT_EQ(database->query(L"DROP TABLE a"), 0);
    EXPECT_EQ(db.query_value("SELECT count(*) FROM pg_tables WHERE tablename = 'a'"), "1");
}

TEST_F(pgs_db_test, unlisted_table_is_an_internal_error)
{
    std::unique_ptr<pgs_database> database = open();
    try {
        database->get_table(L"missing", 1);
        FAIL();
    } catch (const tk_exception& e) {
        EXPECT_EQ(e.get_level(), 2);
    }
}

TEST_F(pgs_db_test, delete_tab_drops_a_table_with_quotes_and_points_in_its_name)
{
    db.exec("CREATE SCHEMA \"my.s\"; CREATE TABLE \"my.s\".\"it's \"\"x\"\"\" (id int);"
            "CREATE TABLE keep (id int)");
    std::unique_ptr<pgs_database> database = open();
    const std::wstring name = L"my.s.it's \"x\"";
    ASSERT_TRUE(database->is_table_exist(name));
    EXPECT_TRUE(database->delete_tab(name));
    EXPECT_EQ(database->tables, std::vector<std::wstring>{L"public.keep"});
    EXPECT_EQ(db.query_value("SELECT count(*) FROM pg_tables WHERE schemaname = 'my.s'"), "0");
}

TEST_F(pgs_db_test, each_row_is_read_once_through_inheritance_and_partitions)
{
    db.exec("CREATE TABLE parent (id int); CREATE TABLE child (extra text) INHERITS (parent);"
            "INSERT INTO parent VALUES (1); INSERT INTO child VALUES (2, 'x');"
            "CREATE TABLE sales (id int, region text) PARTITION BY LIST (region);"
            "CREATE TABLE sales_east PARTITION OF sales FOR VALUES IN ('east');"
            "CREATE TABLE sales_rest PARTITION OF sales DEFAULT PARTITION BY RANGE (id);"
            "CREATE TABLE sales_low PARTITION OF sales_rest FOR VALUES FROM (0) TO (100);"
            "INSERT INTO sales VALUES (1, 'east'), (2, 'west'), (3, 'east')");
    // temporary tables, also another session's, are no source tables
    pqxx::connection other(db.conn_string());
    pqxx::nontransaction(other).exec("CREATE TEMP TABLE scratch (id int)");
    std::unique_ptr<pgs_database> database = open();
    EXPECT_EQ(database->tables,
              (std::vector<std::wstring>{L"public.child", L"public.parent", L"public.sales"}));
    // a partition named on its own is still read, alone
    EXPECT_TRUE(database->is_table_exist(L"public.sales_east"));
    EXPECT_TRUE(database->is_table_exist(L"sales_low"));
    EXPECT_FALSE(database->is_table_exist(L"scratch"));
    const struct {
        const wchar_t* table;
        std::vector<std::wstring> rows;
    } cases[] = {
        {L"parent", {L"1"}},
        {L"child", {L"2|x"}},
        {L"sales", {L"1|east", L"2|west", L"3|east"}},
        {L"sales_east", {L"1|east", L"3|east"}},
        {L"sales_rest", {L"2|west"}},
    };
    for (const auto& c : cases) {
        std::unique_ptr<pgs_recordset> rs = table(*database, c.table);
        EXPECT_EQ(rs->rec_count, static_cast<int>(c.rows.size())) << tk_to_utf8(c.table);
        std::vector<std::wstring> rows = read_all(*rs);
        std::sort(rows.begin(), rows.end());
        EXPECT_EQ(rows, c.rows) << tk_to_utf8(c.table);
    }
}
