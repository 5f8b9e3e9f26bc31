#pragma once

#include "g_wait_dlg.hpp"
#include "ora_set2.hpp"
#include "tarnova_convertor.hpp"
#include "tk_threa.hpp"

#include <string>

// the Oracle settings page: the server fields and the destination name; Next
// connects on a worker thread behind the wait dialog
class oracle_settings_page : public ora_settings_page2<tarnova_convertor>, public tk_thread {
public:
    enum { id_dest = 1014 };

    // the connection task behind the wait dialog; the quick launch runs it directly
    class animation : public wait_task {
    public:
        explicit animation(unsigned period_ms, std::wstring text = std::wstring());

        // connects the Oracle engine to the destination name; reports a failure and
        // always ends the dialog
        void run() override;

        bool is_connected() const { return m_connected; }

    private:
        bool m_connected = false;
    };

    oracle_settings_page();

    bool page_init() override;
    void store_settings() override;
    int on_back() override;
    int on_next() override;
    void on_help() override;

    tk_task* create_task() override { return &m_animation; }

private:
    // true after the box when the port is no port, which then has the keyboard
    bool port_refused();

    animation m_animation;
};
