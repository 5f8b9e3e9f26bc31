#include "page_helpers.hpp"
#include "screenshot_fixture.hpp"
#include "test_pg_hold.hpp"
#include "test_wait.hpp"

#include "g_gui_call.hpp"
#include "g_qt_svc.hpp"
#include "g_qt_wait.hpp"
#include "g_wait_dlg.hpp"
#include "qlx_images.hpp"

#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QProgressBar>
#include <QTest>
#include <QTimer>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <thread>

// pictures of the interactive pages, the wait dialog and each page's typical box for a
// person to look at (scripts/screenshots.sh); skipped unless WIZARD_SCREENSHOT_DIR is set
class wizard_screenshots_pages : public wizard_screenshot_base {
protected:
    bool save_sheet(const std::string& name) const { return save(shown_sheet(), name); }
};

TEST_F(wizard_screenshots_pages, seven_pages_and_their_boxes)
{
    pg.exec("CREATE TABLE customer_orders (id int, v text);"
            "INSERT INTO customer_orders SELECT g, 'row ' || g FROM generate_series(1, 20000) g;"
            "CREATE TABLE invoice_lines (id int); CREATE TABLE \"Suppliers\" (id int);"
            "CREATE TABLE product_catalogue_with_a_rather_long_name (id int);");
    const std::string loaded = profile("customer_orders\ninvoice_lines");
    // the run waits at its second table: the progress picture shows the bar part of the way
    const std::unique_ptr<test_pg_hold> hold = test_pg_hold::table(pg, "invoice_lines");
    const std::string plain = dir.write("notes.qlx", "key=value\r\n");
    modal_script script({choose_file(plain), picture_then("box_welcome", "OK"), choose_file(loaded),
                         picture_then("box_postgresql", "OK"), picture_then("box_oracle", "OK"),
                         picture_then("box_settings", "OK"), picture_then("box_tables", "No")});
    const QString db = QString::fromStdString(pg.name());
    QString port;
    ui_steps steps({
        [&] {
            if (!on_page(p_welcome))
                return false;
            EXPECT_TRUE(save_sheet("page1_welcome"));
            click_control(p_welcome, 1115);
            click_control(p_welcome, 1115);
            click_sheet(QWizard::NextButton);
            return true;
        },
        [&] {
            if (!on_page(p_pgs))
                return false;
            EXPECT_TRUE(save_sheet("page2_postgresql"));
            port = edit_text(p_pgs, 1015);
            type_text(p_pgs, 1015, "5432abc");
            click_sheet(QWizard::NextButton);
            type_text(p_pgs, 1015, port);
            click_sheet(QWizard::NextButton);
            return true;
        },
        [&] {
            if (!on_page(p_oracle))
                return false;
            EXPECT_TRUE(save_sheet("page3_oracle"));
            const QString dest = edit_text(p_oracle, 1014);
            type_text(p_oracle, 1014, "");
            click_sheet(QWizard::NextButton);
            type_text(p_oracle, 1014, dest);
            click_sheet(QWizard::NextButton);
            return true;
        },
        [&] {
            if (!on_page(p_settings))
                return false;
            auto* combo = page_control<QComboBox>(p_settings, 1302);
            combo->showPopup();
            combo->hidePopup();
            EXPECT_TRUE(save_sheet("page4_settings"));
            combo->setEditText("no such database");
            click_sheet(QWizard::NextButton);
            combo->setEditText(db);
            click_sheet(QWizard::NextButton);
            return true;
        },
        [&] {
            if (!on_page(p_tables))
                return false;
            EXPECT_TRUE(save_sheet("page5_tables"));
            click_control(p_tables, 1110);
            click_sheet(QWizard::NextButton);
            // two tables: the run is held at the second
            for (const QString name : {"customer_orders", "invoice_lines"}) {
                page_control<QListWidget>(p_tables, 1317)
                    ->setCurrentRow(static_cast<int>(list_items(p_tables, 1317).indexOf(name)));
                click_control(p_tables, 1101);
            }
            click_sheet(QWizard::NextButton);
            return true;
        },
        [&] {
            auto* bar = page_control<QProgressBar>(p_progress, 1321);
            // the page shows the held table once it has refreshed
            if (!on_page(p_progress) || !bar || !hold->reached()
                || page_control<QLabel>(p_progress, 1323)->text()
                       != QStringLiteral("Processing table 'invoice_lines'"))
                return false;
            EXPECT_TRUE(save_sheet("page6_progress"));
            hold->release();
            return true;
        },
        [&] {
            if (!on_page(p_finish))
                return false;
            EXPECT_TRUE(save_sheet("page7_finish"));
            click_sheet(QWizard::FinishButton);
            return true;
        },
    });
    EXPECT_EQ(run_tarnova({}), 1);
    EXPECT_TRUE(steps.all_done()) << steps.done_count();
    EXPECT_EQ(script.seen_widgets().size(), 7u);
}

TEST_F(wizard_screenshots_pages, oracle_connection_error_box)
{
    last_run_settings("wrong");
    modal_script script({picture_then("oracle_connection_error_box", "OK"), {"Yes", false, {}}});
    ui_steps steps({next_at(p_welcome), next_at(p_pgs), at(p_oracle, [&] {
                        click_sheet(QWizard::NextButton);
                        // the page again, with the keyboard back in it
                        EXPECT_TRUE(QTest::qWaitForWindowActive(shown_sheet(), test_deadline_ms));
                        EXPECT_TRUE(save_sheet("page3_oracle_after_error"));
                        click_sheet(QWizard::CancelButton);
                    })});
    EXPECT_EQ(run_tarnova({}), 0);
    EXPECT_TRUE(steps.all_done()) << steps.done_count();
    EXPECT_EQ(script.texts().size(), 2u);
}

TEST_F(wizard_screenshots_pages, wait_dialog)
{
    gui_thread::end_closing();
    qt_wizard_services services;
    qt_wizard_services::set_image_provider(qlx_image);
    wait_end end;
    std::atomic<bool> saved{false};
    QTimer probe;
    QObject::connect(&probe, &QTimer::timeout, [&] {
        for (QWidget* w : QApplication::topLevelWidgets())
            if (auto* d = dynamic_cast<qt_wait_dialog*>(w);
                d && d->isVisible() && d->current_frame() == 2 && !saved)
                saved = save(d, "wait_dialog");
    });
    probe.start(50);
    // the task ends once the picture is taken
    std::thread task([&] {
        test_wait_until([&] { return saved.load(); }, "the wait dialog's third frame");
        end.end();
    });
    services.wait_dialog(L"Dravenor 1.0 ", L"Connecting to Oracle server. Please wait...", 502, 500,
                         end);
    task.join();
    EXPECT_TRUE(saved);
}
