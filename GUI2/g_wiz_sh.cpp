#include "g_wiz_sh.hpp"

#include "g_wiz_pg.hpp"
#include "g_wiz_svc.hpp"
#include "tk_except.hpp"
#include "tk_log.hpp"
#include "tk_utils.hpp"

namespace {

wizard_services* services()
{
    return wizard_services::current();
}

} // namespace

wizard_shell::wizard_shell(const std::wstring& caption, int icon_id, int watermark_id,
                           int header_id)
    : m_caption(caption), m_icon_id(icon_id), m_watermark_id(watermark_id), m_header_id(header_id)
{
}

wizard_shell::~wizard_shell() noexcept
{
    tk_trace(2, "wizard_shell::dtor");
    m_initialized = false;
    stop_timer();
}

void wizard_shell::add_page(wizard_page& page)
{
    m_pages.push_back(&page);
}

wizard_page* wizard_shell::current_page() const
{
    if (m_current < 0 || m_current >= static_cast<int>(m_pages.size()))
        return nullptr;
    return m_pages[static_cast<std::size_t>(m_current)];
}

bool wizard_shell::is_initialized()
{
    tk_trace(1, "wizard_shell::is_initialized");
    if (!has_instance()) {
        tk_trace(1, "Before return false");
        return false;
    }
    tk_trace(1, "Singleton has been initialized");
    return instance().m_initialized.load();
}

void wizard_shell::on_sheet_init()
{
    if (m_initialized)
        return;
    if (wizard_services* s = services())
        s->set_window_text(m_caption, m_icon_id);
    m_initialized = true;
}

int wizard_shell::on_next_pressed()
{
    wizard_page* page = current_page();
    if (!page || page->on_next() == -1 || !page->on_kill_active())
        return -1;
    m_direction = 1;
    return m_current + 1 < static_cast<int>(m_pages.size()) ? m_current + 1 : -1;
}

int wizard_shell::on_back_pressed()
{
    wizard_page* page = current_page();
    if (!page || page->on_back() == -1 || !page->on_kill_active())
        return -1;
    m_direction = -1;
    return m_current > 0 ? m_current - 1 : -1;
}

bool wizard_shell::on_finish_pressed()
{
    wizard_page* page = current_page();
    return !page || page->on_finish();
}

bool wizard_shell::on_cancel_requested()
{
    wizard_page* page = current_page();
    return page ? page->on_cancel() : question(L"Are you sure you want to exit the wizard?");
}

int wizard_shell::on_activated(int index)
{
    if (index < 0 || index >= static_cast<int>(m_pages.size()))
        return -1;
    m_current = index;
    if (m_pages[static_cast<std::size_t>(index)]->on_set_active())
        return -1;
    // skipped: on in the direction of travel while there is a page there
    const int target = index + m_direction;
    return target >= 0 && target < static_cast<int>(m_pages.size()) ? target : -1;
}

void wizard_shell::select_page(int template_id)
{
    for (std::size_t i = 0; i < m_pages.size(); ++i) {
        if (m_pages[i]->get_template_id() != template_id)
            continue;
        m_direction = 1;
        if (wizard_services* s = services())
            s->select_page(static_cast<int>(i));
        return;
    }
}

void wizard_shell::start_timer(int period_ms)
{
    if (m_timer_running.exchange(true))
        throw tk_mail_assertion("..\\GUI2/g_wiz_sh.cpp", 223);
    wizard_services* s = services();
    if (!s) {
        m_timer_running = false;
        throw tk_mail_assertion("..\\GUI2/g_wiz_sh.cpp", 231);
    }
    s->start_timer(period_ms);
}

void wizard_shell::stop_timer()
{
    if (!m_timer_running.exchange(false))
        return;
    if (wizard_services* s = services())
        s->stop_timer();
}

void wizard_shell::on_timer(int id)
{
    if (id != progress_timer_id)
        return;
    if (wizard_page* page = current_page())
        page->on_timer(id);
}

void wizard_shell::on_help()
{
    if (wizard_page* page = current_page())
        page->on_help();
}

void wizard_shell::set_wizard_buttons(int flags)
{
    if (wizard_services* s = services())
        s->set_wizard_buttons(flags);
}

void wizard_shell::enable_button(int id, bool enable)
{
    tk_trace(2, "wizard_shell::enable_button(%08X)", static_cast<unsigned>(id));
    if (wizard_services* s = services())
        s->enable_button(id, enable);
}

std::wstring wizard_shell::box_caption(const std::wstring& kind)
{
    if (is_initialized())
        return instance().m_caption + L" " + kind;
    return kind;
}

std::wstring wizard_shell::box_text(const std::wstring& text)
{
    std::wstring shown = text;
    const std::size_t last = shown.find_last_not_of(L" \t\r\n");
    shown.erase(last == std::wstring::npos ? 0 : last + 1);
    for (wchar_t& c : shown)
        if (c == L'\t')
            c = L' ';
    return shown;
}

void wizard_shell::error(const std::wstring& text)
{
    tk_wtrace(1, L"wizard_shell::error(%ls)", text.c_str());
    if (wizard_services* s = services())
        s->box(box_kind::error, box_caption(L"Error"), box_text(text), is_initialized());
    tk_wtrace(3, L"%ls", text.c_str());
}

void wizard_shell::error(const std::string& text)
{
    error(tk_to_unicode(text));
}

void wizard_shell::message(const std::wstring& text)
{
    tk_wtrace(1, L"wizard_shell::message(%ls)", text.c_str());
    if (wizard_services* s = services())
        s->box(box_kind::message, box_caption(L"Message"), box_text(text), is_initialized());
    tk_wtrace(3, L"%ls", text.c_str());
}

bool wizard_shell::question(const std::wstring& text)
{
    wizard_services* s = services();
    return s
           && s->box(box_kind::question, box_caption(L"Question"), box_text(text),
                     is_initialized());
}

void wizard_shell::display_help()
{
    tk_trace(1, "wizard_shell::display_help");
    show_help(0);
}

void wizard_shell::display_help(int context_id)
{
    tk_trace(1, "wizard_shell::display_help(%d)", context_id);
    show_help(context_id);
}

void wizard_shell::show_help(int context_id)
{
    // the program's path with its extension replaced by .chm
    std::string file = tk_get_module_file_name();
    const std::size_t slash = file.rfind('/');
    const std::size_t dot = file.rfind('.');
    if (dot != std::string::npos && (slash == std::string::npos || dot > slash))
        file.erase(dot);
    file += ".chm";
    if (!tk_is_file_exist(file, 0x4000)) {
        error(std::wstring(L"Help file does not exist. Reinstall the program."));
        return;
    }
    if (wizard_services* s = services())
        s->start_help_viewer(file, context_id);
}

void wizard_shell::add_error(const std::string& text)
{
    std::lock_guard<std::mutex> lock(m_errors_mutex);
    if (m_errors.size() < max_errors)
        m_errors.push_back(text);
}

void wizard_shell::clear_errors()
{
    std::lock_guard<std::mutex> lock(m_errors_mutex);
    m_errors.clear();
    m_closing_line.clear();
}

std::vector<std::string> wizard_shell::get_errors() const
{
    std::lock_guard<std::mutex> lock(m_errors_mutex);
    return m_errors;
}

void wizard_shell::set_closing_line(const std::string& text)
{
    std::lock_guard<std::mutex> lock(m_errors_mutex);
    m_closing_line = text;
}

std::string wizard_shell::get_closing_line() const
{
    std::lock_guard<std::mutex> lock(m_errors_mutex);
    return m_closing_line;
}
