#include "test_wait.hpp"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <condition_variable>
#include <mutex>
#include <thread>

void test_give_up(const std::string& what, std::chrono::seconds limit)
{
    ADD_FAILURE() << what << ": not reached within " << limit.count() << " s";
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

struct test_watchdog::state {
    std::string what;
    std::mutex mutex;
    std::condition_variable cv;
    bool done = false;
    std::thread thread;
};

test_watchdog::test_watchdog(std::string what) : m(std::make_unique<state>())
{
    m->what = std::move(what);
    m->thread = std::thread([s = m.get()] {
        std::unique_lock<std::mutex> lock(s->mutex);
        if (!s->cv.wait_for(lock, test_deadline, [s] { return s->done; }))
            test_give_up(s->what);
    });
}

test_watchdog::~test_watchdog()
{
    {
        std::lock_guard<std::mutex> lock(m->mutex);
        m->done = true;
    }
    m->cv.notify_all();
    m->thread.join();
}
