#include "wizard_fixture.hpp"

#include "error_handler.hpp"
#include "g_gui_call.hpp"
#include "g_qt_page.hpp"
#include "g_qt_sheet.hpp"
#include "g_qt_svc.hpp"
#include "g_wiz_pg.hpp"
#include "g_wiz_sh.hpp"
#include "tk_except.hpp"

#include <QAbstractButton>
#include <QLineEdit>
#include <QMessageBox>
#include <QTest>

#include <gtest/gtest.h>

#include <future>
#include <memory>
#include <thread>

namespace {

class test_page : public wizard_page {
public:
    enum { id_edit = 1000 };

    test_page(int template_id, int flags, int buttons) : wizard_page(template_id)
    {
        add_flags(flags);
        if (!(flags & page_hide_header))
            set_header(L"Step", L"A page of the test");
        set_buttons(buttons);
        add_control({id_edit, control_kind::edit, L"", 0});
    }

    bool page_init() override
    {
        ++inits;
        if (clear_buttons)
            wizard_shell::instance().set_wizard_buttons(0);
        return init_result;
    }
    int on_next() override { return next_result; }
    void on_help() override { ++helps; }
    void on_timer(int id) override { timers.push_back(id); }

    void buttons(int flags) { set_buttons(flags); }

    bool init_result = true;
    bool clear_buttons = false;
    int next_result = 0;
    int inits = 0;
    int helps = 0;
    std::vector<int> timers;
};

// a sheet of three pages on the screen, with the services and an error handler
class wizard_sheet : public testing::Test {
protected:
    void SetUp() override
    {
        gui_thread::end_closing();
        first.init_result = true;
        shell.add_page(first);
        shell.add_page(second);
        shell.add_page(last);
    }

    // runs the steps while the sheet is shown; the sheet's result
    int run(std::vector<std::function<bool()>> steps)
    {
        return run_sheet_steps(shell, sheet, std::move(steps));
    }

    // a step that clicks a button and is done
    std::function<bool()> click(QWizard::WizardButton which)
    {
        return [this, which] {
            sheet->button(which)->click();
            return true;
        };
    }

    error_handler handler{oracle_error_count, oracle_errors};
    qt_wizard_services services;
    wizard_shell shell{L"Dravenor 1.0 ", 0, 0, 0};
    test_page first{103, page_has_help | page_hide_header, wizard_next};
    test_page second{134, page_has_help, wizard_back | wizard_next};
    test_page last{116, page_hide_header, wizard_finish};
    qt_wizard_sheet* sheet = nullptr;
};

} // namespace

TEST_F(wizard_sheet, next_answered_minus_one_stays_and_finish_gives_1)
{
    first.next_result = -1;
    std::vector<int> ids;
    const int result = run({
        click(QWizard::NextButton),
        [&] {
            ids.push_back(sheet->currentId());
            first.next_result = 0;
            return true;
        },
        click(QWizard::NextButton),
        [&] {
            ids.push_back(sheet->currentId());
            return true;
        },
        click(QWizard::NextButton),
        [&] {
            ids.push_back(sheet->currentId());
            return true;
        },
        click(QWizard::FinishButton),
    });
    EXPECT_EQ(result, 1);
    EXPECT_EQ(ids, (std::vector<int>{0, 1, 2}));
}

TEST_F(wizard_sheet, page_that_declines_is_skipped_in_both_directions)
{
    test_page fourth{127, page_has_help, wizard_back | wizard_finish};
    shell.add_page(fourth);
    second.init_result = false;
    last.init_result = false;
    std::vector<int> ids;
    const auto record = [&] {
        ids.push_back(sheet->currentId());
        return true;
    };
    modal_script script({{"Yes", false, {}}});
    EXPECT_EQ(run({click(QWizard::NextButton), record, click(QWizard::BackButton), record,
                   click(QWizard::CancelButton)}),
              0);
    EXPECT_EQ(ids, (std::vector<int>{3, 0}));
    EXPECT_EQ(second.inits, 2);
    EXPECT_EQ(last.inits, 2);
}

TEST_F(wizard_sheet, buttons_follow_each_page_and_help_shows_where_the_page_has_it)
{
    struct state {
        bool back, next, finish, cancel, help;
    };
    std::vector<state> states;
    const auto record = [&] {
        states.push_back({sheet->button(QWizard::BackButton)->isEnabled(),
                          sheet->button(QWizard::NextButton)->isEnabled(),
                          sheet->button(QWizard::FinishButton)->isEnabled(),
                          sheet->button(QWizard::CancelButton)->isEnabled(),
                          sheet->button(QWizard::HelpButton)->isVisible()});
        return true;
    };
    // the finish page disables Cancel and Help itself; this one leaves them
    second.clear_buttons = true;
    EXPECT_EQ(run({record, click(QWizard::NextButton), record,
                   [&] {
                       // the page cleared its buttons: Next goes through the model only
                       sheet->move_to(2);
                       return true;
                   },
                   record, click(QWizard::FinishButton)}),
              1);
    ASSERT_EQ(states.size(), 3u);
    EXPECT_FALSE(states[0].back);
    EXPECT_TRUE(states[0].next);
    EXPECT_TRUE(states[0].help);
    EXPECT_FALSE(states[1].back || states[1].next || states[1].finish);
    EXPECT_TRUE(states[1].cancel);
    EXPECT_FALSE(states[2].back);
    EXPECT_TRUE(states[2].finish);
    EXPECT_FALSE(states[2].help);
}

TEST_F(wizard_sheet, f1_and_the_help_button_reach_the_page)
{
    modal_script script({{"Yes", false, {}}});
    run({click(QWizard::HelpButton),
         [&] {
             QTest::keyClick(sheet, Qt::Key_F1);
             return true;
         },
         click(QWizard::CancelButton)});
    EXPECT_EQ(first.helps, 2);
}

TEST_F(wizard_sheet, cancel_escape_and_close_box_ask_and_no_keeps_page_and_input)
{
    modal_script script({{"No", false, {}}, {"No", false, {}}, {"No", false, {}},
                         {"Yes", false, {}}});
    std::vector<std::string> kept;
    const auto check = [&] {
        auto* edit = sheet->page_at(1)->findChild<QLineEdit*>(QStringLiteral("1000"));
        kept.push_back(sheet->isVisible() && sheet->currentId() == 1
                           ? edit->text().toStdString()
                           : std::string("gone"));
        return true;
    };
    const int result = run({
        click(QWizard::NextButton),
        [&] {
            sheet->page_at(1)->findChild<QLineEdit*>(QStringLiteral("1000"))->setText("typed");
            return true;
        },
        click(QWizard::CancelButton), check,
        [&] {
            QTest::keyClick(sheet, Qt::Key_Escape);
            return true;
        },
        check,
        [&] {
            sheet->close();
            return true;
        },
        check, click(QWizard::CancelButton),
    });
    EXPECT_EQ(result, 0);
    EXPECT_EQ(kept, (std::vector<std::string>{"typed", "typed", "typed"}));
    ASSERT_EQ(script.seen_widgets().size(), 4u);
    for (const modal_script::seen& s : script.seen_widgets()) {
        EXPECT_EQ(s.text.toStdString(), "Are you sure you want to exit the wizard?");
        EXPECT_EQ(s.caption.toStdString(), "Dravenor 1.0  Question");
        EXPECT_TRUE(s.owned);
    }
}

TEST_F(wizard_sheet, progress_timer_reaches_the_page_and_other_ids_do_not)
{
    EXPECT_FALSE(shell.is_timer_running());
    run({[&] {
             shell.start_timer(20);
             return true;
         },
         [&] { return first.timers.size() >= 2; },
         [&] {
             shell.stop_timer();
             shell.on_timer(5);
             return true;
         },
         click(QWizard::NextButton), click(QWizard::NextButton), click(QWizard::FinishButton)});
    ASSERT_GE(first.timers.size(), 2u);
    for (int id : first.timers)
        EXPECT_EQ(id, wizard_shell::progress_timer_id);
}

TEST_F(wizard_sheet, second_timer_start_is_an_internal_error)
{
    shell.start_timer(200);
    try {
        shell.start_timer(200);
        FAIL() << "no error";
    } catch (const tk_exception& e) {
        EXPECT_EQ(e.get_level(), 2);
    }
    EXPECT_TRUE(shell.is_timer_running());
    shell.stop_timer();
    shell.stop_timer();
    EXPECT_FALSE(shell.is_timer_running());
}

TEST_F(wizard_sheet, boxes_have_caption_and_owner_by_initialisation)
{
    modal_script script({{"OK", false, {}}, {"OK", false, {}}, {"Yes", false, {}},
                         {"Yes", false, {}}});
    wizard_shell::error(std::wstring(L"before"));
    bool worker_answer = false;
    run({[&] {
             wizard_shell::message(L"after");
             return true;
         },
         [&] {
             // asked from a worker: shown on this thread, the answer goes back
             auto asked = std::async(std::launch::async,
                                     [] { return wizard_shell::question(L"from a worker?"); });
             test_wait_until(
                 [&] {
                     QCoreApplication::processEvents();
                     return asked.wait_for(std::chrono::milliseconds(10))
                            == std::future_status::ready;
                 },
                 "the worker's answer");
             worker_answer = asked.get();
             return true;
         },
         click(QWizard::CancelButton)});
    const std::vector<modal_script::seen>& seen = script.seen_widgets();
    ASSERT_EQ(seen.size(), 4u);
    EXPECT_EQ(seen[0].caption.toStdString(), "Error");
    EXPECT_FALSE(seen[0].owned);
    EXPECT_EQ(seen[1].caption.toStdString(), "Dravenor 1.0  Message");
    EXPECT_TRUE(seen[1].owned);
    EXPECT_EQ(seen[2].caption.toStdString(), "Dravenor 1.0  Question");
    EXPECT_EQ(seen[2].text.toStdString(), "from a worker?");
    EXPECT_TRUE(worker_answer);
}
