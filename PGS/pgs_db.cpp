#include "pgs_db.hpp"

#include "pgs_impl.hpp"
#include "pgs_rs.hpp"
#include "pgs_session.hpp"
#include "pgs_util.hpp"
#include "tk_log.hpp"
#include "tk_utils.hpp"

#include <climits>
#include <utility>
#include <vector>

namespace {

// schema.table, or the table alone with no_schema
std::wstring make_full_name(bool no_schema, const std::wstring& schema, const std::wstring& table)
{
    const bool qualify = !no_schema && !schema.empty();
    return qualify ? schema + L"." + table : table;
}

// the rows the reader takes from a table: its own, or its partitions'. planned as its
// users' reads are: see pgs_recordset
long long count_rows(pgs_session& session, pqxx::transaction_base& tx, const std::wstring& schema,
                     const std::wstring& table, bool partitioned)
{
    pgs_plan_on_own_path(tx, session);
    const std::string sql = "SELECT pg_catalog.count(*) FROM " + std::string(partitioned ? "" : "ONLY ")
                            + session.qualified_name(schema, table);
    return tx.exec(sql)[0][0].as<long long>();
}

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
    pgs_guard("Cannot read the tables of the PostgreSQL database " + tk_to_ansi(name) + ": ",
              [&] {
        pgs_read_transaction tx(m_session.connection(), "get_tables");
        pgs_pin_catalog(tx);
        // servers before 10 have neither partitioned tables nor partitions
        const bool partitions = m_session.connection().server_version() >= 100000;
        // temporary tables belong to a session, not to the database; a partition's rows
        // are read through its partitioned table. a fixed order, so that the first
        // schema listed is always the same one
        const pqxx::result rows = tx.exec(
            std::string("SELECT n.nspname, c.relname, ") +
            (partitions ? "c.relkind = 'p', c.relispartition" : "false, false") +
            " FROM pg_class c JOIN pg_namespace n ON n.oid = c.relnamespace"
            " WHERE c.relkind IN ('r', 'p') AND c.relpersistence <> 't'"
            " AND n.nspname NOT IN ('pg_catalog', 'information_schema')"
            " ORDER BY n.nspname, c.relname");
        std::vector<std::pair<std::wstring, std::wstring>> partition_names;
        for (const pqxx::row& row : rows) {
            const std::wstring schema = tk_from_utf8(row[0].c_str());
            const std::wstring table = tk_from_utf8(row[1].c_str());
            if (row[3].as<bool>()) {
                partition_names.emplace_back(schema, table);
            } else {
                add_full_name(schema, table, list);
                m_listed[make_full_name(m_no_schema, schema, table)].push_back(
                    {schema, table, row[2].as<bool>()});
            }
            if (row[2].as<bool>())
                m_partitioned.insert(make_full_name(m_no_schema, schema, table));
        }
        // after the tables: without the schema a partition must not take the name of a
        // table of another schema
        for (const auto& [schema, table] : partition_names)
            add_partition(schema, table);
    });
}

void pgs_database::add_full_name(const std::wstring& schema, const std::wstring& table,
                                 tk_name_list& list)
{
    tk_wtrace(1, L"pgs_database::add_full_name(%ls,%ls)", schema.c_str(), table.c_str());
    const std::wstring full_name = make_full_name(m_no_schema, schema, table);
    tk_wtrace(1, L"full_name=%ls", full_name.c_str());
    list.push_back(full_name);
    m_full_names.emplace(full_name, std::make_pair(schema, table));
}

void pgs_database::add_partition(const std::wstring& schema, const std::wstring& table)
{
    m_full_names.emplace(make_full_name(m_no_schema, schema, table), std::make_pair(schema, table));
}

bool pgs_database::is_partitioned(const std::wstring& full_name) const
{
    return m_partitioned.count(full_name) != 0;
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
    const auto [schema, table] = pgs_split_name(name);
    return pgs_quoted_name(schema, table);
}

bool pgs_database::is_table_exist(const std::wstring& name)
{
    const std::wstring full_name = get_full_name(name);
    // a partition is no source table of its own, but can still be named
    return udb_database::is_table_exist(full_name) || m_full_names.count(full_name) != 0;
}

std::vector<udb_shared_table> pgs_database::get_tables_sharing(const std::wstring& name)
{
    const auto found = m_listed.find(name);
    if (found == m_listed.end() || found->second.size() < 2)
        return {};
    std::vector<udb_shared_table> shared;
    for (const listed_table& t : found->second) {
        udb_shared_table entry{pgs_shown_name(t.schema, t.table), 0};
        const auto count = [&](pqxx::transaction_base& tx) {
            const long long records = count_rows(m_session, tx, t.schema, t.table, t.partitioned);
            return records > INT_MAX ? INT_MAX : int(records);
        };
        // while the table of the name is being read, in its transaction
        if (!shared.empty())
            entry.records = pgs_guard("Cannot get number of records (" + tk_to_ansi(name) + "): ",
                                      [&] { return pgs_run_read(m_session, "count_shared", count); });
        shared.push_back(entry);
    }
    return shared;
}

long long pgs_database::count_records(const std::wstring& name, const std::wstring& query)
{
    tk_wtrace(2, L"pgs_database::count_records(%ls)", name.c_str());
    const std::wstring full_name = get_full_name(name);
    const auto [schema, table] = get_full_name_pair(full_name);
    // a query's rows would need the query again, which has just failed
    if (!query.empty() || table.empty())
        return -1;
    try {
        m_session.reconnect_if_lost();
        return pgs_guard("", [&] {
            return pgs_run_read(m_session, "count_records", [&](pqxx::transaction_base& tx) {
                return count_rows(m_session, tx, schema, table, is_partitioned(full_name));
            });
        });
    } catch (const tk_exception& e) {
        tk_trace(2, "%s", e.what());
        return -1;
    }
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
    m_session.reconnect_if_lost();
    // the driver may name a table of the public schema without it
    const std::wstring full_name = get_full_name(name);
    return std::make_unique<pgs_recordset>(m_session, get_full_name_pair(full_name), name, mode,
                                           is_partitioned(full_name));
}

std::unique_ptr<udb_recordset> pgs_database::get_query(const std::wstring& name,
                                                       const std::wstring& text, int mode)
{
    tk_wtrace(2, L"pgs_database::get_query([%ls]=%ls)", name.c_str(), text.c_str());
    m_session.reconnect_if_lost();
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
