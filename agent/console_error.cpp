#include "console_error.hpp"

#include "console.hpp"
#include "tk_utils.hpp"

void console_error_reaction::show_internal_error(const tk_exception& e)
{
    // shown also when silent
    console_line(stdout, std::string("Internal error: ") + e.what());
}

void console_error_reaction::on_message(const tk_exception&, const std::string& message)
{
    if (error_handler::instance().is_suppressed())
        return;
    console_line(stdout, "Error:");
    console_line(stdout, message);
}

error_reaction::level1_end console_error_reaction::on_level1(const std::string&, bool)
{
    return level1_end::end_process;
}

bool console_error_reaction::on_level0(const std::string&, bool)
{
    return true;
}

std::wstring console_error_reaction::shown_name(const std::wstring& name) const
{
    return tk_escape_controls(name, true);
}

std::string console_error_reaction::shown_text(const std::string& text) const
{
    // server texts may quote names too; a backslash there is plain text
    const std::wstring wide = tk_from_utf8(text);
    const std::wstring shown = tk_escape_controls(wide, false);
    return shown == wide ? text : tk_to_ansi(shown);
}
