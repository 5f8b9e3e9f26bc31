#include "udb_vali.hpp"
#include "udb_test_util.hpp"

namespace {

// a derived rule seen through the virtual slots: the first number is never acceptable
class no_first_number_validator : public udb_validator {
public:
    no_first_number_validator() : udb_validator(30) {}
    bool is_acceptable(const std::wstring& name) const override
    {
        return !name.ends_with(L"00000") && udb_validator::is_acceptable(name);
    }
    bool is_duplicated(const std::wstring& name) const override { return name == L"taken"; }
};

class refuse_all_validator : public udb_validator {
public:
    refuse_all_validator() : udb_validator(0) {}
    bool is_acceptable(const std::wstring&) const override { return false; }
};

// the shared identifier rules, as the engines' validators use them
class identifier_validator : public udb_validator {
public:
    explicit identifier_validator(unsigned max_length) : udb_validator(max_length) {}
    bool is_acceptable(const std::wstring& name) const override { return is_identifier(name); }
    std::wstring get_safe_name(const std::wstring& name) const override
    {
        return get_safe_identifier(name);
    }
};

}  // namespace

TEST(udb_validator, is_acceptable_checks_length_restricted_words_and_characters)
{
    udb_validator v(10);
    v.restricted_words = {L"SELECT"};
    v.illegal_chars = {L'$', L' '};
    struct case_t {
        const wchar_t* name;
        bool acceptable;
        const char* trace;
    } cases[] = {
        {L"emp", true, nullptr},
        {L"abcdefghij", true, nullptr},
        {L"abcdefghijk", false, "The name is too long"},
        {L"select", false, "The name is restricted"},
        {L"a$b", false, "The name contains illegal: $"},
        {L"a b", false, "The name contains illegal:  "},
    };
    for (const auto& c : cases) {
        trace_capture trace;
        EXPECT_EQ(v.is_acceptable(c.name), c.acceptable) << tk_to_utf8(c.name);
        if (c.trace) {
            EXPECT_TRUE(trace.contains(c.trace)) << c.trace;
        }
    }
}

TEST(udb_validator, zero_max_length_never_cuts_and_never_rejects_for_length)
{
    udb_validator v(0);
    std::wstring name(300, L'a');
    EXPECT_TRUE(v.is_acceptable(name));
    EXPECT_EQ(v.get_safe_name(name), name);
    v.add_existing_name(name);
    EXPECT_EQ(v.get_safe_name(name), name + L"00000");
}

TEST(udb_validator, is_duplicated_ignores_case)
{
    trace_capture trace;
    udb_validator v(30);
    v.add_existing_name(L"DEPT");
    v.add_existing_name(L"EMP");
    EXPECT_TRUE(v.is_duplicated(L"emp"));
    EXPECT_FALSE(v.is_duplicated(L"em"));
    EXPECT_TRUE(trace.contains("udb_validator::add_existing_name(EMP)"));
    EXPECT_TRUE(trace.contains("udb_validator::is_duplicated(emp)"));
    // full case folding, as the comparison folds: one sharp s matches two s
    v.add_existing_name(L"Stra\u00dfe");
    EXPECT_TRUE(v.is_duplicated(L"STRASSE"));
    v.restricted_words.push_back(L"MA\u00dfE");
    EXPECT_FALSE(v.is_acceptable(L"masse"));
}

TEST(udb_validator, get_safe_name_cuts_replaces_and_numbers)
{
    struct case_t {
        std::wstring name;
        std::vector<std::wstring> existing;
        std::wstring safe;
    } cases[] = {
        // 40 units become their first 29
        {std::wstring(40, L'n'), {}, std::wstring(29, L'n')},
        // exactly at the limit stays whole
        {std::wstring(30, L'n'), {}, std::wstring(30, L'n')},
        {L"A B$C", {}, L"A_B_C"},
        {L"emp", {L"EMP"}, L"emp00000"},
        {L"emp", {L"EMP", L"emp00000"}, L"emp00001"},
        {L"a b", {L"A_B"}, L"a_b00000"},
        // a 25-unit base stays whole: 30-unit candidates
        {std::wstring(25, L'b'), {std::wstring(25, L'b')}, std::wstring(25, L'b') + L"00000"},
        // a 26-unit base is cut to 24: 29-unit candidates
        {std::wstring(26, L'c'), {std::wstring(26, L'c')}, std::wstring(24, L'c') + L"00000"},
        // the cut name of 29 units is taken, then cut to 24 for numbering
        {std::wstring(35, L'd'), {std::wstring(29, L'd')}, std::wstring(24, L'd') + L"00000"},
        {L"ok_name", {L"other"}, L"ok_name"},
    };
    for (const auto& c : cases) {
        udb_validator v(30);
        v.illegal_chars = {L'$', L' '};
        for (const auto& e : c.existing)
            v.add_existing_name(e);
        EXPECT_EQ(v.get_safe_name(c.name), c.safe) << tk_to_utf8(c.name);
        // the result is not registered by get_safe_name itself
        EXPECT_EQ(v.existing_names.size(), c.existing.size());
    }
}

TEST(udb_validator, restricted_word_gets_numbered)
{
    udb_validator v(30);
    v.restricted_words = {L"PRIMARY"};
    EXPECT_EQ(v.get_safe_name(L"primary"), L"primary00000");
}

TEST(udb_validator, get_safe_name_applies_derived_rules_through_virtual_slots)
{
    no_first_number_validator v;
    EXPECT_EQ(v.get_safe_name(L"ab"), L"ab");
    EXPECT_EQ(v.get_safe_name(L"taken"), L"taken00001");
}

TEST(udb_validator, exhausting_all_numbers_is_internal_error)
{
    refuse_all_validator v;
    EXPECT_MAIL_ASSERTION(v.get_safe_name(L"t"), "udb_vali.cpp", 54);
}

TEST(udb_validator, tiny_limits_never_overrun)
{
    for (unsigned limit = 1; limit <= 6; ++limit) {
        udb_validator v(limit);
        v.add_existing_name(std::wstring(limit, L'q'));
        if (limit < 5) {
            // no five-digit candidate fits
            EXPECT_MAIL_ASSERTION(v.get_safe_name(std::wstring(limit, L'q')), "udb_vali.cpp",
                                  54);
        } else {
            std::wstring safe = v.get_safe_name(std::wstring(limit, L'q'));
            EXPECT_LE(safe.size(), limit);
            EXPECT_TRUE(v.is_acceptable(safe));
            EXPECT_FALSE(v.is_duplicated(safe));
        }
    }
}

TEST(udb_validator, identifier_rules_with_zero_max_length_have_no_limit)
{
    identifier_validator v(0);
    const std::wstring long_name(300, L'a');
    EXPECT_TRUE(v.is_acceptable(long_name));
    EXPECT_EQ(v.get_safe_name(long_name), long_name);
    EXPECT_EQ(v.get_safe_name(L"1 x"), L"A1_x");

    identifier_validator limited(30);
    EXPECT_FALSE(limited.is_acceptable(std::wstring(31, L'a')));
    EXPECT_EQ(limited.get_safe_name(std::wstring(31, L'a')), std::wstring(29, L'a'));
}
