#include "ora_db.hpp"

#include "ora_except.hpp"
#include "ora_idxinit.hpp"
#include "ora_orig.hpp"
#include "ora_qres.hpp"
#include "ora_stmt.hpp"
#include "ora_schinit.hpp"
#include "ora_tab.hpp"
#include "ora_util.hpp"
#include "ora_vali.hpp"
#include "tk_log.hpp"
#include "tk_utils.hpp"

#include <algorithm>

namespace {

std::wstring joined_columns(const std::vector<std::wstring>& columns)
{
    std::wstring out;
    for (const std::wstring& c : columns) {
        if (!out.empty())
            out += L", ";
        out += ora_quoted_name(c);
    }
    return out;
}

} // namespace

ora_database::ora_database(ora_session& session, const std::wstring& data_source, int mode)
    : udb_database(data_source, mode, true), m_session(session)
{
    tk_wtrace(2, L"ora_database::ctor(%ls)", data_source.c_str());
    init_tables();
    tk_trace(2, "Tables count: %d", int(tables.size()));
    try {
        init_views();
    } catch (const ora_exception& e) {
        tk_trace(3, "Error while extracting views:\n%s\n", e.what());
    }
}

ora_database::~ora_database() = default;

void ora_database::init_tables()
{
    tk_trace(2, "ora_database::init_tables");
    ora_session& session = m_session;
    const std::wstring sql =
        ora_server_version(session) < 0x80000
            ? L"select TABLE_NAME from user_tables"
            : L"select TABLE_NAME, IOT_TYPE from user_tables where TEMPORARY='N' and "
              L"NESTED='NO' and IOT_TYPE IS NULL OR IOT_TYPE='IOT'";
    ora_stmt stmt(session);
    stmt.prepare(sql);
    char16_t buffer[256] = {};
    OCIDefine* def = nullptr;
    session.check_status(oci().OCIDefineByPos(stmt, &def, session.handles().err, 1, buffer,
                                              sizeof buffer, SQLT_STR, nullptr, nullptr, nullptr,
                                              OCI_DEFAULT),
                         "OCIDefineByPos");
    sword status = stmt.execute(1);
    // an error while listing raises: a short list would hide existing tables
    while (status == OCI_SUCCESS || status == OCI_SUCCESS_WITH_INFO) {
        const std::wstring table = ora_from_utf16(buffer, 256);
        tk_wtrace(1, L"Find table '%ls'", table.c_str());
        tables.push_back(table);
        status = stmt.fetch();
    }
}

void ora_database::init_views()
{
    tk_trace(2, "ora_database::init_views");
    ora_query_results rows(m_session, 2,
                           L"select VIEW_NAME, TEXT from SYS.ALL_VIEWS WHERE OWNER='" +
                               ora_sql_text(m_session.get_user()) + L"'");
    while (udb_record* rec = rows.next_record()) {
        const std::wstring view = ora_query_results::field_text(*rec, 0);
        const std::wstring body = ora_query_results::field_text(*rec, 1);
        tk_wtrace(1, L"GOT VIEW: %ls|%ls", view.c_str(), body.c_str());
        views[view] = body;
    }
}

std::unique_ptr<udb_recordset> ora_database::get_table(const std::wstring& name, int mode)
{
    tk_wtrace(2, L"ora_database::get_table(%ls)", name.c_str());
    if (!is_table_exist(name))
        throw tk_mail_assertion("ora_db", 163);
    return std::make_unique<ora_table>(m_session, this, upper_case, name, &relationships, mode);
}

std::unique_ptr<udb_recordset> ora_database::get_query(const std::wstring& name,
                                                       const std::wstring& text, int mode)
{
    tk_wtrace(2, L"ora_database::get_table(%ls)", name.c_str());
    return std::make_unique<ora_table>(m_session, this, upper_case, name, text, &relationships,
                                       mode);
}

bool ora_database::test_query(const std::wstring& sql)
{
    tk_wtrace(2, L"ora_database::test_query(%ls)", sql.c_str());
    ora_stmt stmt(m_session);
    stmt.prepare(sql);
    stmt.execute(1, OCI_PARSE_ONLY);
    return true;
}

int ora_database::query(const std::wstring& sql)
{
    return ora_run_statement(m_session, sql);
}

bool ora_database::delete_tab(const std::wstring& name)
{
    tk_wtrace(2, L"ora_database::delete_tab(%ls)", name.c_str());
    if (!is_table_exist(name))
        throw tk_mail_assertion("ora_db", 180);
    m_dropped_foreign_keys.clear();
    // CASCADE CONSTRAINTS takes them with the table: read first, so that the user learns
    // which ones to restore
    std::vector<std::pair<std::wstring, std::wstring>> referring = referring_foreign_keys(name);
    // its index and key names are free again for the table that replaces it
    if (m_index_names)
        m_index_names->forget_table(name);
    ora_stmt stmt(m_session);
    stmt.prepare(L"DROP TABLE " + ora_quoted_name(name) + L" CASCADE CONSTRAINTS");
    stmt.execute(1);
    m_dropped_foreign_keys = std::move(referring);
    return udb_database::delete_tab(name);
}

std::vector<std::pair<std::wstring, std::wstring>>
ora_database::referring_foreign_keys(const std::wstring& table)
{
    const std::wstring name = L"'" + ora_sql_text(table) + L"'";
    ora_query_results rows(
        m_session, 2,
        L"SELECT c.constraint_name, c.table_name FROM user_constraints c, user_constraints p "
        L"WHERE c.constraint_type='R' AND c.r_owner=p.owner AND "
        L"c.r_constraint_name=p.constraint_name AND p.table_name=" + name +
            L" AND c.table_name<>" + name + L" ORDER BY c.table_name, c.constraint_name");
    std::vector<std::pair<std::wstring, std::wstring>> keys;
    while (udb_record* rec = rows.next_record())
        keys.emplace_back(ora_query_results::field_text(*rec, 0),
                          ora_query_results::field_text(*rec, 1));
    return keys;
}

std::vector<std::string> ora_database::get_drop_losses() const
{
    std::vector<std::string> losses;
    for (const auto& [constraint, table] : m_dropped_foreign_keys)
        losses.push_back("Foreign key " + tk_to_ansi(constraint) + " of table "
                         + tk_to_ansi(table)
                         + " was dropped with the table it refers to and is not created again:"
                           " restore it after the run");
    return losses;
}

std::unique_ptr<udb_recordset> ora_database::create_table(const std::wstring& name,
                                                          const udb_schema& fields,
                                                          const udb_indexes& indexes)
{
    tk_wtrace(2, L"ora_database::create_table(%ls)", name.c_str());
    std::vector<ora_left_out_index> left_out;
    std::vector<std::string> weaker_keys;
    const bool create = !is_table_exist(name);
    if (create) {
        ora_schema_initializer builder(name, fields, upper_case);
        builder.build_schema(m_session);
        const auto origin = m_created_origins.find(name);
        ora_record_origins(m_session, name,
                           {origin != m_created_origins.end() ? origin->second : std::wstring(),
                            upper_case},
                           builder.get_fields(), fields);
        if (!indexes.empty()) {
            ora_indexes_initializer index_builder(m_session, name, builder.get_fields(),
                                                  indexes, builder.get_names_map());
            index_builder.build_indexes();
            left_out = index_builder.get_left_out();
            weaker_keys = index_builder.get_weaker_keys();
        }
        tables.push_back(name);
        names_map.add_fn_map(name, builder.get_names_map());
    }
    std::unique_ptr<udb_recordset> table = get_table(name, 2);
    auto& written = static_cast<ora_table&>(*table);
    written.set_left_out_indexes(std::move(left_out));
    written.set_weaker_keys(std::move(weaker_keys));
    written.set_created(create);
    return table;
}

void ora_database::begin_naming(const std::vector<std::wstring>& source_tables,
                                const std::vector<std::wstring>& other_names)
{
    end_naming();
    m_index_names = std::make_unique<ora_in_validator>(m_session);
    // only the names of this run take a number: an oracle table of the same name is the
    // table a repeated run overwrites, merges into or skips
    m_table_names = std::make_unique<ora_tn_validator>(source_tables, std::vector<std::wstring>());
    // a table an earlier run made for a source table is that table's alone: the source
    // table gets it back, however the names of the others moved since, and no other one
    // gets its name
    const auto own_name = [&](const std::wstring& source) {
        std::wstring own = source;
        if (upper_case)
            tk_wstring::to_upper(own);
        return own;
    };
    std::map<std::wstring, std::vector<std::wstring>> homes;   // source -> its tables
    for (const auto& [table, origin] : ora_read_table_origins(m_session)) {
        if (!is_table_exist(table))
            continue;
        m_origins.emplace(table, origin.source);
        // a run of the other case rule made it: this run's only when it has the same name
        if (origin.upper_case == upper_case || table == own_name(origin.source))
            homes[origin.source].push_back(table);
        m_table_names->held_names.insert(table);
    }
    // every name made at once, in name order: a table's name does not depend on which
    // tables a run converts, nor in which order, nor on the run's queries
    const auto ordered = [](std::vector<std::wstring> names) {
        std::sort(names.begin(), names.end());
        names.erase(std::unique(names.begin(), names.end()), names.end());
        return names;
    };
    const std::vector<std::wstring> tables = ordered(source_tables);
    std::vector<std::wstring> others;
    for (const std::wstring& name : ordered(other_names))
        if (!std::binary_search(tables.begin(), tables.end(), name))
            others.push_back(name);
    const auto plan = [&](const std::wstring& source) {
        const std::wstring dest = make_dest_table_name(source);
        const bool generated = !m_table_names->is_acceptable(source);
        m_dest_table_names.emplace(source, planned_name{dest, generated});
        if (generated)
            m_table_names->add_existing_name(dest);
        m_table_names->restricted_words.push_back(dest);
    };
    // the tables that found theirs first, then the others in name order
    for (const std::wstring& source : tables) {
        m_source_tables.insert(source);
        const auto home = homes.find(source);
        if (home == homes.end())
            continue;
        // of two the one of its own name
        const std::wstring own = own_name(source);
        const std::vector<std::wstring>& held = home->second;
        const bool of_own = std::find(held.begin(), held.end(), own) != held.end();
        const std::wstring dest = of_own ? own : held.front();
        m_dest_table_names.emplace(source, planned_name{dest, dest != own});
        m_table_names->keep_name(dest, dest != own);
    }
    for (const std::wstring& source : tables) {
        if (m_dest_table_names.count(source))
            continue;
        // a name the source table would have as it is, held by another one's table
        const std::wstring own = own_name(source);
        if (m_origins.count(own) && ora_validator().is_acceptable(own))
            m_origin_clashes.emplace(source, own);
        plan(source);
    }
    // the queries' names hold their places among themselves only
    for (const std::wstring& source : others)
        m_table_names->add_existing_name(source);
    for (const std::wstring& source : others) {
        // the name it would have without the tables
        std::wstring own = source;
        if (upper_case)
            tk_wstring::to_upper(own);
        for (const std::wstring& table : tables)
            if (tk_compare_no_case(own, m_dest_table_names.at(table).dest) == 0)
                m_name_clashes.emplace(source, table);
        if (!m_name_clashes.count(source) && m_origins.count(own))
            m_origin_clashes.emplace(source, own);
        plan(source);
    }
}

ora_tn_validator& ora_database::table_names()
{
    if (!m_table_names)
        throw tk_mail_assertion("ora_db", 300);
    return *m_table_names;
}

std::wstring ora_database::get_dest_table_name(const std::wstring& source)
{
    auto planned = m_dest_table_names.find(source);
    return planned != m_dest_table_names.end() ? planned->second.dest
                                               : make_dest_table_name(source);
}

std::wstring ora_database::make_dest_table_name(const std::wstring& source)
{
    ora_tn_validator& validator = table_names();
    std::wstring dest = source;
    if (upper_case)
        tk_wstring::to_upper(dest);
    if (!validator.is_acceptable(dest))
        dest = validator.get_safe_name(dest);
    return dest;
}

void ora_database::keep_dest_table_name(const std::wstring& source, const std::wstring& dest)
{
    ora_tn_validator& validator = table_names();
    // the names begin_naming made are registered already: once more does no harm
    auto planned = m_dest_table_names.find(source);
    const bool generated = planned != m_dest_table_names.end() ? planned->second.generated
                                                               : !validator.is_acceptable(source);
    if (generated) {
        tk_wtrace(2, L"Store generated table name '%ls'", dest.c_str());
        validator.add_existing_name(dest);
        names_map.add_tn_mapping(source, dest);
        std::wstring bare = source;
        tk_wstring::replace_all(bare, L"[", L"");
        tk_wstring::replace_all(bare, L"]", L"");
        if (bare != source)
            names_map.add_tn_mapping(bare, dest);
    }
    validator.restricted_words.push_back(dest);
    // a table this run creates for a source table records it
    if (m_source_tables.count(source))
        m_created_origins[dest] = source;
}

std::vector<std::string> ora_database::get_naming_losses(const std::wstring& source) const
{
    const auto planned = m_dest_table_names.find(source);
    const std::wstring dest = planned != m_dest_table_names.end() ? planned->second.dest : source;
    const auto held = m_origin_clashes.find(source);
    if (held != m_origin_clashes.end())
        return {"The Oracle table " + tk_to_ansi(held->second)
                + " holds the rows of the source table " + tk_to_ansi(m_origins.at(held->second))
                + ", which keeps it: the rows of this "
                + (m_source_tables.count(source) ? "table" : "query") + " go to "
                + tk_to_ansi(dest)};
    const auto clash = m_name_clashes.find(source);
    if (clash == m_name_clashes.end())
        return {};
    return {"The Oracle name " + tk_to_ansi(m_dest_table_names.at(clash->second).dest)
            + " is the name of the table " + tk_to_ansi(clash->second)
            + ", which keeps it: the rows of this query go to " + tk_to_ansi(dest)};
}

void ora_database::end_naming()
{
    m_origins.clear();
    m_origin_clashes.clear();
    m_source_tables.clear();
    m_created_origins.clear();
    m_name_clashes.clear();
    m_dest_table_names.clear();
    m_table_names.reset();
    m_index_names.reset();
}

std::wstring ora_database::get_tn_mapped_name_ex(const std::wstring& source_table)
{
    tk_wtrace(1, L"ora_database::get_tn_mapped_name_ex(%ls)", source_table.c_str());
    if (upper_case) {
        std::wstring upper = source_table;
        return names_map.get_tn_mapped_name(tk_wstring::to_upper(upper), false);
    }
    const std::wstring exact = names_map.get_tn_mapped_name(source_table, true);
    if (is_table_exist(exact))
        return exact;
    tk_wtrace(1, L"Cannot find table %ls", exact.c_str());
    tk_trace(1, "Try to search case insensitive...");
    return names_map.get_tn_mapped_name(source_table, false);
}

std::wstring ora_database::get_fn_mapped_name_ex(const std::wstring& table,
                                                 const std::wstring& field)
{
    tk_wtrace(1, L"ora_database::get_fn_mapped_name_ex(%ls)", field.c_str());
    if (upper_case) {
        std::wstring t = table, f = field;
        return names_map.get_fn_mapped_name(tk_wstring::to_upper(t), tk_wstring::to_upper(f),
                                            false);
    }
    return names_map.get_fn_mapped_name(table, field, true);
}

std::wstring ora_database::get_fk_index_name(const std::wstring& table)
{
    ora_validator& validator = ora_in_validator::instance().validator();
    std::wstring name = table + L"_UI";
    if (!validator.is_acceptable(name))
        name = validator.get_safe_name(name);
    validator.add_existing_name(name);
    validator.restricted_words.push_back(name);
    return name;
}

void ora_database::create_fk_index_if(const std::wstring& table,
                                      const std::vector<std::wstring>& fields)
{
    tk_wtrace(2, L"ora_database::create_fk_index_if(%ls)", table.c_str());
    {
        const std::unique_ptr<udb_recordset> rs = get_table(table, 1);
        for (const udb_index& index : rs->indexes) {
            if (!index.starts_with_fields(fields))
                continue;
            if (index.unique) {
                tk_wtrace(2, L"FK index for table '%ls' exists", table.c_str());
                return;
            }
            break;
        }
    }
    const std::wstring constraint = get_fk_index_name(table);
    std::vector<std::wstring> columns;
    for (const std::wstring& f : fields)
        columns.push_back(names_map.get_fn_mapped_name(table, f, true));
    try {
        query(L"ALTER TABLE " + ora_quoted_name(table) + L" ADD CONSTRAINT " +
              ora_quoted_name(constraint) + L" UNIQUE(" + joined_columns(columns) + L")");
    } catch (const ora_exception& e) {
        tk_trace(2, "Error while creating index for FK:\n%s\n", e.what());
    }
    tk_wtrace(2, L"FK index for table '%ls' has been created", table.c_str());
}

void ora_database::create_relationships(const udb_relationships& list)
{
    tk_trace(2, "ora_database::create_relationships");
    tk_trace(3, "Converting foreign keys");
    if (mode == 8) {
        tk_trace(3, "Foreign Keys are not converted in append mode");
        return;
    }
    // a copy: opening a table adds the keys it finds to this database's own list, which
    // may be the list given
    const udb_relationships keys = list;
    for (const udb_relationship& rel : keys) {
        tk_wtrace(3, L"Processing '%ls'", rel.constraint_name.c_str());
        const std::wstring referenced = get_tn_mapped_name_ex(rel.referenced_table);
        if (!is_table_exist(referenced)) {
            tk_wtrace(2, L"Table '%ls' does not exist", referenced.c_str());
            continue;
        }
        const std::wstring table = get_tn_mapped_name_ex(rel.table);
        if (!is_table_exist(table)) {
            tk_wtrace(2, L"Table '%ls' does not exist", table.c_str());
            continue;
        }
        create_fk_index_if(referenced, rel.referenced_fields);

        std::vector<std::wstring> columns, referenced_columns;
        for (const std::wstring& f : rel.fields)
            columns.push_back(get_fn_mapped_name_ex(table, f));
        for (const std::wstring& f : rel.referenced_fields)
            referenced_columns.push_back(get_fn_mapped_name_ex(referenced, f));
        std::wstring sql = L"ALTER TABLE " + ora_quoted_name(table) + L" ADD FOREIGN KEY (" +
                           joined_columns(columns) + L") REFERENCES " +
                           ora_quoted_name(referenced) + L"(" +
                           joined_columns(referenced_columns) + L")";
        if (!rel.delete_rule.empty()) {
            const std::wstring rule = tk_trim(rel.delete_rule);
            if (tk_compare_no_case(rule, L"ON DELETE SET NULL") == 0 ||
                tk_compare_no_case(rule, L"ON DELETE CASCADE") == 0)
                sql += L" " + rel.delete_rule;
        }
        try {
            query(sql);
        } catch (const ora_exception& e) {
            if (!on_fk_error)
                throw;
            on_fk_error(rel.constraint_name.empty()
                            ? tk_to_utf8(rel.table)
                            : "Foreign key '" + tk_to_utf8(rel.constraint_name) + "'",
                        e);
        }
    }
}
