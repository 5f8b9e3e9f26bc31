#include "udb_idx.hpp"

#include "udb_find_impl.hpp"

#include "tk_except.hpp"
#include "tk_log.hpp"
#include "tk_utils.hpp"

#include <algorithm>

namespace {

const std::wstring& index_name(const udb_index& index)
{
    return index.name;
}

}  // namespace

udb_index::udb_index(const std::wstring& name, bool unique, bool primary,
                     const std::vector<std::wstring>& fields)
    : name(name), unique(unique), primary(primary), fields(fields)
{
}

bool udb_index::starts_with_fields(const std::vector<std::wstring>& given) const
{
    tk_wtrace(1, L"udb_index(%ls)::starts_with_fields", name.c_str());
    if (given.size() > fields.size())
        return false;
    for (size_t i = 0; i < given.size(); ++i) {
        if (tk_compare_no_case(given[i], fields[i]) != 0) {
            tk_wtrace(1, L"Field '%ls' not found", given[i].c_str());
            return false;
        }
    }
    tk_trace(1, "starts_with_fields returns true");
    return true;
}

bool udb_index::consists_of_fields(const std::vector<std::wstring>& given) const
{
    tk_wtrace(1, L"udb_index(%ls)::consists_of_fields", name.c_str());
    if (given.size() != fields.size())
        return false;
    for (const auto& field : given) {
        if (std::find(fields.begin(), fields.end(), field) == fields.end()) {
            tk_wtrace(1, L"Field '%ls' not found", field.c_str());
            return false;
        }
    }
    tk_trace(1, "consists_of_fields returns true");
    return true;
}

bool udb_indexes::is_idx_field(const std::wstring& field, bool primary_only) const
{
    tk_wtrace(1, L"udb_indexes::is_idx_field(%ls)", field.c_str());
    for (const auto& index : *this) {
        if (primary_only && !index.primary)
            continue;
        if (std::find(index.fields.begin(), index.fields.end(), field) != index.fields.end()) {
            tk_trace(1, "index field");
            return true;
        }
    }
    tk_trace(1, "non-index field");
    return false;
}

bool udb_indexes::has_index_on_fields(const std::vector<std::wstring>& fields,
                                      bool need_unique) const
{
    tk_trace(1, "udb_indexes::has_index_on_fields");
    for (const auto& index : *this) {
        if (index.starts_with_fields(fields))
            return need_unique ? index.unique : true;
    }
    return false;
}

bool udb_indexes::is_acceptable_name(const std::wstring& name) const
{
    tk_wtrace(1, L"udb_indexes::is_acceptable_name(%ls)", name.c_str());
    return !udb_find_named(*this, name, index_name);
}

udb_index& udb_indexes::get_index(const std::wstring& name)
{
    const auto& self = *this;
    return const_cast<udb_index&>(self.get_index(name));
}

const udb_index& udb_indexes::get_index(const std::wstring& name) const
{
    tk_wtrace(1, L"udb_indexes::get_index(%ls)", name.c_str());
    if (const udb_index* index = udb_find_named(*this, name, index_name))
        return *index;
    throw tk_mail_assertion("..\\UDB/udb_idx.hpp", 134);
}
