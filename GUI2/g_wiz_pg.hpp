#pragma once

#include "g_wiz_view.hpp"

#include <string>
#include <vector>

// page flags
enum wizard_page_flags {
    page_has_help = 0x1,
    page_hide_header = 0x2,     // watermark layout, no header (welcome and finish)
    page_header = 0x4,          // header title and subtitle shown
};

// the base of every wizard page: its template, header texts and controls, the
// notifications of the sheet as virtual operations, and a few control helpers.
// no user-interface library is included here: the page talks to its view
class wizard_page {
public:
    explicit wizard_page(int template_id);
    virtual ~wizard_page();
    wizard_page(const wizard_page&) = delete;
    wizard_page& operator=(const wizard_page&) = delete;

    int get_template_id() const { return m_template_id; }
    int get_flags() const { return m_flags; }
    const std::wstring& get_title() const { return m_title; }
    const std::wstring& get_subtitle() const { return m_subtitle; }
    // wizard buttons posted on activation
    int get_buttons() const { return m_buttons; }
    const std::vector<control_spec>& get_controls() const { return m_controls; }

    // the view is set by the layer when it builds the page, null when it goes
    void attach_view(wizard_page_view* view) { m_view = view; }
    wizard_page_view* view() const { return m_view; }

    // activation: posts the buttons, lets the sheet finish its set-up, page_init
    bool on_set_active();

    virtual bool page_init() { return true; }
    virtual bool on_kill_active() { return true; }
    virtual bool on_finish() { return true; }
    virtual void on_help() {}
    // 0: go on; -1: stay
    virtual int on_next() { return 0; }
    virtual int on_back() { return 0; }
    virtual bool on_cancel();
    // a timer message forwarded by the sheet
    virtual void on_timer(int /*id*/) {}
    // a control's notification
    virtual void on_command(int /*id*/, control_event /*event*/) {}

    void set_title_font(int id);
    void invert_chbox(int id);
    void enable_ctrl(int id, bool enable);

protected:
    void set_header(const std::wstring& title, const std::wstring& subtitle);
    void add_flags(int flags) { m_flags |= flags; }
    void set_buttons(int buttons) { m_buttons = buttons; }
    void add_control(const control_spec& control) { m_controls.push_back(control); }

private:
    int m_template_id;
    int m_flags = 0;
    int m_buttons = 0;
    std::wstring m_title;
    std::wstring m_subtitle;
    std::vector<control_spec> m_controls;
    wizard_page_view* m_view = nullptr;
};
