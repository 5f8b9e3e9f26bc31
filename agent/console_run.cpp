#include "console_run.hpp"

#include "console.hpp"
#include "error_handler.hpp"
#include "tarnova_convertor.hpp"
#include "tk_log.hpp"
#include "tk_utils.hpp"
#include "udb_db.hpp"

namespace {

bool is_silent()
{
    return tarnova_convertor::instance().is_silent();
}

} // namespace

void console_run_hooks::on_prepare(udb_converter& task, udb_database& source)
{
    if (task.selected.empty() && task.queries.empty())
        task.selected = source.tables;
}

void console_run_hooks::on_database(const std::wstring& name, std::uint32_t tables)
{
    if (!is_silent())
        console_line(stdout, "Converting database " + tk_to_ansi(name) + "("
                                 + std::to_string(tables) + " tables)");
}

void console_run_hooks::on_missing_table(const std::wstring& name)
{
    // a requested table that is not converted is a failure of the run
    error_handler::instance().count_reported_error();
    if (!is_silent())
        console_line(stderr, "Table " + tk_to_ansi(name) + " not exists");
}

void console_run_hooks::on_table(const std::wstring& name, std::uint32_t records)
{
    if (!is_silent())
        console_line(stdout, "Converting table " + tk_to_ansi(name) + "("
                                 + std::to_string(records) + " records)");
}

void console_run_hooks::on_std_exception(const std::exception& e)
{
    tk_trace(3, "ERROR:\n%s", e.what());
    if (!is_silent())
        console_line(stderr, e.what());
}
