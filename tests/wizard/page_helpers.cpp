#include "page_helpers.hpp"

#include "g_qt_svc.hpp"

#include <QAbstractItemView>
#include <QFileDialog>
#include <QLineEdit>
#include <QPointer>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

bool on_page(int page)
{
    qt_wizard_sheet* s = qt_wizard_services::sheet();
    return s && s->currentId() == page;
}

void click_control(int page, int id)
{
    if (auto* b = page_control<QAbstractButton>(page, id))
        b->click();
    else
        ADD_FAILURE() << "no button " << id << " on page " << page;
}

void click_sheet(QWizard::WizardButton which)
{
    qt_wizard_services::sheet()->button(which)->click();
}

void type_text(int page, int id, const QString& text)
{
    auto* edit = page_control<QLineEdit>(page, id);
    if (!edit) {
        ADD_FAILURE() << "no edit " << id << " on page " << page;
        return;
    }
    edit->clear();
    edit->insert(text);
}

QString edit_text(int page, int id)
{
    if (auto* combo = page_control<QComboBox>(page, id))
        return combo->currentText();
    auto* edit = page_control<QLineEdit>(page, id);
    return edit ? edit->text() : QString();
}

bool is_checked(int page, int id)
{
    auto* b = page_control<QAbstractButton>(page, id);
    return b && b->isChecked();
}

QStringList list_items(int page, int id)
{
    QStringList out;
    if (auto* list = page_control<QListWidget>(page, id))
        for (int i = 0; i < list->count(); ++i)
            out << list->item(i)->text();
    return out;
}

QStringList combo_items(int page, int id)
{
    QStringList out;
    if (auto* combo = page_control<QComboBox>(page, id))
        for (int i = 0; i < combo->count(); ++i)
            out << combo->itemText(i);
    return out;
}

void choose_item(int page, int id, int index)
{
    auto* combo = page_control<QComboBox>(page, id);
    combo->showPopup();
    QAbstractItemView* list = combo->view();
    list->setCurrentIndex(combo->model()->index(index, combo->modelColumn()));
    // taken in the open list, as a click does: the item that is current already is
    // picked as well
    QTest::keyClick(list, Qt::Key_Return);
}

void double_click_item(int page, int id, int row)
{
    auto* list = page_control<QListWidget>(page, id);
    QListWidgetItem* item = list->item(row);
    list->setCurrentItem(item);
    emit list->itemDoubleClicked(item);
}

std::function<bool()> at(int page, std::function<void()> act)
{
    return [page, act] {
        if (!on_page(page))
            return false;
        act();
        return true;
    };
}

std::function<bool()> next_at(int page)
{
    return at(page, [] { click_sheet(QWizard::NextButton); });
}

std::vector<std::function<bool()>> load_then_pick_database(const QString& name)
{
    return {at(p_welcome,
               [] {
                   click_control(p_welcome, 1115);
                   click_sheet(QWizard::NextButton);
               }),
            next_at(p_pgs), next_at(p_oracle), at(p_settings, [name] {
                // the list fetched, as the first drop-down does
                auto* combo = page_control<QComboBox>(p_settings, 1302);
                combo->showPopup();
                combo->hidePopup();
                choose_item(p_settings, 1302,
                            static_cast<int>(combo_items(p_settings, 1302).indexOf(name)));
                click_sheet(QWizard::CancelButton);
            })};
}

// answers a file dialog with that path; the dialog may not take the name while it
// is still reading its directory, so the answer is repeated until it closes
modal_script::answer choose_file(const std::string& path)
{
    return {"", false, [path](QWidget* w) {
                QPointer<QFileDialog> dialog = qobject_cast<QFileDialog*>(w);
                ASSERT_FALSE(dialog.isNull());
                auto* again = new QTimer(dialog.data());
                QObject::connect(again, &QTimer::timeout, [dialog, path] {
                    if (!dialog || !dialog->isVisible())
                        return;
                    // the whole path typed into the name field, as a user may
                    if (auto* name = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit")))
                        name->setText(QString::fromStdString(path));
                    QMetaObject::invokeMethod(dialog.data(), "accept");
                });
                again->start(50);
            }};
}

modal_script::answer go_on()
{
    return {"", false, [](QWidget* w) {
                for (const QString name : {"OK", "Continue", "Yes"})
                    for (QAbstractButton* b : w->findChildren<QAbstractButton*>())
                        if (b->text().remove('&') == name) {
                            b->click();
                            return;
                        }
            }};
}
