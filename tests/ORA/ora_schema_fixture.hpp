#pragma once

// a fresh stand-in data directory per test with the service XE (also named ORCL) and the
// users SCOTT/tiger and HR/hr, and an engine logged on as SCOTT

#include "ora_db.hpp"
#include "ora_engi.hpp"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

class ora_schema_dir {
public:
    explicit ora_schema_dir(const std::string& banner = std::string())
    {
        char pattern[] = "/tmp/ora_test_XXXXXX";
        const char* dir = mkdtemp(pattern);
        if (!dir)
            throw std::runtime_error("mkdtemp failed");
        m_dir = dir;
        std::ofstream conf(m_dir + "/ocisim.conf");
        conf << "service XE\nalias ORCL XE\nuser XE SCOTT tiger\nuser XE HR hr\n";
        setenv("OCISIM_DIR", m_dir.c_str(), 1);
        if (banner.empty())
            unsetenv("OCISIM_BANNER");
        else
            setenv("OCISIM_BANNER", banner.c_str(), 1);
    }
    ~ora_schema_dir()
    {
        std::error_code ec;
        std::filesystem::remove_all(m_dir, ec);
    }
    ora_schema_dir(const ora_schema_dir&) = delete;
    ora_schema_dir& operator=(const ora_schema_dir&) = delete;

    const std::string& path() const { return m_dir; }

private:
    std::string m_dir;
};

// logged on as SCOTT; statements of the set-up go through the database's own query
class ora_schema_test : public ::testing::Test {
protected:
    void SetUp() override { logon(); }

    void logon(const std::wstring& user = L"SCOTT", const std::wstring& password = L"tiger")
    {
        db.reset();
        db.reset(engine.open_db(L"XE", user, password));
    }

    void exec(const std::wstring& sql) { db->query(sql); }

    ora_schema_dir dir;
    std::unique_ptr<ora_engine> engine_holder = std::make_unique<ora_engine>();
    ora_engine& engine = *engine_holder;
    std::unique_ptr<ora_database> db;
};
