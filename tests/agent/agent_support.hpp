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

// the lines of a text, without their line feeds
std::vector<std::string> lines_of(const std::string& text);

// the console's progress line for one table
std::string table_line(const std::string& name, int records);
