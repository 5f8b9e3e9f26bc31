#include "tk_threa.hpp"

#include "tk_except.hpp"
#include "tk_log.hpp"

#include <system_error>

struct tk_thread::state {
    std::mutex mutex;
    std::condition_variable done;
    bool finished = false;
};

void tk_task::run()
{
    while (!is_done() && !stop_requested())
        step();
    on_finish();
}

void tk_task::step()
{
    wait_for_stop(std::chrono::milliseconds(100));
}

void tk_task::request_stop()
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_stop.store(true);
    }
    m_wakeup.notify_all();
}

bool tk_task::wait_for_stop(std::chrono::milliseconds time)
{
    std::unique_lock<std::mutex> lock(m_mutex);
    return m_wakeup.wait_for(lock, time, [this] { return m_stop.load(); });
}

tk_thread::tk_thread(bool owns_task)
    : m_owns_task(owns_task)
{
}

tk_thread::~tk_thread()
{
    if (!is_running()) {
        cleanup();
        return;
    }
    try {
        stop();
        return;
    } catch (const tk_exception&) {
    }
    // a thread left behind would go on using its task and its owner's state:
    // wait for it, however long it takes
    tk_trace(3, "Worker thread did not stop in time; waiting for it to end");
    m_handle->join();
    m_handle.reset();
    m_state.reset();
    cleanup();
}

tk_task* tk_thread::create_task()
{
    m_owns_task = true;
    m_owned = std::make_unique<tk_task>();
    return m_owned.get();
}

bool tk_thread::is_running() const
{
    if (!m_handle)
        return false;
    std::lock_guard<std::mutex> lock(m_state->mutex);
    return !m_state->finished;
}

void tk_thread::start()
{
    if (is_running())
        throw tk_mail_assertion("tk_threa.cpp", 92);
    cleanup();
    if (m_task)
        throw tk_mail_assertion("tk_threa.cpp", 100);
    m_task = create_task();
    if (!m_task)
        throw tk_mail_assertion("tk_threa.cpp", 105);
    if (m_owns_task && m_owned.get() != m_task)
        m_owned.reset(m_task);
    m_task->clear_stop();
    auto st = std::make_shared<state>();
    try {
        m_handle = std::make_unique<std::thread>(&tk_thread::routine, st, m_task);
        m_state = st;
    } catch (const std::system_error& e) {
        // not reported to the caller: the handle stays null and the task does not run
        tk_trace(3, "Cannot create worker thread: %s", e.what());
    }
}

void tk_thread::routine(std::shared_ptr<state> st, tk_task* task)
{
    if (!task)
        throw tk_mail_assertion("tk_threa.cpp", 149);
    task->run();
    {
        std::lock_guard<std::mutex> lock(st->mutex);
        st->finished = true;
    }
    st->done.notify_all();
}

void tk_thread::stop()
{
    if (!is_running())
        throw tk_mail_assertion("tk_threa.cpp", 55);
    m_task->request_stop();
    bool ended;
    {
        std::unique_lock<std::mutex> lock(m_state->mutex);
        ended = m_state->done.wait_for(lock, m_stop_timeout, [this] { return m_state->finished; });
    }
    if (!ended) {
        tk_trace(3, "Worker thread did not stop within %lld ms",
                 static_cast<long long>(m_stop_timeout.count()));
        throw tk_exception("The worker thread did not stop in time.", 1);
    }
    cleanup();
}

void tk_thread::cleanup()
{
    if (is_running())
        throw tk_mail_assertion("tk_threa.cpp", 71);
    if (m_handle) {
        m_handle->join();
        m_handle.reset();
        m_state.reset();
    }
    m_task = nullptr;
    m_owned.reset();
}
