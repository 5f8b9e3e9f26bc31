#pragma once

#include <map>
#include <string>

// old name -> new name within one table, in ordinal utf-16 order;
// entries are only added, and an old name keeps its first new name
class t_names_map : public std::map<std::wstring, std::wstring> {
public:
    void add(const std::wstring& old_name, const std::wstring& new_name);
    // exact: same utf-16 units; else case-insensitive. the first entry in map order
    // that matches wins; an unmapped name maps to itself
    std::wstring get_mapped_name(const std::wstring& name, bool exact) const;
};

// source -> destination table names, and per destination table its field renamings
class udb_names_map {
public:
    void add_tn_mapping(const std::wstring& source, const std::wstring& destination);
    std::wstring get_tn_mapped_name(const std::wstring& table, bool exact) const;
    // a table already present keeps its first field map
    void add_fn_map(const std::wstring& table, const t_names_map& fields);
    // the table is looked up exactly, the field as exact says
    std::wstring get_fn_mapped_name(const std::wstring& table, const std::wstring& field,
                                    bool exact) const;

    t_names_map table_names;
    std::map<std::wstring, t_names_map> field_names;
};
