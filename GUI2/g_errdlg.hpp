#pragma once

#include <string>

// the internal-error dialog: OK, Copy to clipboard, Send bug
class dlg_error_ex {
public:
    enum { id_ok = 1, id_copy = 1108, id_send_bug = 1112, id_message = 1320 };

    explicit dlg_error_ex(const std::wstring& message);
    // shows the dialog modally and carries out the button's action; the button's id
    int run();

private:
    std::wstring m_message;
};

// the question after a level-0 error: Continue or Abort, and whether to show it again
class dlg_error_continue {
public:
    enum { id_abort = 1, id_continue = 2, id_do_not_show = 1222, id_message = 1320 };

    explicit dlg_error_continue(const std::wstring& message);
    // 1 Abort, 2 Continue (also Escape and the close box)
    int run();
    bool do_not_show() const { return m_do_not_show; }

private:
    std::wstring m_message;
    bool m_do_not_show = false;
};
