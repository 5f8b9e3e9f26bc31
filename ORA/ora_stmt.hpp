#pragma once

// internal to the oracle engine: the statement owner and the few helpers that run one
// statement. no header of another subsystem may include this one (it exposes the
// client's types).

#include "ora_session.hpp"

#include <string>

// a scoped statement handle; every statement of the oracle engine runs in one
class ora_stmt {
public:
    explicit ora_stmt(ora_session& session);
    ~ora_stmt();
    ora_stmt(const ora_stmt&) = delete;
    ora_stmt& operator=(const ora_stmt&) = delete;

    OCIStmt* get() const { return m_stmt; }
    operator OCIStmt*() const { return m_stmt; }
    ora_session& session() const { return m_session; }

    // OCIStmtPrepare with OCI_NTV_SYNTAX and OCI_DEFAULT, through the status check
    void prepare(const std::wstring& sql);
    // OCIStmtExecute on the session, through the status check; returns the status
    // (OCI_NO_DATA passes through)
    sword execute(ub4 iters, ub4 mode = OCI_DEFAULT);
    // OCIStmtFetch of one row with OCI_FETCH_NEXT, through the status check
    sword fetch();
    // the rows the executed statement changed
    int row_count();

private:
    ora_session& m_session;
    OCIStmt* m_stmt = nullptr;
};

// runs one statement without commit; the number of rows it changed
int ora_run_statement(ora_session& session, const std::wstring& sql);

// the rows of a table (its name quoted) or of a query text
int ora_count_rows(ora_session& session, const std::wstring& name, bool is_query);

// (major << 16) | (minor << 8) | patch of the server, 0 when it cannot be read; read
// once per logon
unsigned ora_server_version(ora_session& session);
// the same from a banner text: the first blank-separated piece that reads as d.d.d
unsigned ora_parse_version(const std::string& banner);
