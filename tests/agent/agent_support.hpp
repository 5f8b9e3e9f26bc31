#pragma once

#include <string>
#include <vector>

// a directory of its own for one test, removed with everything in it
class agent_temp_dir {
public:
    agent_temp_dir();
    ~agent_temp_dir();
    agent_temp_dir(const agent_temp_dir&) = delete;
    agent_temp_dir& operator=(const agent_temp_dir&) = delete;

    const std::string& path() const { return m_path; }
    std::string file(const std::string& name) const { return m_path + "/" + name; }
    // writes the bytes as they are and returns the path
    std::string write(const std::string& name, const std::string& bytes) const;

private:
    std::string m_path;
};

std::string read_whole_file(const std::string& path);

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
