#pragma once

#include <string>
#include <vector>

// one index or key of a table; a primary key has both flags set
class udb_index {
public:
    udb_index(const std::wstring& name, bool unique, bool primary,
              const std::vector<std::wstring>& fields);

    // the given fields are the leading fields of the index (case-insensitive);
    // an empty list is true
    bool starts_with_fields(const std::vector<std::wstring>& fields) const;
    // same length and every given field in the index, exact comparison, any order
    bool consists_of_fields(const std::vector<std::wstring>& fields) const;

    std::wstring name;
    bool unique;
    bool primary;
    std::vector<std::wstring> fields;
    // what the source's own rule of a unique key adds to comparing the values as they are:
    // a NULL part equals another NULL (a field of the key allows NULL), or a field compares
    // under a non-deterministic collation (that field and the collation; empty: none)
    bool nulls_not_distinct = false;
    std::wstring loose_field;
    std::wstring loose_collation;
    // a unique source key made a plain index, since Oracle's UNIQUE would refuse partly NULL
    // keys the source accepts: the field of it that allows NULL (empty: none)
    std::wstring nullable_field;
};

// a table's indexes in the order added; recordsets add only through
// udb_recordset::add_index, which keeps the names unique
class udb_indexes : public std::vector<udb_index> {
public:
    // a field of some index (of a primary one when primary_only), exact comparison
    bool is_idx_field(const std::wstring& field, bool primary_only) const;
    // only the first index that starts with the fields counts
    bool has_index_on_fields(const std::vector<std::wstring>& fields, bool need_unique) const;
    // false when an index of that name (case-insensitive) is listed
    bool is_acceptable_name(const std::wstring& name) const;
    // the first of that name (case-insensitive); none is an internal error
    udb_index& get_index(const std::wstring& name);
    const udb_index& get_index(const std::wstring& name) const;
};
