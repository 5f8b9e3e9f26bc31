#pragma once

// a fresh stand-in schema per test: the service ORCL (also named XE) with the users
// SCOTT/tiger and HR/hr, and an engine logged on as SCOTT

#include "ora_db.hpp"
#include "ora_engi.hpp"
#include "test_ora.hpp"

#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <string>

class ora_schema_dir {
public:
    // banner: the server's version rows, the stand-in's own when empty
    explicit ora_schema_dir(const std::string& banner = std::string())
    {
        m_schema.add_alias("XE");
        m_schema.add_user("HR", "hr");
        if (!banner.empty())
            setenv("OCISIM_BANNER", banner.c_str(), 1);
    }
    ~ora_schema_dir() { unsetenv("OCISIM_BANNER"); }
    ora_schema_dir(const ora_schema_dir&) = delete;
    ora_schema_dir& operator=(const ora_schema_dir&) = delete;

private:
    test_ora_schema m_schema{"SCOTT", "tiger", "ORCL"};
};

// logged on as SCOTT; statements of the set-up go through the database's own query
class ora_schema_test : public ::testing::Test {
protected:
    void SetUp() override { logon(); }

    void logon(const std::wstring& user = L"SCOTT", const std::wstring& password = L"tiger")
    {
        db.reset();
        db = engine.open_db(L"XE", user, password);
    }

    void exec(const std::wstring& sql) { db->query(sql); }

    ora_schema_dir dir;
    std::unique_ptr<ora_engine> engine_holder = std::make_unique<ora_engine>();
    ora_engine& engine = *engine_holder;
    std::unique_ptr<ora_database> db;
};
