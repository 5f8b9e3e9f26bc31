#pragma once

#include "ole_var.hpp"

#include <memory>
#include <string>
#include <vector>

// the type of one column as it travels between the engines
class t_ftd {
public:
    t_ftd(int size, const std::wstring& name, VARTYPE vartype, bool b_not_null,
          bool auto_increment, const ole_variant& default_value, int reserved);
    // virtual: engines derive descriptors and schemas delete them through t_ftd
    virtual ~t_ftd() = default;

    t_ftd(const t_ftd&) = default;
    t_ftd& operator=(const t_ftd&) = default;

    int size;                   // characters for text; 0 when the source gives none
    std::wstring name;
    VARTYPE vartype;
    bool auto_increment;        // filled from a sequence; the source engines never set it
    bool b_not_null;
    ole_variant default_value;  // empty when none
    int reserved;               // VT_DATE: 1 date and time, 2 date, 3 time;
                                // VT_DECIMAL: precision << 8 | scale
    std::wstring comment;
};

// a binary variant type: VT_BLOB, VT_BLOB_OBJECT or a byte array
bool udb_is_binary_type(VARTYPE type);

// a size past a destination's limit, or 0 for no size at all
inline bool udb_is_past_limit(int size, unsigned limit)
{
    return size == 0 || unsigned(size) > limit;
}

// a text or binary column past a destination's limit for inline values: a large object
// there, which no index can cover
bool udb_is_large_column(const t_ftd& field, unsigned limit);

// the text of an integer column's default when it is a plain decimal that prints back the
// same, otherwise empty: anything else would not be the number the source meant
std::wstring udb_integer_default(const std::wstring& text);

// a table's column descriptors in column order; names are looked up case-insensitively
// and the first match wins
class udb_schema {
public:
    udb_schema() = default;
    virtual ~udb_schema() = default;

    udb_schema(const udb_schema&) = delete;
    udb_schema& operator=(const udb_schema&) = delete;

    void add_field(std::unique_ptr<t_ftd> field);

    bool find_field(const std::wstring& name) const;
    int get_field_idx(const std::wstring& name) const;  // -1 when none
    // the descriptor that must exist; none is an internal error
    t_ftd& get_field(const std::wstring& name);
    const t_ftd& get_field(const std::wstring& name) const;
    // an empty comment changes nothing; an unknown field is not an error
    void set_field_comment(const std::wstring& name, const std::wstring& comment);

    std::vector<std::unique_ptr<t_ftd>> fields;
};
