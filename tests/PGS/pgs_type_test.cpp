#include "pgs_type.hpp"
#include "pgs_vali.hpp"

#include <gtest/gtest.h>

#include <memory>

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
    udb_schema fields(true);
    fields.add_field(new t_ftd(0, L"Id", VT_I4, false, false, ole_variant(), 0));
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
