#include "pgs_impl.hpp"
#include "pgs_rs.hpp"
#include "pgs_session.hpp"
#include "tk_log.hpp"
#include "tk_utils.hpp"

#include <map>
#include <sstream>
#include <utility>

namespace {

// the table itself, never a same-named one elsewhere on the search path
std::string table_oid(pgs_session& session, const std::wstring& schema, const std::wstring& table)
{
    return session.connection().quote(session.qualified_name(schema, table)) + "::regclass";
}

} // namespace

std::string pgs_recordset::get_pk_sql() const
{
    tk_trace(1, "pgs_recordset::get_pk_sql");
    return "SELECT relname FROM pg_class WHERE oid IN ( SELECT indexrelid FROM pg_index "
           "WHERE indrelid = " +
           table_oid(m_session, m_schema_name, m_table_name) + " AND indisprimary)";
}

std::string pgs_recordset::get_pk_detailed_sql() const
{
    tk_trace(1, "pgs_recordset::get_pk_detailed_sql");
    // key columns in key order: a key on (y, x) stays y, x
    return "SELECT pg_attribute.attname as column_name, format_type(pg_attribute.atttypid, "
           "pg_attribute.atttypmod) FROM pg_index CROSS JOIN LATERAL unnest(pg_index.indkey) "
           "WITH ORDINALITY AS k(attnum, n) JOIN pg_attribute ON pg_attribute.attrelid = "
           "pg_index.indrelid AND pg_attribute.attnum = k.attnum WHERE pg_index.indrelid = " +
           table_oid(m_session, m_schema_name, m_table_name) +
           " AND indisprimary AND k.n <= pg_index.indnkeyatts ORDER BY k.n";
}

std::string pgs_recordset::get_indices_sql() const
{
    tk_trace(1, "pgs_recordset::get_indices_sql");
    // the primary key is listed already. partial indexes are listed to be reported: they
    // do not hold for every row. an unfinished unique index (a failed concurrent build)
    // enforces nothing: its rows may repeat, so it is only a plain one
    // NULLS NOT DISTINCT from release 15 on
    const bool nulls = m_session.connection().server_version() >= 150000;
    return std::string("SELECT pg_class.relname, pg_index.indkey, pg_index.indisunique AND "
           "pg_index.indisvalid, pg_index.indnkeyatts, pg_index.indpred IS NOT NULL, ") +
           (nulls ? "pg_index.indnullsnotdistinct" : "false") +
           " FROM pg_index JOIN pg_class ON pg_class.oid = pg_index.indexrelid WHERE "
           "pg_index.indrelid = " +
           table_oid(m_session, m_schema_name, m_table_name) +
           " AND NOT pg_index.indisprimary ORDER BY pg_class.oid";
}

std::string pgs_recordset::get_loose_keys_sql() const
{
    tk_trace(1, "pgs_recordset::get_loose_keys_sql");
    // the key columns of unique indexes that compare under a non-deterministic collation,
    // in key order
    return "SELECT ic.relname, a.attname, co.collname FROM pg_index i JOIN pg_class ic ON "
           "ic.oid = i.indexrelid CROSS JOIN LATERAL unnest(i.indkey::int2[], "
           "i.indcollation::oid[]) WITH ORDINALITY AS k(attnum, coll, n) JOIN pg_collation co "
           "ON co.oid = k.coll JOIN pg_attribute a ON a.attrelid = i.indrelid AND a.attnum = "
           "k.attnum WHERE i.indrelid = " +
           table_oid(m_session, m_schema_name, m_table_name) +
           " AND i.indisunique AND NOT co.collisdeterministic AND k.n <= i.indnkeyatts "
           "ORDER BY ic.oid, k.n";
}

bool pgs_recordset::index_columns(const std::string& key, int key_count,
                                  std::vector<const pgs_ftd*>& result) const
{
    std::istringstream words(key);
    int number = 0;
    for (int i = 0; i < key_count && words >> number; ++i) {
        const pgs_ftd* found = nullptr;
        for (const auto& field : schema.fields)
            if (static_cast<const pgs_ftd*>(field.get())->ordinal_position == number)
                found = static_cast<const pgs_ftd*>(field.get());
        if (number == 0 || !found)
            return false;
        result.push_back(found);
    }
    return true;
}

bool pgs_recordset::parse_indkey(const std::string& key, int key_count,
                                 std::vector<std::wstring>& result) const
{
    std::vector<const pgs_ftd*> columns;
    if (!index_columns(key, key_count, columns))
        return false;
    for (const pgs_ftd* column : columns)
        result.push_back(column->name);
    return true;
}

void pgs_recordset::init_indexes(pqxx::dbtransaction& tx)
{
    tk_trace(1, "pgs_recordset::init_indexes");
    pgs_guard("Cannot read the indexes of " + shown_name() + ": ", [&] {
        // non-deterministic collations from release 12 on: the first such column of a key
        std::map<std::wstring, std::pair<std::wstring, std::wstring>> loose;
        if (m_session.connection().server_version() >= 120000)
            for (const pqxx::row& row : tx.exec(get_loose_keys_sql()))
                loose.emplace(tk_to_unicode(row[0].c_str()),
                              std::make_pair(tk_from_utf8(row[1].c_str()),
                                             tk_from_utf8(row[2].c_str())));
        const auto mark_loose = [&](udb_index& index) {
            const auto found = loose.find(index.name);
            if (found == loose.end())
                return;
            index.loose_field = found->second.first;
            index.loose_collation = found->second.second;
        };
        const pqxx::result key = tx.exec(get_pk_sql());
        if (!key.empty()) {
            const std::wstring key_name = tk_to_unicode(key[0][0].c_str());
            std::vector<std::wstring> fields;
            for (const pqxx::row& row : tx.exec(get_pk_detailed_sql()))
                fields.push_back(tk_from_utf8(row[0].c_str()));
            if (!fields.empty()) {
                indexes.push_back(udb_index(key_name, true, true, fields));
                mark_loose(indexes.back());
            }
        }
        // oracle would enforce these otherwise: left out, or plain, and said so
        m_losses.clear();
        for (const pqxx::row& row : tx.exec(get_indices_sql())) {
            const std::wstring index_name = tk_to_unicode(row[0].c_str());
            const std::string shown = "Index " + std::string(row[0].c_str());
            if (std::string(row[4].c_str()) == "t") {
                tk_wtrace(2, L"Index %ls is skipped: it is partial", index_name.c_str());
                m_losses.push_back(shown + " was not created: it covers only the rows of its "
                                           "WHERE condition, which is not converted");
                continue;
            }
            std::vector<const pgs_ftd*> columns;
            if (!index_columns(row[1].c_str(), row[3].as<int>(), columns)) {
                tk_wtrace(2, L"Index %ls is skipped: its key is not a list of columns",
                          index_name.c_str());
                m_losses.push_back(shown + " was not created: its key holds an expression, "
                                           "which is not converted");
                continue;
            }
            bool unique = std::string(row[2].c_str()) == "t";
            // NULL parts equal: oracle refuses no partly NULL key that postgresql accepts
            const bool nulls_not_distinct = unique && std::string(row[5].c_str()) == "t";
            bool nullable = false;
            std::wstring nullable_field;
            std::vector<std::wstring> fields;
            for (const pgs_ftd* column : columns) {
                fields.push_back(column->name);
                nullable = nullable || !column->b_not_null;
                // oracle refuses partly NULL keys that postgresql accepts: such an
                // index stays a plain one
                // index stays a plain one (said by the destination once it is built)
                if (unique && !nulls_not_distinct && columns.size() >= 2
                    && !column->b_not_null) {
                    unique = false;
                    nullable_field = column->name;
                }
            }
            indexes.push_back(udb_index(index_name, unique, false, fields));
            indexes.back().nullable_field = nullable_field;
            if (unique) {
                indexes.back().nulls_not_distinct = nulls_not_distinct && nullable;
                mark_loose(indexes.back());
            }
        }
    });
}

std::vector<std::string> pgs_recordset::get_losses() const
{
    return m_losses;
}
