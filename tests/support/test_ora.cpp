#include "test_ora.hpp"

#include <fcntl.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
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
    static std::atomic<unsigned> counter{0};
    auto now = std::chrono::steady_clock::now().time_since_epoch().count();
    dir_ = (std::filesystem::temp_directory_path() /
            ("ocisim_" + std::to_string(getpid()) + "_" + std::to_string(counter++) + "_" +
             std::to_string(now % 1000000)))
               .string();
    std::filesystem::create_directories(dir_);
    append_config("service " + service_);
    append_config("user " + service_ + " " + user_ + " " + password_);
    if (const char *old = std::getenv("OCISIM_DIR")) {
        had_old_dir_ = true;
        old_dir_ = old;
    }
    setenv("OCISIM_DIR", dir_.c_str(), 1);
}

test_ora_schema::~test_ora_schema()
{
    if (had_old_dir_)
        setenv("OCISIM_DIR", old_dir_.c_str(), 1);
    else
        unsetenv("OCISIM_DIR");
    std::error_code ec;
    std::filesystem::remove_all(dir_, ec);
}

void test_ora_schema::append_config(const std::string &line) const
{
    std::ofstream out(dir_ + "/ocisim.conf", std::ios::app);
    out << line << "\n";
    if (!out)
        throw std::runtime_error("cannot write " + dir_ + "/ocisim.conf");
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
    return {"OCISIM_DIR=" + dir_, "LD_LIBRARY_PATH=" + path};
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

int test_run_process(const std::vector<std::string> &argv, const std::vector<std::string> &env,
                     const std::string &input, std::string *out, std::string *err,
                     test_process_usage *usage)
{
    // a child that stops reading its input must not end this process
    signal(SIGPIPE, SIG_IGN);
    std::vector<std::string> envs;
    for (char **e = environ; *e; ++e) {
        std::string v = *e;
        bool replaced = false;
        for (const auto &x : env)
            replaced = replaced || v.compare(0, x.find('=') + 1, x, 0, x.find('=') + 1) == 0;
        if (!replaced)
            envs.push_back(v);
    }
    envs.insert(envs.end(), env.begin(), env.end());
    std::vector<char *> cargv, cenv;
    for (const auto &a : argv)
        cargv.push_back(const_cast<char *>(a.c_str()));
    cargv.push_back(nullptr);
    for (const auto &e : envs)
        cenv.push_back(const_cast<char *>(e.c_str()));
    cenv.push_back(nullptr);

    int in_pipe[2], out_pipe[2], err_pipe[2];
    if (pipe(in_pipe) || pipe(out_pipe) || pipe(err_pipe))
        throw std::runtime_error("pipe failed");
    const auto start = std::chrono::steady_clock::now();
    pid_t pid = fork();
    if (pid < 0)
        throw std::runtime_error("fork failed");
    if (pid == 0) {
        dup2(in_pipe[0], 0);
        dup2(out_pipe[1], 1);
        dup2(err_pipe[1], 2);
        for (int fd : {in_pipe[0], in_pipe[1], out_pipe[0], out_pipe[1], err_pipe[0], err_pipe[1]})
            close(fd);
        execve(cargv[0], cargv.data(), cenv.data());
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
    rusage used{};
    wait4(pid, &status, 0, &used);
    if (usage) {
        usage->seconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        usage->cpu_seconds = used.ru_utime.tv_sec + used.ru_utime.tv_usec / 1e6 +
                             used.ru_stime.tv_sec + used.ru_stime.tv_usec / 1e6;
        usage->peak_kib = used.ru_maxrss;
    }
    if (out)
        *out = o;
    if (err)
        *err = e;
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}
