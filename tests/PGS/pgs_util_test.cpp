#include "pgs_copy.hpp"
#include "pgs_util.hpp"
#include "pgs_vali.hpp"
#include "tk_except.hpp"
#include "udb_sche.hpp"

#include <gtest/gtest.h>

#include <string>

namespace {

// the session's quoting without a server: standard strings
std::wstring quote(const std::wstring& text)
{
    std::wstring quoted = L"'";
    for (wchar_t c : text)
        quoted += c == L'\'' ? std::wstring(L"''") : std::wstring(1, c);
    return quoted + L"'";
}

t_ftd field(VARTYPE vartype, int size = 0, int reserved = 0, ole_variant def = ole_variant())
{
    return t_ftd(size, L"c", vartype, false, false, def, reserved);
}

} // namespace

TEST(pgs_native_type, every_type_the_model_carries)
{
    struct {
        VARTYPE vartype;
        int size;
        int reserved;
        const wchar_t* type;
    } cases[] = {
        {VT_I1, 0, 0, L"SMALLINT"},
        {VT_I2, 0, 0, L"SMALLINT"},
        {VT_UI1, 0, 0, L"SMALLINT"},
        {VT_I4, 0, 0, L"INTEGER"},
        {VT_UI2, 0, 0, L"INTEGER"},
        {VT_INT, 0, 0, L"INTEGER"},
        {VT_UI4, 0, 0, L"BIGINT"},
        {VT_I8, 0, 0, L"BIGINT"},
        {VT_UINT, 0, 0, L"BIGINT"},
        {VT_UI8, 0, 0, L"DECIMAL(20,0)"},
        {VT_R4, 0, 0, L"FLOAT"},
        {VT_R8, 0, 0, L"DOUBLE PRECISION"},
        {VT_CY, 0, 0, L"DECIMAL(19, 4)"},
        {VT_DECIMAL, 0, 0x0A02, L"DECIMAL(10,2)"},
        {VT_DECIMAL, 0, 0, L"DECIMAL"},
        {VT_DATE, 0, 0, L"TIMESTAMP"},
        {VT_DATE, 0, 1, L"TIMESTAMP"},
        {VT_DATE, 0, 2, L"DATE"},
        {VT_DATE, 0, 3, L"TIME"},
        {VT_BSTR, 40, 0, L"VARCHAR(40) "},
        {VT_BSTR, 32672, 0, L"VARCHAR(32672) "},
        {VT_BSTR, 32673, 0, L"TEXT"},
        {VT_BSTR, 0, 0, L"TEXT"},
        {VT_LPWSTR, 10, 0, L"VARCHAR(10) "},
        {VT_BOOL, 0, 0, L"CHAR(1)"},
        {VT_BLOB, 0, 0, L"BYTEA"},
        {VT_ARRAY | VT_UI1, 0, 0, L"BYTEA"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(pgs_get_native_type(field(c.vartype, c.size, c.reserved)), c.type)
            << "vartype " << c.vartype << " size " << c.size;
    try {
        pgs_get_native_type(field(VT_VARIANT));
        FAIL();
    } catch (const tk_exception& e) {
        EXPECT_EQ(e.get_level(), 2);
    }
}

TEST(pgs_default, only_well_formed_values_of_the_type_become_defaults)
{
    struct {
        VARTYPE vartype;
        int size;
        int reserved;
        const wchar_t* text;
        const wchar_t* def;
    } cases[] = {
        {VT_I4, 0, 0, L"7", L"7"},
        {VT_I4, 0, 0, L"-7", L"-7"},
        {VT_I4, 0, 0, L"007", L""},
        {VT_I4, 0, 0, L"1); DROP TABLE t; --", L""},
        {VT_R8, 0, 0, L"0.000", L"0.000"},
        {VT_R8, 0, 0, L"-1.5e-3", L"-1.5e-3"},
        {VT_R8, 0, 0, L"abc", L""},
        {VT_R8, 0, 0, L"1.5abc", L""},
        {VT_R8, 0, 0, L"1); DROP TABLE t; --", L""},
        {VT_R8, 0, 0, L"inf", L""},
        {VT_R8, 0, 0, L"0x1A", L""},
        {VT_R8, 0, 0, L" 1", L""},
        {VT_DECIMAL, 0, 0, L"1e400", L""},
        {VT_BSTR, 40, 0, L"It's", L"'It''s'"},
        {VT_BSTR, 3, 0, L"abcdef", L"'abc'"},
        // a text naming a guid stays its text
        {VT_BSTR, 60, 0, L"id {6F9619FF-8B86-D011-B42D-00C04FC964FF}",
         L"'id {6F9619FF-8B86-D011-B42D-00C04FC964FF}'"},
        {VT_DATE, 0, 3, L"10:30:00", L"'10:30:00'"},
        {VT_DATE, 0, 2, L"2020-01-05", L"'2020-01-05'"},
        {VT_DATE, 0, 1, L"2020-01-05", L"'2020-01-05 00:00:00'"},
        // a time alone is no date
        {VT_DATE, 0, 1, L"10:30:00", L""},
        {VT_DATE, 0, 0, L"no date", L""},
        {VT_I8, 0, 0, L"5", L""},
        {VT_I4, 0, 0, L"", L""},
    };
    for (const auto& c : cases) {
        const t_ftd f = field(c.vartype, c.size, c.reserved, ole_variant(std::wstring(c.text)));
        EXPECT_EQ(make_pgs_def_val(&f, quote), c.def) << "vartype " << c.vartype;
    }
    EXPECT_THROW(make_pgs_def_val(nullptr, quote), tk_exception);
    EXPECT_EQ(to_pgs_str(L"", VT_BSTR, 1, quote), L"''");
}

TEST(pgs_date_text, years_as_stored_and_milliseconds)
{
    SYSTEMTIME time{50, 6, 0, 15, 7, 8, 9, 0, 0};
    EXPECT_EQ(pgs_date_text(time, 1), "0050-06-15 07:08:09");
    EXPECT_EQ(pgs_date_text(time, 2), "0050-06-15");
    EXPECT_EQ(pgs_date_text(time, 3), "07:08:09");
    time.wMilliseconds = 5;
    EXPECT_EQ(pgs_date_text(time, 1), "0050-06-15 07:08:09.005");
    EXPECT_EQ(pgs_date_text(time, 3), "07:08:09.005");
    EXPECT_EQ(pgs_date_text(time, 2), "0050-06-15");
}

TEST(pgs_escape, copy_text_of_values)
{
    struct {
        std::string value;
        std::string escaped;
    } cases[] = {
        {"a\tb\\c", "a\\tb\\\\c"},
        {"\b\t\n\v\f\r\\", "\\b\\t\\n\\v\\f\\r\\\\"},
        {"\\N", "\\\\N"},
        {"\\.", "\\\\."},
        {"\x01\x7f", "\x01\x7f"},
        {"Gr\xc3\xbc\xc3\x9f"
         "e \xf0\x9f\x98\x80",
         "Gr\xc3\xbc\xc3\x9f"
         "e \xf0\x9f\x98\x80"},
        {"it's \"q\"", "it's \"q\""},
        {"", ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(EscapePGS(c.value, std::nullopt), c.escaped) << c.value;
    // a null text stands for NULL only where there is one
    EXPECT_EQ(EscapePGS("", std::string()), "\\N");
    EXPECT_EQ(EscapePGS("x", std::string("x")), "\\N");
    EXPECT_EQ(EscapePGS("", std::nullopt), "");
}

TEST(pgs_validator_rules, names_stay_within_what_the_server_keeps)
{
    udb_schema fields;
    const std::wstring east(30, L'\u6771');
    fields.add_field(std::make_unique<t_ftd>(0, east, VT_I4, false, false, ole_variant(), 0));
    fields.add_field(std::make_unique<t_ftd>(0, L"xmin", VT_I4, false, false, ole_variant(), 0));
    pgs_fn_validator validator(fields);
    // 30 characters of three bytes each are 90 bytes: the server would cut them
    EXPECT_FALSE(validator.is_acceptable(east));
    const std::wstring safe = validator.get_safe_name(east);
    EXPECT_EQ(safe, std::wstring(21, L'\u6771'));
    validator.add_existing_name(safe);
    validator.restricted_words.push_back(safe);
    // the second such name is numbered within 63 bytes, of whole characters
    const std::wstring second = validator.get_safe_name(east);
    EXPECT_NE(second, safe);
    EXPECT_LE(pgs_name_bytes(second), 63u);
    EXPECT_TRUE(validator.is_acceptable(second));
    // system columns are taken
    EXPECT_FALSE(validator.is_acceptable(L"xmin"));
    EXPECT_FALSE(validator.is_acceptable(L"CTID"));
    EXPECT_EQ(validator.get_safe_name(L"xmin"), L"xmin00000");
    // a four-byte character is never cut in half
    EXPECT_EQ(pgs_cut_name(L"a\xD83D\xDE00\xD83D\xDE00", 5), L"a\xD83D\xDE00");
    EXPECT_EQ(pgs_name_bytes(L"a\xD83D\xDE00\u00fc"), 7u);
}
