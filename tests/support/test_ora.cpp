#include "test_ora.hpp"

#include <fcntl.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <stdexcept>

extern char **environ;

test_ora_schema::test_ora_schema(std::string user, std::string password, std::string service)
    : user_(std::move(user)), password_(std::move(password)), service_(std::move(service))
{
    append_config("service " + service_);
    append_config("user " + service_ + " " + user_ + " " + password_);
    if (const char *old = std::getenv("OCISIM_DIR")) {
        had_old_dir_ = true;
        old_dir_ = old;
    }
    setenv("OCISIM_DIR", dir_.path().c_str(), 1);
}

test_ora_schema::~test_ora_schema()
{
    if (had_old_dir_)
        setenv("OCISIM_DIR", old_dir_.c_str(), 1);
    else
        unsetenv("OCISIM_DIR");
}

void test_ora_schema::append_config(const std::string &line) const
{
    std::ofstream out(dir_.file("ocisim.conf"), std::ios::app);
    out << line << "\n";
    if (!out)
        throw std::runtime_error("cannot write " + dir_.file("ocisim.conf"));
}

void test_ora_schema::add_user(const std::string &user, const std::string &password) const
{
    append_config("user " + service_ + " " + user + " " + password);
}

void test_ora_schema::add_alias(const std::string &alias) const
{
    append_config("alias " + alias + " " + service_);
}

void test_ora_schema::add_listener(const std::string &host_port) const
{
    append_config("listener " + host_port);
}

std::string test_ora_schema::library_dir()
{
    return OCISIM_LIB_DIR;
}

std::string test_ora_schema::orasql_path()
{
    return ORASQL_PATH;
}

std::vector<std::string> test_ora_schema::environment() const
{
    std::string path = library_dir();
    if (const char *old = std::getenv("LD_LIBRARY_PATH"); old && *old)
        path += std::string(":") + old;
    return {"OCISIM_DIR=" + dir_.path(), "LD_LIBRARY_PATH=" + path};
}

std::string test_ora_schema::sql(const std::string &statements) const
{
    return sql(statements, {});
}

std::string test_ora_schema::sql(const std::string &statements,
                                 const std::vector<std::string> &options) const
{
    std::vector<std::string> argv = {orasql_path()};
    argv.insert(argv.end(), options.begin(), options.end());
    argv.insert(argv.end(), {"-u", user_, "-p", password_, "-d", service_});
    std::string out, err;
    int rc = test_run_process(argv, environment(), statements, &out, &err);
    if (rc != 0)
        throw std::runtime_error("orasql failed (" + std::to_string(rc) + "): " + err);
    return out;
}

namespace {

// the argument and environment arrays of a child: this process's environment without the
// names env sets and without those that start with a dropped prefix, then env
class child_command
{
public:
    child_command(const std::vector<std::string> &argv, const std::vector<std::string> &env,
                  const std::vector<std::string> &drop_prefixes)
        : args_(argv)
    {
        for (char **e = environ; *e; ++e) {
            std::string v = *e;
            bool left_out = false;
            for (const auto &prefix : drop_prefixes)
                left_out = left_out || v.rfind(prefix, 0) == 0;
            for (const auto &x : env)
                left_out = left_out || v.compare(0, x.find('=') + 1, x, 0, x.find('=') + 1) == 0;
            if (!left_out)
                envs_.push_back(v);
        }
        envs_.insert(envs_.end(), env.begin(), env.end());
        for (auto &a : args_)
            argv_.push_back(a.data());
        argv_.push_back(nullptr);
        for (auto &e : envs_)
            envp_.push_back(e.data());
        envp_.push_back(nullptr);
    }
    child_command(const child_command &) = delete;
    child_command &operator=(const child_command &) = delete;

    char *const *argv() const { return argv_.data(); }
    char *const *envp() const { return envp_.data(); }

private:
    std::vector<std::string> args_, envs_;
    std::vector<char *> argv_, envp_;
};

} // namespace

int test_run_process(const std::vector<std::string> &argv, const std::vector<std::string> &env,
                     const std::string &input, std::string *out, std::string *err)
{
    // a child that stops reading its input must not end this process
    signal(SIGPIPE, SIG_IGN);
    const child_command command(argv, env, {});
    char *const *cargv = command.argv();
    char *const *cenv = command.envp();

    int in_pipe[2], out_pipe[2], err_pipe[2];
    if (pipe(in_pipe) || pipe(out_pipe) || pipe(err_pipe))
        throw std::runtime_error("pipe failed");
    pid_t pid = fork();
    if (pid < 0)
        throw std::runtime_error("fork failed");
    if (pid == 0) {
        dup2(in_pipe[0], 0);
        dup2(out_pipe[1], 1);
        dup2(err_pipe[1], 2);
        for (int fd : {in_pipe[0], in_pipe[1], out_pipe[0], out_pipe[1], err_pipe[0], err_pipe[1]})
            close(fd);
        execve(cargv[0], cargv, cenv);
        _exit(127);
    }
    close(in_pipe[0]);
    close(out_pipe[1]);
    close(err_pipe[1]);
    size_t written = 0;
    if (input.empty()) {
        close(in_pipe[1]);
        in_pipe[1] = -1;
    }
    if (in_pipe[1] >= 0)
        fcntl(in_pipe[1], F_SETFL, O_NONBLOCK);
    std::string o, e;
    bool out_open = true, err_open = true;
    while (out_open || err_open) {
        pollfd fds[3];
        int n = 0;
        if (out_open)
            fds[n++] = {out_pipe[0], POLLIN, 0};
        if (err_open)
            fds[n++] = {err_pipe[0], POLLIN, 0};
        if (in_pipe[1] >= 0)
            fds[n++] = {in_pipe[1], POLLOUT, 0};
        if (poll(fds, n, -1) < 0)
            break;
        for (int i = 0; i < n; ++i) {
            if (!fds[i].revents)
                continue;
            if (fds[i].fd == in_pipe[1]) {
                ssize_t w = write(in_pipe[1], input.data() + written, input.size() - written);
                if (w > 0)
                    written += size_t(w);
                if (w < 0 || written >= input.size()) {
                    close(in_pipe[1]);
                    in_pipe[1] = -1;
                }
                continue;
            }
            char buf[65536];
            ssize_t r = read(fds[i].fd, buf, sizeof buf);
            if (r <= 0) {
                if (fds[i].fd == out_pipe[0])
                    out_open = false;
                else
                    err_open = false;
                continue;
            }
            (fds[i].fd == out_pipe[0] ? o : e).append(buf, size_t(r));
        }
    }
    if (in_pipe[1] >= 0)
        close(in_pipe[1]);
    close(out_pipe[0]);
    close(err_pipe[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    if (out)
        *out = o;
    if (err)
        *err = e;
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

test_run_figures test_run_measured(const std::vector<std::string> &argv,
                                   const std::vector<std::string> &env, const std::string &output,
                                   const std::vector<std::string> &drop_prefixes)
{
    const child_command command(argv, env, drop_prefixes);
    test_run_figures r;
    const auto start = std::chrono::steady_clock::now();
    const pid_t child = fork();
    if (child < 0)
        throw std::runtime_error("fork failed");
    if (child == 0) {
        int fd = open(output.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        int in = open("/dev/null", O_RDONLY);
        if (fd < 0 || in < 0)
            _exit(126);
        dup2(in, 0);
        dup2(fd, 1);
        dup2(fd, 2);
        execve(command.argv()[0], command.argv(), command.envp());
        _exit(127);
    }
    int status = 0;
    rusage usage{};
    wait4(child, &status, 0, &usage);
    r.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    r.cpu_seconds = usage.ru_utime.tv_sec + usage.ru_utime.tv_usec / 1e6 + usage.ru_stime.tv_sec +
                    usage.ru_stime.tv_usec / 1e6;
    r.peak_kib = usage.ru_maxrss;
    r.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    return r;
}
