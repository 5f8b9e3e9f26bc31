#include "ora_writer_fixture.hpp"

#include "ora_except.hpp"
#include "ora_schinit.hpp"
#include "tk_except.hpp"
#include "tk_utils.hpp"

namespace
{

struct column_case {
    const wchar_t* name;
    VARTYPE vt;
    int size;
    int reserved;
    const wchar_t* data_type;   // USER_TAB_COLUMNS.DATA_TYPE
    const wchar_t* nullable;
    const wchar_t* data_default;
};

} // namespace

using ora_create_test = ora_writer_test;

TEST_F(ora_create_test, column_types_defaults_and_not_null_arrive_in_the_catalogue)
{
    // every column NOT NULL with a default, so that the clauses show where they are kept
    const column_case cases[] = {
        {L"I4", VT_I4, 0, 0, L"NUMBER", L"N", L"5"},
        {L"T2000", VT_BSTR, 2000, 0, L"NVARCHAR2", L"N", L"'d'"},
        {L"T2001", VT_BSTR, 2001, 0, L"CLOB", L"N", L""},
        {L"T0", VT_BSTR, 0, 0, L"CLOB", L"N", L""},
        {L"R2000", VT_BLOB, 2000, 0, L"RAW", L"N", L""},
        {L"R2001", VT_BLOB, 2001, 0, L"BLOB", L"N", L""},
        {L"DEC", VT_DECIMAL, 0, (10 << 8) | 2, L"NUMBER", L"N", L"5"},
        {L"DT", VT_DATE, 0, 2, L"DATE", L"N", L""},
    };
    std::vector<t_ftd> fields;
    for (const column_case& c : cases) {
        ole_variant def;
        if (c.vt == VT_BSTR)
            def = text(L"d");
        else if (c.vt == VT_I4 || c.vt == VT_DECIMAL)
            def = text(L"5");
        fields.push_back(col(c.name, c.vt, c.size, true, def, c.reserved));
    }
    auto t = create(L"TYPES", fields);

    for (const column_case& c : cases) {
        SCOPED_TRACE(testing::Message() << "column " << tk_to_utf8(c.name));
        ora_rows r = rows(std::wstring(L"SELECT DATA_TYPE, NULLABLE, DATA_DEFAULT FROM "
                                       L"USER_TAB_COLUMNS WHERE TABLE_NAME='TYPES' AND "
                                       L"COLUMN_NAME='")
                          + c.name + L"'");
        ASSERT_EQ(r.size(), 1u);
        EXPECT_EQ(r[0][0], c.data_type);
        EXPECT_EQ(r[0][1], c.nullable);
        EXPECT_EQ(tk_trim(r[0][2]), c.data_default);
    }
    ora_rows dec = rows(L"SELECT DATA_PRECISION, DATA_SCALE FROM USER_TAB_COLUMNS WHERE "
                        L"TABLE_NAME='TYPES' AND COLUMN_NAME='DEC'");
    ASSERT_EQ(dec.size(), 1u);
    EXPECT_EQ(std::stod(dec[0][0]), 10.0);
    EXPECT_EQ(std::stod(dec[0][1]), 2.0);
    EXPECT_EQ(std::stod(value(L"SELECT DATA_LENGTH FROM USER_TAB_COLUMNS WHERE "
                              L"TABLE_NAME='TYPES' AND COLUMN_NAME='R2000'")),
              2000.0);
}

TEST_F(ora_create_test, column_names_are_made_acceptable_unique_and_mapped)
{
    udb_schema source;
    source.add_field(std::make_unique<t_ftd>(col(L"id", VT_I4)));
    source.add_field(std::make_unique<t_ftd>(col(L"ID", VT_I4)));
    source.add_field(std::make_unique<t_ftd>(col(L"1st", VT_I4)));
    source.add_field(std::make_unique<t_ftd>(col(L"name", VT_I4)));

    ora_schema_initializer plain(L"N1", source, false);
    std::vector<std::wstring> names;
    for (const auto& f : plain.get_fields().fields)
        names.push_back(f->name);
    EXPECT_EQ(names, (std::vector<std::wstring>{L"id", L"ID00000", L"A1st", L"name"}));
    EXPECT_EQ(plain.get_names_map(),
              (t_names_map{{{L"ID", L"ID00000"}, {L"1st", L"A1st"}}}));

    ora_schema_initializer upper(L"N2", source, true);
    EXPECT_EQ(upper.get_names_map().get_mapped_name(L"name", true), L"NAME");
    EXPECT_EQ(upper.get_names_map().get_mapped_name(L"id", true), L"ID");
    EXPECT_EQ(upper.get_names_map().get_mapped_name(L"ID", true), L"ID00000");

    plain.build_schema(db().session());
    EXPECT_EQ(rows(L"SELECT COLUMN_NAME FROM USER_TAB_COLUMNS WHERE TABLE_NAME='N1' ORDER BY "
                   L"COLUMN_ID"),
              (ora_rows{{L"id"}, {L"ID00000"}, {L"A1st"}, {L"name"}}));
}

TEST_F(ora_create_test, auto_increment_column_gets_a_sequence_and_a_trigger)
{
    udb_schema source;
    source.add_field(std::make_unique<t_ftd>(0, L"FIRST", VT_I4, true, true, ole_variant(L"1"), 0));
    source.add_field(std::make_unique<t_ftd>(0, L"ID", VT_I4, true, true, ole_variant(L"5"), 0));
    source.add_field(std::make_unique<t_ftd>(col(L"V", VT_BSTR, 10)));
    ora_schema_initializer builder(L"AUTO", source, false);
    EXPECT_EQ(builder.get_auto_increment_column(), L"ID");
    builder.build_schema(db().session());

    // both flagged columns are created nullable without default; only the last is filled
    EXPECT_EQ(rows(L"SELECT COLUMN_NAME, NULLABLE, DATA_DEFAULT FROM USER_TAB_COLUMNS WHERE "
                   L"TABLE_NAME='AUTO' AND COLUMN_NAME IN ('FIRST', 'ID') ORDER BY COLUMN_NAME"),
              (ora_rows{{L"FIRST", L"Y", L""}, {L"ID", L"Y", L""}}));
    EXPECT_EQ(count(L"SELECT COUNT(*) FROM USER_SEQUENCES WHERE SEQUENCE_NAME='AUTO_0'"), 1);

    exec(L"INSERT INTO AUTO (V) VALUES ('a')");
    exec(L"INSERT INTO AUTO (V) VALUES ('b')");
    EXPECT_EQ(rows(L"SELECT FIRST, ID, V FROM AUTO ORDER BY ID"),
              (ora_rows{{L"", L"1", L"a"}, {L"", L"2", L"b"}}));
}

TEST_F(ora_create_test, refused_trigger_of_a_lower_case_table_leaves_table_and_sequence)
{
    udb_schema source;
    source.add_field(std::make_unique<t_ftd>(0, L"ID", VT_I4, false, true, ole_variant(), 0));
    ora_schema_initializer builder(L"lower", source, false);
    // the unquoted trigger names table LOWER, which does not exist
    EXPECT_NO_THROW(builder.build_schema(db().session()));
    EXPECT_EQ(count(L"SELECT COUNT(*) FROM USER_TABLES WHERE TABLE_NAME='lower'"), 1);
    EXPECT_EQ(count(L"SELECT COUNT(*) FROM USER_SEQUENCES WHERE SEQUENCE_NAME='lower_0'"), 1);
}

TEST_F(ora_create_test, sequence_takes_the_first_free_name_within_30_characters)
{
    udb_schema source;
    source.add_field(std::make_unique<t_ftd>(0, L"ID", VT_I4, false, true, ole_variant(), 0));

    exec(L"CREATE SEQUENCE \"T_0\"");
    exec(L"CREATE TABLE \"T_1\" (A NUMBER)");
    ora_schema_initializer t(L"T", source, false);
    EXPECT_EQ(t.create_sequence(db().session()), L"T_2");

    // 30 characters: the base keeps 28, and 27 for two-digit numbers
    const std::wstring name30 = L"ABCDEFGHIJKLMNOPQRSTUVWXYZABCD";
    const std::wstring base28 = name30.substr(0, 28);
    for (int n = 0; n < 10; ++n)
        exec(L"CREATE SEQUENCE \"" + base28 + L"_" + std::to_wstring(n) + L"\"");
    ora_schema_initializer long_name(name30, source, false);
    EXPECT_EQ(long_name.create_sequence(db().session()), name30.substr(0, 27) + L"_10");
}

TEST_F(ora_create_test, refused_sequence_privilege_ends_with_its_own_text)
{
    inject_error("CREATE SEQUENCE*", 1031);
    udb_schema source;
    source.add_field(std::make_unique<t_ftd>(0, L"ID", VT_I4, false, true, ole_variant(), 0));
    ora_schema_initializer builder(L"PRIV", source, false);
    try {
        builder.build_schema(db().session());
        FAIL() << "the refused sequence was not reported";
    } catch (const ora_exception&) {
        FAIL() << "the client's error came through unchanged";
    } catch (const tk_exception& e) {
        EXPECT_STREQ(e.what(),
                     "Insufficient privileges to create sequence.\nAuto increment will not be "
                     "converted.");
        EXPECT_EQ(e.get_level(), 0);
    }
    EXPECT_EQ(count(L"SELECT COUNT(*) FROM USER_TABLES WHERE TABLE_NAME='PRIV'"), 1);
}

TEST_F(ora_create_test, table_without_columns_is_refused_by_the_server)
{
    udb_schema source;
    ora_schema_initializer builder(L"EMPTY", source, false);
    EXPECT_THROW(builder.build_schema(db().session()), ora_exception);
}
