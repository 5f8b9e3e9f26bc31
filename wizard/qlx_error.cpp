#include "qlx_error.hpp"

#include "g_errdlg.hpp"
#include "g_wiz_sh.hpp"
#include "qlx_run.hpp"
#include "tarnova_convertor.hpp"
#include "tk_log.hpp"
#include "tk_utils.hpp"

#include <algorithm>

void wizard_error_reaction::show_internal_error(const tk_exception& e)
{
    // the raw text: no context, no map, not listed
    dlg_error_ex dialog(tk_to_unicode(e.what()));
    dialog.run();
}

void wizard_error_reaction::on_message(const tk_exception&, const std::string& message)
{
    if (wizard_shell::is_initialized())
        wizard_shell::instance().add_error(message);
}

error_reaction::level1_end wizard_error_reaction::on_level1(const std::string& message, bool)
{
    if (!error_handler::instance().is_suppressed()) {
        tk_trace(1, "Step 1");
        wizard_shell::error(message);
    }
    tk_trace(1, "Step 2");
    return level1_end::end_operation;
}

bool wizard_error_reaction::on_level0(const std::string& message, bool may_continue)
{
    dlg_error_continue dialog(tk_to_unicode(message));
    const bool go_on = dialog.run() != dlg_error_continue::id_abort;
    // an abort that ends the operation keeps no check box state
    if (go_on || may_continue)
        error_handler::instance().set_suppress(dialog.do_not_show());
    else if (wizard_run_hooks::on_run_thread() && wizard_shell::is_initialized())
        wizard_shell::instance().set_closing_line(abort_line());
    return go_on;
}

std::string wizard_error_reaction::abort_line() const
{
    // the table in hand is not done: it and every entry after it stay unconverted
    const tarnova_convertor& task = tarnova_convertor::instance();
    const std::size_t total = task.queries.size();
    const std::size_t done = std::min<std::size_t>(task.tab_done.load(), total);
    const std::size_t missing = total - done;
    const std::string table = tk_to_ansi(shown_name(task.get_cur_table()));
    return "The run was aborted by the user in table " + table + ": " + std::to_string(missing)
           + " of " + std::to_string(total) + (total == 1 ? " table " : " tables ")
           + (missing == 1 ? "was" : "were") + " not converted.";
}
