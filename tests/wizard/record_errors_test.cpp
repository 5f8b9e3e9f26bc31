#include "wizard_fixture.hpp"

#include "g_qt_page.hpp"
#include "g_qt_sheet.hpp"

#include <QAbstractButton>
#include <QApplication>
#include <QPlainTextEdit>

namespace {

struct finish_state {
    QString result;
    QString errors;
    bool read_only = false;
    bool focus_on_finish = false;
};

// waits for the finish page, reads it and presses Finish
std::function<bool()> read_finish_page(finish_state& state)
{
    return [&state] {
        qt_wizard_sheet* s = shown_sheet();
        if (!s || s->currentId() != 1)
            return false;
        auto* edit = s->page_at(1)->findChild<QPlainTextEdit*>(QStringLiteral("1016"));
        if (!edit->isVisible())
            return false;
        state.result = page_text(1, 1314);
        state.errors = edit->toPlainText();
        state.read_only = edit->isReadOnly();
        // the window need not be active offscreen: the sheet's own focus child counts
        state.focus_on_finish = s->focusWidget() == s->button(QWizard::FinishButton);
        s->button(QWizard::FinishButton)->click();
        return true;
    };
}

} // namespace

class wizard_record_errors : public wizard_conversion {
protected:
    void SetUp() override
    {
        wizard_conversion::SetUp();
        // rows 2 to 26 are in Oracle already: each is a reported duplicate in mode 3
        pg.exec("CREATE TABLE t (id int PRIMARY KEY, v varchar(10));"
                "INSERT INTO t SELECT g, 'new' FROM generate_series(1, 30) g");
        std::string sql =
            "CREATE TABLE \"t\" (\"id\" NUMBER(10) PRIMARY KEY, \"v\" NVARCHAR2(10));\n";
        for (int id = 2; id <= 26; ++id)
            sql += "INSERT INTO \"t\" VALUES (" + std::to_string(id) + ", 'old');\n";
        ora.sql(sql);
    }
};

TEST_F(wizard_record_errors, ticked_continue_silences_later_dialogs_and_lists_twenty)
{
    modal_script boxes({{"Continue", true, {}}});
    finish_state finish;
    ui_steps steps({read_finish_page(finish)});
    EXPECT_EQ(run_tarnova({profile("t", "", "mode=3")}), 1);

    ASSERT_EQ(boxes.seen_widgets().size(), 1u);
    const std::string first = boxes.texts()[0];
    EXPECT_EQ(first, "t, record #2: Duplicate field values being used for an unique index were "
                     "found. See 'Troubleshooting' article of the product documentation for "
                     "solution.");
    EXPECT_EQ(first.find('\n'), std::string::npos) << first;
    EXPECT_EQ(boxes.seen_widgets()[0].caption.toStdString(), "Dravenor 1.0  Error");
    EXPECT_EQ(boxes.unanswered(), 0);

    EXPECT_EQ(finish.result.toStdString(), "There were some errors while converting the "
                                           "database.\nClick 'Finish' to exit the wizard.");
    const QStringList listed = finish.errors.split(QStringLiteral("\n\n"), Qt::SkipEmptyParts);
    ASSERT_EQ(listed.size(), 20) << finish.errors.toStdString();
    EXPECT_EQ(listed[0].toStdString(), first);
    EXPECT_TRUE(listed[19].startsWith(QStringLiteral("t, record #21: ")));
    EXPECT_TRUE(finish.read_only);
    EXPECT_TRUE(finish.focus_on_finish);
    EXPECT_EQ(oracle("SELECT COUNT(*) FROM \"t\" WHERE \"v\" = 'new';"),
              std::vector<std::string>{"5"});
}

TEST_F(wizard_record_errors, abort_ends_the_run_and_the_list_says_what_was_left_out)
{
    // a before t, u and v after it: the aborted table and the two after it are missing
    pg.exec("CREATE TABLE a (id int); INSERT INTO a VALUES (1);"
            "CREATE TABLE u (id int); INSERT INTO u VALUES (1);"
            "CREATE TABLE v (id int); INSERT INTO v VALUES (1)");
    modal_script boxes({{"Abort", false, {}}});
    finish_state finish;
    ui_steps steps({read_finish_page(finish)});
    EXPECT_EQ(run_tarnova({profile("v\nu\nt\na", "", "mode=3")}), 1);

    ASSERT_EQ(boxes.seen_widgets().size(), 1u);
    EXPECT_EQ(finish.result.toStdString(), "There were some errors while converting the "
                                           "database.\nClick 'Finish' to exit the wizard.");
    const QStringList listed = finish.errors.split(QStringLiteral("\n\n"), Qt::SkipEmptyParts);
    ASSERT_EQ(listed.size(), 2) << finish.errors.toStdString();
    EXPECT_EQ(listed[0].toStdString(), boxes.texts()[0]);
    EXPECT_EQ(listed[1].toStdString(), "The run was aborted by the user in table t: 3 of 4 tables "
                                       "were not converted.");
    EXPECT_EQ(oracle("SELECT table_name FROM user_tables ORDER BY 1;"),
              (std::vector<std::string>{"a", "t"}));
    EXPECT_EQ(oracle("SELECT \"id\" FROM \"t\" WHERE \"v\" = 'new';"),
              std::vector<std::string>{"1"});
}

TEST_F(wizard_record_errors, abort_after_a_full_list_still_says_so_after_the_twenty)
{
    // 20 record errors fill the list; the abort at the 21st is not listed, its line is
    std::vector<modal_script::answer> answers(20, {"Continue", false, {}});
    answers.push_back({"Abort", false, {}});
    modal_script boxes(answers);
    finish_state finish;
    ui_steps steps({read_finish_page(finish)});
    EXPECT_EQ(run_tarnova({profile("t", "", "mode=3")}), 1);

    ASSERT_EQ(boxes.seen_widgets().size(), 21u);
    EXPECT_EQ(boxes.unanswered(), 0);
    const QStringList listed = finish.errors.split(QStringLiteral("\n\n"), Qt::SkipEmptyParts);
    ASSERT_EQ(listed.size(), 21) << finish.errors.toStdString();
    EXPECT_TRUE(listed[19].startsWith(QStringLiteral("t, record #21: ")));
    EXPECT_EQ(listed[20].toStdString(),
              "The run was aborted by the user in table t: 1 of 1 table was not converted.");
}
