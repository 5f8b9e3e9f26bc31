#include "g_gui_call.hpp"

#include "error_handler.hpp"
#include "g_wiz_sh.hpp"
#include "tk_except.hpp"
#include "tk_log.hpp"

#include <QCoreApplication>
#include <QMetaObject>
#include <QThread>

#include <condition_variable>
#include <memory>
#include <mutex>

namespace {

std::mutex mutex;
std::condition_variable finished;
// read and changed on the user-interface thread, read by waiters under the mutex
bool closing = false;
unsigned generation = 0;

struct request {
    bool done = false;
    bool ran = false;
};

bool current(unsigned posted)
{
    std::lock_guard<std::mutex> lock(mutex);
    return !closing && posted == generation;
}

} // namespace

namespace gui_thread {

bool is_gui_thread()
{
    QCoreApplication* app = QCoreApplication::instance();
    return app && QThread::currentThread() == app->thread();
}

bool call(const std::function<void()>& fn)
{
    unsigned posted = 0;
    {
        std::lock_guard<std::mutex> lock(mutex);
        if (closing)
            return false;
        posted = generation;
    }
    if (is_gui_thread()) {
        fn();
        return true;
    }
    QCoreApplication* app = QCoreApplication::instance();
    if (!app)
        return false;
    auto r = std::make_shared<request>();
    // fn is captured by pointer: it runs only while its caller still waits
    const std::function<void()>* work = &fn;
    QMetaObject::invokeMethod(
        app,
        [r, work, posted] {
            bool ran = false;
            if (current(posted)) {
                ran = true;
                try {
                    (*work)();
                } catch (...) {
                    tk_trace(3, "ERROR:\nexception in a call on the user-interface thread");
                }
            }
            std::lock_guard<std::mutex> lock(mutex);
            r->done = true;
            r->ran = ran;
            finished.notify_all();
        },
        Qt::QueuedConnection);
    std::unique_lock<std::mutex> lock(mutex);
    finished.wait(lock, [&] { return r->done || closing || posted != generation; });
    return r->done && r->ran;
}

void post(std::function<void()> fn)
{
    QCoreApplication* app = QCoreApplication::instance();
    unsigned posted = 0;
    {
        std::lock_guard<std::mutex> lock(mutex);
        if (closing || !app)
            return;
        posted = generation;
    }
    QMetaObject::invokeMethod(
        app,
        [fn = std::move(fn), posted] {
            if (current(posted))
                guarded(fn);
        },
        Qt::QueuedConnection);
}

void begin_closing()
{
    std::lock_guard<std::mutex> lock(mutex);
    closing = true;
    ++generation;
    finished.notify_all();
}

void end_closing()
{
    std::lock_guard<std::mutex> lock(mutex);
    closing = false;
    ++generation;
}

bool is_closing()
{
    std::lock_guard<std::mutex> lock(mutex);
    return closing;
}

void guarded(const std::function<void()>& fn) noexcept
{
    try {
        try {
            fn();
        } catch (const tk_final_exception&) {
            // reported already
        } catch (const tk_exception& e) {
            if (e.get_level() == 2 && error_handler::has_instance())
                error_handler::instance().handle(e, true);
            else
                wizard_shell::error(std::string(e.what()));
        } catch (const std::exception& e) {
            wizard_shell::error(std::string(e.what()));
        }
    } catch (...) {
        tk_trace(3, "ERROR:\nan error could not be reported");
    }
}

} // namespace gui_thread
