#pragma once

#include "ora_vali.hpp"
#include "udb_nmap.hpp"
#include "udb_sche.hpp"

#include <string>

class ora_session;

// false for the columns a new table stores as CLOB or BLOB
bool ora_can_have_default(const t_ftd& field);

// builds one new table from a source field list: safe unique column names, the
// CREATE TABLE, and a sequence with a trigger for an auto-increment column
class ora_schema_initializer {
public:
    ora_schema_initializer(const std::wstring& table, const udb_schema& source,
                           bool upper_case);
    ~ora_schema_initializer();
    ora_schema_initializer(const ora_schema_initializer&) = delete;
    ora_schema_initializer& operator=(const ora_schema_initializer&) = delete;

    void build_schema(ora_session& session);
    // the name of the sequence made, empty when every candidate was taken
    std::wstring create_sequence(ora_session& session);

    // the columns of the new table, in source order
    const udb_schema& get_fields() const { return m_fields; }
    // source field name -> generated column name, for the columns that changed
    const t_names_map& get_names_map() const { return m_validator.get_names_map(); }
    const std::wstring& get_auto_increment_column() const { return m_auto_column; }

    // the column clause of one field: "name" type[ DEFAULT x][ NOT NULL]
    static std::wstring column_clause(const t_ftd& field);

private:
    std::wstring m_table;
    bool m_upper_case;
    udb_schema m_fields;
    std::wstring m_auto_column;
    ora_fn_validator m_validator;
};
