#include "tk_names.hpp"
#include "tk_utils.hpp"

#include <gtest/gtest.h>

namespace {

TEST(tk_name_list, finds_names_as_the_case_insensitive_comparison_does)
{
    const struct {
        const wchar_t* listed;
        const wchar_t* asked;
    } cases[] = {
        {L"Emp", L"EMP"},
        {L"Stra\u00dfe", L"STRASSE"},
        {L"\u00c4rger", L"\u00e4RGER"},
        {L"\u03a3\u03b1", L"\u03c3\u03b1"},
        {L"Emp", L"Em"},
        {L"Emp", L"Emp2"},
        {L"", L""},
    };
    for (const auto& c : cases) {
        tk_name_list names{L"Dept", c.listed};
        const bool same = tk_compare_no_case(std::wstring(c.listed), std::wstring(c.asked)) == 0;
        EXPECT_EQ(names.contains_no_case(c.asked), same) << tk_to_utf8(c.asked);
        EXPECT_EQ(names.contains(c.asked), std::wstring(c.listed) == c.asked);
    }
}

TEST(tk_name_list, erase_removes_the_first_match_and_keeps_the_others_findable)
{
    tk_name_list names{L"a", L"EMP", L"b", L"emp"};
    EXPECT_TRUE(names.erase(L"Emp", false));
    EXPECT_EQ(names, (std::vector<std::wstring>{L"a", L"b", L"emp"}));
    EXPECT_TRUE(names.contains_no_case(L"EMP"));
    EXPECT_FALSE(names.contains(L"EMP"));
    EXPECT_FALSE(names.erase(L"EMP", true));
    EXPECT_TRUE(names.erase(L"emp", true));
    EXPECT_FALSE(names.contains_no_case(L"emp"));
    names = {L"x"};
    EXPECT_EQ(names.size(), 1u);
    EXPECT_FALSE(names.contains(L"a"));
}

} // namespace
