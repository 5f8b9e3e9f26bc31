#include "wizard_fixture.hpp"

#include "g_qt_sheet.hpp"

#include <QAbstractButton>
#include <QDialog>

#include <algorithm>
#include <cstdio>
#include <cstdlib>

namespace {

const char unreadable_profile[] =
    "Profile cannot be read. Please verify that the file is a conversion profile.";

struct seen_box {
    std::string caption;
    std::string text;
};

std::vector<seen_box> boxes_of(const modal_script& script)
{
    std::vector<seen_box> out;
    for (const modal_script::seen& s : script.seen_widgets())
        out.push_back({s.caption.toStdString(), s.text.toStdString()});
    return out;
}

// the last session's settings, with options a quick launch's first-start ones would replace
std::string stored_settings(const std::string& extra = "")
{
    const std::string text = "pgsport=dword:" + test_pg_server::get().port
                             + "\nmode=dword:2\ntab_def=dword:1\nuppercase=dword:0\n" + extra;
    test_write_file(settings_file(), text);
    return text;
}

} // namespace

// a quick launch with the profile named in WIZARD_CHILD_PROFILE; what it showed on stdout
TEST(wizard_child, quick_launch)
{
    const char* path = std::getenv("WIZARD_CHILD_PROFILE");
    if (!path)
        GTEST_SKIP() << "run by the parent test only";
    reset_settings();
    modal_script script({{"OK", false, {}}, {"OK", false, {}}});
    const int result = run_tarnova({path});
    for (const modal_script::seen& s : script.seen_widgets())
        std::printf("box|%s|%s\n", s.caption.toUtf8().constData(), s.text.toUtf8().constData());
    std::printf("result=%d\n", result);
}

TEST_F(wizard_conversion, profile_that_does_not_exist_gets_its_box_and_no_sheet)
{
    const std::string settings = stored_settings();
    modal_script script({{"OK", false, {}}});
    bool sheet_seen = false;
    ui_steps steps({[&] { sheet_seen = sheet_seen || shown_sheet(); return false; }});
    EXPECT_EQ(run_tarnova({dir.file("none.qlx")}), 0);
    const std::vector<seen_box> boxes = boxes_of(script);
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].caption, "Error");
    EXPECT_EQ(boxes[0].text, "Profile '" + dir.file("none.qlx")
                                 + "' does not exist. Please verify the correct path/name was "
                                   "given.");
    EXPECT_FALSE(sheet_seen);
    // a launch that ended before its run leaves the last session's settings as they were
    EXPECT_EQ(test_read_file(settings_file()), settings);
}

TEST_F(wizard_conversion, profile_that_does_not_read_or_is_refused_converts_nothing)
{
    pg.exec("CREATE TABLE t (id int)");
    const struct {
        std::string path;
        std::string text;
    } cases[] = {
        {dir.write("plain.qlx", "key=value\r\n"), unreadable_profile},
        {profile("t", "", "mode=x"),
         "Invalid profile value 'x' for the key 'mode': it must be one digit. Please verify the "
         "profile."},
        // a profile that says two things, with values that each read
        {profile("t\nt=SELECT 1 AS id"),
         "The profile gives the key 't' of the section [Selected Tables] two values: '' and "
         "'SELECT 1 AS id'. Please verify the profile."},
        {profile("t", "", "mode=2\r\nmode=0"),
         "The profile gives the key 'mode' of the section [Generic settings] two values: '2' and "
         "'0'. Please verify the profile."},
        // names that would be ignored: the table's mode, or which tables
        {profile("t", "", "Mode=2"),
         "Line 5 of the profile gives the key 'Mode', which is not the key 'mode' of the section "
         "[Generic settings]: keys and section names are read exactly as written. Please verify "
         "the profile."},
        {profile("", "", "[ Selected Tables ]\r\nt"),
         "Line 5 of the profile names the section [ Selected Tables ], which is not the section "
         "[Selected Tables]: keys and section names are read exactly as written. Please verify "
         "the profile."},
        // a latin-1 byte: read, the query would select other rows
        {profile("t\nq=SELECT 'caf\xE9' AS v"),
         "Line 13 of the profile is not UTF-8 text: a profile is read as UTF-8, and other bytes "
         "would change what it says. Please save the profile as UTF-8."},
        {profile("t", "OraSecret1\r\npassword=OraSecret2"),
         "The profile gives the key 'password' of the section [Oracle settings] two different "
         "values, which are not shown: it holds a password. Please verify the profile."},
    };
    for (const auto& c : cases) {
        // the registry names a database whose tables must not be converted
        const std::string settings = stored_settings("src=sz:" + pg.name() + "\n");
        modal_script script({{"OK", false, {}}});
        // a profile run after all ends here, and fails below by what it did
        ui_steps steps({[] {
            qt_wizard_sheet* s = shown_sheet();
            if (!s || s->currentId() != 1)
                return false;
            s->button(QWizard::FinishButton)->click();
            return true;
        }});
        EXPECT_EQ(run_tarnova({c.path}), 0) << c.text;
        const std::vector<seen_box> boxes = boxes_of(script);
        ASSERT_EQ(boxes.size(), 1u) << c.text;
        EXPECT_EQ(boxes[0].caption, "Error");
        EXPECT_EQ(boxes[0].text, c.text);
        EXPECT_EQ(test_read_file(settings_file()), settings) << c.text;
        EXPECT_TRUE(oracle("SELECT table_name FROM user_tables;").empty());
    }
}

TEST_F(wizard_conversion, profile_path_is_the_arguments_joined_by_blanks)
{
    pg.exec("CREATE TABLE t (id int)");
    const std::string path = profile("t");
    const std::string spaced = dir.path() + "/my run.qlx";
    ASSERT_EQ(std::rename(path.c_str(), spaced.c_str()), 0);
    modal_script script;
    ui_steps steps({[&] {
        qt_wizard_sheet* s = shown_sheet();
        if (!s || s->currentId() != 1)
            return false;
        s->button(QWizard::FinishButton)->click();
        return true;
    }});
    EXPECT_EQ(run_tarnova({dir.path() + "/my", "run.qlx"}), 1);
    EXPECT_EQ(oracle("SELECT table_name FROM user_tables;"), std::vector<std::string>{"t"});
}

TEST_F(wizard_conversion, server_failures_before_the_sheet_end_with_0)
{
    ora.add_listener("localhost:1521");
    // the server's own text, in its language
    test_pg_server wrong_password = test_pg_server::get();
    wrong_password.password = "wrong-password";
    const std::string refused_password = wrong_password.refusal("postgres");
    ASSERT_FALSE(refused_password.empty());
    // nothing listens on port 1
    test_pg_server unreachable = test_pg_server::get();
    unreachable.port = "1";
    std::string refused_port = unreachable.refusal("postgres");
    ASSERT_FALSE(refused_port.empty());
    // as a box shows it: its tabs are blanks
    std::replace(refused_port.begin(), refused_port.end(), '\t', ' ');
    struct failure {
        const char* what;
        std::string profile;
        std::string text;         // the first box's text, or its start
        bool whole;
    };
    const failure cases[] = {
        {"postgresql unreachable", profile("t"), refused_port, false},
        {"oracle password", profile("t", "wrong-password"), "Invalid user name or password.", true},
        {"postgresql password", profile("t", "", "", "wrong-password"),
         refused_password, false},
        {"oracle listener", profile("t"),
         "ORA-12541: no listener. For more information see Troubleshooting\narticle of the "
         "product documentation.",
         true},
    };
    for (const failure& c : cases) {
        fake_help help;
        stored_settings();
        if (std::string(c.what) == "postgresql unreachable")
            test_write_file(settings_file(), "pgsport=dword:1\n");
        // a port the named listener does not serve
        if (std::string(c.what) == "oracle listener")
            test_write_file(settings_file(), test_read_file(settings_file())
                                                 + "oracleh=sz:localhost\noraport=sz:1599\n");
        const std::string settings = test_read_file(settings_file());
        // the first one's buttons: there is nothing to go on with
        QStringList buttons;
        modal_script script({{"", false,
                              [&](QWidget* w) {
                                  QAbstractButton* ok = nullptr;
                                  for (QAbstractButton* b : w->findChildren<QAbstractButton*>()) {
                                      buttons << b->text().remove('&');
                                      if (buttons.back() == QStringLiteral("OK"))
                                          ok = b;
                                  }
                                  if (ok)
                                      ok->click();
                                  else if (auto* d = qobject_cast<QDialog*>(w))
                                      d->reject();
                              }},
                             {"OK", false, {}},
                             {"Continue", false, {}}});
        bool sheet_seen = false;
        ui_steps steps({[&] { sheet_seen = sheet_seen || shown_sheet(); return false; }});
        EXPECT_EQ(run_tarnova({c.profile}), 0) << c.what;
        const std::vector<seen_box> boxes = boxes_of(script);
        EXPECT_EQ(boxes.size(), 1u) << c.what;
        if (boxes.size() != 1u)
            continue;
        EXPECT_EQ(script.seen_widgets()[0].kind.toStdString(), "box") << c.what;
        EXPECT_EQ(buttons.join(QLatin1Char(',')).toStdString(), "OK") << c.what;
        EXPECT_EQ(boxes[0].caption, "Error") << c.what;
        if (c.whole)
            EXPECT_EQ(boxes[0].text, c.text) << c.what;
        else
            EXPECT_NE(boxes[0].text.find(c.text), std::string::npos) << c.what << boxes[0].text;
        EXPECT_FALSE(sheet_seen) << c.what;
        const bool listener = std::string(c.what) == "oracle listener";
        EXPECT_EQ(help.viewer_args(listener),
                  listener ? "--contextid=1017\n" + fake_help::help_file() + "\n" : std::string())
            << c.what;
        EXPECT_EQ(test_read_file(settings_file()), settings) << c.what;
    }
}

TEST_F(wizard_conversion, missing_oracle_client_shows_one_box_and_ends_with_0)
{
    const std::string path = profile("t");
    std::string out;
    std::string err;
    const int status = run_child("wizard_child.quick_launch",
                                 {"WIZARD_CHILD_PROFILE=" + path, "LD_LIBRARY_PATH="}, &out, &err);
    EXPECT_EQ(status, 0) << err;
    EXPECT_EQ(out.find("box|"), out.rfind("box|")) << out;
    EXPECT_NE(out.find("box|Error|"), std::string::npos) << out;
    EXPECT_NE(out.find("Oracle client"), std::string::npos) << out;
    EXPECT_NE(out.find("result=0\n"), std::string::npos) << out;
}

TEST_F(wizard_conversion, table_the_source_lacks_is_reported_and_listed)
{
    pg.exec("CREATE TABLE t (id int)");
    modal_script script({{"Continue", false, {}}});
    QString listed;
    ui_steps steps({[&] {
        qt_wizard_sheet* s = shown_sheet();
        if (!s || s->currentId() != 1)
            return false;
        listed = page_text(1, 1016);
        s->button(QWizard::FinishButton)->click();
        return true;
    }});
    EXPECT_EQ(run_tarnova({profile("nosuch\nt")}), 1);
    ASSERT_EQ(script.seen_widgets().size(), 1u);
    const std::string text = script.texts()[0];
    EXPECT_EQ(text, "nosuch: Table does not exist in the source database");
    EXPECT_EQ(listed.toStdString(), text + "\n\n");
    EXPECT_EQ(oracle("SELECT table_name FROM user_tables;"), std::vector<std::string>{"t"});
}
