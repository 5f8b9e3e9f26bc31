#include "ora_orig.hpp"

#include "ora_qres.hpp"
#include "ora_stmt.hpp"
#include "ora_util.hpp"
#include "tk_except.hpp"
#include "tk_log.hpp"
#include "udb_sche.hpp"

namespace {

// plain words, so that a user who reads the comment knows what it is for
const std::wstring table_prefix = L"Quilmot source table: ";
const std::wstring upper_table_prefix = L"Quilmot source table (upper case): ";
const std::wstring column_prefix = L"Quilmot source column: ";

std::wstring origin(const std::wstring& comment, const std::wstring& prefix)
{
    if (comment.size() <= prefix.size() || comment.compare(0, prefix.size(), prefix) != 0)
        return std::wstring();
    return comment.substr(prefix.size());
}

void comment_on(ora_session& session, const std::wstring& object, const std::wstring& text)
{
    ora_run_statement(session, L"COMMENT ON " + object + L" IS '" + ora_sql_text(text) + L"'");
}

} // namespace

ora_table_origin ora_table_origin_of(const std::wstring& comment)
{
    const std::wstring upper = origin(comment, upper_table_prefix);
    if (!upper.empty())
        return {upper, true};
    return {origin(comment, table_prefix), false};
}

std::wstring ora_column_origin(const std::wstring& comment)
{
    return origin(comment, column_prefix);
}

std::wstring ora_table_origin_comment(const ora_table_origin& origin)
{
    return (origin.upper_case ? upper_table_prefix : table_prefix) + origin.source;
}

std::wstring ora_column_origin_comment(const std::wstring& source)
{
    return column_prefix + source;
}

std::map<std::wstring, ora_table_origin> ora_read_table_origins(ora_session& session)
{
    tk_trace(2, "ora_read_table_origins");
    std::map<std::wstring, ora_table_origin> origins;
    ora_query_results rows(session, 2,
                           L"SELECT TABLE_NAME, COMMENTS FROM USER_TAB_COMMENTS WHERE "
                           L"TABLE_TYPE='TABLE' AND COMMENTS LIKE 'Quilmot source table%'");
    while (udb_record* rec = rows.next_record()) {
        ora_table_origin found = ora_table_origin_of(ora_query_results::field_text(*rec, 1));
        if (found.source.empty())
            continue;
        const std::wstring table = ora_query_results::field_text(*rec, 0);
        tk_wtrace(2, L"Table '%ls' holds the source table '%ls'", table.c_str(),
                  found.source.c_str());
        origins.emplace(table, std::move(found));
    }
    return origins;
}

void ora_record_origins(ora_session& session, const std::wstring& table,
                        const ora_table_origin& origin, const udb_schema& columns,
                        const udb_schema& source)
{
    tk_wtrace(2, L"ora_record_origins(%ls)", table.c_str());
    if (columns.fields.size() != source.fields.size())
        throw tk_mail_assertion("ora_orig.cpp", __LINE__);
    const std::wstring quoted = ora_quoted_name(table);
    if (!origin.source.empty())
        comment_on(session, L"TABLE " + quoted, ora_table_origin_comment(origin));
    for (size_t i = 0; i < columns.fields.size(); ++i)
        comment_on(session, L"COLUMN " + quoted + L"." + ora_quoted_name(columns.fields[i]->name),
                   ora_column_origin_comment(source.fields[i]->name));
}
