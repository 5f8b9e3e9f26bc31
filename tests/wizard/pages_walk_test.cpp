#include "page_helpers.hpp"
#include "wizard_fixture.hpp"

#include "tarnova_convertor.hpp"
#include "tk_utils.hpp"
#include "udb_prof.hpp"

#include <QFileDialog>
#include <QLineEdit>
#include <QPointer>
#include <QTimer>

TEST_F(wizard_conversion, interactive_walk_loads_connects_selects_converts_and_saves)
{
    pg.exec("CREATE TABLE \"Alpha\" (id int PRIMARY KEY, v text); INSERT INTO \"Alpha\" VALUES (1, 'a');"
            "CREATE TABLE alpha (id int); INSERT INTO alpha VALUES (2);"
            "CREATE TABLE beta (id int); INSERT INTO beta VALUES (3);"
            "CREATE TABLE \"Gamma\" (id int); INSERT INTO \"Gamma\" VALUES (4);"
            "CREATE TABLE \"émile\" (id int, v text); INSERT INTO \"émile\" VALUES (5, 'é');");
    const test_pg_server& server = test_pg_server::get();
    const std::string loaded = profile("beta\nGamma");
    const std::string saved = dir.file("saved.qlx");
    modal_script boxes({choose_file(loaded), {"OK", false, {}}, choose_file(saved)});

    struct {
        bool remote = false;
        QString host, port, dest, user, combo_before, combo_after;
        QStringList databases, first_available, first_selected, after_double, after_add_all,
            after_remove_all, final_selected;
        bool merge_shown = false;
        std::size_t queries_after_choice = 99;
    } seen;
    const QString db = QString::fromStdString(pg.name());
    ui_steps steps({
        [&] {
            if (!on_page(p_welcome))
                return false;
            click_control(p_welcome, 1115);
            click_sheet(QWizard::NextButton);
            return true;
        },
        [&] {
            if (!on_page(p_pgs))
                return false;
            seen.remote = is_checked(p_pgs, 1330);
            seen.host = edit_text(p_pgs, 1014);
            seen.port = edit_text(p_pgs, 1015);
            click_sheet(QWizard::NextButton);
            return true;
        },
        [&] {
            if (!on_page(p_oracle))
                return false;
            seen.dest = edit_text(p_oracle, 1014);
            seen.user = edit_text(p_oracle, 1012);
            click_sheet(QWizard::NextButton);
            return true;
        },
        [&] {
            if (!on_page(p_settings))
                return false;
            auto* combo = page_control<QComboBox>(p_settings, 1302);
            seen.combo_before = combo->currentText();
            combo->showPopup();
            seen.databases = combo_items(p_settings, 1302);
            seen.combo_after = combo->currentText();
            combo->hidePopup();
            seen.merge_shown = is_checked(p_settings, 1331);
            click_control(p_settings, 1329);
            click_control(p_settings, 1226);
            click_sheet(QWizard::NextButton);
            return true;
        },
        [&] {
            if (!on_page(p_tables))
                return false;
            seen.first_available = list_items(p_tables, 1317);
            seen.first_selected = list_items(p_tables, 1318);
            click_sheet(QWizard::BackButton);
            return true;
        },
        [&] {
            if (!on_page(p_settings))
                return false;
            // the user picks another database and then this one again: the profile's
            // tables go
            choose_item(p_settings, 1302,
                        static_cast<int>(combo_items(p_settings, 1302).indexOf("postgres")));
            choose_item(p_settings, 1302, static_cast<int>(combo_items(p_settings, 1302).indexOf(db)));
            seen.queries_after_choice = tarnova_convertor::instance().queries.size()
                                        + tarnova_convertor::instance().selected.size();
            click_sheet(QWizard::NextButton);
            return true;
        },
        [&] {
            if (!on_page(p_tables))
                return false;
            double_click_item(p_tables, 1317, 2);
            seen.after_double = list_items(p_tables, 1318);
            click_control(p_tables, 1102);
            seen.after_add_all = list_items(p_tables, 1318);
            click_control(p_tables, 1110);
            seen.after_remove_all = list_items(p_tables, 1317);
            page_control<QListWidget>(p_tables, 1317)->setCurrentRow(4);
            click_control(p_tables, 1101);
            click_control(p_tables, 1101);
            page_control<QListWidget>(p_tables, 1318)->setCurrentRow(0);
            click_control(p_tables, 1111);
            page_control<QListWidget>(p_tables, 1317)->setCurrentRow(0);
            click_control(p_tables, 1101);
            seen.final_selected = list_items(p_tables, 1318);
            click_sheet(QWizard::NextButton);
            return true;
        },
        [&] {
            if (!on_page(p_finish))
                return false;
            click_control(p_finish, 1116);
            click_sheet(QWizard::FinishButton);
            return true;
        },
    });
    EXPECT_EQ(run_tarnova({}), 1);
    EXPECT_TRUE(steps.all_done()) << steps.done_count();
    ASSERT_EQ(boxes.seen_widgets().size(), 3u) << (boxes.texts().empty() ? "" : boxes.texts()[0]);
    // the other database took the profile's tables, and said which
    EXPECT_EQ(boxes.texts()[1], "Another database was chosen, so the table selection was emptied. "
                                "Removed:\n\n    Gamma\n    beta\n\nSelect the tables again on "
                                "the next page.");

    EXPECT_TRUE(seen.remote);
    EXPECT_EQ(seen.host.toStdString(), server.host);
    EXPECT_EQ(seen.port.toStdString(), server.port);
    EXPECT_EQ(seen.dest.toStdString(), ora.service());
    EXPECT_EQ(seen.user.toStdString(), ora.user());
    EXPECT_EQ(seen.combo_before, db);
    EXPECT_TRUE(seen.databases.contains(db));
    EXPECT_TRUE(seen.databases.contains("postgres"));
    EXPECT_FALSE(seen.databases.contains("template1"));
    EXPECT_EQ(seen.combo_after, db);
    EXPECT_TRUE(seen.merge_shown);
    const QStringList all{"Alpha", "alpha", "beta", "Gamma", "émile"};
    EXPECT_EQ(seen.first_available, (QStringList{"Alpha", "alpha", "émile"}));
    EXPECT_EQ(seen.first_selected, (QStringList{"beta", "Gamma"}));
    EXPECT_EQ(seen.queries_after_choice, 0u);
    EXPECT_EQ(seen.after_double, QStringList{"beta"});
    EXPECT_EQ(seen.after_add_all, all);
    EXPECT_EQ(seen.after_remove_all, all);
    EXPECT_EQ(seen.final_selected, (QStringList{"Alpha", "émile"}));

    EXPECT_EQ(oracle("SELECT table_name FROM user_tables ORDER BY 1;"),
              (std::vector<std::string>{"Alpha", "émile"}));
    EXPECT_EQ(oracle("SELECT \"id\", \"v\" FROM \"émile\";"), std::vector<std::string>{"5\té"});

    // the saved profile holds what the run used
    udb_profile out;
    ASSERT_TRUE(out.load(tk_from_utf8(saved)));
    const udb_profile::t_section& tables = out.get_selected_tables();
    ASSERT_EQ(tables.size(), 2u);
    EXPECT_EQ(tables.count(L"Alpha"), 1u);
    EXPECT_EQ(tables.count(L"émile"), 1u);
    EXPECT_EQ(out.get_value(L"Generic settings", L"src"), tk_from_utf8(pg.name()));
    EXPECT_EQ(out.get_value(L"Generic settings", L"dest"), tk_from_utf8(ora.service()));
    EXPECT_EQ(out.get_value(L"Generic settings", L"mode"), L"0");
    EXPECT_EQ(out.get_value(L"Generic settings", L"skip indexes"), L"1");
    EXPECT_EQ(out.get_value(L"Generic settings", L"only definitions"), L"0");
    EXPECT_EQ(out.get_value(L"pgs settings", L"host"), tk_from_utf8(server.host));
    EXPECT_EQ(out.get_value(L"Oracle settings", L"user"), tk_from_utf8(ora.user()));
    EXPECT_EQ(out.get_value(L"Oracle settings", L"uppercase"), L"0");
    // and the settings file the same
    const std::string settings = test_read_file(settings_file());
    EXPECT_NE(settings.find("mode=dword:0\n"), std::string::npos) << settings;
    EXPECT_NE(settings.find("skip_idx=dword:1\n"), std::string::npos) << settings;
}
