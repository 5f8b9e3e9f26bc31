#include "pgs_schinit.hpp"

#include "pgs_db.hpp"
#include "pgs_idxinit.hpp"
#include "pgs_impl.hpp"
#include "pgs_rs.hpp"
#include "pgs_session.hpp"
#include "pgs_util.hpp"
#include "tk_log.hpp"
#include "tk_utils.hpp"
#include "udb_rule.hpp"

#include <vector>

pgs_schema_initializer::pgs_schema_initializer(const std::wstring& table, const udb_schema& source,
                                               const udb_indexes& indexes, pgs_quote_fn quote)
    : m_table(table), m_quote(std::move(quote)), m_validator(source)
{
    tk_trace(1, "pgs_schema_initializer::ctor");
    for (const auto& src : source.fields) {
        std::wstring name = src->name;
        if (!m_validator.is_acceptable(name))
            name = m_validator.get_safe_name(name);
        bool not_null = src->auto_increment || src->b_not_null;
        if (!not_null && indexes.is_idx_field(src->name, true)) {
            tk_trace(2, "Field is a part of Primary Key");
            not_null = true;
        }
        const ole_variant def = src->auto_increment ? ole_variant() : src->default_value;
        m_fields.add_field(std::make_unique<t_ftd>(src->size, name, src->vartype, not_null,
                                                   src->auto_increment, def, src->reserved));
        if (name != src->name) {
            tk_wtrace(2, L"Store generated column name '%ls'", name.c_str());
            tk_wtrace(1, L"udb_validator::add_mapped_pair(%ls,%ls)", src->name.c_str(),
                      name.c_str());
            m_names.add(src->name, name);
        }
        m_validator.keep_name(name, name != src->name);
    }
}

std::wstring pgs_schema_initializer::column_clause(const t_ftd& field) const
{
    const std::wstring type = udb_custom_conversion::is_acceptable1(field)
                                  ? udb_custom_conversion::handle1(field)
                                  : pgs_get_native_type(field);
    std::wstring clause = pgs_quoted_name(field.name) + L" " + type;
    const std::wstring def = make_pgs_def_val(&field, m_quote);
    tk_wtrace(1, L"got def value: %ls", def.c_str());
    // a TEXT or unbounded column takes no DEFAULT
    const bool sized = field.size >= 1 && field.size <= pgs_max_inline_size;
    const bool text_or_binary = field.vartype == VT_BSTR || field.vartype == VT_BLOB;
    if (!def.empty() && (!text_or_binary || sized))
        clause += L" DEFAULT " + def;
    if (field.b_not_null)
        clause += L" NOT NULL";
    return clause;
}

std::wstring pgs_schema_initializer::get_init_str() const
{
    tk_trace(1, "pgs_schema_initializer::get_init_str(n_columns=%d)", int(m_fields.fields.size()));
    std::wstring sql = L"CREATE TABLE " + m_table + L" (";
    for (size_t i = 0; i < m_fields.fields.size(); ++i) {
        if (i != 0)
            sql += L", ";
        sql += column_clause(*m_fields.fields[i]);
    }
    return sql + L")";
}

std::unique_ptr<udb_recordset> pgs_database::create_table(const std::wstring& name,
                                                          const udb_schema& fields,
                                                          const udb_indexes& indexes)
{
    tk_wtrace(2, L"pgs_database::create_table(%ls)", name.c_str());
    // a listed table takes the rows as it is
    if (is_table_exist(name))
        return get_table(name, 2);
    const auto [schema, table] = pgs_split_name(name);
    for (const std::wstring& part : {schema, table})
        if (pgs_name_bytes(part) > pgs_max_name_bytes)
            throw pgs_exception("Cannot create table: the name \"" + tk_to_utf8(part) +
                                "\" is longer than 63 bytes");
    const std::wstring quoted = pgs_quoted_name(schema, table);
    const pgs_schema_initializer initializer(
        quoted, fields, indexes,
        [this](const std::wstring& text) { return tk_from_utf8(m_session.literal(text)); });
    // every statement is built, and every type known, before anything is sent
    std::vector<std::wstring> statements{initializer.get_init_str()};

    // the names a failed table settled stay free for its retry
    pgs_validator& index_names = pgs_validator_singleton::instance().get_validator();
    const auto existing_names = index_names.existing_names;
    const auto restricted_words = index_names.restricted_words;
    try {
        if (!indexes.empty()) {
            const pgs_indexes_initializer index_initializer(quoted, table, initializer.get_fields(),
                                                            indexes, initializer.get_names_map());
            index_initializer.build_indexes(
                [&](const std::wstring& sql) { statements.push_back(sql); });
        }
        // the table, its key and its indexes together or not at all
        const auto failed = [](const std::wstring& sql) {
            return "Cannot create table: " + tk_to_ansi(sql) + ". ";
        };
        pgs_guard(failed(statements.front()), [&] {
            pgs_read_transaction tx(m_session.connection(), "build_schema");
            for (const std::wstring& sql : statements)
                pgs_guard(failed(sql), [&] { tx.exec(tk_to_utf8(sql)); });
            tx.commit();
        });
    } catch (...) {
        index_names.existing_names = existing_names;
        index_names.restricted_words = restricted_words;
        throw;
    }

    add_full_name(schema, table, tables);
    const std::wstring full_name = tables[tables.size() - 1];
    names_map.add_fn_map(full_name, initializer.get_names_map());
    // the created pair itself: a listed name may stand for a table of another schema
    return std::make_unique<pgs_recordset>(m_session, std::make_pair(schema, table), full_name, 2,
                                           false);
}
