#pragma once

#include "g_wiz_svc.hpp"

#include <QPixmap>

#include <functional>

class qt_wizard_sheet;

// the services on Qt widgets: boxes and dialogs on the user-interface thread
// whatever thread asks, file dialogs, the help viewer, the sheet's timer and buttons
class qt_wizard_services : public wizard_services {
public:
    // registers itself as the process's services; the previous ones come back at the end
    qt_wizard_services();
    ~qt_wizard_services() override;
    qt_wizard_services(const qt_wizard_services&) = delete;
    qt_wizard_services& operator=(const qt_wizard_services&) = delete;

    bool box(box_kind kind, const std::wstring& caption, const std::wstring& text,
             bool owned) override;
    int internal_error_dialog(const std::wstring& caption, const std::wstring& message) override;
    int continue_dialog(const std::wstring& caption, const std::wstring& message,
                        bool& do_not_show) override;
    void wait_dialog(const std::wstring& caption, const std::wstring& text, int first_frame,
                     unsigned period_ms, wait_end& end) override;
    bool open_file_dialog(const std::wstring& title, const std::vector<std::wstring>& filters,
                          const std::wstring& directory, std::wstring& path) override;
    bool save_file_dialog(const std::wstring& title, const std::vector<std::wstring>& filters,
                          const std::wstring& directory, std::wstring& path) override;
    void start_help_viewer(const std::string& file, int context_id) override;
    void start_timer(int period_ms) override;
    void stop_timer() override;
    void set_wizard_buttons(int flags) override;
    void enable_button(int id, bool enable) override;
    void focus_button(int id) override;
    void show_help_button(bool show) override;
    void select_page(int index) override;
    void set_window_text(const std::wstring& caption, int icon_id) override;

    // the program's images by resource id
    static void set_image_provider(std::function<QPixmap(int)> provider);
    static QPixmap image(int id);
    // the sheet being shown, null when there is none
    static void attach_sheet(qt_wizard_sheet* sheet);
    static qt_wizard_sheet* sheet();

private:
    wizard_services* m_previous;
};
