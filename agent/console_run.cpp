#include "console_run.hpp"

#include "console.hpp"
#include "error_handler.hpp"
#include "pgs_engine.hpp"
#include "tarnova_convertor.hpp"
#include "tk_log.hpp"
#include "tk_utils.hpp"
#include "udb_db.hpp"

#include <map>

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
    // without the schema in the names two source tables can share one; only one of them
    // is read, and the other must not go missing without a word
    m_source = &source;
    m_without_schema = tarnova_convertor::instance().pgs().engine().get_no_schema();
    m_tab_def = task.tab_def;
    std::map<std::wstring, int> listed;
    for (const std::wstring& name : source.tables)
        ++listed[name];
    m_shared_names.clear();
    for (const std::wstring& name : task.selected) {
        const auto query = task.queries.find(name);
        if (listed[name] > 1 && (query == task.queries.end() || query->second.empty()))
            m_shared_names.insert(name);
    }
}

void console_run_hooks::on_database(const std::wstring& name, std::uint32_t tables)
{
    if (!is_silent())
        console_line(stdout, "Converting database " + console_name(name) + "("
                                 + std::to_string(tables) + " tables)");
}

void console_run_hooks::on_missing_table(const std::wstring& name)
{
    // a requested table that is not converted is a failure of the run
    error_handler::instance().count_reported_error();
    if (!is_silent())
        console_line(stderr, "Table " + console_name(name) + " not exists");
}

void console_run_hooks::on_table(const std::wstring& name, std::uint32_t records)
{
    if (!is_silent())
        console_line(stdout, "Converting table " + console_name(name) + "("
                                 + std::to_string(records) + " records)");
    report_shared_name(name, !m_tab_def);
}

void console_run_hooks::on_skipped_table(const std::wstring& name)
{
    // skipped or not, the other tables of the name are not converted
    report_shared_name(name, false);
}

void console_run_hooks::report_shared_name(const std::wstring& name, bool count_records) const
{
    if (!m_shared_names.count(name) || !m_source)
        return;
    const std::vector<udb_shared_table> tables = m_source->get_tables_sharing(name);
    error_handler& handler = error_handler::instance();
    handler.set_context(name);
    if (m_without_schema || tables.size() < 2) {
        handler.handle(tk_exception("More than one schema holds a table of this name: only "
                                    "one of them is converted (leave out --no_schema to "
                                    "convert each)",
                                    0),
                       false);
    } else {
        // points in schema or table names: no option keeps such tables apart
        std::string list;
        for (size_t i = 0; i < tables.size(); ++i)
            list += (i == 0 ? "" : i + 1 == tables.size() ? " and " : ", ")
                    + tk_to_utf8(tables[i].shown);
        handler.handle(tk_exception("The tables " + list + " have the same qualified name: "
                                        "only " + tk_to_utf8(tables[0].shown)
                                        + " is converted",
                                    0),
                       false);
    }
    if (!count_records)
        return;
    // the tables left out: none of their records arrive
    for (size_t i = 1; i < tables.size(); ++i) {
        if (tables[i].records <= 0)
            continue;
        const std::string count = std::to_string(tables[i].records);
        handler.set_context(tables[i].shown);
        handler.handle(tk_exception(count + " of " + count + " records were not written", 0),
                       false);
    }
    handler.set_context(name);
}

void console_run_hooks::on_std_exception(const std::exception& e)
{
    tk_trace(3, "ERROR:\n%s", e.what());
    if (!is_silent())
        console_line(stderr, e.what());
}
