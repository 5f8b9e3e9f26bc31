#include "test_files.hpp"

#include <QApplication>

#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <string>

// one QApplication for every test, on the offscreen platform, with settings of its own
int main(int argc, char** argv)
{
    // the pictures of scripts/screenshots.sh are taken on the platform it names
    if (!std::getenv("WIZARD_SCREENSHOT_DIR"))
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
    testing::InitGoogleTest(&argc, argv);
    // the client library's texts that the tests compare are its English ones, in this process
    // and in the programs it starts; the rest of the locale stays the machine's
    if (const char* all = std::getenv("LC_ALL"); all && *all) {
        setenv("LANG", all, 1);
        unsetenv("LC_ALL");
    }
    setenv("LC_MESSAGES", "C", 1);
    // settings of its own; a child of a test (a death test, a child run) may end without
    // cleaning up, so its directory is made inside its parent's, which goes with the parent
    std::unique_ptr<test_temp_dir> config;
    std::string home;
    if (const char* parent = std::getenv("WIZARD_TEST_CONFIG")) {
        std::string pattern = std::string(parent) + "/child.XXXXXX";
        if (mkdtemp(pattern.data()))
            home = pattern;
    }
    if (home.empty()) {
        config = std::make_unique<test_temp_dir>("wizard_config");
        home = config->path();
        setenv("WIZARD_TEST_CONFIG", home.c_str(), 1);
    }
    setenv("XDG_CONFIG_HOME", home.c_str(), 1);
    QApplication app(argc, argv);
    const int result = RUN_ALL_TESTS();
    config.reset();
    return result;
}
