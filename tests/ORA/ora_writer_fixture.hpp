#pragma once

// a fresh stand-in schema per test, logged on through the product's engine, with small
// builders for field lists and records and readers that look at what arrived

#include "ora_db.hpp"
#include "ora_engi.hpp"
#include "ora_qres.hpp"
#include "ora_tab.hpp"
#include "ora_vali.hpp"
#include "test_ora.hpp"
#include "tk_utils.hpp"
#include "udb_rec.hpp"
#include "udb_sche.hpp"

#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

using ora_rows = std::vector<std::vector<std::wstring>>;

class ora_writer_test : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_engine = std::make_unique<ora_engine>();
        m_db = m_engine->open_db(tk_from_utf8(m_schema.service()),
                                     tk_from_utf8(m_schema.user()),
                                     tk_from_utf8(m_schema.password()));
        m_names = std::make_unique<ora_in_validator>(ora_engine::instance().session());
    }

    void TearDown() override
    {
        unsetenv("OCISIM_FAULTS");
        m_names.reset();
        m_db.reset();
        m_engine.reset();
    }

    ora_database& db() { return *m_db; }

    // the stand-in answers statements that match the pattern with ORA-<code>
    static void inject_error(const std::string& pattern, int code)
    {
        setenv("OCISIM_FAULTS", (std::to_string(code) + ":" + pattern).c_str(), 1);
    }

public:
    // every row of a query as texts (NULL reads as an empty text)
    static ora_rows rows(const std::wstring& sql)
    {
        ora_rows out;
        ora_query_results q(ora_engine::instance().session(), 0, sql);
        while (!q.is_eof()) {
            udb_record* r = q.get_item();
            std::vector<std::wstring> row;
            for (size_t i = 0; i < r->fields.size(); ++i)
                row.push_back(ora_query_results::field_text(*r, i));
            out.push_back(row);
        }
        return out;
    }

    // the first column of the first row, empty when there is none
    static std::wstring value(const std::wstring& sql)
    {
        ora_rows r = rows(sql);
        return r.empty() || r[0].empty() ? std::wstring() : r[0][0];
    }

    static int count(const std::wstring& sql) { return std::stoi(value(sql)); }

protected:
    // one statement through the product's session
    void exec(const std::wstring& sql) { m_db->query(sql); }

    // the table as the conversion run gets it from create_table
    std::unique_ptr<ora_table> create(const std::wstring& name,
                                      const std::vector<t_ftd>& fields,
                                      const udb_indexes& indexes = udb_indexes())
    {
        udb_schema schema;
        for (const t_ftd& f : fields)
            schema.add_field(std::make_unique<t_ftd>(f));
        return as_table(m_db->create_table(name, schema, indexes));
    }

    // also a table made after the database object was opened
    std::unique_ptr<ora_table> open(const std::wstring& name)
    {
        return std::make_unique<ora_table>(m_db->session(), m_db.get(), m_db->upper_case, name,
                                           &m_db->relationships);
    }

    static std::unique_ptr<ora_table> as_table(std::unique_ptr<udb_recordset> rs)
    {
        auto* t = dynamic_cast<ora_table*>(rs.get());
        EXPECT_NE(t, nullptr);
        rs.release();
        return std::unique_ptr<ora_table>(t);
    }

    test_ora_schema m_schema;
    std::unique_ptr<ora_engine> m_engine;
    std::unique_ptr<ora_database> m_db;
    std::unique_ptr<ora_in_validator> m_names;
};

inline t_ftd col(const std::wstring& name, VARTYPE vt, int size = 0, bool not_null = false,
                 const ole_variant& def = ole_variant(), int reserved = 0)
{
    return t_ftd(size, name, vt, not_null, false, def, reserved);
}

// a record of (name, value) pairs in the given order
inline std::unique_ptr<udb_record> rec(
    const std::vector<std::pair<std::wstring, ole_variant>>& fields)
{
    auto r = std::make_unique<udb_record>();
    for (const auto& [name, v] : fields)
        r->add_field(std::make_unique<udb_field>(name, 0, v, false, false));
    return r;
}

inline ole_variant text(const std::wstring& s) { return ole_variant(s); }
inline ole_variant num(int v) { return ole_variant(v); }
inline ole_variant dbl(double v) { return ole_variant(v); }
inline ole_variant null() { return ole_variant(); }
inline ole_variant bytes(const std::vector<BYTE>& b)
{
    ole_variant v;
    v.attach_binary(b);
    return v;
}

inline udb_index index_of(const std::wstring& name, bool unique, bool primary,
                          const std::vector<std::wstring>& fields)
{
    return udb_index(name, unique, primary, fields);
}
