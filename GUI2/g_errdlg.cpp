#include "g_errdlg.hpp"

#include "g_wiz_sh.hpp"
#include "g_wiz_svc.hpp"
#include "tk_desktop.hpp"
#include "tk_log.hpp"
#include "tk_utils.hpp"

dlg_error_ex::dlg_error_ex(const std::wstring& message) : m_message(message)
{
    tk_trace(2, "dlg_error_ex::ctor");
}

int dlg_error_ex::run()
{
    tk_trace(2, "dlg_error_ex::on_init");
    wizard_services* s = wizard_services::current();
    if (!s)
        return id_ok;
    const int result = s->internal_error_dialog(wizard_shell::box_caption(L"Error"),
                                                wizard_shell::box_text(m_message));
    if (result == id_copy) {
        tk_copy_to_clipboard2(m_message);
    } else if (result == id_send_bug) {
        const std::wstring caption =
            wizard_shell::is_initialized() ? wizard_shell::instance().get_caption() : L"";
        tk_send_bug(tk_to_ansi(caption), tk_to_ansi(m_message));
    }
    return result;
}

dlg_error_continue::dlg_error_continue(const std::wstring& message) : m_message(message)
{
    tk_trace(2, "dlg_error_continue::ctor");
}

int dlg_error_continue::run()
{
    tk_trace(2, "dlg_error_continue::on_init");
    wizard_services* s = wizard_services::current();
    if (!s)
        return id_abort;
    return s->continue_dialog(wizard_shell::box_caption(L"Error"),
                              wizard_shell::box_text(m_message), m_do_not_show);
}
