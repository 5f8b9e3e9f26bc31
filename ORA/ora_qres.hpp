#pragma once

// the recordset of one SELECT; ora_table derives from it. the client's types stay in
// ora_session.hpp, ora_stmt.hpp and ora_type.hpp, which only ORA/ sources include

#include "udb_rset.hpp"

#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

class ora_record;
class ora_session;
class ora_stmt;
class ora_type;
class udb_relationships;
struct OCIParam;

class ora_query_results : public udb_recordset {
public:
    // describes, defines and executes at once; column_count 0: read it from the client
    ora_query_results(ora_session& session, unsigned column_count, const std::wstring& sql);
    ~ora_query_results() override;

    // not supported on query results: an internal error
    void append_record(const udb_record& record) override;
    // the current row as a record owned by the recordset; null when there is none
    udb_record* get_item() override;
    // fetches the next row; true when there is none
    bool is_eof() override;

    void initialize(unsigned column_count, const std::wstring& sql);

    // the reading loop in one call: is_eof, then get_item; null at the end
    udb_record* next_record();

    // the column object of a select-list item, by its client data type code
    static std::unique_ptr<ora_type> gen_co_by_type(ora_session& session, OCIParam* param,
                                                    unsigned short type);

    const std::vector<std::unique_ptr<ora_type>>& get_columns() const { return m_columns; }
    unsigned get_column_count() const { return m_column_count; }

    // the text of field i of a record, empty for NULL
    static std::wstring field_text(const udb_record& record, size_t i);

protected:
    // for ora_table: named, over a table (empty text) or a query; initialized later
    ora_query_results(ora_session& session, const std::wstring& name, const std::wstring& text);

    // one fetch into the column buffers; true when a row came
    bool fetch_row();

    // the table description, run by the constructors of ora_table: the schema, then for
    // a table its indexes and the foreign keys that refer to it (added to relationships,
    // which may be null), and the record count. over a query text it is describe_query
    void describe_table(udb_relationships* relationships);
    // the same over a query (an empty text describes and counts the table of the name);
    // no indexes are read
    void describe_query();
    void init_schema();
    void init_indexes(udb_relationships* relationships);
    int get_columns_cnt();
    static ole_variant get_def_value(VARTYPE type, const std::wstring& text);

    ora_session& m_session;
    bool m_fetched = false;
    unsigned m_column_count = 0;
    bool m_initialized = false;
    std::unique_ptr<ora_stmt> m_stmt;
    std::vector<std::unique_ptr<ora_type>> m_columns;
    // the declared scale of each NUMBER(p,s) column, by column name
    std::map<std::wstring, int> m_number_scales;
    // the digits of fractional seconds of each TIMESTAMP(n) column, by column name
    std::map<std::wstring, int> m_timestamp_scales;
    // the TIMESTAMP WITH TIME ZONE and WITH LOCAL TIME ZONE columns among them
    std::set<std::wstring> m_zoned_timestamps;
    // the BINARY_FLOAT (true) and BINARY_DOUBLE (false) columns, by column name
    std::map<std::wstring, bool> m_binary_numbers;
    std::unique_ptr<ora_record> m_current;
    bool m_at_end = false;      // the last fetch found no row
};
