#pragma once

#include "tk_singl.hpp"
#include "udb_idx.hpp"
#include "udb_sche.hpp"
#include "udb_vali.hpp"

#include <string>

// postgresql rules for generated identifiers: at most 30 units, a letter first,
// then letters, digits, "_", "$" and "#"
class pgs_validator : public udb_validator {
public:
    pgs_validator();

    bool is_acceptable(const std::wstring& name) const override;
    std::wstring get_safe_name(const std::wstring& name) const override;
};

// the column names of one table, each an existing name of the others
class pgs_fn_validator : public pgs_validator {
public:
    explicit pgs_fn_validator(const udb_schema& fields);
};

// the process-wide validator of generated index names: names registered for one
// table stay duplicates for every later table
class pgs_validator_singleton : public tk_singleton<pgs_validator_singleton> {
public:
    pgs_validator_singleton() = default;

    // the index-name validator's registration (traced as pgs_in_validator)
    void register_indexes(const udb_indexes& indexes);

    pgs_validator& get_validator() { return m_validator; }

private:
    pgs_validator m_validator;
};
