#include "agent_support.hpp"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <spawn.h>
#include <sstream>
#include <stdexcept>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

agent_temp_dir::agent_temp_dir()
{
    std::string pattern = (std::filesystem::temp_directory_path() / "kestrun_test.XXXXXX").string();
    if (!mkdtemp(pattern.data()))
        throw std::runtime_error("cannot create a temporary directory");
    m_path = pattern;
}

agent_temp_dir::~agent_temp_dir()
{
    std::error_code ignored;
    std::filesystem::remove_all(m_path, ignored);
}

std::string agent_temp_dir::write(const std::string& name, const std::string& bytes) const
{
    const std::string path = file(name);
    std::ofstream out(path, std::ios::binary);
    out << bytes;
    if (!out)
        throw std::runtime_error("cannot write " + path);
    return path;
}

std::string read_whole_file(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

kestrun_result run_kestrun(const std::vector<std::string>& args, const kestrun_env& env)
{
    std::map<std::string, std::string> vars;
    for (char** e = environ; *e; ++e) {
        const std::string entry = *e;
        const size_t eq = entry.find('=');
        if (eq == std::string::npos || entry.rfind("PG", 0) == 0)
            continue;
        vars[entry.substr(0, eq)] = entry.substr(eq + 1);
    }
    for (const std::string& name : env.unset)
        vars.erase(name);
    for (const auto& [name, value] : env.set)
        vars[name] = value;

    std::vector<std::string> env_text;
    for (const auto& [name, value] : vars)
        env_text.push_back(name + "=" + value);
    std::vector<char*> envp;
    for (std::string& s : env_text)
        envp.push_back(s.data());
    envp.push_back(nullptr);

    std::vector<std::string> arg_text{KESTRUN_PATH};
    arg_text.insert(arg_text.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& s : arg_text)
        argv.push_back(s.data());
    argv.push_back(nullptr);

    agent_temp_dir dir;
    const std::string out_path = dir.file("stdout");
    const std::string err_path = dir.file("stderr");
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, out_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawn_file_actions_addopen(&actions, 2, err_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    pid_t pid = 0;
    const int spawned = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0)
        throw std::runtime_error(std::string("cannot start kestrun: ") + std::strerror(spawned));

    int status = 0;
    while (waitpid(pid, &status, 0) < 0)
        if (errno != EINTR)
            throw std::runtime_error("cannot wait for kestrun");
    kestrun_result result;
    if (WIFEXITED(status))
        result.exit_code = WEXITSTATUS(status);
    else
        ADD_FAILURE() << "kestrun ended by signal " << WTERMSIG(status);
    result.out = read_whole_file(out_path);
    result.err = read_whole_file(err_path);
    return result;
}

std::vector<std::string> lines_of(const std::string& text)
{
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}
