#include "ora_tab.hpp"

#include "ora_except.hpp"
#include "ora_limits.hpp"
#include "ora_lobins.hpp"
#include "ora_stmt.hpp"
#include "ora_util.hpp"
#include "tk_log.hpp"
#include "tk_utils.hpp"
#include "udb_db.hpp"
#include "udb_rule.hpp"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cwchar>
#include <limits>
#include <set>

namespace
{

bool is_null_value(const udb_field& value)
{
    VARTYPE vt = value.get_type();
    return vt == VT_EMPTY || vt == VT_NULL;
}

// the value as a number when it has one; a text counts only when it is a number as a whole
bool value_as_double(const udb_field& value, double& out)
{
    switch (value.get_type()) {
    case VT_I1: case VT_I2: case VT_I4: case VT_UI1: case VT_UI2: case VT_UI4:
    case VT_R4: case VT_R8: case VT_BOOL: case VT_CY: case VT_DECIMAL: case VT_I8: case VT_UI8:
        out = value.to_double();
        return true;
    case VT_BSTR: {
        std::wstring text = tk_trim(value.to_wstring());
        if (text.empty())
            return false;
        wchar_t* end = nullptr;
        out = std::wcstod(text.c_str(), &end);
        return end && *end == L'\0';
    }
    default:
        return false;
    }
}

// the placeholder of a large object that is there but empty: EMPTY_CLOB() is no NULL
const wchar_t* empty_lob_literal(const t_ftd& column)
{
    return column.vartype == VT_BSTR ? L"EMPTY_CLOB()" : L"EMPTY_BLOB()";
}

} // namespace

// the two callbacks of the ROWID bind: nothing goes in, the ROWID comes out
struct ora_rowid_binder {
    static sb4 cbf_no_data(void*, OCIBind*, ub4, ub4, void** bufpp, ub4* alenp, ub1* piecep,
                           void** indp)
    {
        tk_trace(1, "ora_get_rowid::cbf_no_data");
        *bufpp = nullptr;
        *alenp = 0;
        *piecep = OCI_ONE_PIECE;
        *indp = nullptr;
        return OCI_CONTINUE;
    }

    static sb4 cbf_get_data(void* octxp, OCIBind*, ub4 iter, ub4, void** bufpp, ub4** alenp,
                            ub1* piecep, void** indp, ub2** rcodep)
    {
        auto* self = static_cast<ora_get_rowid*>(octxp);
        tk_trace(1, "ora_get_rowid::cbf_get_data (iter=%d)", int(iter));
        *bufpp = self->m_rowid;
        *alenp = &self->m_len;
        *piecep = OCI_ONE_PIECE;
        *indp = nullptr;
        *rcodep = nullptr;
        return OCI_CONTINUE;
    }
};

ora_get_rowid::ora_get_rowid(ora_session& session)
    : m_session(session), m_stmt(std::make_unique<ora_stmt>(session))
{
}

ora_get_rowid::~ora_get_rowid()
{
    tk_trace(1, "ora_get_rowid::dtor");
}

std::wstring ora_get_rowid::do_insert(const std::wstring& text, bool commit)
{
    tk_trace(2, "ora_get_rowid::do_insert");
    std::wstring sql = text + L") RETURNING ROWID INTO :1";
    tk_wtrace(3, L"Run SQL query: %ls\n", sql.c_str());

    // the client overwrites the slot with the length of the ROWID it returned
    m_len = sizeof(m_rowid);
    std::fill(std::begin(m_rowid), std::end(m_rowid), uint16_t(0));

    ora_session& session = m_session;
    ora_handles& h = session.handles();
    m_stmt->prepare(sql);
    static const std::u16string placeholder = u":1";
    OCIBind* bind = nullptr;
    session.check_status(oci().OCIBindByName(m_stmt->get(), &bind, h.err, ora_text(placeholder),
                                             sb4(ora_byte_len(placeholder)), m_rowid,
                                             sb4(sizeof(m_rowid)), SQLT_STR, nullptr, nullptr,
                                             nullptr, 0, nullptr, OCI_DATA_AT_EXEC),
                         "OCIBindByName");
    m_bind = bind;
    session.check_status(oci().OCIBindDynamic(bind, h.err, this, ora_rowid_binder::cbf_no_data,
                                              this, ora_rowid_binder::cbf_get_data),
                         "OCIBindDynamic");
    m_stmt->execute(1, commit ? OCI_COMMIT_ON_SUCCESS : OCI_DEFAULT);

    std::wstring rowid = ora_from_utf16(m_rowid, std::min<size_t>(m_len / 2, 255));
    tk_wtrace(2, L"GOT ROWID(1): %ls, len=%d", rowid.c_str(), int(m_len));
    if (m_len >= sizeof(m_rowid))
        throw tk_mail_assertion("ora_tab.cpp", 87);
    return rowid;
}

ora_table::ora_table(ora_session& session, udb_database* db, bool upper_case,
                     const std::wstring& name, udb_relationships* relationships, int)
    : ora_query_results(session, name, std::wstring()), m_inserter(session), m_db(db),
      m_upper_case(upper_case), m_relationships(relationships)
{
    tk_wtrace(2, L"ora_table::ora_table(%ls)", name.c_str());
    describe_table(relationships);
}

ora_table::ora_table(ora_session& session, udb_database* db, bool upper_case,
                     const std::wstring& name, const std::wstring& text,
                     udb_relationships* relationships, int)
    : ora_query_results(session, name, text), m_inserter(session), m_db(db),
      m_upper_case(upper_case), m_relationships(relationships)
{
    tk_wtrace(2, L"ora_table::ora_table(%ls)", name.c_str());
    describe_table(relationships);
}

ora_table::~ora_table()
{
    tk_trace(2, "ora_table::dtor");
}

const t_names_map* ora_table::column_map() const
{
    if (!m_db)
        return nullptr;
    auto it = m_db->names_map.field_names.find(name);
    return it == m_db->names_map.field_names.end() ? nullptr : &it->second;
}

std::wstring ora_table::value_item(int pos, const udb_field& value)
{
    // without a rule set there is no rule to ask
    if (udb_custom_conversion::has_instance() && udb_custom_conversion::is_acceptable2(value))
        return udb_custom_conversion::handle2(value);
    return get_fld_append_wstr(pos, value, *schema.fields[size_t(pos)]);
}

// a value replaced in a row that is then not written was not written either
struct ora_table::counters_guard {
    explicit counters_guard(ora_table& table)
        : table(table), replaced(table.m_replaced_values), zeroed(table.m_zeroed_values),
          zoned(table.m_zoned_values)
    {
    }
    ~counters_guard()
    {
        if (written)
            return;
        table.m_replaced_values = replaced;
        table.m_zeroed_values = zeroed;
        table.m_zoned_values = zoned;
    }
    counters_guard(const counters_guard&) = delete;
    counters_guard& operator=(const counters_guard&) = delete;

    ora_table& table;
    const std::map<std::wstring, unsigned> replaced;
    const std::map<std::wstring, unsigned> zeroed;
    const std::map<std::wstring, unsigned> zoned;
    bool written = false;
};

void ora_table::append_record(const udb_record& record)
{
    tk_trace(2, "ora_table::append_record");
    counters_guard counters(*this);
    write_row(record);
    counters.written = true;
}

void ora_table::write_row(const udb_record& record)
{
    // first every field to its column, so that a record that does not fit changes nothing
    if (!m_plan.fits(record)) {
        m_plan.make(record, schema, m_upper_case, column_map());
        for (const std::wstring& field : m_plan.unmatched())
            note_unwritten_field(field);
    }
    const std::vector<ora_write_plan::item>& items = m_plan.items();

    std::wstring values = L" VALUES(";
    // the record field of every column, for the large-object writer
    std::vector<const udb_field*> matched(schema.fields.size(), nullptr);
    // a column the record does not write takes its default, else NULL
    std::vector<bool> null_at(schema.fields.size());
    for (size_t pos = 0; pos < schema.fields.size(); ++pos) {
        const ole_variant& def = schema.fields[pos]->default_value;
        null_at[pos] = def.get_vt() == VT_EMPTY || def.get_vt() == VT_NULL;
    }
    for (size_t i = 0; i < items.size(); ++i) {
        const int pos = items[i].pos;
        const udb_field* field = record.fields[items[i].field].get();
        if (i)
            values += L", ";
        const std::wstring item = value_item(pos, *field);
        values += item;
        matched[size_t(pos)] = field;
        null_at[size_t(pos)] = tk_compare_no_case(item, L"NULL") == 0;
    }
    const bool keyed = is_keyed_row(null_at);

    // the column types do not change within the table: one writer serves every row
    if (!m_lobs)
        m_lobs = std::make_unique<ora_lob_insert>(m_session, name, &schema);
    const std::wstring into = L"INTO " + ora_quoted_name(name) + L" (" + m_plan.column_list()
                              + L")" + values;
    if (m_lobs->lob_count() == 0) {
        m_inserter.do_insert(L"INSERT /*+ APPEND */ " + into);
    } else {
        // the row and its large objects are committed together. no APPEND hint: where it
        // makes the insert a direct-path one, the uncommitted row could not be selected
        // FOR UPDATE (ORA-12838)
        try {
            std::wstring rowid = m_inserter.do_insert(L"INSERT " + into, false);
            tk_wtrace(1, L"GOT ROWID(2): %ls", rowid.c_str());
            m_lobs->insert(rowid, matched);
            m_session.commit();
        } catch (...) {
            rollback_row();
            throw;
        }
    }

    ++rec_count;
    if (!keyed)
        ++m_unkeyed_rows;
    tk_trace(2, "ora_table::append_record - at the END");
}

std::wstring ora_table::column_literal(const udb_field& value, const t_ftd& column)
{
    // a date for the user's text column: oracle would print a DATE in its session's format
    // (02-JAN-20), without the time of day or the century
    // and a number: oracle would print 0.1 as .1 and a double in its own width
    const VARTYPE type = value.get_type();
    if (column.vartype == VT_BSTR
        && (type == VT_DATE || type == VT_R8 || type == VT_R4 || type == VT_DECIMAL))
        return to_oracle_str(ora_value_text(value), VT_BSTR);
    const auto timestamp = m_timestamp_scales.find(column.name);
    if (timestamp == m_timestamp_scales.end() || value.get_type() != VT_DATE)
        return to_oracle_str(&value, &column);
    // the value is a local time without its offset: oracle gives it the zone of its session,
    // which need not be the one the source's session read it in
    if (m_zoned_timestamps.count(column.name))
        ++m_zoned_values[column.name];
    const SYSTEMTIME& time = value.get_date();
    const std::wstring literal = ora_timestamp_literal(time, timestamp->second);
    if (!literal.empty())
        return literal;
    if (time.wYear < 1)
        return to_oracle_str(&value, &column);
    // a date of the year 9999 that the rounding would take past its last day
    char printed[48];
    std::snprintf(printed, sizeof printed, "%04d-%02d-%02d %02d:%02d:%02d.%03d%03d",
                  time.wYear, time.wMonth, time.wDay, time.wHour, time.wMinute, time.wSecond,
                  time.wMilliseconds, time.wMicroseconds);
    throw ora_value_exception("Column " + tk_to_ansi(column.name) + " cannot hold " + printed
                              + ": rounded to " + std::to_string(timestamp->second)
                              + " fractional digits it would be past the year 9999");
}

void ora_table::check_calendar(const t_ftd& column, const std::wstring& literal)
{
    // oracle's calendar goes from 1582-10-04 to 1582-10-15: it would store such a day as
    // another one
    static const std::wstring date = L"to_date('1582-10-";
    static const std::wstring timestamp = L"to_timestamp('1582-10-";
    const std::wstring& prefix = literal.compare(0, date.size(), date) == 0 ? date : timestamp;
    if (literal.compare(0, prefix.size(), prefix) != 0 || literal.size() < prefix.size() + 2)
        return;
    const std::wstring day = literal.substr(prefix.size(), 2);
    if (day < L"05" || day > L"14")
        return;
    throw ora_value_exception("Column " + tk_to_ansi(column.name) + " holds 1582-10-"
                              + tk_to_ansi(day)
                              + ", a day that Oracle's calendar does not have (1582-10-05 to "
                                "1582-10-14)");
}

void ora_table::check_scale(const t_ftd& column, const std::wstring& literal,
                            const udb_field& value) const
{
    // oracle rounds a number to its column's scale without a word: an existing table's
    // NUMBER(5,1) would keep 1.24 as 1.2
    const auto found = m_number_scales.find(column.name);
    if (found == m_number_scales.end() || ora_number_keeps(literal, found->second))
        return;
    // a floating-point value as the source shows it, not in the literal's fixed width
    const VARTYPE type = value.get_type();
    const std::string shown
        = tk_to_ansi(type == VT_R8 || type == VT_R4 ? ora_value_text(value) : literal);
    throw ora_value_exception("Column " + tk_to_ansi(column.name) + " cannot hold " + shown
                              + " exactly: Oracle would round it to "
                              + std::to_string(found->second) + " decimal places");
}

void ora_table::check_bytes_column(const udb_field& value, const t_ftd& column)
{
    // bytes have no text or number of their own: a text column would keep their hex digits
    // and a NUMBER read them as a decimal number, as a BLOB column refuses a text
    if (udb_is_binary_type(column.vartype) || is_null_value(value)
        || !udb_is_binary_type(value.get_type()))
        return;
    throw tk_exception(ora_structure_error, 0);
}

void ora_table::check_raw_column(const udb_field& value, const t_ftd& column,
                                 const std::wstring& literal)
{
    // oracle reads a text or a number as hex digits for a RAW column: 1234 would become
    // the bytes 12 34. only the bytes of a GUID named in a text are meant for it
    if (!udb_is_binary_type(column.vartype) || is_null_value(value)
        || udb_is_binary_type(value.get_type()) || literal == L"''" || literal == L"NULL"
        || literal.compare(0, 9, L"HEXTORAW(") == 0)
        return;
    throw tk_exception(ora_structure_error, 0);
}

void ora_table::note_unwritten_field(const std::wstring& field)
{
    if (std::find(m_unwritten_fields.begin(), m_unwritten_fields.end(), field)
        == m_unwritten_fields.end())
        m_unwritten_fields.push_back(field);
}

void ora_table::rollback_row() noexcept
{
    // the record's error is what the run reports; a failed rollback only adds to it
    try {
        m_session.rollback();
    } catch (const std::exception& e) {
        tk_trace(3, "Error while rolling back the row:\n%s\n", e.what());
    }
}

std::wstring ora_table::get_fld_append_wstr(int pos, const udb_field& value, const t_ftd& column)
{
    tk_trace(1, "ora_table::get_fld_append_wstr");
    // the value itself follows the row through the large-object writer: its literal
    // would only be thrown away
    if (ora_is_lob_column(column)) {
        // EMPTY_CLOB() is no NULL: a NULL stays NULL, and a NOT NULL column refuses it
        // (ORA-01400) as it would any other value
        if (is_null_value(value))
            return L"NULL";
        check_bytes_column(value, column);
        tk_trace(1, "Got LOB - put placeholder");
        return empty_lob_literal(column);
    }

    check_bytes_column(value, column);
    std::wstring literal = column_literal(value, column);
    check_raw_column(value, column, literal);
    tk_wtrace(1, L"Got field #'%d': '%ls' (%d, %d)", pos, literal.c_str(), int(column.vartype),
              column.size);
    if (column.vartype == VT_DATE)
        check_calendar(column, literal);
    check_scale(column, literal, value);
    tk_trace(1, "schema[eye]->size=%d", column.size);

    const std::wstring replaced = number_replacement(value, column);
    if (!replaced.empty())
        return replaced;

    if (value.get_type() != VT_NULL && !literal.empty() && literal != L"''" && literal != L"\"\"")
        return value.get_type() == VT_BSTR ? ora_split_text_literal(literal, false)
                                           : binary_literal(literal, value, column);

    // only a table this run made may lose its constraint: the user's own table refuses
    // the record (ORA-01400) and keeps its definition
    if (column.b_not_null && m_created && !indexes.is_idx_field(column.name, true)) {
        tk_trace(1, "Put NULL-field");
        reset_not_null_flag(pos, is_null_value(value) ? "a NULL value arrived for it"
                                 : value.get_type() == VT_BSTR
                                     ? "an empty text arrives in Oracle as NULL"
                                     : "an empty value arrives in Oracle as NULL");
    }
    return L"NULL";
}

std::wstring ora_table::number_replacement(const udb_field& value, const t_ftd& column)
{
    double number = 0;
    if ((column.vartype != VT_R4 && column.vartype != VT_R8) || !value_as_double(value, number))
        return std::wstring();
    const auto binary = m_binary_numbers.find(column.name);
    if (binary != m_binary_numbers.end())
        return binary_replacement(number, binary->second, column);
    if (!(number >= -ora_max_number && number <= ora_max_number)) {
        // oracle cannot hold it (nor a NaN)
        tk_trace(1, "Number is out of range");
        return replaced_number(column);
    }
    if (number != 0 && std::fabs(number) < ora_min_number) {
        tk_trace(1, "Number is out of range");
        ++m_zeroed_values[column.name];
        return L"0";
    }
    // the shortest text of the double nearest 10^126 is 1e+126, beyond oracle's largest
    // number: sixteen digits read back as the same double and fit
    if (value.get_type() == VT_R8 && std::fabs(number) == ora_max_number)
        return number < 0 ? L"-9.999999999999999e+125" : L"9.999999999999999e+125";
    return std::wstring();
}

std::wstring ora_table::replaced_number(const t_ftd& column)
{
    // the column default or NULL, counted so that the run can tell the user
    ++m_replaced_values[column.name];
    if (column.b_not_null) {
        std::wstring def = make_ora_def_val(&column);
        if (!def.empty())
            return def;
    }
    return L"NULL";
}

std::wstring ora_table::binary_replacement(double number, bool single, const t_ftd& column)
{
    // an infinity or NaN would arrive as another value than the source's: replaced and
    // counted as for NUMBER
    const double largest = single ? double(std::numeric_limits<float>::max())
                                  : std::numeric_limits<double>::max();
    if (!(number >= -largest && number <= largest)) {
        tk_trace(1, "Number is out of the binary range");
        return replaced_number(column);
    }
    // below half the least single subnormal the column would hold 0
    if (single && number != 0 && float(number) == 0) {
        ++m_zeroed_values[column.name];
        return L"0";
    }
    return std::wstring();
}

std::wstring ora_table::binary_literal(const std::wstring& literal, const udb_field& value,
                                       const t_ftd& column) const
{
    const auto binary = m_binary_numbers.find(column.name);
    if (binary == m_binary_numbers.end() || literal.empty()
        || ora_scan_number(literal, 0) != literal.size())
        return literal;
    // a NUMBER literal would pass through oracle's decimal range first (1e-300 is 0 there):
    // a double goes as itself and the column rounds it, any other number as the column's
    const VARTYPE type = value.get_type();
    const bool single = type == VT_R4 || (type != VT_R8 && binary->second);
    return literal + (single ? L"f" : L"d");
}

void ora_table::reset_not_null_flag(int pos, const char* why)
{
    tk_trace(2, "ora_table::reset_not_null_flag(%d)", pos);
    if (pos < 0 || size_t(pos) >= schema.fields.size())
        throw tk_mail_assertion("ora_tab.cpp", 804);
    t_ftd& column = *schema.fields[size_t(pos)];

    // only the NOT NULL goes: restating the type from the descriptor would change the
    // column of an existing table (DATE to TIMESTAMP, VARCHAR2 to NVARCHAR2 or CLOB), and
    // the default it has stays as it is
    std::wstring sql = L"ALTER TABLE " + ora_quoted_name(name) + L" MODIFY "
                       + ora_quoted_name(column.name) + L" NULL";
    tk_wtrace(3, L"Run SQL query: %ls\n", sql.c_str());

    ora_stmt stmt(m_session);
    stmt.prepare(sql);
    stmt.execute(1, OCI_COMMIT_ON_SUCCESS);
    // later rows of this table need no second statement
    column.b_not_null = false;
    m_dropped_not_null.push_back(column.name);
    m_dropped_not_null_why.push_back(why);
}

std::vector<std::wstring> ora_table::update_key()
{
    if (key_index >= 0 && size_t(key_index) < indexes.size())
        return indexes[size_t(key_index)].fields;
    if (key_index != -1)
        throw tk_mail_assertion("ora_tab.cpp", 891);
    // a key whose name oracle generated (SYS_C...) is not among the table's indexes
    if (!is_query() && !unique_keys().empty())
        return unique_keys().front().columns;
    // the record stays as the table holds it: said, never dropped without a word
    throw tk_exception("The record cannot be updated: the table has no key to find its row by",
                       0);
}

void ora_table::update(const udb_record& record)
{
    tk_trace(2, "ora_table::update");
    counters_guard counters(*this);
    ora_field_finder finder(record, m_upper_case, column_map(), &schema);
    const std::vector<std::wstring> key = update_key();

    std::wstring set;
    std::wstring where;
    std::set<std::wstring> key_parts;
    // the large values, written through their locators after the UPDATE as after an INSERT
    std::vector<const udb_field*> lob_values(schema.fields.size(), nullptr);
    bool writes_lobs = false;
    for (size_t i = 0; i < record.fields.size(); ++i) {
        const udb_field* field = record.fields[i].get();
        if (!field)
            continue;
        const std::wstring& mapped = finder.get_name(i);
        tk_wtrace(2, L"Got mappend fn: %ls", mapped.c_str());
        const int pos = finder.get_column(i);
        if (pos < 0) {
            tk_wtrace(2, L"Field '%ls' is not found in schema", field->name.c_str());
            note_unwritten_field(field->name);
            continue;
        }
        const t_ftd& column = *schema.fields[size_t(pos)];
        check_bytes_column(*field, column);
        std::wstring literal;
        bool is_null = is_null_value(*field);
        if (ora_is_lob_column(column)) {
            // EMPTY_CLOB() is no NULL: an empty value stays empty, as appended
            literal = is_null ? L"NULL" : empty_lob_literal(column);
            if (!is_null) {
                lob_values[size_t(pos)] = field;
                writes_lobs = true;
            }
        } else {
            literal = column_literal(*field, column);
            check_raw_column(*field, column, literal);
            if (column.vartype == VT_DATE)
                check_calendar(column, literal);
            check_scale(column, literal, *field);
            // replaced and counted as an appended row's value would be
            const std::wstring replaced = number_replacement(*field, column);
            if (!replaced.empty())
                literal = replaced;
            else if (field->get_type() != VT_BSTR)
                literal = binary_literal(literal, *field, column);
            is_null = is_null || literal.empty() || literal == L"''" || literal == L"NULL";
            if (!is_null && field->get_type() == VT_BSTR)
                literal = ora_split_text_literal(literal, false);
        }
        bool in_key = false;
        for (const std::wstring& k : key)
            in_key = in_key || k == column.name;
        if (!in_key) {
            tk_wtrace(2, L"Field %ls is NOT a part of UKey", column.name.c_str());
            if (!set.empty())
                set += L", ";
            set += ora_quoted_name(column.name) + L"=" + (is_null ? std::wstring(L"NULL") : literal);
        } else {
            tk_wtrace(2, L"Field %ls is a part of UKey", column.name.c_str());
            if (!where.empty())
                where += L" AND ";
            // "=NULL" would match no row
            where += ora_quoted_name(column.name) + (is_null ? L" IS NULL" : L"=" + literal);
            key_parts.insert(column.name);
        }
    }

    std::wstring sql = L"UPDATE " + ora_quoted_name(name) + L" SET " + set + L" WHERE " + where;
    tk_wtrace(2, L"UPDATE QUERY: %ls", sql.c_str());
    // a key that is not whole could match other rows
    if (where.empty() || key_parts.size() < key.size()) {
        tk_trace(2, "Missing primary/unique key");
        throw tk_exception(
            "The record cannot be updated: it does not hold the whole key of its row", 0);
    }
    if (set.empty()) {
        tk_trace(2, "Nothing to update: every field is a key field");
        return;
    }
    if (!m_lobs)
        m_lobs = std::make_unique<ora_lob_insert>(m_session, name, &schema);
    // the row and its large objects are committed together, and alone: a failure undoes
    // this record's work and nothing of the records before it
    try {
        // the duplicate may lie in another unique key than the one the row is found by
        if (m_db->query(sql) == 0)
            throw tk_exception("The record cannot be updated: no row of the table has its key",
                               0);
        if (writes_lobs)
            m_lobs->update(where, lob_values);
        m_session.commit();
    } catch (...) {
        rollback_row();
        throw;
    }
    counters.written = true;
}

bool ora_table::is_eof()
{
    tk_trace(2, "ora_table::is_eof(%d,%d)", int(m_row_pos), rec_count);
    if (rec_count <= 0 || m_row_pos >= unsigned(rec_count))
        return true;
    if (!m_initialized)
        throw tk_mail_assertion("ora_tab.cpp", 492);
    m_fetched = true;
    // rows removed since the count end the table here, not as a repeated row
    return !fetch_row();
}

void ora_table::next()
{
    tk_trace(2, "ora_table::next");
    ++m_row_pos;
}

bool ora_table::has_unique_key()
{
    if (is_query())
        return udb_recordset::has_unique_key();
    return !unique_keys().empty();
}

const std::vector<ora_unique_key>& ora_table::unique_keys()
{
    if (m_unique_keys)
        return *m_unique_keys;
    auto keys = std::make_unique<std::vector<ora_unique_key>>();
    const std::wstring table = L"'" + ora_sql_text(name) + L"'";
    // every key, also one whose name oracle generated; an index that backs a key listed
    // already is that key
    const std::wstring lists[] = {
        L"SELECT c.constraint_name, k.column_name FROM user_constraints c, user_cons_columns k "
        L"WHERE c.table_name=" + table + L" AND c.constraint_type IN ('P', 'U') AND "
        L"k.constraint_name=c.constraint_name AND k.table_name=c.table_name "
        L"ORDER BY c.constraint_name, k.position",
        L"SELECT i.index_name, k.column_name FROM user_indexes i, user_ind_columns k WHERE "
        L"i.table_name=" + table + L" AND i.uniqueness='UNIQUE' AND k.index_name=i.index_name "
        L"AND k.table_name=i.table_name ORDER BY i.index_name, k.column_position",
    };
    for (const std::wstring& sql : lists) {
        const size_t listed = keys->size();
        ora_query_results rows(m_session, 2, sql);
        while (udb_record* rec = rows.next_record()) {
            const std::wstring key = ora_query_results::field_text(*rec, 0);
            if (keys->size() == listed || keys->back().name != key)
                keys->push_back({key, {}});
            keys->back().columns.push_back(ora_query_results::field_text(*rec, 1));
        }
        const auto known = [&](const ora_unique_key& index) {
            for (size_t i = 0; i < listed; ++i)
                if ((*keys)[i].columns == index.columns)
                    return true;
            return false;
        };
        keys->erase(std::remove_if(keys->begin() + std::ptrdiff_t(listed), keys->end(), known),
                    keys->end());
    }
    m_unique_keys = std::move(keys);
    return *m_unique_keys;
}

bool ora_table::is_keyed_row(const std::vector<bool>& null_at)
{
    for (const ora_unique_key& key : unique_keys())
        for (const std::wstring& column : key.columns) {
            // a part that is no column of the schema (an expression) is taken as NULL
            for (size_t pos = 0; pos < schema.fields.size(); ++pos)
                if (schema.fields[pos]->name == column && !null_at[pos])
                    return true;
        }
    return false;
}

std::vector<int> ora_table::columns_of(const udb_schema& source)
{
    // the plan the rows would be written by: a source whose fields do not fit fails its
    // records anyway
    udb_record fields;
    for (const auto& field : source.fields)
        fields.add_field(
            std::make_unique<udb_field>(field->name, field->size, ole_variant(), false, false));
    ora_write_plan plan;
    try {
        plan.make(fields, schema, m_upper_case, column_map());
    } catch (const tk_exception&) {
        return {};
    }
    std::vector<int> columns(source.fields.size(), -1);
    for (const ora_write_plan::item& item : plan.items())
        columns[item.field] = item.pos;
    return columns;
}

std::vector<std::string> ora_table::get_missing_keys(const udb_schema& source,
                                                     const udb_indexes& keys)
{
    const std::vector<int> columns = columns_of(source);
    if (columns.empty())
        return {};
    std::vector<std::string> losses;
    for (const udb_index& key : keys) {
        if (!key.unique && !key.primary)
            continue;
        std::vector<std::wstring> key_columns;
        std::string shown;
        for (const std::wstring& field : key.fields) {
            size_t i = 0;
            while (i < source.fields.size() && source.fields[i]->name != field)
                ++i;
            if (i == source.fields.size() || columns[i] < 0
                || udb_is_large_column(*source.fields[i], unsigned(ora_max_inline_size))) {
                key_columns.clear();
                break;
            }
            key_columns.push_back(schema.fields[size_t(columns[i])]->name);
            shown += (shown.empty() ? "" : ", ") + tk_to_utf8(field);
        }
        if (key_columns.empty())
            continue;
        // a key over these columns, or over fewer of them, finds the rows as well
        const bool kept = std::any_of(
            unique_keys().begin(), unique_keys().end(), [&](const ora_unique_key& own) {
                return !own.columns.empty()
                       && std::all_of(own.columns.begin(), own.columns.end(),
                                      [&](const std::wstring& c) {
                                          return std::find(key_columns.begin(),
                                                           key_columns.end(), c)
                                                 != key_columns.end();
                                      });
            });
        if (!kept)
            losses.push_back(std::string(key.primary ? "Primary key " : "Unique key ")
                             + tk_to_utf8(key.name) + " (" + shown
                             + ") of the source table is missing in the Oracle table: the merge "
                               "cannot find the rows of an earlier run by it");
    }
    return losses;
}

std::vector<std::string> ora_table::get_unwritten_keys(const udb_schema& source)
{
    const std::vector<int> columns = columns_of(source);
    if (columns.empty())
        return {};
    std::vector<bool> written(schema.fields.size(), false);
    for (const int pos : columns)
        if (pos >= 0)
            written[size_t(pos)] = true;

    std::vector<std::string> losses;
    for (const ora_unique_key& key : unique_keys()) {
        std::vector<std::string> unwritten;
        for (const std::wstring& column : key.columns)
            for (size_t pos = 0; pos < schema.fields.size(); ++pos)
                if (schema.fields[pos]->name == column && !written[pos])
                    unwritten.push_back(tk_to_ansi(column));
        if (unwritten.empty())
            continue;
        std::string list;
        for (const std::string& column : unwritten)
            list += (list.empty() ? "" : ", ") + column;
        losses.push_back("Unique key " + tk_to_ansi(key.name) + " covers "
                         + (unwritten.size() == 1 ? "column " : "columns ") + list
                         + ", which the run does not write: a record that meets a row on it "
                           "cannot be told from a row of an earlier run and is merged as one");
    }
    return losses;
}

std::vector<std::string> ora_table::get_losses() const
{
    std::vector<std::string> losses;
    for (const ora_left_out_index& index : m_left_out)
        losses.push_back("Index " + tk_to_ansi(index.index) + " was not created: "
                         + (index.column.empty()
                                ? "it covers the same columns as index "
                                      + tk_to_ansi(index.repeated)
                                      + ", and Oracle keeps one index over a column list"
                                : "column " + tk_to_ansi(index.column)
                                      + " is stored as a large object, which Oracle cannot "
                                        "index"));
    losses.insert(losses.end(), m_weaker_keys.begin(), m_weaker_keys.end());
    for (const auto& [column, count] : m_replaced_values) {
        if (count == 0)
            continue;
        losses.push_back(std::to_string(count) + " value(s) of column " + tk_to_ansi(column)
                         + " were beyond the Oracle number range and were written as the"
                           " column default or NULL");
    }
    for (const auto& [column, count] : m_zeroed_values)
        losses.push_back(std::to_string(count) + " value(s) of column " + tk_to_ansi(column)
                         + " were too small for an Oracle number and were written as 0");
    for (const auto& [column, count] : m_zoned_values)
        losses.push_back(std::to_string(count) + " value(s) of column " + tk_to_ansi(column)
                         + " were written as local times without their offset: Oracle gave "
                           "them the time zone of its session");
    // the destination no longer has the source's constraint: the user must know
    for (size_t i = 0; i < m_dropped_not_null.size(); ++i)
        losses.push_back("Column " + tk_to_ansi(m_dropped_not_null[i])
                         + " lost its NOT NULL constraint: " + m_dropped_not_null_why[i]);
    for (const std::wstring& field : m_unwritten_fields)
        losses.push_back("Column " + tk_to_ansi(field)
                         + " has no column in the Oracle table: its values were not written");
    return losses;
}
