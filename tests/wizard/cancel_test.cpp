#include "wizard_fixture.hpp"

#include "g_errdlg.hpp"
#include "g_gui_call.hpp"
#include "g_qt_sheet.hpp"
#include "g_qt_svc.hpp"

#include <QAbstractButton>
#include <QElapsedTimer>

#include <future>
#include <thread>

TEST_F(wizard_conversion, cancel_during_a_run_asks_and_yes_stops_after_the_record_in_hand)
{
    pg.exec("CREATE TABLE big (id int, v text);"
            "INSERT INTO big SELECT g, 'row ' || g FROM generate_series(1, 200000) g");
    modal_script script({{"No", false, {}}, {"Yes", false, {}}});
    bool running_after_no = false;
    int count_at_no = -1;
    QElapsedTimer since_no;
    ui_steps steps({
        [&] {
            // on the table, a while into its rows
            if (page_text(0, 1323) != QStringLiteral("Processing table 'big'"))
                return false;
            shown_sheet()->button(QWizard::CancelButton)->click();
            count_at_no = static_cast<int>(script.seen_widgets().size());
            since_no.start();
            return true;
        },
        [&] {
            if (since_no.elapsed() < 600)
                return false;
            qt_wizard_sheet* s = shown_sheet();
            running_after_no = s && s->currentId() == 0 && s->isVisible()
                               && s->is_progress_timer_active();
            s->button(QWizard::CancelButton)->click();
            return true;
        },
    });
    QElapsedTimer took;
    took.start();
    EXPECT_EQ(run_tarnova({profile("big")}), 0);
    EXPECT_LT(took.elapsed(), 60000);
    ASSERT_EQ(script.seen_widgets().size(), 2u);
    EXPECT_EQ(count_at_no, 1);
    EXPECT_EQ(script.texts()[0], "Are you sure you want to exit the wizard?");
    EXPECT_EQ(script.seen_widgets()[0].caption.toStdString(), "Dravenor 1.0  Question");
    EXPECT_TRUE(running_after_no);

    // stopped early, and every row that arrived is whole
    const std::vector<std::string> counts = oracle(
        "SELECT COUNT(*), SUM(CASE WHEN \"v\" = 'row ' || \"id\" THEN 1 ELSE 0 END) FROM \"big\";");
    ASSERT_EQ(counts.size(), 1u);
    const std::string all = counts[0].substr(0, counts[0].find('\t'));
    EXPECT_EQ(counts[0], all + "\t" + all);
    EXPECT_GT(std::stol(all), 0);
    EXPECT_LT(std::stol(all), 200000);
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
