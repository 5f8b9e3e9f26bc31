#include "ora_idxinit.hpp"

#include "ora_except.hpp"
#include "ora_limits.hpp"
#include "ora_stmt.hpp"
#include "ora_util.hpp"
#include "ora_vali.hpp"
#include "tk_log.hpp"
#include "tk_utils.hpp"

#include <utility>

ora_indexes_initializer::ora_indexes_initializer(ora_session& session, const std::wstring& table,
                                                 const udb_schema& fields,
                                                 const udb_indexes& source,
                                                 const t_names_map& names)
    : m_session(session), m_table(table), m_fields(fields), m_names(names)
{
    ora_in_validator& names_in_use = ora_in_validator::instance();
    names_in_use.load(source);
    ora_validator& validator = names_in_use.validator();

    for (const udb_index& src : source) {
        std::wstring index_name = src.name;
        bool renamed = !validator.is_acceptable(index_name);
        if (renamed)
            index_name = validator.get_safe_name(index_name);

        std::vector<std::wstring> columns;
        bool can_build = true;
        for (const std::wstring& field : src.fields) {
            // an exact entry first: with columns id and ID (renamed), id is not ID's
            std::wstring column;
            auto it = m_names.find(field);
            if (it != m_names.end())
                column = it->second;
            else if (m_fields.find_field(field))
                column = field;
            else
                column = m_names.get_mapped_name(field, false);
            const t_ftd& descriptor = m_fields.get_field(column);
            if (!can_be_part_of_index(descriptor)) {
                tk_wtrace(2, L"Field '%ls' cannot be part of index", descriptor.name.c_str());
                // the run reports it: a lost key lets duplicates in
                m_left_out.push_back({src.name, field, std::wstring()});
                can_build = false;
                break;
            }
            columns.push_back(descriptor.name);
        }
        if (!can_build)
            continue;

        m_indexes.emplace_back(index_name, src.unique, src.primary, columns);
        m_weaker.push_back(weaker_key(src));
        m_source_names.push_back(src.name);
        m_built.push_back(false);
        if (src.primary)
            m_pk = int(m_indexes.size()) - 1;
        if (renamed)
            tk_wtrace(2, L"Store generated index name '%ls'", index_name.c_str());
        validator.keep_name(index_name, renamed);
    }
}

std::string ora_indexes_initializer::weaker_key(const udb_index& src)
{
    const std::string shown = "Index " + tk_to_ansi(src.name);
    if (!src.unique)
        return src.nullable_field.empty()
                   ? std::string()
                   : shown + " is converted without UNIQUE: its column "
                         + tk_to_utf8(src.nullable_field)
                         + " allows NULL, and Oracle would refuse rows that PostgreSQL accepts";
    // oracle's UNIQUE compares the values as they are and leaves out keys that are NULL
    // in every column
    if (!src.loose_field.empty())
        return shown + " keeps UNIQUE comparing values exactly: its column "
               + tk_to_ansi(src.loose_field) + " has the non-deterministic collation "
               + tk_to_ansi(src.loose_collation)
               + ", and Oracle accepts values that PostgreSQL takes as equal";
    if (src.nulls_not_distinct)
        return shown + " keeps UNIQUE without NULLS NOT DISTINCT: Oracle accepts several rows "
                       "whose key columns are all NULL, which PostgreSQL refuses";
    return std::string();
}

bool ora_indexes_initializer::can_be_part_of_index(const t_ftd& field) const
{
    tk_trace(1, "ora_indexes_initializer::can_be_part_of_index");
    tk_trace(1, "GOT FIELD: vt=%d, size=%d", int(field.vartype), field.size);
    // every text and binary type: a source column past the inline size
    return !udb_is_large_column(field, unsigned(ora_max_inline_size));
}

std::wstring ora_indexes_initializer::index_statement(size_t i) const
{
    const udb_index& index = m_indexes[i];
    std::wstring fields;
    for (const std::wstring& field : index.fields) {
        tk_wtrace(1, L"Process idx.field %ls", field.c_str());
        if (!fields.empty())
            fields += L", ";
        fields += ora_quoted_name(field);
    }
    const std::wstring table = ora_quoted_name(m_table);
    const std::wstring name = ora_quoted_name(index.name);
    if (index.primary)
        return L"ALTER TABLE " + table + L" ADD CONSTRAINT " + name + L" PRIMARY KEY (" + fields
               + L")";
    if (m_pk >= 0 && index.consists_of_fields(m_indexes[size_t(m_pk)].fields)) {
        tk_wtrace(2, L"Skip index '%ls', it is equal to PK", index.name.c_str());
        return std::wstring();
    }
    if (index.unique)
        return L"ALTER TABLE " + table + L" ADD CONSTRAINT " + name + L" UNIQUE (" + fields + L")";
    return L"CREATE INDEX " + name + L" ON " + table + L" (" + fields + L")";
}

void ora_indexes_initializer::build_indexes()
{
    tk_trace(1, "ora_indexes_initializer::build_indexes(n_indexes=%d)", int(m_indexes.size()));
    for (size_t i = 0; i < m_indexes.size(); ++i) {
        std::wstring sql = index_statement(i);
        bool refused = sql.empty();
        if (!refused) {
            tk_wtrace(3, L"Run SQL query: %ls\n", sql.c_str());
            try {
                ora_stmt stmt(m_session);
                stmt.prepare(sql);
                stmt.execute(1, OCI_DEFAULT);
            } catch (const ora_exception& e) {
                tk_trace(2, "Got error: %08X", unsigned(e.get_code() & 0xFFFF));
                // the table is left without it: the user must learn which one
                if (e.get_code() != ora_error_code(1408) && e.get_code() != ora_error_code(2261))
                    throw ora_exception(e.get_code() & 0xFFFF,
                                        "Index " + tk_to_utf8(m_source_names[i])
                                            + " was not created: " + e.what());
                refused = true;
            }
        }
        if (refused) {
            // oracle keeps one index over a column list: said, so that the user knows
            const std::wstring repeated = repeated_index(i);
            if (repeated.empty())
                throw tk_mail_assertion("ora_idxinit.cpp", __LINE__);
            m_left_out.push_back({m_source_names[i], std::wstring(), repeated});
            continue;
        }
        m_built[i] = true;
        if (!m_weaker[i].empty())
            m_weaker_keys.push_back(m_weaker[i]);
    }
}

std::wstring ora_indexes_initializer::repeated_index(size_t i) const
{
    // the one oracle compares it with: the same column list, and for a key a key
    const udb_index& index = m_indexes[i];
    const auto find = [&](bool same_order, bool same_kind) {
        for (size_t j = 0; j < m_indexes.size(); ++j) {
            const udb_index& other = m_indexes[j];
            if (j == i || (!(j < i && m_built[j]) && int(j) != m_pk))
                continue;
            if (same_order ? other.fields != index.fields
                           : !other.consists_of_fields(index.fields))
                continue;
            if (same_kind && index.unique && !other.unique && !other.primary)
                continue;
            return m_source_names[j];
        }
        return std::wstring();
    };
    for (const auto& [same_order, same_kind] : {std::pair(true, true), std::pair(false, true),
                                                std::pair(false, false)}) {
        const std::wstring found = find(same_order, same_kind);
        if (!found.empty())
            return found;
    }
    return std::wstring();
}
