#include "test_wait.hpp"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <thread>

void test_give_up(const std::string& what)
{
    ADD_FAILURE() << what << ": not reached within " << test_deadline.count() << " s";
    std::fflush(stdout);
    std::fflush(stderr);
    std::_Exit(1);
}

void test_wait_until(const std::function<bool()>& done, const std::string& what,
                     std::chrono::milliseconds poll)
{
    const auto until = std::chrono::steady_clock::now() + test_deadline;
    while (!done()) {
        if (std::chrono::steady_clock::now() > until)
            test_give_up(what);
        std::this_thread::sleep_for(poll);
    }
}
