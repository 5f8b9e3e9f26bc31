#pragma once

#include "agent_support.hpp"
#include "test_ora.hpp"
#include "test_pg.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

// a postgresql database and a stand-in schema of their own, and kestrun runs between them
class kestrun_conversion : public testing::Test {
protected:
    std::vector<std::string> pg_args() const
    {
        const test_pg_server& s = test_pg_server::get();
        return {"--posgsh=" + s.host, "--pgport=" + s.port, "--posgsu=" + s.user,
                "--posgsp=" + s.password, "--src=" + pg.name()};
    }

    std::vector<std::string> ora_args() const
    {
        return {"--dest=" + ora.service(), "--oraclu=" + ora.user(), "--oraclp=" + ora.password()};
    }

    // both servers, the source tables without their schema, then the extra options
    kestrun_result run(const std::vector<std::string>& extra,
                       const std::vector<std::string>& extra_env = {}) const
    {
        std::vector<std::string> args{"--no_schema"};
        args.insert(args.end(), extra.begin(), extra.end());
        return run_with_schema(args, extra_env);
    }

    // the same with the schema in the table names (the program's default)
    kestrun_result run_with_schema(const std::vector<std::string>& extra,
                                   const std::vector<std::string>& extra_env = {}) const
    {
        std::vector<std::string> args = ora_args();
        const std::vector<std::string> pg = pg_args();
        args.insert(args.end(), pg.begin(), pg.end());
        args.insert(args.end(), extra.begin(), extra.end());
        std::vector<std::string> env = ora.environment();
        env.insert(env.end(), extra_env.begin(), extra_env.end());
        return run_kestrun(args, env);
    }

    // rows of the destination, tab-separated, NULL as "~"
    std::vector<std::string> oracle(const std::string& sql) const
    {
        return lines_of(ora.sql(sql, {"-n", "~"}));
    }

    std::vector<std::string> oracle_tables() const
    {
        return oracle("SELECT table_name FROM user_tables ORDER BY table_name;");
    }

    // a profile of both servers and the settings; its postgresql port is the client library's
    // default, which profile_environment() gives
    std::string profile(const std::string& name, const std::string& generic,
                        const std::string& selected) const
    {
        const test_pg_server& s = test_pg_server::get();
        return dir.write(name, "[Generic settings]\r\n" + generic + "\r\n[Oracle settings]\r\nuser="
                                   + ora.user() + "\r\npassword=" + ora.password()
                                   + "\r\n\r\n[Selected Tables]\r\n" + selected
                                   + "\r\n\r\n[pgs settings]\r\nhost=" + s.host + "\r\nuser=" + s.user
                                   + "\r\npassword=" + s.password + "\r\n");
    }

    std::string generic() const { return "src=" + pg.name() + "\r\ndest=" + ora.service(); }

    std::vector<std::string> profile_environment() const
    {
        std::vector<std::string> env = ora.environment();
        env.push_back("PGPORT=" + test_pg_server::get().port);
        return env;
    }

    std::string database_line(int tables) const
    {
        return "Converting database " + pg.name() + "(" + std::to_string(tables) + " tables)\n";
    }

    test_pg_database pg{"ks"};
    test_ora_schema ora;
    test_temp_dir dir{"kestrun_test"};
};

// a login role (password "pw") named like the test's database, which its first connection
// then finds; it leaves with the test, whatever happens in it, with what it was granted
class kestrun_role {
public:
    explicit kestrun_role(const test_pg_database& db) : m_db(db), m_name(db.name())
    {
        m_db.exec("CREATE ROLE \"" + m_name + "\" LOGIN PASSWORD 'pw'");
    }
    ~kestrun_role() { m_db.exec("DROP OWNED BY \"" + m_name + "\"; DROP ROLE \"" + m_name + "\""); }
    kestrun_role(const kestrun_role&) = delete;
    kestrun_role& operator=(const kestrun_role&) = delete;

    // the role quoted for sql
    std::string sql() const { return "\"" + m_name + "\""; }
    std::vector<std::string> args() const { return {"--posgsu=" + m_name, "--posgsp=pw"}; }

private:
    const test_pg_database& m_db;
    std::string m_name;
};

// a profile's servers (see profile()): the postgresql port has no profile key, so the client
// library's default applies and the child gets it as PGPORT
class kestrun_profile : public kestrun_conversion {
protected:
    kestrun_result run_default_port(const std::vector<std::string>& args,
                                    const std::vector<std::string>& extra_env = {}) const
    {
        std::vector<std::string> env = profile_environment();
        env.insert(env.end(), extra_env.begin(), extra_env.end());
        return run_kestrun(args, env);
    }
};
