#include "ole_date.hpp"
#include "ole_var.hpp"
#include "test_files.hpp"

#include <gtest/gtest.h>

#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

// a program may set a locale whose decimal point is ',' (the gui toolkit sets
// the user's one); the value texts must not follow it
TEST(ole_locale, numbers_keep_the_point_under_a_comma_locale)
{
    const test_temp_dir locales{"ole_locale"};
    const std::string command = "localedef -i de_DE -f UTF-8 '" + locales.file("de_DE.UTF-8") +
                                "' >/dev/null 2>&1";
    if (std::system(command.c_str()) != 0)
        GTEST_SKIP() << "no de_DE locale source to build a comma locale from";
    setenv("LOCPATH", locales.path().c_str(), 1);
    bool set = std::setlocale(LC_NUMERIC, "de_DE.UTF-8") != nullptr;
    char probe[16] = "";
    std::snprintf(probe, sizeof probe, "%.1f", 1.5);
    if (set && std::string(probe) == "1,5") {
        EXPECT_EQ(ole_variant(1.5).to_string(), "1.500000000000000e+000");
        EXPECT_EQ(ole_variant(1.5f).to_string(), "1.500000e+000");
        EXPECT_EQ(ole_variant::from_string("3.25", VT_R8).get_variant().dblVal, 3.25);
        EXPECT_EQ(ole_variant::from_string("3,25", VT_R4).get_variant().fltVal, 3.25f);
        EXPECT_EQ(ole_variant::from_string("12.5", VT_CY).to_double(), 12.5);
        EXPECT_EQ(ole_date(std::string("10:20:30.5")).get_time().wMilliseconds, 500);
        ole_variant v = ole_variant::from_string("2.5", VT_INT);
        EXPECT_EQ(v.get_variant().intVal, 2);
    }
    std::setlocale(LC_NUMERIC, "C");
    unsetenv("LOCPATH");
    if (!set || std::string(probe) != "1,5")
        GTEST_SKIP() << "the comma locale did not load";
}

} // namespace
