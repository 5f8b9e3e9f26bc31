#include "pgs_idxinit.hpp"

#include "pgs_db.hpp"
#include "pgs_impl.hpp"
#include "pgs_session.hpp"
#include "pgs_util.hpp"
#include "pgs_vali.hpp"
#include "tk_log.hpp"
#include "tk_utils.hpp"

namespace {

// the generated column of a source column: exactly its mapped name, else the name as it
// stands; a column missing from the list is an internal error of the list
const t_ftd& generated_field(const udb_schema& fields, const t_names_map& names,
                             const std::wstring& source)
{
    const std::wstring name = names.get_mapped_name(source, true);
    for (const auto& field : fields.fields)
        if (field->name == name)
            return *field;
    return fields.get_field(name);
}

} // namespace

pgs_indexes_initializer::pgs_indexes_initializer(const std::wstring& table,
                                                 const std::wstring& table_name,
                                                 const udb_schema& fields,
                                                 const udb_indexes& source,
                                                 const t_names_map& names)
    : m_table(table)
{
    pgs_validator_singleton& names_in_use = pgs_validator_singleton::instance();
    names_in_use.register_indexes(source);
    pgs_validator& validator = names_in_use.get_validator();
    // an index is a relation of the schema: it cannot take the table's name
    validator.add_existing_name(table_name);

    for (const udb_index& src : source) {
        std::wstring name = src.name;
        const bool renamed =
            !validator.is_acceptable(name) || tk_compare_no_case(name, table_name) == 0;
        if (renamed)
            name = validator.get_safe_name(name);

        std::vector<std::wstring> columns;
        bool can_build = true;
        for (const std::wstring& column : src.fields) {
            const t_ftd& field = generated_field(fields, names, column);
            if (!can_be_part_of_index(field)) {
                tk_wtrace(2, L"Field '%ls' cannot be part of index", field.name.c_str());
                can_build = false;
                break;
            }
            columns.push_back(field.name);
        }
        if (!can_build)
            continue;
        const udb_index index(name, src.unique, src.primary, columns);
        tk_trace(1, "udb_indexes::has_index_on_fields");
        if (is_redundant(index)) {
            tk_wtrace(2, L"Skip index '%ls', a kept one covers it", src.name.c_str());
            continue;
        }
        m_indexes.push_back(index);
        if (renamed)
            tk_wtrace(2, L"Store generated index name '%ls'", name.c_str());
        validator.keep_name(name, renamed);
    }
}

bool pgs_indexes_initializer::can_be_part_of_index(const t_ftd& field) const
{
    tk_trace(1, "pgs_indexes_initializer::can_be_part_of_index");
    tk_trace(1, "GOT FIELD: vt=%d, size=%d", int(field.vartype), field.size);
    return !udb_is_large_column(field, unsigned(pgs_max_inline_size));
}

bool pgs_indexes_initializer::is_redundant(const udb_index& index) const
{
    // a key is a constraint: never dropped
    if (index.primary)
        return false;
    for (const udb_index& kept : m_indexes) {
        if (index.unique) {
            // only the same columns under a kept key or unique index enforce the same rule
            if ((kept.unique || kept.primary) && kept.consists_of_fields(index.fields))
                return true;
        } else if (kept.starts_with_fields(index.fields)) {
            return true;
        }
    }
    return false;
}

std::wstring pgs_indexes_initializer::index_statement(const udb_index& index) const
{
    std::wstring columns;
    for (const std::wstring& field : index.fields) {
        tk_wtrace(1, L"Process idx.field %ls", field.c_str());
        if (!columns.empty())
            columns += L", ";
        columns += pgs_quoted_name(field);
    }
    const std::wstring name = pgs_quoted_name(index.name);
    if (index.primary)
        return L"ALTER TABLE " + m_table + L" ADD CONSTRAINT " + name + L" PRIMARY KEY (" +
               columns + L")";
    return std::wstring(L"CREATE ") + (index.unique ? L"UNIQUE " : L"") + L"INDEX " + name +
           L" ON " + m_table + L" (" + columns + L")";
}

void pgs_indexes_initializer::build_indexes(
    const std::function<void(const std::wstring&)>& run) const
{
    tk_trace(1, "pgs_indexes_initializer::build_indexes(n_indexes=%d)", int(m_indexes.size()));
    for (const udb_index& index : m_indexes) {
        const std::wstring sql = index_statement(index);
        tk_wtrace(1, L"Run SQL query: %ls\n", sql.c_str());
        run(sql);
    }
}

namespace {

// a delete rule as the reading engine stores it ("ON DELETE CASCADE"), in canonical
// form; false for any other text
bool canonical_delete_rule(const std::wstring& text, std::wstring& rule)
{
    std::vector<std::wstring> words;
    std::wstring word;
    for (wchar_t c : text + L" ") {
        if (c == L' ' || c == L'\t' || c == L'\r' || c == L'\n') {
            if (!word.empty())
                words.push_back(word);
            word.clear();
        } else {
            word += c;
        }
    }
    rule.clear();
    if (words.empty())
        return true;
    static const std::vector<std::vector<std::wstring>> actions = {
        {L"CASCADE"}, {L"SET", L"NULL"}, {L"SET", L"DEFAULT"}, {L"RESTRICT"}, {L"NO", L"ACTION"}};
    if (words.size() < 3 || tk_compare_no_case(words[0], L"ON") != 0 ||
        tk_compare_no_case(words[1], L"DELETE") != 0)
        return false;
    for (const std::vector<std::wstring>& action : actions) {
        if (words.size() != action.size() + 2)
            continue;
        bool same = true;
        for (size_t i = 0; i < action.size(); ++i)
            same = same && tk_compare_no_case(words[i + 2], action[i]) == 0;
        if (!same)
            continue;
        rule = L"ON DELETE";
        for (const std::wstring& part : action)
            rule += L" " + part;
        return true;
    }
    return false;
}

} // namespace

void pgs_database::create_relationships(const udb_relationships& relationships)
{
    tk_trace(2, "pgs_database::create_relationships");
    // a table by its destination name: the pair it was registered under, else the name
    // split as create_table splits it
    const auto resolve = [&](const std::wstring& source, std::wstring& key) {
        key = get_full_name(names_map.get_tn_mapped_name(source, true));
        const std::pair<std::wstring, std::wstring> pair = get_full_name_pair(key);
        return pair.second.empty() ? pgs_split_name(key) : pair;
    };
    const auto columns = [&](const std::wstring& key, const std::vector<std::wstring>& fields) {
        std::wstring list;
        for (const std::wstring& field : fields)
            list += (list.empty() ? L"" : L", ") +
                    pgs_quoted_name(names_map.get_fn_mapped_name(key, field, true));
        return list;
    };
    std::vector<std::wstring> statements;
    for (const udb_relationship& rel : relationships) {
        std::wstring rule;
        if (!canonical_delete_rule(rel.delete_rule, rule))
            throw pgs_exception("Cannot create foreign key: the delete rule \"" +
                                tk_to_utf8(tk_trim(rel.delete_rule)) + "\" of \"" +
                                tk_to_utf8(rel.constraint_name) + "\" is not known");
        std::wstring key;
        std::wstring referenced_key;
        const auto [schema, table] = resolve(rel.table, key);
        const auto [referenced_schema, referenced_table] =
            resolve(rel.referenced_table, referenced_key);
        std::wstring sql = L"ALTER TABLE " + pgs_quoted_name(schema, table) + L" ADD CONSTRAINT " +
                           pgs_quoted_name(rel.constraint_name) + L" FOREIGN KEY (" +
                           columns(key, rel.fields) + L") REFERENCES " +
                           pgs_quoted_name(referenced_schema, referenced_table) + L"(" +
                           columns(referenced_key, rel.referenced_fields) + L")";
        if (!rule.empty())
            sql += L" " + rule;
        statements.push_back(sql);
    }
    // all of the list or none of it
    pgs_guard("Cannot create foreign key:", [&] {
        pgs_read_transaction tx(m_session.connection(), "init_indexes");
        for (const std::wstring& sql : statements) {
            tk_wtrace(1, L"Run SQL query: %ls\n", sql.c_str());
            tx.exec(tk_to_utf8(sql));
        }
        tx.commit();
    });
}
