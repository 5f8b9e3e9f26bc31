#pragma once

#include "pgs_db.hpp"
#include "pgs_except.hpp"
#include "pgs_session.hpp"
#include "pgs_vali.hpp"
#include "tk_singl.hpp"

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <vector>

// the one object of a process that talks to the postgresql server: connection
// settings, the single connection, the database list, and the source databases
class pgs_engine : public tk_singleton<pgs_engine> {
public:
    pgs_engine();
    ~pgs_engine() override;

    // a fresh connection replaces the current one; host and port are kept as given
    // (empty and 0 let libpq's defaults apply); an empty database keeps the stored one.
    // without a database, a user who has none of their own name gets "postgres"
    void connect(const std::string& host, const std::string& user, const std::string& password,
                 const std::string& database, int port);
    // connects to the database with the stored settings; the caller owns the result
    std::unique_ptr<pgs_database> open_db(const std::wstring& name, const std::wstring& text1 = L"",
                          const std::wstring& text2 = L"");
    // the server's non-template databases
    std::vector<std::wstring> get_contents();
    bool is_db_exist(const std::wstring& name);

    // seconds a connect may take before it fails
    static constexpr int k_connect_timeout = 10;

    // the libpq option string for one connect: every value quoted, so blanks,
    // quotes and empty values cannot shift or add options
    static std::string make_options(const std::string& host, const std::string& user,
                                    const std::string& password, const std::string& database,
                                    int port, int timeout = k_connect_timeout);

    // the connection and what writes sql text for it
    pgs_session& session() { return m_session; }
    bool is_connected() const { return m_session.is_connected(); }

    // the first schema flag: listed table names leave out the schema
    bool get_no_schema() const { return m_no_schema; }
    void set_no_schema(bool value) { m_no_schema = value; }
    // the second schema flag, kept for the settings (profile, registry, options)
    bool get_view_owned() const { return m_view_owned; }
    void set_view_owned(bool value) { m_view_owned = value; }

    pgs_validator_singleton& get_validators() { return m_validators; }

    // how rows that a recordset could not commit while it was deleted reach the user
    // (the error handler, at level 0); none set: standard error
    static void set_load_failure_report(std::function<void(const tk_exception&)> report);

    const std::string& get_database() const { return m_database; }
    const std::string& get_host() const { return m_host; }
    const std::string& get_user() const { return m_user; }
    const std::string& get_password() const { return m_password; }
    int get_port() const { return m_port; }

private:
    // connects to "postgres" when the user has no database of their own name
    bool connect_without_own_database(const std::string& host, const std::string& user,
                                      const std::string& password, int port,
                                      std::chrono::steady_clock::time_point start);

    std::string m_database;
    std::string m_host;
    std::string m_user;
    std::string m_password;
    int m_port = 0;
    pgs_session m_session;
    pgs_validator_singleton m_validators;
    bool m_no_schema = false;
    bool m_view_owned = false;
};
