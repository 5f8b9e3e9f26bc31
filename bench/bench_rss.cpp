#include "bench_rss.hpp"

#include <cstdlib>
#include <fstream>
#include <string>

long peak_rss_kib()
{
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmHWM:", 0) == 0)
            return std::strtol(line.c_str() + 6, nullptr, 10);
    return -1;
}

void reset_peak_rss()
{
    std::ofstream("/proc/self/clear_refs") << "5";
}
