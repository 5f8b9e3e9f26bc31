#include "conversion_hooks.hpp"

#include "error_handler.hpp"
#include "tarnova_convertor.hpp"
#include "tk_log.hpp"

#include <cstdio>

void conversion_hooks::on_prepare(udb_converter&, udb_database&) {}

void conversion_hooks::on_database(const std::wstring&, std::uint32_t) {}

void conversion_hooks::on_missing_table(const std::wstring& name)
{
    error_handler& handler = error_handler::instance();
    handler.set_context(name);
    handler.handle(tk_exception("Table does not exist in the source database", tk_level_go_on),
                   false);
}

void conversion_hooks::on_table(const std::wstring&, std::uint32_t) {}

void conversion_hooks::on_std_exception(const std::exception& e)
{
    tk_trace(3, "ERROR:\n%s", e.what());
    if (tarnova_convertor::has_instance() && tarnova_convertor::instance().is_silent())
        return;
    std::fprintf(stderr, "%s\n", e.what());
    std::fflush(stderr);
}
