#include "qlx_oracle.hpp"

#include "error_handler.hpp"
#include "g_wiz_sh.hpp"
#include "g_wiz_svc.hpp"
#include "ora_except.hpp"
#include "qlx_shel.hpp"
#include "setting_values.hpp"
#include "tk_errco.hpp"
#include "tk_log.hpp"

namespace {

bool is_listener_error(int code)
{
    const int number = code & 0xFFFF;
    return number == 12500 || number == 12505 || number == 12541 || number == 12545;
}

} // namespace

oracle_settings_page::animation::animation(unsigned period_ms, std::wstring text)
    : wait_task(text.empty() ? std::wstring(qlx::wait_text) : std::move(text), period_ms)
{
}

void oracle_settings_page::animation::run()
{
    tk_trace(2, "oracle_settings_page::animation::operator()");
    m_connected = false;
    try {
        tarnova_convertor& task = tarnova_convertor::instance();
        tk_wtrace(1, L"Just before calling 'connect_oracle_server', dest=%ls",
                  task.get_dest_name().c_str());
        task.connect_oracle_server(task.get_dest_name());
        m_connected = true;
    } catch (const ora_exception& e) {
        const tk_error_converter map(oracle_error_count, oracle_errors);
        const std::string mapped = map.convert(e.get_code());
        wizard_shell::error(mapped.empty() ? std::string(e.what()) : mapped);
        if (is_listener_error(e.get_code()))
            wizard_shell::display_help(qlx::help_oracle);
    } catch (const tk_exception& e) {
        // a level-1 error (no client) ends this operation only: reported, not connected
        error_handler::instance().report(e, false);
    } catch (const std::exception& e) {
        wizard_shell::error(std::string(e.what()));
        error_handler::end_process(-1);
    }
    end_dialog();
}

oracle_settings_page::oracle_settings_page()
    : ora_settings_page2<tarnova_convertor>(
          qlx::tpl_oracle_settings,
          {{-1, control_kind::label, L"&Database name:", 4}, {id_dest, control_kind::edit, L"", 4}}),
      tk_thread(false), m_animation(qlx::wait_period_ms, qlx::wait_text_oracle)
{
    add_flags(page_has_help);
    set_header(L"Step 2 of 5", L"Connect to Oracle server");
    set_buttons(wizard_back | wizard_next);
}

bool oracle_settings_page::page_init()
{
    if (wizard_page_view* v = view())
        v->set_text(id_dest, converter().get_dest_name());
    return ora_settings_page2<tarnova_convertor>::page_init();
}

void oracle_settings_page::store_settings()
{
    ora_settings_page2<tarnova_convertor>::store_settings();
    if (wizard_page_view* v = view())
        converter().set_dest_name(v->get_text(id_dest));
}

bool oracle_settings_page::port_refused()
{
    wizard_page_view* v = view();
    // the same rule as for the PostgreSQL port: the connection would only fail on it later
    if (!v || setting_oracle_port(v->get_text(id_port)))
        return false;
    wizard_shell::error(std::wstring(qlx::bad_oracle_port));
    v->set_focus(id_port);
    return true;
}

int oracle_settings_page::on_back()
{
    if (port_refused())
        return -1;
    store_settings();
    return 0;
}

int oracle_settings_page::on_next()
{
    tk_trace(1, "oracle_settings_page::on_next");
    if (port_refused())
        return -1;
    store_settings();
    if (converter().get_dest_name().empty()) {
        wizard_shell::message(qlx::no_oracle_name);
        // the box is about the name, whatever had the keyboard before
        if (wizard_page_view* v = view())
            v->set_focus(id_dest);
        return -1;
    }
    if (!run_behind_wait_dialog(*this, m_animation, qlx::icon_wait_first)) {
        wizard_shell::error(std::wstring(qlx::thread_not_started_connect));
        return -1;
    }
    if (m_animation.is_connected()) {
        tk_trace(2, "Connection has been established");
        return 0;
    }
    tk_trace(2, "Cannot connect to Oracle");
    return -1;
}

void oracle_settings_page::on_help()
{
    wizard_shell::display_help(qlx::help_oracle);
}
