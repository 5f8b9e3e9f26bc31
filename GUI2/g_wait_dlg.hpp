#pragma once

#include "tk_threa.hpp"

#include <functional>
#include <mutex>
#include <string>

// the end of a wait dialog, asked for from any thread. an end asked for before the
// dialog is up still ends it as soon as it shows
class wait_end {
public:
    void reset();
    void end();
    bool is_ended() const;
    // the layer's way to end the dialog it shows; called at once when the end was
    // asked for already. null when the dialog is gone
    void on_end(std::function<void()> fn);

private:
    mutable std::mutex m_mutex;
    bool m_ended = false;
    std::function<void()> m_fn;
};

// a task that runs on a worker thread behind the wait dialog and ends the dialog
// when it returns
class wait_task : public tk_task {
public:
    // text: what the dialog says; period: milliseconds from one frame to the next
    wait_task(std::wstring text, unsigned period_ms);

    const std::wstring& get_text() const { return m_text; }
    unsigned get_period() const { return m_period; }
    wait_end& end_signal() { return m_end; }

protected:
    // the task's last action on every path
    void end_dialog() { m_end.end(); }

private:
    std::wstring m_text;
    unsigned m_period;
    wait_end m_end;
};

// starts the thread (whose task is task), shows the wait dialog with the frames from
// first_frame until the task ends it, then waits for the thread to end. false when the
// thread could not be started: the task did not run and no dialog was shown
bool run_behind_wait_dialog(tk_thread& thread, wait_task& task, int first_frame);
