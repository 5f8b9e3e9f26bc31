#include "modal_script.hpp"

#include "test_wait.hpp"

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QDialog>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QWizard>

#include <condition_variable>
#include <mutex>

namespace {

// what the watch of the running wizard knows
struct run_progress {
    std::mutex mutex;
    std::condition_variable changed;
    bool running = false;
    std::chrono::steady_clock::time_point since;
    std::string last_step;
};

run_progress& progress_state()
{
    // never destroyed: a program that exits in the middle of a run (an internal error) must
    // not destroy it under the watch that waits on it
    static run_progress* state = new run_progress;
    return *state;
}

QString plain(QString text)
{
    return text.remove(QLatin1Char('&'));
}

QAbstractButton* find_button(QWidget* widget, const QString& name)
{
    for (QAbstractButton* b : widget->findChildren<QAbstractButton*>())
        if (plain(b->text()) == name || b->objectName() == name)
            return b;
    return nullptr;
}

} // namespace

modal_script::modal_script(std::vector<answer> answers)
    : m_answers(answers.begin(), answers.end())
{
    QObject::connect(&m_timer, &QTimer::timeout, [this] { poll(); });
    m_timer.start(20);
}

modal_script::~modal_script()
{
    m_timer.stop();
}

std::vector<std::string> modal_script::texts() const
{
    std::vector<std::string> out;
    for (const seen& s : m_seen)
        out.push_back(s.text.toStdString());
    return out;
}

void modal_script::poll()
{
    QWidget* modal = QApplication::activeModalWidget();
    if (!modal || qobject_cast<QWizard*>(modal) || !modal->isVisible()) {
        m_top = nullptr;
        return;
    }
    const auto now = std::chrono::steady_clock::now();
    if (m_top != modal) {
        m_top = modal;
        m_top_since = now;
    } else if (now - m_top_since > test_deadline) {
        test_give_up("the closing of the modal window '" + modal->windowTitle().toStdString()
                     + "'");
    }
    for (const QPointer<QWidget>& handled : m_handled)
        if (handled == modal)
            return;
    m_handled.emplace_back(modal);
    if (modal->objectName() == QStringLiteral("101")) {
        QString text;
        for (QLabel* label : modal->findChildren<QLabel*>())
            if (!label->text().isEmpty())
                text = label->text();
        m_waits.push_back(text);
        return;
    }
    seen s{modal->windowTitle(), QString(), QStringLiteral("dialog"),
           modal->parentWidget() != nullptr};
    if (auto* box = qobject_cast<QMessageBox*>(modal)) {
        s.text = box->text();
        s.kind = QStringLiteral("box");
    } else if (qobject_cast<QFileDialog*>(modal)) {
        s.kind = QStringLiteral("file");
    } else {
        s.text = control_text(modal, QStringLiteral("1320"));
    }
    m_seen.push_back(s);
    wizard_run_watch::progress();
    if (m_answers.empty()) {
        ++m_unanswered;
        if (auto* dialog = qobject_cast<QDialog*>(modal))
            dialog->reject();
        return;
    }
    const answer a = m_answers.front();
    m_answers.pop_front();
    if (a.act) {
        a.act(modal);
        return;
    }
    if (a.tick)
        if (auto* check = modal->findChild<QCheckBox*>(QStringLiteral("1222")))
            check->click();
    if (QAbstractButton* b = find_button(modal, a.button))
        b->click();
    else if (auto* dialog = qobject_cast<QDialog*>(modal))
        dialog->reject();
}

ui_steps::ui_steps(std::vector<std::function<bool()>> steps, std::source_location where)
    : m_steps(std::move(steps)),
      m_where(std::string(where.file_name()) + ":" + std::to_string(where.line())),
      m_step_since(std::chrono::steady_clock::now())
{
    QObject::connect(&m_timer, &QTimer::timeout, [this] {
        // a step that opens a modal box returns only when the box is answered; the timer fires
        // in the box's own event loop too, and must not start the same step again there
        if (m_busy || m_next >= m_steps.size())
            return;
        m_busy = true;
        const bool done = m_steps[m_next]();
        m_busy = false;
        const auto now = std::chrono::steady_clock::now();
        if (done) {
            ++m_next;
            m_step_since = now;
            wizard_run_watch::progress("step " + std::to_string(m_next) + " of "
                                       + std::to_string(m_steps.size()) + " of the steps at "
                                       + m_where);
        } else if (now - m_step_since > test_deadline) {
            test_give_up("step " + std::to_string(m_next + 1) + " of "
                         + std::to_string(m_steps.size()) + " of the steps at " + m_where);
        }
    });
    m_timer.start(25);
}

ui_steps::~ui_steps()
{
    m_timer.stop();
}

wizard_run_watch::wizard_run_watch()
{
    run_progress& p = progress_state();
    {
        std::lock_guard<std::mutex> lock(p.mutex);
        p.running = true;
        p.since = std::chrono::steady_clock::now();
        p.last_step = "none";
    }
    m_thread = std::thread([&p] {
        std::unique_lock<std::mutex> lock(p.mutex);
        while (p.running) {
            const auto seen = p.since;
            if (p.changed.wait_until(lock, seen + test_deadline,
                                     [&] { return !p.running || p.since != seen; }))
                continue;
            test_give_up("the end of the wizard's run (the last step that ran: " + p.last_step
                         + ")");
        }
    });
}

wizard_run_watch::~wizard_run_watch()
{
    run_progress& p = progress_state();
    {
        std::lock_guard<std::mutex> lock(p.mutex);
        p.running = false;
    }
    p.changed.notify_all();
    m_thread.join();
}

void wizard_run_watch::progress(const std::string& step)
{
    run_progress& p = progress_state();
    {
        std::lock_guard<std::mutex> lock(p.mutex);
        p.since = std::chrono::steady_clock::now();
        if (!step.empty())
            p.last_step = step;
    }
    p.changed.notify_all();
}

QString control_text(QWidget* root, const QString& name)
{
    QWidget* w = root ? root->findChild<QWidget*>(name) : nullptr;
    if (auto* label = qobject_cast<QLabel*>(w))
        return label->text();
    if (auto* edit = qobject_cast<QLineEdit*>(w))
        return edit->text();
    if (auto* plain_edit = qobject_cast<QPlainTextEdit*>(w))
        return plain_edit->toPlainText();
    return QString();
}
