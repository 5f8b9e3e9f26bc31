#include "pgs_fixture.hpp"

#include "ole_auto.hpp"

using pgs_rs_test = pgs_fixture;

namespace {

const udb_field& field(const udb_record* record, size_t i)
{
    return *record->fields.at(i);
}

std::vector<BYTE> bytes_of(const udb_field& value)
{
    const BYTE* data = nullptr;
    const unsigned size = value.get_bytes(data);
    return std::vector<BYTE>(data, data + size);
}

} // namespace

TEST_F(pgs_rs_test, columns_become_descriptors_with_types_sizes_and_decimal_precision)
{
    db.exec("CREATE TABLE t (id integer NOT NULL, big bigint, small smallint, name varchar(40),"
            " ch char(3), flag boolean, at timestamp, day date, amount numeric(20,4),"
            " loose numeric, wide numeric(40,2), price money, data bytea, ratio double precision,"
            " r real, clock time, tz timestamptz, g uuid)");
    std::unique_ptr<pgs_database> database = open();
    std::unique_ptr<pgs_recordset> rs = table(*database, L"public.t");
    struct {
        const wchar_t* name;
        VARTYPE vartype;
        int size;
        int reserved;
        const char* pg_type;
    } expected[] = {
        {L"id", VT_I4, 0, 0, "integer"},
        {L"big", VT_I8, 0, 0, "bigint"},
        {L"small", VT_I2, 0, 0, "smallint"},
        {L"name", VT_BSTR, 40, 0, "character varying"},
        {L"ch", VT_BSTR, 3, 0, "character"},
        {L"flag", VT_BOOL, 0, 0, "boolean"},
        {L"at", VT_DATE, 0, 0, "timestamp without time zone"},
        {L"day", VT_DATE, 0, 0, "date"},
        {L"amount", VT_DECIMAL, 0, 20 << 8 | 4, "numeric"},
        {L"loose", VT_DECIMAL, 0, 0, "numeric"},
        {L"wide", VT_DECIMAL, 0, 0, "numeric"},
        {L"price", VT_DECIMAL, 0, 0, "money"},
        {L"data", VT_BLOB, 0, 0, "bytea"},
        {L"ratio", VT_R8, 0, 0, "double precision"},
        {L"r", VT_R8, 0, 0, "real"},
        {L"clock", VT_BSTR, 0, 0, "time without time zone"},
        {L"tz", VT_DATE, 0, 0, "timestamp with time zone"},
        // a uuid's text has a fixed length: no large object, so it can stay a key
        {L"g", VT_BSTR, 36, 0, "uuid"},
    };
    ASSERT_EQ(rs->schema.fields.size(), std::size(expected));
    for (size_t i = 0; i < std::size(expected); ++i) {
        const pgs_ftd& d = static_cast<const pgs_ftd&>(*rs->schema.fields[i]);
        SCOPED_TRACE(tk_to_utf8(d.name));
        EXPECT_EQ(d.name, expected[i].name);
        EXPECT_EQ(d.vartype, expected[i].vartype);
        EXPECT_EQ(d.size, expected[i].size);
        EXPECT_EQ(d.reserved, expected[i].reserved);
        EXPECT_EQ(d.pg_type_name, expected[i].pg_type);
        EXPECT_EQ(d.b_not_null, i == 0);
        EXPECT_FALSE(d.auto_increment);
    }
}

TEST_F(pgs_rs_test, values_arrive_unchanged_and_nulls_stay_null)
{
    db.exec("CREATE TABLE t (id integer, big bigint, name varchar(40), flag boolean,"
            " at timestamp, day date, amount numeric(20,4), price money, data bytea,"
            " ratio double precision, clock time);"
            "INSERT INTO t VALUES (1, 9007199254740993, 'Grüße € 𝄞', true,"
            " '2020-12-25 17:30:05.123', '2010-03-05', 1234567890123456.7891, 12.5,"
            " '\\x0a1b', 0.1, '10:20:30'),"
            " (2, -1, '', false, '1999-01-31 00:00:00', '2010-12-05', -0.0001, -3, '', 1e300,"
            " NULL),"
            " (3, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL)");
    std::unique_ptr<pgs_database> database = open();
    std::unique_ptr<pgs_recordset> rs = table(*database, L"t");
    EXPECT_EQ(rs->rec_count, 3);
    rs->reset();

    const udb_record* row = rs->get_item();
    ASSERT_NE(row, nullptr);
    EXPECT_EQ(field(row, 0).to_wstring(), L"1");
    EXPECT_EQ(field(row, 1).get_i8(), 9007199254740993LL);
    EXPECT_EQ(field(row, 2).to_wstring(), L"Grüße € \xd834\xdd1e");
    EXPECT_EQ(field(row, 3).get_type(), VT_BOOL);
    EXPECT_EQ(field(row, 3).get_variant().boolVal, VARIANT_TRUE);
    EXPECT_EQ(field(row, 4).to_wstring(), L"2020-12-25 17:30:05");
    EXPECT_EQ(field(row, 5).get_date().wDay, 5);
    EXPECT_EQ(field(row, 5).get_date().wMonth, 3);
    EXPECT_EQ(field(row, 5).get_date().wYear, 2010);
    EXPECT_EQ(field(row, 6).get_type(), VT_DECIMAL);
    EXPECT_EQ(field(row, 6).to_string(), "1234567890123456.7891");
    EXPECT_EQ(field(row, 7).get_type(), VT_DECIMAL);
    EXPECT_EQ(field(row, 7).to_string(), "12.5");
    EXPECT_EQ(bytes_of(field(row, 8)), (std::vector<BYTE>{0x0a, 0x1b}));
    EXPECT_EQ(field(row, 9).to_double(), 0.1);
    EXPECT_EQ(field(row, 10).to_wstring(), L"10:20:30");
    EXPECT_EQ(field(row, 0).name, L"id");

    rs->next();
    row = rs->get_item();
    EXPECT_EQ(field(row, 1).get_i8(), -1);
    EXPECT_EQ(field(row, 2).get_type(), VT_BSTR);
    EXPECT_EQ(field(row, 2).to_wstring(), L"");
    EXPECT_EQ(field(row, 3).get_variant().boolVal, VARIANT_FALSE);
    EXPECT_EQ(field(row, 4).to_wstring(), L"1999-01-31");
    EXPECT_EQ(field(row, 5).to_wstring(), L"2010-12-05");
    EXPECT_EQ(field(row, 6).to_string(), "-0.0001");
    EXPECT_EQ(field(row, 7).to_string(), "-3");
    EXPECT_EQ(field(row, 8).get_type(), VT_ARRAY | VT_UI1);
    EXPECT_TRUE(bytes_of(field(row, 8)).empty());
    EXPECT_EQ(field(row, 9).to_double(), 1e300);
    EXPECT_EQ(field(row, 10).get_type(), VT_EMPTY);

    rs->next();
    row = rs->get_item();
    for (size_t i = 1; i < row->fields.size(); ++i)
        EXPECT_EQ(field(row, i).get_type(), VT_EMPTY) << i;
    rs->next();
    EXPECT_TRUE(rs->is_eof());
}

TEST_F(pgs_rs_test, select_list_is_shaped_per_type_with_quoted_names)
{
    db.exec("CREATE TABLE t (\"Order\" timestamp, ok boolean, amount money, n numeric,"
            " \"a\"\"b\" text)");
    std::unique_ptr<pgs_database> database = open();
    std::unique_ptr<pgs_recordset> rs = table(*database, L"t");
    EXPECT_EQ(rs->get_select_fields(),
              "CASE WHEN pg_catalog.isfinite(\"Order\") AND \"Order\" OPERATOR(pg_catalog.>=) "
              "'0001-01-01' AND \"Order\" OPERATOR(pg_catalog.<) '10000-01-01' THEN "
              "pg_catalog.to_char(\"Order\", 'DD-MM-YYYY HH24:MI:SS US') ELSE '?' "
              "OPERATOR(pg_catalog.||) \"Order\"::pg_catalog.text END as \"Order\", "
              "CASE WHEN \"ok\" THEN 'true' WHEN NOT \"ok\" THEN 'false' END , "
              "\"amount\"::pg_catalog.numeric, \"n\", \"a\"\"b\"");
    EXPECT_EQ(rs->get_safe_table_name(), "\"public\".\"t\"");
}

TEST_F(pgs_rs_test, bytea_in_escape_output_decodes_to_the_same_bytes)
{
    db.exec("ALTER DATABASE \"" + db.name() + "\" SET bytea_output = 'escape';"
            "CREATE TABLE b (data bytea);"
            "INSERT INTO b VALUES ('\\x00ff5c270a41')");
    std::unique_ptr<pgs_database> database = open();
    std::unique_ptr<pgs_recordset> rs = table(*database, L"b");
    rs->reset();
    EXPECT_EQ(bytes_of(field(rs->get_item(), 0)),
              (std::vector<BYTE>{0x00, 0xff, 0x5c, 0x27, 0x0a, 0x41}));
}

TEST_F(pgs_rs_test, rows_stream_in_order_across_fetch_batches)
{
    db.exec("CREATE TABLE big (id int, label text);"
            "INSERT INTO big SELECT g, 'row ' || g FROM generate_series(1, 25003) g");
    std::unique_ptr<pgs_database> database = open();
    std::unique_ptr<pgs_recordset> rs = table(*database, L"big");
    EXPECT_EQ(rs->rec_count, 25003);
    rs->reset();
    int expected = 1;
    while (!rs->is_eof()) {
        const udb_record* first = rs->get_item();
        const std::wstring id = field(first, 0).to_wstring();
        // a second get_item before next gives the same row again
        const udb_record* again = rs->get_item();
        ASSERT_EQ(field(again, 0).to_wstring(), id);
        ASSERT_EQ(id, std::to_wstring(expected));
        ASSERT_EQ(field(again, 1).to_wstring(), L"row " + id);
        ++expected;
        rs->next();
    }
    EXPECT_EQ(expected, 25004);
    // the read transaction has ended: the connection serves other work again
    EXPECT_TRUE(engine.is_db_exist(tk_from_utf8(db.name())));
}

TEST_F(pgs_rs_test, end_of_rows_keeps_last_record_and_next_starts_again)
{
    db.exec("CREATE TABLE t (id int); INSERT INTO t VALUES (1), (2)");
    std::unique_ptr<pgs_database> database = open();
    std::unique_ptr<pgs_recordset> rs = table(*database, L"t");
    rs->reset();
    rs->next();
    const udb_record* last = rs->get_item();
    rs->next();
    EXPECT_TRUE(rs->is_eof());
    EXPECT_EQ(rs->get_item(), nullptr);
    EXPECT_EQ(field(last, 0).to_wstring(), L"2");
    rs->next();
    ASSERT_FALSE(rs->is_eof());
    EXPECT_EQ(field(rs->get_item(), 0).to_wstring(), L"1");
}

TEST_F(pgs_rs_test, server_error_in_reset_raises_and_leaves_no_read_open)
{
    // the opening counts the rows; only their read fails
    std::unique_ptr<pgs_database> database = open();
    std::unique_ptr<udb_recordset> rs = database->get_query(
        L"q", L"SELECT CASE WHEN pg_catalog.current_query() LIKE 'FETCH%' "
              L"THEN 1 / (g - g) ELSE g END AS v FROM pg_catalog.generate_series(1, 1) g", 1);
    EXPECT_EQ(rs->rec_count, 1);
    EXPECT_THROW(rs->reset(), pgs_exception);
    EXPECT_TRUE(rs->is_eof());
    EXPECT_EQ(rs->get_item(), nullptr);
    EXPECT_TRUE(engine.is_db_exist(tk_from_utf8(db.name())));
}

TEST(pgs_errors, server_states_become_kinds)
{
    EXPECT_EQ(pgs_error_kind("23505"), tk_error_kind::duplicate_key);
    EXPECT_EQ(pgs_error_kind("55P03"), tk_error_kind::resource_busy);
    EXPECT_EQ(pgs_error_kind("42P01"), tk_error_kind::database);
    EXPECT_EQ(pgs_value_exception("v").get_kind(), tk_error_kind::bad_value);
}

TEST_F(pgs_rs_test, server_error_is_a_database_error)
{
    std::unique_ptr<pgs_database> database = open();
    try {
        database->get_query(L"q", L"SELECT * FROM missing", 1)->reset();
        ADD_FAILURE() << "no error";
    } catch (const pgs_exception& e) {
        EXPECT_EQ(e.get_kind(), tk_error_kind::database) << e.what();
    }
}

TEST_F(pgs_rs_test, server_error_in_a_later_batch_raises_from_next_and_ends_the_read)
{
    std::unique_ptr<pgs_database> database = open();
    std::unique_ptr<udb_recordset> rs = database->get_query(
        L"q", L"SELECT 100 / (15000 - g) AS v FROM generate_series(1, 15000) g", 1);
    rs->reset();
    int rows = 0;
    try {
        while (!rs->is_eof()) {
            rs->get_item();
            ++rows;
            rs->next();
        }
        FAIL() << "no error after " << rows << " rows";
    } catch (const pgs_exception& e) {
        EXPECT_NE(std::string(e.what()).find("division by zero"), std::string::npos) << e.what();
    }
    // the rows of the batches before arrive first
    EXPECT_GE(rows, 1000);
    EXPECT_LT(rows, 15000);
    EXPECT_TRUE(rs->is_eof());
    EXPECT_TRUE(engine.is_db_exist(tk_from_utf8(db.name())));
}

TEST_F(pgs_rs_test, empty_table_is_at_end_after_reset)
{
    db.exec("CREATE TABLE t (id int)");
    std::unique_ptr<pgs_database> database = open();
    std::unique_ptr<pgs_recordset> rs = table(*database, L"t");
    EXPECT_EQ(rs->rec_count, 0);
    rs->reset();
    EXPECT_TRUE(rs->is_eof());
    EXPECT_EQ(rs->get_item(), nullptr);
}

TEST_F(pgs_rs_test, rows_without_columns_are_read_one_by_one)
{
    db.exec("CREATE TABLE t (); INSERT INTO t DEFAULT VALUES; INSERT INTO t DEFAULT VALUES");
    std::unique_ptr<pgs_database> database = open();
    std::unique_ptr<pgs_recordset> rs = table(*database, L"t");
    EXPECT_EQ(rs->rec_count, 2);
    EXPECT_EQ(read_all(*rs), (std::vector<std::wstring>{L"", L""}));
}

TEST_F(pgs_rs_test, destroying_a_reader_mid_table_ends_its_transaction)
{
    db.exec("CREATE TABLE t (id int); INSERT INTO t SELECT generate_series(1, 25000)");
    std::unique_ptr<pgs_database> database = open();
    {
        std::unique_ptr<pgs_recordset> rs = table(*database, L"t");
        rs->reset();
        rs->get_item();
        rs->next();
    }
    EXPECT_TRUE(engine.is_db_exist(tk_from_utf8(db.name())));
    std::unique_ptr<pgs_recordset> again = table(*database, L"t");
    EXPECT_EQ(read_all(*again).size(), 25000u);
}

TEST_F(pgs_rs_test, connection_cannot_be_replaced_while_rows_are_read)
{
    db.exec("CREATE TABLE t (id int); INSERT INTO t VALUES (1), (2)");
    std::unique_ptr<pgs_database> database = open();
    std::unique_ptr<pgs_recordset> rs = table(*database, L"t");
    rs->reset();
    try {
        open();
        FAIL() << "reconnected during a read";
    } catch (const tk_exception& e) {
        EXPECT_EQ(e.get_level(), 2);
    }
    rs->next();
    EXPECT_EQ(field(rs->get_item(), 0).to_wstring(), L"2");
    rs->next();
    EXPECT_TRUE(rs->is_eof());
    EXPECT_NE(open(), nullptr);
}

TEST_F(pgs_rs_test, wide_rows_are_read_whole)
{
    db.exec("CREATE TABLE w (id int, data bytea);"
            "INSERT INTO w SELECT g, decode(repeat('ab', 1000000), 'hex')"
            " FROM generate_series(1, 40) g");
    std::unique_ptr<pgs_database> database = open();
    std::unique_ptr<pgs_recordset> rs = table(*database, L"w");
    rs->reset();
    int rows = 0;
    while (!rs->is_eof()) {
        const std::vector<BYTE> data = bytes_of(field(rs->get_item(), 1));
        ASSERT_EQ(data.size(), 1000000u);
        ASSERT_EQ(data.front(), 0xab);
        ++rows;
        rs->next();
    }
    EXPECT_EQ(rows, 40);
}

TEST_F(pgs_rs_test, decimal_that_cannot_be_held_exactly_raises_and_reading_goes_on)
{
    db.exec("CREATE TABLE n (id int, v numeric);"
            "INSERT INTO n VALUES (1, 1.5), (2, 1e40), (3, 'NaN'),"
            " (4, 0.1234567890123456789012345678901), (5, 79228162514264337593543950335),"
            " (6, 123456789012345678.9012), (7, -1.000000000000000000000000000000000),"
            " (8, -0.00)");
    std::unique_ptr<pgs_database> database = open();
    std::unique_ptr<pgs_recordset> rs = table(*database, L"n");
    const auto value = [](const udb_record* row) { return field(row, 1).to_string(); };
    const auto raised = [](const char* text) {
        return "The value " + std::string(text) +
               " of column \"v\" cannot be held exactly as a decimal";
    };
    EXPECT_EQ(read_or_raised(*rs, value),
              (std::vector<std::string>{"1.5", raised("10000000000000000000000000000000000000000"),
                                        raised("NaN"),
                                        raised("0.1234567890123456789012345678901"),
                                        "79228162514264337593543950335",
                                        "123456789012345678.9012", "-1", "0"}));
}

TEST_F(pgs_rs_test, dates_that_would_arrive_changed_raise_and_reading_goes_on)
{
    db.exec("CREATE TABLE d (at timestamp, day date, tz timestamptz);"
            "INSERT INTO d VALUES ('infinity', '2010-03-05', '2010-03-05 10:00:00+00'),"
            " ('2010-03-05 01:02:03', '0044-03-15 BC', '2010-03-05 10:00:00+00'),"
            " ('0010-01-02 00:00:00', '1999-12-31', '-infinity'),"
            " ('2010-03-05 01:02:03', '5874897-12-31', NULL),"
            " ('10000-01-01 00:00:00', '2010-03-05', NULL),"
            " ('2020-12-25 17:30:05', '0001-01-01', NULL)");
    std::unique_ptr<pgs_database> database = open();
    std::unique_ptr<pgs_recordset> rs = table(*database, L"d");
    const auto seen = read_or_raised(*rs, [](const udb_record* row) {
        return field(row, 0).to_string() + "|" + field(row, 1).to_string();
    });
    EXPECT_EQ(seen, (std::vector<std::string>{
                        "The value infinity of column \"at\" is not a date that can be converted",
                        "The value 0044-03-15 BC of column \"day\" is not a date that can be "
                        "converted",
                        "The value -infinity of column \"tz\" is not a date that can be converted",
                        // beyond the timestamp range: the server cannot even format it
                        "The value 5874897-12-31 of column \"day\" is not a date that can be "
                        "converted",
                        "The value 10000-01-01 00:00:00 of column \"at\" is not a date that can "
                        "be converted",
                        "2020-12-25 17:30:05|0001-01-01"}));
}

TEST_F(pgs_rs_test, rows_come_from_the_stored_schema_also_with_no_schema)
{
    db.exec("CREATE SCHEMA sales; CREATE TABLE sales.\"Mixed 'q'\" (id int);"
            "INSERT INTO sales.\"Mixed 'q'\" VALUES (7);"
            "CREATE TABLE public.other (id int)");
    engine.set_no_schema(true);
    std::unique_ptr<pgs_database> database = open();
    ASSERT_TRUE(database->is_table_exist(L"Mixed 'q'"));
    std::unique_ptr<pgs_recordset> rs = table(*database, L"Mixed 'q'");
    EXPECT_EQ(rs->get_safe_table_name(), "\"sales\".\"Mixed 'q'\"");
    EXPECT_EQ(rs->rec_count, 1);
    EXPECT_EQ(read_all(*rs), std::vector<std::wstring>{L"7"});
}

TEST_F(pgs_rs_test, dropped_column_leaves_the_rest_in_place)
{
    db.exec("CREATE TABLE d (a int, b int, c text); ALTER TABLE d DROP COLUMN b;"
            "INSERT INTO d VALUES (1, 'x')");
    std::unique_ptr<pgs_database> database = open();
    std::unique_ptr<pgs_recordset> rs = table(*database, L"d");
    ASSERT_EQ(rs->schema.fields.size(), 2u);
    EXPECT_EQ(static_cast<const pgs_ftd*>(rs->schema.fields[1].get())->ordinal_position, 3);
    EXPECT_EQ(read_all(*rs), std::vector<std::wstring>{L"1|x"});
}

TEST_F(pgs_rs_test, query_source_reads_the_rows_of_its_query)
{
    db.exec("CREATE TABLE t (id int NOT NULL, name varchar(40)); CREATE TABLE u (id int);"
            "INSERT INTO t VALUES (1, 'a'), (2, 'b'), (3, 'c'); INSERT INTO u VALUES (2), (3)");
    std::unique_ptr<pgs_database> database = open();
    std::unique_ptr<udb_recordset> rs = database->get_query(
        L"joined", L"SELECT t.id, t.name, u.id FROM t JOIN u ON u.id = t.id ORDER BY t.id;\n", 1);
    EXPECT_TRUE(rs->is_query());
    EXPECT_EQ(rs->name, L"joined");
    EXPECT_TRUE(rs->indexes.empty());
    ASSERT_EQ(rs->schema.fields.size(), 3u);
    EXPECT_EQ(rs->schema.fields[0]->name, L"id");
    EXPECT_EQ(rs->schema.fields[0]->vartype, VT_I4);
    EXPECT_EQ(rs->schema.fields[1]->vartype, VT_BSTR);
    EXPECT_EQ(rs->schema.fields[1]->size, 40);
    EXPECT_EQ(rs->schema.fields[2]->name, L"id");
    EXPECT_EQ(rs->rec_count, 2);
    EXPECT_EQ(read_all(*rs), (std::vector<std::wstring>{L"2|b|2", L"3|c|3"}));
}

TEST_F(pgs_rs_test, query_source_maps_computed_columns_by_type)
{
    std::unique_ptr<pgs_database> database = open();
    std::unique_ptr<udb_recordset> rs = database->get_query(
        L"q",
        L"SELECT 1.25::numeric(10,2) AS n, DATE '2010-03-05' AS d, NULL::boolean AS b,"
        L" 2.5::double precision AS f, 'a0eebc99-9c0b-4ef8-bb6d-6bb9bd380a11'::uuid AS g",
        1);
    ASSERT_EQ(rs->schema.fields.size(), 5u);
    EXPECT_EQ(rs->schema.fields[4]->vartype, VT_BSTR);
    EXPECT_EQ(rs->schema.fields[4]->size, 36);
    EXPECT_EQ(rs->schema.fields[0]->vartype, VT_DECIMAL);
    EXPECT_EQ(rs->schema.fields[1]->vartype, VT_DATE);
    EXPECT_EQ(rs->schema.fields[2]->vartype, VT_BOOL);
    EXPECT_EQ(rs->schema.fields[3]->vartype, VT_R8);
    rs->reset();
    const udb_record* row = rs->get_item();
    EXPECT_EQ(field(row, 0).to_string(), "1.25");
    EXPECT_EQ(field(row, 1).to_string(), "2010-03-05");
    EXPECT_EQ(field(row, 2).get_type(), VT_EMPTY);
    EXPECT_EQ(field(row, 3).to_double(), 2.5);
    EXPECT_EQ(field(row, 4).to_wstring(), L"a0eebc99-9c0b-4ef8-bb6d-6bb9bd380a11");
}

TEST_F(pgs_rs_test, query_with_an_error_raises_when_opened)
{
    std::unique_ptr<pgs_database> database = open();
    EXPECT_THROW(database->get_query(L"q", L"SELECT * FROM missing", 1), pgs_exception);
    EXPECT_THROW(database->get_query(L"q", L" ; ", 1), pgs_exception);
    EXPECT_TRUE(engine.is_db_exist(tk_from_utf8(db.name())));
}
