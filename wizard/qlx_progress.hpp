#pragma once

#include "g_wiz_pg.hpp"
#include "tk_threa.hpp"

#include <cstdint>
#include <string>

// the bar's position: the finished tables' share and the current table's share of its
// own part, in 64-bit arithmetic and never beyond 100
int progress_position(std::uint32_t tab_done, std::uint32_t tab_total, std::uint32_t rec_done,
                      std::uint32_t rec_total);
// "Processing table '<name>'", cut to 255 characters
std::wstring progress_status(const std::wstring& table);

// the page that runs the conversion on a thread of its own and shows its progress;
// the thread's task is the conversion task, which it does not own
class progress_page : public wizard_page, public tk_thread {
public:
    enum { id_status = 1323, id_bar = 1321 };

    progress_page();
    ~progress_page() override;

    bool page_init() override;
    void on_timer(int id) override;
    void on_help() override;

    tk_task* create_task() override;

protected:
    // starts the thread; false when it does not run
    virtual bool start_conversion();
};
