#include "ora_rec.hpp"

#include "ora_type.hpp"
#include "ora_vali.hpp"
#include "tk_log.hpp"
#include "tk_utils.hpp"

ora_record::ora_record(const std::vector<ora_type*>& columns)
{
    tk_trace(1, "ora_record::ctor");
    for (size_t i = 0; i < columns.size(); ++i) {
        ora_type* column = columns[i];
        if (column->is_null()) {
            tk_trace(1, "Field #%d has NULL value", int(i));
            add_field(std::make_unique<udb_field>(column->get_name(), column->get_data_size(),
                                                  ole_variant(), false, false));
        } else {
            add_field(std::unique_ptr<udb_field>(column->make_field()));
        }
    }
}

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
    for (const auto& field : record.fields) {
        if (!field) {
            m_names.emplace_back();
            continue;
        }
        // a column the table builder renamed is found under the name it got there
        if (m_column_map) {
            auto it = m_column_map->find(field->name);
            if (it != m_column_map->end()) {
                m_names.push_back(it->second);
                continue;
            }
        }
        std::wstring name = field->name;
        if (m_upper_case)
            tk_wstring::to_upper(name);
        if (!validator.is_acceptable(name))
            name = validator.get_safe_name(name);
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
