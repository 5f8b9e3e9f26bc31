#include "modal_script.hpp"
#include "page_helpers.hpp"
#include "wizard_fixture.hpp"

#include "error_handler.hpp"
#include "g_f_dlg.hpp"
#include "g_gui_call.hpp"
#include "g_qt_page.hpp"
#include "g_qt_sheet.hpp"
#include "g_qt_svc.hpp"
#include "g_wiz_sh.hpp"
#include "qlx_error.hpp"
#include "qlx_finish.hpp"
#include "qlx_progress.hpp"
#include "qlx_run.hpp"
#include "qlx_welcome.hpp"
#include "tarnova_convertor.hpp"
#include "tk_utils.hpp"

#include <QApplication>
#include <QLineEdit>
#include <QAbstractButton>
#include <QFileDialog>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <stdexcept>

#include <sys/stat.h>

TEST(wizard_progress, position_is_the_tables_share_never_beyond_100)
{
    struct position_case {
        std::uint32_t tab_done, tab_total, rec_done, rec_total;
        int position;
    };
    const position_case cases[] = {
        {0, 0, 0, 0, 0},                        // no tables
        {0, 0, 5, 10, 0},
        {1, 4, 50, 200, 31},                    // 25 + 6
        {2, 4, 0, 0, 50},                       // an empty table adds nothing
        {4, 4, 0, 0, 100},
        {0, 1, 50000000, 100000000, 50},        // beyond 42,949,672 records
        {0, 3, 4000000000u, 4000000000u, 33},
        {3, 3, 10, 10, 100},                    // never beyond 100
        {5, 3, 0, 0, 100},
    };
    for (const position_case& c : cases)
        EXPECT_EQ(progress_position(c.tab_done, c.tab_total, c.rec_done, c.rec_total), c.position)
            << c.tab_done << "/" << c.tab_total << " " << c.rec_done << "/" << c.rec_total;
}

TEST(wizard_progress, status_text_is_cut_to_255_characters)
{
    EXPECT_EQ(progress_status(L"t"), L"Processing table 't'");
    const std::wstring status = progress_status(std::wstring(300, L'x'));
    EXPECT_EQ(status.size(), 255u);
    EXPECT_EQ(status.substr(0, 18), L"Processing table '");
}

TEST(wizard_file_dialogs, save_appends_the_extension_unless_the_name_holds_it)
{
    const std::pair<std::wstring, std::wstring> cases[] = {
        {L"/d/settings", L"/d/settings.qlx"},
        {L"/d/settings.qlx", L"/d/settings.qlx"},
        {L"/d/my.qlx.old", L"/d/my.qlx.old"},
        {L"/d/a.QLX", L"/d/a.QLX.qlx"},
        {L"/d.qlx/a", L"/d.qlx/a"},
    };
    for (const auto& [chosen, saved] : cases)
        EXPECT_EQ(save_file_dialog::with_extension(chosen, L".qlx"), saved);
    EXPECT_EQ(profile_file_filters(L"qlx"),
              (std::vector<std::wstring>{L"Profile Files (.qlx) (*.qlx)", L"All Files (*)"}));
}

namespace {

// a progress page whose thread cannot be made
class unstartable_progress_page : public progress_page {
protected:
    bool start_conversion() override { return false; }
};

// the shell with a progress and a finish page, the conversion task and the handler
class wizard_pages : public testing::Test {
protected:
    void SetUp() override
    {
        reset_settings();
        gui_thread::end_closing();
        handler.set_reaction(&reaction);
        task.set_hooks(&hooks);
    }
    void TearDown() override { handler.set_reaction(nullptr); }

    int run(wizard_page& first, std::vector<std::function<bool()>> steps)
    {
        shell.add_page(first);
        shell.add_page(finish);
        return run_sheet_steps(shell, sheet, std::move(steps));
    }

    std::function<bool()> on_finish_page()
    {
        return [this] { return sheet->currentId() == 1; };
    }

    // steps on the finish page: "Save Settings", Finish
    std::function<bool()> press_save()
    {
        return [this] {
            sheet->page_at(1)->findChild<QPushButton*>(QStringLiteral("1116"))->click();
            return true;
        };
    }
    std::function<bool()> press_finish()
    {
        return [this] {
            sheet->button(QWizard::FinishButton)->click();
            return true;
        };
    }

    qt_wizard_services services;
    error_handler handler{oracle_error_count, oracle_errors};
    wizard_error_reaction reaction;
    tarnova_convertor task{tarnova_convertor::program::wizard};
    wizard_run_hooks hooks;
    wizard_shell shell{L"Dravenor 1.0 ", 0, 0, 0};
    qlx_finish_page finish;
    qt_wizard_sheet* sheet = nullptr;
    test_temp_dir dir{"wizard_pages"};
};

} // namespace

TEST_F(wizard_pages, thread_that_cannot_start_is_reported_and_the_finish_page_follows)
{
    unstartable_progress_page progress;
    modal_script script({{"OK", false, {}}});
    QString listed;
    bool cancel_enabled = true;
    EXPECT_EQ(run(progress, {on_finish_page(),
                             [&] {
                                 listed = page_text(1, 1016);
                                 cancel_enabled =
                                     sheet->button(QWizard::CancelButton)->isEnabled();
                                 sheet->button(QWizard::FinishButton)->click();
                                 return true;
                             }}),
              1);
    const std::string text =
        "The conversion could not be started: the system refused to create its thread.";
    ASSERT_EQ(script.seen_widgets().size(), 1u);
    EXPECT_EQ(script.texts()[0], text);
    EXPECT_EQ(listed.toStdString(), text + "\n\n");
    EXPECT_FALSE(cancel_enabled);
}

TEST_F(wizard_pages, finish_page_lists_server_texts_trimmed_with_tabs_as_blanks)
{
    // the run's errors as libpq gives them, then its thread cannot start
    struct failing_page : unstartable_progress_page {
        bool start_conversion() override
        {
            wizard_shell::instance().add_error("could not connect\n\tIs the server running?\n");
            wizard_shell::instance().add_error("a\tb \t\n");
            return false;
        }
    } progress;
    modal_script script({{"OK", false, {}}});
    QString listed;
    EXPECT_EQ(run(progress, {on_finish_page(),
                             [&] {
                                 listed = page_text(1, 1016);
                                 sheet->button(QWizard::FinishButton)->click();
                                 return true;
                             }}),
              1);
    EXPECT_EQ(listed.toStdString(),
              "could not connect  Is the server running?\n\na b\n\nThe conversion could not be "
              "started: the system refused to create its thread.\n\n");
}

TEST_F(wizard_pages, standard_exception_that_ends_a_run_is_shown_and_listed)
{
    shell.on_sheet_init();
    modal_script script({{"OK", false, {}}});
    hooks.on_std_exception(std::runtime_error("bad_alloc\nhere"));
    ASSERT_EQ(script.seen_widgets().size(), 1u);
    EXPECT_EQ(script.texts()[0], "bad_alloc here");
    EXPECT_EQ(shell.get_errors(), std::vector<std::string>{"bad_alloc here"});
}

TEST_F(wizard_pages, save_settings_writes_the_profile_or_says_where_and_why_it_could_not)
{
    unstartable_progress_page progress;
    const std::string saved = dir.file("saved");
    // failures that hold for root as well: no such directory, a file where a directory
    // should be, and a name that the appended extension makes a directory's
    const std::string plain = dir.write("plain", "x");
    std::filesystem::create_directory(dir.file("folder.qlx"));
    const struct {
        std::string chosen, path;
        int error;
    } blocked[] = {
        {dir.file("missing/blocked.qlx"), dir.file("missing/blocked.qlx"), ENOENT},
        {plain + "/blocked.qlx", plain + "/blocked.qlx", ENOTDIR},
        {dir.file("folder"), dir.file("folder.qlx"), EISDIR},
    };
    std::vector<modal_script::answer> answers{{"OK", false, {}}, choose_file(saved)};
    std::vector<std::function<bool()>> steps{on_finish_page()};
    const auto save = press_save();
    steps.push_back(save);
    for (const auto& b : blocked) {
        answers.push_back(choose_file(b.chosen));
        answers.push_back({"OK", false, {}});
        steps.push_back(save);
    }
    int still_on_finish = -1;
    steps.push_back([&] {
        still_on_finish = sheet->currentId();
        return true;
    });
    // the dialog cancelled: nothing is said
    answers.push_back({"Cancel", false, {}});
    steps.push_back(save);
    steps.push_back(press_finish());
    task.set_source_name(L"saved_source");
    modal_script script(answers);
    EXPECT_EQ(run(progress, std::move(steps)), 1);
    EXPECT_EQ(still_on_finish, 1);
    const std::string profile = test_read_file(saved + ".qlx");
    EXPECT_NE(profile.find("src=saved_source\r\n"), std::string::npos) << profile;
    ASSERT_EQ(script.seen_widgets().size(), answers.size());
    EXPECT_EQ(script.seen_widgets()[1].kind.toStdString(), "file");
    EXPECT_EQ(script.seen_widgets()[1].caption.toStdString(), "Select Profile File");
    for (std::size_t i = 0; i < std::size(blocked); ++i) {
        EXPECT_EQ(script.seen_widgets()[3 + 2 * i].kind.toStdString(), "box");
        EXPECT_EQ(script.texts()[3 + 2 * i],
                  "Profile '" + blocked[i].path + "' cannot be saved: "
                      + std::strerror(blocked[i].error)
                      + ". Please verify the path and that the file may be written.");
    }
    EXPECT_EQ(test_read_file(plain), "x");
    EXPECT_TRUE(std::filesystem::is_empty(dir.file("folder.qlx")));
}

TEST_F(wizard_pages, save_settings_names_a_value_a_profile_cannot_keep_and_writes_nothing)
{
    unstartable_progress_page progress;
    const std::string path = dir.file("blank.qlx");
    const struct {
        std::function<void(tarnova_convertor&)> set;
        std::string text;
    } cases[] = {
        {[](tarnova_convertor& t) { t.password = L"tiger "; },
         "Profile cannot be saved: the value of 'password' in [Oracle settings] ends in a blank, "
         "and profile lines lose their trailing blanks when they are read. A password that ends "
         "in a blank can be typed into the wizard's page instead of being kept in a profile."},
        {[](tarnova_convertor& t) { t.pgs().password = " "; },
         "Profile cannot be saved: the value of 'password' in [pgs settings] ends in a blank, "
         "and profile lines lose their trailing blanks when they are read. A password that ends "
         "in a blank can be typed into the wizard's page instead of being kept in a profile."},
        {[](tarnova_convertor& t) { t.user = L"scott "; },
         "Profile cannot be saved: the value of 'user' in [Oracle settings] ends in a blank, and "
         "profile lines lose their trailing blanks when they are read. Please verify the value."},
        {[](tarnova_convertor& t) { t.pgs().password = "a\nb"; },
         "Profile cannot be saved: the value of 'password' in [pgs settings] holds a line break, "
         "which a profile line cannot hold."},
        {[](tarnova_convertor& t) { t.host = std::wstring(5000, L'h'); },
         "Profile cannot be saved: the line of 'host' in [Oracle settings] would be longer than "
         "the 4095 bytes a profile line may hold."},
    };
    std::vector<modal_script::answer> answers{{"OK", false, {}}};
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        answers.push_back(choose_file(path));
        answers.push_back({"OK", false, {}});
    }
    modal_script script(answers);
    std::vector<QString> focus;
    std::vector<std::function<bool()>> steps{on_finish_page()};
    for (const auto& c : cases)
        steps.push_back([&, set = c.set] {
            // each value alone: the others as they were
            const std::wstring password = task.password, user = task.user, host = task.host;
            const std::string pgs_password = task.pgs().password;
            set(task);
            auto* save = sheet->page_at(1)->findChild<QPushButton*>(QStringLiteral("1116"));
            save->setFocus();
            save->click();
            // the window system gives the sheet the activation back when the box closes
            sheet->activateWindow();
            EXPECT_TRUE(QTest::qWaitForWindowActive(sheet, test_deadline_ms));
            QWidget* w = QApplication::focusWidget();
            focus.push_back(w ? w->objectName() : QString());
            task.password = password;
            task.user = user;
            task.host = host;
            task.pgs().password = pgs_password;
            return true;
        });
    steps.push_back(press_finish());
    EXPECT_EQ(run(progress, std::move(steps)), 1);
    ASSERT_EQ(script.texts().size(), 1 + 2 * std::size(cases));
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        EXPECT_EQ(script.texts()[2 + 2 * i], cases[i].text);
        EXPECT_EQ(script.seen_widgets()[2 + 2 * i].kind.toStdString(), "box");
        // the keyboard is back on the button, for another try
        EXPECT_EQ(focus.at(i).toStdString(), "1116") << i;
    }
    EXPECT_FALSE(std::filesystem::exists(path));
}

TEST_F(wizard_pages, save_settings_asks_before_it_replaces_a_file_and_no_keeps_it)
{
    unstartable_progress_page progress;
    const std::string older = dir.write("older.qlx", "[Generic settings]\r\nsrc=older\r\n");
    // a link in the place of the name is a file the save would replace as well
    const std::string link = dir.file("link.qlx");
    ASSERT_EQ(symlink(dir.file("nowhere").c_str(), link.c_str()), 0);
    const std::string fresh = dir.file("fresh.qlx");
    const auto question = [](const std::string& path) {
        return "Profile '" + path + "' already exists. Do you want to replace it?";
    };
    // chosen, then the question's answer ("" for none asked)
    const struct {
        std::string chosen;
        const char* answer;
        std::string asked;
    } cases[] = {
        {older, "No", question(older)},
        // the name the dialog gave is completed with the extension: that file is the one asked for
        {dir.file("older"), "No", question(older)},
        {link, "No", question(link)},
        {fresh, "", ""},
        {dir.file("older"), "Yes", question(older)},
    };
    std::vector<modal_script::answer> answers{{"OK", false, {}}};
    std::vector<std::function<bool()>> steps{on_finish_page()};
    // the older file after each save
    std::vector<std::string> older_after;
    for (const auto& c : cases) {
        answers.push_back(choose_file(c.chosen));
        if (*c.answer)
            answers.push_back({c.answer, false, {}});
        steps.push_back([save = press_save(), &older_after, &older] {
            save();
            older_after.push_back(test_read_file(older));
            return true;
        });
    }
    steps.push_back(press_finish());
    task.set_source_name(L"saved_source");
    modal_script script(answers);
    EXPECT_EQ(run(progress, std::move(steps)), 1);
    ASSERT_EQ(script.seen_widgets().size(), answers.size());
    std::size_t seen = 1;
    for (const auto& c : cases) {
        EXPECT_EQ(script.seen_widgets()[seen++].kind.toStdString(), "file");
        if (c.asked.empty())
            continue;
        const modal_script::seen& box = script.seen_widgets()[seen++];
        EXPECT_EQ(box.kind.toStdString(), "box");
        EXPECT_EQ(box.caption.toStdString(), "Dravenor 1.0  Question");
        EXPECT_EQ(box.text.toStdString(), c.asked);
    }
    // No kept the file and the link as they were; Yes replaced it
    ASSERT_EQ(older_after.size(), std::size(cases));
    for (std::size_t i = 0; i + 1 < std::size(cases); ++i)
        EXPECT_EQ(older_after[i], "[Generic settings]\r\nsrc=older\r\n") << i;
    EXPECT_NE(older_after.back().find("src=saved_source\r\n"), std::string::npos)
        << older_after.back();
    EXPECT_TRUE(std::filesystem::is_symlink(link));
    EXPECT_FALSE(std::filesystem::exists(dir.file("nowhere")));
    EXPECT_NE(test_read_file(fresh).find("src=saved_source\r\n"), std::string::npos);
}

TEST_F(wizard_pages, enter_presses_the_focused_button_and_elsewhere_the_pages_default)
{
    welcome_page welcome;
    unstartable_progress_page progress;
    shell.add_page(welcome);
    shell.add_page(progress);
    shell.add_page(finish);
    const std::string loaded = dir.write("loaded.qlx", "[Generic settings]\r\nsrc=loaded\r\n");
    const std::string saved = dir.file("saved.qlx");
    // a file dialog gets the path, a box its OK: an Enter that pressed another button than
    // the one meant shows in the pages, not as a script out of step
    const auto file_or_ok = [](const std::string& path) {
        return modal_script::answer{"", false, [path](QWidget* w) {
                                        if (qobject_cast<QFileDialog*>(w))
                                            choose_file(path).act(w);
                                        else
                                            go_on().act(w);
                                    }};
    };
    modal_script script({file_or_ok(loaded), file_or_ok(""), file_or_ok(saved)});
    // Enter as the window system delivers it: to the widget that has the keyboard
    const auto enter_on = [this](QWidget* w) {
        sheet->activateWindow();
        EXPECT_TRUE(QTest::qWaitForWindowActive(sheet, test_deadline_ms));
        w->setFocus(Qt::TabFocusReason);
        EXPECT_EQ(QApplication::focusWidget(), w) << w->objectName().toStdString();
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
    };
    const auto on = [this](int id) { return [this, id] { return sheet->currentId() == id; }; };
    int page_after_load = -1, page_after_save = -1;
    std::string source;
    EXPECT_EQ(run_sheet_steps(
                  shell, sheet,
                  {on(0),
                   [&] {
                       enter_on(sheet->page_at(0)->findChild<QPushButton*>("1115"));
                       page_after_load = sheet->currentId();
                       source = tk_to_ansi(task.get_source_name());
                       return true;
                   },
                   // the page itself has the keyboard: Next
                   [&] {
                       enter_on(sheet->currentPage());
                       return true;
                   },
                   on(2),
                   [&] {
                       enter_on(sheet->page_at(2)->findChild<QPushButton*>("1116"));
                       page_after_save = sheet->currentId();
                       return true;
                   },
                   // the error list: Finish
                   [&] {
                       enter_on(sheet->page_at(2)->findChild<QPlainTextEdit*>("1016"));
                       return true;
                   }}),
              1);
    EXPECT_EQ(page_after_load, 0);
    EXPECT_EQ(source, "loaded");
    EXPECT_EQ(page_after_save, 2);
    EXPECT_NE(test_read_file(saved).find("src=loaded\r\n"), std::string::npos);
    EXPECT_EQ(script.seen_widgets().size(), 3u);
}

TEST_F(wizard_pages, saved_profile_is_readable_by_its_owner_only)
{
    unstartable_progress_page progress;
    const std::string fresh = dir.file("fresh.qlx");
    // an older profile that everyone may read: the save narrows it
    const std::string older = dir.write("older.qlx", "[Generic settings]\r\n");
    ASSERT_EQ(chmod(older.c_str(), 0644), 0);
    task.password = L"oracle secret";
    task.pgs().password = "pgs secret";
    modal_script script(
        {{"OK", false, {}}, choose_file(fresh), choose_file(older), {"Yes", false, {}}});
    const auto save = press_save();
    // no umask to hide behind: the mode is the writer's own
    const mode_t old_mask = umask(0);
    EXPECT_EQ(run(progress, {on_finish_page(), save, save, press_finish()}), 1);
    umask(old_mask);
    EXPECT_EQ(script.seen_widgets().size(), 4u);
    for (const std::string& path : {fresh, older}) {
        struct stat st {};
        ASSERT_EQ(stat(path.c_str(), &st), 0) << path;
        EXPECT_EQ(st.st_mode & 07777, 0600u) << path;
        const std::string profile = test_read_file(path);
        EXPECT_NE(profile.find("password=oracle secret\r\n"), std::string::npos) << profile;
        EXPECT_NE(profile.find("password=pgs secret\r\n"), std::string::npos) << profile;
    }
}

TEST(wizard_help, help_opens_the_file_beside_the_program_at_the_topic)
{
    qt_wizard_services services;
    {
        fake_help help;
        wizard_shell::display_help(1013);
        EXPECT_EQ(help.viewer_args(), "--contextid=1013\n" + fake_help::help_file() + "\n");
    }
    {
        fake_help help;
        wizard_shell::display_help();
        EXPECT_EQ(help.viewer_args(), fake_help::help_file() + "\n");
    }
    {
        fake_help help(false);
        modal_script script({{"OK", false, {}}});
        wizard_shell::display_help(1017);
        EXPECT_EQ(script.texts(),
                  std::vector<std::string>{"Help file does not exist. Reinstall the program."});
        EXPECT_EQ(help.viewer_args(false), "");
    }
}

TEST(wizard_start, no_display_exits_255)
{
    // without an argument too: the sheet never comes up
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{TARNOVA_PATH, "p.qlx"}, std::vector<std::string>{TARNOVA_PATH}}) {
        std::string out;
        std::string err;
        const int status = test_run_process(
            args, {"QT_QPA_PLATFORM=xcb", "DISPLAY=", "WAYLAND_DISPLAY="}, "", &out, &err);
        EXPECT_EQ(status, 255);
        EXPECT_NE(err.find("Failed to initialize GUI library\n"), std::string::npos) << err;
    }
}
