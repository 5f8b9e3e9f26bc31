#pragma once

#include <QDialog>
#include <QTimer>

class QLabel;

// the wait dialog: a cycling image beside a text, no buttons; only its owner's end
// request closes it (Escape and the close box do nothing)
class qt_wait_dialog : public QDialog {
public:
    qt_wait_dialog(const QString& text, int first_frame, unsigned period_ms, QWidget* owner);

    void reject() override {}
    int current_frame() const { return m_frame; }

private:
    void show_frame();

    QLabel* m_image;
    int m_first;
    int m_frame = 0;
    QTimer m_timer;
};
