#pragma once

#include "udb_nmap.hpp"
#include "udb_rec.hpp"

#include <string>
#include <vector>

class ora_type;

// one fetched row: a field per column object, NULL columns as empty values
class ora_record : public udb_record {
public:
    // the column buffers must still hold the row: build it before the next fetch
    explicit ora_record(const std::vector<ora_type*>& columns);
};

// the oracle column name of every field of a record, as the table builder named the
// columns: renamed fields through the table's column-name map, the others upper-cased
// (in upper-case mode) and made acceptable
class ora_field_finder {
public:
    // column_map: source field name -> column name of a table this run created, or null
    ora_field_finder(const udb_record& record, bool upper_case,
                     const t_names_map* column_map = nullptr);

    // the position of the first field whose oracle name is exactly the column name, -1
    int get_field_idx(const std::wstring& column) const;
    // the oracle name of field i
    const std::wstring& get_name(size_t i) const { return m_names[i]; }
    size_t size() const { return m_names.size(); }

private:
    void intialize(const udb_record& record);

    bool m_upper_case;
    const t_names_map* m_column_map;
    std::vector<std::wstring> m_names;
};
