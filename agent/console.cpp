#include "console.hpp"

#include "error_handler.hpp"
#include "tarnova_convertor.hpp"
#include "tk_log.hpp"
#include "tk_utils.hpp"

std::string console_name(const std::wstring& name)
{
    return tk_to_ansi(tk_escape_controls(name, true));
}

void console_line(std::FILE* stream, const std::string& text)
{
    std::fwrite(text.data(), 1, text.size(), stream);
    std::fputc('\n', stream);
    std::fflush(stream);
}

void fatal_exit(const std::string& message)
{
    tk_trace(3, "%s", message.c_str());
    if (!tarnova_convertor::instance().is_silent())
        console_line(stderr, message);
    error_handler::end_process(-1);
}
