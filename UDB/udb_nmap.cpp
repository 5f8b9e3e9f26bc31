#include "udb_nmap.hpp"

#include "tk_log.hpp"
#include "tk_utils.hpp"

namespace {

bool names_match(const std::wstring& a, const std::wstring& b, bool exact)
{
    return exact ? a == b : tk_compare_no_case(a, b) == 0;
}

// the first entry in map order whose old name matches; the name itself when none
std::wstring lookup(const t_names_map& map, const std::wstring& name, bool exact,
                    bool trace_each)
{
    for (const auto& [old_name, new_name] : map) {
        if (trace_each)
            tk_wtrace(1, L"Comparing with (%ls,%ls)", old_name.c_str(), new_name.c_str());
        if (names_match(old_name, name, exact)) {
            tk_wtrace(1, L"Got mapped name: %ls", new_name.c_str());
            return new_name;
        }
    }
    return name;
}

}  // namespace

void t_names_map::add(const std::wstring& old_name, const std::wstring& new_name)
{
    tk_wtrace(1, L"t_names_map::add(%ls,%ls)", old_name.c_str(), new_name.c_str());
    emplace(old_name, new_name);
}

std::wstring t_names_map::get_mapped_name(const std::wstring& name, bool exact) const
{
    tk_wtrace(1, L"t_names_map::get_mapped_name(%ls)", name.c_str());
    return lookup(*this, name, exact, false);
}

void udb_names_map::add_tn_mapping(const std::wstring& source, const std::wstring& destination)
{
    tk_wtrace(2, L"udb_names_map::add_tn_mapping(%ls,%ls)", source.c_str(), destination.c_str());
    table_names.emplace(source, destination);
}

std::wstring udb_names_map::get_tn_mapped_name(const std::wstring& table, bool exact) const
{
    tk_wtrace(1, L"udb_names_map::get_tn_mapped_name(%ls)", table.c_str());
    return lookup(table_names, table, exact, true);
}

void udb_names_map::add_fn_map(const std::wstring& table, const t_names_map& fields)
{
    tk_wtrace(2, L"udb_names_map::add_fn_map(%ls)", table.c_str());
    field_names.emplace(table, fields);
}

std::wstring udb_names_map::get_fn_mapped_name(const std::wstring& table,
                                               const std::wstring& field, bool exact) const
{
    tk_wtrace(1, L"udb_names_map::get_fn_mapped_name(%ls,%ls)", table.c_str(), field.c_str());
    auto it = field_names.find(table);
    if (it == field_names.end()) {
        tk_wtrace(1, L"Table '%ls' not found", table.c_str());
        return field;
    }
    return lookup(it->second, field, exact, false);
}
