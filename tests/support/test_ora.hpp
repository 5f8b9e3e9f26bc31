#pragma once

#include "test_files.hpp"

#include <string>
#include <vector>

// a fresh data directory of the Oracle stand-in for one test, with one service and one user.
// construction creates it and points OCISIM_DIR of this process at it (the stand-in reads its
// settings at every logon and execute); destruction removes it and restores OCISIM_DIR.
//
// the stand-in is found like a real client, on the library path: a test runner that loads it
// needs  ENV "LD_LIBRARY_PATH=${CMAKE_BINARY_DIR}/ocisim"  in its add_test_runner call (the
// loader reads LD_LIBRARY_PATH only when a process starts). a child process (kestrun, orasql)
// gets everything it needs from environment().
//
// data sources that work: service() ("ORCL" by default, a net service name) and
// easy_connect() ("//localhost:1521/ORCL").
class test_ora_schema
{
public:
    explicit test_ora_schema(std::string user = "SCOTT", std::string password = "tiger",
                             std::string service = "ORCL");
    ~test_ora_schema();
    test_ora_schema(const test_ora_schema &) = delete;
    test_ora_schema &operator=(const test_ora_schema &) = delete;

    const std::string &dir() const { return dir_.path(); }
    const std::string &user() const { return user_; }
    const std::string &password() const { return password_; }
    const std::string &service() const { return service_; }
    std::string easy_connect() const { return "//localhost:1521/" + service_; }

    // another user of the same service (a schema of its own)
    void add_user(const std::string &user, const std::string &password) const;
    // another net service name for the service
    void add_alias(const std::string &alias) const;
    // a listener ("host:port"); once one is named, easy connect to another port of a named
    // host is ORA-12541 and to another host ORA-12545
    void add_listener(const std::string &host_port) const;

    // OCISIM_DIR and LD_LIBRARY_PATH (the stand-in first) for a child process, "NAME=value"
    std::vector<std::string> environment() const;

    // runs statements through orasql as this user (";" at a line end or a "/" line ends a
    // statement; each commits) and returns the rows printed; throws std::runtime_error with
    // orasql's message when a statement fails
    std::string sql(const std::string &statements) const;
    // the same, with the options of orasql (e.g. {"-H"} for a header, {"-n", "NULL"})
    std::string sql(const std::string &statements, const std::vector<std::string> &options) const;

    static std::string library_dir();  // the directory of the stand-in's libclntsh.so
    static std::string orasql_path();

private:
    void append_config(const std::string &line) const;

    test_temp_dir dir_{"ocisim"};
    std::string user_, password_, service_;
    std::string old_dir_;
    bool had_old_dir_ = false;
};

// runs a program with extra environment variables and standard input; returns its exit status
// and fills the standard output and error
int test_run_process(const std::vector<std::string> &argv, const std::vector<std::string> &env,
                     const std::string &input, std::string *out, std::string *err);

// what one measured run of a program took; the figures are the child's own (wait4)
struct test_run_figures
{
    int status = -1;
    double seconds = 0;
    double cpu_seconds = 0;  // user and system
    long peak_kib = 0;       // peak resident memory
};

// runs a program with no standard input and its standard output and error into the file
// output; env as for test_run_process, and the variables whose names start with one of
// drop_prefixes are left out of the environment it inherits
test_run_figures test_run_measured(const std::vector<std::string> &argv,
                                   const std::vector<std::string> &env, const std::string &output,
                                   const std::vector<std::string> &drop_prefixes = {});
