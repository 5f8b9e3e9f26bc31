#include "pgs_copy.hpp"
#include "pgs_fixture.hpp"
#include "pgs_idxinit.hpp"
#include "pgs_schinit.hpp"

#include "ole_auto.hpp"
#include "udb_rel.hpp"

#include <cfloat>
#include <climits>
#include <cmath>
#include <cstring>
#include <fstream>
#include <limits>
#include <map>
#include <sstream>

namespace {

struct column {
    std::wstring name;
    VARTYPE vartype;
    int size;
    int reserved;
};

std::unique_ptr<udb_schema> make_schema(const std::vector<column>& columns)
{
    auto fields = std::make_unique<udb_schema>();
    for (const column& c : columns)
        fields->add_field(std::make_unique<t_ftd>(c.size, c.name, c.vartype, false, false,
                                                  ole_variant(), c.reserved));
    return fields;
}

void append(udb_recordset& rs, const std::vector<ole_variant>& values)
{
    udb_record record;
    for (const ole_variant& value : values)
        record.add_field(std::make_unique<udb_field>(L"", 0, value, false, false));
    rs.append_record(record);
}

ole_variant text(const std::wstring& value)
{
    return ole_variant(value);
}

ole_variant bytes(const std::vector<BYTE>& value)
{
    ole_variant v;
    v.attach_binary(value);
    return v;
}

ole_variant date(WORD y, WORD mo, WORD d, WORD h = 0, WORD mi = 0, WORD s = 0, WORD ms = 0)
{
    return ole_variant(SYSTEMTIME{y, mo, 0, d, h, mi, s, ms, 0});
}

std::vector<BYTE> bytes_of(const ole_variant& value)
{
    const BYTE* data = nullptr;
    const unsigned size = value.get_bytes(data);
    return std::vector<BYTE>(data, data + size);
}

// a decimal text without trailing zeros of its fraction
std::string plain_number(std::string text)
{
    if (text.find('.') != std::string::npos) {
        while (text.back() == '0')
            text.pop_back();
        if (text.back() == '.')
            text.pop_back();
    }
    return text == "-0" ? "0" : text;
}

std::string date_fields(const SYSTEMTIME& t)
{
    char out[64];
    std::snprintf(out, sizeof out, "%04u-%02u-%02u %02u:%02u:%02u.%03u", t.wYear, t.wMonth, t.wDay,
                  t.wHour, t.wMinute, t.wSecond, t.wMilliseconds);
    return out;
}

// what a value written into a column of this type reads back as; "" when it matches
std::string compare(const ole_variant& written, const ole_variant& read, VARTYPE type, int reserved)
{
    const VARTYPE wvt = written.get_vt();
    const VARTYPE rvt = read.get_vt();
    const auto differ = [&](const std::string& a, const std::string& b) {
        return a == b ? std::string() : "wrote " + a + ", read " + b;
    };
    if (wvt == VT_EMPTY)
        return rvt == VT_EMPTY ? "" : "NULL read as " + read.to_string();
    if (rvt == VT_EMPTY)
        return "read NULL for " + written.to_string();
    switch (type) {
    case VT_R8: {
        const double a = written.get_variant().dblVal;
        const double b = read.get_variant().dblVal;
        if (rvt != VT_R8 ||
            (std::memcmp(&a, &b, sizeof a) != 0 && !(std::isnan(a) && std::isnan(b))))
            return differ(written.to_string(), read.to_string());
        return "";
    }
    case VT_R4:
        // a FLOAT column holds the float exactly
        if (rvt != VT_R8 || float(read.get_variant().dblVal) != written.get_variant().fltVal)
            return differ(written.to_string(), read.to_string());
        return "";
    case VT_CY:
    case VT_DECIMAL:
    case VT_UI8:
        if (rvt != VT_DECIMAL)
            return "read type " + std::to_string(rvt);
        return differ(plain_number(written.to_string()), plain_number(read.to_string()));
    case VT_DATE: {
        SYSTEMTIME w = written.get_date();
        if (reserved == 3) {
            char expected[32];
            std::snprintf(expected, sizeof expected, "%02u:%02u:%02u", w.wHour, w.wMinute,
                          w.wSecond);
            std::string text = expected;
            if (w.wMilliseconds)
                text += "." + std::to_string(1000 + w.wMilliseconds).substr(1);
            return differ(text, read.to_string());
        }
        if (reserved == 2)
            w.wHour = w.wMinute = w.wSecond = w.wMilliseconds = 0;
        if (rvt != VT_DATE)
            return "read type " + std::to_string(rvt);
        return differ(date_fields(w), date_fields(read.get_date()));
    }
    case VT_BOOL:
        return differ(written.get_variant().boolVal ? "1" : "0", read.to_string());
    case VT_BLOB:
    case VT_ARRAY | VT_UI1:
        return bytes_of(written) == bytes_of(read) ? "" : "bytes differ";
    case VT_BSTR:
    case VT_LPWSTR:
        if (rvt != VT_BSTR || written.to_wstring() != read.to_wstring())
            return "text differs: " + std::to_string(written.to_wstring().size()) +
                   " units, read " + std::to_string(read.to_wstring().size());
        return "";
    default:
        // integers of every width read back as their own decimal text
        return differ(written.to_string(), read.to_string());
    }
}

// the rows of a table as read by the reader, each value kept
std::vector<std::vector<ole_variant>> read_rows(udb_recordset& rs)
{
    std::vector<std::vector<ole_variant>> rows;
    rs.reset();
    while (!rs.is_eof()) {
        std::vector<ole_variant> row;
        for (const auto& value : rs.get_item()->fields)
            row.push_back(*value);
        rows.push_back(row);
        rs.next();
    }
    return rows;
}

std::unique_ptr<pgs_recordset> as_pgs(std::unique_ptr<udb_recordset> rs)
{
    return std::unique_ptr<pgs_recordset>(static_cast<pgs_recordset*>(rs.release()));
}

// the load failures reported while one test runs
struct failure_reports {
    failure_reports()
    {
        pgs_set_load_failure_report([this](const tk_exception& e) {
            texts.push_back(e.what());
            levels.push_back(e.get_level());
        });
    }
    ~failure_reports() { pgs_set_load_failure_report(nullptr); }
    std::vector<std::string> texts;
    std::vector<int> levels;
};

} // namespace

using pgs_write_test = pgs_fixture;

namespace {

std::wstring quote(const std::wstring& text)
{
    return tk_from_utf8(pgs_engine::instance().session().literal(text));
}

} // namespace

TEST_F(pgs_write_test, every_type_round_trips_with_names_keys_and_indexes)
{
    const std::wstring name31 = L"a_thirty_one_characters_long_nm";
    ASSERT_EQ(name31.size(), 31u);
    const std::vector<column> columns = {
        {L"i1", VT_I1, 0, 0},
        {L"1st", VT_I2, 0, 0},
        {L"Id", VT_I4, 0, 0},
        {L"id", VT_I8, 0, 0},
        {L"a b", VT_UI1, 0, 0},
        {L"ui2", VT_UI2, 0, 0},
        {L"ui4", VT_UI4, 0, 0},
        {L"ui8", VT_UI8, 0, 0},
        {L"int", VT_INT, 0, 0},
        {L"uint", VT_UINT, 0, 0},
        {L"r4", VT_R4, 0, 0},
        {L"xmin", VT_R8, 0, 0},
        {L"cy", VT_CY, 0, 0},
        {L"dec", VT_DECIMAL, 0, 20 << 8 | 4},
        {L"dec0", VT_DECIMAL, 0, 0},
        {L"d0", VT_DATE, 0, 0},
        {L"d1", VT_DATE, 0, 1},
        {L"d2", VT_DATE, 0, 2},
        {L"d3", VT_DATE, 0, 3},
        {name31, VT_BSTR, 40, 0},
        {L"s0", VT_BSTR, 0, 0},
        {L"s32672", VT_BSTR, 32672, 0},
        {L"s32673", VT_BSTR, 32673, 0},
        {L"lp", VT_LPWSTR, 0, 0},
        {L"b", VT_BOOL, 0, 0},
        {L"blob", VT_BLOB, 0, 0},
        {L"arr", VT_ARRAY | VT_UI1, 0, 0},
    };
    const size_t n = columns.size();
    const std::unique_ptr<udb_schema> fields = make_schema(columns);
    udb_indexes indexes;
    indexes.emplace_back(L"all_pk", true, true, std::vector<std::wstring>{L"Id"});
    indexes.emplace_back(L"all_u", true, false, std::vector<std::wstring>{L"id", L"a b"});
    indexes.emplace_back(L"all_plain", false, false, std::vector<std::wstring>{name31});
    // over a TEXT column: left out
    indexes.emplace_back(L"all_text", false, false, std::vector<std::wstring>{L"s0"});

    std::vector<BYTE> all_bytes(256);
    for (int i = 0; i < 256; ++i)
        all_bytes[size_t(i)] = BYTE(i);
    CY cy_min{};
    cy_min.int64 = LLONG_MIN;
    CY cy_max{};
    cy_max.int64 = LLONG_MAX;
    const std::wstring long_text(32672, L'\u00e9');
    const std::wstring longer_text = long_text + L"\xD83D\xDE00";

    std::map<std::wstring, size_t> at;
    for (size_t i = 0; i < n; ++i)
        at[columns[i].name] = i;
    std::vector<std::vector<ole_variant>> rows;
    const auto row = [&](std::initializer_list<std::pair<const wchar_t*, ole_variant>> values,
                         int key) {
        std::vector<ole_variant> r(n);
        r[at[L"Id"]] = ole_variant(key);
        r[at[L"id"]] = ole_variant(static_cast<long long>(key));
        for (const auto& [column_name, value] : values)
            r[at[column_name]] = value;
        rows.push_back(r);
    };
    // NULL in every column but the key
    row({}, 1);
    // the low ends and empty values
    row({{L"i1", ole_variant(char(-128))},
         {L"1st", ole_variant(short(-32768))},
         {L"a b", ole_variant((unsigned char)0)},
         {L"ui2", ole_variant((unsigned short)0)},
         {L"ui4", ole_variant(0u)},
         {L"ui8", ole_variant(0ull)},
         {L"int", ole_variant(INT_MIN)},
         {L"uint", ole_variant(0u)},
         {L"r4", ole_variant(-FLT_MAX)},
         {L"xmin", ole_variant(5e-324)},
         {L"cy", ole_variant(cy_min)},
         {L"dec", ole_variant::from_string("-9999999999999999.9999", VT_DECIMAL)},
         {L"dec0", ole_variant::from_string("-79228162514264337593543950335", VT_DECIMAL)},
         {L"d0", date(1, 1, 1)},
         {L"d1", date(1, 1, 1)},
         {L"d2", date(1, 1, 1)},
         {L"d3", date(0, 0, 0)},
         {name31.c_str(), text(L"")},
         {L"s0", text(L"")},
         {L"s32672", text(L"")},
         {L"s32673", text(L"")},
         {L"lp", text(L"")},
         {L"b", ole_variant(false)},
         {L"blob", bytes({})},
         {L"arr", bytes({})}},
        INT_MIN);
    // the high ends
    row({{L"i1", ole_variant(char(127))},
         {L"1st", ole_variant(short(32767))},
         {L"a b", ole_variant((unsigned char)255)},
         {L"ui2", ole_variant((unsigned short)65535)},
         {L"ui4", ole_variant(UINT_MAX)},
         {L"ui8", ole_variant(ULLONG_MAX)},
         {L"int", ole_variant(INT_MAX)},
         {L"uint", ole_variant(UINT_MAX)},
         {L"r4", ole_variant(FLT_MAX)},
         {L"xmin", ole_variant(1.7976931348623157e308)},
         {L"cy", ole_variant(cy_max)},
         {L"dec", ole_variant::from_string("9999999999999999.9999", VT_DECIMAL)},
         {L"dec0", ole_variant::from_string("79228162514264337593543950335", VT_DECIMAL)},
         {L"d0", date(9999, 12, 31, 23, 59, 59, 999)},
         {L"d1", date(9999, 12, 31, 23, 59, 59, 999)},
         {L"d2", date(9999, 12, 31)},
         {L"d3", date(2020, 5, 6, 23, 59, 59, 999)},
         {name31.c_str(), text(L"\\\t\n\r\\N'\"\x01\x7f \u00fc\u6771\xD83D\xDE00")},
         {L"s0", text(L"\\.")},
         {L"s32672", text(long_text)},
         {L"s32673", text(longer_text)},
         {L"lp", text(L"\\N")},
         {L"b", ole_variant(true)},
         {L"blob", bytes(all_bytes)},
         {L"arr", bytes(all_bytes)}},
        INT_MAX);
    // doubles and floats that must come back bit for bit
    row({{L"xmin", ole_variant(0.30000000000000004)},
         {L"r4", ole_variant(0.1f)},
         {L"d0", date(50, 6, 15, 7, 8, 9, 5)},
         {L"d3", date(0, 0, 0, 10, 30, 0, 0)},
         {L"s0", text(L"a\tb\\c")}},
        2);
    row({{L"xmin", ole_variant(-0.0)}, {L"r4", ole_variant(-0.0f)}}, 3);
    row({{L"xmin", ole_variant(std::numeric_limits<double>::infinity())}}, 4);
    row({{L"xmin", ole_variant(-std::numeric_limits<double>::infinity())}}, 5);
    row({{L"xmin", ole_variant(std::numeric_limits<double>::quiet_NaN())}}, 6);

    std::unique_ptr<pgs_database> database = open();
    {
        std::unique_ptr<pgs_recordset> rs =
            as_pgs(database->create_table(L"all_types", *fields, indexes));
        for (const auto& r : rows)
            append(*rs, r);
        rs->complete();
    }
    EXPECT_TRUE(database->is_table_exist(L"public.all_types"));

    // the generated names, in the names map and in the catalogue
    const std::vector<std::wstring> generated = {
        L"i1",  L"A1st", L"Id", L"id00000",           L"a_b", L"ui2",    L"ui4",    L"ui8",
        L"int", L"uint", L"r4", L"xmin00000",         L"cy",  L"dec",    L"dec0",   L"d0",
        L"d1",  L"d2",   L"d3", name31.substr(0, 29), L"s0",  L"s32672", L"s32673", L"lp",
        L"b",   L"blob", L"arr"};
    for (size_t i = 0; i < n; ++i)
        EXPECT_EQ(
            database->names_map.get_fn_mapped_name(L"public.all_types", columns[i].name, true),
            generated[i]);
    EXPECT_EQ(
        db.query_value("SELECT string_agg(column_name || ' ' || data_type || "
                       "coalesce('(' || character_maximum_length || ')', '') || "
                       "coalesce('(' || numeric_precision || ',' || numeric_scale || ')', ''),"
                       " ', ' ORDER BY ordinal_position) FROM information_schema.columns "
                       "WHERE table_name = 'all_types'"),
        "i1 smallint(16,0), A1st smallint(16,0), Id integer(32,0), id00000 bigint(64,0), "
        "a_b smallint(16,0), ui2 integer(32,0), ui4 bigint(64,0), ui8 numeric(20,0), "
        "int integer(32,0), uint bigint(64,0), r4 double precision, "
        "xmin00000 double precision, cy numeric(19,4), dec numeric(20,4), dec0 numeric, "
        "d0 timestamp without time zone, d1 timestamp without time zone, d2 date, "
        "d3 time without time zone, " +
            tk_to_utf8(name31.substr(0, 29)) +
            " character varying(40), s0 text, s32672 character varying(32672), "
            "s32673 text, lp text, b character(1), blob bytea, arr bytea");
    EXPECT_EQ(db.query_value("SELECT string_agg(indexdef, '; ' ORDER BY indexname) FROM pg_indexes"
                             " WHERE tablename = 'all_types'"),
              "CREATE UNIQUE INDEX all_pk ON public.all_types USING btree (\"Id\"); "
              "CREATE INDEX all_plain ON public.all_types USING btree (" +
                  tk_to_utf8(name31.substr(0, 29)) +
                  "); CREATE UNIQUE INDEX all_u ON public.all_types USING btree (id00000, a_b)");
    EXPECT_EQ(db.query_value("SELECT contype FROM pg_constraint WHERE conname = 'all_pk'"), "p");

    // read back through the reader, value by value
    std::unique_ptr<pgs_database> again = open();
    std::unique_ptr<pgs_recordset> rs = table(*again, L"public.all_types");
    ASSERT_EQ(rs->schema.fields.size(), n);
    const std::vector<std::vector<ole_variant>> back = read_rows(*rs);
    ASSERT_EQ(back.size(), rows.size());
    // the rows come back in the order they were loaded
    for (size_t r = 0; r < rows.size(); ++r)
        for (size_t i = 0; i < n; ++i)
            EXPECT_EQ(compare(rows[r][i], back[r][i], columns[i].vartype, columns[i].reserved), "")
                << "row " << r << ", column " << tk_to_utf8(columns[i].name);
    // the key reads back as such
    ASSERT_FALSE(rs->indexes.empty());
    EXPECT_TRUE(rs->indexes[0].primary);
    EXPECT_EQ(rs->indexes[0].fields, std::vector<std::wstring>{L"Id"});
}

TEST_F(pgs_write_test, foreign_keys_follow_generated_names_and_rules)
{
    std::unique_ptr<pgs_database> database = open();
    udb_indexes parent_key;
    parent_key.emplace_back(L"p_pk", true, true, std::vector<std::wstring>{L"p id"});
    database->create_table(L"parent", *make_schema({{L"p id", VT_I4, 0, 0}}), parent_key);
    const std::unique_ptr<udb_schema> child =
        make_schema({{L"c", VT_I4, 0, 0}, {L"p ref", VT_I4, 0, 0}});
    // a missing schema: nothing created, nothing listed
    try {
        database->create_table(L"sales.child", *child, udb_indexes());
        FAIL();
    } catch (const pgs_exception& e) {
        EXPECT_EQ(std::string(e.what()).rfind(
                      "Cannot create table: CREATE TABLE \"sales\".\"child\" (", 0),
                  0u)
            << e.what();
    }
    EXPECT_FALSE(database->is_table_exist(L"sales.child"));
    db.exec("CREATE SCHEMA sales");
    database->create_table(L"sales.child", *child, udb_indexes());
    udb_relationships rels;
    rels.emplace_back(L"child_fk", L"p_pk", L"sales.child", L"parent",
                      std::vector<std::wstring>{L"p ref"}, std::vector<std::wstring>{L"p id"},
                      L"  on delete   set null ");
    database->create_relationships(rels);
    EXPECT_EQ(db.query_value("SELECT pg_get_constraintdef(oid) FROM pg_constraint WHERE conname = "
                             "'child_fk'"),
              "FOREIGN KEY (p_ref) REFERENCES parent(p_id) ON DELETE SET NULL");
}

TEST_F(pgs_write_test, empty_lines_and_many_lines_keep_their_rows)
{
    std::unique_ptr<pgs_database> database = open();
    {
        // a line of one empty text is a row of its own
        std::unique_ptr<udb_recordset> rs =
            database->create_table(L"one", *make_schema({{L"s", VT_BSTR, 0, 0}}), udb_indexes());
        for (const wchar_t* value : {L"", L"a", L"", L""})
            append(*rs, {text(value)});
        append(*rs, {ole_variant()});
    }
    EXPECT_EQ(db.query_value("SELECT string_agg(coalesce(s, 'NULL'), ',') FROM one"), ",a,,,NULL");
    // rows enough for several batches, and a refused one far in: named by its line
    std::unique_ptr<pgs_recordset> rs =
        as_pgs(database->create_table(L"many", *make_schema({{L"i", VT_I2, 0, 0}}), udb_indexes()));
    for (int i = 1; i <= 40000; ++i)
        append(*rs, {ole_variant(i == 33000 ? 70000 : i % 30000)});
    try {
        rs->complete();
        FAIL();
    } catch (const pgs_exception& e) {
        EXPECT_NE(std::string(e.what()).find("line 33000"), std::string::npos) << e.what();
    }
    for (int i = 1; i <= 40000; ++i)
        append(*rs, {ole_variant(i % 30000)});
    rs->complete();
    EXPECT_EQ(db.query_value("SELECT count(*) || ' ' || sum(i) FROM many"),
              "40000 " + std::to_string(29999LL * 30000 / 2 + 10000LL * 10001 / 2));
}

TEST_F(pgs_write_test, demo_tables_are_written_and_read_back_unchanged)
{
    std::ifstream file(DEMO_SAMPLE_SQL);
    std::stringstream sql;
    sql << file.rdbuf();
    db.exec(sql.str());
    struct table_copy {
        std::wstring name;
        std::unique_ptr<udb_recordset> source;
        std::vector<std::vector<ole_variant>> rows;
    };
    std::vector<table_copy> copies;
    {
        std::unique_ptr<pgs_database> source = open();
        for (const std::wstring& name : source->tables) {
            table_copy copy{name, source->get_table(name, 1), {}};
            copy.rows = read_rows(*copy.source);
            copies.push_back(std::move(copy));
        }
    }
    ASSERT_EQ(copies.size(), 5u);

    test_pg_database destination_db;
    std::unique_ptr<pgs_database> destination = engine.open_db(tk_from_utf8(destination_db.name()));
    for (const table_copy& copy : copies) {
        std::unique_ptr<pgs_recordset> rs =
            as_pgs(destination->create_table(copy.name, copy.source->schema, copy.source->indexes));
        for (const auto& row : copy.rows)
            append(*rs, row);
        rs->complete();
    }
    for (const table_copy& copy : copies) {
        std::unique_ptr<pgs_recordset> rs = table(*destination, copy.name);
        const auto back = read_rows(*rs);
        ASSERT_EQ(back.size(), copy.rows.size()) << tk_to_utf8(copy.name);
        // the row order of a table without ORDER BY is the order loaded
        for (size_t r = 0; r < back.size(); ++r)
            for (size_t i = 0; i < back[r].size(); ++i) {
                const t_ftd& field = *copy.source->schema.fields[i];
                EXPECT_EQ(compare(copy.rows[r][i], back[r][i], field.vartype, field.reserved), "")
                    << tk_to_utf8(copy.name) << " row " << r << " column "
                    << tk_to_utf8(field.name);
            }
    }
}

TEST_F(pgs_write_test, statement_texts_and_names)
{
    const std::unique_ptr<udb_schema> fields =
        make_schema({{L"id", VT_I4, 0, 0}, {L"name", VT_BSTR, 40, 0}});
    fields->fields[0]->b_not_null = true;
    {
        const pgs_schema_initializer init(L"\"t\"", *fields, udb_indexes(), quote);
        EXPECT_EQ(init.get_init_str(),
                  L"CREATE TABLE \"t\" (\"id\" INTEGER NOT NULL, \"name\" VARCHAR(40) )");
    }
    const std::unique_ptr<udb_schema> keyed = make_schema(
        {{L"id", VT_I4, 0, 0}, {L"a", VT_I4, 0, 0}, {L"b", VT_BSTR, 50, 0}, {L"c", VT_BSTR, 0, 0}});
    keyed->fields[2]->default_value = ole_variant(std::wstring(L"It's"));
    udb_indexes indexes;
    // a key after a unique index over its columns: both stay
    indexes.emplace_back(L"u0", true, false, std::vector<std::wstring>{L"id"});
    indexes.emplace_back(L"pk", true, true, std::vector<std::wstring>{L"id"});
    indexes.emplace_back(L"u1", true, false, std::vector<std::wstring>{L"a", L"b"});
    // the same rule as u1: left out
    indexes.emplace_back(L"u2", true, false, std::vector<std::wstring>{L"b", L"a"});
    // a unique index over the key's columns and one inside them stay constraints
    indexes.emplace_back(L"u3", true, false, std::vector<std::wstring>{L"a"});
    // covered by u1
    indexes.emplace_back(L"p1", false, false, std::vector<std::wstring>{L"a"});
    // a TEXT column cannot be indexed
    indexes.emplace_back(L"p2", false, false, std::vector<std::wstring>{L"c"});
    // the name of the table itself and a name differing in case only
    indexes.emplace_back(L"T", false, false, std::vector<std::wstring>{L"b"});
    indexes.emplace_back(L"U1", false, false, std::vector<std::wstring>{L"id", L"c2"});
    {
        const pgs_schema_initializer init(L"\"public\".\"t\"", *keyed, indexes, quote);
        EXPECT_EQ(init.get_init_str(),
                  L"CREATE TABLE \"public\".\"t\" (\"id\" INTEGER NOT NULL, \"a\" INTEGER, "
                  L"\"b\" VARCHAR(50)  DEFAULT 'It''s', \"c\" TEXT)");
    }

    std::unique_ptr<pgs_database> database = open();
    keyed->add_field(std::make_unique<t_ftd>(0, L"c2", VT_I4, false, false, ole_variant(), 0));
    database->create_table(L"T", *keyed, indexes);
    EXPECT_EQ(db.query_value("SELECT string_agg(indexdef, '; ' ORDER BY indexdef) FROM pg_indexes"
                             " WHERE tablename = 'T'"),
              "CREATE INDEX \"T00000\" ON public.\"T\" USING btree (b); "
              "CREATE INDEX \"U100000\" ON public.\"T\" USING btree (id, c2); "
              "CREATE UNIQUE INDEX pk ON public.\"T\" USING btree (id); "
              "CREATE UNIQUE INDEX u0 ON public.\"T\" USING btree (id); "
              "CREATE UNIQUE INDEX u1 ON public.\"T\" USING btree (a, b); "
              "CREATE UNIQUE INDEX u3 ON public.\"T\" USING btree (a)");
}

TEST_F(pgs_write_test, text_defaults_stay_inside_their_quotes_whatever_the_session_reads)
{
    db.exec("CREATE TABLE keep (a int); ALTER DATABASE \"" + db.name() +
            "\" SET standard_conforming_strings = off");
    const std::unique_ptr<udb_schema> fields =
        make_schema({{L"a", VT_I4, 0, 0}, {L"s", VT_BSTR, 60, 0}});
    const std::wstring text = L"x\\'); DROP TABLE keep; --";
    fields->fields[1]->default_value = ole_variant(text);
    std::unique_ptr<pgs_database> database = open();
    database->create_table(L"d", *fields, udb_indexes());
    EXPECT_EQ(db.query_value("SELECT count(*) FROM pg_tables WHERE tablename = 'keep'"), "1");
    db.exec("INSERT INTO d (a) VALUES (2)");
    EXPECT_EQ(db.query_value("SELECT s FROM d"), tk_to_utf8(text));
}

TEST_F(pgs_write_test, quoted_dotted_bare_and_long_names)
{
    const std::string user = test_pg_server::get().user;
    db.exec("CREATE SCHEMA \"my s\"; CREATE SCHEMA \"" + user +
            "\"; CREATE TABLE keep (a int);"
            "CREATE SCHEMA sales; CREATE TABLE public.t2 (a int)");
    const std::unique_ptr<udb_schema> fields = make_schema({{L"a", VT_I4, 0, 0}});
    std::unique_ptr<pgs_database> database = open();
    const auto load_one = [&](const std::wstring& name, int value) {
        std::unique_ptr<udb_recordset> rs = database->create_table(name, *fields, udb_indexes());
        append(*rs, {ole_variant(value)});
    };
    // a quote cannot end the name early
    load_one(L"x\"; DROP TABLE keep; --", 1);
    EXPECT_EQ(db.query_value("SELECT count(*) FROM pg_tables WHERE tablename = 'keep'"), "1");
    EXPECT_EQ(db.query_value("SELECT a FROM \"x\"\"; DROP TABLE keep; --\""), "1");
    // split at the first point, every part quoted
    load_one(L"my s.ta\"b.le", 2);
    EXPECT_EQ(db.query_value("SELECT a FROM \"my s\".\"ta\"\"b.le\""), "2");
    EXPECT_TRUE(database->is_table_exist(L"my s.ta\"b.le"));
    // a bare name goes to public, whatever the search path finds first
    load_one(L"bare", 3);
    EXPECT_EQ(db.query_value("SELECT schemaname FROM pg_tables WHERE tablename = 'bare'"),
              "public");
    EXPECT_TRUE(database->is_table_exist(L"public.bare"));
    // a listed name: the rows go into that table
    load_one(L"bare", 4);
    EXPECT_EQ(db.query_value("SELECT string_agg(a::text, ',' ORDER BY a) FROM public.bare"), "3,4");
    // 63 bytes are a name; 64 are refused before anything is sent
    const std::wstring name63(63, L'n');
    load_one(name63, 5);
    EXPECT_EQ(db.query_value("SELECT a FROM " + std::string(63, 'n')), "5");
    EXPECT_THROW(load_one(std::wstring(21, L'\u6771') + L"x", 6), pgs_exception);
    EXPECT_THROW(load_one(std::wstring(64, L's') + L".t", 6), pgs_exception);
    EXPECT_EQ(db.query_value("SELECT count(*) FROM pg_tables WHERE tablename LIKE 'x%' OR "
                             "tablename LIKE '\u6771%'"),
              "1");

    // without schema names: the table made is the one written, though t2 of public is listed
    engine.set_no_schema(true);
    std::unique_ptr<pgs_database> bare = open();
    {
        std::unique_ptr<udb_recordset> rs = bare->create_table(L"sales.t2", *fields, udb_indexes());
        append(*rs, {ole_variant(7)});
    }
    EXPECT_EQ(db.query_value("SELECT count(*) FROM public.t2"), "0");
    EXPECT_EQ(db.query_value("SELECT a FROM sales.t2"), "7");
    {
        std::unique_ptr<udb_recordset> rs = bare->create_table(L"new_one", *fields, udb_indexes());
        append(*rs, {ole_variant(8)});
    }
    EXPECT_TRUE(bare->is_table_exist(L"new_one"));
    EXPECT_EQ(db.query_value("SELECT a FROM public.new_one"), "8");
}

TEST_F(pgs_write_test, failures_leave_nothing_behind)
{
    const std::unique_ptr<udb_schema> fields =
        make_schema({{L"id", VT_I4, 0, 0}, {L"s", VT_BSTR, 3, 0}});
    fields->fields[1]->b_not_null = true;
    udb_indexes key;
    key.emplace_back(L"f_pk", true, true, std::vector<std::wstring>{L"id"});
    std::unique_ptr<pgs_database> database = open();
    std::unique_ptr<pgs_recordset> rs = as_pgs(database->create_table(L"f", *fields, key));

    // a value too long: complete raises with the line and column, nothing stays
    append(*rs, {ole_variant(1), text(L"")});
    append(*rs, {ole_variant(2), text(L"abcd")});
    try {
        rs->complete();
        FAIL();
    } catch (const pgs_exception& e) {
        EXPECT_NE(std::string(e.what()).find("line 2"), std::string::npos) << e.what();
        EXPECT_EQ(e.get_level(), 0);
    }
    EXPECT_EQ(db.query_value("SELECT count(*) FROM f"), "0");
    rs->complete(); // no load: nothing

    // a short record: the structure error, nothing of it sent, the load goes on
    {
        udb_record short_record;
        short_record.add_field(std::make_unique<udb_field>(L"", 0, ole_variant(9), false, false));
        try {
            rs->append_record(short_record);
            FAIL();
        } catch (const tk_exception& e) {
            EXPECT_EQ(e.get_level(), 0);
            EXPECT_STREQ(e.what(),
                         "The structure of data source does not conform to the destination table.");
        }
    }
    // an empty text is no NULL: a NOT NULL column takes it
    append(*rs, {ole_variant(3), text(L"")});
    // while the load is open the connection serves nothing else
    EXPECT_THROW(database->get_table(L"f", 1), pgs_exception);
    EXPECT_THROW(engine.connect(test_pg_server::get().host, test_pg_server::get().user,
                                test_pg_server::get().password, "", 0),
                 tk_exception);
    rs->complete();
    EXPECT_EQ(db.query_value("SELECT count(*) FROM f WHERE s = ''"), "1");

    // deleting without complete commits; deleting after a refused row reports it
    failure_reports reports;
    append(*rs, {ole_variant(4), text(L"ok")});
    rs.reset();
    EXPECT_EQ(db.query_value("SELECT count(*) FROM f"), "2");
    rs = as_pgs(database->create_table(L"f", *fields, key));
    append(*rs, {ole_variant(5), text(L"a")});
    append(*rs, {ole_variant(5), text(L"b")});
    rs.reset();
    ASSERT_EQ(reports.texts.size(), 1u);
    EXPECT_EQ(reports.texts[0].rfind("Rows of f were not loaded: ", 0), 0u) << reports.texts[0];
    EXPECT_EQ(reports.levels[0], 0);
    EXPECT_EQ(db.query_value("SELECT count(*) FROM f"), "2");
    // the connection is still usable
    EXPECT_TRUE(engine.is_db_exist(tk_from_utf8(db.name())));

    // a column type the model does not carry: an internal error before anything is sent
    try {
        database->create_table(L"v", *make_schema({{L"x", VT_VARIANT, 0, 0}}), udb_indexes());
        FAIL();
    } catch (const tk_exception& e) {
        EXPECT_EQ(e.get_level(), 2);
    }
    EXPECT_EQ(db.query_value("SELECT count(*) FROM pg_tables WHERE tablename = 'v'"), "0");

    // a failing index: no table, nothing listed, and a retry works
    db.exec("CREATE TABLE clash (a int)");
    udb_indexes clashing;
    clashing.emplace_back(L"clash", false, false, std::vector<std::wstring>{L"s"});
    EXPECT_THROW(database->create_table(L"g", *fields, clashing), pgs_exception);
    EXPECT_EQ(db.query_value("SELECT count(*) FROM pg_tables WHERE tablename = 'g'"), "0");
    EXPECT_FALSE(database->is_table_exist(L"g"));
    udb_indexes fine;
    fine.emplace_back(L"g_s", false, false, std::vector<std::wstring>{L"s"});
    database->create_table(L"g", *fields, fine);
    EXPECT_EQ(db.query_value("SELECT count(*) FROM pg_indexes WHERE tablename = 'g'"), "1");

    // foreign keys: one refused, or a rule not known, and none of the list is made
    udb_relationships rels;
    rels.emplace_back(L"fk_good", L"f_pk", L"g", L"f", std::vector<std::wstring>{L"id"},
                      std::vector<std::wstring>{L"id"}, L"");
    rels.emplace_back(L"fk_bad", L"f_pk", L"g", L"f", std::vector<std::wstring>{L"s"},
                      std::vector<std::wstring>{L"missing"}, L"");
    try {
        database->create_relationships(rels);
        FAIL();
    } catch (const pgs_exception& e) {
        EXPECT_EQ(std::string(e.what()).rfind("Cannot create foreign key:", 0), 0u);
    }
    rels.pop_back();
    rels.emplace_back(L"fk_rule", L"f_pk", L"g", L"f", std::vector<std::wstring>{L"id"},
                      std::vector<std::wstring>{L"id"}, L"ON DELETE CASCADE; DROP TABLE f");
    EXPECT_THROW(database->create_relationships(rels), pgs_exception);
    EXPECT_EQ(db.query_value("SELECT count(*) FROM pg_constraint WHERE contype = 'f'"), "0");
    rels.pop_back();
    database->create_relationships(rels);
    EXPECT_EQ(db.query_value("SELECT count(*) FROM pg_constraint WHERE contype = 'f'"), "1");
}
