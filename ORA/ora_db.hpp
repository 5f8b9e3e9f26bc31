#pragma once

#include "tk_except.hpp"
#include "udb_db.hpp"

#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <utility>
#include <vector>

class ora_in_validator;
class ora_session;
class ora_tn_validator;

// the destination: the logged-on oracle user's schema. tables and views are read
// at construction; table names compare exactly
class ora_database : public udb_database {
public:
    ora_database(ora_session& session, const std::wstring& data_source, int mode);
    ~ora_database() override;

    // the session of the logon that opened the database
    ora_session& session() const { return m_session; }

    std::unique_ptr<udb_recordset> create_table(const std::wstring& name,
                                                const udb_schema& fields,
                                                const udb_indexes& indexes) override;
    // drops the table in the schema; the conversion run calls this one directly
    bool delete_tab(const std::wstring& name) override;
    // the foreign keys of other tables that the last delete_tab dropped with its table
    std::vector<std::string> get_drop_losses() const override;
    std::unique_ptr<udb_recordset> get_table(const std::wstring& name, int mode) override;
    std::unique_ptr<udb_recordset> get_query(const std::wstring& name, const std::wstring& text,
                                             int mode) override;
    // raises the ora_exception of the parse for an invalid statement
    bool test_query(const std::wstring& sql) override;
    // runs one statement without commit; the number of rows it changed
    int query(const std::wstring& sql) override;
    void create_relationships(const udb_relationships& relationships) override;

    // a run's table names: upper case when asked, else made acceptable and unique
    // among the schema's and the run's tables; index names are unique within the run
    // the tables are named first, each by its name alone: a query whose name meets a
    // table's (ignoring case) is numbered apart, and the clash is kept for the run to tell
    void begin_naming(const std::vector<std::wstring>& source_tables,
                      const std::vector<std::wstring>& other_names) override;
    std::wstring get_dest_table_name(const std::wstring& source) override;
    void keep_dest_table_name(const std::wstring& source, const std::wstring& dest) override;
    std::vector<std::string> get_naming_losses(const std::wstring& source) const override;
    void end_naming() override;

    std::wstring get_tn_mapped_name_ex(const std::wstring& source_table);
    std::wstring get_fn_mapped_name_ex(const std::wstring& table, const std::wstring& field);
    // table + "_UI", made acceptable and registered with the index-name validator
    std::wstring get_fk_index_name(const std::wstring& table);

    bool upper_case = false;    // names of new tables and columns are upper case
    std::map<std::wstring, std::wstring> views;  // name -> text

    // receives the oracle error of a foreign key that create_relationships could not add,
    // with its context ("Foreign key '...'"), and the next key follows; without it the
    // error leaves create_relationships
    std::function<void(const std::string& context, const tk_exception& error)> on_fk_error;

private:
    ora_session& m_session;

    void init_tables();
    ora_tn_validator& table_names();
    void init_views();
    // constraint name and table of every foreign key of another table that refers to
    // a key of this one
    std::vector<std::pair<std::wstring, std::wstring>>
    referring_foreign_keys(const std::wstring& table);
    void create_fk_index_if(const std::wstring& table, const std::vector<std::wstring>& fields);

    // the name the validator gives a source table now (not registered)
    std::wstring make_dest_table_name(const std::wstring& source);

    // of the run, between begin_naming and end_naming; the table names go first
    std::unique_ptr<ora_in_validator> m_index_names;
    std::unique_ptr<ora_tn_validator> m_table_names;
    // the name of every source table begin_naming was given, made in name order, and
    // whether it was generated (the source name was not acceptable)
    struct planned_name {
        std::wstring dest;
        bool generated;
    };
    std::map<std::wstring, planned_name> m_dest_table_names;
    // a name of the run other than a table's that met a table's name: that table's name
    std::map<std::wstring, std::wstring> m_name_clashes;
    // oracle table -> the source table it records (its comment), for the run
    std::map<std::wstring, std::wstring> m_origins;
    // a source table whose own name is the table of another source table: that table
    std::map<std::wstring, std::wstring> m_origin_clashes;
    std::set<std::wstring> m_source_tables;
    // oracle table -> the source table it is named for in this run, recorded when created
    std::map<std::wstring, std::wstring> m_created_origins;
    std::vector<std::pair<std::wstring, std::wstring>> m_dropped_foreign_keys;
};
