#include "page_helpers.hpp"
#include "screenshot_fixture.hpp"

#include "tarnova_convertor.hpp"

#include <QPushButton>
#include <QTest>

#include <cerrno>
#include <functional>
#include <cstring>

// pictures of the boxes that refuse before anything runs (scripts/screenshots.sh); skipped
// unless WIZARD_SCREENSHOT_DIR is set
using wizard_screenshots_boxes = wizard_screenshot_base;

namespace {

// on a quick launch's finish page: "Save Settings" (after before), then Finish
std::function<bool()> save_then_finish(std::function<void()> before = {})
{
    return [before] {
        if (!on_page(1))
            return false;
        if (before)
            before();
        page_control<QPushButton>(1, 1116)->click();
        click_sheet(QWizard::FinishButton);
        return true;
    };
}

} // namespace

TEST_F(wizard_screenshots_boxes, quick_launch_postgresql_failure)
{
    modal_script script({picture_then("quick_launch_postgresql_error_box", "OK")});
    EXPECT_EQ(run_tarnova({profile("t", "", "", "wrong-password")}), 0);
    EXPECT_EQ(script.texts().size(), 1u);
}

TEST_F(wizard_screenshots_boxes, profile_key_written_otherwise)
{
    modal_script script({picture_then("profile_key_error_box", "OK")});
    EXPECT_EQ(run_tarnova({profile("t", "", "Mode=2")}), 0);
    EXPECT_EQ(script.texts().size(), 1u);
}

TEST_F(wizard_screenshots_boxes, profile_that_is_not_utf8_or_gives_a_password_twice)
{
    const struct {
        std::string picture;
        std::string path;
    } cases[] = {
        {"profile_not_utf8_error_box", profile("t\nq=SELECT 'caf\xE9' AS v")},
        {"profile_password_twice_error_box", profile("t", "OraSecret1\r\npassword=OraSecret2")},
    };
    for (const auto& c : cases) {
        modal_script script({picture_then(c.picture, "OK")});
        EXPECT_EQ(run_tarnova({c.path}), 0);
        EXPECT_EQ(script.texts().size(), 1u);
    }
}

TEST_F(wizard_screenshots_boxes, oracle_port_refusal)
{
    last_run_settings(ora.password());
    modal_script script({picture_then("oracle_port_error_box", "OK"), {"Yes", false, {}}});
    ui_steps steps({next_at(p_welcome), next_at(p_pgs), at(p_oracle, [&] {
                        type_text(p_oracle, 1004, "abc");
                        click_sheet(QWizard::NextButton);
                        // the page again, the port field with the keyboard once the sheet
                        // has the activation back (a window manager does that; there is none here)
                        shown_sheet()->activateWindow();
                        EXPECT_TRUE(QTest::qWaitForWindowActive(shown_sheet(), test_deadline_ms));
                        EXPECT_TRUE(save(shown_sheet(), "page3_oracle_after_port_error"));
                        click_sheet(QWizard::CancelButton);
                    })});
    EXPECT_EQ(run_tarnova({}), 0);
    EXPECT_TRUE(steps.all_done()) << steps.done_count();
    EXPECT_EQ(script.texts().size(), 2u);
}

TEST_F(wizard_screenshots_boxes, save_refusal)
{
    pg.exec("CREATE TABLE t (id int)");
    modal_script script({choose_file(dir.file("saved.qlx")), picture_then("save_refusal_box", "OK")});
    // a password typed into the page, which a profile line cannot keep
    ui_steps steps(
        {save_then_finish([] { tarnova_convertor::instance().password = L"tiger "; })});
    EXPECT_EQ(run_tarnova({profile("t")}), 1);
    EXPECT_TRUE(steps.all_done());
    EXPECT_EQ(script.texts().size(), 2u);
}

TEST_F(wizard_screenshots_boxes, save_failure)
{
    pg.exec("CREATE TABLE t (id int)");
    // a long path into a directory that does not exist: the box shows it whole
    const std::string path = dir.file("a_directory_that_was_never_made/and_one_below_it/"
                                      "conversion_settings_of_the_sales_database.qlx");
    modal_script script({choose_file(path), picture_then("save_failure_box", "OK")});
    ui_steps steps({save_then_finish()});
    EXPECT_EQ(run_tarnova({profile("t")}), 1);
    EXPECT_TRUE(steps.all_done());
    ASSERT_EQ(script.texts().size(), 2u);
    EXPECT_EQ(script.texts()[1], "Profile '" + path + "' cannot be saved: " + std::strerror(ENOENT)
                                     + ". Please verify the path and that the file may be written.");
}

TEST_F(wizard_screenshots_boxes, save_replace_question)
{
    pg.exec("CREATE TABLE t (id int)");
    const std::string existing = dir.write("sales_nightly.qlx", "[Generic settings]\r\n");
    modal_script script(
        {choose_file(existing), picture_then("save_replace_question_box", "No")});
    ui_steps steps({save_then_finish()});
    EXPECT_EQ(run_tarnova({profile("t")}), 1);
    EXPECT_TRUE(steps.all_done());
    EXPECT_EQ(script.texts().size(), 2u);
    EXPECT_EQ(test_read_file(existing), "[Generic settings]\r\n");
}

TEST_F(wizard_screenshots_boxes, selection_emptied_by_another_database)
{
    last_run_settings(ora.password());
    const std::string loaded =
        profile("customers\norders\nbig_orders=SELECT id FROM orders WHERE amount > 100");
    modal_script script({choose_file(loaded), picture_then("settings_selection_emptied_box", "OK"),
                         {"Yes", false, {}}});
    ui_steps steps(load_then_pick_database("postgres"));
    EXPECT_EQ(run_tarnova({}), 0);
    EXPECT_TRUE(steps.all_done()) << steps.done_count();
    EXPECT_EQ(script.texts().size(), 3u);
}
