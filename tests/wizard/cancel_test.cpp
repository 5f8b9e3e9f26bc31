#include "wizard_fixture.hpp"

#include "g_errdlg.hpp"
#include "g_gui_call.hpp"
#include "g_qt_sheet.hpp"
#include "g_qt_svc.hpp"
#include "tarnova_convertor.hpp"
#include "test_pg_hold.hpp"
#include "test_wait.hpp"

#include <QAbstractButton>

#include <future>
#include <memory>
#include <thread>

TEST_F(wizard_conversion, cancel_during_a_run_asks_and_yes_stops_after_the_record_in_hand)
{
    pg.exec("CREATE TABLE big (id int, v text);"
            "INSERT INTO big SELECT g, 'row ' || g FROM generate_series(1, 3000) g");
    // the run waits at row 2000 while the user answers "No", then at row 2500 while they
    // answer "Yes"; some rows are in by then
    const std::unique_ptr<test_pg_hold> at_no = test_pg_hold::rows(pg, 0);
    const std::unique_ptr<test_pg_hold> at_yes = test_pg_hold::rows(pg, 1);
    const std::string path = profile("big=SELECT id, v FROM big WHERE "
                                     + test_pg_hold::row_filter("id = 2000", 0) + " AND "
                                     + test_pg_hold::row_filter("id = 2500", 1));
    // the run's task is there once the wizard runs
    const auto task = []() -> tarnova_convertor& { return tarnova_convertor::instance(); };
    // "Yes" lets the held run go once it has been asked to stop, from a thread of its own: the
    // wizard's teardown waits for the run
    std::thread releaser;
    modal_script script({{"No", false, {}}, {"", false, [&](QWidget* box) {
                              releaser = std::thread([&] {
                                  test_wait_until([&] { return task().stop_requested(); },
                                                  "the run asked to stop");
                                  at_yes->release();
                              });
                              for (QAbstractButton* b : box->findChildren<QAbstractButton*>())
                                  if (b->text().remove('&') == QStringLiteral("Yes"))
                                      b->click();
                          }}});
    bool running_after_no = false;
    int count_at_no = -1;
    bool went_on = false;
    ui_steps steps({
        [&] {
            // held inside the table, a while into its rows
            if (!at_no->reached() || page_text(0, 1323) != QStringLiteral("Processing table 'big'"))
                return false;
            shown_sheet()->button(QWizard::CancelButton)->click();
            count_at_no = static_cast<int>(script.seen_widgets().size());
            qt_wizard_sheet* s = shown_sheet();
            running_after_no = s && s->currentId() == 0 && s->isVisible()
                               && s->is_progress_timer_active() && !task().is_finished();
            EXPECT_FALSE(task().stop_requested()) << "\"No\" asked the run to stop";
            at_no->release();
            return true;
        },
        [&] {
            // the rows after the first hold arrive, up to the second one
            if (task().is_finished())
                return true;
            if (!at_yes->reached() || task().rec_done <= 2000)
                return false;
            went_on = true;
            return true;
        },
        [&] {
            qt_wizard_sheet* s = shown_sheet();
            if (went_on) {
                s->button(QWizard::CancelButton)->click();
                return true;
            }
            // the run ended: the sheet goes on to its last page
            if (!s || s->currentId() == 0)
                return false;
            s->button(QWizard::FinishButton)->click();
            return true;
        },
    });
    EXPECT_EQ(run_tarnova({path}), 0);
    if (releaser.joinable())
        releaser.join();
    EXPECT_TRUE(running_after_no);
    ASSERT_TRUE(went_on) << "no rows arrived after \"No\"";
    ASSERT_EQ(script.seen_widgets().size(), 2u);
    EXPECT_EQ(count_at_no, 1);
    EXPECT_EQ(script.texts()[0], "Are you sure you want to exit the wizard?");
    EXPECT_EQ(script.seen_widgets()[0].caption.toStdString(), "Dravenor 1.0  Question");

    // stopped at the second hold, and every row that arrived is whole
    const std::vector<std::string> counts = oracle(
        "SELECT COUNT(*), SUM(CASE WHEN \"v\" = 'row ' || \"id\" THEN 1 ELSE 0 END) FROM \"big\";");
    ASSERT_EQ(counts.size(), 1u);
    const std::string all = counts[0].substr(0, counts[0].find('\t'));
    EXPECT_EQ(counts[0], all + "\t" + all);
    EXPECT_GT(std::stol(all), 2000);
    EXPECT_LT(std::stol(all), 2500);
    EXPECT_NE(test_read_file(settings_file()).find("src=sz:" + pg.name()), std::string::npos);
}

TEST(wizard_closing, requests_of_a_worker_after_closing_are_answered_at_once)
{
    qt_wizard_services services;
    gui_thread::end_closing();
    modal_script script;
    gui_thread::begin_closing();
    // the worker's requests come while nothing runs the event loop (the teardown waits)
    auto worker = std::async(std::launch::async, [] {
        dlg_error_continue dialog(L"t, record #7: failed");
        const int answer = dialog.run();
        const bool yes =
            wizard_services::current()->box(box_kind::question, L"Question", L"Go on?", false);
        return std::make_pair(answer, yes);
    });
    ASSERT_EQ(worker.wait_for(std::chrono::seconds(10)), std::future_status::ready);
    const auto [answer, yes] = worker.get();
    EXPECT_EQ(answer, dlg_error_continue::id_abort);
    EXPECT_FALSE(yes);
    EXPECT_TRUE(script.seen_widgets().empty());
    gui_thread::end_closing();
}
