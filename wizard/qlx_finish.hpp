#pragma once

#include "g_finish.hpp"

// the finish page with "Save Settings": the settings of the run as a profile file
class qlx_finish_page : public gui_finish_page {
public:
    enum { id_save = 1116 };

    qlx_finish_page();
    void on_command(int id, control_event event) override;

private:
    void on_save_settings();
};
