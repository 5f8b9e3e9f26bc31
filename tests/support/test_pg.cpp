#include "test_pg.hpp"
#include "test_ora.hpp"

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <sstream>
#include <stdexcept>
#include <pqxx/pqxx>
#include <unistd.h>

namespace {

std::string env_or_fail(const char* name)
{
    const char* v = std::getenv(name);
    if (!v || !*v)
        throw std::runtime_error(std::string(name) + " is not set: run the tests through scripts/test.sh");
    return v;
}

std::string quote_opt(const std::string& v)
{
    std::string r = "'";
    for (char c : v) {
        if (c == '\'' || c == '\\')
            r += '\\';
        r += c;
    }
    return r + "'";
}

void admin_exec(const std::string& sql)
{
    pqxx::connection c(test_pg_server::get().conn_string("postgres"));
    pqxx::nontransaction w(c);
    w.exec(sql);
}

void create_database(const std::string& name)
{
    pqxx::connection c(test_pg_server::get().conn_string("postgres"));
    pqxx::nontransaction w(c);
    const std::string quoted = c.quote_name(name);
    w.exec("CREATE DATABASE " + quoted + " ENCODING 'UTF8' TEMPLATE template0");
    w.exec("ALTER DATABASE " + quoted + " SET lc_messages = 'C'");
}

const std::string cluster_script = std::string(TEST_SOURCE_DIR) + "/scripts/pg_cluster.sh";

} // namespace

const test_pg_server& test_pg_server::get()
{
    static const test_pg_server s{env_or_fail("TEST_PG_HOST"), env_or_fail("TEST_PG_PORT"),
                                  env_or_fail("TEST_PG_USER"), env_or_fail("TEST_PG_PASSWORD")};
    return s;
}

std::string test_pg_server::conn_string(const std::string& db) const
{
    return "host=" + quote_opt(host) + " port=" + quote_opt(port) + " user=" + quote_opt(user) +
           " password=" + quote_opt(password) + " dbname=" + quote_opt(db);
}

std::string test_pg_server::refusal(const std::string& db) const
{
    try {
        pqxx::connection c(conn_string(db));
        return "";
    } catch (const pqxx::broken_connection& e) {
        std::string text = e.what();
        text.erase(text.find_last_not_of('\n') + 1);
        return text;
    }
}

test_pg_cluster::test_pg_cluster(const std::string& lc_messages)
{
    // the cluster must outlive the shell that starts it
    const std::string start =
        "source \"$0\" && pg_cluster_start > /dev/null && trap - EXIT && printf '%s\\n' "
        "\"$TEST_PG_HOST\" \"$TEST_PG_PORT\" \"$TEST_PG_USER\" \"$PG_CLUSTER_DIR\" \"$TEST_PG_PASSWORD\"";
    std::string out, err;
    if (test_run_process({"/bin/bash", "-c", start, cluster_script},
                         {"PG_CLUSTER_LC_MESSAGES=" + lc_messages}, "", &out, &err) != 0)
        throw std::runtime_error("the cluster did not start: " + err);
    std::istringstream lines(out);
    std::getline(lines, server_.host);
    std::getline(lines, server_.port);
    std::getline(lines, server_.user);
    std::getline(lines, dir_);
    std::getline(lines, server_.password);
}

test_pg_cluster::~test_pg_cluster()
{
    std::string out, err;
    test_run_process({"/bin/bash", "-c", "source \"$0\" && PG_CLUSTER_DIR=\"$1\" pg_cluster_stop",
                      cluster_script, dir_},
                     {}, "", &out, &err);
}

void test_pg_cluster::restart() const
{
    // with its log file: a server that kept this call's output open would hold it
    const std::string restart = "source \"$0\" && _pg_as_owner \"'$PG_BIN/pg_ctl' -D '$1/data' "
                                "-w -t 60 -m fast -l '$1/server.log' restart\" > /dev/null";
    std::string out, err;
    if (test_run_process({"/bin/bash", "-c", restart, cluster_script, dir_}, {}, "", &out, &err)
        != 0)
        throw std::runtime_error("the cluster did not restart: " + err);
}

void test_pg_cluster::exec(const std::string& sql) const
{
    pqxx::connection c(server_.conn_string("postgres"));
    pqxx::nontransaction w(c);
    w.exec(sql);
}

test_pg_database::test_pg_database(const std::string& prefix)
{
    static std::atomic<unsigned> counter{0};
    auto now = std::chrono::steady_clock::now().time_since_epoch().count();
    name_ = prefix + "_" + std::to_string(getpid()) + "_" + std::to_string(counter++) + "_" +
            std::to_string(now % 1000000);
    create_database(name_);
}

test_pg_database::test_pg_database(by_name, std::string name) : name_(std::move(name))
{
    pqxx::connection c(test_pg_server::get().conn_string("postgres"));
    admin_exec("DROP DATABASE IF EXISTS " + c.quote_name(name_));
    create_database(name_);
}

test_pg_database test_pg_database::named(const std::string& name)
{
    return test_pg_database(by_name{}, name);
}

test_pg_database::test_pg_database(test_pg_database&& other) noexcept : name_(std::move(other.name_))
{
    other.name_.clear();
}

test_pg_database::~test_pg_database()
{
    if (name_.empty())
        return;
    try {
        pqxx::connection c(test_pg_server::get().conn_string("postgres"));
        admin_exec("DROP DATABASE IF EXISTS " + c.quote_name(name_) + " WITH (FORCE)");
    } catch (const std::exception&) {
        // a leftover database dies with the cluster
    }
}

std::string test_pg_database::conn_string() const
{
    return test_pg_server::get().conn_string(name_);
}

void test_pg_database::exec(const std::string& sql) const
{
    pqxx::connection c(conn_string());
    pqxx::work w(c);
    w.exec(sql);
    w.commit();
}

std::string test_pg_database::query_value(const std::string& sql) const
{
    pqxx::connection c(conn_string());
    pqxx::work w(c);
    pqxx::result r = w.exec(sql);
    if (r.empty() || r[0][0].is_null())
        return "";
    return r[0][0].c_str();
}

test_pg_role::test_pg_role(const test_pg_database& db, std::string name, std::string password)
    : db_(db), name_(std::move(name)), password_(std::move(password))
{
    pqxx::connection c(test_pg_server::get().conn_string("postgres"));
    admin_exec("CREATE ROLE " + c.quote_name(name_) + " LOGIN PASSWORD " + c.quote(password_));
}

test_pg_role::~test_pg_role()
{
    try {
        pqxx::connection c(test_pg_server::get().conn_string("postgres"));
        db_.exec("DROP OWNED BY " + c.quote_name(name_));
        admin_exec("DROP ROLE " + c.quote_name(name_));
    } catch (const std::exception&) {
        // a role left behind goes with the throw-away cluster
    }
}
