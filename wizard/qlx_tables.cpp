#include "qlx_tables.hpp"

#include "error_handler.hpp"
#include "g_wiz_sh.hpp"
#include "g_wiz_svc.hpp"
#include "qlx_shel.hpp"
#include "tarnova_convertor.hpp"
#include "tk_log.hpp"

#include <algorithm>

namespace {

void report(const tk_exception& e)
{
    if (e.get_level() == 2)
        error_handler::instance().handle(e, false);
    tk_trace(3, "ERROR: %s", e.what());
    wizard_shell::error(std::string(e.what()));
}

} // namespace

qlx_sel_tables_page::qlx_sel_tables_page()
    : sel_tables_page(qlx::tpl_tables, qlx::no_tables_selected)
{
    add_flags(page_has_help);
    set_header(L"Step 4 of 5", L"Select tables to convert");
    set_buttons(wizard_back | wizard_next);
}

bool qlx_sel_tables_page::page_init()
{
    tk_trace(1, "qlx_sel_tables_page::page_init");
    if (wizard_page_view* v = view()) {
        v->set_text(id_intro, L"Select PostgreSQL tables to convert into Oracle format.");
        v->set_text(id_available_label, L"&Available tables:");
        v->set_text(id_selected_label, L"&Selected tables:");
    }
    tarnova_convertor& task = tarnova_convertor::instance();
    m_available.clear();
    try {
        task.get_all_tables(m_available);
    } catch (const tk_exception& e) {
        // the lists stay empty and nothing counts as shown
        m_available.clear();
        do_page_init();
        report(e);
        return true;
    }
    try {
        do_page_init();
        preselect(task.queries);
    } catch (const tk_exception& e) {
        report(e);
    }
    return true;
}

int qlx_sel_tables_page::on_next()
{
    if (!get_selected())
        return -1;
    tarnova_convertor& task = tarnova_convertor::instance();
    task.selected = m_selected;
    // a shown table the user left out is not converted, also when a loaded profile
    // named it; entries the page never showed stay
    for (const std::wstring& name : m_available)
        if (std::find(m_selected.begin(), m_selected.end(), name) == m_selected.end())
            task.queries.erase(name);
    return 0;
}

void qlx_sel_tables_page::on_help()
{
    wizard_shell::display_help(qlx::help_tables);
}
