#pragma once

#include "conversion_hooks.hpp"

// what the wizard adds to the conversion run: a clean error list and the progress
// timer at the start, and a standard exception that ends the run shown and listed
class wizard_run_hooks : public conversion_hooks {
public:
    static constexpr int timer_period_ms = 200;

    void on_start() override;
    void on_std_exception(const std::exception& e) override;

    // true on the thread of a conversion run, from its start on
    static bool on_run_thread();
};
