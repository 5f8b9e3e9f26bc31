#include "screenshot_fixture.hpp"

#include "error_handler.hpp"
#include "g_errdlg.hpp"
#include "g_gui_call.hpp"
#include "g_qt_page.hpp"
#include "g_qt_sheet.hpp"
#include "g_qt_svc.hpp"
#include "g_wiz_sh.hpp"
#include "qlx_error.hpp"
#include "test_pg_hold.hpp"

#include <QAbstractButton>
#include <QPixmap>
#include <QProgressBar>

#include <cstdlib>
#include <memory>

class wizard_screenshots : public wizard_screenshot_base {
protected:
    std::function<bool()> finish_picture(const std::string& name) const
    {
        return [this, name] {
            qt_wizard_sheet* s = shown_sheet();
            if (!s || s->currentId() != 1)
                return false;
            EXPECT_TRUE(save(s, name));
            s->button(QWizard::FinishButton)->click();
            return true;
        };
    }
};

TEST_F(wizard_screenshots, progress_and_finish_pages)
{
    pg.exec("CREATE TABLE customer_orders (id int, v text);"
            "INSERT INTO customer_orders SELECT g, 'row ' || g FROM generate_series(1, 20000) g;"
            "CREATE TABLE order_lines (id int)");
    // the run waits at its second table: the picture shows the bar half way
    const std::unique_ptr<test_pg_hold> hold = test_pg_hold::table(pg, "order_lines");
    modal_script script;
    ui_steps steps({[&] {
                        qt_wizard_sheet* s = shown_sheet();
                        auto* bar = s ? s->page_at(0)->findChild<QProgressBar*>("1321") : nullptr;
                        // the page shows the held table once it has refreshed
                        if (!bar || !hold->reached()
                            || page_text(0, 1323) != QStringLiteral("Processing table 'order_lines'"))
                            return false;
                        EXPECT_TRUE(save(s, "progress_page"));
                        hold->release();
                        return true;
                    },
                    finish_picture("finish_page_success")});
    EXPECT_EQ(run_tarnova({profile("customer_orders\norder_lines")}), 1);
}

TEST_F(wizard_screenshots, continue_dialog_and_finish_page_with_errors)
{
    pg.exec("CREATE TABLE t (id int PRIMARY KEY, v varchar(10));"
            "INSERT INTO t SELECT g, 'new' FROM generate_series(1, 12) g");
    std::string sql = "CREATE TABLE \"t\" (\"id\" NUMBER(10) PRIMARY KEY, \"v\" NVARCHAR2(10));\n";
    for (int id = 2; id <= 9; ++id)
        sql += "INSERT INTO \"t\" VALUES (" + std::to_string(id) + ", 'old');\n";
    ora.sql(sql);
    modal_script script({picture_then("continue_dialog", "Continue"),
                         {"Continue", true, {}}});
    ui_steps steps({finish_picture("finish_page_errors")});
    EXPECT_EQ(run_tarnova({profile("t", "", "mode=3")}), 1);
}

TEST_F(wizard_screenshots, finish_page_after_an_abort)
{
    pg.exec("CREATE TABLE customers (id int); INSERT INTO customers VALUES (1);"
            "CREATE TABLE orders (id int PRIMARY KEY, v varchar(10));"
            "INSERT INTO orders SELECT g, 'new' FROM generate_series(1, 5) g;"
            "CREATE TABLE payments (id int); CREATE TABLE shipments (id int)");
    ora.sql("CREATE TABLE \"orders\" (\"id\" NUMBER(10) PRIMARY KEY, \"v\" NVARCHAR2(10));\n"
            "INSERT INTO \"orders\" VALUES (3, 'old');\n");
    modal_script script({{"Abort", false, {}}});
    ui_steps steps({finish_picture("finish_page_aborted")});
    EXPECT_EQ(run_tarnova({profile("customers\norders\npayments\nshipments", "", "mode=3")}), 1);
    EXPECT_EQ(script.seen_widgets().size(), 1u);
}

TEST_F(wizard_screenshots, internal_error_dialog_and_error_box)
{
    gui_thread::end_closing();
    qt_wizard_services services;
    modal_script script({picture_then("internal_error_dialog", "OK"),
                         picture_then("error_box", "OK")});
    dlg_error_ex(L"Internal error: \ncode=746b5f73696e676c2e6870705c3539").run();
    wizard_shell::error(std::wstring(L"Invalid user name or password."));
    EXPECT_EQ(script.seen_widgets().size(), 2u);
}
