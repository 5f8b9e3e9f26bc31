#include "pgs_vali.hpp"

#include "pgs_util.hpp"
#include "tk_log.hpp"

#include <cwchar>

pgs_validator::pgs_validator() : udb_validator(30)
{
    tk_trace(2, "pgs_validator::ctor");
}

namespace {

// names the server keeps for its own columns of every table
const wchar_t* const k_system_columns[] = {L"tableoid", L"xmin", L"cmin",
                                           L"xmax",     L"cmax", L"ctid"};

} // namespace

bool pgs_validator::is_acceptable(const std::wstring& name) const
{
    tk_wtrace(1, L"pgs_validator::is_acceptable(%ls)", name.c_str());
    return is_identifier(name) && pgs_name_bytes(name) <= pgs_max_name_bytes;
}

std::wstring pgs_validator::get_safe_name(const std::wstring& name) const
{
    tk_wtrace(1, L"pgs_validator::get_safe_name(%ls)", name.c_str());
    const std::wstring whole = pgs_cut_name(name, pgs_max_name_bytes);
    if (is_acceptable(whole) && !is_duplicated(whole))
        return whole;
    // room for a leading letter and the five digits of a numbered name
    return get_safe_identifier(pgs_cut_name(name, pgs_max_name_bytes - 6));
}

pgs_fn_validator::pgs_fn_validator(const udb_schema& fields)
{
    tk_trace(2, "pgs_fn_validator::ctor");
    for (const auto& field : fields.fields)
        add_existing_name(field->name);
    for (const wchar_t* column : k_system_columns)
        restricted_words.push_back(column);
}

void pgs_validator_singleton::register_indexes(const udb_indexes& indexes)
{
    tk_trace(2, "pgs_in_validator::ctor");
    for (const udb_index& index : indexes)
        m_validator.add_existing_name(index.name);
}
