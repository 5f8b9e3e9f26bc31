#include "ora_vali.hpp"
#include "udb_sche.hpp"

#include <gtest/gtest.h>

TEST(ora_names, oracle_identifier_rules)
{
    ora_validator v;
    v.restricted_words.push_back(L"PRIMARY");
    const std::wstring thirty(30, L'A');
    const struct {
        std::wstring name;
        bool ok;
    } cases[] = {
        {L"", false},          {std::wstring(31, L'A'), false},
        {L"1ABC", false},      {L"A-B", false},
        {L"MY TABLE", false},  {L"primary", false},
        {L"Primary", false},   {L"A$B#_1", true},
        {thirty, true},        {L"\u00c4rger", true},
        {L"_X", false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(v.is_acceptable(c.name), c.ok) << c.name.size();
}

TEST(ora_names, safe_names_are_prefixed_cut_replaced_and_numbered)
{
    ora_validator v;
    EXPECT_EQ(v.get_safe_name(L"1ABC"), L"A1ABC");
    EXPECT_EQ(v.get_safe_name(L"MY TABLE"), L"MY_TABLE");
    EXPECT_EQ(v.get_safe_name(L""), L"A");
    EXPECT_EQ(v.get_safe_name(std::wstring(40, L'B')), std::wstring(29, L'B'));

    v.add_existing_name(L"EMP");
    EXPECT_EQ(v.get_safe_name(L"emp"), L"emp00000");
    v.add_existing_name(L"EMP00000");
    EXPECT_EQ(v.get_safe_name(L"EMP"), L"EMP00001");
}

TEST(ora_names, column_validator_knows_the_field_names)
{
    udb_schema fields;
    fields.add_field(std::make_unique<t_ftd>(0, L"id", VT_I4, false, false, ole_variant(), 0));
    fields.add_field(std::make_unique<t_ftd>(0, L"Name", VT_BSTR, false, false, ole_variant(), 0));
    ora_fn_validator v(fields.fields);
    EXPECT_TRUE(v.is_duplicated(L"ID"));
    EXPECT_TRUE(v.is_duplicated(L"name"));
    EXPECT_FALSE(v.is_duplicated(L"other"));
    // a taken name stays acceptable; only the numbering step avoids it
    EXPECT_TRUE(v.is_acceptable(L"ID"));
    EXPECT_EQ(v.get_safe_name(L"ID"), L"ID00000");

    v.add_mapped_pair(L"1st", L"A1st");
    EXPECT_EQ(v.get_names_map().get_mapped_name(L"1ST", false), L"A1st");
}

TEST(ora_names, a_column_is_never_named_rowid_in_upper_case)
{
    // the pseudo-column's name; other spellings are plain names, and a table may carry it
    udb_schema fields;
    fields.add_field(std::make_unique<t_ftd>(0, L"ROWID", VT_I4, false, false, ole_variant(), 0));
    ora_fn_validator v(fields.fields);
    EXPECT_FALSE(v.is_acceptable(L"ROWID"));
    EXPECT_EQ(v.get_safe_name(L"ROWID"), L"ROWID00000");
    EXPECT_TRUE(v.is_acceptable(L"rowid"));
    EXPECT_TRUE(v.is_acceptable(L"Rowid"));
    EXPECT_TRUE(ora_tn_validator({}, {}).is_acceptable(L"ROWID"));
}

TEST(ora_names, table_validator_lists_oracle_tables_first)
{
    ora_tn_validator v({L"src_a", L"src_b"}, {L"ORA_T"});
    ASSERT_EQ(v.existing_names.size(), 3u);
    EXPECT_EQ(v.existing_names[0], L"ORA_T");
    EXPECT_EQ(v.existing_names[1], L"src_a");
    EXPECT_TRUE(v.is_duplicated(L"SRC_B"));
}
