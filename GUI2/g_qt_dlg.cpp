#include "g_qt_dlg.hpp"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QStyle>
#include <QVBoxLayout>

namespace {

// icon and message side by side, the buttons below; answers the layout for the buttons
QHBoxLayout* frame(QDialog& dialog, const QString& caption, const QString& message)
{
    dialog.setWindowTitle(caption);
    dialog.setModal(true);
    auto* outer = new QVBoxLayout(&dialog);
    auto* top = new QHBoxLayout;
    auto* icon = new QLabel;
    const int size = dialog.style()->pixelMetric(QStyle::PM_MessageBoxIconSize);
    icon->setPixmap(dialog.style()->standardIcon(QStyle::SP_MessageBoxCritical).pixmap(size, size));
    icon->setAlignment(Qt::AlignTop);
    top->addWidget(icon);
    auto* text = new QLabel(message);
    text->setObjectName(QStringLiteral("1320"));
    text->setTextFormat(Qt::PlainText);
    text->setWordWrap(true);
    text->setTextInteractionFlags(Qt::TextSelectableByMouse);
    text->setMinimumWidth(360);
    top->addWidget(text, 1);
    outer->addLayout(top);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    outer->addLayout(buttons);
    return buttons;
}

QPushButton* add_button(QDialog& dialog, QHBoxLayout* row, const QString& text, int id)
{
    auto* button = new QPushButton(text);
    button->setObjectName(QString::number(id));
    row->addWidget(button);
    QObject::connect(button, &QPushButton::clicked, &dialog, [&dialog, id] { dialog.done(id); });
    return button;
}

} // namespace

qt_error_ex_dialog::qt_error_ex_dialog(const QString& caption, const QString& message,
                                       QWidget* owner)
    : QDialog(owner)
{
    QHBoxLayout* row = frame(*this, caption, message);
    QPushButton* send = add_button(*this, row, QStringLiteral("Send bug"), 1112);
    add_button(*this, row, QStringLiteral("OK"), 1);
    add_button(*this, row, QStringLiteral("Copy to clipboard"), 1108);
    send->setDefault(true);
    send->setFocus();
}

qt_continue_dialog::qt_continue_dialog(const QString& caption, const QString& message,
                                       QWidget* owner)
    : QDialog(owner)
{
    QHBoxLayout* row = frame(*this, caption, message);
    m_check = new QCheckBox(QStringLiteral("&Do not show this dialog box again"));
    m_check->setObjectName(QStringLiteral("1222"));
    row->insertWidget(0, m_check);
    QPushButton* go_on = add_button(*this, row, QStringLiteral("Continue"), 2);
    add_button(*this, row, QStringLiteral("Abort"), 1);
    go_on->setDefault(true);
    go_on->setFocus();
}

bool qt_continue_dialog::do_not_show() const
{
    return m_check->isChecked();
}

void qt_continue_dialog::reject()
{
    done(2);
}
