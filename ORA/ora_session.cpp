#include "ora_session.hpp"

#include "ora_except.hpp"
#include "tk_log.hpp"
#include "tk_utils.hpp"

#include <cstdio>

namespace {

const char client_not_found[] =
    "The Oracle client and networking components were not found.\n"
    "These components are supplied by the Oracle Corporation and\n"
    "are part of the Oracle Version 7.3.4 (or later) client\n"
    "software installation. You will be unable to use this program\n"
    "until these components have been installed.";

// the environment outlives every session: it stays until the process ends
OCIEnv* g_env = nullptr;

bool succeeded(sword status) { return status == OCI_SUCCESS || status == OCI_SUCCESS_WITH_INFO; }

// a client that cannot even set itself up
tk_exception setup_failure(const char* what, sword status)
{
    char text[160];
    std::snprintf(text, sizeof text, "The Oracle client could not %s returned %d).", what,
                  status);
    return tk_exception(text, 1);
}

} // namespace

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

ora_session::ora_session() = default;

ora_session::~ora_session()
{
    release();
}

void ora_session::commit()
{
    tk_trace(2, "ora_session::commit");
    check_status(oci().OCITransCommit(m_handles.svc, m_handles.err, OCI_DEFAULT),
                 "OCITransCommit");
}

void ora_session::rollback()
{
    tk_trace(2, "ora_session::rollback");
    check_status(oci().OCITransRollback(m_handles.svc, m_handles.err, OCI_DEFAULT),
                 "OCITransRollback");
}

void ora_session::release() noexcept
{
    if (!m_initialized && !m_handles.err && !m_handles.srv)
        return;
    const auto& api = oci();
    if (m_initialized && m_handles.svc) {
        // the log-off commits what the session left open: a failure must be visible
        sword status = api.OCILogoff(m_handles.svc, m_handles.err);
        m_handles.svc = nullptr;
        if (status == OCI_ERROR) {
            try {
                check_status(status, "OCILogoff");
            } catch (const tk_exception& e) {
                tk_trace(3, "Error while logging off:\n%s\n", e.what());
            }
        }
    }
    if (m_initialized)
        api.OCIServerDetach(m_handles.srv, m_handles.err, OCI_DEFAULT);
    // handles of a failed initialisation go as well
    if (m_handles.err)
        api.OCIHandleFree(m_handles.err, OCI_HTYPE_ERROR);
    if (m_handles.srv)
        api.OCIHandleFree(m_handles.srv, OCI_HTYPE_SERVER);
    m_handles.err = nullptr;
    m_handles.srv = nullptr;
    m_initialized = false;
}

void ora_session::initialize()
{
    tk_trace(2, "ora_engine::initialize");

    // the probe: a missing client is reported before any client call
    const ora_oci::symbols* api = nullptr;
    try {
        api = &ora_oci::load();
    } catch (const ora_oci::load_error& e) {
        tk_trace(2, "%s", e.what());
        throw tk_exception(client_not_found, 1);
    }

    // a handle made by an earlier, failed initialisation is reused
    if (!g_env) {
        OCIEnv* env = nullptr;
        sword status = api->OCIEnvCreate(&env, OCI_UTF16, nullptr, nullptr, nullptr, nullptr, 0,
                                         nullptr);
        if (!succeeded(status) || !env)
            throw setup_failure("create the environment (OCIEnvCreate", status);
        g_env = env;
    }
    m_handles.env = g_env;
    tk_trace(1, "Step #1");

    if (!m_handles.err) {
        void* h = nullptr;
        sword status = api->OCIHandleAlloc(m_handles.env, &h, OCI_HTYPE_ERROR, 0, nullptr);
        if (!succeeded(status) || !h)
            throw setup_failure("allocate an error handle (OCIHandleAlloc", status);
        m_handles.err = static_cast<OCIError*>(h);
    }
    tk_trace(1, "Step #2");

    if (!m_handles.srv) {
        void* h = nullptr;
        check_status(api->OCIHandleAlloc(m_handles.env, &h, OCI_HTYPE_SERVER, 0, nullptr),
                     "OCIHandleAlloc");
        m_handles.srv = static_cast<OCIServer*>(h);
    }
    tk_trace(1, "Step #3");

    // the logon makes a connection of its own, so a failed attach to the default
    // database is no error here
    static const char16_t empty[] = u"";
    sword status = api->OCIServerAttach(m_handles.srv, m_handles.err,
                                        reinterpret_cast<const OraText*>(empty), 0, OCI_DEFAULT);
    tk_trace(1, "Step #4");
    if (!succeeded(status))
        tk_trace(1, "OCIServerAttach returned %d", status);

    m_initialized = true;
}

void ora_session::logoff()
{
    if (!m_handles.svc)
        return;
    m_version.reset();
    // forgotten before the status is checked, so that a failed log-off never keeps
    // a later logon from succeeding
    OCISvcCtx* svc = m_handles.svc;
    m_handles.svc = nullptr;
    check_status(oci().OCILogoff(svc, m_handles.err), "OCILogoff");
}

void ora_session::logon(const std::wstring& data_source, const std::wstring& user,
                        const std::wstring& password)
{
    if (!m_initialized)
        initialize();
    logoff();

    const std::u16string u = ora_to_utf16(user);
    const std::u16string p = ora_to_utf16(password);
    const std::u16string d = ora_to_utf16(data_source);
    OCISvcCtx* svc = nullptr;
    sword status = oci().OCILogon(m_handles.env, m_handles.err, &svc, ora_text(u),
                                  ora_byte_len(u), ora_text(p), ora_byte_len(p), ora_text(d),
                                  ora_byte_len(d));
    // a failed logon keeps no service context: the next logon starts clean
    check_status(status, "OCILogon");
    if (!succeeded(status) || !svc)
        throw tk_exception("Internal error: OCILogon gave no session", 2);
    m_handles.svc = svc;
    m_version.reset();
    m_user = user;
}

int ora_session::check_status(int status, const char* call)
{
    if (status == OCI_INVALID_HANDLE) {
        std::string text = std::string("Internal error: ") + (call ? call : "an Oracle client call") +
                           " was given an invalid handle (OCI_INVALID_HANDLE)";
        tk_trace(2, "%s", text.c_str());
        throw tk_exception(text, 2);
    }
    if (status != OCI_ERROR)
        return status;

    sb4 number = 0;
    // the client's longest message: a shorter buffer cuts it
    char16_t buffer[OCI_ERROR_MAXMSG_SIZE2 / 2] = {};
    constexpr size_t units = sizeof buffer / sizeof buffer[0];
    if (m_handles.err)
        oci().OCIErrorGet(m_handles.err, 1, nullptr, &number,
                          reinterpret_cast<OraText*>(buffer), sizeof buffer, OCI_HTYPE_ERROR);
    buffer[units - 1] = 0;
    std::string message = tk_to_utf8(ora_from_utf16(buffer, units));
    // the client ends its messages with a line break
    while (!message.empty() && (message.back() == '\n' || message.back() == '\r'))
        message.pop_back();
    if (message.empty() && call)
        message = std::string(call) + " failed";
    throw ora_exception(number, message);
}
