#pragma once

#include "g_wiz_pg.hpp"

#include <string>

// the first page: what the wizard does, and "Load Settings" for a profile file
class welcome_page : public wizard_page {
public:
    enum { id_title = 1337, id_load = 1115 };

    welcome_page();

    bool page_init() override;
    void on_help() override;
    void on_command(int id, control_event event) override;

private:
    void on_load_settings();

    std::wstring m_extension;
};
