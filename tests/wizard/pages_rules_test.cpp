#include "page_helpers.hpp"
#include "wizard_fixture.hpp"

#include "pgs_converter_impl.hpp"
#include "pgs_db.hpp"
#include "pgs_engine.hpp"
#include "udb_rset.hpp"
#include "udb_prof.hpp"
#include "tarnova_convertor.hpp"
#include "tk_log.hpp"
#include "tk_utils.hpp"

#include <pqxx/pqxx>

#include <QApplication>
#include <QAbstractButton>
#include <QLabel>
#include <QMessageBox>
#include <QTest>

#include <algorithm>
#include <chrono>
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <map>
#include <memory>
#include <sstream>
#include <thread>
#include <vector>

#include <unistd.h>

namespace {

const char caption[] = "Dravenor 1.0 ";

std::string caption_text()
{
    return caption;
}

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

// the bytes of text as lower-case hex digits
std::string hex(const std::string& text)
{
    static const char digits[] = "0123456789abcdef";
    std::string out;
    for (unsigned char c : text) {
        out += digits[c >> 4];
        out += digits[c & 0x0f];
    }
    return out;
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

// the caption of the wait dialog that is up, "(none)" when none is
QString wait_dialog_caption()
{
    for (QWidget* w : QApplication::topLevelWidgets())
        if (w->objectName() == QStringLiteral("101") && w->isVisible())
            return w->windowTitle();
    return QStringLiteral("(none)");
}

// once a box over the wait dialog is answered: whether the sheet is the active window
// again, and the name of the control with the keyboard
struct keyboard_state {
    bool active = false;
    QString focus;

    void take()
    {
        // the activation comes back through the window system's queue
        active = QTest::qWaitForWindowActive(shown_sheet(), test_deadline_ms);
        QWidget* w = QApplication::focusWidget();
        focus = w ? w->objectName() : QString();
    }
};

// the control with the keyboard once the window system gives the sheet the activation
// back, as it does when a box over the sheet closes
QString focus_when_reactivated()
{
    qt_wizard_sheet* sheet = shown_sheet();
    sheet->activateWindow();
    if (!QTest::qWaitForWindowActive(sheet, test_deadline_ms))
        return QStringLiteral("(sheet not active)");
    QWidget* w = QApplication::focusWidget();
    return w ? w->objectName() : QString();
}

} // namespace

using wizard_page_rules = wizard_conversion;

TEST_F(wizard_page_rules, postgresql_page_refuses_bad_ports_and_keeps_the_page)
{
    // the server's own text, in its language
    test_pg_server wrong_password = test_pg_server::get();
    wrong_password.password = "wrong-password";
    const std::string refused_password = wrong_password.refusal("postgres");
    ASSERT_FALSE(refused_password.empty());
    const struct {
        const char* port;
        const char* password;
        std::string box;        // the box's text, or its start; empty: no box
        bool moves;
    } cases[] = {
        {"5432abc", nullptr, "Invalid PostgreSQL port", false},
        {"-5", nullptr, "Invalid PostgreSQL port", false},
        {"65536", nullptr, "Invalid PostgreSQL port", false},
        {"0", nullptr, "Invalid PostgreSQL port", false},
        {nullptr, "wrong-password", refused_password, false},
        {nullptr, nullptr, "", true},
    };
    for (const auto& c : cases) {
        full_settings(pg, ora);
        modal_script script;
        if (!c.box.empty())
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
        ASSERT_EQ(texts.size(), c.box.empty() ? 1u : 2u) << c.port;
        if (!c.box.empty()) {
            EXPECT_EQ(texts[0].rfind(c.box, 0) == 0 || texts[0].find(c.box) != std::string::npos,
                      true)
                << texts[0];
            EXPECT_EQ(script.seen_widgets()[0].caption.toStdString(),
                      std::string(caption) + " Error");
        }
        // a refused port stores nothing; a failed connection keeps what was typed
        if (c.password) {
            EXPECT_EQ(stored_password, c.password);
        }
        if (c.port) {
            EXPECT_EQ(stored_port, std::stoi(test_pg_server::get().port)) << c.port;
        }
    }
}

TEST_F(wizard_page_rules, postgresql_local_after_remote_forgets_the_remote_server)
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

TEST_F(wizard_page_rules, oracle_page_refuses_a_port_that_is_no_port_before_connecting)
{
    const struct {
        const char* port;
        bool moves;
    } cases[] = {{"abc", false}, {"0", false}, {"65536", false}, {"1521x", false},
                 {"", true},     {"1521", true}};
    for (const auto& c : cases) {
        full_settings(pg, ora, "oraport=sz:1521\n");
        modal_script script;
        if (!c.moves) {
            script.add(ok());
            script.add(ok());
        }
        script.add(yes());
        bool moved = false;
        bool back_refused = false;
        std::wstring stored_port;
        QString focus;
        ui_steps steps({next_at(p_welcome), next_at(p_pgs), at(p_oracle, [&] {
                            type_text(p_oracle, 1004, c.port);
                            shown_sheet()->button(QWizard::NextButton)->setFocus();
                            click_sheet(QWizard::NextButton);
                            moved = on_page(p_settings);
                            if (!moved) {
                                focus = focus_when_reactivated();
                                click_sheet(QWizard::BackButton);
                                back_refused = on_page(p_oracle);
                            }
                            stored_port = tarnova_convertor::instance().port;
                            click_sheet(QWizard::CancelButton);
                        })});
        EXPECT_EQ(run_tarnova({}), 0) << c.port;
        EXPECT_TRUE(steps.all_done()) << c.port;
        EXPECT_EQ(moved, c.moves) << c.port;
        if (c.moves) {
            EXPECT_EQ(script.texts().size(), 1u) << c.port;
            EXPECT_EQ(stored_port, c.port[0] ? tk_from_utf8(c.port) : L"1521") << c.port;
            continue;
        }
        // refused on Next and on Back, one box each, and nothing tried or stored
        ASSERT_EQ(script.texts().size(), 3u) << c.port;
        EXPECT_EQ(script.texts()[0], "Invalid Oracle port");
        EXPECT_EQ(script.texts()[1], "Invalid Oracle port");
        EXPECT_EQ(script.seen_widgets()[0].caption.toStdString(), caption_text() + " Error");
        EXPECT_TRUE(script.waits().empty()) << c.port;
        EXPECT_TRUE(back_refused) << c.port;
        EXPECT_EQ(stored_port, L"1521") << c.port;
        EXPECT_EQ(focus.toStdString(), "1004") << c.port;
    }
}

TEST_F(wizard_page_rules, a_box_about_a_field_gives_that_field_the_keyboard)
{
    const struct {
        const char* what;
        int page;
        std::function<void()> act;
        const char* box;
        const char* focus;
    } cases[] = {
        {"postgresql port", p_pgs, [] { type_text(p_pgs, 1015, "5432abc"); },
         "Invalid PostgreSQL port", "1015"},
        {"oracle name", p_oracle, [] { type_text(p_oracle, 1014, ""); },
         "You should enter Oracle database name", "1014"},
        {"no source", p_settings,
         [] { page_control<QComboBox>(p_settings, 1302)->setEditText(""); },
         "You should enter PostgreSQL database name", "1302"},
        {"unknown source", p_settings,
         [] { page_control<QComboBox>(p_settings, 1302)->setEditText("no such database"); },
         "PostgreSQL database does not exist", "1302"},
    };
    for (const auto& c : cases) {
        full_settings(pg, ora);
        modal_script script({ok(), yes()});
        QString focus;
        bool stayed = false;
        std::vector<std::function<bool()>> walk;
        for (int page = p_welcome; page < c.page; ++page)
            walk.push_back(next_at(page));
        walk.push_back(at(c.page, [&] {
            c.act();
            // as after a click: the button had the keyboard
            shown_sheet()->button(QWizard::NextButton)->setFocus();
            click_sheet(QWizard::NextButton);
            stayed = on_page(c.page);
            focus = focus_when_reactivated();
            click_sheet(QWizard::CancelButton);
        }));
        ui_steps steps(std::move(walk));
        EXPECT_EQ(run_tarnova({}), 0) << c.what;
        EXPECT_TRUE(steps.all_done()) << c.what;
        EXPECT_TRUE(stayed) << c.what;
        ASSERT_EQ(script.texts().size(), 2u) << c.what;
        EXPECT_EQ(script.texts()[0], c.box) << c.what;
        EXPECT_EQ(focus.toStdString(), c.focus) << c.what;
    }
}

namespace {

// the letters after '&' in the texts of the shown widgets, lower case, with their texts
std::multimap<QChar, QString> mnemonics(const QList<QWidget*>& widgets)
{
    std::multimap<QChar, QString> letters;
    for (QWidget* w : widgets) {
        QString text;
        if (auto* label = qobject_cast<QLabel*>(w))
            text = label->text();
        else if (auto* button = qobject_cast<QAbstractButton*>(w))
            text = button->text();
        if (!w->isVisible())
            continue;
        for (qsizetype i = text.indexOf('&'); i >= 0 && i + 1 < text.size();
             i = text.indexOf('&', i + 2))
            if (text[i + 1] != '&')
                letters.emplace(text[i + 1].toLower(), text);
    }
    return letters;
}

} // namespace

TEST_F(wizard_page_rules, no_two_controls_of_a_page_share_a_keyboard_letter)
{
    full_settings(pg, ora);
    modal_script script({yes()});
    std::map<int, std::multimap<QChar, QString>> letters;
    std::vector<std::function<bool()>> walk;
    for (int page = p_welcome; page <= p_tables; ++page)
        walk.push_back(at(page, [&letters, page] {
            QList<QWidget*> widgets = shown_sheet()->currentPage()->findChildren<QWidget*>();
            for (QWizard::WizardButton b : {QWizard::BackButton, QWizard::NextButton,
                                            QWizard::CancelButton, QWizard::HelpButton})
                widgets << shown_sheet()->button(b);
            letters[page] = mnemonics(widgets);
            click_sheet(page == p_tables ? QWizard::CancelButton : QWizard::NextButton);
        }));
    ui_steps steps(std::move(walk));
    EXPECT_EQ(run_tarnova({}), 0);
    EXPECT_TRUE(steps.all_done()) << steps.done_count();
    for (const auto& [page, found] : letters) {
        EXPECT_FALSE(found.empty()) << page;
        for (auto it = found.begin(); it != found.end(); ++it)
            EXPECT_EQ(found.count(it->first), 1u)
                << "page " << page << ": " << it->second.toStdString() << " shares its letter";
    }
}

TEST_F(wizard_page_rules, oracle_page_connects_behind_its_own_wait_text_and_reports_failures)
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
        if (!named) {
            EXPECT_TRUE(script.waits().empty());
        }
        EXPECT_EQ(help.viewer_args(c.help),
                  c.help ? "--contextid=1017\n" + fake_help::help_file() + "\n" : std::string())
            << c.what;
    }
}

TEST_F(wizard_page_rules, oracle_error_box_belongs_to_the_sheet_and_the_page_gets_the_keyboard_back)
{
    // the connection was started from the password (Enter) or with the Next button; the
    // keyboard returns to the password, or from the button to the page's first field
    const struct {
        const char* what;
        bool from_button;
        const char* focus;
    } cases[] = {{"typed", false, "1013"}, {"clicked", true, "1003"}};
    for (const auto& c : cases) {
        full_settings(pg, ora, "oraclep=sz:wrong\n");
        bool owned_by_sheet = false;
        QString caption;
        modal_script script({{"", false,
                              [&](QWidget* w) {
                                  owned_by_sheet = w->parentWidget() == shown_sheet();
                                  caption = wait_dialog_caption();
                                  qobject_cast<QMessageBox*>(w)->button(QMessageBox::Ok)->click();
                              }},
                             yes()});
        keyboard_state keyboard;
        ui_steps steps({next_at(p_welcome), next_at(p_pgs), at(p_oracle, [&] {
                            if (c.from_button)
                                shown_sheet()->button(QWizard::NextButton)->setFocus();
                            else
                                page_control<QLineEdit>(p_oracle, 1013)->setFocus();
                            click_sheet(QWizard::NextButton);
                            keyboard.take();
                            click_sheet(QWizard::CancelButton);
                        })});
        EXPECT_EQ(run_tarnova({}), 0) << c.what;
        ASSERT_EQ(script.texts().size(), 2u) << c.what;
        EXPECT_EQ(script.texts()[0], "Invalid user name or password.");
        EXPECT_TRUE(owned_by_sheet) << c.what;
        EXPECT_EQ(caption.toStdString(), caption_text()) << c.what;
        EXPECT_TRUE(keyboard.active) << c.what;
        EXPECT_EQ(keyboard.focus.toStdString(), c.focus) << c.what;
    }
}

TEST_F(wizard_page_rules, database_list_failure_keeps_the_caption_and_gives_the_keyboard_back)
{
    // a role of this test alone, so that its session can be ended under the page
    test_pg_role lister(pg, pg.name() + "_lister");
    full_settings(pg, ora,
                  "pgsuser=sz:" + lister.name() + "\npgspswd=sz:" + lister.password() + "\n");
    QString caption;
    modal_script script({{"", false,
                          [&](QWidget* w) {
                              caption = wait_dialog_caption();
                              for (QAbstractButton* b : w->findChildren<QAbstractButton*>())
                                  if (b->text() == QStringLiteral("Abort")
                                      || b->text() == QStringLiteral("OK")) {
                                      b->click();
                                      break;
                                  }
                          }},
                         yes()});
    keyboard_state keyboard;
    QStringList items;
    ui_steps steps({next_at(p_welcome), next_at(p_pgs), next_at(p_oracle), at(p_settings, [&] {
                        pg.exec("SELECT pg_terminate_backend(pid, 30000) FROM pg_stat_activity "
                                "WHERE usename = '" + lister.name() + "'");
                        auto* combo = page_control<QComboBox>(p_settings, 1302);
                        combo->setFocus();
                        combo->showPopup();
                        combo->hidePopup();
                        keyboard.take();
                        items = combo_items(p_settings, 1302);
                        click_sheet(QWizard::CancelButton);
                    })});
    EXPECT_EQ(run_tarnova({}), 0);
    // the failure, then the cancel question
    ASSERT_EQ(script.texts().size(), 2u);
    EXPECT_EQ(script.seen_widgets()[0].caption.toStdString(), caption_text() + " Error");
    EXPECT_EQ(script.texts()[0], "The connection to the PostgreSQL server was lost");
    EXPECT_EQ(caption.toStdString(), caption_text());
    EXPECT_TRUE(items.isEmpty()) << items.join(',').toStdString();
    EXPECT_TRUE(keyboard.active);
    EXPECT_EQ(keyboard.focus.toStdString(), "1302");
}

TEST_F(wizard_page_rules, server_text_in_a_box_is_trimmed_and_the_trace_keeps_it)
{
    full_settings(pg, ora, "pgsport=dword:1\n");
    // the client library's text is known in its own language only
    struct english_messages {
        std::string was = std::setlocale(LC_MESSAGES, nullptr);
        english_messages() { std::setlocale(LC_MESSAGES, "C"); }
        ~english_messages() { std::setlocale(LC_MESSAGES, was.c_str()); }
    } pinned;
    test_temp_dir logs{"wizard_trace"};
    modal_script script({ok(), yes()});
    ui_steps steps({next_at(p_welcome), at(p_pgs, [&] {
                        click_sheet(QWizard::NextButton);
                        click_sheet(QWizard::CancelButton);
                    })});
    {
        tk_log log(logs.file("trace.log").c_str(), true, 0, false);
        EXPECT_EQ(run_tarnova({}), 0);
    }
    ASSERT_EQ(script.texts().size(), 2u);
    const std::string refused = "port 1 failed: Connection refused\n";
    const std::string hint = "Is the server running on that host and accepting TCP/IP "
                             "connections?";
    EXPECT_NE(script.texts()[0].find(refused + " " + hint), std::string::npos)
        << script.texts()[0];
    EXPECT_EQ(script.texts()[0].substr(script.texts()[0].size() - hint.size()), hint);
    const std::string trace = test_read_file(logs.file("trace.log"));
    EXPECT_NE(trace.find(refused + "\t" + hint + "\n"), std::string::npos) << trace;
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

TEST_F(wizard_page_rules, oracle_page_without_client_shows_one_box_and_stays)
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

// the PostgreSQL page's Next while a table of the engine is being read: the engine
// refuses to replace the connection under the reader, an internal error
TEST(wizard_child, postgresql_connect_under_an_open_read)
{
    const char* settings = std::getenv("WIZARD_CHILD_SETTINGS");
    const char* database = std::getenv("WIZARD_CHILD_DATABASE");
    if (!settings || !database)
        GTEST_SKIP() << "run by the parent test only";
    reset_settings();
    test_write_file(settings_file(), test_read_file(settings));
    // every box or dialog on stdout; the internal-error dialog is answered with its
    // button, after which the process ends
    const auto report = [](QWidget* w) {
        const auto* box = qobject_cast<QMessageBox*>(w);
        const QString text = box ? box->text() : control_text(w, "1320");
        std::printf("%s|%s|%s\n", box ? "box" : "dialog", w->windowTitle().toUtf8().constData(),
                    QString(text).replace('\n', ' ').toUtf8().constData());
        std::fflush(stdout);
        QAbstractButton* button = w->findChild<QAbstractButton*>("1");
        if (box)
            button = box->button(box->button(QMessageBox::Yes) ? QMessageBox::Yes
                                                                : QMessageBox::Ok);
        if (button)
            button->click();
    };
    modal_script script({{"", false, report}, {"", false, report}, {"", false, report}});
    std::unique_ptr<pgs_database> source;
    std::unique_ptr<udb_recordset> rows;
    ui_steps steps({next_at(p_welcome), at(p_pgs, [&] {
                        pgs_converter_impl& pgs = tarnova_convertor::instance().pgs();
                        pgs.connect_pgs_server(database);
                        source = pgs.engine().open_db(tk_to_unicode(database));
                        rows = source->get_table(L"t", 0);
                        rows->reset();
                        std::printf("reading|%d\n", rows->get_item() ? 1 : 0);
                        std::fflush(stdout);
                        click_sheet(QWizard::NextButton);
                        std::printf("returned|%d\n", on_page(p_pgs) ? 1 : 0);
                        click_sheet(QWizard::CancelButton);
                    })});
    std::printf("result=%d\n", run_tarnova({}));
}

TEST_F(wizard_page_rules, postgresql_page_sends_an_internal_error_to_the_handler)
{
    pg.exec("CREATE TABLE t (id integer)");
    pg.exec("INSERT INTO t SELECT generate_series(1, 10)");
    full_settings(pg, ora);
    const std::string settings = dir.write("child.ini", test_read_file(settings_file()));
    std::string out;
    std::string err;
    const int status = run_child("wizard_child.postgresql_connect_under_an_open_read",
                                 {"WIZARD_CHILD_SETTINGS=" + settings,
                                  "WIZARD_CHILD_DATABASE=" + pg.name()},
                                 &out, &err);
    EXPECT_EQ(status, 255) << out << err;
    // the internal-error dialog alone, naming the engine's check: no error box, and
    // the page never got control back
    const std::string dialog = "dialog|" + std::string(caption) + " Error|Internal error:  code=" +
                               hex("pgs_engine.cpp\\");
    std::vector<std::string> shown;
    std::istringstream lines(out);
    for (std::string line; std::getline(lines, line);)
        if (line.find('|') != std::string::npos || line.rfind("result=", 0) == 0)
            shown.push_back(line);
    ASSERT_EQ(shown.size(), 2u) << out << err;
    EXPECT_EQ(shown[0], "reading|1");
    EXPECT_EQ(shown[1].rfind(dialog, 0), 0u) << shown[1];
}

TEST_F(wizard_page_rules, settings_page_shows_the_mode_in_effect_and_checks_the_database)
{
    const struct {
        int mode;
        int radio;          // 0: none
    } cases[] = {{0, 1329}, {1, 1331}, {2, 1330}, {4, 0}};
    for (const auto& c : cases) {
        // no source name: the mode is shown all the same
        full_settings(pg, ora, "src=sz:\nmode=dword:" + std::to_string(c.mode) + "\n");
        modal_script script({ok(), ok(), yes()});
        std::vector<int> shown;
        int mode_after = -1;
        bool reached_tables = false;
        ui_steps steps({next_at(p_welcome), next_at(p_pgs), next_at(p_oracle),
                        at(p_settings,
                           [&] {
                               for (int radio : {1329, 1331, 1330})
                                   if (is_checked(p_settings, radio))
                                       shown.push_back(radio);
                               click_sheet(QWizard::NextButton);
                               mode_after = tarnova_convertor::instance().mode;
                               page_control<QComboBox>(p_settings, 1302)->setEditText("no such db");
                               click_sheet(QWizard::NextButton);
                               page_control<QComboBox>(p_settings, 1302)
                                   ->setEditText(QString::fromStdString(pg.name()));
                               click_sheet(QWizard::NextButton);
                           }),
                        at(p_tables, [&] {
                            reached_tables = true;
                            click_sheet(QWizard::CancelButton);
                        })});
        EXPECT_EQ(run_tarnova({}), 0);
        EXPECT_EQ(shown, c.radio ? std::vector<int>{c.radio} : std::vector<int>{}) << c.mode;
        EXPECT_EQ(mode_after, c.mode);
        EXPECT_TRUE(reached_tables) << c.mode;
        EXPECT_EQ(script.texts(),
                  (std::vector<std::string>{"You should enter PostgreSQL database name",
                                            "PostgreSQL database does not exist",
                                            "Are you sure you want to exit the wizard?"}));
        EXPECT_EQ(script.seen_widgets()[0].caption.toStdString(), std::string(caption) + " Message");
    }
}

TEST_F(wizard_page_rules, settings_page_with_the_server_gone_ends_the_wait_and_keeps_the_page)
{
    full_settings(pg, ora);
    modal_script script({{"Abort", false, {}}, ok(), yes()});
    int items = -1;
    bool stayed = false;
    ui_steps steps({next_at(p_welcome), next_at(p_pgs), next_at(p_oracle),
                    at(p_settings, [&] {
                        // the server ends the wizard's connection
                        pgs_session& session = tarnova_convertor::instance().pgs().engine().session();
                        const std::string pid = pqxx::nontransaction(session.connection())
                                                    .exec1("SELECT pg_backend_pid()")[0]
                                                    .c_str();
                        pg.exec("SELECT pg_terminate_backend(" + pid + ")");
                        auto* combo = page_control<QComboBox>(p_settings, 1302);
                        combo->showPopup();
                        combo->hidePopup();
                        // the list counts as fetched: no second try, no second dialog
                        combo->showPopup();
                        combo->hidePopup();
                        items = combo->count();
                        click_sheet(QWizard::NextButton);
                        stayed = on_page(p_settings);
                        click_sheet(QWizard::CancelButton);
                    })});
    EXPECT_EQ(run_tarnova({}), 0);
    EXPECT_TRUE(steps.all_done());
    EXPECT_EQ(items, 0);
    EXPECT_TRUE(stayed);
    ASSERT_EQ(script.seen_widgets().size(), 3u);
    EXPECT_EQ(script.seen_widgets()[0].kind.toStdString(), "dialog");
    EXPECT_EQ(script.seen_widgets()[1].kind.toStdString(), "box");
    EXPECT_EQ(script.seen_widgets()[1].text.toStdString(),
              "The connection to the PostgreSQL server was lost");
}

TEST_F(wizard_page_rules, table_page_asks_about_an_empty_selection_and_takes_removed_tables_out)
{
    pg.exec("CREATE TABLE t1 (id int); INSERT INTO t1 VALUES (1);"
            "CREATE TABLE t2 (id int); INSERT INTO t2 VALUES (2);");
    // a profile with two tables, a query-only entry and a table the database lacks
    const std::string loaded = profile("t1\nt2\nq=SELECT 7 AS x\nnosuch");
    modal_script script({choose_file(loaded), {"No", false, {}}, {"Continue", false, {}}});
    QStringList preselected;
    bool stayed = false;
    ui_steps steps({at(p_welcome,
                       [&] {
                           click_control(p_welcome, 1115);
                           click_sheet(QWizard::NextButton);
                       }),
                    next_at(p_pgs), next_at(p_oracle), next_at(p_settings),
                    at(p_tables,
                       [&] {
                           preselected = list_items(p_tables, 1318);
                           click_control(p_tables, 1110);
                           click_sheet(QWizard::NextButton);
                           stayed = on_page(p_tables);
                           page_control<QListWidget>(p_tables, 1317)->setCurrentRow(0);
                           click_control(p_tables, 1101);
                           click_sheet(QWizard::NextButton);
                       }),
                    at(p_finish, [] { click_sheet(QWizard::FinishButton); })});
    EXPECT_EQ(run_tarnova({}), 1);
    EXPECT_TRUE(steps.all_done());
    EXPECT_EQ(preselected, (QStringList{"t1", "t2"}));
    EXPECT_TRUE(stayed);
    const std::vector<std::string> texts = script.texts();
    ASSERT_EQ(texts.size(), 3u);
    EXPECT_EQ(texts[1], "There are no tables selected. Continue anyway?");
    EXPECT_EQ(texts[2], "nosuch: Table does not exist in the source database");
    // t2 was removed on the page; the query and the missing table were never shown
    EXPECT_EQ(oracle("SELECT table_name FROM user_tables ORDER BY 1;"),
              (std::vector<std::string>{"q", "t1"}));
}

TEST_F(wizard_page_rules, database_picked_again_keeps_a_loaded_profile_another_one_empties_it)
{
    pg.exec("CREATE TABLE customers (id int); INSERT INTO customers VALUES (1), (2);"
            "CREATE TABLE orders (id int, amount int); INSERT INTO orders VALUES (1, 50), (2, 500);");
    // names that differ in case only are two databases
    const std::string upper_name = QString::fromStdString(pg.name()).toUpper().toStdString();
    const test_pg_database upper = test_pg_database::named(upper_name);
    const QString db = QString::fromStdString(pg.name());
    // a table the page shows and a query it does not
    const std::string loaded =
        profile("customers\nbig_orders=SELECT id FROM orders WHERE amount > 100", "", "mode=0\n");
    const auto pick = [](const QString& name) {
        choose_item(p_settings, 1302, static_cast<int>(combo_items(p_settings, 1302).indexOf(name)));
    };
    // kept: the profile's entries stay; asks: an emptied selection of tables is confirmed
    const struct {
        const char* what;
        std::function<void()> act;
        bool kept, asks;
        std::string source;
    } cases[] = {
        {"the shown database picked twice", [&] { pick(db); pick(db); }, true, false, pg.name()},
        {"another name typed, then the chosen one picked",
         [&] {
             auto* combo = page_control<QComboBox>(p_settings, 1302);
             combo->lineEdit()->clear();
             QTest::keyClicks(combo->lineEdit(), "postgres");
             pick(db);
         },
         true, false, pg.name()},
        {"another database picked, then the chosen one", [&] { pick("postgres"); pick(db); },
         false, true, pg.name()},
        {"the name in another case", [&] { pick(QString::fromStdString(upper_name)); }, false,
         false, upper_name},
        // Enter takes the list's item of that name, and goes on as Next does
        {"the name in another case typed and entered",
         [&] {
             auto* combo = page_control<QComboBox>(p_settings, 1302);
             combo->lineEdit()->clear();
             QTest::keyClicks(combo->lineEdit(), QString::fromStdString(upper_name));
             QTest::keyClick(combo->lineEdit(), Qt::Key_Return);
         },
         false, false, upper_name},
    };
    for (const auto& c : cases) {
        for (const std::string& table : oracle("SELECT table_name FROM user_tables;"))
            ora.sql("DROP TABLE \"" + table + "\";");
        // a question that is not expected is answered too, so that the run shows what it did
        modal_script script({choose_file(loaded), go_on(), go_on()});
        std::vector<std::wstring> entries{L"unset"};
        QStringList preselected;
        QString source;
        ui_steps steps({at(p_welcome,
                           [&] {
                               click_control(p_welcome, 1115);
                               click_sheet(QWizard::NextButton);
                           }),
                        next_at(p_pgs), next_at(p_oracle),
                        at(p_settings,
                           [&] {
                               // the list fetched, as the first drop-down does
                               auto* combo = page_control<QComboBox>(p_settings, 1302);
                               combo->showPopup();
                               combo->hidePopup();
                               c.act();
                               const tarnova_convertor& task = tarnova_convertor::instance();
                               entries.clear();
                               for (const auto& [name, query] : task.queries)
                                   entries.push_back(name);
                               source = combo->currentText();
                               if (on_page(p_settings))
                                   click_sheet(QWizard::NextButton);
                           }),
                        at(p_tables,
                           [&] {
                               preselected = list_items(p_tables, 1318);
                               click_sheet(QWizard::NextButton);
                           }),
                        at(p_finish, [] { click_sheet(QWizard::FinishButton); })});
        EXPECT_EQ(run_tarnova({}), 1) << c.what;
        EXPECT_TRUE(steps.all_done()) << c.what << ": " << steps.done_count();
        std::vector<std::string> texts = script.texts();
        // an emptied selection names what it took, the query the table page never shows too
        if (!c.kept && texts.size() > 1) {
            EXPECT_EQ(script.seen_widgets()[1].kind.toStdString(), "box") << c.what;
            EXPECT_EQ(script.seen_widgets()[1].caption.toStdString(), caption_text() + " Message")
                << c.what;
            EXPECT_EQ(texts[1], "Another database was chosen, so the table selection was emptied. "
                                "Removed:\n\n    customers\n    big_orders (query)\n\nSelect the "
                                "tables again on the next page; a query comes back only when its "
                                "profile is loaded again.")
                << c.what;
            texts.erase(texts.begin() + 1);
        }
        EXPECT_EQ(texts.size(), c.asks ? 2u : 1u) << c.what << ": " << texts.back();
        if (c.asks && texts.size() > 1) {
            EXPECT_EQ(texts[1], "There are no tables selected. Continue anyway?");
        }
        EXPECT_EQ(source.toStdString(), c.source) << c.what;
        if (c.kept) {
            EXPECT_EQ(entries, (std::vector<std::wstring>{L"big_orders", L"customers"}))
                << c.what;
            EXPECT_EQ(preselected.join(',').toStdString(), "customers") << c.what;
            const std::vector<std::string> tables =
                oracle("SELECT table_name FROM user_tables ORDER BY 1;");
            EXPECT_EQ(tables, (std::vector<std::string>{"big_orders", "customers"})) << c.what;
            if (tables.size() != 2)
                continue;
            EXPECT_EQ(oracle("SELECT \"id\" FROM \"big_orders\";"),
                      std::vector<std::string>{"2"});
            EXPECT_EQ(oracle("SELECT \"id\" FROM \"customers\" ORDER BY 1;"),
                      (std::vector<std::string>{"1", "2"}));
        } else {
            EXPECT_TRUE(entries.empty()) << c.what;
            EXPECT_EQ(preselected.join(',').toStdString(), "") << c.what;
            EXPECT_TRUE(oracle("SELECT table_name FROM user_tables;").empty()) << c.what;
        }
    }
}

TEST_F(wizard_page_rules, emptied_selection_box_names_fifteen_entries_and_counts_the_rest)
{
    full_settings(pg, ora);
    // sixteen tables and a query the profile only keeps
    std::string tables;
    std::string listed;
    for (int i = 1; i <= 16; ++i) {
        const std::string name = (i < 10 ? "t0" : "t") + std::to_string(i);
        tables += name + "\n";
        if (i <= 15)
            listed += "\n    " + name;
    }
    const std::string loaded = profile(tables);
    test_write_file(loaded, test_read_file(loaded) + "\r\n[Available Queries]\r\nkept=SELECT 1\r\n");
    modal_script script({choose_file(loaded), ok(), yes()});
    ui_steps steps(load_then_pick_database("postgres"));
    EXPECT_EQ(run_tarnova({}), 0);
    EXPECT_TRUE(steps.all_done()) << steps.done_count();
    ASSERT_EQ(script.texts().size(), 3u);
    EXPECT_EQ(script.texts()[1], "Another database was chosen, so the table selection was emptied. "
                                 "Removed:\n"
                                     + listed
                                     + "\n    ... and 2 more\n\nSelect the tables again on the "
                                       "next page; a query comes back only when its profile is "
                                       "loaded again.");
}

TEST_F(wizard_page_rules, table_page_whose_connection_the_server_ends_says_it_was_lost)
{
    pg.exec("CREATE TABLE t1 (id int)");
    full_settings(pg, ora);
    // the page's own session, known by its name, waits at its list's first snapshot while a
    // transaction that may write is open: a list read whole may not run beside one. nothing a
    // session needs to start is held, so only the page's session waits, and there only
    const std::string session = "wizard list " + std::to_string(getpid());
    // the test's sessions start before the page's settings are made
    pqxx::connection holder(pg.conn_string());
    pqxx::connection watcher(pg.conn_string());
    std::unique_ptr<pqxx::transaction<pqxx::serializable>> open;
    bool ended = false;
    std::thread killer;
    modal_script script({go_on(), yes()});
    QStringList available{"unset"};
    ui_steps steps({next_at(p_welcome), next_at(p_pgs), next_at(p_oracle),
                    at(p_settings,
                       [&] {
                           // the client library's settings, which the page's connection takes
                           setenv("PGAPPNAME", session.c_str(), 1);
                           setenv("PGOPTIONS",
                                  "-c default_transaction_isolation=serializable "
                                  "-c default_transaction_read_only=on "
                                  "-c default_transaction_deferrable=on",
                                  1);
                           open = std::make_unique<pqxx::transaction<pqxx::serializable>>(holder);
                           open->exec("SELECT 1");
                           killer = std::thread([&] {
                               std::string pid;
                               test_wait_until(
                                   [&] {
                                       const pqxx::result r = pqxx::nontransaction(watcher).exec(
                                           "SELECT pid FROM pg_stat_activity WHERE "
                                           "wait_event = 'SafeSnapshot' AND application_name = "
                                           + watcher.quote(session));
                                       if (r.empty())
                                           return false;
                                       pid = r[0][0].c_str();
                                       return true;
                                   },
                                   "the table page's session waiting at the test's hold");
                               ended = pqxx::nontransaction(watcher)
                                           .exec1("SELECT pg_terminate_backend(" + pid + ")")[0]
                                           .as<bool>();
                               open->commit();
                           });
                           click_sheet(QWizard::NextButton);
                       }),
                    at(p_tables, [&] {
                        available = list_items(p_tables, 1317) + list_items(p_tables, 1318);
                        click_sheet(QWizard::CancelButton);
                    })});
    EXPECT_EQ(run_tarnova({}), 0);
    unsetenv("PGAPPNAME");
    unsetenv("PGOPTIONS");
    if (killer.joinable())
        killer.join();
    EXPECT_TRUE(ended);
    EXPECT_TRUE(available.isEmpty());
    const std::vector<std::string> texts = script.texts();
    ASSERT_EQ(texts.size(), 2u);
    EXPECT_EQ(texts[0], "The connection to the PostgreSQL server was lost");
}

TEST_F(wizard_page_rules, table_page_whose_list_fails_goes_on_with_an_empty_selection)
{
    pg.exec("CREATE TABLE t1 (id int)");
    full_settings(pg, ora);
    // a database of its own to change the source's settings from
    const test_pg_database admin("wza");
    modal_script script({go_on(), go_on(), go_on(), go_on()});
    QStringList available{"unset"};
    bool moved = false;
    ui_steps steps({next_at(p_welcome), next_at(p_pgs), next_at(p_oracle),
                    at(p_settings,
                       [&] {
                           // the database is listed but takes no connection
                           admin.exec("ALTER DATABASE \"" + pg.name() + "\" ALLOW_CONNECTIONS false");
                           click_sheet(QWizard::NextButton);
                       }),
                    at(p_tables,
                       [&] {
                           available = list_items(p_tables, 1317) + list_items(p_tables, 1318);
                           click_sheet(QWizard::NextButton);
                           moved = !on_page(p_tables);
                       }),
                    at(p_finish, [] { click_sheet(QWizard::FinishButton); })});
    EXPECT_EQ(run_tarnova({}), 1);
    // the server's own text, in its language
    const std::string refused = test_pg_server::get().refusal(pg.name());
    admin.exec("ALTER DATABASE \"" + pg.name() + "\" ALLOW_CONNECTIONS true");
    EXPECT_TRUE(available.isEmpty());
    EXPECT_TRUE(moved);
    const std::vector<std::string> texts = script.texts();
    ASSERT_GE(texts.size(), 1u);
    ASSERT_FALSE(refused.empty());
    EXPECT_NE(texts[0].find(refused), std::string::npos) << texts[0];
    for (const std::string& t : texts)
        EXPECT_EQ(t.find("There are no tables selected"), std::string::npos);
    EXPECT_TRUE(oracle("SELECT table_name FROM user_tables;").empty());
}

TEST_F(wizard_page_rules, load_settings_refuses_what_is_not_a_profile_and_applies_nothing)
{
    const struct {
        std::string path;
        std::string text;
    } cases[] = {
        {dir.write("plain.qlx", "key=value\r\n"),
         "Profile cannot be read. Please verify that the file is a conversion profile."},
        {profile("t", "", "only definitions=1\r\nmode=x"),
         "Invalid profile value 'x' for the key 'mode': it must be one digit. Please verify the "
         "profile."},
        // each value reads, but the profile says two things
        {profile("t\nt=SELECT 1 AS id", "", "only definitions=1"),
         "The profile gives the key 't' of the section [Selected Tables] two values: '' and "
         "'SELECT 1 AS id'. Please verify the profile."},
        {profile("t", "", "only definitions=1\r\nmode=2\r\nmode=0"),
         "The profile gives the key 'mode' of the section [Generic settings] two values: '2' and "
         "'0'. Please verify the profile."},
        // names that would be ignored
        {profile("t", "", "only definitions=1\r\nMode=2"),
         "Line 6 of the profile gives the key 'Mode', which is not the key 'mode' of the section "
         "[Generic settings]: keys and section names are read exactly as written. Please verify "
         "the profile."},
        {profile("", "", "only definitions=1\r\n[selected tables]\r\nt"),
         "Line 6 of the profile names the section [selected tables], which is not the section "
         "[Selected Tables]: keys and section names are read exactly as written. Please verify "
         "the profile."},
        // a latin-1 byte: read, the query would select other rows
        {profile("t\nq=SELECT 'caf\xE9' AS v", "", "only definitions=1"),
         "Line 13 of the profile is not UTF-8 text: a profile is read as UTF-8, and other bytes "
         "would change what it says. Please save the profile as UTF-8."},
        // a password is never shown
        {profile("t", "OraSecret1\r\npassword=OraSecret2", "only definitions=1"),
         "The profile gives the key 'password' of the section [Oracle settings] two different "
         "values, which are not shown: it holds a password. Please verify the profile."},
    };
    for (const auto& c : cases) {
        full_settings(pg, ora);
        modal_script script({choose_file(c.path), ok(), yes()});
        bool stayed = false;
        bool tab_def = true;
        ui_steps steps({at(p_welcome, [&] {
            click_control(p_welcome, 1115);
            stayed = on_page(p_welcome);
            tab_def = tarnova_convertor::instance().tab_def;
            click_sheet(QWizard::CancelButton);
        })});
        EXPECT_EQ(run_tarnova({}), 0);
        ASSERT_EQ(script.texts().size(), 3u) << c.text;
        EXPECT_EQ(script.texts()[1], c.text);
        EXPECT_TRUE(stayed);
        EXPECT_FALSE(tab_def);
    }
}

TEST_F(wizard_page_rules, long_texts_are_kept_whole_up_to_the_profile_line_limit)
{
    full_settings(pg, ora);
    const std::string user(300, 'u');
    const std::string host(1000, 'h');
    const std::string too_long(5000, 'p');
    modal_script script({yes()});
    bool saved = false;
    bool refused = true;
    std::wstring stored_user;
    ui_steps steps({next_at(p_welcome), next_at(p_pgs),
                    at(p_oracle,
                       [&] {
                           type_text(p_oracle, 1012, QString::fromStdString(user));
                           type_text(p_oracle, 1003, QString::fromStdString(host));
                           click_sheet(QWizard::BackButton);
                       }),
                    at(p_pgs,
                       [&] {
                           type_text(p_pgs, 1012, QString::fromStdString(user));
                           click_sheet(QWizard::BackButton);
                       }),
                    at(p_welcome, [&] {
                        tarnova_convertor& task = tarnova_convertor::instance();
                        stored_user = task.user;
                        saved = task.save_profile_file(tk_from_utf8(dir.file("long.qlx")));
                        // beyond the format's line limit the save says so
                        const std::wstring kept = task.password;
                        task.password = tk_from_utf8(too_long);
                        refused = !task.save_profile_file(tk_from_utf8(dir.file("too_long.qlx")));
                        task.password = kept;
                        click_sheet(QWizard::CancelButton);
                    })});
    EXPECT_EQ(run_tarnova({}), 0);
    EXPECT_EQ(stored_user, tk_from_utf8(user));
    EXPECT_TRUE(saved);
    EXPECT_TRUE(refused);
    const std::string settings = test_read_file(settings_file());
    EXPECT_NE(settings.find("oracleu=sz:" + user + "\n"), std::string::npos);
    EXPECT_NE(settings.find("oracleh=sz:" + host + "\n"), std::string::npos);
    EXPECT_NE(settings.find("pgsuser=sz:" + user + "\n"), std::string::npos);
    udb_profile out;
    ASSERT_TRUE(out.load(tk_from_utf8(dir.file("long.qlx"))));
    EXPECT_EQ(out.get_value(L"Oracle settings", L"user"), tk_from_utf8(user));
    EXPECT_EQ(out.get_value(L"Oracle settings", L"host"), tk_from_utf8(host));
    EXPECT_EQ(out.get_value(L"pgs settings", L"user"), tk_from_utf8(user));
}
