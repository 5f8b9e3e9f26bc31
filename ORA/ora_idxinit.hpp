#pragma once

#include "udb_idx.hpp"
#include "udb_nmap.hpp"
#include "udb_sche.hpp"

#include <string>
#include <vector>

class ora_session;

// a source index the builder could not give the table: Oracle cannot index the column, or
// the table has an index over the same columns already
struct ora_left_out_index {
    std::wstring index;      // the source index name
    std::wstring column;     // the source field stored as a large object, or empty
    std::wstring repeated;   // the source index it repeats (column empty)

    bool operator==(const ora_left_out_index&) const = default;
};

// gives a table just created its primary key, unique constraints and indexes, under
// names unique in the schema and over the generated column names
class ora_indexes_initializer {
public:
    // needs the run's ora_in_validator
    ora_indexes_initializer(ora_session& session, const std::wstring& table, const udb_schema& fields,
                            const udb_indexes& source, const t_names_map& names);
    ora_indexes_initializer(const ora_indexes_initializer&) = delete;
    ora_indexes_initializer& operator=(const ora_indexes_initializer&) = delete;

    // one statement per index; one that ORA-01408 or ORA-02261 refuses, or that repeats the
    // primary key, is left out as a repeat of the index built over its columns
    void build_indexes();

    const udb_indexes& get_indexes() const { return m_indexes; }
    int get_pk_position() const { return m_pk; }
    // the source indexes left out (over large objects in source order, then the repeats)
    const std::vector<ora_left_out_index>& get_left_out() const { return m_left_out; }
    // the unique keys built that keep less than their source's rule (or were made plain
    // indexes), one message each
    const std::vector<std::string>& get_weaker_keys() const { return m_weaker_keys; }

    // the statement of one index of the list, empty for one equal to the primary key
    std::wstring index_statement(size_t i) const;

private:
    bool can_be_part_of_index(const t_ftd& field) const;
    // the message for a unique source key oracle's UNIQUE keeps less of or that became a
    // plain index, else empty
    static std::string weaker_key(const udb_index& src);
    // the source name of the index built before i over the columns of i (the same list
    // first, else the same set), empty for none
    std::wstring repeated_index(size_t i) const;

    ora_session& m_session;
    int m_pk = -1;
    std::wstring m_table;
    udb_indexes m_indexes;
    std::vector<ora_left_out_index> m_left_out;
    std::vector<std::string> m_weaker;        // per entry of m_indexes, empty: kept whole
    std::vector<std::wstring> m_source_names; // per entry of m_indexes
    std::vector<bool> m_built;                // per entry of m_indexes, set by build_indexes
    std::vector<std::string> m_weaker_keys;
    const udb_schema& m_fields;
    const t_names_map& m_names;
};
