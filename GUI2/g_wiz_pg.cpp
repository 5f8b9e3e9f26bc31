#include "g_wiz_pg.hpp"

#include "g_wiz_sh.hpp"
#include "tk_except.hpp"
#include "tk_log.hpp"

wizard_page::wizard_page(int template_id) : m_template_id(template_id) {}

wizard_page::~wizard_page()
{
    tk_trace(2, "wizard_page::dtor");
}

bool wizard_page::on_set_active()
{
    tk_trace(1, "wizard_page::OnSetActive");
    wizard_shell& sheet = wizard_shell::instance();
    sheet.set_wizard_buttons(m_buttons);
    sheet.on_sheet_init();
    return page_init();
}

bool wizard_page::on_cancel()
{
    tk_trace(2, "wizard_page::on_cancel");
    return wizard_shell::question(L"Are you sure you want to exit the wizard?");
}

void wizard_page::set_header(const std::wstring& title, const std::wstring& subtitle)
{
    m_title = title;
    m_subtitle = subtitle;
    m_flags |= page_header;
}

void wizard_page::set_title_font(int)
{
    // the layer builds title controls in the title font already
}

void wizard_page::invert_chbox(int id)
{
    tk_trace(1, "wizard_page::invert_chbox(%d)", id);
    if (!m_view || !m_view->set_check(id, !m_view->get_check(id)))
        throw tk_mail_assertion("..\\GUI2/g_wiz_pg.hpp", 122);
}

void wizard_page::enable_ctrl(int id, bool enable)
{
    tk_trace(1, "wizard_page::enable_ctrl(%d=%d)", id, enable ? 1 : 0);
    if (m_view)
        m_view->enable(id, enable);
}
