#pragma once

#include "g_wiz_pg.hpp"

// the PostgreSQL settings page: local or remote server, user and password; Next
// stores them and connects
class pgs_settings_page_impl : public wizard_page {
public:
    enum {
        id_local = 1329,
        id_remote = 1330,
        id_user = 1012,
        id_password = 1013,
        id_host = 1014,
        id_port = 1015,
    };

    pgs_settings_page_impl();

    bool page_init() override;
    int on_back() override;
    int on_next() override;
    void on_help() override;
    void on_command(int id, control_event event) override;

    // false, nothing stored, when the port is refused (after its box)
    bool store_settings();
    // connects with the stored settings; false after the failure's error box (an
    // internal error goes to the handler first). the quick launch connects so as well
    static bool connect();
};
