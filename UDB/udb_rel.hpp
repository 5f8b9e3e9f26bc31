#pragma once

#include <string>
#include <vector>

// one foreign key
class udb_relationship {
public:
    // the delete rule comes last here but is the fifth field
    udb_relationship(const std::wstring& constraint_name, const std::wstring& key_name,
                     const std::wstring& table, const std::wstring& referenced_table,
                     const std::vector<std::wstring>& fields,
                     const std::vector<std::wstring>& referenced_fields,
                     const std::wstring& delete_rule);

    std::wstring constraint_name;
    std::wstring key_name;          // the referenced primary-key constraint
    std::wstring table;             // the referencing table
    std::wstring referenced_table;
    std::wstring delete_rule;       // "ON DELETE " + the rule, or empty
    std::vector<std::wstring> fields;
    std::vector<std::wstring> referenced_fields;
};

// a database's foreign keys; records are appended at the end
class udb_relationships : public std::vector<udb_relationship> {
public:
    // false when a key of that constraint name (case-insensitive) is listed
    bool is_acceptable_name(const std::wstring& name) const;
    // the first of that constraint name (case-insensitive); none is an internal error
    udb_relationship& get_index(const std::wstring& name);
    const udb_relationship& get_index(const std::wstring& name) const;
};
