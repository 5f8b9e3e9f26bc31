#include "wizard_fixture.hpp"

#include "g_qt_page.hpp"
#include "g_qt_sheet.hpp"
#include "test_pg_hold.hpp"

#include <QAbstractButton>
#include <QLabel>
#include <QPlainTextEdit>
#include <QProgressBar>

#include <memory>
#include <string>
#include <vector>

TEST_F(wizard_conversion, quick_launch_converts_behind_the_progress_page_and_finish_gives_1)
{
    pg.exec("CREATE TABLE small (id int PRIMARY KEY, v text);"
            "INSERT INTO small VALUES (1, 'a'), (2, 'b');"
            "CREATE TABLE big (id int, v text);"
            "INSERT INTO big SELECT g, 'row ' || g FROM generate_series(1, 3000) g");
    const std::string path = profile("big\nsmall");
    // each table held until the page has been looked at inside it
    std::unique_ptr<test_pg_hold> holds[] = {test_pg_hold::table(pg, "big"),
                                             test_pg_hold::table(pg, "small")};

    bool opened_on_progress = false;
    std::vector<std::string> statuses;
    std::vector<int> positions;
    QString result_text;
    bool errors_hidden = false;
    modal_script boxes;
    // once the run waits inside the table, the page is cleared and read at its next refresh,
    // which then shows the state of the held run
    QLabel* status = nullptr;
    QProgressBar* bar = nullptr;
    const auto held = [&](int table) {
        return [&, table] {
            if (!holds[table]->reached())
                return false;
            status = shown_sheet()->page_at(0)->findChild<QLabel*>(QStringLiteral("1323"));
            bar = shown_sheet()->page_at(0)->findChild<QProgressBar*>(QStringLiteral("1321"));
            status->clear();
            bar->reset();
            return true;
        };
    };
    const auto look = [&](int table) {
        return [&, table] {
            if (status->text().isEmpty())
                return false;
            statuses.push_back(status->text().toStdString());
            positions.push_back(bar->value());
            holds[table]->release();
            return true;
        };
    };
    ui_steps steps({
        [&] {
            qt_wizard_sheet* s = shown_sheet();
            if (!s || s->currentId() < 0)
                return false;
            opened_on_progress = s->currentPage()->objectName() == QStringLiteral("107");
            return true;
        },
        held(0),
        look(0),
        held(1),
        look(1),
        [&] { return shown_sheet()->currentId() != 0; },
        [&] {
            qt_wizard_sheet* s = shown_sheet();
            result_text = page_text(1, 1314);
            errors_hidden = !s->page_at(1)->findChild<QPlainTextEdit*>("1016")->isVisible();
            s->button(QWizard::FinishButton)->click();
            return true;
        },
    });
    const int result = run_tarnova({path});

    EXPECT_EQ(result, 1);
    EXPECT_TRUE(steps.all_done());
    EXPECT_TRUE(opened_on_progress);
    EXPECT_EQ(boxes.seen_widgets().size(), 0u) << boxes.texts()[0];
    // the page names the table in hand, and its bar has moved on with the first table
    EXPECT_EQ(statuses, (std::vector<std::string>{"Processing table 'big'",
                                                  "Processing table 'small'"}));
    EXPECT_EQ(positions, (std::vector<int>{0, 50}));
    EXPECT_EQ(result_text.toStdString(),
              "Wizard has migrated your PostgreSQL database to\nOracle server successfully.\n\n"
              "Click 'Finish' to exit the wizard.");
    EXPECT_TRUE(errors_hidden);
    EXPECT_EQ(oracle("SELECT COUNT(*), MAX(\"id\") FROM \"big\";"),
              std::vector<std::string>{"3000\t3000"});
    EXPECT_EQ(oracle("SELECT \"id\", \"v\" FROM \"small\" ORDER BY 1;"),
              (std::vector<std::string>{"1\ta", "2\tb"}));
    const std::string settings = test_read_file(settings_file());
    EXPECT_NE(settings.find("src=sz:" + pg.name() + "\n"), std::string::npos) << settings;
    EXPECT_NE(settings.find("dest=sz:" + ora.service() + "\n"), std::string::npos) << settings;
    EXPECT_NE(settings.find("oracleu=sz:" + ora.user() + "\n"), std::string::npos) << settings;
}
