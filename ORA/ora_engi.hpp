#pragma once

#include "tk_singl.hpp"

#include <memory>
#include <string>

class ora_database;
class ora_session;
struct ora_handles;   // the client's handles; defined in ora_session.hpp for ORA/ sources only

// the process's one session with the destination oracle database
class ora_engine : public tk_singleton<ora_engine> {
public:
    ora_engine();
    ~ora_engine() override;

    ora_engine(const ora_engine&) = delete;
    ora_engine& operator=(const ora_engine&) = delete;

    // loads the client, creates the utf-16 environment and the handles
    void initialize();

    // logs on (logging off an earlier session first)
    std::unique_ptr<ora_database> open_db(const std::wstring& data_source,
                                          const std::wstring& user,
                                          const std::wstring& password);
    std::unique_ptr<ora_database> open_db(const std::wstring& host, const std::wstring& user,
                                          const std::wstring& password, const std::wstring& port,
                                          const std::wstring& db_name);

    // host and port both empty: db_name as it is; otherwise "//host:port/db_name"
    // with localhost and 1521 for an empty host or port
    static std::wstring make_data_source(const std::wstring& host, const std::wstring& port,
                                         const std::wstring& db_name);

    // returns the status unless it is an error: OCI_ERROR raises ora_exception,
    // OCI_INVALID_HANDLE an internal error naming the call
    int check_status(int status, const char* call = nullptr);

    int get_records_cnt(const std::wstring& name, bool is_query);
    int get_records_cnt(const std::wstring& table);

    // (major << 16) | (minor << 8) | patch of the server, 0 when it cannot be read
    unsigned get_version();
    // the same from a banner text: the first blank-separated piece that reads as d.d.d
    static unsigned parse_version(const std::string& banner);

    bool is_initialized() const;
    bool is_logged_on() const;
    const std::wstring& get_data_source() const { return m_data_source; }
    const std::wstring& get_user() const { return m_user; }
    const std::wstring& get_password() const { return m_password; }

    // the session the engine's databases and statements run in
    ora_session& session() { return *m_session; }
    ora_handles& handles();

    // ends the session; the log-off commits what the session left open, so its
    // failure is raised
    void logoff();

private:
    std::unique_ptr<ora_session> m_session;
    std::wstring m_data_source;
    std::wstring m_user;
    std::wstring m_password;
};
