#pragma once

#include "udb_idx.hpp"
#include "udb_nmap.hpp"
#include "udb_rel.hpp"
#include "udb_rset.hpp"
#include "udb_sche.hpp"
#include "tk_names.hpp"

#include <memory>
#include <string>
#include <vector>

// one of several source tables listed under one name (their names meet)
struct udb_shared_table {
    std::wstring shown;   // the table as its engine writes its name
    int records = 0;      // its rows (counted for the tables left out only)
};

// the engine-neutral database the driver reads from and writes to. each engine
// derives its database; the defaults below serve whatever it does not override.
class udb_database {
public:
    // both engines pass mode 1 and case_sensitive true
    udb_database(const std::wstring& name, int mode, bool case_sensitive);
    virtual ~udb_database();

    udb_database(const udb_database&) = delete;
    udb_database& operator=(const udb_database&) = delete;

    // creates the table when it does not exist (with the indexes unless the list is
    // empty), appends its name to tables, records generated field names in names_map
    // (add_fn_map) and returns a new recordset over the table for writing
    virtual std::unique_ptr<udb_recordset> create_table(const std::wstring& name,
                                                        const udb_schema& fields,
                                                        const udb_indexes& indexes) = 0;
    // the default removes the first matching entry of tables; none is an internal error
    virtual bool delete_tab(const std::wstring& name);
    // what the last delete_tab removed besides the table itself (other tables' foreign
    // keys that referred to it), one message each; the default removes nothing else
    virtual std::vector<std::string> get_drop_losses() const;
    // flag: 1 a source table (the driver), 2 a table just created (the oracle engine)
    virtual std::unique_ptr<udb_recordset> get_table(const std::wstring& name, int flag) = 0;
    virtual std::unique_ptr<udb_recordset> get_query(const std::wstring& name,
                                                     const std::wstring& text, int flag) = 0;
    // checks the statement without keeping its effects
    virtual bool test_query(const std::wstring& sql) = 0;
    // the default is not supported: an internal error
    virtual int query(const std::wstring& sql);
    virtual void reserved_op(int arg);
    // the default creates nothing
    virtual void create_relationships(const udb_relationships& relationships);
    // the tables listed under a name that more than one table answers to, the one read
    // under it first; empty for any other name (the default)
    virtual std::vector<udb_shared_table> get_tables_sharing(const std::wstring& name);
    // the records of a table, counted apart from its reader (for a table that failed before
    // its first record); -1 when they cannot be counted, and for a query (the default)
    virtual long long count_records(const std::wstring& name, const std::wstring& query);
    // searches tables: exactly when case_sensitive, else case-insensitively
    virtual bool is_table_exist(const std::wstring& name);

    // the names one run gives its tables here, from begin_naming (with the source's
    // tables, then the run's other names: its queries) to end_naming; the defaults keep
    // every name as it is
    virtual void begin_naming(const std::vector<std::wstring>& source_tables,
                              const std::vector<std::wstring>& other_names);
    virtual std::wstring get_dest_table_name(const std::wstring& source);
    // the table of source is dest now: later names keep clear of it
    virtual void keep_dest_table_name(const std::wstring& source, const std::wstring& dest);
    // what naming source met (another name took its name), one message each; none by
    // default
    virtual std::vector<std::string> get_naming_losses(const std::wstring& source) const;
    virtual void end_naming();

    int mode;                           // 8: append mode, no foreign keys are converted
    std::wstring name;
    bool case_sensitive;
    tk_name_list tables;                // in the order the engine added them
    udb_names_map names_map;
    udb_relationships relationships;
};
