#include "g_finish.hpp"

#include "g_wiz_sh.hpp"
#include "g_wiz_svc.hpp"
#include "tk_log.hpp"
#include "tk_utils.hpp"

gui_finish_page::gui_finish_page(const std::wstring& error_text, const std::wstring& success_text,
                                 const std::wstring& extension)
    : wizard_page(template_id), m_error_text(error_text), m_success_text(success_text),
      m_extension(extension)
{
    add_flags(page_hide_header);
    set_buttons(wizard_finish);
    add_control({id_title, control_kind::title, L"Conversion is Completed", 0});
    add_control({id_result, control_kind::label, L"", 1});
    add_control({id_errors, control_kind::multiline, L"", 2, true});
}

bool gui_finish_page::page_init()
{
    tk_trace(2, "gui_finish_page::page_init");
    set_title_font(id_title);
    wizard_shell& sheet = wizard_shell::instance();
    sheet.enable_button(sheet_cancel, false);
    sheet.enable_button(sheet_help, false);
    wizard_page_view* v = view();
    if (!v)
        return true;
    std::vector<std::string> errors = sheet.get_errors();
    if (const std::string closing = sheet.get_closing_line(); !closing.empty())
        errors.push_back(closing);
    if (errors.empty()) {
        tk_trace(2, "Display success-message");
        v->set_text(id_result, m_success_text);
        return true;
    }
    tk_trace(2, "Display errors");
    v->set_text(id_result, m_error_text);
    v->show(id_errors, true);
    v->set_text(id_errors, L"");
    for (std::string text : errors) {
        for (char& c : text)
            if (c == '\n')
                c = ' ';
        // a server text's tab would show as a wide gap, as in a box
        v->append_text(id_errors, wizard_shell::box_text(tk_to_unicode(text)) + L"\r\n\r\n");
    }
    v->set_read_only(id_errors, true);
    // the list is shown from its start and Enter finishes, as after its first focus
    on_eb_focus();
    return true;
}

void gui_finish_page::on_command(int id, control_event event)
{
    if (id == id_errors && event == control_event::focus)
        on_eb_focus();
}

void gui_finish_page::on_eb_focus()
{
    tk_trace(1, "gui_finish_page::on_eb_focus");
    if (!m_first_focus)
        return;
    m_first_focus = false;
    if (wizard_page_view* v = view())
        v->clear_selection(id_errors);
    if (wizard_services* s = wizard_services::current())
        s->focus_button(sheet_finish);
}
