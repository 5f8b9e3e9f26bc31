#include "pgs_vali.hpp"

#include "tk_log.hpp"

#include <cwchar>

pgs_validator::pgs_validator() : udb_validator(30)
{
    tk_trace(2, "pgs_validator::ctor");
}

bool pgs_validator::is_acceptable(const std::wstring& name) const
{
    tk_wtrace(1, L"pgs_validator::is_acceptable(%ls)", name.c_str());
    return is_identifier(name);
}

std::wstring pgs_validator::get_safe_name(const std::wstring& name) const
{
    tk_wtrace(1, L"pgs_validator::get_safe_name(%ls)", name.c_str());
    return get_safe_identifier(name);
}

pgs_fn_validator::pgs_fn_validator(const udb_schema& fields)
{
    tk_trace(2, "pgs_fn_validator::ctor");
    for (const auto& field : fields.fields)
        add_existing_name(field->name);
}

void pgs_validator_singleton::register_indexes(const udb_indexes& indexes)
{
    tk_trace(2, "pgs_in_validator::ctor");
    for (const udb_index& index : indexes)
        m_validator.add_existing_name(index.name);
}
