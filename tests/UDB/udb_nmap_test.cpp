#include "udb_nmap.hpp"
#include "udb_rule.hpp"
#include "udb_test_util.hpp"

TEST(udb_names_map, unmapped_table_name_maps_to_itself)
{
    udb_names_map map;
    EXPECT_EQ(map.get_tn_mapped_name(L"Emp", false), L"Emp");
    map.add_tn_mapping(L"Dept", L"DEPT00000");
    EXPECT_EQ(map.get_tn_mapped_name(L"Emp", true), L"Emp");
}

TEST(udb_names_map, table_lookup_is_exact_or_case_insensitive)
{
    trace_capture trace;
    udb_names_map map;
    map.add_tn_mapping(L"Emp", L"EMP00000");
    EXPECT_EQ(map.get_tn_mapped_name(L"EMP", false), L"EMP00000");
    EXPECT_EQ(map.get_tn_mapped_name(L"EMP", true), L"EMP");
    EXPECT_EQ(map.get_tn_mapped_name(L"Emp", true), L"EMP00000");
    EXPECT_TRUE(trace.contains("Comparing with (Emp,EMP00000)"));
    EXPECT_TRUE(trace.contains("Got mapped name: EMP00000"));
}

TEST(udb_names_map, first_mapping_of_a_source_name_is_kept)
{
    udb_names_map map;
    map.add_tn_mapping(L"t", L"T00000");
    map.add_tn_mapping(L"t", L"T00001");
    EXPECT_EQ(map.get_tn_mapped_name(L"t", true), L"T00000");
}

TEST(udb_names_map, case_insensitive_lookup_takes_the_first_in_ordinal_order)
{
    udb_names_map map;
    map.add_tn_mapping(L"emp", L"second");
    map.add_tn_mapping(L"EMP", L"first");  // upper case sorts first
    EXPECT_EQ(map.get_tn_mapped_name(L"Emp", false), L"first");
    std::vector<std::wstring> order;
    for (const auto& entry : map.table_names)
        order.push_back(entry.first);
    EXPECT_EQ(order, (std::vector<std::wstring>{L"EMP", L"emp"}));
}

TEST(udb_names_map, field_lookup_without_field_map_returns_the_field)
{
    trace_capture trace;
    udb_names_map map;
    EXPECT_EQ(map.get_fn_mapped_name(L"EMP", L"size", false), L"size");
    EXPECT_TRUE(trace.contains("Table 'EMP' not found"));
}

TEST(udb_names_map, field_lookup_finds_table_exactly_and_field_as_asked)
{
    t_names_map fields;
    fields.add(L"Size", L"SIZE00000");
    fields.add(L"Size", L"ignored");
    udb_names_map map;
    map.add_fn_map(L"EMP", fields);
    t_names_map later;
    later.add(L"Size", L"LATER");
    map.add_fn_map(L"EMP", later);  // the first field map stays

    EXPECT_EQ(map.get_fn_mapped_name(L"EMP", L"size", false), L"SIZE00000");
    EXPECT_EQ(map.get_fn_mapped_name(L"EMP", L"size", true), L"size");
    EXPECT_EQ(map.get_fn_mapped_name(L"EMP", L"Size", true), L"SIZE00000");
    EXPECT_EQ(map.get_fn_mapped_name(L"emp", L"Size", false), L"Size");  // table is exact
    EXPECT_EQ(fields.get_mapped_name(L"SIZE", false), L"SIZE00000");
    EXPECT_EQ(fields.get_mapped_name(L"other", false), L"other");
}

TEST(udb_custom_conversion, without_a_rule_set_no_rule_applies)
{
    t_ftd column(10, L"c", VT_BSTR, false, false, ole_variant(), 0);
    udb_field value(L"c", 10, ole_variant(std::wstring(L"x")), false, false);
    EXPECT_FALSE(udb_custom_conversion::is_acceptable1(column));
    EXPECT_TRUE(udb_custom_conversion::handle1(column).empty());
    EXPECT_FALSE(udb_custom_conversion::is_acceptable2(value));
    EXPECT_MAIL_ASSERTION(udb_custom_conversion::handle2(value), "udb_rule.cpp", 88);
}

namespace {

class money_rule : public udb_custom_rule {
public:
    bool accepts_column(const t_ftd& c) const override { return c.name == L"price"; }
    bool accepts_value(const udb_field& v) const override { return v.name == L"price"; }
    std::wstring column_type(const t_ftd&) const override { return L"NUMBER(12,2)"; }
    std::wstring value_text(const udb_field& v) const override { return v.to_wstring() + L"."; }
};

}  // namespace

TEST(udb_custom_conversion, the_first_accepting_rule_answers)
{
    udb_custom_conversion rules;
    rules.rules.push_back(std::make_unique<money_rule>());
    t_ftd price(10, L"price", VT_I4, false, false, ole_variant(), 0);
    t_ftd other(10, L"qty", VT_I4, false, false, ole_variant(), 0);
    udb_field value(L"price", 10, ole_variant(5), false, false);
    udb_field other_value(L"qty", 10, ole_variant(5), false, false);
    EXPECT_TRUE(udb_custom_conversion::is_acceptable1(price));
    EXPECT_EQ(udb_custom_conversion::handle1(price), L"NUMBER(12,2)");
    EXPECT_FALSE(udb_custom_conversion::is_acceptable1(other));
    EXPECT_TRUE(udb_custom_conversion::handle1(other).empty());
    EXPECT_TRUE(udb_custom_conversion::is_acceptable2(value));
    EXPECT_EQ(udb_custom_conversion::handle2(value), L"5.");
    EXPECT_MAIL_ASSERTION(udb_custom_conversion::handle2(other_value), "udb_rule.cpp", 88);
}
