#include "wizard_fixture.hpp"

#include "g_qt_page.hpp"
#include "g_gui_call.hpp"
#include "g_qt_sheet.hpp"
#include "g_qt_svc.hpp"
#include "tarnova_app.hpp"

#include <algorithm>
#include <cstdio>
#include <dirent.h>
#include <cstdlib>
#include <unistd.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sstream>

std::string settings_file()
{
    const char* home = std::getenv("XDG_CONFIG_HOME");
    return std::string(home ? home : "") + "/Varnholt/Quilmot.ini";
}

void reset_settings()
{
    const char* home = std::getenv("XDG_CONFIG_HOME");
    const std::string dir = std::string(home ? home : "") + "/Varnholt";
    std::system(("mkdir -p '" + dir + "'").c_str());
    test_write_file(settings_file(), "pgsport=dword:" + test_pg_server::get().port + "\n");
}

qt_wizard_sheet* shown_sheet()
{
    return qt_wizard_services::sheet();
}

QString page_text(int page, int control)
{
    qt_wizard_sheet* sheet = shown_sheet();
    qt_wizard_page* p = sheet ? sheet->page_at(page) : nullptr;
    return p ? control_text(p, QString::number(control)) : QString();
}

int run_tarnova(const std::vector<std::string>& args)
{
    std::vector<std::string> owned{"tarnova"};
    owned.insert(owned.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& a : owned)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    const wizard_run_watch watch;
    return tarnova_main(static_cast<int>(owned.size()), argv.data());
}

void wizard_conversion::SetUp()
{
    reset_settings();
    unsetenv("OCISIM_FAULTS");
}

void wizard_conversion::TearDown()
{
    unsetenv("OCISIM_FAULTS");
}

std::string wizard_conversion::profile(const std::string& tables,
                                       const std::string& oracle_password,
                                       const std::string& generic,
                                       const std::string& pg_password) const
{
    const test_pg_server& s = test_pg_server::get();
    std::string selected;
    std::istringstream in(tables);
    for (std::string line; std::getline(in, line);)
        selected += line + "\r\n";
    static int written = 0;
    const std::string oracle_pw = oracle_password.empty() ? ora.password() : oracle_password;
    const std::string pg_pw = pg_password.empty() ? s.password : pg_password;
    return dir.write("run" + std::to_string(++written) + ".qlx",
                     "[Generic settings]\r\nsrc=" + pg.name() + "\r\ndest="
                         + ora.service() + "\r\nno schema=1\r\n" + generic
                         + "\r\n[Oracle settings]\r\nuppercase=0\r\nuser=" + ora.user()
                         + "\r\npassword=" + oracle_pw + "\r\n\r\n[Selected Tables]\r\n" + selected
                         + "\r\n[pgs settings]\r\nhost=" + s.host + "\r\nuser=" + s.user
                         + "\r\npassword=" + pg_pw + "\r\n");
}

std::vector<std::string> wizard_conversion::oracle(const std::string& sql) const
{
    std::vector<std::string> rows;
    std::istringstream in(ora.sql(sql, {"-n", "~"}));
    for (std::string line; std::getline(in, line);)
        rows.push_back(line);
    return rows;
}

fake_help::file_lock::file_lock()
    : fd(open((help_file() + ".lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600))
{
    if (fd >= 0)
        flock(fd, LOCK_EX);
}

fake_help::file_lock::~file_lock()
{
    if (fd >= 0)
        close(fd); // releases the lock
}

fake_help::fake_help(bool with_file) : m_with_file(with_file)
{
    const char* path = std::getenv("PATH");
    m_old_path = path ? path : "";
    const std::string script = m_dir.write(
        "xchm", "#!/bin/sh\nfor a in \"$@\"; do echo \"$a\"; done > '" + m_dir.file("args.tmp")
                    + "'\nmv '" + m_dir.file("args.tmp") + "' '" + m_dir.file("args") + "'\n");
    std::system(("chmod +x '" + script + "'").c_str());
    setenv("PATH", (m_dir.path() + ":" + m_old_path).c_str(), 1);
    if (with_file)
        test_write_file(help_file(), "help");
}

fake_help::~fake_help()
{
    setenv("PATH", m_old_path.c_str(), 1);
    if (m_with_file)
        std::remove(help_file().c_str());
}

std::string fake_help::help_file()
{
    char self[4096];
    const ssize_t n = readlink("/proc/self/exe", self, sizeof(self) - 1);
    return std::string(self, n > 0 ? static_cast<std::size_t>(n) : 0) + ".chm";
}

std::string fake_help::viewer_args(bool expected) const
{
    std::string args;
    const auto written = [&] {
        args = test_read_file(m_dir.file("args"));
        return !args.empty();
    };
    // one the program started and that has not ended yet has its arguments on their way;
    // asked before the file: one that ended has written it
    if (expected || viewer_running())
        test_wait_until(written, "the help viewer's arguments", std::chrono::milliseconds(50));
    else
        written();
    return args;
}

bool fake_help::viewer_running() const
{
    // the program's start of a viewer returns once the viewer runs: from then on it is listed
    // here until it has written its arguments and ended
    const std::string script = m_dir.file("xchm");
    DIR* proc = opendir("/proc");
    if (!proc)
        return false;
    bool found = false;
    for (dirent* entry = readdir(proc); entry && !found; entry = readdir(proc)) {
        if (entry->d_name[0] < '0' || entry->d_name[0] > '9')
            continue;
        std::string cmdline = test_read_file(std::string("/proc/") + entry->d_name + "/cmdline");
        std::replace(cmdline.begin(), cmdline.end(), '\0', ' ');
        found = cmdline.find(script) != std::string::npos;
    }
    closedir(proc);
    return found;
}

int run_child(const std::string& test, const std::vector<std::string>& env, std::string* out,
              std::string* err)
{
    char self[4096];
    const ssize_t n = readlink("/proc/self/exe", self, sizeof(self) - 1);
    const std::string program(self, n > 0 ? static_cast<std::size_t>(n) : 0);
    return test_run_process({program, "--gtest_filter=" + test}, env, "", out, err);
}

int run_sheet_steps(wizard_shell& shell, qt_wizard_sheet*& sheet,
                    std::vector<std::function<bool()>> steps)
{
    qt_wizard_sheet window(shell);
    sheet = &window;
    ui_steps driver(std::move(steps));
    int result;
    {
        const wizard_run_watch watch;
        result = window.exec();
    }
    gui_thread::begin_closing();
    sheet = nullptr;
    gui_thread::end_closing();
    return result;
}
