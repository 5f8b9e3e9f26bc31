#pragma once

#include "pgs_ftd.hpp"
#include "udb_rset.hpp"

#include <memory>
#include <string>
#include <utility>
#include <vector>

class pgs_session;
class pgs_load;

namespace pqxx {
class dbtransaction;
}

// one postgresql table, or the rows of a query, as the source of a conversion.
// its columns, keys, count and (opened with mode 1) rows come from one snapshot: the read
// transaction opened with the recordset lasts until the rows are read, and reset streams
// them through a server-side cursor inside it; other reads of the engine run inside it
// meanwhile (pgs_run_read). a table also takes rows by COPY (append_record), in a load of
// its own.
class pgs_recordset : public udb_recordset {
public:
    // a listed table of the database, with its (schema, table); mode 1 also reads
    // its primary key and indexes. a partitioned table is read with the rows of its
    // partitions, any other table without those of the tables inheriting from it
    pgs_recordset(pgs_session& session, const std::pair<std::wstring, std::wstring>& location,
                  const std::wstring& name, int mode, bool partitioned);
    // the rows of a query text, converted under name
    pgs_recordset(pgs_session& session, const std::pair<std::wstring, std::wstring>& location,
                  const std::wstring& name, const std::wstring& text, int mode);
    ~pgs_recordset() override;

    // one row into the table by COPY; the rows are committed all at once by complete
    // (or the destructor). a record with fewer fields than the table has columns is a
    // level-0 error and nothing of it is sent
    void append_record(const udb_record& record) override;
    // ends the load and commits; a row the server refuses raises pgs_exception, and then
    // no row of the load stays. without a load it does nothing
    void complete();
    // the current row, owned by the recordset; null at the end. a value that cannot
    // travel unchanged raises pgs_value_exception after the row was fetched
    udb_record* get_item() override;
    bool is_eof() override;
    // at the end, starts again from the first row
    void next() override;
    void reset() override;

    const std::wstring& get_schema_name() const { return m_schema_name; }
    const std::wstring& get_table_name() const { return m_table_name; }

    // the sql texts, utf-8
    std::string get_select_fields() const;
    std::string get_safe_table_name() const;
    std::string get_table_sql() const;
    std::string get_pk_sql() const;
    std::string get_pk_detailed_sql() const;
    std::string get_indices_sql() const;
    std::string get_loose_keys_sql() const;

    // the indexes of the table that are not converted as they are (over an expression,
    // partial, or a unique one that oracle would enforce otherwise), one message each
    std::vector<std::string> get_losses() const override;

    // the fields of the first key_count column numbers of an index key ("1 3");
    // false when one of them names no column (0: an expression)
    bool parse_indkey(const std::string& key, int key_count,
                      std::vector<std::wstring>& result) const;

private:
    struct reader;

    // a read transaction for the recordset, whose snapshot is taken once what it reads is
    // locked against changes of its definition (a query's tables as found before); a table's
    // takes the reader's own search_path. what cannot be locked is checked for a rewrite
    // once the snapshot is taken, and then read again
    void open_read();
    // false when the server refuses the lock
    bool lock_table(pqxx::dbtransaction& tx);
    // the tables, views and partitioned tables planning the query locks: (oid, name)
    std::vector<std::pair<unsigned, std::string>> find_query_tables();
    // the reads of a recordset opened without mode 1 end with its constructor
    void end_catalogue_read(int mode);
    void init_schema(pqxx::dbtransaction& tx);
    void init_query_schema(pqxx::dbtransaction& tx);
    void init_indexes(pqxx::dbtransaction& tx);
    bool index_columns(const std::string& key, int key_count,
                       std::vector<const pgs_ftd*>& result) const;
    int get_rec_count(pqxx::dbtransaction& tx);
    // the table or the query as the FROM of the row and count selects
    std::string get_source() const;
    // the query's text as a subquery: closed on a line of its own, after a trailing comment
    std::string query_subquery() const;
    // the table or query as the steps of its read name it in their errors
    std::string shown_name() const;
    // the next batch; ask_next also asks for the one after it
    void fetch(bool ask_next = true);
    void request_next();
    // whether a table the query's functions locked after its snapshot was rewritten since
    bool query_rewritten_since_snapshot();
    void finish();

    pgs_session& m_session;
    bool m_eof = false;
    std::wstring m_schema_name;
    std::wstring m_table_name;
    bool m_partitioned = false;
    std::unique_ptr<pgs_record> m_current_record;
    std::unique_ptr<reader> m_reader;
    std::vector<std::string> m_losses;
    std::unique_ptr<pgs_load> m_load;
};
