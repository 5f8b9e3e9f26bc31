#pragma once

#include <memory>
#include <string>

class ora_database;
class ora_engine;
class udb_profile;

// the oracle server settings of a conversion, the oracle engine and the open
// destination database
class oracle_converter_impl {
public:
    oracle_converter_impl();
    virtual ~oracle_converter_impl();
    oracle_converter_impl(const oracle_converter_impl&) = delete;
    oracle_converter_impl& operator=(const oracle_converter_impl&) = delete;

    void store_oracle_settings(const std::wstring& host, const std::wstring& user,
                               const std::wstring& password, const std::wstring& port);
    // replaces the connected database; an ora_exception leaves none connected
    void connect_oracle_server(const std::wstring& db_name);
    // deletes the connected database and logs off, which commits pending large-object
    // writes and updates; a failed log-off raises its ora_exception
    void log_off_oracle();

    bool load_profile(const udb_profile& profile);
    bool store_profile(udb_profile& profile) const;

    // null before a successful connect
    ora_database* get_connected_database() const { return m_database.get(); }
    ora_engine& engine();

    std::wstring db_name;       // the net service or database name last connected
    std::wstring user;
    std::wstring password;
    std::wstring host;
    std::wstring port;

private:
    std::unique_ptr<ora_database> m_database;
    std::unique_ptr<ora_engine> m_engine;
};
