#include "tk_except.hpp"
#include "tk_test_files.hpp"
#include "tk_utils.hpp"

#include <gtest/gtest.h>

TEST(tk_utils, utf8_conversions_of_edge_texts)
{
    EXPECT_EQ(tk_to_utf8(L""), "");
    EXPECT_EQ(tk_from_utf8("\xC3\xA4"), std::wstring(1, L'\x00e4'));
    // a character above U+FFFF travels as a surrogate pair
    const std::wstring pair = {wchar_t(0xD83D), wchar_t(0xDE00)};
    EXPECT_EQ(tk_from_utf8("\xF0\x9F\x98\x80"), pair);
    EXPECT_EQ(tk_to_utf8(pair), "\xF0\x9F\x98\x80");
    EXPECT_EQ(tk_to_ansi(L"\x20ac"), "\xE2\x82\xAC");
    EXPECT_EQ(tk_to_unicode("\xE2\x82\xAC"), L"\x20ac");
}

TEST(tk_utils, invalid_input_becomes_replacement_character)
{
    EXPECT_EQ(tk_from_utf8("a\xFF" "b"), L"a\xFFFD" L"b");
    EXPECT_EQ(tk_from_utf8("a\xC3"), L"a\xFFFD");
    // overlong form and an encoded surrogate are invalid
    EXPECT_EQ(tk_from_utf8("\xC0\xAF"), L"\xFFFD\xFFFD");
    EXPECT_EQ(tk_from_utf8("\xED\xA0\x80"), L"\xFFFD\xFFFD\xFFFD");
    const std::wstring lone = {L'x', wchar_t(0xD800), L'y'};
    EXPECT_EQ(tk_to_utf8(lone), "x\xEF\xBF\xBDy");
}

TEST(tk_utils, embedded_nul_ends_the_text)
{
    EXPECT_EQ(tk_to_utf8(std::wstring(L"ab\0cd", 5)), "ab");
    EXPECT_EQ(tk_from_utf8(std::string("ab\0cd", 5)), L"ab");
}

TEST(tk_utils, in_place_utf8_conversion_writes_what_the_string_form_gives)
{
    const std::string texts[] = {
        "", "plain", "Gr\xC3\xBC\xC3\x9F" "e \xE2\x82\xAC \xF0\x9F\x98\x80", "a\xFF" "b", "a\xC3",
        "\xC0\xAF", "\xED\xA0\x80", "\xF0\x9F\x98", std::string("ab\0cd", 5)};
    for (const std::string& t : texts) {
        const std::wstring whole = tk_from_utf8(t);
        ASSERT_EQ(tk_utf8_units(t.data(), t.size()), whole.size()) << t;
        std::wstring in_place(whole.size() + 1, L'#');
        tk_from_utf8(t.data(), t.size(), in_place.data());
        EXPECT_EQ(in_place, whole + L"#") << t;
        EXPECT_EQ(tk_to_utf8(whole.data(), whole.size()), tk_to_utf8(whole)) << t;
    }
    // the pointer form stops at a NUL as well
    EXPECT_EQ(tk_to_utf8(L"ab\0cd", 5), "ab");
}

TEST(tk_utils, unknown_code_page_raises_level0_conversion_error)
{
    try {
        tk_to_ansi(L"x", 1252);
        FAIL();
    } catch (const tk_exception_ex& e) {
        EXPECT_EQ(e.get_level(), 0);
        EXPECT_EQ(e.get_text().rfind("Cannot convert to ANSI string: ", 0), 0u);
    }
}

TEST(tk_utils, buffer_conversions_hand_back_nul_terminated_text)
{
    char* narrow = nullptr;
    EXPECT_FALSE(tk_wide_to_narrow(nullptr, &narrow));
    ASSERT_TRUE(tk_wide_to_narrow(L"d\x00e9j\x00e0", &narrow));
    EXPECT_STREQ(narrow, "d\xC3\xA9j\xC3\xA0");
    ASSERT_TRUE(tk_wide_to_narrow(L"again", &narrow));
    EXPECT_STREQ(narrow, "again");
    delete[] narrow;

    wchar_t* wide = nullptr;
    EXPECT_FALSE(tk_narrow_to_wide(nullptr, &wide));
    ASSERT_TRUE(tk_narrow_to_wide("\xC3\xA4", &wide));
    EXPECT_EQ(std::wstring(wide), L"\x00e4");
    delete[] wide;
}

TEST(tk_utils, trim_removes_blanks_only)
{
    EXPECT_EQ(tk_trim(std::wstring(L"   ")), L"");
    EXPECT_EQ(tk_trim(std::wstring(L"\t ")), L"\t");
    EXPECT_EQ(tk_trim(std::wstring(L"  a b  ")), L"a b");
    EXPECT_EQ(tk_trim(std::string("   ")), "");
    EXPECT_EQ(tk_trim(std::string(" \tx ")), "\tx");
    EXPECT_EQ(tk_trim_left(std::wstring(L"  a ")), L"a ");
    EXPECT_EQ(tk_trim_right(std::wstring(L" a  ")), L" a");
    EXPECT_EQ(tk_trim_left(std::string("  a ")), "a ");
}

TEST(tk_utils, split_keeps_empty_fields)
{
    using fields = std::vector<std::wstring>;
    const struct {
        const wchar_t* text;
        fields expected;
    } cases[] = {
        {L"", {}},
        {L"a", {L"a"}},
        {L",", {L"", L""}},
        {L"a,,b,", {L"a", L"", L"b", L""}},
        {L",a", {L"", L"a"}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(tk_split(c.text, L','), c.expected) << std::string(tk_to_utf8(c.text));
}

TEST(tk_utils, escape_controls_keeps_every_shown_text_on_one_line)
{
    struct escape_case {
        std::wstring text;
        std::wstring name;   // backslash doubled
        std::wstring plain;  // backslash kept
    };
    const escape_case cases[] = {
        {L"plain name", L"plain name", L"plain name"},
        {L"a\nb\rc\td", L"a\\x0ab\\x0dc\\x09d", L"a\\x0ab\\x0dc\\x09d"},
        {std::wstring(L"n\0", 2) + L"\x1b[2J", L"n\\x00\\x1b[2J", L"n\\x00\\x1b[2J"},
        {L"\x7f\x85\x9f\xa0", L"\\x7f\\x85\\x9f\xa0", L"\\x7f\\x85\\x9f\xa0"},
        {L"\x202e\x2066\x200f\x061c\x2028", L"\\u202e\\u2066\\u200f\\u061c\\u2028",
         L"\\u202e\\u2066\\u200f\\u061c\\u2028"},
        {L"a\\x0ab", L"a\\\\x0ab", L"a\\x0ab"},
        {L"\xd83d\xde00 \x00e9", L"\xd83d\xde00 \x00e9", L"\xd83d\xde00 \x00e9"},
    };
    for (const escape_case& c : cases) {
        EXPECT_EQ(tk_escape_controls(c.text, true), c.name) << tk_to_utf8(c.name);
        EXPECT_EQ(tk_escape_controls(c.text, false), c.plain) << tk_to_utf8(c.plain);
    }
}

TEST(tk_utils, replace_all_removes_brackets)
{
    tk_wstring name(L"[dbo].[t]");
    name.replace_all(L"[", L"");
    EXPECT_EQ(name.replace_all(L"]", L""), L"dbo.t");
    EXPECT_EQ(name, L"dbo.t");

    std::wstring nested = L"a[[]]b";
    EXPECT_EQ(tk_wstring::replace_all(nested, L"[]", L""), L"ab");
}

TEST(tk_utils, replace_all_ends_for_any_arguments)
{
    std::wstring text = L"abb";
    // each replacement re-forms "ab"; inserted text is not searched again
    EXPECT_EQ(tk_wstring::replace_all(text, L"ab", L"bca"), L"bcab");
    std::wstring same = L"x";
    EXPECT_EQ(tk_wstring::replace_all(same, L"", L"y"), L"x");
    std::wstring grow = L"a-a";
    EXPECT_EQ(tk_wstring::replace_all(grow, L"a", L"aa"), L"aa-aa");
    std::wstring lines = L"SELECT a\r\nFROM t";
    EXPECT_EQ(tk_wstring::replace_all(lines, L"\r\n", L" "), L"SELECT a FROM t");
}

TEST(tk_utils, to_upper_changes_only_ascii_letters)
{
    tk_wstring name(L"abc_\x00e4z9");
    EXPECT_EQ(name.to_upper(), L"ABC_\x00e4Z9");
    std::wstring other = L"order";
    tk_wstring::to_upper(other);
    EXPECT_EQ(other, L"ORDER");
}

TEST(tk_utils, compare_no_case_orders_like_strcmp_ignoring_case)
{
    EXPECT_EQ(tk_compare_no_case(std::string("True"), std::string("TRUE")), 0);
    EXPECT_LT(tk_compare_no_case(std::string("abc"), std::string("ABD")), 0);
    EXPECT_GT(tk_compare_no_case(std::string("b"), std::string("A")), 0);
    EXPECT_EQ(tk_compare_no_case(std::string("\xC3\xA4rger"), std::string("\xC3\x84RGER")), 0);
    EXPECT_EQ(tk_compare_no_case(std::wstring(L"Stra\x00df" L"e"), std::wstring(L"STRASSE")), 0);
    EXPECT_NE(tk_compare_no_case(std::wstring(L"a"), std::wstring(L"b")), 0);
}

TEST(tk_utils, bin_to_hex_writes_upper_case_pairs)
{
    const unsigned char bytes[] = {0x00, 0xAB, 0xFF};
    char out[7] = "zzzzzz";
    tk_bin_to_hex(3, bytes, out);
    EXPECT_STREQ(out, "00ABFF");
    char empty[1] = {'z'};
    tk_bin_to_hex(0, bytes, empty);
    EXPECT_STREQ(empty, "");
    EXPECT_TK_ASSERTION(tk_bin_to_hex(3, bytes, nullptr), "tk_utils.cpp", 724);
}
