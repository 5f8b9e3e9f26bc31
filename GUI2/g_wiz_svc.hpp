#pragma once

#include <string>
#include <vector>

class wait_end;

// wizard buttons of the sheet, as the pages set them on activation
enum wizard_button_flags {
    wizard_back = 0x1,
    wizard_next = 0x2,
    wizard_finish = 0x4,
};

// the sheet's own buttons that a page can enable or disable
enum sheet_button_id {
    sheet_cancel = 2,
    sheet_help = 9,
    sheet_back = 0x3023,
    sheet_next = 0x3024,
    sheet_finish = 0x3025,
};

enum class box_kind { error, message, question };

// what the wizard's user-interface layer does for the logic. the boxes and dialogs
// may be called from any thread and show on the user-interface thread; the sheet
// operations run on the user-interface thread
class wizard_services {
public:
    virtual ~wizard_services() = default;

    // owned: the sheet is the owner (else none). question: true on Yes, No is the default.
    // once the sheet is closing a box is not shown and a question answers No
    virtual bool box(box_kind kind, const std::wstring& caption, const std::wstring& text,
                     bool owned) = 0;
    // the internal-error dialog; the id of the button that closed it (1 OK,
    // 1108 Copy to clipboard, 1112 Send bug); 1 once the sheet is closing
    virtual int internal_error_dialog(const std::wstring& caption, const std::wstring& message) = 0;
    // the continue dialog; 1 Abort, 2 Continue; do_not_show the check box's state.
    // 1 once the sheet is closing
    virtual int continue_dialog(const std::wstring& caption, const std::wstring& message,
                                bool& do_not_show) = 0;

    // the wait dialog under the caption: the text beside frames first_frame to
    // first_frame + 7, one every period; no buttons, Escape and the close box do nothing;
    // it closes when end is asked for (also before it showed), and the sheet's page has
    // the keyboard again. returns at once once the sheet is closing
    virtual void wait_dialog(const std::wstring& caption, const std::wstring& text,
                             int first_frame, unsigned period_ms, wait_end& end) = 0;

    // file dialogs: filters as "Name (pattern)", directory where they open;
    // true with the chosen path
    virtual bool open_file_dialog(const std::wstring& title,
                                  const std::vector<std::wstring>& filters,
                                  const std::wstring& directory, std::wstring& path) = 0;
    virtual bool save_file_dialog(const std::wstring& title,
                                  const std::vector<std::wstring>& filters,
                                  const std::wstring& directory, std::wstring& path) = 0;

    // starts the help viewer on the file, at the context id unless it is 0
    virtual void start_help_viewer(const std::string& file, int context_id) = 0;

    // the sheet's progress timer; requests from any thread, applied on the
    // user-interface thread
    virtual void start_timer(int period_ms) = 0;
    virtual void stop_timer() = 0;

    virtual void set_wizard_buttons(int flags) = 0;
    virtual void enable_button(int id, bool enable) = 0;
    virtual void focus_button(int id) = 0;
    virtual void show_help_button(bool show) = 0;
    // moves the sheet to the page at that position (its activation follows)
    virtual void select_page(int index) = 0;
    virtual void set_window_text(const std::wstring& caption, int icon_id) = 0;

    // the one set of services of the process; null before the layer is built
    static wizard_services* current();
    static void set_current(wizard_services* services);
};
