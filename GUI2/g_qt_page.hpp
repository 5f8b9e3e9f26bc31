#pragma once

#include "g_wiz_view.hpp"

#include <QWizardPage>

class QButtonGroup;

#include <map>

class wizard_page;

// a page's widgets, built in code from the page's control list; it forwards the
// controls' notifications to the page and decides nothing
class qt_wizard_page : public QWizardPage, public wizard_page_view {
public:
    explicit qt_wizard_page(wizard_page& page);
    ~qt_wizard_page() override;

    wizard_page& page() const { return m_page; }
    QWidget* control(int id) const;

    void set_text(int id, const std::wstring& text) override;
    std::wstring get_text(int id) const override;
    void append_text(int id, const std::wstring& text) override;
    void set_read_only(int id, bool read_only) override;
    void clear_selection(int id) override;
    bool get_check(int id) const override;
    bool set_check(int id, bool checked) override;
    void enable(int id, bool enable) override;
    void show(int id, bool show) override;
    void set_progress(int id, int position) override;
    void clear_items(int id) override;
    void add_item(int id, const std::wstring& text) override;
    void insert_item(int id, int index, const std::wstring& text) override;
    void remove_item(int id, int index) override;
    int item_count(int id) const override;
    std::wstring item_text(int id, int index) const override;
    int current_index(int id) const override;
    void set_current_index(int id, int index) override;
    bool is_item_selected(int id, int index) const override;
    void select_item(int id, int index, bool selected) override;
    void set_focus(int id) override;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QWidget* build(const control_spec& ctl);
    void notify(int id, control_event event);

    wizard_page& m_page;
    std::map<int, QWidget*> m_controls;
    QButtonGroup* m_radios;
};
