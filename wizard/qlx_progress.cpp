#include "qlx_progress.hpp"

#include "error_handler.hpp"
#include "g_wiz_sh.hpp"
#include "g_wiz_svc.hpp"
#include "qlx_shel.hpp"
#include "tarnova_convertor.hpp"
#include "tk_log.hpp"

#include <algorithm>

int progress_position(std::uint32_t tab_done, std::uint32_t tab_total, std::uint32_t rec_done,
                      std::uint32_t rec_total)
{
    if (tab_total == 0)
        return 0;
    std::uint64_t position = std::uint64_t(tab_done) * 100 / tab_total;
    if (rec_total != 0)
        position += std::uint64_t(rec_done) * 100 / rec_total / tab_total;
    return static_cast<int>(std::min<std::uint64_t>(position, 100));
}

std::wstring progress_status(const std::wstring& table)
{
    std::wstring text = L"Processing table '" + table + L"'";
    if (text.size() > 255)
        text.resize(255);
    return text;
}

progress_page::progress_page() : wizard_page(qlx::tpl_progress), tk_thread(false)
{
    add_flags(page_has_help);
    set_header(L"Step 5 of 5", L"Database conversion is in progress");
    set_buttons(wizard_back | wizard_next);
    add_control({-1, control_kind::label,
                 L"Database converting is in progress. Please wait until the wizard completes", 0});
    add_control(
        {-1, control_kind::label, L"migrating your PostgreSQL database to Oracle server.", 1});
    add_control({id_status, control_kind::label, L"", 2});
    add_control({id_bar, control_kind::progress, L"", 3});
}

progress_page::~progress_page()
{
    // the run stops after the record in hand; the rows written so far stay
    if (is_running())
        tk_trace(2, "Stopping the conversion");
}

tk_task* progress_page::create_task()
{
    return &tarnova_convertor::instance();
}

bool progress_page::start_conversion()
{
    start();
    // a run that ended at once has set its finished flag
    return is_running() || tarnova_convertor::instance().is_finished();
}

bool progress_page::page_init()
{
    tk_trace(2, "progress_page::page_init");
    wizard_shell& sheet = wizard_shell::instance();
    sheet.set_wizard_buttons(0);
    if (wizard_page_view* v = view())
        v->set_progress(id_bar, 0);
    if (!start_conversion()) {
        error_handler::instance().report(tk_exception(qlx::thread_not_started, 1), true);
        sheet.select_page(qlx::tpl_finish);
    }
    return true;
}

void progress_page::on_timer(int)
{
    tarnova_convertor& task = tarnova_convertor::instance();
    wizard_shell& sheet = wizard_shell::instance();
    const bool finished = task.is_finished();
    wizard_page_view* v = view();
    if (v)
        v->set_progress(id_bar, progress_position(task.tab_done, task.tab_total, task.rec_done,
                                                  task.rec_total));
    if (!finished) {
        const std::wstring table = task.get_cur_table();
        if (v)
            v->set_text(id_status, table.empty() ? std::wstring() : progress_status(table));
        return;
    }
    sheet.stop_timer();
    sheet.select_page(qlx::tpl_finish);
}

void progress_page::on_help()
{
    wizard_shell::display_help();
}
