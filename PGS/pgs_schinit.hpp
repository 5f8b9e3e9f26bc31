#pragma once

#include "pgs_util.hpp"
#include "pgs_vali.hpp"
#include "udb_idx.hpp"
#include "udb_nmap.hpp"
#include "udb_sche.hpp"

#include <string>

// builds the CREATE TABLE of a new table from a source field list: every column under
// a safe name unique in the table, and NOT NULL for the columns of the primary key
class pgs_schema_initializer {
public:
    // table: the quoted name, "schema"."table"; quote: how DEFAULT texts are quoted
    pgs_schema_initializer(const std::wstring& table, const udb_schema& source,
                           const udb_indexes& indexes, pgs_quote_fn quote);
    pgs_schema_initializer(const pgs_schema_initializer&) = delete;
    pgs_schema_initializer& operator=(const pgs_schema_initializer&) = delete;

    // the statement; a column type the model does not carry is an internal error
    std::wstring get_init_str() const;

    // the columns of the new table, in source order
    const udb_schema& get_fields() const { return m_fields; }
    // source column name -> generated name, for the columns that changed
    const t_names_map& get_names_map() const { return m_names; }

    // "name" type[ DEFAULT x][ NOT NULL]
    std::wstring column_clause(const t_ftd& field) const;

private:
    std::wstring m_table;
    pgs_quote_fn m_quote;
    udb_schema m_fields;
    pgs_fn_validator m_validator;
    t_names_map m_names;
};
