#include "qlx_settings.hpp"

#include "error_handler.hpp"
#include "g_wiz_sh.hpp"
#include "g_wiz_svc.hpp"
#include "pgs_engine.hpp"
#include "qlx_shel.hpp"
#include "tarnova_convertor.hpp"
#include "tk_log.hpp"
#include "tk_utils.hpp"

#include <algorithm>

namespace {

// the radios in the order that decides, with their modes
const std::pair<int, int> mode_radios[] = {
    {sel_file_page::id_overwrite, udb_mode_overwrite},
    {sel_file_page::id_skip, udb_mode_skip},
    {sel_file_page::id_merge, udb_mode_merge},
};

// names listed in the box at most; the rest are counted
constexpr std::size_t removed_names_shown = 15;

// the box about a selection that another database empties; empty when there was none
std::wstring removed_entries(const tarnova_convertor& task)
{
    std::vector<std::wstring> names;
    bool queries = !task.available.empty();
    for (const std::wstring& name : task.selected)
        names.push_back(tk_escape_controls(name, false));
    for (const auto& [name, query] : task.queries) {
        if (query.empty()) {
            if (std::find(task.selected.begin(), task.selected.end(), name) == task.selected.end())
                names.push_back(tk_escape_controls(name, false));
        } else {
            names.push_back(tk_escape_controls(name, false) + L" (query)");
            queries = true;
        }
    }
    for (const auto& [name, query] : task.available)
        names.push_back(tk_escape_controls(name, false) + L" (available query)");
    if (names.empty())
        return std::wstring();
    std::wstring text = L"Another database was chosen, so the table selection was emptied. "
                        L"Removed:\n";
    for (std::size_t i = 0; i < names.size() && i < removed_names_shown; ++i)
        text += L"\n    " + names[i];
    if (names.size() > removed_names_shown)
        text += L"\n    ... and " + std::to_wstring(names.size() - removed_names_shown) + L" more";
    text += L"\n\nSelect the tables again on the next page";
    return text + (queries ? L"; a query comes back only when its profile is loaded again." : L".");
}

} // namespace

sel_file_page::animation::animation() : wait_task(qlx::wait_text, qlx::wait_period_ms) {}

void sel_file_page::animation::run()
{
    tk_trace(2, "sel_file_page::animation::operator()");
    m_names.clear();
    try {
        m_names = tarnova_convertor::instance().pgs().engine().get_contents();
    } catch (const tk_exception& e) {
        // Abort ends the fetch only; the dialog still ends below
        error_handler::instance().report(e, false);
    } catch (const std::exception& e) {
        wizard_shell::error(std::string(e.what()));
        error_handler::end_process(-1);
    }
    end_dialog();
}

sel_file_page::sel_file_page() : wizard_page(qlx::tpl_conversion_settings), tk_thread(false)
{
    add_flags(page_has_help);
    set_header(L"Step 3 of 5", L"Conversion Settings");
    set_buttons(wizard_back | wizard_next);
    add_control({-1, control_kind::label,
                 L"Enter source and destination database names. Drop down the combo box to see", 0});
    add_control({-1, control_kind::label,
                 L"all available PostgreSQL databases (you must have sufficient permissions).", 1});
    add_control({-1, control_kind::label, L"&PostgreSQL database:", 2});
    add_control({id_database, control_kind::combo, L"", 2});
    add_control({id_tab_def, control_kind::check_box, L"&Convert table definitions only", 3});
    add_control({id_skip_idx, control_kind::check_box, L"S&kip converting indexes", 4});
    add_control({id_uppercase, control_kind::check_box, L"&Make names uppercase", 5});
    add_control({id_no_schema, control_kind::check_box, L"&Do not include schema name", 6});
    add_control({-1, control_kind::group, L" How to process existing tables: ", 7});
    add_control({id_overwrite, control_kind::radio, L"&Overwrite", 8});
    add_control({id_merge, control_kind::radio, L"M&erge", 8});
    add_control({id_skip, control_kind::radio, L"&Skip", 8});
}

bool sel_file_page::page_init()
{
    tk_trace(1, "sel_file_page::page_init");
    tarnova_convertor& task = tarnova_convertor::instance();
    wizard_page_view* v = view();
    if (!v)
        return true;
    v->set_check(id_tab_def, task.tab_def);
    v->set_check(id_skip_idx, task.skip_idx);
    v->set_check(id_uppercase, task.uppercase);
    v->set_check(id_no_schema, task.pgs().engine().get_no_schema());
    if (!m_filled) {
        const std::wstring typed = v->get_text(id_database);
        v->clear_items(id_database);
        v->set_text(id_database, typed);
    }
    if (!task.get_source_name().empty())
        v->set_text(id_database, task.get_source_name());
    // the mode in effect is always shown, also without a source name: a hidden
    // overwrite would drop tables unseen. another mode shows none and is kept
    for (const auto& [radio, mode] : mode_radios)
        v->set_check(radio, false);
    for (const auto& [radio, mode] : mode_radios)
        if (task.mode == mode)
            v->set_check(radio, true);
    return true;
}

void sel_file_page::on_command(int id, control_event event)
{
    if (id != id_database)
        return;
    if (event == control_event::dropdown)
        on_dropdown();
    else if (event == control_event::activated)
        on_sel_change();
}

void sel_file_page::on_dropdown()
{
    tk_trace(1, "sel_file_page::on_dropdown");
    wizard_page_view* v = view();
    if (!v)
        return;
    const tarnova_convertor& task = tarnova_convertor::instance();
    if (!m_filled) {
        if (!run_behind_wait_dialog(*this, m_animation, qlx::icon_wait_first)) {
            wizard_shell::error(std::wstring(qlx::thread_not_started_connect));
            return;
        }
        // adding items to an empty list would replace the text with the first name
        const std::wstring typed = v->get_text(id_database);
        for (const std::wstring& name : m_animation.get_names())
            v->add_item(id_database, name);
        v->set_text(id_database, typed);
        m_filled = true;
    }
    const std::wstring& stored = task.get_source_name();
    if (stored.empty())
        return;
    for (int i = 0; i < v->item_count(id_database); ++i) {
        if (v->item_text(id_database, i) == stored) {
            v->set_current_index(id_database, i);
            break;
        }
    }
}

void sel_file_page::on_sel_change()
{
    tk_trace(1, "sel_file_page::on_sel_change");
    wizard_page_view* v = view();
    if (!v)
        return;
    tarnova_convertor& task = tarnova_convertor::instance();
    // the database chosen again keeps what a loaded profile put there, also the entries
    // the table page does not show; compared with the chosen database, not with what the
    // field held before the pick (names differing in case are other databases)
    if (v->item_text(id_database, v->current_index(id_database)) == task.get_source_name())
        return;
    // another database: the table page starts afresh, and the user learns what left the
    // run with it (the page does not show a profile's queries)
    const std::wstring removed = removed_entries(task);
    task.clear_tables();
    if (!removed.empty())
        wizard_shell::message(removed);
}

std::wstring sel_file_page::get_pgs_title() const
{
    tk_trace(1, "sel_file_page::get_pgs_title");
    wizard_page_view* v = view();
    const std::wstring text = v ? v->get_text(id_database) : std::wstring();
    if (text.empty()) {
        tk_trace(2, "Failed to exract text of selected item");
        return text;
    }
    tk_wtrace(1, L"text=%ls", text.c_str());
    return text;
}

void sel_file_page::store_file_info()
{
    tk_trace(2, "sel_file_page::store_file_info");
    wizard_page_view* v = view();
    if (!v)
        return;
    tarnova_convertor& task = tarnova_convertor::instance();
    const std::wstring source = get_pgs_title();
    task.tab_def = v->get_check(id_tab_def);
    task.skip_idx = v->get_check(id_skip_idx);
    task.uppercase = v->get_check(id_uppercase);
    const bool no_schema = v->get_check(id_no_schema);
    task.pgs().engine().set_no_schema(no_schema);
    task.pgs().engine().set_view_owned(no_schema);
    task.set_source_name(source);
    tk_wtrace(1, L"src=%ls", source.c_str());
    for (const auto& [radio, mode] : mode_radios) {
        if (v->get_check(radio)) {
            tk_trace(1, "udb_converter::set_mode(%d)", mode);
            task.mode = mode;
            break;
        }
    }
}

void sel_file_page::refuse_source(const wchar_t* text)
{
    wizard_shell::message(text);
    // the box is about the name, whatever had the keyboard before
    if (wizard_page_view* v = view())
        v->set_focus(id_database);
}

int sel_file_page::on_back()
{
    // the server may change before the list is wanted again
    m_filled = false;
    store_file_info();
    return 0;
}

int sel_file_page::on_next()
{
    tk_trace(2, "sel_file_page::on_next");
    store_file_info();
    const std::wstring& source = tarnova_convertor::instance().get_source_name();
    if (source.empty()) {
        refuse_source(qlx::no_pgs_name);
        return -1;
    }
    bool exists = false;
    try {
        exists = tarnova_convertor::instance().pgs().engine().is_db_exist(source);
    } catch (const tk_exception& e) {
        // the server gone since the last page: said, and the page stays
        if (e.get_level() == 2)
            error_handler::instance().handle(e, false);
        wizard_shell::error(std::string(e.what()));
        return -1;
    }
    if (!exists) {
        refuse_source(qlx::no_pgs_database);
        return -1;
    }
    return 0;
}

void sel_file_page::on_help()
{
    wizard_shell::display_help(qlx::help_settings);
}
