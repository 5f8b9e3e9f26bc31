#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <string>

// how long a test waits for a state that comes at once on any machine: far above any real
// wait, far below the test runner's own limit
constexpr std::chrono::seconds test_deadline{30};
constexpr int test_deadline_ms = 30000;

// a state that never came within `limit`: fails the test with what was waited for and ends
// the test process, since whatever held the test (a worker, a modal loop) would otherwise
// hold it until the runner's limit
[[noreturn]] void test_give_up(const std::string& what,
                               std::chrono::seconds limit = test_deadline);

// polls until done() is true; test_give_up(what) after the deadline
void test_wait_until(const std::function<bool()>& done, const std::string& what,
                     std::chrono::milliseconds poll = std::chrono::milliseconds(20));

// around a call that returns only once a state has come: test_give_up(what) when the call
// has not returned within the deadline
class test_watchdog {
public:
    explicit test_watchdog(std::string what);
    ~test_watchdog();
    test_watchdog(const test_watchdog&) = delete;
    test_watchdog& operator=(const test_watchdog&) = delete;

private:
    struct state;
    std::unique_ptr<state> m;
};
