#pragma once

#include <QTimer>
#include <QWizard>

#include <vector>

class qt_wizard_page;
class wizard_shell;

// the sheet on QWizard: shows the model's pages and reports the sheet's events to
// it; navigation, skipping and the answers belong to the model
class qt_wizard_sheet : public QWizard {
public:
    explicit qt_wizard_sheet(wizard_shell& model, QWidget* parent = nullptr);
    ~qt_wizard_sheet() override;

    int nextId() const override;
    bool validateCurrentPage() override { return true; }
    // Cancel, Escape and the close box: asks the current page first
    void reject() override;

    qt_wizard_page* page_at(int index) const;
    void move_to(int index);
    void apply_buttons(int flags);
    void enable_sheet_button(int id, bool enable);
    void focus_sheet_button(int id);
    void show_help_button(bool show);
    void start_progress_timer(int period_ms);
    void stop_progress_timer();
    bool is_progress_timer_active() const { return m_timer.isActive(); }

private:
    QAbstractButton* sheet_button(int id) const;
    void on_current_changed(int id);
    void on_next();
    void on_back();
    void on_finish();

    wizard_shell& m_model;
    std::vector<qt_wizard_page*> m_pages;
    QTimer m_timer;
};
