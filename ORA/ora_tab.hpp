#pragma once

#include "ora_idxinit.hpp"
#include "ora_qres.hpp"
#include "ora_wplan.hpp"

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

class ora_lob_insert;
class ora_session;
class ora_stmt;
class t_ftd;
class udb_database;
class udb_field;
class udb_record;
class udb_relationships;
class t_names_map;

// runs one INSERT and returns the ROWID of the new row (the only bind of the engine)
class ora_get_rowid {
public:
    explicit ora_get_rowid(ora_session& session);
    ~ora_get_rowid();
    ora_get_rowid(const ora_get_rowid&) = delete;
    ora_get_rowid& operator=(const ora_get_rowid&) = delete;

    // text: the INSERT up to its open value list; commits on success unless told not to
    std::wstring do_insert(const std::wstring& text, bool commit = true);

private:
    friend struct ora_rowid_binder;

    ora_session& m_session;
    uint32_t m_len = sizeof(m_rowid);   // bytes; the client writes the ROWID's length here
    std::unique_ptr<ora_stmt> m_stmt;   // one handle, prepared anew for every insert
    void* m_bind = nullptr;
    uint16_t m_rowid[256] = {};         // utf-16 units
};

// a primary or unique key of an oracle table (a constraint or a unique index)
struct ora_unique_key {
    std::wstring name;
    std::vector<std::wstring> columns;
};

// the oracle table: reads it through its SELECT and writes rows as literals, large
// objects after the row through its ROWID. db (may be null) is the destination database
// the table is in: its generated column names and its statements; upper_case is its
// naming mode
class ora_table : public ora_query_results {
public:
    // over a whole table: describes the columns, reads the keys and counts the rows
    ora_table(ora_session& session, udb_database* db, bool upper_case, const std::wstring& name,
              udb_relationships* relationships, int mode = 0);
    // over a query text (an empty text counts the table of that name)
    ora_table(ora_session& session, udb_database* db, bool upper_case, const std::wstring& name,
              const std::wstring& text, udb_relationships* relationships, int mode = 0);
    ~ora_table() override;

    // one INSERT that commits; for a table with large objects the INSERT, the writes of
    // its large objects, then the commit, so that the row is never kept without them
    void append_record(const udb_record& record) override;
    // rewrites the row with the record's key values, its large objects through their
    // locators, and commits them together; an oracle error leaves as ora_exception after
    // the row's own work was rolled back
    void update(const udb_record& record) override;
    // fetches the next row unless the row position reached the record count
    bool is_eof() override;
    void next() override;

    // values the writer could not keep (numbers beyond oracle's range, written as the
    // column default or NULL), counted per column name
    const std::map<std::wstring, unsigned>& get_replaced_values() const
    {
        return m_replaced_values;
    }
    // values too small for oracle's NUMBER (below 1e-130), written as 0, per column name
    const std::map<std::wstring, unsigned>& get_zeroed_values() const { return m_zeroed_values; }
    // the columns whose NOT NULL constraint the writer dropped to take an empty value
    const std::vector<std::wstring>& get_dropped_not_null() const { return m_dropped_not_null; }
    // a table the run created itself may lose a NOT NULL to take an empty value; the user's
    // own table keeps its definition and refuses such a record (set by create_table)
    void set_created(bool created) { m_created = created; }
    // the source indexes that creating this table left out (set by create_table)
    const std::vector<ora_left_out_index>& get_left_out_indexes() const { return m_left_out; }
    void set_left_out_indexes(std::vector<ora_left_out_index> left_out)
    {
        m_left_out = std::move(left_out);
    }
    // the keys made that keep less than the source's rule, as messages (set by create_table)
    void set_weaker_keys(std::vector<std::string> weaker) { m_weaker_keys = std::move(weaker); }
    // the lists above and the source fields the table has no column for, as messages
    std::vector<std::string> get_losses() const override;
    // from the catalogue: also a key whose name oracle generated, which indexes leaves out
    bool has_unique_key() override;
    // the rows appended that no unique key can find again: NULL in every column of every
    // key (oracle's UNIQUE skips a key only when it is NULL in every column), every row
    // when there is no key
    int get_unkeyed_rows() const override { return m_unkeyed_rows; }
    // the keys over columns that records of the source's fields leave unwritten
    std::vector<std::string> get_unwritten_keys(const udb_schema& source) override;
    // the source's keys that no key of the table keeps (none over the same columns or fewer
    // of them); a key oracle cannot build (over a large object) or over a field the table
    // has no column for is reported elsewhere
    std::vector<std::string> get_missing_keys(const udb_schema& source,
                                              const udb_indexes& keys) override;

    // the item of one value in the VALUES list; pos is the column's position
    std::wstring get_fld_append_wstr(int pos, const udb_field& value, const t_ftd& column);
    // drops the NOT NULL constraint of the column at pos (committed at once); why says what
    // came for it (an empty text or NULL), as the loss message
    void reset_not_null_flag(int pos,
                             const char* why = "an empty value arrives in Oracle as NULL");

private:
    // the column names of the table when this run created it (source -> column), or null
    const t_names_map* column_map() const;
    // the hook's literal when it accepts the value, else get_fld_append_wstr
    std::wstring value_item(int pos, const udb_field& value);
    // the INSERT of one record, its large objects and its commit
    void write_row(const udb_record& record);
    // undoes the row whose large objects could not be written
    void rollback_row() noexcept;
    // the literal of a value for its column: a date into a TIMESTAMP(n) column with its
    // fraction, anything else as to_oracle_str gives it
    std::wstring column_literal(const udb_field& value, const t_ftd& column);
    // raises ora_value_exception for a date literal of a day oracle does not have
    static void check_calendar(const t_ftd& column, const std::wstring& literal);
    // raises ora_value_exception for a number its NUMBER(p,s) column would round; the
    // message shows a floating-point value as its shortest text
    void check_scale(const t_ftd& column, const std::wstring& literal,
                     const udb_field& value) const;
    // raise the structure error for bytes into a column that holds no bytes (text, number,
    // date), and for a text or number into a RAW column (a GUID's bytes excepted)
    static void check_bytes_column(const udb_field& value, const t_ftd& column);
    static void check_raw_column(const udb_field& value, const t_ftd& column,
                                 const std::wstring& literal);
    // the columns that find the row of an update: the table's key, else a unique key
    // whose name oracle generated; raises when the table has none
    std::vector<std::wstring> update_key();
    // the literal of a floating-point value oracle cannot hold as it is (beyond its range,
    // NaN, too small), counted per column; empty for every other value
    std::wstring number_replacement(const udb_field& value, const t_ftd& column);
    // the same for a BINARY_FLOAT or BINARY_DOUBLE column: beyond its range, or for a
    // BINARY_FLOAT too small to be anything but 0
    std::wstring binary_replacement(double number, bool single, const t_ftd& column);
    // a number the column cannot hold: its default or NULL, counted
    std::wstring replaced_number(const t_ftd& column);
    // a number literal for a BINARY_FLOAT or BINARY_DOUBLE column as a binary literal; any
    // other literal as it is
    std::wstring binary_literal(const std::wstring& literal, const udb_field& value,
                                const t_ftd& column) const;
    // the counters a row changes, put back when the row is not written
    struct counters_guard;
    // per source field the position of its column as the rows are written, -1 for none;
    // empty when the fields do not fit the table at all
    std::vector<int> columns_of(const udb_schema& source);
    // a source field without a column here: reported after the table
    void note_unwritten_field(const std::wstring& field);
    // the primary and unique keys of the table, read from the catalogue once
    const std::vector<ora_unique_key>& unique_keys();
    // whether a key of the row holds a value: null_at tells, per column, whether the row
    // leaves it NULL
    bool is_keyed_row(const std::vector<bool>& null_at);

    unsigned m_row_pos = 0;
    ora_get_rowid m_inserter;
    udb_database* m_db;
    bool m_upper_case;
    udb_relationships* m_relationships;
    // the matching of the last record's field names, and the large-object writer of
    // the table; both made at the first row
    ora_write_plan m_plan;
    std::unique_ptr<ora_lob_insert> m_lobs;
    std::map<std::wstring, unsigned> m_replaced_values;
    std::map<std::wstring, unsigned> m_zeroed_values;
    // dates written into a column WITH (LOCAL) TIME ZONE, which take oracle's session zone
    std::map<std::wstring, unsigned> m_zoned_values;
    std::vector<ora_left_out_index> m_left_out;
    std::vector<std::string> m_weaker_keys;
    std::vector<std::wstring> m_dropped_not_null;
    std::vector<std::string> m_dropped_not_null_why;   // what came, per dropped column
    bool m_created = false;
    std::vector<std::wstring> m_unwritten_fields;
    std::unique_ptr<std::vector<ora_unique_key>> m_unique_keys;
    int m_unkeyed_rows = 0;
};
