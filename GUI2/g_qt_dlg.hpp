#pragma once

#include <QDialog>

class QCheckBox;

// the two error dialogs, built in code; control ids are their object names
class qt_error_ex_dialog : public QDialog {
public:
    qt_error_ex_dialog(const QString& caption, const QString& message, QWidget* owner);
};

// Escape and the close box mean Continue
class qt_continue_dialog : public QDialog {
public:
    qt_continue_dialog(const QString& caption, const QString& message, QWidget* owner);
    bool do_not_show() const;
    void reject() override;

private:
    QCheckBox* m_check;
};
