#pragma once

#include "g_wait_dlg.hpp"
#include "g_wiz_pg.hpp"
#include "tk_threa.hpp"

#include <string>
#include <vector>

// the conversion settings page: the source database (its list fetched behind the
// wait dialog when the drop-down first opens), the options and the existing-table mode
class sel_file_page : public wizard_page, public tk_thread {
public:
    enum {
        id_database = 1302,
        id_tab_def = 1228,
        id_skip_idx = 1226,
        id_uppercase = 1202,
        id_no_schema = 1203,
        id_overwrite = 1329,
        id_merge = 1331,
        id_skip = 1330,
    };

    // fetches the server's databases on the worker thread
    class animation : public wait_task {
    public:
        animation();
        void run() override;
        const std::vector<std::wstring>& get_names() const { return m_names; }

    private:
        std::vector<std::wstring> m_names;
    };

    sel_file_page();

    bool page_init() override;
    int on_back() override;
    int on_next() override;
    void on_help() override;
    void on_command(int id, control_event event) override;

    tk_task* create_task() override { return &m_animation; }
    bool is_filled() const { return m_filled; }

private:
    void on_dropdown();
    void on_sel_change();
    std::wstring get_pgs_title() const;
    void store_file_info();
    // the information box about the source name, which then has the keyboard
    void refuse_source(const wchar_t* text);

    animation m_animation;
    bool m_filled = false;
};
