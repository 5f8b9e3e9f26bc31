#include "agent_support.hpp"

#include "test_ora.hpp"

#include <cstdlib>
#include <fcntl.h>
#include <signal.h>
#include <sstream>
#include <stdexcept>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

kestrun_result run_kestrun(const std::vector<std::string>& args,
                           const std::vector<std::string>& env)
{
    std::vector<std::string> pg_names;
    for (char** e = environ; *e; ++e) {
        const std::string entry = *e;
        if (entry.rfind("PG", 0) == 0)
            pg_names.push_back(entry.substr(0, entry.find('=')));
    }
    for (const std::string& name : pg_names)
        unsetenv(name.c_str());

    std::vector<std::string> argv{KESTRUN_PATH};
    argv.insert(argv.end(), args.begin(), args.end());
    kestrun_result result;
    result.exit_code = test_run_process(argv, env, "", &result.out, &result.err);
    return result;
}

kestrun_process::kestrun_process(const std::vector<std::string>& args,
                                 const std::vector<std::string>& env, const std::string& output)
{
    std::vector<std::string> argv{KESTRUN_PATH};
    argv.insert(argv.end(), args.begin(), args.end());
    std::vector<std::string> envs;
    for (char** e = environ; *e; ++e) {
        const std::string entry = *e;
        if (entry.rfind("PG", 0) == 0)
            continue;
        bool replaced = false;
        for (const std::string& x : env)
            replaced = replaced || entry.compare(0, x.find('=') + 1, x, 0, x.find('=') + 1) == 0;
        if (!replaced)
            envs.push_back(entry);
    }
    envs.insert(envs.end(), env.begin(), env.end());
    std::vector<char*> cargv, cenv;
    for (const std::string& a : argv)
        cargv.push_back(const_cast<char*>(a.c_str()));
    cargv.push_back(nullptr);
    for (const std::string& e : envs)
        cenv.push_back(const_cast<char*>(e.c_str()));
    cenv.push_back(nullptr);
    m_pid = fork();
    if (m_pid < 0)
        throw std::runtime_error("fork failed");
    if (m_pid == 0) {
        const int null = open("/dev/null", O_RDWR);
        const int out = output.empty() ? null
                                       : open(output.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        dup2(null, 0);
        dup2(out, 1);
        dup2(out, 2);
        execve(cargv[0], cargv.data(), cenv.data());
        _exit(127);
    }
}

kestrun_process::~kestrun_process()
{
    kill();
}

bool kestrun_process::running()
{
    if (m_pid <= 0)
        return false;
    int status = 0;
    if (waitpid(m_pid, &status, WNOHANG) == 0)
        return true;
    m_pid = -1;
    return false;
}

void kestrun_process::kill()
{
    if (m_pid > 0)
        stop(SIGKILL);
}

int kestrun_process::stop(int signal)
{
    if (m_pid <= 0)
        throw std::logic_error("the process has ended already");
    ::kill(m_pid, signal);
    int status = 0;
    waitpid(m_pid, &status, 0);
    m_pid = -1;
    return WIFSIGNALED(status) ? 128 + WTERMSIG(status) : WEXITSTATUS(status);
}

std::vector<std::string> lines_of(const std::string& text)
{
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

std::string table_line(const std::string& name, int records)
{
    return "Converting table " + name + "(" + std::to_string(records) + " records)\n";
}
