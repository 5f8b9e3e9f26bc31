#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>

// the job of a worker thread. the default run steps until is_done answers true
// or a stop is requested, then calls on_finish
class tk_task {
public:
    tk_task() = default;
    tk_task(const tk_task&) = delete;
    tk_task& operator=(const tk_task&) = delete;
    virtual ~tk_task() = default;

    virtual void run();
    virtual bool is_done() { return false; }
    // waits 100 ms, less when a stop is requested
    virtual void step();
    virtual void on_finish() {}

    // a stop is cooperative: loops that may be stopped test stop_requested
    void request_stop();
    bool stop_requested() const { return m_stop.load(); }

protected:
    // true when a stop was requested before the time ran out
    bool wait_for_stop(std::chrono::milliseconds time);

private:
    friend class tk_thread;
    void clear_stop() { m_stop.store(false); }

    std::atomic<bool> m_stop{false};
    std::mutex m_mutex;
    std::condition_variable m_wakeup;
};

// a thread object that obtains one task from create_task and runs it on a thread
// of its own; it is used from its owner's thread only
class tk_thread {
public:
    explicit tk_thread(bool owns_task);
    tk_thread(const tk_thread&) = delete;
    tk_thread& operator=(const tk_thread&) = delete;
    // stops a running thread first; one that does not end within the stop
    // timeout is waited for without limit, never left running on its own
    virtual ~tk_thread();

    // the default makes a task of the thread's own and sets owns_task; an override
    // hands over its own task, which the thread deletes only when owns_task is set
    virtual tk_task* create_task();

    void start();
    // asks the task to stop and waits for it at most the stop timeout;
    // a thread that does not end in time raises a level-1 tk_exception and stays running
    void stop();
    void cleanup();
    bool is_running() const;

    tk_task* get_task() const { return m_task; }
    void set_stop_timeout(std::chrono::milliseconds timeout) { m_stop_timeout = timeout; }

protected:
    bool m_owns_task;

private:
    struct state;
    static void routine(std::shared_ptr<state> st, tk_task* task);

    std::unique_ptr<std::thread> m_handle;
    std::shared_ptr<state> m_state;
    tk_task* m_task = nullptr;
    std::unique_ptr<tk_task> m_owned;   // the task when owns_task is set
    std::chrono::milliseconds m_stop_timeout{5000};
};
