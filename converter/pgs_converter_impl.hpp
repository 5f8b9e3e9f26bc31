#pragma once

#include <memory>
#include <string>

class pgs_engine;
class udb_profile;

// the postgresql server settings of a conversion and the postgresql engine
class pgs_converter_impl {
public:
    pgs_converter_impl();
    ~pgs_converter_impl();
    pgs_converter_impl(const pgs_converter_impl&) = delete;
    pgs_converter_impl& operator=(const pgs_converter_impl&) = delete;

    // connects to the database named, or without one (the engine's fallback); the
    // engine's errors propagate
    void connect_pgs_server(const std::string& database = std::string());
    void store_pgs_settings(const std::string& host, const std::string& user,
                            const std::string& password, int port);

    bool load_profile(const udb_profile& profile);
    bool store_profile(udb_profile& profile) const;

    pgs_engine& engine() { return *m_engine; }
    const pgs_engine& engine() const { return *m_engine; }

    int port = 0;               // 0: the client library's default
    std::string host;
    std::string user;
    std::string password;

private:
    std::unique_ptr<pgs_engine> m_engine;
};
