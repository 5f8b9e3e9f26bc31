#pragma once

#include "modal_script.hpp"
#include "test_files.hpp"
#include "test_ora.hpp"
#include "test_pg.hpp"
#include "test_wait.hpp"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

class qt_wizard_sheet;
class wizard_shell;

// the settings directory of the test process (XDG_CONFIG_HOME) and its settings file
std::string settings_file();
// the settings file holds only the cluster's postgresql port
void reset_settings();

// the sheet on the screen, null when none
qt_wizard_sheet* shown_sheet();
// the text of a control of the page at that position of the shown sheet
QString page_text(int page, int control);

// tarnova with that command line, in this process, under a wizard_run_watch
int run_tarnova(const std::vector<std::string>& args);

// a postgresql database, a stand-in schema and a directory for profiles
class wizard_conversion : public testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // a profile of both servers and the tables (one "name" or "name=query" a line)
    std::string profile(const std::string& tables, const std::string& oracle_password = "",
                        const std::string& generic = "",
                        const std::string& pg_password = "") const;
    std::vector<std::string> oracle(const std::string& sql) const;

    test_pg_database pg{"wz"};
    test_ora_schema ora;
    test_temp_dir dir{"wizard_test"};
};

// a help file beside the test program and a help viewer on the path that writes its
// arguments into a file; both go with the object
class fake_help {
public:
    explicit fake_help(bool with_file = true);
    ~fake_help();
    fake_help(const fake_help&) = delete;
    fake_help& operator=(const fake_help&) = delete;

    static std::string help_file();
    // the viewer's arguments, one a line; waits for the viewer to write them when it is
    // expected to have started. without: asked once whatever would start a viewer is over (a
    // viewer the program started then runs or has written them), "" when none started
    std::string viewer_args(bool expected = true) const;

private:
    bool viewer_running() const;

    // tests run as parallel processes of one program, which share the help file beside it
    struct file_lock {
        file_lock();
        ~file_lock();
        int fd;
    } m_lock;
    test_temp_dir m_dir{"wizard_help"};
    std::string m_old_path;
    bool m_with_file;
};

// this test program run as a child with extra environment; its exit status
int run_child(const std::string& test, const std::vector<std::string>& env, std::string* out,
              std::string* err);

// shows the shell's sheet and runs the steps while it is shown, under a wizard_run_watch;
// `sheet` points at it meanwhile. the sheet's result
int run_sheet_steps(wizard_shell& shell, qt_wizard_sheet*& sheet,
                    std::vector<std::function<bool()>> steps);
