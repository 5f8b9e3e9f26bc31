#include "ole_date.hpp"
#include "ole_var.hpp"
#include "tk_log.hpp"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <unistd.h>

namespace {

std::string read_file(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

TEST(ole_trace, writes_the_system_lines)
{
    std::string path = "/tmp/ole_trace_" + std::to_string(getpid()) + ".log";
    {
        tk_log log(path.c_str(), true, 1, false);
        ole_variant::from_string("12", VT_I4);
        ole_variant v(std::wstring(L"\u00e4"));
        ole_variant copy(v);
        ole_variant(int64_t(-5));
        ole_date bad{std::string("1:02")};
    }
    std::string text = read_file(path);
    std::remove(path.c_str());
    for (const char* line : {"ole_variant::from_string('12', 0x00000003)\r\n", "ole_variant::ctor from int(12)\r\n",
                             "ole_variant::ctor from wstring(\xc3\xa4)\r\n",
                             "ole_variant::attach_wstring('\xc3\xa4')\r\n", "ole_variant::copy ctor\r\n",
                             "ole_variant::ctor(hyper, -5)\r\n", "Invalid date/time format: '1:02'\r\n"})
        EXPECT_NE(text.find(line), std::string::npos) << line;
}

} // namespace
