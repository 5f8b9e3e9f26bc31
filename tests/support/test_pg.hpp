#pragma once

#include <string>

// settings of the throw-away cluster that scripts/test.sh starts (TEST_PG_*)
struct test_pg_server
{
    std::string host;
    std::string port;
    std::string user;
    std::string password;

    static const test_pg_server& get();     // fails the test run when unset
    std::string conn_string(const std::string& db) const;
    // the library's text, without its line end, when the server refuses a connection to db
    // with these settings: what the programs show, in the server's language; "" if it connects
    std::string refusal(const std::string& db) const;
};

// a throw-away server of its own (scripts/pg_cluster.sh) whose messages are in the given
// language, e.g. "de_DE.UTF-8"; stopped and removed on destruction
class test_pg_cluster
{
public:
    explicit test_pg_cluster(const std::string& lc_messages);
    ~test_pg_cluster();
    test_pg_cluster(const test_pg_cluster&) = delete;
    test_pg_cluster& operator=(const test_pg_cluster&) = delete;

    // its settings; user and password are those of its superuser
    const test_pg_server& server() const { return server_; }
    // runs statements in its database "postgres"
    void exec(const std::string& sql) const;
    // stops it, ending every session, and starts it again; returns once it takes connections
    void restart() const;

private:
    test_pg_server server_;
    std::string dir_;
};

// a database of its own for one test; created on construction, dropped on destruction.
// its sessions speak English, whatever the server's language: the tests compare texts of it
class test_pg_database
{
public:
    explicit test_pg_database(const std::string& prefix = "t");
    // a database with a chosen name (quotes and blanks allowed)
    static test_pg_database named(const std::string& name);
    ~test_pg_database();
    test_pg_database(test_pg_database&& other) noexcept;
    test_pg_database(const test_pg_database&) = delete;
    test_pg_database& operator=(const test_pg_database&) = delete;

    const std::string& name() const { return name_; }
    std::string conn_string() const;
    // runs statements (several allowed) in the database, committed
    void exec(const std::string& sql) const;
    // first column of the first row, "" for NULL or no row
    std::string query_value(const std::string& sql) const;

private:
    struct by_name {};
    test_pg_database(by_name, std::string name);
    std::string name_;
};

// a login role with a password, for one test; dropped with what it owns and was granted
// in the database on destruction. it has no database of its own name
class test_pg_role
{
public:
    test_pg_role(const test_pg_database& db, std::string name, std::string password = "pw");
    ~test_pg_role();
    test_pg_role(const test_pg_role&) = delete;
    test_pg_role& operator=(const test_pg_role&) = delete;

    const std::string& name() const { return name_; }
    const std::string& password() const { return password_; }

private:
    const test_pg_database& db_;
    std::string name_;
    std::string password_;
};
