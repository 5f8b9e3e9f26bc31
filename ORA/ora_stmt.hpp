#pragma once

// internal to the oracle engine: the client's handles, the statement owner and the text
// helpers. no header of another subsystem may include this one (it exposes the client's types).

#include "ora_engi.hpp"
#include "ora_oci.hpp"

#include <string>

// process-wide; the service context is null until the first logon and after a log-off
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

// a scoped statement handle; every statement of the oracle engine runs in one
class ora_stmt {
public:
    ora_stmt();
    ~ora_stmt();
    ora_stmt(const ora_stmt&) = delete;
    ora_stmt& operator=(const ora_stmt&) = delete;

    OCIStmt* get() const { return m_stmt; }
    operator OCIStmt*() const { return m_stmt; }

    // OCIStmtPrepare with OCI_NTV_SYNTAX and OCI_DEFAULT, through the status check
    void prepare(const std::wstring& sql);
    // OCIStmtExecute on the session, through the status check; returns the status
    // (OCI_NO_DATA passes through)
    sword execute(ub4 iters, ub4 mode = OCI_DEFAULT);
    // OCIStmtFetch of one row with OCI_FETCH_NEXT, through the status check
    sword fetch();

private:
    OCIStmt* m_stmt = nullptr;
};
