#pragma once

#include "udb_idx.hpp"
#include "udb_rec.hpp"
#include "udb_sche.hpp"

#include <string>
#include <vector>

// the engine-neutral table (or query) reader and writer. every operation but
// append_record has a default, so an engine overrides only what it supports.
// recordsets are created by their database and deleted by the caller.
class udb_recordset {
public:
    explicit udb_recordset(const std::wstring& name);
    udb_recordset(const std::wstring& name, const std::wstring& text);
    virtual ~udb_recordset() = default;

    udb_recordset(const udb_recordset&) = delete;
    udb_recordset& operator=(const udb_recordset&) = delete;

    // inserts the record's fields as one new row; only reads the record
    virtual void append_record(const udb_record& record) = 0;
    // changes the row with the same primary or unique key values; the default does nothing
    virtual void update(const udb_record& record);
    // the current record, owned by the recordset until the next get_item or its
    // destruction; null by default
    virtual udb_record* get_item();
    virtual bool is_eof();
    // a recordset over a query text, not a whole table
    virtual bool is_query() const;
    virtual void next();
    virtual void reserved_op();
    // (re)starts reading at the first record
    virtual void reset();
    // what a writer could not keep of its source (indexes left out, constraints
    // dropped, values replaced), one message each; none by default
    virtual std::vector<std::string> get_losses() const;
    // whether a primary or unique key keeps the table's rows apart, so that a row written
    // again collides; by default a unique index of indexes
    virtual bool has_unique_key();
    // of the rows appended, those that no key can find again (a merge cannot tell them
    // from new ones); none by default
    virtual int get_unkeyed_rows() const;
    // the keys of the table that cover a column records of the source's fields do not
    // write, one message each; none by default
    virtual std::vector<std::string> get_unwritten_keys(const udb_schema& source);
    // the primary and unique keys of the source (its fields and indexes) that the table
    // lacks, one message each: a merge cannot find rows by them; none by default
    virtual std::vector<std::string> get_missing_keys(const udb_schema& source,
                                                      const udb_indexes& keys);

    // keeps index names unique (case-insensitive) and remembers the first primary
    // or unique index in key_index
    void add_index(const udb_index& index);

    std::wstring text;      // empty for a whole table
    std::wstring name;
    udb_schema schema;
    udb_indexes indexes;
    int rec_count = 0;      // set by the engine when it opens the table or query
    int key_index = -1;     // position in indexes of the first primary or unique index
};
