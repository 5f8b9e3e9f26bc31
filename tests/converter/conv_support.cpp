#include "conv_support.hpp"

void recording_reaction::show_internal_error(const tk_exception& e)
{
    reports.push_back({2, e.get_code(), e.what()});
}

void recording_reaction::on_message(const tk_exception& e, const std::string& message)
{
    reports.push_back({e.get_level(), e.get_code(), message});
}

error_reaction::level1_end recording_reaction::on_level1(const std::string&, bool)
{
    return level1;
}

bool recording_reaction::on_level0(const std::string&, bool)
{
    ++level0_shown;
    return go_on;
}

std::vector<std::string> recording_reaction::messages() const
{
    std::vector<std::string> out;
    for (const report& r : reports)
        out.push_back(r.message);
    return out;
}

recording_handler::recording_handler() : handler(oracle_error_count, oracle_errors)
{
    handler.load_err_map(pgs_connection_error_count, pgs_connection_errors);
    handler.set_reaction(&reaction);
}

recording_handler::~recording_handler()
{
    handler.set_reaction(nullptr);
}

void recording_hooks::on_database(const std::wstring&, std::uint32_t count)
{
    database_tables = count;
}

void recording_hooks::on_table(const std::wstring& name, std::uint32_t records)
{
    tables.emplace_back(name, records);
}

void recording_hooks::on_std_exception(const std::exception& e)
{
    std_errors.push_back(e.what());
}
