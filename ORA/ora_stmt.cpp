#include "ora_stmt.hpp"

#include "ora_util.hpp"
#include "tk_except.hpp"
#include "tk_log.hpp"
#include "tk_utils.hpp"

#include <cctype>
#include <climits>
#include <cstdio>
#include <sstream>
#include <vector>

ora_stmt::ora_stmt(ora_session& session) : m_session(session)
{
    tk_trace(1, "ora_stmt::ctor");
    void* h = nullptr;
    session.check_status(oci().OCIHandleAlloc(session.handles().env, &h, OCI_HTYPE_STMT, 0,
                                              nullptr),
                         "OCIHandleAlloc");
    m_stmt = static_cast<OCIStmt*>(h);
}

ora_stmt::~ora_stmt()
{
    tk_trace(1, "ora_stmt::dtor");
    if (m_stmt)
        oci().OCIHandleFree(m_stmt, OCI_HTYPE_STMT);
    tk_trace(1, "ora_stmt::dtor - END");
}

void ora_stmt::prepare(const std::wstring& sql)
{
    const std::u16string text = ora_to_utf16(sql);
    m_session.check_status(oci().OCIStmtPrepare(m_stmt, m_session.handles().err, ora_text(text),
                                                ora_byte_len(text), OCI_NTV_SYNTAX,
                                                OCI_DEFAULT),
                           "OCIStmtPrepare");
}

sword ora_stmt::execute(ub4 iters, ub4 mode)
{
    const ora_handles& h = m_session.handles();
    return m_session.check_status(
        oci().OCIStmtExecute(h.svc, m_stmt, h.err, iters, 0, nullptr, nullptr, mode),
        "OCIStmtExecute");
}

sword ora_stmt::fetch()
{
    return m_session.check_status(
        oci().OCIStmtFetch(m_stmt, m_session.handles().err, 1, OCI_FETCH_NEXT, OCI_DEFAULT),
        "OCIStmtFetch");
}

int ora_stmt::row_count()
{
    ub4 rows = 0;
    m_session.check_status(oci().OCIAttrGet(m_stmt, OCI_HTYPE_STMT, &rows, nullptr,
                                            OCI_ATTR_ROW_COUNT, m_session.handles().err),
                           "OCIAttrGet");
    return rows > ub4(INT_MAX) ? INT_MAX : int(rows);
}

int ora_run_statement(ora_session& session, const std::wstring& sql)
{
    tk_wtrace(2, L"ora_database::query(%ls)", sql.c_str());
    ora_stmt stmt(session);
    stmt.prepare(sql);
    stmt.execute(1);
    return stmt.row_count();
}

int ora_count_rows(ora_session& session, const std::wstring& name, bool is_query)
{
    tk_wtrace(2, L"ora_engine::get_records_cnt(%ls)", name.c_str());
    if (!session.is_logged_on())
        throw tk_mail_assertion("ora_engi", 342);

    const std::wstring sql = is_query ? L"SELECT COUNT(*) FROM (" + name + L")"
                                      : L"SELECT COUNT(*) FROM " + ora_quoted_name(name);
    ora_stmt stmt(session);
    stmt.prepare(sql);
    sb4 count = 0;
    OCIDefine* def = nullptr;
    session.check_status(oci().OCIDefineByPos(stmt, &def, session.handles().err, 1, &count,
                                              sizeof count, SQLT_INT, nullptr, nullptr, nullptr,
                                              OCI_DEFAULT),
                         "OCIDefineByPos");
    if (stmt.execute(1) == OCI_NO_DATA)
        throw tk_mail_assertion("ora_engi", 360);
    return count;
}

unsigned ora_parse_version(const std::string& banner)
{
    std::istringstream in(banner);
    std::string piece;
    while (std::getline(in, piece, ' ')) {
        if (piece.empty() || !std::isdigit(static_cast<unsigned char>(piece[0])))
            continue;
        int major = 0, minor = 0, patch = 0;
        if (std::sscanf(piece.c_str(), "%d.%d.%d", &major, &minor, &patch) == 3) {
            tk_trace(1, "Got Oracle version: %d,%d,%d", major, minor, patch);
            return (unsigned(major) << 16) | (unsigned(minor) << 8) | unsigned(patch);
        }
    }
    return 0;
}

unsigned ora_server_version(ora_session& session)
{
    if (!session.is_logged_on())
        throw tk_mail_assertion("ora_engi", 153);
    // the banner does not change within a logon
    if (session.get_version())
        return *session.get_version();
    tk_trace(2, "ora_engine::get_version");

    ora_stmt stmt(session);
    stmt.prepare(L"select * from v$version");
    std::vector<char16_t> buffer(131072 / 2, 0);
    OCIDefine* def = nullptr;
    session.check_status(oci().OCIDefineByPos(stmt, &def, session.handles().err, 1,
                                              buffer.data(), sb4(buffer.size() * 2), SQLT_STR,
                                              nullptr, nullptr, nullptr, OCI_DEFAULT),
                         "OCIDefineByPos");
    if (stmt.execute(1) == OCI_NO_DATA)
        throw tk_mail_assertion("ora_engi", 171);
    const std::string banner = tk_to_utf8(ora_from_utf16(buffer.data(), buffer.size()));
    tk_trace(1, "Got versioned string:\n%s", banner.c_str());
    const unsigned version = ora_parse_version(banner);
    session.set_version(version);
    return version;
}
