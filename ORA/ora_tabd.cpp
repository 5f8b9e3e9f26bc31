// the description of an oracle table from the data dictionary: columns, defaults,
// comments, keys, indexes and the foreign keys that refer to it

#include "ora_qres.hpp"
#include "ora_stmt.hpp"
#include "ora_type.hpp"
#include "ora_util.hpp"
#include "ole_except.hpp"
#include "tk_log.hpp"
#include "tk_utils.hpp"
#include "udb_rel.hpp"


namespace {


using rows = ora_query_results;

std::wstring text_of(const udb_record& rec, size_t i) { return rows::field_text(rec, i); }

bool is_numeric_type(VARTYPE type)
{
    switch (type) {
    case VT_I1: case VT_I2: case VT_I4: case VT_I8: case VT_UI1: case VT_UI2: case VT_UI4:
    case VT_UI8: case VT_INT: case VT_UINT: case VT_R4: case VT_R8: case VT_CY: case VT_DECIMAL:
        return true;
    default:
        return false;
    }
}

// a plain number literal and nothing else
bool is_number_text(const std::wstring& text)
{
    return !text.empty() && ora_scan_number(text, 0) == text.size();
}

} // namespace

void ora_query_results::describe_table(udb_relationships* relationships)
{
    if (is_query()) {
        describe_query();
        return;
    }
    init_schema();
    if (schema.fields.empty()) {
        tk_trace(2, "Empty table");
        return;
    }
    init_indexes(relationships);
    rec_count = ora_count_rows(m_session, name, false);
    tk_trace(2, "Got %d records", rec_count);
}

void ora_query_results::describe_query()
{
    init_schema();
    if (schema.fields.empty()) {
        tk_trace(2, "Empty table");
        return;
    }
    rec_count = is_query() ? ora_count_rows(m_session, text, true)
                           : ora_count_rows(m_session, name, false);
    tk_trace(2, "Got %d records", rec_count);
}

int ora_query_results::get_columns_cnt()
{
    tk_trace(2, "ora_table::get_columns_cnt");
    ora_stmt stmt(m_session);
    stmt.prepare(L"SELECT COUNT(*) FROM USER_TAB_COLUMNS WHERE table_name = '" +
                 ora_sql_text(name) + L"'");
    sb4 count = 0;
    OCIDefine* def = nullptr;
    m_session.check_status(oci().OCIDefineByPos(stmt, &def, m_session.handles().err, 1, &count,
                                                sizeof count, SQLT_INT, nullptr, nullptr,
                                                nullptr, OCI_DEFAULT),
                           "OCIDefineByPos");
    if (stmt.execute(1) == OCI_NO_DATA)
        throw tk_mail_assertion("ora_tab", 484);
    return count;
}

void ora_query_results::init_schema()
{
    tk_trace(2, "ora_table::init_schema");
    const int count = is_query() ? 0 : get_columns_cnt();
    tk_trace(2, "Got %d columns", count);
    const std::wstring sql = is_query() ? text : L"SELECT * FROM " + ora_quoted_name(name);
    tk_trace(2, "Right before extract DB structure");
    initialize(unsigned(count), sql);
    if (is_query())
        return;

    const std::wstring table = ora_sql_text(name);
    {
        // the scale as text: a number column's value would come back in exponent form
        rows defaults(m_session, 4, L"select COLUMN_NAME, DATA_DEFAULT, DATA_TYPE, "
                         L"TO_CHAR(DATA_SCALE) from USER_TAB_COLUMNS "
                         L"where table_name = '" + table + L"'");
        udb_record* rec = nullptr;
        for (int n = 0; n < count && (rec = defaults.next_record()); ++n) {
            const std::wstring column = text_of(*rec, 0);
            tk_wtrace(2, L"Got field '%ls'", column.c_str());
            if (!schema.find_field(column)) {
                tk_trace(2, "Field not found in schema");
                continue;
            }
            t_ftd& field = schema.get_field(column);
            const std::wstring def = text_of(*rec, 1);
            if (!def.empty()) {
                tk_wtrace(2, L"Got default string: %ls (eye=%d, type=%d)", def.c_str(), n,
                          int(field.vartype));
                field.default_value = get_def_value(field.vartype, def);
                tk_wtrace(2, L"Got default variant: %ls",
                          field.default_value.to_wstring().c_str());
            }
            const std::wstring type = text_of(*rec, 2);
            const std::wstring scale = text_of(*rec, 3);
            if (type == L"NUMBER" && is_number_text(scale))
                m_number_scales[column] = int(std::wcstol(scale.c_str(), nullptr, 10));
            // TIMESTAMP(n), also WITH (LOCAL) TIME ZONE: n is its DATA_SCALE
            if (type.compare(0, 9, L"TIMESTAMP") == 0 && is_number_text(scale))
                m_timestamp_scales[column] = int(std::wcstol(scale.c_str(), nullptr, 10));
            if (type.compare(0, 9, L"TIMESTAMP") == 0 && type.find(L"TIME ZONE") != type.npos)
                m_zoned_timestamps.insert(column);
            if (type == L"BINARY_FLOAT" || type == L"BINARY_DOUBLE")
                m_binary_numbers[column] = type == L"BINARY_FLOAT";
            if (type == L"NVARCHAR2" || type == L"NCHAR") {
                tk_trace(2, "Tuning field size for NCHAR/NVARCHAR (eye=%d)", n);
                // the catalogue rows come in no particular order: the column object is
                // the one of that name
                ora_type* object = nullptr;
                for (const std::unique_ptr<ora_type>& c : m_columns)
                    if (c->get_name() == column) {
                        object = c.get();
                        break;
                    }
                if (!object)
                    throw tk_mail_assertion("ora_tab", 566);
                const int bytes = object->get_data_size() ? object->get_data_size() : field.size;
                field.size = bytes / 2;
                object->set_data_size(field.size);
                tk_trace(2, "New field size=%d", field.size);
            }
        }
    }

    rows comments(m_session, 2, L"select COLUMN_NAME, COMMENTS from USER_COL_COMMENTS where table_name = '" +
                         table + L"'");
    while (udb_record* rec = comments.next_record()) {
        const std::wstring column = text_of(*rec, 0);
        const std::wstring comment = text_of(*rec, 1);
        tk_wtrace(2, L"Column '%ls' has comment '%ls'", column.c_str(), comment.c_str());
        // the column of exactly that name: a and A are two columns
        bool exact = false;
        for (const auto& field : schema.fields)
            if (field->name == column && !comment.empty()) {
                field->comment = comment;
                exact = true;
                break;
            }
        if (!exact)
            schema.set_field_comment(column, comment);
    }
}

ole_variant ora_query_results::get_def_value(VARTYPE type, const std::wstring& source)
{
    tk_wtrace(2, L"ora_table::get_def_value(type=0x%08X, src=%ls)", unsigned(type),
              source.c_str());
    std::wstring value = tk_trim(source);
    bool quoted = false;
    if (value.size() > 1 && value.front() == L'\'' && value.back() == L'\'') {
        tk_trace(2, "Removing quotes");
        value = value.substr(1, value.size() - 2);
        tk_wtrace(2, L"After removing quotes: %ls", value.c_str());
        quoted = true;
    }
    if (!quoted && type == VT_BSTR) {
        tk_trace(2, "Incorrect/empty/null default value for VT_BSTR");
        return ole_variant();
    }
    if (type == VT_DATE)
        return ole_variant();
    for (size_t pos = value.find(L"''"); pos != std::wstring::npos;
         pos = value.find(L"''", pos + 1))
        value.erase(pos, 1);
    // an expression (NULL, a function, a sequence) is no number: the variant
    // conversion would read it as 0
    if (is_numeric_type(type) && !is_number_text(value))
        return ole_variant();
    try {
        return ole_variant::from_wstring(value, type);
    } catch (const ole_type_exception&) {
        return ole_variant();
    }
}

void ora_query_results::init_indexes(udb_relationships* relationships)
{
    tk_trace(2, "ora_table::init_indexes");
    const std::wstring table = ora_sql_text(name);

    std::wstring key_name;
    std::vector<std::wstring> key_fields;
    {
        rows pk(m_session, 2, L"SELECT a.constraint_name, a.column_name FROM user_cons_columns a, "
                   L"user_constraints b WHERE a.table_name='" + table +
                       L"' AND a.constraint_name=b.constraint_name AND b.constraint_type='P' "
                       L"ORDER BY a.constraint_name, a.position");
        while (udb_record* rec = pk.next_record()) {
            if (key_name.empty()) {
                key_name = text_of(*rec, 0);
                tk_wtrace(2, L"Got primary key '%ls'", key_name.c_str());
            }
            const std::wstring column = text_of(*rec, 1);
            if (!schema.find_field(column)) {
                tk_wtrace(2, L"PK field '%ls' not found - skip it", column.c_str());
                continue;
            }
            key_fields.push_back(column);
        }
    }
    if (!key_fields.empty())
        add_index(udb_index(key_name, true, true, key_fields));

    {
        const bool generated = ora_server_version(m_session) >= 0x80000;
        rows idx(m_session, 3, L"SELECT user_indexes.index_name, user_indexes.uniqueness, "
                    L"user_ind_columns.column_name FROM user_ind_columns, user_indexes where "
                    L"user_ind_columns.table_name = '" + table + L"'" +
                        (generated ? L" AND user_indexes.generated='N'" : L"") +
                        L" AND user_ind_columns.index_name = user_indexes.index_name AND "
                        L"user_ind_columns.table_name = user_indexes.table_name ORDER BY "
                        L"user_indexes.index_name, user_ind_columns.column_position");
        while (udb_record* rec = idx.next_record()) {
            const std::wstring index_name = text_of(*rec, 0);
            const bool unique = tk_compare_no_case(text_of(*rec, 1), L"UNIQUE") == 0;
            tk_wtrace(2, L"Got index '%ls' (unique=%d)", index_name.c_str(), int(unique));
            const std::wstring column = text_of(*rec, 2);
            if (!schema.find_field(column)) {
                tk_wtrace(2, L"Index field '%ls' not found - skip it", column.c_str());
                continue;
            }
            if (indexes.is_acceptable_name(index_name)) {
                add_index(udb_index(index_name, unique, false, {column}));
                continue;
            }
            udb_index& listed = indexes.get_index(index_name);
            if (listed.primary)
                tk_trace(2, "Skip Primary Key DoubleInitialization");
            else
                listed.fields.push_back(column);
        }
    }

    if (key_name.empty() || !relationships)
        return;

    const std::wstring key = ora_sql_text(key_name);
    sb4 count = 0;
    {
        ora_stmt stmt(m_session);
        stmt.prepare(L"select count(*) from USER_CONSTRAINTS where R_CONSTRAINT_NAME='" + key +
                     L"' and CONSTRAINT_TYPE='R'");
        OCIDefine* def = nullptr;
        m_session.check_status(oci().OCIDefineByPos(stmt, &def, m_session.handles().err, 1,
                                                    &count, sizeof count, SQLT_INT, nullptr,
                                                    nullptr, nullptr, OCI_DEFAULT),
                               "OCIDefineByPos");
        if (stmt.execute(1) == OCI_NO_DATA)
            count = 0;
    }
    if (count == 0) {
        tk_trace(2, "No foreign keys found");
        return;
    }

    // ordered by position, so that referencing columns pair with the key's columns
    rows fk(m_session, 4, L"select a.TABLE_NAME,a.CONSTRAINT_NAME,a.DELETE_RULE,b.COLUMN_NAME FROM "
               L"USER_CONSTRAINTS a, USER_CONS_COLUMNS b WHERE "
               L"a.CONSTRAINT_NAME=b.CONSTRAINT_NAME and a.CONSTRAINT_TYPE='R' and "
               L"a.R_CONSTRAINT_NAME='" + key + L"' ORDER BY a.CONSTRAINT_NAME, b.POSITION");
    while (udb_record* rec = fk.next_record()) {
        const std::wstring fk_table = text_of(*rec, 0);
        const std::wstring constraint = text_of(*rec, 1);
        const std::wstring rule = text_of(*rec, 2);
        const std::wstring column = text_of(*rec, 3);
        tk_wtrace(1, L"GOT FK: %ls,%ls,%ls,%ls", fk_table.c_str(), constraint.c_str(),
                  column.c_str(), rule.c_str());
        if (relationships->is_acceptable_name(constraint)) {
            relationships->push_back(udb_relationship(constraint, key_name, fk_table, name,
                                                      {column}, key_fields,
                                                      rule.empty() ? L"" : L"ON DELETE " + rule));
            continue;
        }
        udb_relationship& listed = relationships->get_index(constraint);
        bool present = false;
        for (const std::wstring& f : listed.fields)
            present = present || f == column;
        if (!present)
            listed.fields.push_back(column);
    }
}
