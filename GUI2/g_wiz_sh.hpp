#pragma once

#include "tk_singl.hpp"

#include <atomic>
#include <cstddef>
#include <mutex>
#include <string>
#include <vector>

class wizard_page;
class wizard_services;

// the wizard's sheet as the logic sees it: pages and navigation, the message boxes,
// help, the progress timer and the list of errors of a run. one per process; the
// user-interface layer shows it and reports the sheet's events here
class wizard_shell : public tk_singleton<wizard_shell> {
public:
    static constexpr int progress_timer_id = 0x10000;
    static constexpr std::size_t max_errors = 20;

    wizard_shell(const std::wstring& caption, int icon_id, int watermark_id, int header_id);
    // noexcept: its registration cannot be missing while it lives
    ~wizard_shell() noexcept override;

    const std::wstring& get_caption() const { return m_caption; }
    int get_icon_id() const { return m_icon_id; }
    int get_watermark_id() const { return m_watermark_id; }
    int get_header_id() const { return m_header_id; }

    // before the sheet is shown; pages are not owned
    void add_page(wizard_page& page);
    const std::vector<wizard_page*>& pages() const { return m_pages; }
    int current_index() const { return m_current; }
    wizard_page* current_page() const;

    static bool is_initialized();
    void on_sheet_init();

    // navigation, on the user-interface thread. the presses answer the position
    // to move to, -1 to stay; activated answers -1 when the page accepted the
    // activation, else the position to skip to in the direction of travel
    int on_next_pressed();
    int on_back_pressed();
    bool on_finish_pressed();
    bool on_cancel_requested();
    int on_activated(int index);
    // moves forward to the page built from that template
    void select_page(int template_id);

    void start_timer(int period_ms);
    void stop_timer();
    bool is_timer_running() const { return m_timer_running.load(); }
    void on_timer(int id);
    void on_help();

    void set_wizard_buttons(int flags);
    void enable_button(int id, bool enable);

    // the boxes; from any thread, also without a sheet
    static void error(const std::wstring& text);
    static void error(const std::string& text);
    static void message(const std::wstring& text);
    static bool question(const std::wstring& text);
    // the caption of a box or dialog of that kind ("Error", or the sheet's caption
    // and " Error" once the sheet is initialised)
    static std::wstring box_caption(const std::wstring& kind);
    // the text as a box or dialog shows it: server texts end with a line feed and
    // indent with tabs, so the blanks and line ends at its end go and a tab is one
    // blank. the trace, the list and the clipboard keep the text as it is
    static std::wstring box_text(const std::wstring& text);

    static void display_help();
    static void display_help(int context_id);

    // the errors of a run, at most max_errors
    void add_error(const std::string& text);
    // empties the errors and the closing line
    void clear_errors();
    std::vector<std::string> get_errors() const;
    // what became of the run as a whole (an abort), shown after its errors however
    // many there were; empty for none
    void set_closing_line(const std::string& text);
    std::string get_closing_line() const;

private:
    static void show_help(int context_id);

    std::wstring m_caption;
    int m_icon_id;
    int m_watermark_id;
    int m_header_id;
    std::atomic<bool> m_timer_running{false};
    std::atomic<bool> m_initialized{false};
    std::vector<wizard_page*> m_pages;
    int m_current = -1;
    int m_direction = 1;
    mutable std::mutex m_errors_mutex;
    std::vector<std::string> m_errors;
    std::string m_closing_line;
};
