#include "ora_engi.hpp"

#include "ora_db.hpp"
#include "ora_except.hpp"
#include "ora_stmt.hpp"
#include "ora_util.hpp"
#include "tk_log.hpp"
#include "tk_utils.hpp"

#include <cctype>
#include <cstdio>
#include <sstream>
#include <vector>

namespace {

const char client_not_found[] =
    "The Oracle client and networking components were not found.\n"
    "These components are supplied by the Oracle Corporation and\n"
    "are part of the Oracle Version 7.3.4 (or later) client\n"
    "software installation. You will be unable to use this program\n"
    "until these components have been installed.";

// the environment outlives every engine: it stays until the process ends
ora_handles g_handles;

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

ora_engine::ora_engine()
{
    tk_trace(2, "ora_engine::ctor");
}

ora_engine::~ora_engine()
{
    tk_trace(2, "ora_engine::dtor");
    release();
}

ora_handles& ora_engine::handles()
{
    return g_handles;
}

bool ora_engine::is_logged_on() const
{
    return g_handles.svc != nullptr;
}

void ora_engine::release() noexcept
{
    if (!m_initialized)
        return;
    const auto& api = oci();
    if (g_handles.svc) {
        // the log-off commits what the session left open: a failure must be visible
        sword status = api.OCILogoff(g_handles.svc, g_handles.err);
        g_handles.svc = nullptr;
        if (status == OCI_ERROR) {
            try {
                check_status(status, "OCILogoff");
            } catch (const tk_exception& e) {
                tk_trace(3, "Error while logging off:\n%s\n", e.what());
            }
        }
    }
    api.OCIServerDetach(g_handles.srv, g_handles.err, OCI_DEFAULT);
    if (g_handles.err)
        api.OCIHandleFree(g_handles.err, OCI_HTYPE_ERROR);
    if (g_handles.srv)
        api.OCIHandleFree(g_handles.srv, OCI_HTYPE_SERVER);
    g_handles.err = nullptr;
    g_handles.srv = nullptr;
    m_initialized = false;
}

void ora_engine::initialize()
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
    if (!g_handles.env) {
        OCIEnv* env = nullptr;
        sword status = api->OCIEnvCreate(&env, OCI_UTF16, nullptr, nullptr, nullptr, nullptr, 0,
                                         nullptr);
        if (!succeeded(status) || !env)
            throw setup_failure("create the environment (OCIEnvCreate", status);
        g_handles.env = env;
    }
    tk_trace(1, "Step #1");

    if (!g_handles.err) {
        void* h = nullptr;
        sword status = api->OCIHandleAlloc(g_handles.env, &h, OCI_HTYPE_ERROR, 0, nullptr);
        if (!succeeded(status) || !h)
            throw setup_failure("allocate an error handle (OCIHandleAlloc", status);
        g_handles.err = static_cast<OCIError*>(h);
    }
    tk_trace(1, "Step #2");

    if (!g_handles.srv) {
        void* h = nullptr;
        check_status(api->OCIHandleAlloc(g_handles.env, &h, OCI_HTYPE_SERVER, 0, nullptr),
                     "OCIHandleAlloc");
        g_handles.srv = static_cast<OCIServer*>(h);
    }
    tk_trace(1, "Step #3");

    // the logon makes a connection of its own, so a failed attach to the default
    // database is no error here
    static const char16_t empty[] = u"";
    sword status = api->OCIServerAttach(g_handles.srv, g_handles.err,
                                        reinterpret_cast<const OraText*>(empty), 0, OCI_DEFAULT);
    tk_trace(1, "Step #4");
    if (!succeeded(status))
        tk_trace(1, "OCIServerAttach returned %d", status);

    m_initialized = true;
}

std::wstring ora_engine::make_data_source(const std::wstring& host, const std::wstring& port,
                                          const std::wstring& db_name)
{
    if (host.empty() && port.empty())
        return db_name;
    return L"//" + (host.empty() ? std::wstring(L"localhost") : host) + L":" +
           (port.empty() ? std::wstring(L"1521") : port) + L"/" + db_name;
}

ora_database* ora_engine::open_db(const std::wstring& host, const std::wstring& user,
                                  const std::wstring& password, const std::wstring& port,
                                  const std::wstring& db_name)
{
    tk_wtrace(2, L"ora_engine::open_db (%ls,%ls,%ls,%ls,%ls)", host.c_str(), user.c_str(),
              password.c_str(), port.c_str(), db_name.c_str());
    return open_db(make_data_source(host, port, db_name), user, password);
}

void ora_engine::logoff()
{
    if (!g_handles.svc)
        return;
    // forgotten before the status is checked, so that a failed log-off never keeps
    // a later logon from succeeding
    OCISvcCtx* svc = g_handles.svc;
    g_handles.svc = nullptr;
    check_status(oci().OCILogoff(svc, g_handles.err), "OCILogoff");
}

ora_database* ora_engine::open_db(const std::wstring& data_source, const std::wstring& user,
                                  const std::wstring& password)
{
    tk_wtrace(2, L"ora_engine::open_db( %ls, %ls, %ls )", data_source.c_str(), user.c_str(),
              password.c_str());
    tk_wtrace(3, L"Connecting to Oracle data source '%ls'", data_source.c_str());

    if (!m_initialized)
        initialize();
    logoff();

    const std::u16string u = ora_to_utf16(user);
    const std::u16string p = ora_to_utf16(password);
    const std::u16string d = ora_to_utf16(data_source);
    OCISvcCtx* svc = nullptr;
    sword status = oci().OCILogon(g_handles.env, g_handles.err, &svc, ora_text(u),
                                  ora_byte_len(u), ora_text(p), ora_byte_len(p), ora_text(d),
                                  ora_byte_len(d));
    // a failed logon keeps no service context: the next logon starts clean
    check_status(status, "OCILogon");
    if (!succeeded(status) || !svc)
        throw tk_exception("Internal error: OCILogon gave no session", 2);
    g_handles.svc = svc;

    tk_trace(1, "The connection has been established");
    m_data_source = data_source;
    m_user = user;
    m_password = password;
    return new ora_database(data_source, 1);
}

int ora_engine::check_status(int status, const char* call)
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
    char16_t buffer[256] = {};
    if (g_handles.err)
        oci().OCIErrorGet(g_handles.err, 1, nullptr, &number,
                          reinterpret_cast<OraText*>(buffer), sizeof buffer, OCI_HTYPE_ERROR);
    buffer[255] = 0;
    std::string message = tk_to_utf8(ora_from_utf16(buffer, 256));
    // the client ends its messages with a line break
    while (!message.empty() && (message.back() == '\n' || message.back() == '\r'))
        message.pop_back();
    if (message.empty() && call)
        message = std::string(call) + " failed";
    throw ora_exception(number, message);
}

int ora_engine::get_records_cnt(const std::wstring& table)
{
    return get_records_cnt(table, false);
}

int ora_engine::get_records_cnt(const std::wstring& name, bool is_query)
{
    tk_wtrace(2, L"ora_engine::get_records_cnt(%ls)", name.c_str());
    if (!g_handles.svc)
        throw tk_mail_assertion("ora_engi", 342);

    const std::wstring sql = is_query ? L"SELECT COUNT(*) FROM (" + name + L")"
                                      : L"SELECT COUNT(*) FROM " + ora_quoted_name(name);
    ora_stmt stmt;
    stmt.prepare(sql);
    sb4 count = 0;
    OCIDefine* def = nullptr;
    check_status(oci().OCIDefineByPos(stmt, &def, g_handles.err, 1, &count, sizeof count,
                                      SQLT_INT, nullptr, nullptr, nullptr, OCI_DEFAULT),
                 "OCIDefineByPos");
    if (stmt.execute(1) == OCI_NO_DATA)
        throw tk_mail_assertion("ora_engi", 360);
    return count;
}

unsigned ora_engine::parse_version(const std::string& banner)
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

unsigned ora_engine::get_version()
{
    tk_trace(2, "ora_engine::get_version");
    if (!g_handles.svc)
        throw tk_mail_assertion("ora_engi", 153);

    ora_stmt stmt;
    stmt.prepare(L"select * from v$version");
    std::vector<char16_t> buffer(131072 / 2, 0);
    OCIDefine* def = nullptr;
    check_status(oci().OCIDefineByPos(stmt, &def, g_handles.err, 1, buffer.data(),
                                      sb4(buffer.size() * 2), SQLT_STR, nullptr, nullptr,
                                      nullptr, OCI_DEFAULT),
                 "OCIDefineByPos");
    if (stmt.execute(1) == OCI_NO_DATA)
        throw tk_mail_assertion("ora_engi", 171);
    const std::string banner = tk_to_utf8(ora_from_utf16(buffer.data(), buffer.size()));
    tk_trace(1, "Got versioned string:\n%s", banner.c_str());
    return parse_version(banner);
}
