#include "page_helpers.hpp"
#include "wizard_fixture.hpp"

#include "g_qt_sheet.hpp"

#include <QAbstractButton>

namespace {

// an interactive session that left every conversion option away from a first start's:
// definitions only, no indexes, names as they are, overwrite, the schema in the name.
// the postgresql password is known from it alone
void options_of_another_session()
{
    const test_pg_server& s = test_pg_server::get();
    test_write_file(settings_file(), "pgsport=dword:" + s.port + "\npgspswd=sz:" + s.password
                                         + "\ntab_def=dword:1\nskip_idx=dword:1\nuppercase=dword:0"
                                           "\nmode=dword:0\nno_schema=dword:0\nview_owned=dword:0\n");
}

} // namespace

using wizard_quick_launch_options = wizard_conversion;

TEST_F(wizard_quick_launch_options, options_the_profile_leaves_out_are_a_first_starts)
{
    pg.exec("CREATE TABLE zz (id int PRIMARY KEY, v text);"
            "INSERT INTO zz VALUES (1, 'a'), (2, 'b');"
            "CREATE TABLE kept (id int PRIMARY KEY);"
            "INSERT INTO kept VALUES (1)");
    // an earlier run's table: a merge keeps its row, an overwrite would drop it
    ora.sql("CREATE TABLE \"KEPT\" (\"ID\" NUMBER PRIMARY KEY);\nINSERT INTO \"KEPT\" VALUES (99);");
    options_of_another_session();
    const test_pg_server& s = test_pg_server::get();
    const std::string path = dir.write(
        "zz.qlx", "[Generic settings]\r\nsrc=" + pg.name() + "\r\ndest=" + ora.service()
                      + "\r\n\r\n[Oracle settings]\r\nuser=" + ora.user() + "\r\npassword="
                      + ora.password() + "\r\n\r\n[Selected Tables]\r\nzz\r\nkept\r\n\r\n"
                      + "[pgs settings]\r\nhost=" + s.host + "\r\nuser=" + s.user + "\r\n");
    modal_script boxes;
    QString result_text;
    ui_steps steps({[&] {
        qt_wizard_sheet* sheet = shown_sheet();
        if (!sheet || sheet->currentId() != 1)
            return false;
        result_text = page_text(1, 1314);
        sheet->button(QWizard::FinishButton)->click();
        return true;
    }});
    EXPECT_EQ(run_tarnova({path}), 1);
    EXPECT_TRUE(steps.all_done());
    EXPECT_TRUE(boxes.seen_widgets().empty()) << boxes.texts()[0];
    EXPECT_EQ(result_text.toStdString().rfind("Wizard has migrated", 0), 0u)
        << result_text.toStdString();
    EXPECT_EQ(oracle("SELECT table_name FROM user_tables ORDER BY 1;"),
              (std::vector<std::string>{"KEPT", "ZZ"}));
    EXPECT_EQ(oracle("SELECT \"ID\", \"V\" FROM \"ZZ\" ORDER BY 1;"),
              (std::vector<std::string>{"1\ta", "2\tb"}));
    EXPECT_EQ(oracle("SELECT COUNT(*) FROM user_indexes WHERE table_name = 'ZZ';"),
              std::vector<std::string>{"1"});
    EXPECT_EQ(oracle("SELECT \"ID\" FROM \"KEPT\" ORDER BY 1;"),
              (std::vector<std::string>{"1", "99"}));
    // the run's settings are the next start's
    const std::string settings = test_read_file(settings_file());
    EXPECT_NE(settings.find("tab_def=dword:0\n"), std::string::npos) << settings;
    EXPECT_NE(settings.find("pgspswd=sz:" + s.password + "\n"), std::string::npos) << settings;
}

TEST_F(wizard_quick_launch_options, load_settings_keeps_the_last_sessions_options_in_the_pages)
{
    options_of_another_session();
    const test_pg_server& s = test_pg_server::get();
    test_write_file(settings_file(), test_read_file(settings_file()) + "pgshost=sz:" + s.host
                                         + "\npgsuser=sz:" + s.user + "\noracleu=sz:" + ora.user()
                                         + "\noraclep=sz:" + ora.password() + "\n");
    const std::string path = dir.write(
        "zz.qlx", "[Generic settings]\r\nsrc=" + pg.name() + "\r\ndest=" + ora.service()
                      + "\r\nskip indexes=0\r\n\r\n[Selected Tables]\r\nzz\r\n");
    modal_script script({choose_file(path), {"Yes", false, {}}});
    bool tab_def = false;
    bool skip_idx = true;
    bool uppercase = true;
    bool overwrite = false;
    ui_steps steps({at(p_welcome,
                       [&] {
                           click_control(p_welcome, 1115);
                           click_sheet(QWizard::NextButton);
                       }),
                    next_at(p_pgs), next_at(p_oracle), at(p_settings, [&] {
                        tab_def = is_checked(p_settings, 1228);
                        skip_idx = is_checked(p_settings, 1226);
                        uppercase = is_checked(p_settings, 1202);
                        overwrite = is_checked(p_settings, 1329);
                        click_sheet(QWizard::CancelButton);
                    })});
    EXPECT_EQ(run_tarnova({}), 0);
    EXPECT_TRUE(steps.all_done()) << steps.done_count();
    // what the pages show is what runs: the profile's value over the last session's
    EXPECT_TRUE(tab_def);
    EXPECT_FALSE(skip_idx);
    EXPECT_FALSE(uppercase);
    EXPECT_TRUE(overwrite);
}
