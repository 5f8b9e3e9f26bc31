#include "ole_date.hpp"
#include "ole_var.hpp"
#include "test_files.hpp"
#include "tk_log.hpp"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(ole_trace, writes_the_system_lines)
{
    const test_temp_dir dir{"ole_trace"};
    const std::string path = dir.file("trace.log");
    {
        tk_log log(path.c_str(), true, 1, false);
        ole_variant::from_string("12", VT_I4);
        ole_variant v(std::wstring(L"\u00e4"));
        ole_variant copy(v);
        ole_variant(int64_t(-5));
        ole_date bad{std::string("1:02")};
    }
    const std::string text = test_read_file(path);
    for (const char* line : {"ole_variant::from_string('12', 0x00000003)\r\n", "ole_variant::ctor from int(12)\r\n",
                             "ole_variant::ctor from wstring(\xc3\xa4)\r\n",
                             "ole_variant::attach_wstring('\xc3\xa4')\r\n", "ole_variant::copy ctor\r\n",
                             "ole_variant::ctor(hyper, -5)\r\n", "Invalid date/time format: '1:02'\r\n"})
        EXPECT_NE(text.find(line), std::string::npos) << line;
}

} // namespace
