#include "pgs_type.hpp"
#include "pgs_vali.hpp"
#include "pgs_value.hpp"
#include "tk_utils.hpp"

#include <gtest/gtest.h>

#include <memory>
#include <string>

TEST(pgs_type, type_names_map_exactly_to_variant_types)
{
    struct {
        const char* name;
        VARTYPE vartype;
    } cases[] = {
        {"boolean", VT_BOOL},
        {"Boolean", VT_BSTR},
        {"timestamp without time zone", VT_DATE},
        {"timestamp with time zone", VT_DATE},
        {"date", VT_DATE},
        {"time without time zone", VT_BSTR},
        {"bigint", VT_I8},
        {"integer", VT_I4},
        {"smallint", VT_I2},
        {"real", VT_R8},
        {"float4", VT_R4},
        {"double precision", VT_R8},
        {"numeric", VT_DECIMAL},
        {"money", VT_DECIMAL},
        {"bytea", VT_BLOB},
        {"ARRAY", VT_BSTR},
        {"uuid", VT_BSTR},
        {"character varying", VT_BSTR},
        {"USER-DEFINED", VT_BSTR},
        {"", VT_BSTR},
    };
    for (const auto& c : cases)
        EXPECT_EQ(pgs_get_vartype(c.name), c.vartype) << c.name;
}

TEST(pgs_validator_rules, acceptable_names_and_safe_replacements)
{
    pgs_validator validator;
    struct {
        std::wstring name;
        bool acceptable;
        std::wstring safe;
    } cases[] = {
        {L"order_id", true, L"order_id"},
        {L"Price$#_1", true, L"Price$#_1"},
        {L"1st", false, L"A1st"},
        {L"a-b", false, L"a_b"},
        {std::wstring(30, L'x'), true, std::wstring(30, L'x')},
        {std::wstring(31, L'x'), false, std::wstring(29, L'x')},
        {L"Straße", true, L"Straße"},
        {L"", false, L"A"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(validator.is_acceptable(c.name), c.acceptable);
        EXPECT_EQ(validator.get_safe_name(c.name), c.safe);
    }
    validator.restricted_words.push_back(L"select");
    EXPECT_FALSE(validator.is_acceptable(L"SELECT"));
    EXPECT_EQ(validator.get_safe_name(L"Select"), L"Select00000");
}

TEST(pgs_validator_rules, field_names_of_a_table_are_duplicates)
{
    udb_schema fields;
    fields.add_field(std::make_unique<t_ftd>(0, L"Id", VT_I4, false, false, ole_variant(), 0));
    pgs_fn_validator validator(fields);
    EXPECT_TRUE(validator.is_duplicated(L"ID"));
    EXPECT_EQ(validator.get_safe_name(L"id"), L"id00000");
}

TEST(pgs_validator_rules, index_name_registered_for_one_table_is_duplicated_later)
{
    auto owner = std::make_unique<pgs_validator_singleton>();
    pgs_validator_singleton& holder = *owner;
    udb_indexes first;
    first.push_back(udb_index(L"ix_name", false, false, {L"name"}));
    holder.register_indexes(first);
    EXPECT_TRUE(pgs_validator_singleton::instance().get_validator().is_duplicated(L"IX_NAME"));
    EXPECT_EQ(holder.get_validator().get_safe_name(L"ix_name"), L"ix_name00000");
}

TEST(pgs_value_text, base64_bytes_are_decoded_whole_or_refused)
{
    const struct {
        std::string text;
        std::string bytes;
    } cases[] = {
        {"", ""},
        {"AA==", std::string(1, '\0')},
        {"AP8=", std::string("\0\xff", 2)},
        {"AP8A", std::string("\0\xff\0", 3)},
        {"QUJD\nREVG\nRw==", "ABCDEFG"},
        {"+/+/", "\xfb\xff\xbf"},
        {"QU\nJDRE\r\nVG\nRw=\n=\n", "ABCDEFG"},
    };
    for (const auto& c : cases) {
        ole_variant value;
        ASSERT_TRUE(pgs_decode_base64(c.text.data(), c.text.size(), value)) << c.text;
        const BYTE* data = nullptr;
        const unsigned size = value.get_bytes(data);
        EXPECT_EQ(std::string(reinterpret_cast<const char*>(data), size), c.bytes) << c.text;
    }
    for (const std::string refused : {"A", "AAA", "AA=A", "A===", "AA!A", "AAAA=",
                                        "QUJDR!VG", "QUJD=\nQUJD"}) {
        ole_variant value;
        EXPECT_FALSE(pgs_decode_base64(refused.data(), refused.size(), value)) << refused;
        EXPECT_EQ(value.get_vt(), VT_EMPTY) << refused;
    }
}

TEST(pgs_value_text, reader_date_text_is_read_whole_or_refused)
{
    struct {
        const char* text;
        int year, month, day, hour, minute, second, millisecond, microsecond;
    } cases[] = {
        {"25-12-2020 17:30:05 123456", 2020, 12, 25, 17, 30, 5, 123, 456},
        {"05-03-2010 00:00:00 000000", 2010, 3, 5, 0, 0, 0, 0, 0},
        {"01-01-0001 23:59:59 999999", 1, 1, 1, 23, 59, 59, 999, 999},
    };
    SYSTEMTIME t{};
    for (const char* refused : {"01-01-12345 00:00:00 000000", "?infinity", "?0044-03-15 BC",
                                "05-13-2010 00:00:00 000000", "05-03-2010 00:00:00",
                                "05-03-2010 00:00:00 000", "05-03-2010 00:00:00 000000 x", ""})
        EXPECT_FALSE(pgs_parse_date(refused, t)) << refused;
    for (const auto& c : cases) {
        ASSERT_TRUE(pgs_parse_date(c.text, t)) << c.text;
        EXPECT_EQ(t.wYear, c.year);
        EXPECT_EQ(t.wMonth, c.month);
        EXPECT_EQ(t.wDay, c.day);
        EXPECT_EQ(t.wHour, c.hour);
        EXPECT_EQ(t.wMinute, c.minute);
        EXPECT_EQ(t.wSecond, c.second);
        EXPECT_EQ(t.wMilliseconds, c.millisecond);
        EXPECT_EQ(t.wMicroseconds, c.microsecond);
    }
}

TEST(pgs_value_text, decimal_text_is_held_exactly_or_refused)
{
    struct {
        const char* text;
        int scale;
        bool negative;
        unsigned long long low;
        unsigned hi;
    } cases[] = {
        {"12.50", 2, false, 1250, 0},
        {"-0.0001", 4, true, 1, 0},
        {"0.00", 2, false, 0, 0},
        {"-0", 0, false, 0, 0},
        {"79228162514264337593543950335", 0, false, ~0ull, 0xffffffffu},
        // 10^28: trailing zeros past the decimal's scale carry no value
        {"1.00000000000000000000000000000000", 28, false, 0x3e25026110000000ull, 0x204fce5eu},
        // a numeric(38,4) value: the padding zeros give way where 96 bits need it
        {"12345678901234567890123456789.0000", 0, false, 0x46bec9b16e398115ull, 0x27e41b32u},
        {"1234567890123456789012345678.9000", 1, false, 0x46bec9b16e398115ull, 0x27e41b32u},
    };
    DECIMAL d{};
    for (const char* refused : {"79228162514264337593543950336",
                                "0.00000000000000000000000000001", "NaN", "Infinity", "", "-",
                                "1.2.3", "1e5", "79228162514264337593543950335.1",
                                "79228162514264337593543950336.000"})
        EXPECT_FALSE(pgs_parse_decimal(refused, d)) << refused;
    for (const auto& c : cases) {
        ASSERT_TRUE(pgs_parse_decimal(c.text, d)) << c.text;
        EXPECT_EQ(d.scale, c.scale) << c.text;
        EXPECT_EQ(d.sign != 0, c.negative) << c.text;
        EXPECT_EQ(d.Lo64, c.low) << c.text;
        EXPECT_EQ(d.Hi32, c.hi) << c.text;
    }
}

TEST(pgs_value_text, integer_text_beyond_its_type_is_refused_not_wrapped)
{
    const struct {
        const char* text;
        VARTYPE type;
        bool fits;
    } cases[] = {
        {"32767", VT_I2, true},          {"-32768", VT_I2, true},
        {"32768", VT_I2, false},         {"-32769", VT_I2, false},
        {"2147483647", VT_I4, true},     {"3000000000", VT_I4, false},
        {"-2147483649", VT_I4, false},   {"-9223372036854775808", VT_I8, true},
        {"9223372036854775808", VT_I8, false}, {"12x", VT_I4, false},
        {"", VT_I4, false},              {" 1", VT_I4, false},
    };
    for (const auto& c : cases) {
        ole_variant v;
        EXPECT_EQ(pgs_parse_integer(c.text, c.type, v), c.fits) << c.text;
        if (c.fits)
            EXPECT_EQ(v.to_wstring(), tk_from_utf8(c.text)) << c.text;
    }
}
