#include "qlx_run.hpp"

#include "g_wiz_sh.hpp"
#include "tk_log.hpp"

namespace {

// the run has a thread of its own, which ends with it
thread_local bool run_thread = false;

} // namespace

bool wizard_run_hooks::on_run_thread()
{
    return run_thread;
}

void wizard_run_hooks::on_start()
{
    run_thread = true;
    if (!wizard_shell::has_instance())
        return;
    wizard_shell& sheet = wizard_shell::instance();
    // errors of the pages before the run are not the run's
    sheet.clear_errors();
    sheet.start_timer(timer_period_ms);
}

void wizard_run_hooks::on_std_exception(const std::exception& e)
{
    tk_trace(3, "ERROR:\n%s", e.what());
    std::string text = e.what();
    for (char& c : text)
        if (c == '\n')
            c = ' ';
    // listed, or the finish page would report success
    if (wizard_shell::is_initialized())
        wizard_shell::instance().add_error(text);
    wizard_shell::error(text);
}
