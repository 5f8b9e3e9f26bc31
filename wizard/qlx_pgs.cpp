#include "qlx_pgs.hpp"

#include "error_handler.hpp"
#include "g_wiz_sh.hpp"
#include "g_wiz_svc.hpp"
#include "qlx_shel.hpp"
#include "setting_values.hpp"
#include "tarnova_convertor.hpp"
#include "tk_errco.hpp"
#include "tk_log.hpp"
#include "tk_utils.hpp"

pgs_settings_page_impl::pgs_settings_page_impl() : wizard_page(qlx::tpl_pgs_settings)
{
    add_flags(page_has_help);
    set_header(L"Step 1 of 5", L"Connect to PostgreSQL server");
    set_buttons(wizard_back | wizard_next);
    add_control({-1, control_kind::label,
                 L"Provide necessary information to establish connection with PostgreSQL server.",
                 0});
    add_control({-1, control_kind::group, L" Access mode ", 1});
    add_control({id_local, control_kind::radio, L"&Local", 2});
    add_control({id_remote, control_kind::radio, L"&Remote", 2});
    add_control({-1, control_kind::group, L" Authorization settings ", 3});
    add_control({-1, control_kind::label, L"&User name:", 4});
    add_control({id_user, control_kind::edit, L"", 4});
    add_control({-1, control_kind::label, L"User pa&ssword:", 5});
    add_control({id_password, control_kind::password, L"", 5});
    add_control({-1, control_kind::group, L" Remote settings ", 6});
    add_control({-1, control_kind::label, L"H&ost:", 7});
    add_control({id_host, control_kind::edit, L"", 7});
    add_control({-1, control_kind::label, L"(it could be network name or IP address)", 7});
    add_control({-1, control_kind::label, L"&Port number:", 8});
    add_control({id_port, control_kind::edit, L"", 8});
    add_control({-1, control_kind::label, L"(default port is 5432)", 8});
}

bool pgs_settings_page_impl::page_init()
{
    tk_trace(1, "pgs_settings_page_impl<t_converter>::page_init");
    const pgs_converter_impl& pgs = tarnova_convertor::instance().pgs();
    wizard_page_view* v = view();
    if (!v)
        return true;
    v->set_text(id_user, tk_to_unicode(pgs.user));
    v->set_text(id_password, tk_to_unicode(pgs.password));
    if (!pgs.host.empty()) {
        v->set_check(id_remote, true);
        enable_ctrl(id_host, true);
        enable_ctrl(id_port, true);
        v->set_text(id_host, tk_to_unicode(pgs.host));
        // 0 is the client library's default: shown as no port, which reads back as 0
        v->set_text(id_port, pgs.port == 0 ? std::wstring() : std::to_wstring(pgs.port));
    } else {
        v->set_check(id_local, true);
        enable_ctrl(id_host, false);
        enable_ctrl(id_port, false);
    }
    return true;
}

void pgs_settings_page_impl::on_command(int id, control_event event)
{
    if (event != control_event::clicked || (id != id_local && id != id_remote))
        return;
    const bool remote = id == id_remote;
    enable_ctrl(id_host, remote);
    enable_ctrl(id_port, remote);
}

bool pgs_settings_page_impl::store_settings()
{
    wizard_page_view* v = view();
    if (!v)
        return true;
    std::string host;
    std::string port_text;
    if (v->get_check(id_remote)) {
        host = tk_to_utf8(v->get_text(id_host));
        port_text = tk_to_utf8(v->get_text(id_port));
    }
    // the same rule as the console's: digits with letters after them are no port
    int port = 0;
    if (!setting_pgs_port(port_text, port)) {
        wizard_shell::error(std::wstring(qlx::bad_pgs_port));
        v->set_focus(id_port);
        return false;
    }
    tarnova_convertor::instance().pgs().store_pgs_settings(
        host, tk_to_utf8(v->get_text(id_user)), tk_to_utf8(v->get_text(id_password)), port);
    return true;
}

int pgs_settings_page_impl::on_back()
{
    return store_settings() ? 0 : -1;
}

int pgs_settings_page_impl::on_next()
{
    tk_trace(1, "pgs_settings_page_impl<>::on_next");
    if (!store_settings())
        return -1;
    return connect() ? 0 : -1;
}

bool pgs_settings_page_impl::connect()
{
    try {
        tarnova_convertor::instance().pgs().connect_pgs_server();
    } catch (const tk_exception& e) {
        if (e.get_level() == 2)
            error_handler::instance().handle(e, false);
        const tk_error_converter map(pgs_connection_error_count, pgs_connection_errors);
        const std::string mapped = map.convert(e.get_code());
        wizard_shell::error(mapped.empty() ? std::string(e.what()) : mapped);
        return false;
    }
    return true;
}

void pgs_settings_page_impl::on_help()
{
    wizard_shell::display_help(qlx::help_pgs);
}
