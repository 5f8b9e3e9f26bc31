#include "ole_guid.hpp"

#include <gtest/gtest.h>

#include <string>

namespace {

const std::wstring guid = L"{01234567-89AB-CDEF-0123-456789ABCDEF}";

TEST(ole_guid_extractor, finds_a_braced_guid_after_the_word)
{
    ole_guid_extractor e(L"the guid is " + guid);
    ASSERT_TRUE(e.is_found());
    EXPECT_EQ(e.get_position(), 12);
    EXPECT_EQ(e.get_braced(), guid);
    EXPECT_EQ(e.get_hex(), L"0123456789ABCDEF0123456789ABCDEF");

    ole_guid_extractor narrow(std::string("GUID=") + "{01234567-89ab-cdef-0123-456789abcdef} trailing");
    EXPECT_EQ(narrow.get_hex(), L"0123456789abcdef0123456789abcdef");
}

TEST(ole_guid_extractor, prefers_the_lower_case_word)
{
    std::wstring other = L"{AAAAAAAA-89AB-CDEF-0123-456789ABCDEF}";
    ole_guid_extractor e(L"GUID " + other + L" guid " + guid);
    ASSERT_TRUE(e.is_found());
    EXPECT_EQ(e.get_braced(), guid);
}

TEST(ole_guid_extractor, finds_nothing_in_other_texts)
{
    const std::wstring texts[] = {
        // 44 characters
        L"guid " + guid + L"x",
        L"no word at all but a brace " + guid,
        L"guid but the braces hold ordinary text {this is not a guid at all, just words}",
        L"guid {01234567-89AB-CDEF-0123-456789ABCDE} short by one digit and more",
        L"guid {01234567-89AB-CDEF-0123-456789ABCDEG} with a letter that is no digit",
        L"guid {01234567-89AB-CDEF-0123-456789ABCDEF with no closing brace here",
        L"the word guid and a brace at the very end of a long text {0123",
        guid + L" stands before the word guid, nothing after",
    };
    for (const std::wstring& text : texts) {
        ole_guid_extractor e(text);
        EXPECT_FALSE(e.is_found()) << std::string(text.begin(), text.end());
        EXPECT_EQ(e.get_braced(), L"");
        EXPECT_EQ(e.get_hex(), L"");
    }
    EXPECT_EQ((L"guid " + guid + L"x").size(), 44u);
    EXPECT_TRUE(ole_guid_extractor(L"guid " + guid + L"xy").is_found());
}

} // namespace
