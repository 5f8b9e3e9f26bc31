#pragma once

#include "ole_auto.hpp"

#include <cstdint>
#include <string>
#include <vector>

class ora_session;
class udb_field;
class udb_schema;

// the error of a record whose values do not fit the table's columns (a text for a BLOB,
// bytes for a text column)
extern const char* const ora_structure_error;

// one large column of a table
struct ora_lob_field {
    int pos;            // position in the table's field list
    VARTYPE vartype;    // VT_BSTR: CLOB, else BLOB
    std::wstring name;
};

// writes the large values of the rows of one table that an INSERT or UPDATE just wrote with
// EMPTY_CLOB()/EMPTY_BLOB() placeholders: selects the row FOR UPDATE and writes each value
// into its locator, a long text in pieces; the locators serve every row. nothing here
// commits.
class ora_lob_insert {
public:
    ora_lob_insert(ora_session& session, const std::wstring& table, const udb_schema* fields);
    ~ora_lob_insert();
    ora_lob_insert(const ora_lob_insert&) = delete;
    ora_lob_insert& operator=(const ora_lob_insert&) = delete;

    // values: the record field of every column of the field list, by column position
    // (null where the row has none)
    void insert(const std::wstring& rowid, const std::vector<const udb_field*>& values);
    // the same for the one row an UPDATE found by the condition (a whole unique key)
    void update(const std::wstring& condition, const std::vector<const udb_field*>& values);

    size_t lob_count() const { return m_lobs.size(); }

    // the utf-16 units of a text converted and written at a time: a large text never
    // has a whole utf-8 copy beside it
    static constexpr size_t clob_piece_units = size_t(1) << 18;

private:
    // selects the row of the condition and writes the values; missing: the error when
    // no row is there
    void write_row(const std::wstring& condition, const std::vector<const udb_field*>& values,
                   const char* missing);
    void write_clob(size_t i, const udb_field& value);
    void write_blob(size_t i, const udb_field& value);
    // one OCILobWrite of the whole buffer at offset 1; csid 0 for bytes
    void write(size_t i, const void* data, size_t size, unsigned csid);
    // the character-set form of the text locator i (SQLCS_IMPLICIT or SQLCS_NCHAR)
    unsigned char text_form(size_t i);
    void free_locators() noexcept;

    ora_session& m_session;
    std::wstring m_table;
    std::vector<void*> m_defines;       // OCIDefine*
    std::vector<ora_lob_field> m_lobs;
    std::vector<void*> m_locators;      // OCILobLocator*
    std::vector<int16_t> m_indicators;  // -1: the row holds NULL, no locator to write
    const udb_schema* m_fields;
};
