#pragma once

// internal to the oracle engine: the client's handles, the status check, logon and
// log-off, and the utf-16 text helpers. the engine owns the one session and hands it by
// reference to what it creates. no header of another subsystem may include this one
// (it exposes the client's types).

#include "ora_oci.hpp"

#include <optional>
#include <string>

// the environment is process-wide; the service context is null until the first logon
// and after a log-off
struct ora_handles {
    OCIEnv* env = nullptr;
    OCIError* err = nullptr;
    OCIServer* srv = nullptr;
    OCISvcCtx* svc = nullptr;
};

// the entry points of the loaded client
inline const ora_oci::symbols& oci() { return ora_oci::api(); }

// text crosses the client as utf-16 units with lengths in bytes
std::u16string ora_to_utf16(const std::wstring& text);
// units up to the first NUL, at most max_units
std::wstring ora_from_utf16(const void* units, size_t max_units);
inline ub4 ora_byte_len(const std::u16string& text) { return ub4(text.size() * 2); }
inline const OraText* ora_text(const std::u16string& text)
{
    return reinterpret_cast<const OraText*>(text.c_str());
}

class ora_session {
public:
    ora_session();
    ~ora_session();
    ora_session(const ora_session&) = delete;
    ora_session& operator=(const ora_session&) = delete;

    // loads the client, creates the utf-16 environment and the handles
    void initialize();
    bool is_initialized() const { return m_initialized; }

    // logs on (logging off an earlier session first); initializes when not yet done
    void logon(const std::wstring& data_source, const std::wstring& user,
               const std::wstring& password);
    // ends the session; the log-off commits what the session left open, so its
    // failure is raised
    void logoff();
    bool is_logged_on() const { return m_handles.svc != nullptr; }
    // ends the transaction of the current logon
    void commit();
    void rollback();
    // the user of the current logon
    const std::wstring& get_user() const { return m_user; }

    // returns the status unless it is an error: OCI_ERROR raises ora_exception,
    // OCI_INVALID_HANDLE an internal error naming the call
    int check_status(int status, const char* call = nullptr);

    ora_handles& handles() { return m_handles; }

    // the server version of this logon, once it was read (it does not change within one)
    const std::optional<unsigned>& get_version() const { return m_version; }
    void set_version(unsigned version) { m_version = version; }

private:
    void release() noexcept;

    bool m_initialized = false;
    ora_handles m_handles;
    std::wstring m_user;
    std::optional<unsigned> m_version;
};
