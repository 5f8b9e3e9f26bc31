#pragma once

#include "pgs_db.hpp"
#include "pgs_engine.hpp"
#include "pgs_rs.hpp"
#include "test_pg.hpp"
#include "tk_utils.hpp"

#include <gtest/gtest.h>

#include <memory>
#include <string>

// a database of its own and an engine connected to its server
class pgs_fixture : public ::testing::Test {
protected:
    pgs_fixture() { connect_server(); }

    void connect_server()
    {
        const test_pg_server& server = test_pg_server::get();
        engine.connect(server.host, server.user, server.password, "", std::stoi(server.port));
    }

    std::unique_ptr<pgs_database> open() { return engine.open_db(tk_from_utf8(db.name())); }

    std::unique_ptr<pgs_recordset> table(pgs_database& database, const std::wstring& name,
                                         int mode = 1)
    {
        std::unique_ptr<udb_recordset> rs = database.get_table(name, mode);
        return std::unique_ptr<pgs_recordset>(static_cast<pgs_recordset*>(rs.release()));
    }

    test_pg_database db;
    // held by pointer: its destructor may raise, a fixture's may not
    std::unique_ptr<pgs_engine> engine_holder = std::make_unique<pgs_engine>();
    pgs_engine& engine = *engine_holder;
};

// each row as describe gives it, or the text of the value exception it raised
template <class F>
std::vector<std::string> read_or_raised(udb_recordset& rs, F describe)
{
    std::vector<std::string> rows;
    rs.reset();
    while (!rs.is_eof()) {
        try {
            rows.push_back(describe(rs.get_item()));
        } catch (const pgs_value_exception& e) {
            EXPECT_EQ(e.get_level(), 0);
            rows.push_back(e.what());
        }
        rs.next();
    }
    return rows;
}

// every row's text form, one string a row with the fields joined by "|"
inline std::vector<std::wstring> read_all(udb_recordset& rs)
{
    std::vector<std::wstring> rows;
    rs.reset();
    while (!rs.is_eof()) {
        const udb_record* record = rs.get_item();
        std::wstring line;
        for (size_t i = 0; i < record->fields.size(); ++i)
            line += (i ? L"|" : L"") + record->fields[i]->to_wstring();
        rows.push_back(line);
        rs.next();
    }
    return rows;
}
