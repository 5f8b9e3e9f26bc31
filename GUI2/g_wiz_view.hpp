#pragma once

#include <string>
#include <vector>

// the controls of a page, described by the page and built by the user-interface layer
enum class control_kind {
    label,          // plain static text
    title,          // static text in the title font
    edit,
    password,
    multiline,      // multi-line edit with a vertical scroll bar
    button,
    check_box,      // the page toggles it on its command
    progress,       // range 0 to 100
    list,           // multiple selection
    combo,          // editable drop-down
    image           // static image by resource id (text unused)
};

struct control_spec {
    int id;                 // -1 for a control the page never addresses
    control_kind kind;
    std::wstring text;
    int row;                // controls of one row stand side by side, rows top to bottom
    bool hidden = false;
    int image = 0;          // resource id of an image control
};

// notifications a control sends its page
enum class control_event { clicked, changed, focus };

// a page's window as the page logic sees it: every control addressed by its id.
// all calls on the user-interface thread
class wizard_page_view {
public:
    virtual ~wizard_page_view() = default;

    virtual void set_text(int id, const std::wstring& text) = 0;
    virtual std::wstring get_text(int id) const = 0;
    // at the end of a multi-line edit
    virtual void append_text(int id, const std::wstring& text) = 0;
    virtual void set_read_only(int id, bool read_only) = 0;
    // for a multi-line edit: no selection, the caret at the start
    virtual void clear_selection(int id) = 0;

    virtual bool get_check(int id) const = 0;
    // false when the control is not a check box
    virtual bool set_check(int id, bool checked) = 0;

    // enabling also gives the control the keyboard focus
    virtual void enable(int id, bool enable) = 0;
    virtual void show(int id, bool show) = 0;
    virtual void set_progress(int id, int position) = 0;

    // list and combo controls
    virtual void clear_items(int id) = 0;
    virtual void add_item(int id, const std::wstring& text) = 0;
    virtual int item_count(int id) const = 0;
    virtual std::wstring item_text(int id, int index) const = 0;
    // the current item of a combo or list; -1 for none
    virtual int current_index(int id) const = 0;
    virtual void set_current_index(int id, int index) = 0;
    virtual bool is_item_selected(int id, int index) const = 0;
    virtual void select_item(int id, int index, bool selected) = 0;
};
