#include "ora_except.hpp"
#include "ora_schema_fixture.hpp"
#include "udb_rel.hpp"

#include <gtest/gtest.h>

#include <limits>

namespace {

using ora_describe = ora_schema_test;

std::vector<std::wstring> names(const std::vector<std::wstring>& v) { return v; }

} // namespace

TEST_F(ora_describe, columns_get_their_catalogue_defaults_comments_and_national_sizes)
{
    exec(L"CREATE TABLE D (T NVARCHAR2(100) DEFAULT 'it''s', WHEN DATE DEFAULT SYSDATE, "
         L"U VARCHAR2(10) DEFAULT NULL, N NUMBER(5,0) DEFAULT  5 , M NUMBER DEFAULT NULL, "
         L"K NCHAR(4), S NUMBER(6,2) DEFAULT '7.5')");
    exec(L"COMMENT ON COLUMN D.T IS 'the text'");
    exec(L"INSERT INTO D (K) VALUES ('ab')");
    logon();

    auto t = db->get_table(L"D", 1);
    const udb_schema& s = t->schema;
    ASSERT_EQ(s.fields.size(), 7u);
    EXPECT_EQ(t->rec_count, 1);

    const t_ftd& text = s.get_field(L"T");
    EXPECT_EQ(text.size, 100);
    EXPECT_EQ(text.default_value.get_vt(), VT_BSTR);
    EXPECT_EQ(text.default_value.to_wstring(), L"it's");
    EXPECT_EQ(text.comment, L"the text");
    EXPECT_EQ(s.get_field(L"K").size, 4);

    EXPECT_EQ(s.get_field(L"WHEN").default_value.get_vt(), VT_EMPTY);
    EXPECT_EQ(s.get_field(L"U").default_value.get_vt(), VT_EMPTY);
    const t_ftd& n = s.get_field(L"N");
    EXPECT_EQ(n.vartype, VT_I4);
    EXPECT_EQ(n.default_value.to_wstring(), L"5");
    // NULL is no number: no default rather than 0
    EXPECT_EQ(s.get_field(L"M").default_value.get_vt(), VT_EMPTY);
    EXPECT_EQ(s.get_field(L"S").default_value.to_wstring(), L"7.5");
}

TEST_F(ora_describe, binary_number_columns_are_numbers_as_nullable_as_declared)
{
    exec(L"CREATE TABLE F (A BINARY_FLOAT NOT NULL, B BINARY_DOUBLE, C BINARY_DOUBLE NOT NULL "
         L"DEFAULT 2.5)");
    exec(L"INSERT INTO F VALUES (0.1d, -4.9406564584124654e-324d, 1e-300d)");
    exec(L"INSERT INTO F (A, C) VALUES (3, 4)");
    logon();

    auto t = db->get_table(L"F", 1);
    const udb_schema& s = t->schema;
    ASSERT_EQ(s.fields.size(), 3u);
    EXPECT_EQ(s.get_field(L"A").vartype, VT_R4);
    EXPECT_TRUE(s.get_field(L"A").b_not_null);
    EXPECT_EQ(s.get_field(L"B").vartype, VT_R8);
    EXPECT_FALSE(s.get_field(L"B").b_not_null);
    EXPECT_TRUE(s.get_field(L"C").b_not_null);
    EXPECT_EQ(s.get_field(L"C").default_value.to_double(), 2.5);

    // the values themselves, not a decimal text of them
    ASSERT_FALSE(t->is_eof());
    udb_record* r = t->get_item();
    ASSERT_EQ(r->fields[0]->get_vt(), VT_R4);
    EXPECT_EQ(r->fields[0]->get_variant().fltVal, 0.1f);
    EXPECT_EQ(r->fields[1]->to_double(), -std::numeric_limits<double>::denorm_min());
    EXPECT_EQ(r->fields[2]->to_double(), 1e-300);
    t->next();
    ASSERT_FALSE(t->is_eof());
    r = t->get_item();
    EXPECT_EQ(r->fields[1]->get_type(), VT_EMPTY);
}

TEST_F(ora_describe, keys_and_indexes_in_catalogue_order_without_a_second_primary_key)
{
    exec(L"CREATE TABLE P (A NUMBER(5,0), B NUMBER(5,0), C VARCHAR2(10), "
         L"CONSTRAINT P_PK PRIMARY KEY (A, B))");
    exec(L"CREATE UNIQUE INDEX P_UQ ON P (B, A)");
    exec(L"CREATE INDEX P_C ON P (C, A)");
    logon();

    auto t = db->get_table(L"P", 1);
    const udb_indexes& idx = t->indexes;
    ASSERT_EQ(idx.size(), 3u);
    EXPECT_EQ(idx[0].name, L"P_PK");
    EXPECT_TRUE(idx[0].primary);
    EXPECT_TRUE(idx[0].unique);
    EXPECT_EQ(idx[0].fields, names({L"A", L"B"}));
    EXPECT_EQ(idx[1].name, L"P_C");
    EXPECT_FALSE(idx[1].unique);
    EXPECT_EQ(idx[1].fields, names({L"C", L"A"}));
    EXPECT_EQ(idx[2].name, L"P_UQ");
    EXPECT_TRUE(idx[2].unique);
    EXPECT_FALSE(idx[2].primary);
    EXPECT_EQ(idx[2].fields, names({L"B", L"A"}));
    EXPECT_EQ(t->key_index, 0);
}

TEST_F(ora_describe, a_table_without_primary_key_takes_its_first_unique_index_as_key)
{
    exec(L"CREATE TABLE Q (A NUMBER, B NUMBER)");
    exec(L"CREATE INDEX Q_A ON Q (A)");
    exec(L"CREATE UNIQUE INDEX Q_B ON Q (B)");
    logon();
    auto t = db->get_table(L"Q", 1);
    ASSERT_EQ(t->indexes.size(), 2u);
    EXPECT_FALSE(t->indexes[0].primary);
    EXPECT_FALSE(t->indexes[1].primary);
    EXPECT_EQ(t->key_index, 1);
    EXPECT_TRUE(db->relationships.empty());
}

TEST_F(ora_describe, foreign_keys_that_refer_to_the_table_become_relationships)
{
    exec(L"CREATE TABLE P (A NUMBER(5,0), B NUMBER(5,0), CONSTRAINT P_PK PRIMARY KEY (A, B))");
    exec(L"CREATE TABLE C1 (ID NUMBER, PB NUMBER(5,0), PA NUMBER(5,0), "
         L"CONSTRAINT C1_FK FOREIGN KEY (PA, PB) REFERENCES P (A, B) ON DELETE CASCADE)");
    exec(L"CREATE TABLE C2 (X NUMBER(5,0), Y NUMBER(5,0))");
    exec(L"ALTER TABLE C2 ADD CONSTRAINT C2_FK1 FOREIGN KEY (X, Y) REFERENCES P (A, B)");
    exec(L"ALTER TABLE C2 ADD CONSTRAINT C2_FK2 FOREIGN KEY (Y, X) REFERENCES P (A, B)");
    logon();

    auto t = db->get_table(L"P", 1);
    const udb_relationships& rels = db->relationships;
    ASSERT_EQ(rels.size(), 3u);
    const udb_relationship& c1 = rels.get_index(L"C1_FK");
    EXPECT_EQ(c1.key_name, L"P_PK");
    EXPECT_EQ(c1.table, L"C1");
    EXPECT_EQ(c1.referenced_table, L"P");
    EXPECT_EQ(c1.delete_rule, L"ON DELETE CASCADE");
    EXPECT_EQ(c1.fields, names({L"PA", L"PB"}));
    EXPECT_EQ(c1.referenced_fields, names({L"A", L"B"}));
    EXPECT_EQ(rels.get_index(L"C2_FK1").fields, names({L"X", L"Y"}));
    EXPECT_EQ(rels.get_index(L"C2_FK2").fields, names({L"Y", L"X"}));

    // opening the table again lists each key once
    auto again = db->get_table(L"P", 1);
    EXPECT_EQ(db->relationships.size(), 3u);
}

TEST_F(ora_describe, a_query_is_described_and_counted_without_indexes)
{
    exec(L"CREATE TABLE Q (A NUMBER(5,0) PRIMARY KEY, B NVARCHAR2(10))");
    for (int i = 1; i <= 4; ++i)
        exec(L"INSERT INTO Q VALUES (" + std::to_wstring(i) + L", 'x')");
    auto q = db->get_query(L"QN", L"SELECT B, A FROM Q WHERE A > 1", 1);
    EXPECT_TRUE(q->is_query());
    EXPECT_EQ(q->name, L"QN");
    ASSERT_EQ(q->schema.fields.size(), 2u);
    EXPECT_EQ(q->schema.fields[0]->name, L"B");
    EXPECT_TRUE(q->indexes.empty());
    EXPECT_EQ(q->rec_count, 3);
}

TEST_F(ora_describe, names_with_quotes_are_pasted_safely_into_catalogue_sql)
{
    exec(L"CREATE TABLE \"O'NEIL\" (\"it's\" NUMBER(5,0) PRIMARY KEY, B VARCHAR2(5) DEFAULT 'a')");
    exec(L"INSERT INTO \"O'NEIL\" VALUES (1, 'b')");
    logon();
    ASSERT_EQ(db->tables.size(), 1u);
    auto t = db->get_table(L"O'NEIL", 1);
    ASSERT_EQ(t->schema.fields.size(), 2u);
    EXPECT_EQ(t->schema.get_field(L"B").default_value.to_wstring(), L"a");
    ASSERT_EQ(t->indexes.size(), 1u);
    EXPECT_EQ(t->indexes[0].fields, names({L"it's"}));
    EXPECT_EQ(t->rec_count, 1);
}
