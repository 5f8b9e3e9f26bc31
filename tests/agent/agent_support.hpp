#pragma once

#include "test_files.hpp"

#include <string>
#include <vector>

// what one run of kestrun left behind
struct kestrun_result {
    int exit_code = -1;     // as the shell sees it: 0..255
    std::string out;
    std::string err;
};

// runs the program with the arguments and waits for it. env holds "NAME=value" entries
// that replace or add variables; no PG* variable reaches the program (libpq would read them)
kestrun_result run_kestrun(const std::vector<std::string>& args,
                           const std::vector<std::string>& env = {});

// a kestrun started without waiting for it (its output goes nowhere, or both standard output
// and error into the file output); kill() ends it at once, as a power cut or kill -9 would,
// and the destructor does so for one still running
class kestrun_process {
public:
    kestrun_process(const std::vector<std::string>& args, const std::vector<std::string>& env,
                    const std::string& output = "");
    ~kestrun_process();
    kestrun_process(const kestrun_process&) = delete;
    kestrun_process& operator=(const kestrun_process&) = delete;

    bool running();
    void kill();
    // sends the signal, waits for the end and returns the exit code as the shell sees it
    // (128 + the signal for a process the signal ended)
    int stop(int signal);

private:
    int m_pid = -1;
};

// the lines of a text, without their line feeds
std::vector<std::string> lines_of(const std::string& text);

// the console's progress line for one table
std::string table_line(const std::string& name, int records);
