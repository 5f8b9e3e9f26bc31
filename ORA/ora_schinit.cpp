#include "ora_schinit.hpp"

#include "ora_except.hpp"
#include "ora_limits.hpp"
#include "ora_stmt.hpp"
#include "ora_util.hpp"
#include "tk_log.hpp"
#include "tk_utils.hpp"
#include "udb_rule.hpp"

namespace
{

// the new column is a CLOB or BLOB (ora_get_native_type gives these types past the limit)
bool is_large_new_column(const t_ftd& field, bool any_binary)
{
    bool large = udb_is_past_limit(field.size, unsigned(ora_max_inline_size));
    if (!large)
        return false;
    if (field.vartype == VT_BSTR || field.vartype == VT_BLOB)
        return true;
    return any_binary && field.vartype == (VT_ARRAY | VT_UI1);
}

// oracle identifiers have at most 30 characters
constexpr size_t max_name = 30;

} // namespace

bool ora_can_have_default(const t_ftd& field)
{
    return !is_large_new_column(field, false);
}

ora_schema_initializer::ora_schema_initializer(const std::wstring& table,
                                               const udb_schema& source, bool upper_case)
    : m_table(table), m_upper_case(upper_case), m_validator(source.fields)
{
    tk_trace(1, "ora_schema_initializer::ctor");
    for (const auto& src : source.fields) {
        std::wstring name = src->name;
        if (m_upper_case)
            tk_wstring::to_upper(name);
        if (!m_validator.is_acceptable(name))
            name = m_validator.get_safe_name(name);

        // an auto-increment column is filled by its trigger: no default, no NOT NULL
        bool b_not_null = src->auto_increment ? false : src->b_not_null;
        ole_variant def = src->auto_increment ? ole_variant() : src->default_value;
        m_fields.add_field(std::make_unique<t_ftd>(src->size, name, src->vartype, b_not_null,
                                                   src->auto_increment, def, src->reserved));

        if (name != src->name) {
            tk_wtrace(2, L"Store generated column name '%ls'", name.c_str());
            m_validator.add_mapped_pair(src->name, name);
        }
        m_validator.keep_name(name, name != src->name);
        if (src->auto_increment)
            m_auto_column = name;
    }
}

ora_schema_initializer::~ora_schema_initializer() = default;

std::wstring ora_schema_initializer::column_clause(const t_ftd& field)
{
    std::wstring type = udb_custom_conversion::is_acceptable1(field)
                            ? udb_custom_conversion::handle1(field)
                            : ora_get_native_type(field);
    std::wstring clause = ora_quoted_name(field.name) + L" " + type;
    std::wstring def = make_ora_def_val(&field);
    tk_wtrace(1, L"got def value: %ls", def.c_str());
    if (!def.empty() && ora_can_have_default(field))
        clause += L" DEFAULT " + def;
    tk_wtrace(1, L"OraField name='%ls', type=%d, size=%d", field.name.c_str(), int(field.vartype),
              field.size);
    // a large object keeps it too: an empty value goes in as EMPTY_CLOB() or EMPTY_BLOB(),
    // which is no NULL
    if (field.b_not_null)
        clause += L" NOT NULL";
    return clause;
}

void ora_schema_initializer::build_schema(ora_session& session)
{
    tk_trace(1, "ora_schema_initializer::build_schema( n_columns=%d )", int(m_fields.fields.size()));
    std::wstring sql = L"CREATE TABLE " + ora_quoted_name(m_table) + L" (";
    for (size_t i = 0; i < m_fields.fields.size(); ++i) {
        if (i)
            sql += L", ";
        sql += column_clause(*m_fields.fields[i]);
    }
    sql += L")";
    ora_run_statement(session, sql);

    if (m_auto_column.empty())
        return;
    std::wstring sequence = create_sequence(session);
    if (sequence.empty()) {
        tk_trace(2, "Failed to create a sequence");
        return;
    }
    std::wstring trigger = L"CREATE OR REPLACE TRIGGER " + m_table + L"__TRIGGER BEFORE INSERT ON "
                           + m_table + L" FOR EACH ROW " + L"WHEN (new." + m_auto_column
                           + L" IS NULL) " + L"BEGIN " + L"select " + sequence
                           + L".nextval into :new." + m_auto_column + L" from dual; " + L"END;";
    try {
        ora_run_statement(session, trigger);
    } catch (const ora_exception& e) {
        tk_trace(2, "Error while creating index for trigger:\n%s\n", e.what());
    }
}

std::wstring ora_schema_initializer::create_sequence(ora_session& session)
{
    tk_trace(1, "ora_schema_initializer::create_sequence");
    std::wstring base = m_table;
    if (base.size() > max_name - 2)
        base.resize(base.size() - 2);
    for (int n = 0; n < 100; ++n) {
        std::wstring number = std::to_wstring(n);
        std::wstring candidate = base;
        // two-digit numbers need one more character
        if (candidate.size() + 1 + number.size() > max_name)
            candidate.resize(max_name - 1 - number.size());
        candidate += L"_" + number;
        try {
            ora_run_statement(session, L"CREATE SEQUENCE " + ora_quoted_name(candidate)
                     + L" INCREMENT BY 1 START WITH 1 MAXVALUE 1.0E28 MINVALUE 1 NOCYCLE "
                       L"NOCACHE ORDER");
            return candidate;
        } catch (const ora_exception& e) {
            if (e.get_code() == ora_error_code(955))
                continue;
            if (e.get_code() == ora_error_code(1031))
                throw tk_exception("Insufficient privileges to create sequence.\nAuto increment "
                                   "will not be converted.",
                                   0);
            throw;
        }
    }
    return std::wstring();
}
