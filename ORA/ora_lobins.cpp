#include "ora_lobins.hpp"

#include "ora_limits.hpp"
#include "ora_stmt.hpp"
#include "ora_util.hpp"
#include "tk_log.hpp"
#include "tk_utils.hpp"
#include "udb_rec.hpp"
#include "udb_sche.hpp"

#include <algorithm>
#include <cwchar>

const char* const ora_structure_error =
    "The structure of data source does not conform to the destination table.";

namespace {

// the end of the piece from start: a surrogate pair stays within one piece, so that
// the pieces convert exactly as the whole text would
size_t clob_piece_end(const wchar_t* units, size_t length, size_t start)
{
    size_t end = std::min(length, start + ora_lob_insert::clob_piece_units);
    if (end < length && units[end - 1] >= 0xD800 && units[end - 1] <= 0xDBFF)
        ++end;
    return end;
}

} // namespace

ora_lob_insert::ora_lob_insert(ora_session& session, const std::wstring& table,
                               const udb_schema* fields)
    : m_session(session), m_table(table), m_fields(fields)
{
    tk_trace(2, "ora_lob_insert::ctor");
    for (size_t i = 0; i < fields->fields.size(); ++i) {
        const t_ftd& f = *fields->fields[i];
        tk_wtrace(1, L"Processing '%ls': vt=%d, size=%d", f.name.c_str(), int(f.vartype), f.size);
        if (ora_is_lob_column(f)) {
            tk_wtrace(1, L"GOT LOB FIELD '%ls'", f.name.c_str());
            m_lobs.push_back({int(i), f.vartype, f.name});
        }
    }
    m_defines.assign(m_lobs.size(), nullptr);
    m_locators.assign(m_lobs.size(), nullptr);
    m_indicators.assign(m_lobs.size(), 0);

    try {
        for (void*& locator : m_locators)
            session.check_status(oci().OCIDescriptorAlloc(session.handles().env, &locator,
                                                          OCI_DTYPE_LOB, 0, nullptr),
                                 "OCIDescriptorAlloc");
    } catch (...) {
        free_locators();
        throw;
    }
    tk_trace(2, "ora_lob_insert::ctor - at the END");
}

ora_lob_insert::~ora_lob_insert()
{
    tk_trace(2, "ora_lob_insert::~ora_lob_insert");
    free_locators();
    tk_trace(1, "~ora_lob_insert - Step #1");
    tk_trace(1, "~ora_lob_insert - Step #2");
    tk_trace(1, "~ora_lob_insert - Step #3");
}

void ora_lob_insert::free_locators() noexcept
{
    for (void*& locator : m_locators) {
        if (locator)
            oci().OCIDescriptorFree(locator, OCI_DTYPE_LOB);
        locator = nullptr;
    }
}

void ora_lob_insert::insert(const std::wstring& rowid, const std::vector<const udb_field*>& values)
{
    tk_wtrace(2, L"ora_lob_insert::insert(%ls)", rowid.c_str());
    write_row(L"ROWID='" + ora_sql_text(rowid) + L"'", values,
              "The row just inserted was not found to write its large objects.");
}

void ora_lob_insert::update(const std::wstring& condition,
                            const std::vector<const udb_field*>& values)
{
    tk_trace(2, "ora_lob_insert::update");
    write_row(condition, values, "The row just updated was not found to write its large objects.");
}

void ora_lob_insert::write_row(const std::wstring& condition,
                               const std::vector<const udb_field*>& values, const char* missing)
{
    tk_trace(1, "ld.size()=%d", int(m_lobs.size()));
    if (m_lobs.empty()) {
        tk_trace(1, "Record has no LOBs - skip it");
        return;
    }

    std::wstring columns;
    for (const ora_lob_field& lob : m_lobs) {
        if (!columns.empty())
            columns += L", ";
        columns += ora_quoted_name(lob.name);
    }
    std::wstring sql = L"SELECT " + columns + L" FROM " + ora_quoted_name(m_table) + L" WHERE "
                       + condition + L" FOR UPDATE";
    tk_wtrace(3, L"Run SQL query: %ls\n", sql.c_str());

    ora_session& session = m_session;
    ora_handles& h = session.handles();
    // the fetch sets them anew for every row
    std::fill(m_indicators.begin(), m_indicators.end(), int16_t(0));
    ora_stmt stmt(session);
    stmt.prepare(sql);
    for (size_t i = 0; i < m_lobs.size(); ++i) {
        OCIDefine* define = nullptr;
        ub2 type = m_lobs[i].vartype == VT_BSTR ? SQLT_CLOB : SQLT_BLOB;
        session.check_status(oci().OCIDefineByPos(stmt.get(), &define, h.err, ub4(i + 1),
                                                  &m_locators[i], -1, type, &m_indicators[i],
                                                  nullptr, nullptr, OCI_DEFAULT),
                             "OCIDefineByPos");
        m_defines[i] = define;
    }
    // no commit: the caller commits the row together with its large objects
    if (stmt.execute(1, OCI_DEFAULT) == OCI_NO_DATA)
        throw tk_exception(missing, 0);

    for (size_t i = 0; i < m_lobs.size(); ++i) {
        size_t pos = size_t(m_lobs[i].pos);
        const udb_field* value = pos < values.size() ? values[pos] : nullptr;
        // the column is not in the INSERT, or holds NULL: there is no locator to write
        if (!value || m_indicators[i] == -1) {
            tk_wtrace(1, L"No value for LOB '%ls' - skip it", m_lobs[i].name.c_str());
            continue;
        }
        if (m_lobs[i].vartype == VT_BSTR)
            write_clob(i, *value);
        else
            write_blob(i, *value);
    }
    tk_trace(2, "ora_insert::insert - at the END");
}

void ora_lob_insert::write_clob(size_t i, const udb_field& value)
{
    tk_trace(2, "ora_lob_insert::write_clob");
    // a text is written from the value itself, converted to utf-8 a piece at a time:
    // a whole copy beside the wide value would more than double its memory
    std::wstring other;
    const wchar_t* units = L"";
    if (value.get_vt() == VT_BSTR) {
        if (value.get_variant().bstrVal)
            units = value.get_variant().bstrVal;
    } else {
        other = ora_value_text(value);
        units = other.c_str();
    }
    // a NUL ends the text, as in every other conversion of it
    const size_t length = std::wcslen(units);
    if (length == 0) {
        tk_trace(1, "Got empty CLOB - skip it");
        return;
    }
    // a pair at the end of the first piece may take in the last unit as well
    if (clob_piece_end(units, length, 0) == length) {
        const std::string text = tk_to_utf8(units, length);
        tk_trace(1, "CLOB size=%d", int(text.size()));
        write(i, text.data(), text.size(), OCI_AL32UTF8_ID);
        return;
    }

    // the amount of a utf-8 write is its bytes, known before the first piece goes
    size_t total = 0;
    for (size_t start = 0; start < length;) {
        const size_t end = clob_piece_end(units, length, start);
        total += tk_to_utf8(units + start, end - start).size();
        start = end;
    }
    tk_trace(1, "CLOB size=%d", int(total));
    ora_handles& h = m_session.handles();
    auto* locator = static_cast<OCILobLocator*>(m_locators[i]);
    const ub1 form = text_form(i);
    ub4 amount = ub4(total);
    for (size_t start = 0; start < length;) {
        const size_t end = clob_piece_end(units, length, start);
        std::string piece = tk_to_utf8(units + start, end - start);
        const ub1 kind = start == 0 ? OCI_FIRST_PIECE : end == length ? OCI_LAST_PIECE
                                                                      : OCI_NEXT_PIECE;
        const sword status = m_session.check_status(
            oci().OCILobWrite(h.svc, h.err, locator, &amount, 1, piece.data(), ub4(piece.size()),
                              kind, nullptr, nullptr, OCI_AL32UTF8_ID, form),
            "OCILobWrite");
        // the client asks for every piece but the last
        if ((kind == OCI_LAST_PIECE) != (status != OCI_NEED_DATA))
            throw tk_mail_assertion("ora_lobins.cpp", 131);
        start = end;
    }
}

void ora_lob_insert::write_blob(size_t i, const udb_field& value)
{
    tk_trace(2, "ora_lob_insert::write_blob");
    VARTYPE vt = value.get_type();
    if (vt != (VT_ARRAY | VT_UI1) && vt != VT_EMPTY && vt != VT_NULL)
        throw tk_exception(ora_structure_error, 0);
    const BYTE* bytes = nullptr;
    unsigned count = value.get_bytes(bytes);
    if (count == 0) {
        tk_trace(1, "Got empty BLOB - skip it");
        return;
    }
    tk_trace(1, "BLOB size=%d", int(count));
    if (count >= 4)
        tk_trace(1, "BLOB: %02X %02X %02X %02X...", bytes[0], bytes[1], bytes[2], bytes[3]);
    write(i, bytes, count, 0);
    tk_trace(2, "ora_lob_insert::write_blob - at the end");
}

ub1 ora_lob_insert::text_form(size_t i)
{
    // an NCLOB takes its text only in the national form (ORA-24806 otherwise)
    ora_handles& h = m_session.handles();
    ub1 form = SQLCS_IMPLICIT;
    m_session.check_status(oci().OCILobCharSetForm(h.env, h.err,
                                                   static_cast<OCILobLocator*>(m_locators[i]),
                                                   &form),
                           "OCILobCharSetForm");
    return form;
}

void ora_lob_insert::write(size_t i, const void* data, size_t size, unsigned csid)
{
    // for a utf-8 buffer the client takes the amount in bytes, as for a BLOB
    ora_handles& h = m_session.handles();
    const ub1 form = m_lobs[i].vartype == VT_BSTR ? text_form(i) : SQLCS_IMPLICIT;
    ub4 amount = ub4(size);
    m_session.check_status(
        oci().OCILobWrite(h.svc, h.err, static_cast<OCILobLocator*>(m_locators[i]), &amount, 1,
                          const_cast<void*>(data), ub4(size), OCI_ONE_PIECE, nullptr, nullptr,
                          ub2(csid), form),
        "OCILobWrite");
}
