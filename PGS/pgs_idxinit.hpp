#pragma once

#include "udb_idx.hpp"
#include "udb_nmap.hpp"
#include "udb_sche.hpp"

#include <functional>
#include <string>

// gives a table just created its primary key and indexes, under names the index-name
// validator settles and over the generated column names
class pgs_indexes_initializer {
public:
    // table: the quoted name, "schema"."table"; table_name: the table's own name, which
    // no index may take. needs the engine's validator singleton
    pgs_indexes_initializer(const std::wstring& table, const std::wstring& table_name,
                            const udb_schema& fields, const udb_indexes& source,
                            const t_names_map& names);
    pgs_indexes_initializer(const pgs_indexes_initializer&) = delete;
    pgs_indexes_initializer& operator=(const pgs_indexes_initializer&) = delete;

    // hands one statement per kept index, in order, to run
    void build_indexes(const std::function<void(const std::wstring&)>& run) const;

    const udb_indexes& get_indexes() const { return m_indexes; }
    // the statement of one kept index
    std::wstring index_statement(const udb_index& index) const;

private:
    bool can_be_part_of_index(const t_ftd& field) const;
    // a kept index that makes this one redundant
    bool is_redundant(const udb_index& index) const;

    std::wstring m_table;
    udb_indexes m_indexes;
};
