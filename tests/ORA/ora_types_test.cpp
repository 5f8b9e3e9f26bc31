#include "ora_type.hpp"
#include "ora_util.hpp"
#include "tk_except.hpp"
#include "udb_rec.hpp"
#include "udb_sche.hpp"

#include <gtest/gtest.h>

namespace {

t_ftd column(VARTYPE vt, int size, int reserved = 0, const ole_variant& def = ole_variant())
{
    return t_ftd(size, L"C", vt, false, false, def, reserved);
}

struct native_case {
    VARTYPE vt;
    int size;
    int reserved;
    const wchar_t* type;
};

} // namespace

TEST(ora_types, native_type_follows_the_variant_type_size_and_detail)
{
    const native_case cases[] = {
        {VT_I1, 0, 0, L"NUMBER(3,0)"},
        {VT_BOOL, 0, 0, L"NUMBER(3,0)"},
        {VT_I2, 0, 0, L"NUMBER(5,0)"},
        {VT_UI1, 0, 0, L"NUMBER(5,0)"},
        {VT_I4, 0, 0, L"NUMBER(11,0)"},
        {VT_UI2, 0, 0, L"NUMBER(11,0)"},
        {VT_INT, 0, 0, L"NUMBER(11,0)"},
        {VT_UI4, 0, 0, L"NUMBER(19,0)"},
        {VT_I8, 0, 0, L"NUMBER(19,0)"},
        {VT_UINT, 0, 0, L"NUMBER(19,0)"},
        {VT_UI8, 0, 0, L"NUMBER(20,0)"},
        {VT_R4, 0, 0, L"NUMBER"},
        {VT_R8, 0, 0, L"NUMBER"},
        {VT_CY, 0, 0, L"NUMBER"},
        {VT_DECIMAL, 0, (10 << 8) | 2, L"NUMBER(10,2)"},
        // oracle refuses NUMBER(0,0) and precisions above 38
        {VT_DECIMAL, 0, 0, L"NUMBER"},
        {VT_DECIMAL, 0, (39 << 8) | 4, L"NUMBER"},
        {VT_DECIMAL, 0, (38 << 8) | 0, L"NUMBER(38,0)"},
        {VT_DATE, 0, 1, L"TIMESTAMP"},
        {VT_DATE, 0, 0, L"DATE"},
        {VT_DATE, 0, 2, L"DATE"},
        {VT_DATE, 0, 3, L"DATE"},
        // a standard database holds at most 2000 in NVARCHAR2 and RAW
        {VT_BSTR, 1, 0, L"NVARCHAR2(1) "},
        {VT_BSTR, 2000, 0, L"NVARCHAR2(2000) "},
        {VT_BSTR, 2001, 0, L"CLOB"},
        {VT_BSTR, 4000, 0, L"CLOB"},
        {VT_BSTR, 0, 0, L"CLOB"},
        {VT_BSTR, -1, 0, L"CLOB"},
        {VT_BLOB, 16, 0, L"RAW(16)"},
        {VT_BLOB, 2000, 0, L"RAW(2000)"},
        {VT_BLOB, 3000, 0, L"BLOB"},
        {VT_BLOB, 0, 0, L"BLOB"},
    };
    for (const native_case& c : cases)
        EXPECT_EQ(ora_get_native_type(column(c.vt, c.size, c.reserved)), c.type)
            << "vt=" << c.vt << " size=" << c.size << " reserved=" << c.reserved;
}

TEST(ora_types, native_type_of_an_unknown_variant_type_is_an_internal_error)
{
    try {
        ora_get_native_type(column(VT_ARRAY | VT_UI1, 10));
        FAIL();
    } catch (const tk_exception& e) {
        EXPECT_EQ(e.get_level(), 2);
    }
}

struct literal_case {
    const wchar_t* text;
    VARTYPE vt;
    const wchar_t* literal;
};

TEST(ora_types, literal_of_a_value_text)
{
    const literal_case cases[] = {
        {L"", VT_BSTR, L"''"},
        {L"", VT_I4, L"''"},
        {L"O'Brien", VT_BSTR, L"'O''Brien'"},
        {L"12.5", VT_R8, L"12.5"},
        {L"-3", VT_I4, L"-3"},
        {L"2024-02-29 00:00:00", VT_DATE, L"to_date('2024-02-29', 'YYYY-MM-DD')"},
        {L"2024-02-29 10:20:30", VT_DATE,
         L"to_date('2024-02-29 10:20:30', 'YYYY-MM-DD HH24:MI:SS')"},
        {L"2024-02-29", VT_DATE, L"to_date('2024-02-29', 'YYYY-MM-DD')"},
        {L"14:30:15", VT_DATE, L"to_date('14:30:15', 'HH24-MI-SS')"},
        {L"no date at all", VT_DATE, L""},
        {L"0x0A1B", VT_ARRAY | VT_UI1, L"'0A1B'"},
        {L"0X0a1b", VT_BLOB, L"'0a1b'"},
        {L"0xZZ", VT_BLOB, L"''"},
        {L"0", VT_BLOB, L"''"},
        {L"abc", VT_BLOB_OBJECT, L"''"},
    };
    for (const literal_case& c : cases)
        EXPECT_EQ(to_oracle_str(c.text, c.vt), c.literal) << "vt=" << c.vt;
}

namespace {

const wchar_t guid_text[] =
    L"the row guid is {01234567-89AB-CDEF-0123-456789ABCDEF} as stored by the client";

} // namespace

TEST(ora_types, guid_in_text_is_written_as_text_unless_the_column_holds_16_bytes)
{
    udb_field value(L"G", 100, ole_variant(std::wstring(guid_text)), false, false);
    const std::wstring as_text = L"'" + std::wstring(guid_text) + L"'";
    EXPECT_EQ(to_oracle_str(&value), as_text);

    const t_ftd text_column = column(VT_BSTR, 200);
    EXPECT_EQ(to_oracle_str(&value, &text_column), as_text);

    const t_ftd raw16 = column(VT_BLOB, 16);
    EXPECT_EQ(to_oracle_str(&value, &raw16), L"HEXTORAW('67452301AB89EFCD0123456789ABCDEF')");

    const t_ftd raw32 = column(VT_BLOB, 32);
    EXPECT_EQ(to_oracle_str(&value, &raw32), as_text);
}

TEST(ora_types, literal_of_a_field_without_guid_uses_its_type)
{
    udb_field number(L"N", 0, ole_variant(42), false, false);
    EXPECT_EQ(to_oracle_str(&number), L"42");
    udb_field empty(L"E", 0, ole_variant(), false, false);
    EXPECT_EQ(to_oracle_str(&empty), L"''");
    const unsigned char bytes[] = {0x00, 0xAB};
    udb_field blob(L"B", 0, ole_variant(2u, bytes), false, false);
    EXPECT_EQ(to_oracle_str(&blob), L"'00AB'");
    EXPECT_THROW(to_oracle_str(static_cast<const udb_field*>(nullptr)), tk_mail_assertion);
}

struct default_case {
    VARTYPE vt;
    int size;
    const wchar_t* text;
    const wchar_t* literal;
};

TEST(ora_types, default_literal_of_a_descriptor)
{
    const default_case cases[] = {
        {VT_I4, 0, L"5", L"5"},
        {VT_I4, 0, L"-5", L"-5"},
        {VT_I4, 0, L"005", L""},
        {VT_I4, 0, L"+5", L""},
        {VT_I4, 0, L" 5", L""},
        {VT_I4, 0, L"nextval('s')", L""},
        {VT_R8, 0, L"1e200", L"0"},
        {VT_R8, 0, L"-1e200", L"0"},
        {VT_R8, 0, L"1e126", L"1e126"},
        {VT_R8, 0, L"2.5", L"2.5"},
        {VT_R8, 0, L"0", L"0"},
        {VT_R8, 0, L"0.00", L"0.00"},
        {VT_R8, 0, L"abc", L""},
        {VT_R8, 0, L"nan", L""},
        {VT_DECIMAL, 0, L"12.345", L"12.345"},
        {VT_BSTR, 10, L"it's", L"'it''s'"},
        {VT_BSTR, 3, L"abcdef", L"'abc'"},
        {VT_BSTR, 0, L"abc", L"''"},
        {VT_DATE, 0, L"2010-03-05 14:30:00",
         L"to_date('2010-03-05 14:30:00', 'YYYY-MM-DD HH24:MI:SS')"},
        {VT_DATE, 0, L"now()", L""},
        {VT_I8, 0, L"5", L""},
        {VT_BLOB, 0, L"0x00", L""},
    };
    for (const default_case& c : cases) {
        const t_ftd f = column(c.vt, c.size, 0, ole_variant(std::wstring(c.text)));
        EXPECT_EQ(make_ora_def_val(&f), c.literal) << "vt=" << c.vt;
    }
    const t_ftd none = column(VT_I4, 0);
    EXPECT_EQ(make_ora_def_val(&none), L"");
    EXPECT_THROW(make_ora_def_val(nullptr), tk_mail_assertion);
}

TEST(ora_types, number_columns_refine_to_the_narrowest_exact_type)
{
    struct refine_case {
        int precision, scale;
        VARTYPE vt;
        int precision_after;
    } cases[] = {
        {0, 0, VT_R8, 0},       {39, 0, VT_R8, 39},    {1, 0, VT_I1, 1},
        {2, 0, VT_I1, 2},       {3, 0, VT_I2, 3},      {4, 0, VT_I2, 4},
        {5, 0, VT_I4, 5},       {9, 0, VT_I4, 9},      {10, 0, VT_I8, 10},
        {12, 0, VT_I8, 12},     {18, 0, VT_I8, 18},    {19, 0, VT_DECIMAL, 19},
        {28, 0, VT_DECIMAL, 28}, {29, 0, VT_R8, 29},   {38, 0, VT_R8, 38},
        {10, 2, VT_DECIMAL, 10}, {5, 5, VT_DECIMAL, 6},
    };
    for (auto c : cases) {
        int p = c.precision, s = c.scale;
        EXPECT_EQ(get_refined_num_type(p, s), c.vt) << c.precision << "," << c.scale;
        EXPECT_EQ(p, c.precision_after);
    }
}

TEST(ora_types, seven_byte_dates_decode_to_the_broken_down_time)
{
    const ub1 afternoon[7] = {120, 113, 3, 11, 15, 6, 10};
    SYSTEMTIME t = ora_date::decode(afternoon);
    EXPECT_EQ(t.wYear, 2013);
    EXPECT_EQ(t.wMonth, 3);
    EXPECT_EQ(t.wDay, 11);
    EXPECT_EQ(t.wHour, 14);
    EXPECT_EQ(t.wMinute, 5);
    EXPECT_EQ(t.wSecond, 9);

    const ub1 no_time[7] = {119, 199, 12, 31, 0, 0, 0};  // 1999-12-31
    t = ora_date::decode(no_time);
    EXPECT_EQ(t.wYear, 1999);
    EXPECT_EQ(t.wHour, 0);
    EXPECT_EQ(t.wMinute, 0);
    EXPECT_EQ(t.wSecond, 0);
}
