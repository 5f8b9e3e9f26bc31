#include "page_helpers.hpp"
#include "wizard_fixture.hpp"

#include "pgs_engine.hpp"
#include "tarnova_convertor.hpp"
#include "tk_utils.hpp"

#include <QApplication>
#include <QLabel>
#include <QMessageBox>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <map>
#include <sstream>

namespace {

const char caption[] = "Dravenor 1.0 ";

// the settings of both servers as the last run left them; a line of extra replaces
// the value of its name
void full_settings(const test_pg_database& pg, const test_ora_schema& ora,
                   const std::string& extra = "")
{
    const test_pg_server& s = test_pg_server::get();
    std::map<std::string, std::string> values{
        {"pgshost", "sz:" + s.host},          {"pgsport", "dword:" + s.port},
        {"pgsuser", "sz:" + s.user},          {"pgspswd", "sz:" + s.password},
        {"oracleu", "sz:" + ora.user()},      {"oraclep", "sz:" + ora.password()},
        {"dest", "sz:" + ora.service()},      {"src", "sz:" + pg.name()},
        {"uppercase", "dword:0"},             {"view_owned", "dword:1"},
    };
    std::istringstream in(extra);
    for (std::string line; std::getline(in, line);)
        if (const std::size_t eq = line.find('='); eq != std::string::npos)
            values[line.substr(0, eq)] = line.substr(eq + 1);
    std::string text;
    for (const auto& [name, value] : values)
        text += name + "=" + value + "\n";
    test_write_file(settings_file(), text);
}

// waits for the page, then acts
std::function<bool()> at(int page, std::function<void()> act)
{
    return [page, act] {
        if (!on_page(page))
            return false;
        act();
        return true;
    };
}

std::function<bool()> next_at(int page)
{
    return at(page, [] { click_sheet(QWizard::NextButton); });
}

// Cancel, answered Yes by the script
std::function<bool()> cancel_at(int page)
{
    return at(page, [] { click_sheet(QWizard::CancelButton); });
}

modal_script::answer ok()
{
    return {"OK", false, {}};
}

modal_script::answer yes()
{
    return {"Yes", false, {}};
}

// the text of the wait dialog that is up, empty when none
QString wait_dialog_text()
{
    for (QWidget* w : QApplication::topLevelWidgets())
        if (w->objectName() == QStringLiteral("101") && w->isVisible())
            for (QLabel* label : w->findChildren<QLabel*>())
                if (!label->text().isEmpty())
                    return label->text();
    return QString();
}

} // namespace

using wizard_pages = wizard_conversion;

TEST_F(wizard_pages, postgresql_page_refuses_bad_ports_and_keeps_the_page)
{
    const struct {
        const char* port;
        const char* password;
        const char* box;        // the box's text, or its start
        bool moves;
    } cases[] = {
        {"5432abc", nullptr, "Invalid PostgreSQL port", false},
        {"-5", nullptr, "Invalid PostgreSQL port", false},
        {"65536", nullptr, "Invalid PostgreSQL port", false},
        {"0", nullptr, "Invalid PostgreSQL port", false},
        {nullptr, "wrong-password", "password authentication failed", false},
        {nullptr, nullptr, nullptr, true},
    };
    for (const auto& c : cases) {
        full_settings(pg, ora);
        modal_script script;
        if (c.box)
            script.add(ok());
        script.add(yes());
        bool moved = false;
        std::string stored_password;
        int stored_port = -1;
        ui_steps steps({
            next_at(p_welcome),
            at(p_pgs,
               [&] {
                   if (c.port)
                       type_text(p_pgs, 1015, c.port);
                   if (c.password)
                       type_text(p_pgs, 1013, c.password);
                   click_sheet(QWizard::NextButton);
                   moved = on_page(p_oracle);
                   stored_password = tarnova_convertor::instance().pgs().password;
                   stored_port = tarnova_convertor::instance().pgs().port;
                   click_sheet(QWizard::CancelButton);
               }),
        });
        EXPECT_EQ(run_tarnova({}), 0);
        EXPECT_TRUE(steps.all_done());
        EXPECT_EQ(moved, c.moves) << c.port;
        const std::vector<std::string> texts = script.texts();
        ASSERT_EQ(texts.size(), c.box ? 2u : 1u) << c.port;
        if (c.box) {
            EXPECT_EQ(texts[0].rfind(c.box, 0) == 0 || texts[0].find(c.box) != std::string::npos,
                      true)
                << texts[0];
            EXPECT_EQ(script.seen_widgets()[0].caption.toStdString(),
                      std::string(caption) + " Error");
        }
        // a refused port stores nothing; a failed connection keeps what was typed
        if (c.password)
            EXPECT_EQ(stored_password, c.password);
        if (c.port)
            EXPECT_EQ(stored_port, std::stoi(test_pg_server::get().port)) << c.port;
    }
}

TEST_F(wizard_pages, postgresql_local_after_remote_forgets_the_remote_server)
{
    full_settings(pg, ora);
    const test_pg_server& s = test_pg_server::get();
    modal_script script({ok(), yes()});
    std::string engine_host = "unset";
    int engine_port = -1;
    bool host_disabled = false;
    QString host_text;
    ui_steps steps({
        next_at(p_welcome),
        at(p_pgs,
           [&] {
               click_control(p_pgs, 1329);
               // libpq's default server does not serve this cluster: a box, the page stays
               click_sheet(QWizard::NextButton);
               const pgs_engine& engine = tarnova_convertor::instance().pgs().engine();
               engine_host = engine.get_host();
               engine_port = engine.get_port();
               click_sheet(QWizard::BackButton);
           }),
        next_at(p_welcome),
        at(p_pgs,
           [&] {
               host_disabled = !page_control<QLineEdit>(p_pgs, 1014)->isEnabled();
               host_text = edit_text(p_pgs, 1014);
               click_sheet(QWizard::CancelButton);
           }),
    });
    EXPECT_EQ(run_tarnova({}), 0);
    EXPECT_TRUE(steps.all_done());
    EXPECT_EQ(engine_host, "");
    EXPECT_EQ(engine_port, 0);
    EXPECT_TRUE(host_disabled);
    EXPECT_EQ(host_text.toStdString(), s.host);
    const std::string settings = test_read_file(settings_file());
    EXPECT_NE(settings.find("pgshost=sz:\n"), std::string::npos) << settings;
    EXPECT_NE(settings.find("pgsport=dword:0\n"), std::string::npos) << settings;
}

TEST_F(wizard_pages, oracle_page_connects_behind_its_own_wait_text_and_reports_failures)
{
    ora.add_listener("localhost:1521");
    const struct {
        const char* what;
        std::string extra;
        std::string box;
        bool help;
    } cases[] = {
        {"no name", "dest=sz:\n", "You should enter Oracle database name", false},
        {"password", "oraclep=sz:wrong\n", "Invalid user name or password.", false},
        {"listener", "oracleh=sz:localhost\noraport=sz:1599\n",
         "ORA-12541: no listener. For more information see Troubleshooting\narticle of the "
         "product documentation.",
         true},
    };
    for (const auto& c : cases) {
        fake_help help;
        full_settings(pg, ora, c.extra);
        QString wait_text;
        modal_script script({{"", false,
                              [&](QWidget* w) {
                                  wait_text = wait_dialog_text();
                                  if (auto* box = qobject_cast<QMessageBox*>(w))
                                      if (QAbstractButton* b = box->button(QMessageBox::Ok))
                                          b->click();
                              }},
                             yes()});
        bool stayed = false;
        ui_steps steps({next_at(p_welcome), next_at(p_pgs), at(p_oracle, [&] {
                            click_sheet(QWizard::NextButton);
                            stayed = on_page(p_oracle);
                            click_sheet(QWizard::CancelButton);
                        })});
        EXPECT_EQ(run_tarnova({}), 0) << c.what;
        EXPECT_TRUE(stayed) << c.what;
        ASSERT_EQ(script.texts().size(), 2u) << c.what;
        EXPECT_EQ(script.texts()[0], c.box) << c.what;
        const bool named = std::string(c.what) != "no name";
        // the box of a connection shows over the wait dialog, which names Oracle
        EXPECT_EQ(wait_text.toStdString(),
                  named ? "Connecting to Oracle server. Please wait..." : "")
            << c.what;
        if (!named)
            EXPECT_TRUE(script.waits().empty());
        EXPECT_EQ(help.viewer_args(c.help),
                  c.help ? "--contextid=1017\n" + fake_help::help_file() + "\n" : std::string())
            << c.what;
    }
}

// the Oracle page without an Oracle client; what it showed on stdout
TEST(wizard_child, oracle_page_without_client)
{
    const char* settings = std::getenv("WIZARD_CHILD_SETTINGS");
    if (!settings)
        GTEST_SKIP() << "run by the parent test only";
    reset_settings();
    test_write_file(settings_file(), test_read_file(settings));
    modal_script script({ok(), yes()});
    bool stayed = false;
    ui_steps steps({next_at(p_welcome), next_at(p_pgs), at(p_oracle, [&] {
                        click_sheet(QWizard::NextButton);
                        stayed = on_page(p_oracle);
                        click_sheet(QWizard::CancelButton);
                    })});
    const int result = run_tarnova({});
    for (const modal_script::seen& s : script.seen_widgets())
        std::printf("box|%s\n", s.text.toUtf8().constData());
    std::printf("stayed=%d result=%d\n", stayed ? 1 : 0, result);
}

TEST_F(wizard_pages, oracle_page_without_client_shows_one_box_and_stays)
{
    full_settings(pg, ora);
    const std::string settings = dir.write("child.ini", test_read_file(settings_file()));
    std::string out;
    std::string err;
    const int status = run_child("wizard_child.oracle_page_without_client",
                                 {"WIZARD_CHILD_SETTINGS=" + settings, "LD_LIBRARY_PATH="}, &out,
                                 &err);
    EXPECT_EQ(status, 0) << err;
    // the client box, then the cancel question
    EXPECT_NE(out.find("Oracle client"), std::string::npos) << out;
    EXPECT_NE(out.find("box|Are you sure you want to exit the wizard?"), std::string::npos) << out;
    EXPECT_EQ(std::count(out.begin(), out.end(), '|'), 2) << out;
    EXPECT_NE(out.find("stayed=1 result=0"), std::string::npos) << out;
}
