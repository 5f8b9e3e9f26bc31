#include "udb_idx.hpp"
#include "udb_rel.hpp"
#include "udb_test_util.hpp"

using names = std::vector<std::wstring>;

TEST(udb_index, starts_with_fields_compares_leading_fields_ignoring_case)
{
    udb_index index(L"ix", false, false, {L"a", L"B"});
    struct case_t {
        names given;
        bool result;
    } cases[] = {
        {{L"A"}, true},
        {{L"a", L"b"}, true},
        {{}, true},
        {{L"A", L"B", L"X"}, false},  // longer than the index
        {{L"B"}, false},              // not leading
        {{L"a", L"c"}, false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(index.starts_with_fields(c.given), c.result) << c.given.size();
}

TEST(udb_index, starts_with_fields_traces_the_first_difference)
{
    udb_index index(L"ix", false, false, {L"a", L"B"});
    trace_capture trace;
    EXPECT_FALSE(index.starts_with_fields({L"a", L"c"}));
    EXPECT_EQ(trace.lines(), (std::vector<std::string>{"udb_index(ix)::starts_with_fields",
                                                        "Field 'c' not found"}));
    trace.clear();
    EXPECT_TRUE(index.starts_with_fields({L"A"}));
    EXPECT_TRUE(trace.contains("starts_with_fields returns true"));
}

TEST(udb_index, consists_of_fields_is_exact_in_any_order)
{
    udb_index index(L"ix", true, false, {L"A", L"B"});
    struct case_t {
        names given;
        bool result;
    } cases[] = {
        {{L"B", L"A"}, true},
        {{L"A", L"B"}, true},
        {{L"a", L"b"}, false},  // exact comparison
        {{L"A"}, false},        // lengths differ
        {{L"A", L"B", L"C"}, false},
        {{L"A", L"A"}, true},   // each given field occurs in the index
    };
    for (const auto& c : cases)
        EXPECT_EQ(index.consists_of_fields(c.given), c.result) << c.given.size();

    trace_capture trace;
    EXPECT_FALSE(index.consists_of_fields({L"A", L"b"}));
    EXPECT_TRUE(trace.contains("Field 'b' not found"));
}

TEST(udb_indexes, is_idx_field_with_primary_only_ignores_other_indexes)
{
    udb_indexes list;
    list.push_back(udb_index(L"uq", true, false, {L"id"}));
    EXPECT_TRUE(list.is_idx_field(L"id", false));
    EXPECT_FALSE(list.is_idx_field(L"id", true));
    list.push_back(udb_index(L"pk", true, true, {L"ID"}));
    EXPECT_FALSE(list.is_idx_field(L"id", true));  // exact comparison
    list.push_back(udb_index(L"pk2", true, true, {L"x", L"id"}));
    trace_capture trace;
    EXPECT_TRUE(list.is_idx_field(L"id", true));
    EXPECT_TRUE(trace.contains("index field"));
    trace.clear();
    EXPECT_FALSE(list.is_idx_field(L"nope", false));
    EXPECT_TRUE(trace.contains("non-index field"));
}

TEST(udb_indexes, has_index_on_fields_consults_only_the_first_found)
{
    udb_indexes list;
    list.push_back(udb_index(L"plain", false, false, {L"A"}));
    list.push_back(udb_index(L"uq", true, false, {L"A"}));
    EXPECT_FALSE(list.has_index_on_fields({L"a"}, true));
    EXPECT_TRUE(list.has_index_on_fields({L"a"}, false));
    EXPECT_FALSE(list.has_index_on_fields({L"b"}, false));

    udb_indexes unique_first;
    unique_first.push_back(udb_index(L"uq", true, false, {L"A", L"B"}));
    EXPECT_TRUE(unique_first.has_index_on_fields({L"A"}, true));
}

TEST(udb_indexes, empty_list_accepts_every_name_and_has_no_index)
{
    udb_indexes list;
    EXPECT_TRUE(list.is_acceptable_name(L"anything"));
    EXPECT_FALSE(list.has_index_on_fields({L"a"}, false));
    EXPECT_FALSE(list.has_index_on_fields({}, false));
}

TEST(udb_indexes, names_compare_ignoring_case_and_a_missing_one_is_internal_error)
{
    udb_indexes list;
    list.push_back(udb_index(L"Ix_One", false, false, {L"a"}));
    list.push_back(udb_index(L"IX_ONE", true, false, {L"b"}));
    EXPECT_FALSE(list.is_acceptable_name(L"ix_one"));
    EXPECT_TRUE(list.is_acceptable_name(L"ix_two"));
    EXPECT_EQ(list.get_index(L"ix_ONE").fields, names{L"a"});
    const udb_indexes& read_only = list;
    EXPECT_EQ(read_only.get_index(L"IX_one").fields, names{L"a"});
    EXPECT_MAIL_ASSERTION(list.get_index(L"ix_two"), "..\\UDB/udb_idx.hpp", 134);
}

TEST(udb_relationship, delete_rule_is_the_last_argument_but_kept_in_its_field)
{
    udb_relationship rel(L"fk_emp_dept", L"pk_dept", L"emp", L"dept", {L"dept_id"}, {L"id"},
                         L"ON DELETE CASCADE");
    EXPECT_EQ(rel.constraint_name, L"fk_emp_dept");
    EXPECT_EQ(rel.key_name, L"pk_dept");
    EXPECT_EQ(rel.table, L"emp");
    EXPECT_EQ(rel.referenced_table, L"dept");
    EXPECT_EQ(rel.delete_rule, L"ON DELETE CASCADE");
    EXPECT_EQ(rel.fields, names{L"dept_id"});
    EXPECT_EQ(rel.referenced_fields, names{L"id"});
    udb_relationship copy = rel;
    EXPECT_EQ(copy.referenced_fields, names{L"id"});
}

TEST(udb_relationships, constraint_names_compare_ignoring_case)
{
    udb_relationships list;
    EXPECT_TRUE(list.is_acceptable_name(L"fk"));
    list.push_back(udb_relationship(L"FK_A", L"pk", L"t", L"r", {L"x"}, {L"y"}, L""));
    list.push_back(udb_relationship(L"fk_b", L"pk", L"t", L"r", {L"z"}, {L"y"}, L""));
    EXPECT_FALSE(list.is_acceptable_name(L"fk_a"));
    EXPECT_TRUE(list.is_acceptable_name(L"fk_c"));
    EXPECT_EQ(list.get_index(L"FK_B").fields, names{L"z"});
    EXPECT_MAIL_ASSERTION(list.get_index(L"fk_c"), "udb_rel.cpp", 122);
}
