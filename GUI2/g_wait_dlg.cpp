#include "g_wait_dlg.hpp"

#include "g_wiz_sh.hpp"
#include "g_wiz_svc.hpp"
#include "tk_log.hpp"

#include <chrono>
#include <thread>

void wait_end::reset()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_ended = false;
}

void wait_end::end()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_ended = true;
    if (m_fn)
        m_fn();
}

bool wait_end::is_ended() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_ended;
}

void wait_end::on_end(std::function<void()> fn)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_fn = std::move(fn);
    if (m_fn && m_ended)
        m_fn();
}

wait_task::wait_task(std::wstring text, unsigned period_ms)
    : m_text(std::move(text)), m_period(period_ms)
{
}

bool run_behind_wait_dialog(tk_thread& thread, wait_task& task, int first_frame)
{
    task.end_signal().reset();
    thread.start();
    if (!thread.is_running() && !task.end_signal().is_ended()) {
        tk_trace(3, "The worker thread of the wait dialog did not start");
        thread.cleanup();
        return false;
    }
    wizard_services* s = wizard_services::current();
    if (s) {
        const std::wstring caption =
            wizard_shell::has_instance() ? wizard_shell::instance().get_caption() : L"";
        s->wait_dialog(caption, task.get_text(), first_frame, task.get_period(),
                       task.end_signal());
    }
    // without a dialog (or once the sheet is closing) the task is waited for all the same
    while (!task.end_signal().is_ended())
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    // the task has returned; the thread ends right after it
    if (thread.is_running())
        thread.stop();
    else
        thread.cleanup();
    return true;
}
