#include "qlx_oracle.hpp"

#include "error_handler.hpp"
#include "g_wiz_sh.hpp"
#include "ora_except.hpp"
#include "qlx_shel.hpp"
#include "tarnova_convertor.hpp"
#include "tk_errco.hpp"
#include "tk_log.hpp"

namespace {

bool is_listener_error(int code)
{
    const int number = code & 0xFFFF;
    return number == 12500 || number == 12505 || number == 12541 || number == 12545;
}

} // namespace

oracle_settings_page::animation::animation(unsigned period_ms) : m_period(period_ms) {}

void oracle_settings_page::animation::run()
{
    tk_trace(2, "oracle_settings_page::animation::operator()");
    m_connected = false;
    tarnova_convertor& task = tarnova_convertor::instance();
    tk_wtrace(1, L"Just before calling 'connect_oracle_server', dest=%ls",
              task.get_dest_name().c_str());
    try {
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
        try {
            error_handler::instance().handle(e, false);
        } catch (const tk_final_exception&) {
        }
    } catch (const std::exception& e) {
        wizard_shell::error(std::string(e.what()));
        error_handler::end_process(-1);
    }
    end_dialog();
}
