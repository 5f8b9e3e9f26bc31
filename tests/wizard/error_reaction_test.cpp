#include "modal_script.hpp"
#include "wizard_fixture.hpp"

#include "error_handler.hpp"
#include "g_errdlg.hpp"
#include "g_gui_call.hpp"
#include "g_qt_desk.hpp"
#include "g_qt_svc.hpp"
#include "g_wiz_sh.hpp"
#include "qlx_error.hpp"
#include "qlx_run.hpp"
#include "tk_desktop.hpp"
#include "tk_except.hpp"

#include <QClipboard>
#include <QDesktopServices>
#include <QGuiApplication>
#include <QAbstractButton>
#include <QTest>
#include <QUrl>

#include <gtest/gtest.h>

#include <cstdio>
#include <thread>

namespace {

// the wizard's handler and reaction with an initialised shell, no sheet on the screen
class wizard_errors : public testing::Test {
protected:
    void SetUp() override
    {
        gui_thread::end_closing();
        handler.set_reaction(&reaction);
        shell.on_sheet_init();
    }
    void TearDown() override { handler.set_reaction(nullptr); }

    qt_wizard_services services;
    qt_desktop_backend desktop;
    error_handler handler{oracle_error_count, oracle_errors};
    wizard_error_reaction reaction;
    wizard_shell shell{L"Dravenor 1.0 ", 0, 0, 0};
};

} // namespace

// receives the mailto urls the desktop would open
class url_catcher : public QObject {
    Q_OBJECT
public:
    QList<QUrl> urls;
public slots:
    void take(const QUrl& url) { urls << url; }
};

TEST_F(wizard_errors, reaction_to_each_level)
{
    struct reaction_case {
        const char* what;
        int level;
        bool may_continue;
        bool suppressed_before;
        modal_script::answer answer;
        bool throws;
        bool suppressed_after;
        const char* kind;           // "box", "dialog" or "" for nothing shown
    };
    const reaction_case cases[] = {
        {"level 1 ends the operation", 1, false, false, {"OK", false, {}}, true, false, "box"},
        {"level 1 may go on", 1, true, false, {"OK", false, {}}, false, false, "box"},
        {"level 1 suppressed: no box", 1, false, true, {}, true, true, ""},
        {"level 0 continue", 0, false, false, {"Continue", false, {}}, false, false, "dialog"},
        {"level 0 tick and continue", 0, false, false, {"Continue", true, {}}, false, true,
         "dialog"},
        {"level 0 abort keeps no tick", 0, false, false, {"Abort", true, {}}, true, false,
         "dialog"},
        {"level 0 abort that may go on keeps the tick", 0, true, false, {"Abort", true, {}},
         false, true, "dialog"},
        {"level 0 escape means continue", 0, false, false,
         {"", false, [](QWidget* w) { QTest::keyClick(w, Qt::Key_Escape); }}, false, false,
         "dialog"},
        {"level 0 suppressed: nothing", 0, false, true, {}, false, true, ""},
        {"level 3 as level 0", 3, false, false, {"Abort", false, {}}, true, false, "dialog"},
    };
    for (const reaction_case& c : cases) {
        shell.clear_errors();
        handler.set_suppress(c.suppressed_before);
        handler.set_context(L"t");
        modal_script script;
        if (*c.kind)
            script.add(c.answer);
        bool thrown = false;
        try {
            handler.handle(tk_exception("50% <b>bold</b> & more\nnext line", c.level),
                           c.may_continue);
        } catch (const tk_final_exception&) {
            thrown = true;
        }
        handler.clear_context();
        EXPECT_EQ(thrown, c.throws) << c.what;
        EXPECT_EQ(handler.is_suppressed(), c.suppressed_after) << c.what;
        EXPECT_EQ(script.seen_widgets().size(), *c.kind ? 1u : 0u) << c.what;
        const std::string text = "t: 50% <b>bold</b> & more next line";
        if (*c.kind && !script.seen_widgets().empty()) {
            EXPECT_EQ(script.seen_widgets()[0].kind.toStdString(), c.kind) << c.what;
            EXPECT_EQ(script.texts()[0], text) << c.what;
            EXPECT_EQ(script.seen_widgets()[0].caption.toStdString(), "Dravenor 1.0  Error")
                << c.what;
        }
        EXPECT_EQ(shell.get_errors(), std::vector<std::string>{text}) << c.what;
        // an abort outside a run ends that operation only: no closing line
        EXPECT_EQ(shell.get_closing_line(), "") << c.what;
    }
}

TEST_F(wizard_errors, error_list_keeps_twenty_and_a_run_start_empties_it)
{
    handler.set_suppress(true);
    for (int i = 1; i <= 25; ++i) {
        try {
            handler.handle(tk_exception("error " + std::to_string(i), 1), false);
        } catch (const tk_final_exception&) {
        }
    }
    const std::vector<std::string> listed = shell.get_errors();
    ASSERT_EQ(listed.size(), 20u);
    EXPECT_EQ(listed.front(), "error 1");
    EXPECT_EQ(listed.back(), "error 20");

    // errors of the pages before a run are not the run's
    shell.set_closing_line("closing");
    wizard_run_hooks hooks;
    hooks.on_start();
    EXPECT_TRUE(shell.get_errors().empty());
    EXPECT_EQ(shell.get_closing_line(), "");
    EXPECT_TRUE(shell.is_timer_running());
    shell.stop_timer();
}

TEST_F(wizard_errors, boxes_and_dialogs_show_server_texts_trimmed_with_tabs_as_blanks)
{
    const std::pair<std::wstring, std::string> cases[] = {
        {L"FATAL:  password authentication failed for user \"x\"\n",
         "FATAL:  password authentication failed for user \"x\""},
        {L"Connection refused\n\tIs the server running?\n",
         "Connection refused\n Is the server running?"},
        {L"a\tb \t\r\n\n", "a b"},
        {L"\n\t\n", ""},
        {L"  kept in front, 100% as it is", "  kept in front, 100% as it is"},
    };
    for (const auto& [text, shown] : cases) {
        modal_script script({{"OK", false, {}}, {"OK", false, {}}, {"Continue", false, {}}});
        wizard_shell::error(text);
        wizard_shell::message(text);
        dlg_error_continue(text).run();
        EXPECT_EQ(script.texts(), std::vector<std::string>(3, shown)) << shown;
    }
}

TEST_F(wizard_errors, internal_error_dialog_copies_and_mails_the_raw_text)
{
    url_catcher catcher;
    QDesktopServices::setUrlHandler(QStringLiteral("mailto"), &catcher, "take");
    const std::wstring message = L"50% <b>bold</b> & more\nnext line \u00e9";
    modal_script script({{"Copy to clipboard", false, {}}, {"Send bug", false, {}}});
    EXPECT_EQ(dlg_error_ex(message).run(), dlg_error_ex::id_copy);
    EXPECT_EQ(QGuiApplication::clipboard()->text().toStdU16String(),
              std::u16string(message.begin(), message.end()));
    EXPECT_EQ(dlg_error_ex(message).run(), dlg_error_ex::id_send_bug);
    QDesktopServices::unsetUrlHandler(QStringLiteral("mailto"));

    ASSERT_EQ(script.seen_widgets().size(), 2u);
    EXPECT_EQ(script.seen_widgets()[0].caption.toStdString(), "Dravenor 1.0  Error");
    EXPECT_EQ(script.texts()[0], "50% <b>bold</b> & more\nnext line \xc3\xa9");
    ASSERT_EQ(catcher.urls.size(), 1);
    EXPECT_EQ(catcher.urls[0].toEncoded().toStdString(),
              tk_bug_mail_url("Dravenor 1.0 ", "50% <b>bold</b> & more\nnext line \xc3\xa9"));
    EXPECT_EQ(catcher.urls[0].toEncoded().toStdString(),
              "mailto:bugs@varnholt.invalid?subject=Bug%20report%20on%20Dravenor%201.0%20"
              "&body=50%25%20%3Cb%3Ebold%3C%2Fb%3E%20%26%20more%0D%0Anext%20line%20%C3%A9");
}

TEST(wizard_url, encoding_keeps_unreserved_and_makes_line_breaks_crlf)
{
    const std::pair<std::string, std::string> cases[] = {
        {"", ""},
        {"AZaz09-._~", "AZaz09-._~"},
        {"a b", "a%20b"},
        {"%&=?#+/", "%25%26%3D%3F%23%2B%2F"},
        {"a\nb", "a%0D%0Ab"},
        {"a\r\nb", "a%0D%0Ab"},
        {"a\rb", "a%0D%0Ab"},
        {"\n\n", "%0D%0A%0D%0A"},
        {"\xc3\xa9\xe2\x82\xac", "%C3%A9%E2%82%AC"},
    };
    for (const auto& [text, encoded] : cases)
        EXPECT_EQ(tk_url_encode(text), encoded) << text;
}

// the child of the death test: an internal error raised on a worker thread
void internal_error_on_a_worker()
{
    gui_thread::end_closing();
    qt_wizard_services services;
    error_handler handler{oracle_error_count, oracle_errors};
    wizard_error_reaction reaction;
    handler.set_reaction(&reaction);
    modal_script script({{"", false, [](QWidget* w) {
                              std::fprintf(stderr, "dialog|%s|%s\n",
                                           w->windowTitle().toUtf8().constData(),
                                           control_text(w, "1320").toUtf8().constData());
                              std::fflush(stderr);
                              w->findChild<QAbstractButton*>("1")->click();
                          }}});
    std::thread worker([&handler] { handler.handle(tk_exception("broken <state>", 2), true); });
    worker.detach();
    const test_watchdog watchdog("the internal error dialog and the exit");
    for (;;)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
}

TEST(wizard_death, internal_error_on_a_worker_shows_the_dialog_and_exits_255)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(internal_error_on_a_worker(), testing::ExitedWithCode(255),
                "dialog\\|Error\\|broken <state>");
}

#include "error_reaction_test.moc"
