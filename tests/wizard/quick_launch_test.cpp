#include "wizard_fixture.hpp"

#include "g_qt_page.hpp"
#include "g_qt_sheet.hpp"

#include <QAbstractButton>
#include <QPlainTextEdit>
#include <QProgressBar>

#include <set>

namespace {

int bar_value(int page)
{
    qt_wizard_sheet* s = shown_sheet();
    auto* bar = s && s->page_at(page)
                    ? s->page_at(page)->findChild<QProgressBar*>(QStringLiteral("1321"))
                    : nullptr;
    return bar ? bar->value() : -1;
}

} // namespace

TEST_F(wizard_conversion, quick_launch_converts_behind_the_progress_page_and_finish_gives_1)
{
    pg.exec("CREATE TABLE small (id int PRIMARY KEY, v text);"
            "INSERT INTO small VALUES (1, 'a'), (2, 'b');"
            "CREATE TABLE big (id int, v text);"
            "INSERT INTO big SELECT g, 'row ' || g FROM generate_series(1, 3000) g");
    const std::string path = profile("big\nsmall");

    bool opened_on_progress = false;
    std::set<std::string> statuses;
    std::set<int> positions;
    QString result_text;
    bool errors_hidden = false;
    modal_script boxes;
    ui_steps steps({
        [&] {
            qt_wizard_sheet* s = shown_sheet();
            if (!s || s->currentId() < 0)
                return false;
            opened_on_progress = s->currentPage()->objectName() == QStringLiteral("107");
            return true;
        },
        [&] {
            if (shown_sheet()->currentId() == 0) {
                statuses.insert(page_text(0, 1323).toStdString());
                positions.insert(bar_value(0));
                return false;
            }
            return true;
        },
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
    EXPECT_TRUE(statuses.count("Processing table 'big'")) << statuses.size();
    EXPECT_GT(positions.size(), 1u);
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
