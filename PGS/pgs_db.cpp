#include "pgs_db.hpp"

#include "pgs_impl.hpp"
#include "pgs_rs.hpp"
#include "pgs_session.hpp"
#include "tk_log.hpp"
#include "tk_utils.hpp"

namespace {

const char k_no_writing[] = "Writing to PostgreSQL is not supported";

} // namespace

pgs_database::pgs_database(pgs_session& session, const std::wstring& name, bool no_schema)
    : udb_database(name, 1, true), m_session(session), m_no_schema(no_schema)
{
    tk_wtrace(2, L"pgs_database::ctor(%ls)", name.c_str());
    load_tables(name, L"%", tables);
}

pgs_database::~pgs_database() = default;

void pgs_database::load_tables(const std::wstring& schema_pattern,
                               const std::wstring& table_pattern, tk_name_list& list)
{
    tk_wtrace(2, L"schema_pattern=%ls, table_pattern=%ls", schema_pattern.c_str(),
              table_pattern.c_str());
    pgs_guard("", [&] {
        pgs_read_transaction tx(m_session.connection(), "get_tables");
        // a fixed order, so that the first schema listed is always the same one
        const pqxx::result rows =
            tx.exec("SELECT schemaname, tablename FROM pg_tables WHERE schemaname NOT IN "
                    "('pg_catalog', 'information_schema') ORDER BY schemaname, tablename");
        for (const pqxx::row& row : rows)
            add_full_name(tk_from_utf8(row[0].c_str()), tk_from_utf8(row[1].c_str()), list);
    });
}

void pgs_database::add_full_name(const std::wstring& schema, const std::wstring& table,
                                 tk_name_list& list)
{
    tk_wtrace(1, L"pgs_database::add_full_name(%ls,%ls)", schema.c_str(), table.c_str());
    const bool qualify = !m_no_schema && !schema.empty();
    const std::wstring full_name = qualify ? schema + L"." + table : table;
    tk_wtrace(1, L"full_name=%ls", full_name.c_str());
    list.push_back(full_name);
    m_full_names.emplace(full_name, std::make_pair(schema, table));
}

std::wstring pgs_database::get_full_name(const std::wstring& name) const
{
    tk_wtrace(1, L"pgs_database::get_full_name(%ls)", name.c_str());
    // a listed name is itself first: "x" is not the table "public.x" while a table x exists
    if (m_full_names.count(name))
        return name;
    const std::wstring candidate =
        name.find(L'.') != std::wstring::npos ? name : L"public." + name;
    tk_wtrace(1, L"Try to find '%ls'", candidate.c_str());
    if (m_full_names.count(candidate)) {
        tk_trace(1, "SUCCEEDED!");
        return candidate;
    }
    tk_trace(1, "FAILED!");
    return name;
}

std::pair<std::wstring, std::wstring>
pgs_database::get_full_name_pair(const std::wstring& full_name) const
{
    tk_wtrace(1, L"pgs_database::get_full_name_pair(%ls)", full_name.c_str());
    const auto found = m_full_names.find(full_name);
    if (found == m_full_names.end())
        return {};
    return found->second;
}

std::wstring pgs_database::get_safe_name(const std::wstring& name) const
{
    tk_wtrace(1, L"pgs_database::get_safe_name(%ls)", name.c_str());
    const auto quoted = [](const std::wstring& part) {
        std::wstring text = L"\"";
        for (wchar_t c : part) {
            if (c == L'"')
                text += L'"';
            text += c;
        }
        return text + L"\"";
    };
    const size_t point = name.find(L'.');
    if (point == std::wstring::npos)
        return quoted(L"public") + L"." + quoted(name);
    return quoted(name.substr(0, point)) + L"." + quoted(name.substr(point + 1));
}

bool pgs_database::is_table_exist(const std::wstring& name)
{
    return udb_database::is_table_exist(get_full_name(name));
}

bool pgs_database::delete_tab(const std::wstring& name)
{
    tk_wtrace(2, L"pgs_database::delete_tab(%ls)", name.c_str());
    const std::wstring full_name = get_full_name(name);
    try {
        pgs_read_transaction tx(m_session.connection(), "drop_table");
        const auto found = m_full_names.find(full_name);
        // the stored pair also serves schemas and tables with points in their names
        const std::string table = found != m_full_names.end()
                                      ? m_session.qualified_name(found->second.first, found->second.second)
                                      : tk_to_utf8(get_safe_name(full_name));
        tx.exec("DROP TABLE " + table);
        tx.commit();
    } catch (const pqxx::pqxx_exception&) {
        throw pgs_exception("Cannot drop table: " + tk_to_utf8(full_name));
    }
    return udb_database::delete_tab(name);
}

std::unique_ptr<udb_recordset> pgs_database::get_table(const std::wstring& name, int mode)
{
    tk_wtrace(2, L"pgs_database::get_table(%ls)", name.c_str());
    if (!is_table_exist(name))
        throw tk_mail_assertion("pgs_db.cpp", 173);
    // the driver may name a table of the public schema without it
    return std::make_unique<pgs_recordset>(m_session, get_full_name_pair(get_full_name(name)),
                                           name, mode);
}

std::unique_ptr<udb_recordset> pgs_database::get_query(const std::wstring& name,
                                                       const std::wstring& text, int mode)
{
    tk_wtrace(2, L"pgs_database::get_query([%ls]=%ls)", name.c_str(), text.c_str());
    return std::make_unique<pgs_recordset>(m_session, get_full_name_pair(get_full_name(name)),
                                           name, text, mode);
}

bool pgs_database::test_query(const std::wstring& sql)
{
    try {
        pgs_read_transaction tx(m_session.connection(), "init_indexes");
        tx.exec(tk_to_utf8(sql));
        return true;
    } catch (...) {
        return false;
    }
}

int pgs_database::query(const std::wstring&)
{
    return 0;
}

std::unique_ptr<udb_recordset> pgs_database::create_table(const std::wstring& name,
                                                          const udb_schema&, const udb_indexes&)
{
    tk_wtrace(2, L"pgs_database::create_table(%ls)", name.c_str());
    throw tk_exception(k_no_writing, 1);
}

void pgs_database::create_relationships(const udb_relationships&)
{
    tk_trace(2, "pgs_database::create_relationships");
    throw tk_exception(k_no_writing, 1);
}
