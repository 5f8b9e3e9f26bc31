#include "pgs_fixture.hpp"

using pgs_idx_test = pgs_fixture;

namespace {

// name, unique, primary and fields of each index, one text each
std::vector<std::wstring> describe(const udb_indexes& indexes)
{
    std::vector<std::wstring> lines;
    for (const udb_index& index : indexes) {
        std::wstring line = index.name + (index.unique ? L" unique" : L"") +
                            (index.primary ? L" primary" : L"") + L" (";
        for (size_t i = 0; i < index.fields.size(); ++i)
            line += (i ? L", " : L"") + index.fields[i];
        lines.push_back(line + L")");
    }
    return lines;
}

} // namespace

TEST_F(pgs_idx_test, primary_key_alone_gives_one_entry)
{
    db.exec("CREATE TABLE t (id int PRIMARY KEY, v text)");
    std::unique_ptr<pgs_database> database = open();
    EXPECT_EQ(describe(table(*database, L"t")->indexes),
              std::vector<std::wstring>{L"t_pkey unique primary (id)"});
}

TEST_F(pgs_idx_test, table_without_keys_or_indexes_has_none_and_mode_two_reads_none)
{
    db.exec("CREATE TABLE plain (id int); CREATE TABLE k (id int PRIMARY KEY)");
    std::unique_ptr<pgs_database> database = open();
    EXPECT_TRUE(table(*database, L"plain")->indexes.empty());
    EXPECT_TRUE(table(*database, L"k", 2)->indexes.empty());
}

TEST_F(pgs_idx_test, key_columns_keep_key_order_and_unique_indexes_are_read_as_unique)
{
    db.exec("CREATE TABLE t (x int, y int, c int NOT NULL, d int NOT NULL, PRIMARY KEY (y, x));"
            "CREATE UNIQUE INDEX u ON t (c); CREATE INDEX p ON t (c);"
            "ALTER TABLE t ADD CONSTRAINT cd UNIQUE (d, c)");
    std::unique_ptr<pgs_database> database = open();
    std::unique_ptr<pgs_recordset> rs = table(*database, L"t");
    EXPECT_EQ(describe(rs->indexes),
              (std::vector<std::wstring>{L"t_pkey unique primary (y, x)", L"u unique (c)",
                                         L"p (c)", L"cd unique (d, c)"}));
}

TEST_F(pgs_idx_test, unique_over_nullable_columns_is_unique_only_for_one_column)
{
    db.exec("CREATE TABLE t (a int, b int, c int NOT NULL);"
            "CREATE UNIQUE INDEX one_nullable ON t (a);"
            "CREATE UNIQUE INDEX partly_nullable ON t (c, b)");
    std::unique_ptr<pgs_database> database = open();
    EXPECT_EQ(describe(table(*database, L"t")->indexes),
              (std::vector<std::wstring>{L"one_nullable unique (a)", L"partly_nullable (c, b)"}));
}

TEST_F(pgs_idx_test, unfinished_unique_index_is_read_as_plain)
{
    // what a failed CREATE UNIQUE INDEX CONCURRENTLY leaves behind over repeated rows
    db.exec("CREATE TABLE t (a int NOT NULL); INSERT INTO t VALUES (1), (1);"
            "CREATE INDEX u ON t (a);"
            "UPDATE pg_index SET indisunique = true, indisvalid = false"
            " WHERE indexrelid = 'u'::regclass");
    std::unique_ptr<pgs_database> database = open();
    EXPECT_EQ(describe(table(*database, L"t")->indexes), std::vector<std::wstring>{L"u (a)"});
}

TEST_F(pgs_idx_test, partial_and_expression_indexes_are_skipped_and_include_columns_ignored)
{
    db.exec("CREATE TABLE t (a int NOT NULL, b text, c int);"
            "CREATE UNIQUE INDEX part ON t (a) WHERE c > 0;"
            "CREATE INDEX expr ON t (lower(b));"
            "CREATE INDEX mixed ON t (a, lower(b));"
            "CREATE UNIQUE INDEX cov ON t (a) INCLUDE (b, c)");
    std::unique_ptr<pgs_database> database = open();
    EXPECT_EQ(describe(table(*database, L"t")->indexes),
              std::vector<std::wstring>{L"cov unique (a)"});
}

TEST_F(pgs_idx_test, capitalised_table_outside_search_path_keeps_its_key_and_no_other_indexes)
{
    db.exec("CREATE SCHEMA sales; CREATE TABLE sales.\"Orders\" (\"Id\" int PRIMARY KEY, n int);"
            "CREATE INDEX orders_n ON sales.\"Orders\" (n);"
            "CREATE TABLE public.\"Orders\" (\"Id\" int PRIMARY KEY, n int);"
            "CREATE INDEX other_n ON public.\"Orders\" (n)");
    std::unique_ptr<pgs_database> database = open();
    EXPECT_EQ(describe(table(*database, L"sales.Orders")->indexes),
              (std::vector<std::wstring>{L"Orders_pkey unique primary (Id)", L"orders_n (n)"}));
}

TEST_F(pgs_idx_test, index_after_a_dropped_column_names_the_right_field)
{
    db.exec("CREATE TABLE d (a int, b int, c int, e int); ALTER TABLE d DROP COLUMN b;"
            "CREATE INDEX d_c ON d (c); CREATE INDEX d_ea ON d (e, a)");
    std::unique_ptr<pgs_database> database = open();
    std::unique_ptr<pgs_recordset> rs = table(*database, L"d");
    EXPECT_EQ(describe(rs->indexes),
              (std::vector<std::wstring>{L"d_c (c)", L"d_ea (e, a)"}));
    // key numbers are column numbers; 0 (an expression) and unknown numbers name no field
    std::vector<std::wstring> fields;
    EXPECT_TRUE(rs->parse_indkey("4 1", 2, fields));
    EXPECT_EQ(fields, (std::vector<std::wstring>{L"e", L"a"}));
    fields.clear();
    EXPECT_TRUE(rs->parse_indkey("3 1", 1, fields));
    EXPECT_EQ(fields, std::vector<std::wstring>{L"c"});
    for (const char* key : {"1 0", "2", "9"}) {
        fields.clear();
        EXPECT_FALSE(rs->parse_indkey(key, 2, fields)) << key;
    }
}

TEST_F(pgs_idx_test, quoted_table_name_reads_its_key)
{
    db.exec("CREATE TABLE \"it's \"\"x\"\"\" (id int PRIMARY KEY)");
    std::unique_ptr<pgs_database> database = open();
    EXPECT_EQ(describe(table(*database, L"it's \"x\"")->indexes),
              std::vector<std::wstring>{L"it's \"x\"_pkey unique primary (id)"});
}
