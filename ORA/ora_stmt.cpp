#include "ora_stmt.hpp"

#include "tk_log.hpp"

std::u16string ora_to_utf16(const std::wstring& text)
{
    std::u16string out;
    out.reserve(text.size());
    for (wchar_t c : text)
        out.push_back(static_cast<char16_t>(c));
    return out;
}

std::wstring ora_from_utf16(const void* units, size_t max_units)
{
    std::wstring out;
    const auto* p = static_cast<const char16_t*>(units);
    for (size_t i = 0; i < max_units && p[i]; ++i)
        out.push_back(static_cast<wchar_t>(p[i]));
    return out;
}

ora_stmt::ora_stmt()
{
    tk_trace(1, "ora_stmt::ctor");
    ora_engine& engine = ora_engine::instance();
    void* h = nullptr;
    engine.check_status(oci().OCIHandleAlloc(engine.handles().env, &h, OCI_HTYPE_STMT, 0,
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
    ora_engine& engine = ora_engine::instance();
    const std::u16string text = ora_to_utf16(sql);
    engine.check_status(oci().OCIStmtPrepare(m_stmt, engine.handles().err, ora_text(text),
                                             ora_byte_len(text), OCI_NTV_SYNTAX, OCI_DEFAULT),
                        "OCIStmtPrepare");
}

sword ora_stmt::execute(ub4 iters, ub4 mode)
{
    ora_engine& engine = ora_engine::instance();
    const ora_handles& h = engine.handles();
    return engine.check_status(
        oci().OCIStmtExecute(h.svc, m_stmt, h.err, iters, 0, nullptr, nullptr, mode),
        "OCIStmtExecute");
}

sword ora_stmt::fetch()
{
    ora_engine& engine = ora_engine::instance();
    return engine.check_status(
        oci().OCIStmtFetch(m_stmt, engine.handles().err, 1, OCI_FETCH_NEXT, OCI_DEFAULT),
        "OCIStmtFetch");
}
