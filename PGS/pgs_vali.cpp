#include "pgs_vali.hpp"

#include "tk_log.hpp"
#include "tk_utils.hpp"

#include <cwchar>
#include <unicode/uchar.h>

namespace {

bool is_alpha(wchar_t c)
{
    return u_isalpha(static_cast<UChar32>(static_cast<char16_t>(c)));
}

bool is_name_char(wchar_t c)
{
    return u_isalnum(static_cast<UChar32>(static_cast<char16_t>(c))) || c == L'_' || c == L'$' ||
           c == L'#';
}

} // namespace

pgs_validator::pgs_validator() : udb_validator(30)
{
    tk_trace(2, "pgs_validator::ctor");
}

bool pgs_validator::is_acceptable(const std::wstring& name) const
{
    tk_wtrace(1, L"pgs_validator::is_acceptable(%ls)", name.c_str());
    if (name.empty() || name.size() > max_length)
        return false;
    if (!is_alpha(name[0]))
        return false;
    for (wchar_t c : name) {
        if (!is_name_char(c)) {
            tk_wtrace(2, L"Name contains invalid symbol: '%lc'", static_cast<wint_t>(c));
            return false;
        }
    }
    for (const std::wstring& word : restricted_words)
        if (tk_compare_no_case(word, name) == 0)
            return false;
    return true;
}

std::wstring pgs_validator::get_safe_name(const std::wstring& name) const
{
    tk_wtrace(1, L"pgs_validator::get_safe_name(%ls)", name.c_str());
    std::wstring s = name;
    if (s.empty() || !is_alpha(s[0]))
        s.insert(0, L"A");
    if (s.size() > max_length)
        s.resize(max_length - 1);
    for (wchar_t& c : s)
        if (!is_name_char(c))
            c = L'_';
    return udb_validator::get_safe_name(s);
}

pgs_fn_validator::pgs_fn_validator(const udb_schema& fields)
{
    tk_trace(2, "pgs_fn_validator::ctor");
    for (const t_ftd* field : fields.fields)
        add_existing_name(field->name);
}

void pgs_validator_singleton::register_indexes(const udb_indexes& indexes)
{
    tk_trace(2, "pgs_in_validator::ctor");
    for (const udb_index& index : indexes)
        m_validator.add_existing_name(index.name);
}
