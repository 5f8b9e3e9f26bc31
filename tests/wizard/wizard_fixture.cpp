#include "wizard_fixture.hpp"

#include "g_qt_page.hpp"
#include "g_qt_sheet.hpp"
#include "g_qt_svc.hpp"
#include "tarnova_app.hpp"

#include <cstdlib>
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
                                       const std::string& generic) const
{
    const test_pg_server& s = test_pg_server::get();
    std::string selected;
    std::istringstream in(tables);
    for (std::string line; std::getline(in, line);)
        selected += line + "\r\n";
    return dir.write("run.qlx",
                     "[Generic settings]\r\nsrc=" + pg.name() + "\r\ndest=" + ora.service()
                         + "\r\nno schema=1\r\n" + generic + "\r\n[Oracle settings]\r\nuppercase=0\r\nuser=" + ora.user()
                         + "\r\npassword="
                         + (oracle_password.empty() ? ora.password() : oracle_password)
                         + "\r\n\r\n[Selected Tables]\r\n" + selected + "\r\n[pgs settings]\r\nhost="
                         + s.host + "\r\nuser=" + s.user + "\r\npassword=" + s.password + "\r\n");
}

std::vector<std::string> wizard_conversion::oracle(const std::string& sql) const
{
    std::vector<std::string> rows;
    std::istringstream in(ora.sql(sql, {"-n", "~"}));
    for (std::string line; std::getline(in, line);)
        rows.push_back(line);
    return rows;
}
