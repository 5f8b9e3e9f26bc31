#include "ora_wplan.hpp"

#include "ora_util.hpp"
#include "ora_vali.hpp"
#include "tk_except.hpp"
#include "tk_log.hpp"
#include "tk_utils.hpp"
#include "udb_rec.hpp"
#include "udb_sche.hpp"

#include <map>

namespace {

const char* const structure_error =
    "The structure of data source does not conform to the destination table.";

} // namespace

ora_field_finder::ora_field_finder(const udb_record& record, bool upper_case,
                                   const t_names_map* column_map)
    : m_upper_case(upper_case), m_column_map(column_map)
{
    tk_trace(1, "ora_field_finder::ctor");
    intialize(record);
}

void ora_field_finder::intialize(const udb_record& record)
{
    tk_trace(1, "ora_field_finder::intialize");
    ora_fn_validator validator(record.fields);
    m_names.reserve(record.fields.size());
    // a query's column names may repeat: the map holds one generated name per source name
    std::map<std::wstring, int> seen;
    for (const auto& field : record.fields)
        if (field)
            ++seen[field->name];
    for (const auto& field : record.fields) {
        if (!field) {
            m_names.emplace_back();
            continue;
        }
        // a column the table builder renamed is found under the name it got there
        if (m_column_map && seen[field->name] == 1) {
            auto it = m_column_map->find(field->name);
            if (it != m_column_map->end()) {
                m_names.push_back(it->second);
                validator.keep_name(it->second, true);
                continue;
            }
        }
        // named as the table builder names its columns, each taking its name in turn: an
        // existing table (a repeated run) has no map of the names it was built with
        std::wstring name = field->name;
        if (m_upper_case)
            tk_wstring::to_upper(name);
        if (!validator.is_acceptable(name))
            name = validator.get_safe_name(name);
        validator.keep_name(name, name != field->name);
        m_names.push_back(name);
    }
}

int ora_field_finder::get_field_idx(const std::wstring& column) const
{
    tk_trace(1, "ora_field_finder::get_field_idx");
    for (size_t i = 0; i < m_names.size(); ++i)
        if (m_names[i] == column)
            return int(i);
    return -1;
}

bool ora_write_plan::fits(const udb_record& record) const
{
    if (!m_made || record.fields.size() != m_names.size())
        return false;
    for (size_t i = 0; i < m_names.size(); ++i) {
        const udb_field* field = record.fields[i].get();
        if ((field != nullptr) != m_present[i] || (field && field->name != m_names[i]))
            return false;
    }
    return true;
}

void ora_write_plan::make(const udb_record& record, const udb_schema& schema, bool upper_case,
                          const t_names_map* column_map)
{
    m_made = false;
    m_items.clear();
    m_unmatched.clear();
    m_columns.clear();
    ora_field_finder finder(record, upper_case, column_map);

    if (record.fields.size() < schema.fields.size()) {
        tk_trace(2, "Size of record is less than size of schema");
        for (size_t i = 0; i < record.fields.size(); ++i) {
            const udb_field* field = record.fields[i].get();
            if (!field)
                continue;
            const std::wstring& mapped = finder.get_name(i);
            tk_wtrace(2, L"Name=%ls, mapped name=%ls", field->name.c_str(), mapped.c_str());
            int pos = schema.get_field_idx(mapped);
            if (pos < 0) {
                tk_wtrace(2, L"Field %ls not found", mapped.c_str());
                throw tk_exception(structure_error, 0);
            }
            m_items.push_back({pos, i});
        }
    } else {
        tk_trace(2, "Size of schema is less or equal to the size of record");
        for (size_t pos = 0; pos < schema.fields.size(); ++pos) {
            const std::wstring& column = schema.fields[pos]->name;
            int idx = finder.get_field_idx(column);
            if (idx < 0) {
                tk_wtrace(2, L"Field %ls not found in appending record", column.c_str());
                throw tk_exception(structure_error, 0);
            }
            m_items.push_back({int(pos), size_t(idx)});
        }
        std::vector<bool> used(record.fields.size(), false);
        for (const item& it : m_items)
            used[it.field] = true;
        for (size_t i = 0; i < record.fields.size(); ++i)
            if (record.fields[i] && !used[i])
                m_unmatched.push_back(record.fields[i]->name);
    }

    for (size_t i = 0; i < m_items.size(); ++i) {
        if (i)
            m_columns += L", ";
        // the column's own spelling: the field may differ from it in case
        m_columns += ora_quoted_name(schema.fields[size_t(m_items[i].pos)]->name);
    }
    m_names.clear();
    m_present.clear();
    for (const auto& field : record.fields) {
        m_present.push_back(field != nullptr);
        m_names.push_back(field ? field->name : std::wstring());
    }
    m_made = true;
}
