#pragma once

#include "udb_db.hpp"

#include <map>
#include <memory>
#include <set>
#include <string>
#include <utility>
#include <vector>

class pgs_session;

// one postgresql database: its user tables listed under full names (schema.table, or
// the table alone with no_schema). a conversion only reads it; the writing side
// (tables, keys, indexes, foreign keys, COPY) serves other callers
class pgs_database : public udb_database {
public:
    pgs_database(pgs_session& session, const std::wstring& name, bool no_schema);
    ~pgs_database() override;

    // creates the table with its key and indexes in one transaction and returns a
    // recordset that loads rows by COPY; a listed name gets a recordset over that table
    std::unique_ptr<udb_recordset> create_table(const std::wstring& name, const udb_schema& fields,
                                                const udb_indexes& indexes) override;
    bool delete_tab(const std::wstring& name) override;
    // the name must be listed (is_table_exist); else an internal error
    std::unique_ptr<udb_recordset> get_table(const std::wstring& name, int mode) override;
    std::unique_ptr<udb_recordset> get_query(const std::wstring& name, const std::wstring& text,
                                             int mode) override;
    // never raises: any error gives false
    bool test_query(const std::wstring& sql) override;
    // executes nothing
    int query(const std::wstring& sql) override;
    // every foreign key of the list in one transaction: all of them or none
    void create_relationships(const udb_relationships& relationships) override;
    bool is_table_exist(const std::wstring& name) override;
    // the rows of every table but the first are counted
    std::vector<udb_shared_table> get_tables_sharing(const std::wstring& name) override;
    // a table's own rows (a partitioned table's those of its partitions), in a transaction of
    // their own; -1 for a query and when they cannot be counted
    long long count_records(const std::wstring& name, const std::wstring& query) override;

    // the patterns are only traced
    void load_tables(const std::wstring& schema_pattern, const std::wstring& table_pattern,
                     tk_name_list& list);
    // the first schema listed keeps a full name
    void add_full_name(const std::wstring& schema, const std::wstring& table,
                       tk_name_list& list);
    // a partition: known under its full name, but not listed
    void add_partition(const std::wstring& schema, const std::wstring& table);
    // a partitioned table holds no rows of its own: it is read with its partitions'
    bool is_partitioned(const std::wstring& full_name) const;
    // a name without a point is tried as public.name; not found: the name unchanged
    std::wstring get_full_name(const std::wstring& name) const;
    // (schema, table) of a full name; unknown: two empty strings
    std::pair<std::wstring, std::wstring> get_full_name_pair(const std::wstring& full_name) const;
    // "schema"."table" split at the first point ("public" without one), quotes doubled
    std::wstring get_safe_name(const std::wstring& name) const;

private:
    pgs_session& m_session;
    bool m_no_schema;
    std::map<std::wstring, std::pair<std::wstring, std::wstring>> m_full_names;
    std::set<std::wstring> m_partitioned;
    // every listed table of a full name, in the order listed: (schema, table), partitioned
    struct listed_table {
        std::wstring schema;
        std::wstring table;
        bool partitioned;
    };
    std::map<std::wstring, std::vector<listed_table>> m_listed;
};
