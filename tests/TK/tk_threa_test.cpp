#include "tk_threa.hpp"
#include "tk_test_files.hpp"
#include "test_wait.hpp"

#include <atomic>
#include <future>
#include <gtest/gtest.h>

namespace {

// waits until the thread's run has returned; the test never asserts on time
void wait_until_finished(const tk_thread& t)
{
    test_wait_until([&] { return !t.is_running(); }, "the end of the thread's run",
                    std::chrono::milliseconds(1));
}

// a task that counts its steps and ends after a given number
class counting_task : public tk_task {
public:
    explicit counting_task(int steps, std::atomic<int>* destroyed = nullptr)
        : m_steps(steps), m_destroyed(destroyed) {}
    ~counting_task() override
    {
        if (m_destroyed)
            ++*m_destroyed;
    }
    bool is_done() override { return done >= m_steps; }
    void step() override { ++done; }
    void on_finish() override { finished = true; }

    std::atomic<int> done{0};
    std::atomic<bool> finished{false};

private:
    int m_steps;
    std::atomic<int>* m_destroyed;
};

// runs until the test opens its gate, ignoring stop requests
class gated_task : public tk_task {
public:
    explicit gated_task(std::shared_future<void> gate) : m_gate(std::move(gate)) {}
    void run() override
    {
        started.set_value();
        m_gate.wait();
    }
    std::promise<void> started;

private:
    std::shared_future<void> m_gate;
};

class task_thread : public tk_thread {
public:
    explicit task_thread(tk_task* task, bool owns) : tk_thread(owns), m_task(task) {}
    tk_task* create_task() override { return m_task; }
    void set_task(tk_task* task) { m_task = task; }

private:
    tk_task* m_task;
};

} // namespace

TEST(tk_task, default_run_steps_until_done_then_finishes)
{
    counting_task task(3);
    task.run();
    EXPECT_EQ(task.done, 3);
    EXPECT_TRUE(task.finished);
}

TEST(tk_thread, default_task_loops_until_stopped)
{
    tk_thread t(false);
    t.start();
    EXPECT_TRUE(t.is_running());
    ASSERT_NE(t.get_task(), nullptr);
    t.stop();
    EXPECT_FALSE(t.is_running());
    EXPECT_EQ(t.get_task(), nullptr);
}

TEST(tk_thread, start_while_running_is_an_internal_error)
{
    tk_thread t(true);
    t.start();
    EXPECT_TK_ASSERTION(t.start(), "tk_threa.cpp", 92);
    EXPECT_TK_ASSERTION(t.cleanup(), "tk_threa.cpp", 71);
    t.stop();
    EXPECT_TK_ASSERTION(t.stop(), "tk_threa.cpp", 55);
}

TEST(tk_thread, null_task_is_an_internal_error)
{
    task_thread t(nullptr, false);
    EXPECT_TK_ASSERTION(t.start(), "tk_threa.cpp", 105);
    EXPECT_FALSE(t.is_running());
}

TEST(tk_thread, finished_run_is_cleaned_up_by_next_start)
{
    std::atomic<int> destroyed{0};
    auto* first = new counting_task(2, &destroyed);
    task_thread t(first, true);
    t.start();
    wait_until_finished(t);
    EXPECT_EQ(first->done, 2);
    EXPECT_EQ(destroyed, 0);

    auto* second = new counting_task(5, &destroyed);
    t.set_task(second);
    t.start();
    EXPECT_EQ(destroyed, 1);
    wait_until_finished(t);
    EXPECT_EQ(second->done, 5);
    EXPECT_TRUE(second->finished);
    t.cleanup();
    EXPECT_EQ(destroyed, 2);
}

TEST(tk_thread, task_not_owned_survives_cleanup_and_runs_again_after_stop)
{
    std::atomic<int> destroyed{0};
    tk_task task;
    task_thread t(&task, false);
    t.start();
    t.stop();
    EXPECT_TRUE(task.stop_requested());
    // the same task can be started again: the old stop request is gone
    t.start();
    EXPECT_FALSE(task.stop_requested());
    EXPECT_TRUE(t.is_running());
    t.stop();
    counting_task counted(1, &destroyed);
    t.set_task(&counted);
    t.start();
    wait_until_finished(t);
    t.cleanup();
    EXPECT_EQ(destroyed, 0);
    EXPECT_EQ(counted.done, 1);
}

TEST(tk_thread, destroying_running_thread_stops_it_first)
{
    std::atomic<int> destroyed{0};
    class stoppable : public counting_task {
    public:
        using counting_task::counting_task;
        void step() override { wait_for_stop(std::chrono::milliseconds(100)); }
    };
    auto* task = new stoppable(1000000, &destroyed);
    {
        task_thread t(task, true);
        t.start();
        EXPECT_TRUE(t.is_running());
    }
    EXPECT_EQ(destroyed, 1);
}

TEST(tk_thread, thread_that_ignores_stop_is_reported_and_keeps_its_task)
{
    std::promise<void> gate;
    std::shared_future<void> opened = gate.get_future().share();
    auto* task = new gated_task(opened);
    std::future<void> started = task->started.get_future();
    task_thread t(task, false);
    t.set_stop_timeout(std::chrono::milliseconds(20));
    t.start();
    started.wait();
    try {
        t.stop();
        FAIL() << "stop of a thread that does not end must be reported";
    } catch (const tk_exception& e) {
        EXPECT_EQ(e.get_level(), 1);
        EXPECT_STREQ(e.what(), "The worker thread did not stop in time.");
    }
    EXPECT_TRUE(t.is_running());
    EXPECT_EQ(t.get_task(), task);
    gate.set_value();
    wait_until_finished(t);
    t.cleanup();
    delete task;
}

TEST(tk_thread, destroying_thread_that_ignores_stop_waits_for_it_to_end)
{
    std::atomic<int> destroyed{0};
    class gated_counted : public gated_task {
    public:
        gated_counted(std::shared_future<void> gate, std::atomic<int>* d)
            : gated_task(std::move(gate)), m_d(d) {}
        ~gated_counted() override { ++*m_d; }

    private:
        std::atomic<int>* m_d;
    };
    std::promise<void> gate;
    auto* task = new gated_counted(gate.get_future().share(), &destroyed);
    std::future<void> started = task->started.get_future();
    std::thread opener;
    {
        task_thread t(task, true);
        t.set_stop_timeout(std::chrono::milliseconds(20));
        t.start();
        started.wait();
        // the gate opens only once the thread object has given up on its stop request
        opener = std::thread([&] {
            test_wait_until([&] { return task->stop_requested(); }, "the stop request",
                            std::chrono::milliseconds(1));
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
            EXPECT_EQ(destroyed, 0);
            gate.set_value();
        });
    }
    // the destructor returned only after the run ended, and then deleted the task
    EXPECT_EQ(destroyed, 1);
    opener.join();
}
