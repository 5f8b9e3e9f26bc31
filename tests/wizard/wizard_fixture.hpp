#pragma once

#include "modal_script.hpp"
#include "test_files.hpp"
#include "test_ora.hpp"
#include "test_pg.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

class qt_wizard_sheet;

// the settings directory of the test process (XDG_CONFIG_HOME) and its settings file
std::string settings_file();
// the settings file holds only the cluster's postgresql port
void reset_settings();

// the sheet on the screen, null when none
qt_wizard_sheet* shown_sheet();
// the text of a control of the page at that position of the shown sheet
QString page_text(int page, int control);

// tarnova with that command line, in this process
int run_tarnova(const std::vector<std::string>& args);

// a postgresql database, a stand-in schema and a directory for profiles
class wizard_conversion : public testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // a profile of both servers and the tables (one "name" or "name=query" a line)
    std::string profile(const std::string& tables, const std::string& oracle_password = "",
                        const std::string& generic = "") const;
    std::vector<std::string> oracle(const std::string& sql) const;

    test_pg_database pg{"wz"};
    test_ora_schema ora;
    test_temp_dir dir{"wizard_test"};
};
