#include "ora_writer_fixture.hpp"

#include "ora_except.hpp"
#include "ora_wplan.hpp"
#include "tk_except.hpp"
#include "tk_utils.hpp"

#include <algorithm>
#include <cmath>
#include <limits>

namespace
{

const char* const structure_error =
    "The structure of data source does not conform to the destination table.";

ole_variant decimal_of(const std::wstring& text)
{
    return ole_variant::from_wstring(text, VT_DECIMAL);
}

ole_variant date_of(const std::wstring& text)
{
    return ole_variant::from_wstring(text, VT_DATE);
}

} // namespace

using ora_table_test = ora_writer_test;

TEST_F(ora_table_test, append_writes_every_kind_of_literal)
{
    udb_indexes keys;
    keys.push_back(index_of(L"PK_LIT", true, true, {L"ID"}));
    auto t = create(L"LIT", {col(L"ID", VT_I4, 0, true), col(L"NAME", VT_BSTR, 50),
                             col(L"D", VT_DATE, 0, false, null(), 2),
                             col(L"TS", VT_DATE, 0, false, null(), 1),
                             col(L"AMT", VT_DECIMAL, 0, false, null(), (10 << 8) | 2),
                             col(L"R", VT_R8), col(L"BIN", VT_BLOB, 4)},
                    keys);
    t->append_record(*rec({{L"ID", num(1)}, {L"NAME", text(L"O'Brien")},
                           {L"D", date_of(L"2024-02-29")},
                           {L"TS", date_of(L"2013-03-11 14:05:09")},
                           {L"AMT", decimal_of(L"1234.56")}, {L"R", dbl(12.5)},
                           {L"BIN", bytes({0x0A, 0x1B, 0xFF, 0x00})}}));
    EXPECT_EQ(t->rec_count, 1);

    ora_rows r = rows(L"SELECT ID, NAME, D, TS, AMT, R, BIN FROM \"LIT\"");
    ASSERT_EQ(r.size(), 1u);
    EXPECT_EQ(r[0][0], L"1");
    EXPECT_EQ(r[0][1], L"O'Brien");
    EXPECT_EQ(r[0][2], L"2024-02-29");
    EXPECT_EQ(r[0][3], L"2013-03-11 14:05:09");
    EXPECT_EQ(r[0][4], L"1234.56");
    EXPECT_EQ(std::stod(r[0][5]), 12.5);
    EXPECT_EQ(r[0][6], L"0x0A1BFF00");
}

TEST_F(ora_table_test, record_with_fewer_fields_inserts_only_the_named_columns)
{
    // the user's own table: its columns record no source fields
    exec(L"CREATE TABLE FEW (A NUMBER(10), B NVARCHAR2(10), C NVARCHAR2(10) DEFAULT 'dflt', "
         L"N NVARCHAR2(5) DEFAULT 'z' NOT NULL)");
    auto t = open(L"FEW");
    // the field name is matched to the column ignoring case
    t->append_record(*rec({{L"b", text(L"x")}}));
    ora_rows r = rows(L"SELECT A, B, C, N FROM \"FEW\"");
    ASSERT_EQ(r.size(), 1u);
    EXPECT_EQ(r[0], (std::vector<std::wstring>{L"", L"x", L"dflt", L"z"}));

    // a record none of whose fields is a column is refused before anything changes
    try {
        t->append_record(*rec({{L"Y", text(L"")}, {L"Z", text(L"?")}}));
        FAIL() << "a record without any column was accepted";
    } catch (const tk_exception& e) {
        EXPECT_STREQ(e.what(), structure_error);
        EXPECT_EQ(e.get_level(), 0);
    }
    EXPECT_EQ(count(L"SELECT COUNT(*) FROM \"FEW\""), 1);
    EXPECT_EQ(value(L"SELECT NULLABLE FROM USER_TAB_COLUMNS WHERE TABLE_NAME='FEW' AND "
                    L"COLUMN_NAME='N'"),
              L"N");
    EXPECT_TRUE(t->get_losses().empty());

    // a field that is no column is left out and named; the others are written
    t->append_record(*rec({{L"Z", text(L"?")}, {L"A", num(3)}}));
    EXPECT_EQ(rows(L"SELECT A, B, C, N FROM \"FEW\" WHERE A = 3"),
              (ora_rows{{L"3", L"", L"dflt", L"z"}}));
    EXPECT_EQ(t->get_losses(),
              std::vector<std::string>{
                  "Column Z has no column in the Oracle table: its values were not written"});
}

TEST_F(ora_table_test, record_with_more_fields_inserts_the_table_columns_in_table_order)
{
    auto t = create(L"MORE", {col(L"A", VT_I4), col(L"B", VT_BSTR, 10)});
    t->append_record(*rec({{L"X", text(L"extra")}, {L"B", text(L"b")}, {L"A", num(7)}}));
    EXPECT_EQ(rows(L"SELECT A, B FROM \"MORE\""), (ora_rows{{L"7", L"b"}}));

    // a column without a field takes its default (NULL), the fields without a column are
    // named
    t->append_record(*rec({{L"X", num(1)}, {L"Y", num(2)}, {L"B", text(L"c")}}));
    EXPECT_EQ(rows(L"SELECT A, B FROM \"MORE\" ORDER BY B"),
              (ora_rows{{L"7", L"b"}, {L"", L"c"}}));
    EXPECT_EQ(t->get_losses(),
              (std::vector<std::string>{
                  "Column X has no column in the Oracle table: its values were not written",
                  "Column Y has no column in the Oracle table: its values were not written"}));
}

TEST_F(ora_table_test, empty_value_of_a_not_null_column_drops_the_constraint_once)
{
    udb_indexes keys;
    keys.push_back(index_of(L"PK_NN", true, true, {L"ID"}));
    auto t = create(L"NN", {col(L"ID", VT_I4, 0, true), col(L"NAME", VT_BSTR, 10, true, text(L"n"))},
                    keys);
    ASSERT_EQ(value(L"SELECT NULLABLE FROM USER_TAB_COLUMNS WHERE TABLE_NAME='NN' AND "
                    L"COLUMN_NAME='NAME'"),
              L"N");
    const t_ftd& name = *t->schema.fields[1];
    ASSERT_TRUE(name.b_not_null);

    t->append_record(*rec({{L"ID", num(1)}, {L"NAME", text(L"")}}));
    EXPECT_FALSE(name.b_not_null);
    ora_rows after = rows(L"SELECT NULLABLE, DATA_TYPE, DATA_DEFAULT FROM USER_TAB_COLUMNS "
                          L"WHERE TABLE_NAME='NN' AND COLUMN_NAME='NAME'");
    ASSERT_EQ(after.size(), 1u);
    after[0][2] = tk_trim(after[0][2]);
    EXPECT_EQ(after[0], (std::vector<std::wstring>{L"Y", L"NVARCHAR2", L"'n'"}));
    t->append_record(*rec({{L"ID", num(2)}, {L"NAME", null()}}));
    EXPECT_EQ(count(L"SELECT COUNT(*) FROM \"NN\" WHERE NAME IS NULL"), 2);
    EXPECT_EQ(t->get_dropped_not_null(), std::vector<std::wstring>{L"NAME"});
}

TEST_F(ora_table_test, a_table_the_run_did_not_create_keeps_its_not_null_and_refuses_the_row)
{
    exec(L"CREATE TABLE KEEP (ID NUMBER(5,0), V VARCHAR2(3000) DEFAULT 'v' NOT NULL, "
         L"N NUMBER(5,0) NOT NULL)");
    // as if it had been there when the database object was opened
    m_db->tables.push_back(L"KEEP");
    const std::wstring columns_sql = L"SELECT COLUMN_NAME, DATA_TYPE, NULLABLE, DATA_LENGTH, "
                                     L"DATA_DEFAULT FROM USER_TAB_COLUMNS WHERE TABLE_NAME='KEEP' "
                                     L"ORDER BY COLUMN_ID";
    const ora_rows before = rows(columns_sql);
    // opened as create_table opens an existing table, and as a table of its own
    for (const bool through_create : {true, false}) {
        auto t = through_create ? create(L"KEEP", {col(L"ID", VT_I4), col(L"V", VT_BSTR, 10)})
                                : open(L"KEEP");
        const std::vector<std::pair<ole_variant, ole_variant>> records{
            {null(), num(1)}, {text(L""), num(1)}, {text(L"x"), null()}};
        for (const auto& [v, n] : records) {
            try {
                t->append_record(*rec({{L"ID", num(1)}, {L"V", v}, {L"N", n}}));
                FAIL() << "NULL in a NOT NULL column of the user's table was accepted";
            } catch (const ora_exception& e) {
                EXPECT_EQ(e.get_code(), ora_error_code(1400));
            }
        }
        EXPECT_TRUE(t->get_dropped_not_null().empty());
    }
    EXPECT_EQ(rows(columns_sql), before);
    EXPECT_EQ(count(L"SELECT COUNT(*) FROM KEEP"), 0);
}

TEST_F(ora_table_test, empty_value_of_a_primary_key_column_is_refused_by_the_server)
{
    udb_indexes keys;
    keys.push_back(index_of(L"PK_PKN", true, true, {L"ID"}));
    auto t = create(L"PKN", {col(L"ID", VT_I4, 0, true), col(L"V", VT_I4)}, keys);
    try {
        t->append_record(*rec({{L"ID", null()}, {L"V", num(1)}}));
        FAIL() << "NULL in a primary key was accepted";
    } catch (const ora_exception& e) {
        EXPECT_EQ(e.get_code(), ora_error_code(1400));
    }
    EXPECT_TRUE(t->schema.fields[0]->b_not_null);
    EXPECT_EQ(count(L"SELECT COUNT(*) FROM \"PKN\""), 0);
}

TEST_F(ora_table_test, numbers_beyond_oracles_range_are_replaced_and_counted_per_column)
{
    auto t = create(L"BIG", {col(L"ID", VT_I4), col(L"R1", VT_R8, 0, true, text(L"7")),
                             col(L"R2", VT_R8)});
    t->append_record(*rec({{L"ID", num(1)}, {L"R1", dbl(2.0e126)}, {L"R2", dbl(-2.0e126)}}));
    t->append_record(*rec({{L"ID", num(2)}, {L"R1", dbl(1.0e126)}, {L"R2", dbl(-1.0e126)}}));
    t->append_record(
        *rec({{L"ID", num(3)}, {L"R1", dbl(std::numeric_limits<double>::infinity())},
              {L"R2", dbl(std::numeric_limits<double>::quiet_NaN())}}));
    // too small for oracle: it would store 0 without a word
    t->append_record(*rec({{L"ID", num(4)}, {L"R1", dbl(1.0e-130)}, {L"R2", dbl(-1.0e-200)}}));

    EXPECT_EQ(std::stod(value(L"SELECT R1 FROM \"BIG\" WHERE ID=1")), 7.0);
    EXPECT_EQ(count(L"SELECT COUNT(*) FROM \"BIG\" WHERE R2 IS NULL AND ID IN (1, 3)"), 2);
    EXPECT_EQ(std::stod(value(L"SELECT R1 FROM \"BIG\" WHERE ID=2")), 1.0e126);
    EXPECT_EQ(std::stod(value(L"SELECT R2 FROM \"BIG\" WHERE ID=2")), -1.0e126);

    EXPECT_EQ(std::stod(value(L"SELECT R1 FROM \"BIG\" WHERE ID=4")), 1.0e-130);
    EXPECT_EQ(std::stod(value(L"SELECT R2 FROM \"BIG\" WHERE ID=4")), 0.0);

    std::map<std::wstring, unsigned> expected{{L"R1", 2}, {L"R2", 2}};
    EXPECT_EQ(t->get_replaced_values(), expected);
    EXPECT_EQ(t->get_zeroed_values(), (std::map<std::wstring, unsigned>{{L"R2", 1}}));
}

TEST_F(ora_table_test, is_eof_counts_rows_with_next_and_fetches_nothing_past_the_count)
{
    auto empty = create(L"NONE", {col(L"A", VT_I4)});
    EXPECT_TRUE(empty->is_eof());

    auto t = create(L"THREE", {col(L"A", VT_I4)});
    for (int i = 1; i <= 3; ++i)
        t->append_record(*rec({{L"A", num(i)}}));

    auto reader = open(L"THREE");
    ASSERT_EQ(reader->rec_count, 3);
    std::vector<std::wstring> seen;
    while (!reader->is_eof()) {
        udb_record* r = reader->get_item();
        ASSERT_NE(r, nullptr);
        seen.push_back(ora_query_results::field_text(*r, 0));
        reader->next();
    }
    std::sort(seen.begin(), seen.end());
    EXPECT_EQ(seen, (std::vector<std::wstring>{L"1", L"2", L"3"}));
    EXPECT_TRUE(reader->is_eof());
}

TEST_F(ora_table_test, update_rewrites_the_row_with_the_records_key)
{
    udb_indexes keys;
    keys.push_back(index_of(L"PK_UPD", true, true, {L"ID"}));
    auto t = create(L"UPD", {col(L"ID", VT_I4, 0, true), col(L"V", VT_BSTR, 5)}, keys);
    t->append_record(*rec({{L"ID", num(1)}, {L"V", text(L"old")}}));
    t->append_record(*rec({{L"ID", num(2)}, {L"V", text(L"keep")}}));

    try {
        t->append_record(*rec({{L"ID", num(1)}, {L"V", text(L"new")}}));
        FAIL() << "a duplicate key was accepted";
    } catch (const ora_exception& e) {
        ASSERT_EQ(e.get_code(), ora_error_code(1));
    }
    t->update(*rec({{L"ID", num(1)}, {L"V", text(L"new")}}));
    EXPECT_EQ(rows(L"SELECT ID, V FROM \"UPD\" ORDER BY ID"),
              (ora_rows{{L"1", L"new"}, {L"2", L"keep"}}));

    // every field a key field: nothing to change, nothing sent
    t->update(*rec({{L"ID", num(2)}}));
    EXPECT_EQ(value(L"SELECT V FROM \"UPD\" WHERE ID=2"), L"keep");

    // the server's refusal reaches the caller
    try {
        t->update(*rec({{L"ID", num(2)}, {L"V", text(L"far too long")}}));
        FAIL() << "a refused UPDATE was reported as done";
    } catch (const ora_exception& e) {
        EXPECT_EQ(e.get_code(), ora_error_code(12899));
    }
    EXPECT_EQ(value(L"SELECT V FROM \"UPD\" WHERE ID=2"), L"keep");
}

TEST_F(ora_table_test, texts_beyond_4000_bytes_of_a_literal_arrive_whole)
{
    udb_indexes keys;
    keys.push_back(index_of(L"PK_LONGT", true, true, {L"ID"}));
    auto t = create(L"LONGT", {col(L"ID", VT_I4, 0, true), col(L"N", VT_BSTR, 2000),
                               col(L"C", VT_BSTR)},
                    keys);
    // 2000 utf-16 units, over 6000 bytes as utf-8: a quote, a surrogate pair, cjk text
    const std::wstring wide = L"'" + std::wstring(1996, wchar_t(0x4E2D)) + L"\xD83D\xDE00'";
    const std::wstring clob(3000, wchar_t(0x6587));
    t->append_record(*rec({{L"ID", num(1)}, {L"N", text(wide)}, {L"C", text(L"x")}}));
    EXPECT_EQ(value(L"SELECT N FROM \"LONGT\" WHERE ID=1"), wide);

    const std::wstring other = std::wstring(1999, wchar_t(0x00E4)) + L"'";
    t->update(*rec({{L"ID", num(1)}, {L"N", text(other)}, {L"C", text(clob)}}));
    EXPECT_EQ(rows(L"SELECT N, C FROM \"LONGT\" WHERE ID=1"), (ora_rows{{other, clob}}));
}

TEST_F(ora_table_test, update_keeps_empty_large_objects_empty_and_nulls_null)
{
    udb_indexes keys;
    keys.push_back(index_of(L"PK_UPL", true, true, {L"ID"}));
    auto t = create(L"UPL", {col(L"ID", VT_I4, 0, true), col(L"C", VT_BSTR), col(L"B", VT_BLOB)},
                    keys);
    t->append_record(*rec({{L"ID", num(1)}, {L"C", text(L"old")}, {L"B", bytes({1})}}));
    t->append_record(*rec({{L"ID", num(2)}, {L"C", text(L"old")}, {L"B", bytes({1})}}));
    t->update(*rec({{L"ID", num(1)}, {L"C", text(L"")}, {L"B", bytes({})}}));
    t->update(*rec({{L"ID", num(2)}, {L"C", null()}, {L"B", null()}}));
    // an empty value is no NULL: the same as a row appended with it
    EXPECT_EQ(rows(L"SELECT ID, NVL2(C, 'set', 'nil'), NVL2(B, 'set', 'nil'), TO_CHAR(LENGTH(C)),"
                   L" TO_CHAR(LENGTH(B)) FROM \"UPL\" ORDER BY ID"),
              (ora_rows{{L"1", L"set", L"set", L"0", L"0"}, {L"2", L"nil", L"nil", L"", L""}}));
}

// what update cannot do it says: the run reports the record instead of losing it
void expect_update_refused(udb_recordset& table, const udb_record& record, const char* reason)
{
    try {
        table.update(record);
        ADD_FAILURE() << "no report: " << reason;
    } catch (const tk_exception& e) {
        EXPECT_EQ(e.get_level(), 0);
        EXPECT_EQ(std::string(e.what()), std::string("The record cannot be updated: ") + reason);
    }
}

TEST_F(ora_table_test, update_without_a_whole_key_or_a_matching_row_is_refused)
{
    auto plain = create(L"NOKEY", {col(L"ID", VT_I4), col(L"V", VT_BSTR, 5)});
    plain->append_record(*rec({{L"ID", num(1)}, {L"V", text(L"a")}}));
    expect_update_refused(*plain, *rec({{L"ID", num(1)}, {L"V", text(L"b")}}),
                          "the table has no key to find its row by");
    EXPECT_EQ(value(L"SELECT V FROM \"NOKEY\""), L"a");

    udb_indexes keys;
    keys.push_back(index_of(L"PK_TWO", true, true, {L"K1", L"K2"}));
    auto two = create(L"TWO", {col(L"K1", VT_I4, 0, true), col(L"K2", VT_I4, 0, true),
                               col(L"V", VT_BSTR, 5)},
                      keys);
    two->append_record(*rec({{L"K1", num(1)}, {L"K2", num(1)}, {L"V", text(L"a")}}));
    two->append_record(*rec({{L"K1", num(1)}, {L"K2", num(2)}, {L"V", text(L"a")}}));
    // only a part of the key: both rows would match
    expect_update_refused(*two, *rec({{L"K1", num(1)}, {L"V", text(L"b")}}),
                          "it does not hold the whole key of its row");
    // a whole key that no row has
    expect_update_refused(*two, *rec({{L"K1", num(9)}, {L"K2", num(9)}, {L"V", text(L"b")}}),
                          "no row of the table has its key");
    EXPECT_EQ(count(L"SELECT COUNT(*) FROM \"TWO\" WHERE V='a'"), 2);
}

TEST_F(ora_table_test, columns_the_builder_renamed_are_matched_by_their_source_names)
{
    auto t = create(L"REN", {col(L"id", VT_I4), col(L"ID", VT_I4), col(L"1st", VT_BSTR, 5)});
    ASSERT_EQ(t->schema.fields.size(), 3u);
    EXPECT_EQ(t->schema.fields[1]->name, L"ID00000");
    EXPECT_EQ(t->schema.fields[2]->name, L"A1st");
    t->append_record(*rec({{L"id", num(1)}, {L"ID", num(2)}, {L"1st", text(L"x")}}));
    EXPECT_EQ(rows(L"SELECT \"id\", ID00000, \"A1st\" FROM \"REN\""),
              (ora_rows{{L"1", L"2", L"x"}}));

    db().upper_case = true;
    auto u = create(L"UPC", {col(L"id", VT_I4), col(L"name", VT_BSTR, 5)});
    u->append_record(*rec({{L"id", num(3)}, {L"name", text(L"n")}}));
    EXPECT_EQ(rows(L"SELECT ID, NAME FROM UPC"), (ora_rows{{L"3", L"n"}}));
}

TEST_F(ora_table_test, guid_in_a_text_stays_text_and_becomes_bytes_only_in_raw_16)
{
    auto t = create(L"GUIDS", {col(L"T", VT_BSTR, 100), col(L"G", VT_BLOB, 16)});
    const std::wstring named = L"the row guid {01234567-89AB-CDEF-0123-456789ABCDEF} of it";
    t->append_record(*rec({{L"T", text(named)}, {L"G", text(named)}}));
    EXPECT_EQ(rows(L"SELECT T, G FROM GUIDS"),
              (ora_rows{{named, L"0x67452301AB89EFCD0123456789ABCDEF"}}));
}

TEST_F(ora_table_test, fetched_row_with_a_null_gives_an_empty_field)
{
    exec(L"CREATE TABLE NR (A NUMBER(5,0), B NVARCHAR2(5), C NVARCHAR2(5))");
    exec(L"INSERT INTO NR VALUES (1, NULL, 'c')");
    ora_query_results q(ora_engine::instance().session(), 0, L"SELECT A, B, C FROM NR");
    ASSERT_FALSE(q.is_eof());
    udb_record* r = q.get_item();
    ASSERT_EQ(r->fields.size(), 3u);
    EXPECT_EQ(r->fields[0]->to_wstring(), L"1");
    EXPECT_EQ(r->fields[1]->get_type(), VT_EMPTY);
    EXPECT_EQ(r->fields[1]->name, L"B");
    EXPECT_EQ(r->fields[2]->to_wstring(), L"c");
}

TEST(ora_field_finder_test, names_follow_the_column_rules_and_compare_exactly)
{
    udb_record r;
    r.add_field(std::make_unique<udb_field>(L"id", 0, ole_variant(1), false, false));
    r.add_field(std::make_unique<udb_field>(L"1st", 0, ole_variant(2), false, false));
    r.add_field(std::make_unique<udb_field>(L"ID", 0, ole_variant(3), false, false));

    ora_field_finder plain(r, false);
    EXPECT_EQ(plain.get_field_idx(L"id"), 0);
    EXPECT_EQ(plain.get_field_idx(L"A1st"), 1);
    EXPECT_EQ(plain.get_field_idx(L"Id"), -1);

    ora_field_finder upper(r, true);
    EXPECT_EQ(upper.get_field_idx(L"ID"), 0);

    t_names_map renamed;
    renamed.add(L"ID", L"ID00000");
    ora_field_finder mapped(r, false, &renamed);
    EXPECT_EQ(mapped.get_field_idx(L"id"), 0);
    EXPECT_EQ(mapped.get_field_idx(L"ID00000"), 2);
}
