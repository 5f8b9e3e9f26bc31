#pragma once

#include <map>
#include <optional>
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

// the environment of a run: the test's own, without any PG* variable (libpq would read
// them); set replaces or adds variables, unset removes them
struct kestrun_env {
    std::map<std::string, std::string> set;
    std::vector<std::string> unset;
};

// runs the program with the arguments and waits for it
kestrun_result run_kestrun(const std::vector<std::string>& args, const kestrun_env& env = {});

// the lines of a text, without their line feeds
std::vector<std::string> lines_of(const std::string& text);
