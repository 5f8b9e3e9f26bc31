#pragma once

#include "udb_nmap.hpp"

#include <string>
#include <vector>

class udb_record;
class udb_schema;

// the oracle column name of every field of a record, as the table builder named the
// columns: renamed fields through the table's column-name map, the others upper-cased
// (in upper-case mode) and made acceptable. given the table's columns, the column of each
// field: the one whose comment records the field as its source, else the column of its
// name (exactly, else ignoring case) unless that column records another source field or
// serves an earlier field
class ora_field_finder {
public:
    // column_map: source field name -> column name of a table this run created, or null
    ora_field_finder(const udb_record& record, bool upper_case,
                     const t_names_map* column_map = nullptr,
                     const udb_schema* columns = nullptr);

    // the position of the first field whose oracle name is exactly the column name, -1
    int get_field_idx(const std::wstring& column) const;
    // the oracle name of field i
    const std::wstring& get_name(size_t i) const { return m_names[i]; }
    // the position of field i's column among the columns given, -1 when it has none
    int get_column(size_t i) const { return m_columns.empty() ? -1 : m_columns[i]; }
    size_t size() const { return m_names.size(); }

private:
    void intialize(const udb_record& record);
    void find_columns(const udb_record& record, const udb_schema& columns);

    bool m_upper_case;
    const t_names_map* m_column_map;
    std::vector<std::wstring> m_names;
    std::vector<int> m_columns;
};

// which record field goes into which column of one table. the matching depends only
// on the record's field names, so it is made once for a list of names and kept while
// the records keep that list
class ora_write_plan {
public:
    struct item {
        int pos;        // the column's position in the table's field list
        size_t field;   // the field's position in the record
    };

    // true when the plan was made for the field names of this record
    bool fits(const udb_record& record) const;
    // matches every field to its column; a field without one is not written (unmatched),
    // a column without a field takes its default. a record none of whose fields meets a
    // column raises the structure error and leaves no plan
    void make(const udb_record& record, const udb_schema& schema, bool upper_case,
              const t_names_map* column_map);

    const std::vector<item>& items() const { return m_items; }
    // the names of the record's fields that have no column in the table (their values
    // are not written), in record order
    const std::vector<std::wstring>& unmatched() const { return m_unmatched; }
    // the quoted column names of the items, joined by ", "
    const std::wstring& column_list() const { return m_columns; }

private:
    bool m_made = false;
    std::vector<std::wstring> m_names;
    std::vector<bool> m_present;
    std::vector<item> m_items;
    std::vector<std::wstring> m_unmatched;
    std::wstring m_columns;
};
