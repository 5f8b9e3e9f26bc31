#include "udb_vali.hpp"

#include "tk_except.hpp"
#include "tk_log.hpp"

#include <algorithm>
#include <cstdio>
#include <cwchar>
#include <unicode/uchar.h>

namespace {

// i as "%05d"
std::wstring number5(int i)
{
    char buf[16];
    std::snprintf(buf, sizeof buf, "%05d", i);
    return std::wstring(buf, buf + std::char_traits<char>::length(buf));
}

bool is_letter(wchar_t c)
{
    return u_isalpha(static_cast<UChar32>(static_cast<char16_t>(c)));
}

bool is_name_char(wchar_t c)
{
    return u_isalnum(static_cast<UChar32>(static_cast<char16_t>(c))) || c == L'_' || c == L'$' ||
           c == L'#';
}

}  // namespace

udb_validator::udb_validator(unsigned max_length) : max_length(max_length)
{
    tk_trace(2, "udb_validator::ctor");
}

bool udb_validator::is_acceptable(const std::wstring& name) const
{
    tk_wtrace(1, L"udb_validator::is_acceptable(%ls)", name.c_str());
    if (max_length != 0 && name_length(name) > max_length) {
        tk_trace(1, "The name is too long");
        return false;
    }
    if (restricted_words.contains_no_case(name)) {
        tk_trace(1, "The name is restricted");
        return false;
    }
    for (wchar_t c : illegal_chars) {
        if (name.find(c) != std::wstring::npos) {
            tk_wtrace(1, L"The name contains illegal: %lc", c);
            return false;
        }
    }
    return true;
}

bool udb_validator::is_duplicated(const std::wstring& name) const
{
    tk_wtrace(1, L"udb_validator::is_duplicated(%ls)", name.c_str());
    return existing_names.contains_no_case(name);
}

std::wstring udb_validator::get_safe_name(const std::wstring& name) const
{
    tk_wtrace(1, L"udb_validator::get_safe_name(%ls)", name.c_str());
    std::wstring s = name;
    // one unit short of the limit, as stored names expect
    if (max_length != 0 && name_length(s) > max_length)
        cut_name(s, max_length - 1);
    for (wchar_t c : illegal_chars)
        std::replace(s.begin(), s.end(), c, L'_');
    if (is_acceptable(s) && !is_duplicated(s))
        return s;

    // leave room for the five digits; with a limit below 6 the base may become empty
    if (max_length != 0) {
        size_t room = max_length > 5 ? max_length - 5 : 0;
        if (name_length(s) > room)
            cut_name(s, max_length > 6 ? max_length - 6 : 0);
    }
    for (int i = 0; i < 100000; ++i) {
        std::wstring candidate = s + number5(i);
        if (is_acceptable(candidate) && !is_duplicated(candidate))
            return candidate;
    }
    throw tk_mail_assertion("udb_vali.cpp", 54);
}

size_t udb_validator::name_length(const std::wstring& name) const
{
    return name.size();
}

void udb_validator::cut_name(std::wstring& name, size_t length) const
{
    if (name.size() > length)
        name.resize(length);
}

void udb_validator::add_existing_name(const std::wstring& name)
{
    tk_wtrace(1, L"udb_validator::add_existing_name(%ls)", name.c_str());
    existing_names.push_back(name);
}

void udb_validator::keep_name(const std::wstring& name, bool generated)
{
    if (generated)
        add_existing_name(name);
    restricted_words.push_back(name);
}

bool udb_validator::is_identifier(const std::wstring& name) const
{
    if (name.empty() || (max_length != 0 && name_length(name) > max_length))
        return false;
    if (!is_letter(name[0]))
        return false;
    for (wchar_t c : name) {
        if (!is_name_char(c)) {
            tk_wtrace(2, L"Name contains invalid symbol: '%lc'", static_cast<wint_t>(c));
            return false;
        }
    }
    return !restricted_words.contains_no_case(name);
}

std::wstring udb_validator::get_safe_identifier(const std::wstring& name) const
{
    std::wstring s = name;
    if (s.empty() || !is_letter(s[0]))
        s.insert(0, L"A");
    // 0 is no limit here too, as in is_acceptable
    if (max_length != 0 && name_length(s) > max_length)
        cut_name(s, max_length - 1);
    for (wchar_t& c : s)
        if (!is_name_char(c))
            c = L'_';
    return udb_validator::get_safe_name(s);
}
