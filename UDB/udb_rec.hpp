#pragma once

#include "ole_var.hpp"

#include <memory>
#include <string>
#include <vector>

// one value of a row with its column's name, size and flags
class udb_field : public ole_variant {
public:
    // the value is copied, never shared with the given variant
    udb_field(const std::wstring& name, int size, const ole_variant& value, bool not_null,
              bool auto_increment);
    ~udb_field() override = default;

    udb_field(const udb_field&) = default;
    udb_field& operator=(const udb_field&) = default;

    // VT_EMPTY for a database NULL
    virtual VARTYPE get_type() const;

    int size;
    std::wstring name;
    bool not_null;
    bool auto_increment;
};

// one row: one field per schema field, in schema order; the record owns its fields
class udb_record {
public:
    udb_record() = default;
    virtual ~udb_record() = default;

    udb_record(const udb_record&) = delete;
    udb_record& operator=(const udb_record&) = delete;

    void add_field(std::unique_ptr<udb_field> field);

    std::vector<std::unique_ptr<udb_field>> fields;  // null entries are allowed
};
