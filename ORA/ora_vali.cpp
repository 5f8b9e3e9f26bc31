#include "ora_vali.hpp"

#include "ora_qres.hpp"
#include "ora_util.hpp"
#include "tk_log.hpp"
#include "udb_idx.hpp"
#include "udb_rec.hpp"
#include "udb_sche.hpp"

ora_validator::ora_validator()
    : udb_validator(30)
{
    tk_trace(1, "ora_validator::ctor");
}

bool ora_validator::is_acceptable(const std::wstring& name) const
{
    tk_wtrace(1, L"ora_validator::is_acceptable(%ls)", name.c_str());
    return is_identifier(name);
}

std::wstring ora_validator::get_safe_name(const std::wstring& name) const
{
    tk_wtrace(1, L"ora_validator::get_safe_name(%ls)", name.c_str());
    return get_safe_identifier(name);
}

size_t ora_validator::name_length(const std::wstring& name) const
{
    size_t bytes = 0;
    for (wchar_t c : name) {
        const auto unit = static_cast<char16_t>(c);
        // a surrogate pair is four bytes in UTF-8, two for each half
        bytes += unit < 0x80 ? 1 : unit < 0x800 || (unit >= 0xD800 && unit <= 0xDFFF) ? 2 : 3;
    }
    return bytes;
}

void ora_validator::cut_name(std::wstring& name, size_t length) const
{
    while (!name.empty() && name_length(name) > length) {
        name.pop_back();
        const auto last = name.empty() ? char16_t(0) : static_cast<char16_t>(name.back());
        if (last >= 0xD800 && last <= 0xDBFF)
            name.pop_back();
    }
}

ora_fn_validator::ora_fn_validator(const std::vector<std::unique_ptr<t_ftd>>& fields)
{
    tk_trace(1, "ora_fn_validator::ctor1");
    for (const auto& f : fields)
        if (f)
            add_existing_name(f->name);
}

ora_fn_validator::ora_fn_validator(const std::vector<std::unique_ptr<udb_field>>& fields)
{
    tk_trace(1, "ora_fn_validator::ctor2");
    for (const auto& f : fields)
        if (f)
            add_existing_name(f->name);
}

bool ora_fn_validator::is_acceptable(const std::wstring& name) const
{
    return name != L"ROWID" && ora_validator::is_acceptable(name);
}

void ora_fn_validator::add_mapped_pair(const std::wstring& source, const std::wstring& generated)
{
    tk_wtrace(1, L"udb_validator::add_mapped_pair(%ls,%ls)", source.c_str(), generated.c_str());
    m_names_map.add(source, generated);
}

ora_tn_validator::ora_tn_validator(const std::vector<std::wstring>& source_tables,
                                   const std::vector<std::wstring>& oracle_tables)
{
    tk_trace(1, "ora_tn_validator::ctor");
    for (const std::wstring& t : oracle_tables)
        add_existing_name(t);
    for (const std::wstring& t : source_tables)
        add_existing_name(t);
}

bool ora_tn_validator::is_acceptable(const std::wstring& name) const
{
    return ora_validator::is_acceptable(name) && !held_names.count(name);
}

bool ora_tn_validator::is_duplicated(const std::wstring& name) const
{
    return ora_validator::is_duplicated(name) || held_names.count(name);
}

ora_in_validator::ora_in_validator(ora_session& session) : m_session(session)
{
    tk_trace(2, "ora_in_validator::ctor");
    m_validator.restricted_words.push_back(L"PRIMARY");
    // constraints and indexes have one namespace each: a foreign key or check of another
    // table holds its name as much as a key does (ORA-02264)
    static const wchar_t* const queries[] = {
        L"SELECT constraint_name FROM user_constraints",
        L"select index_name FROM user_indexes",
    };
    for (const wchar_t* sql : queries) {
        ora_query_results names(session, 1, sql);
        while (udb_record* rec = names.next_record()) {
            m_validator.restricted_words.push_back(ora_query_results::field_text(*rec, 0));
        }
    }
}

ora_in_validator::~ora_in_validator() = default;

void ora_in_validator::load(const udb_indexes& indexes)
{
    tk_trace(2, "ora_in_validator::load");
    for (const udb_index& index : indexes)
        m_validator.add_existing_name(index.name);
}

void ora_in_validator::forget_table(const std::wstring& table)
{
    tk_wtrace(2, L"ora_in_validator::forget_table(%ls)", table.c_str());
    const std::wstring name = L"'" + ora_sql_text(table) + L"'";
    // its own constraints go with it, and so do the foreign keys of other tables that
    // refer to it (CASCADE CONSTRAINTS)
    const std::wstring queries[] = {
        L"SELECT constraint_name FROM user_constraints WHERE table_name=" + name,
        L"SELECT c.constraint_name FROM user_constraints c, user_constraints p WHERE "
        L"c.constraint_type='R' AND c.r_owner=p.owner AND c.r_constraint_name=p.constraint_name "
        L"AND p.table_name=" + name,
        L"SELECT index_name FROM user_indexes WHERE table_name=" + name,
    };
    for (const std::wstring& sql : queries) {
        ora_query_results names(m_session, 1, sql);
        while (udb_record* rec = names.next_record()) {
            const std::wstring taken = ora_query_results::field_text(*rec, 0);
            while (m_validator.restricted_words.erase(taken, true)) {
            }
        }
    }
}
