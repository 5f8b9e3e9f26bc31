#include "ora_except.hpp"
#include "ora_qres.hpp"
#include "ora_schema_fixture.hpp"
#include "ora_vali.hpp"
#include "udb_rel.hpp"

#include <gtest/gtest.h>

namespace {

using ora_db_test = ora_schema_test;

// the first column of every row
std::vector<std::wstring> column(const std::wstring& sql)
{
    std::vector<std::wstring> out;
    ora_query_results q(ora_engine::instance().session(), 1, sql);
    while (udb_record* rec = q.next_record())
        out.push_back(ora_query_results::field_text(*rec, 0));
    return out;
}

std::wstring first(const std::wstring& sql)
{
    const std::vector<std::wstring> v = column(sql);
    return v.empty() ? std::wstring() : v[0];
}

} // namespace

TEST_F(ora_db_test, tables_and_views_of_the_user_are_read_at_construction)
{
    exec(L"CREATE TABLE EMP (ID NUMBER)");
    exec(L"CREATE TABLE \"Emp\" (ID NUMBER)");
    exec(L"CREATE VIEW EMP_V AS SELECT ID FROM EMP");
    logon();
    ASSERT_EQ(db->tables.size(), 2u);
    EXPECT_TRUE(db->is_table_exist(L"EMP"));
    EXPECT_TRUE(db->is_table_exist(L"Emp"));
    EXPECT_FALSE(db->is_table_exist(L"emp"));
    EXPECT_FALSE(db->is_table_exist(L"EMP_V"));
    ASSERT_EQ(db->views.count(L"EMP_V"), 1u);
    EXPECT_NE(db->views[L"EMP_V"].find(L"SELECT"), std::wstring::npos);
    EXPECT_EQ(db->mode, 1);
    EXPECT_TRUE(db->case_sensitive);
}

TEST_F(ora_db_test, delete_tab_drops_the_table_of_exactly_that_name)
{
    exec(L"CREATE TABLE \"t\" (ID NUMBER)");
    exec(L"CREATE TABLE T (ID NUMBER)");
    logon();
    EXPECT_TRUE(db->delete_tab(L"t"));
    ASSERT_EQ(db->tables.size(), 1u);
    EXPECT_EQ(db->tables[0], L"T");
    EXPECT_EQ(column(L"SELECT TABLE_NAME FROM USER_TABLES"), std::vector<std::wstring>{L"T"});
    EXPECT_THROW(db->delete_tab(L"t"), tk_mail_assertion);
    EXPECT_THROW(db->get_table(L"t", 1), tk_mail_assertion);
}

TEST_F(ora_db_test, test_query_parses_without_effect_and_raises_for_a_bad_statement)
{
    EXPECT_TRUE(db->test_query(L"CREATE TABLE X (ID NUMBER)"));
    EXPECT_TRUE(column(L"SELECT TABLE_NAME FROM USER_TABLES").empty());
    try {
        db->test_query(L"SELEC 1 FROM DUAL");
        FAIL();
    } catch (const ora_exception& e) {
        EXPECT_EQ(e.get_level(), 0);
    }
    EXPECT_EQ(db->query(L"CREATE TABLE X (ID NUMBER)"), 0);
    EXPECT_EQ(column(L"SELECT TABLE_NAME FROM USER_TABLES"), std::vector<std::wstring>{L"X"});
}

TEST_F(ora_db_test, create_table_of_an_existing_name_creates_nothing)
{
    exec(L"CREATE TABLE EMP (ID NUMBER(5,0))");
    logon();
    udb_schema fields;
    fields.add_field(std::make_unique<t_ftd>(10, L"OTHER", VT_BSTR, false, false, ole_variant(), 0));
    auto t = db->create_table(L"EMP", fields, udb_indexes());
    ASSERT_EQ(t->schema.fields.size(), 1u);
    EXPECT_EQ(t->schema.fields[0]->name, L"ID");
    EXPECT_EQ(db->tables.size(), 1u);
}

TEST_F(ora_db_test, create_table_lists_the_new_table_and_its_renamed_columns)
{
    ora_in_validator index_names(ora_engine::instance().session());
    udb_schema fields;
    fields.add_field(std::make_unique<t_ftd>(0, L"id", VT_I4, true, false, ole_variant(), 0));
    fields.add_field(std::make_unique<t_ftd>(0, L"ID", VT_I4, false, false, ole_variant(), 0));
    udb_indexes indexes;
    indexes.push_back(udb_index(L"pk_new", true, true, {L"id"}));
    auto t = db->create_table(L"NEW", fields, indexes);
    EXPECT_TRUE(db->is_table_exist(L"NEW"));
    EXPECT_EQ(db->names_map.get_fn_mapped_name(L"NEW", L"ID", true), L"ID00000");
    EXPECT_EQ(t->schema.fields.size(), 2u);
    EXPECT_EQ(t->indexes.size(), 1u);
}

TEST_F(ora_db_test, foreign_keys_are_added_with_their_delete_rule_and_a_unique_key)
{
    ora_in_validator index_names(ora_engine::instance().session());
    exec(L"CREATE TABLE P (A NUMBER(5,0), B NUMBER(5,0), CONSTRAINT P_PK PRIMARY KEY (A))");
    exec(L"CREATE TABLE C (X NUMBER(5,0), Y NUMBER(5,0))");
    exec(L"INSERT INTO P VALUES (1, 10)");
    exec(L"INSERT INTO C VALUES (1, 10)");
    logon();

    udb_relationships rels;
    rels.push_back(udb_relationship(L"FK_CASCADE", L"P_PK", L"C", L"P", {L"X"}, {L"A"},
                                    L"on delete cascade "));
    rels.push_back(udb_relationship(L"FK_PLAIN", L"", L"C", L"P", {L"Y"}, {L"B"},
                                    L"ON DELETE NO ACTION"));
    rels.push_back(udb_relationship(L"FK_NOWHERE", L"", L"C", L"NOSUCH", {L"Y"}, {L"B"}, L""));
    db->create_relationships(rels);

    EXPECT_EQ(first(L"SELECT DELETE_RULE FROM USER_CONSTRAINTS WHERE CONSTRAINT_TYPE='R' "
                    L"AND TABLE_NAME='C' AND R_CONSTRAINT_NAME='P_PK'"),
              L"CASCADE");
    // B had no unique key: one named after the table was added for the reference
    EXPECT_EQ(first(L"SELECT CONSTRAINT_TYPE FROM USER_CONSTRAINTS WHERE CONSTRAINT_NAME='P_UI'"),
              L"U");
    EXPECT_EQ(engine.get_records_cnt(L"SELECT 1 FROM USER_CONSTRAINTS WHERE CONSTRAINT_TYPE='R'",
                                     true),
              2);
    EXPECT_EQ(first(L"SELECT DELETE_RULE FROM USER_CONSTRAINTS a, USER_CONS_COLUMNS b WHERE "
                    L"a.CONSTRAINT_NAME=b.CONSTRAINT_NAME AND a.CONSTRAINT_TYPE='R' AND "
                    L"b.COLUMN_NAME='Y'"),
              L"NO ACTION");
}

TEST_F(ora_db_test, a_foreign_key_the_server_refuses_reaches_the_handler_and_the_next_follows)
{
    ora_in_validator index_names(ora_engine::instance().session());
    exec(L"CREATE TABLE P (A NUMBER(5,0) PRIMARY KEY)");
    exec(L"CREATE TABLE C (X NUMBER(5,0), Y NUMBER(5,0))");
    exec(L"INSERT INTO P VALUES (1)");
    exec(L"INSERT INTO C VALUES (2, 1)");
    logon();

    udb_relationships rels;
    rels.push_back(udb_relationship(L"FK_BAD", L"", L"C", L"P", {L"X"}, {L"A"}, L""));
    rels.push_back(udb_relationship(L"FK_GOOD", L"", L"C", L"P", {L"Y"}, {L"A"}, L""));
    EXPECT_THROW(db->create_relationships(rels), ora_exception);

    std::vector<std::string> reported;
    db->on_fk_error = [&](const std::string& context, const tk_exception& e) {
        reported.push_back(context + "|" + std::to_string(e.get_code()));
    };
    db->create_relationships(rels);
    ASSERT_EQ(reported.size(), 1u);
    EXPECT_EQ(reported[0], "Foreign key 'FK_BAD'|" + std::to_string(ora_error_code(2298)));
    EXPECT_EQ(engine.get_records_cnt(L"SELECT 1 FROM USER_CONSTRAINTS WHERE CONSTRAINT_TYPE='R'",
                                     true),
              1);
}

TEST_F(ora_db_test, keys_of_the_databases_own_list_are_added_while_tables_add_theirs)
{
    ora_in_validator index_names(ora_engine::instance().session());
    exec(L"CREATE TABLE P (A NUMBER(5,0) PRIMARY KEY)");
    exec(L"CREATE TABLE C (X NUMBER(5,0), Y NUMBER(5,0))");
    exec(L"ALTER TABLE C ADD CONSTRAINT C_OLD FOREIGN KEY (Y) REFERENCES P (A)");
    logon();
    db->relationships.push_back(udb_relationship(L"C_NEW", L"", L"C", L"P", {L"X"}, {L"A"}, L""));
    db->relationships.shrink_to_fit();
    // opening P while the list is walked lists C_OLD too
    db->create_relationships(db->relationships);
    EXPECT_EQ(engine.get_records_cnt(L"SELECT 1 FROM USER_CONSTRAINTS WHERE CONSTRAINT_TYPE='R'",
                                     true),
              2);
    EXPECT_EQ(db->relationships.size(), 2u);
}

TEST_F(ora_db_test, index_name_validator_restricts_the_schemas_keys_and_indexes)
{
    exec(L"CREATE TABLE T (A NUMBER(5,0), B NUMBER(5,0), CONSTRAINT T_KEY PRIMARY KEY (A, B))");
    exec(L"CREATE INDEX T_B ON T (B)");
    ora_in_validator names(ora_engine::instance().session());
    ora_validator& v = names.validator();
    EXPECT_FALSE(v.is_acceptable(L"primary"));
    EXPECT_FALSE(v.is_acceptable(L"t_key"));
    EXPECT_FALSE(v.is_acceptable(L"T_B"));
    EXPECT_TRUE(v.is_acceptable(L"T_C"));
    // only the index-name validator holds them: a table may take such a name
    ora_tn_validator tables({}, db->tables);
    EXPECT_TRUE(tables.is_acceptable(L"T_KEY"));

    udb_indexes source;
    source.push_back(udb_index(L"SRC_IDX", false, false, {L"A"}));
    names.load(source);
    EXPECT_TRUE(v.is_duplicated(L"src_idx"));

    EXPECT_EQ(db->get_fk_index_name(L"T"), L"T_UI");
    EXPECT_EQ(db->get_fk_index_name(L"T"), L"T_UI00000");
    EXPECT_EQ(db->get_fk_index_name(L"1T"), L"A1T_UI");
}
