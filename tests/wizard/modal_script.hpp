#pragma once

#include <QPointer>
#include <QString>
#include <QTimer>
#include <QWidget>

#include <chrono>
#include <deque>
#include <functional>
#include <source_location>
#include <string>
#include <thread>
#include <vector>

// answers the modal boxes and dialogs of a test on the user-interface thread: each one
// that opens is recorded (caption and text) and answered by the next scripted answer.
// the wizard itself is not answered. a box or dialog (a wait dialog too) still open past
// the test deadline fails the test
class modal_script {
public:
    struct answer {
        QString button;                     // a button's text (without '&') or object name
        bool tick = false;                  // tick the continue dialog's check box first
        std::function<void(QWidget*)> act;  // instead of a button: anything
    };
    struct seen {
        QString caption;
        QString text;
        QString kind;                       // "box", "dialog", "file"
        bool owned = false;                 // it has an owner window
    };

    explicit modal_script(std::vector<answer> answers = {});
    ~modal_script();
    modal_script(const modal_script&) = delete;
    modal_script& operator=(const modal_script&) = delete;

    void add(answer a) { m_answers.push_back(std::move(a)); }
    // a modal widget with no answer left is closed with Escape and counted here
    int unanswered() const { return m_unanswered; }
    const std::vector<seen>& seen_widgets() const { return m_seen; }
    std::vector<std::string> texts() const;
    // wait dialogs are not answered (only their task ends them): their texts, in order
    const std::vector<QString>& waits() const { return m_waits; }

private:
    void poll();

    std::deque<answer> m_answers;
    std::vector<seen> m_seen;
    std::vector<QPointer<QWidget>> m_handled;
    std::vector<QString> m_waits;
    // the modal widget on top and since when
    QPointer<QWidget> m_top;
    std::chrono::steady_clock::time_point m_top_since;
    int m_unanswered = 0;
    QTimer m_timer;
};

// steps run one after the other on the user-interface thread, each polled until it
// answers true; a step that does not within the test deadline fails the test, naming it
class ui_steps {
public:
    explicit ui_steps(std::vector<std::function<bool()>> steps,
                      std::source_location where = std::source_location::current());
    ~ui_steps();
    bool all_done() const { return m_next >= m_steps.size(); }
    std::size_t done_count() const { return m_next; }

private:
    std::vector<std::function<bool()>> m_steps;
    std::size_t m_next = 0;
    bool m_busy = false;
    std::string m_where;
    std::chrono::steady_clock::time_point m_step_since;
    QTimer m_timer;
};

// a run of the wizard in a test (tarnova_main, a sheet's exec) that must end within the test
// deadline of the last step done or box answered (of its start when there were none): the
// steps and boxes have deadlines of their own, this one holds a wizard that stays open after
// them. a missed deadline fails the test naming the last step that ran
class wizard_run_watch {
public:
    wizard_run_watch();
    ~wizard_run_watch();
    wizard_run_watch(const wizard_run_watch&) = delete;
    wizard_run_watch& operator=(const wizard_run_watch&) = delete;

    // the run goes on: a step done (named) or a box answered (step empty)
    static void progress(const std::string& step = std::string());

private:
    std::thread m_thread;
};

// the text of a widget's control by object name (label, edit, plain edit)
QString control_text(QWidget* root, const QString& name);
