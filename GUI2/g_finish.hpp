#pragma once

#include "g_wiz_pg.hpp"

#include <string>

// the last page: the success text, or the error text with every error of the run
class gui_finish_page : public wizard_page {
public:
    enum { id_title = 1313, id_result = 1314, id_errors = 1016 };
    static constexpr int template_id = 116;

    gui_finish_page(const std::wstring& error_text, const std::wstring& success_text,
                    const std::wstring& extension);

    bool page_init() override;
    void on_command(int id, control_event event) override;

    const std::wstring& get_extension() const { return m_extension; }

protected:
    void on_eb_focus();

private:
    std::wstring m_error_text;
    std::wstring m_success_text;
    std::wstring m_extension;
    bool m_first_focus = true;
};
