#include "ora_wplan.hpp"

#include "ora_orig.hpp"
#include "ora_util.hpp"
#include "ora_vali.hpp"
#include "tk_except.hpp"
#include "tk_log.hpp"
#include "tk_utils.hpp"
#include "udb_rec.hpp"
#include "udb_sche.hpp"

#include <algorithm>
#include <map>

namespace {

const char* const structure_error =
    "The structure of data source does not conform to the destination table.";

} // namespace

ora_field_finder::ora_field_finder(const udb_record& record, bool upper_case,
                                   const t_names_map* column_map, const udb_schema* columns)
    : m_upper_case(upper_case), m_column_map(column_map)
{
    tk_trace(1, "ora_field_finder::ctor");
    intialize(record);
    if (columns)
        find_columns(record, *columns);
}

void ora_field_finder::find_columns(const udb_record& record, const udb_schema& columns)
{
    const size_t count = columns.fields.size();
    std::vector<std::wstring> origins(count);   // the source field a column records
    std::map<std::wstring, int> recorded;
    for (size_t pos = 0; pos < count; ++pos) {
        origins[pos] = ora_column_origin(columns.fields[pos]->comment);
        if (!origins[pos].empty())
            recorded.emplace(origins[pos], int(pos));
    }
    std::map<std::wstring, int> seen;
    for (const auto& field : record.fields)
        if (field)
            ++seen[field->name];
    m_columns.assign(record.fields.size(), -1);
    std::vector<bool> taken(count, false);
    // the column an earlier run made for the field, whatever name the field would get now
    for (size_t i = 0; i < record.fields.size(); ++i) {
        const udb_field* field = record.fields[i].get();
        if (!field || seen[field->name] != 1)
            continue;
        const auto found = recorded.find(field->name);
        if (found == recorded.end())
            continue;
        m_columns[i] = found->second;
        taken[size_t(found->second)] = true;
    }
    const auto by_name = [&](const std::wstring& name) {
        for (size_t pos = 0; pos < count; ++pos)
            if (columns.fields[pos]->name == name)
                return int(pos);
        return columns.get_field_idx(name);
    };
    for (size_t i = 0; i < record.fields.size(); ++i) {
        const udb_field* field = record.fields[i].get();
        if (!field || m_columns[i] >= 0 || m_names[i].empty())
            continue;
        const int pos = by_name(m_names[i]);
        // a column that holds another source field's values is not this field's
        if (pos < 0 || taken[size_t(pos)]
            || (!origins[size_t(pos)].empty() && origins[size_t(pos)] != field->name)) {
            tk_wtrace(2, L"Field %ls has no column of its own", field->name.c_str());
            continue;
        }
        m_columns[i] = pos;
        taken[size_t(pos)] = true;
    }
    for (size_t i = 0; i < record.fields.size(); ++i)
        if (record.fields[i])
            m_names[i] = m_columns[i] >= 0 ? columns.fields[size_t(m_columns[i])]->name
                                           : std::wstring();
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
    ora_field_finder finder(record, upper_case, column_map, &schema);

    // a field without its column is named after the table, a column without its field
    // takes its default: the rest of the record is written
    for (size_t i = 0; i < record.fields.size(); ++i) {
        const udb_field* field = record.fields[i].get();
        if (!field)
            continue;
        const int pos = finder.get_column(i);
        tk_wtrace(2, L"Name=%ls, column=%d", field->name.c_str(), pos);
        if (pos < 0)
            m_unmatched.push_back(field->name);
        else
            m_items.push_back({pos, i});
    }
    if (m_items.empty()) {
        tk_trace(2, "No field of the record has a column in the table");
        m_unmatched.clear();
        throw tk_exception(structure_error, 0);
    }
    // as many fields as columns or more: the columns in table order
    if (record.fields.size() >= schema.fields.size())
        std::sort(m_items.begin(), m_items.end(),
                  [](const item& a, const item& b) { return a.pos < b.pos; });

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
