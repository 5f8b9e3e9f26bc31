#pragma once

#include "g_qt_page.hpp"
#include "g_qt_sheet.hpp"
#include "g_qt_svc.hpp"
#include "modal_script.hpp"

#include <QAbstractButton>
#include <QComboBox>
#include <QLineEdit>
#include <QListWidget>
#include <QString>
#include <QStringList>

#include <functional>
#include <string>
#include <vector>

// the pages of the interactive wizard by position
enum walk_page { p_welcome, p_pgs, p_oracle, p_settings, p_tables, p_progress, p_finish };

// the control of that id on the page at that position of the shown sheet; null when none
template <class W>
W* page_control(int page, int id)
{
    qt_wizard_sheet* s = qt_wizard_services::sheet();
    qt_wizard_page* p = s ? s->page_at(page) : nullptr;
    return p ? p->findChild<W*>(QString::number(id)) : nullptr;
}

// true when the shown sheet is on that page
bool on_page(int page);
void click_control(int page, int id);
void click_sheet(QWizard::WizardButton which);
// as a user types: the old text replaced
void type_text(int page, int id, const QString& text);
QString edit_text(int page, int id);
bool is_checked(int page, int id);
QStringList list_items(int page, int id);
QStringList combo_items(int page, int id);
// the user opens the combo's list and picks that item
void choose_item(int page, int id, int index);
void double_click_item(int page, int id, int row);

// steps of ui_steps: wait for the page, then act; or press Next there
std::function<bool()> at(int page, std::function<void()> act);
std::function<bool()> next_at(int page);

// the steps of a walk that loads a profile (its dialog answered by the script), goes on to the
// conversion settings page, picks that database from the fetched list and cancels there
std::vector<std::function<bool()>> load_then_pick_database(const QString& name);

// answers a file dialog with that path
modal_script::answer choose_file(const std::string& path);
// answers a box or dialog with the first of OK, Continue and Yes that it has
modal_script::answer go_on();
