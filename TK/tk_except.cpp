#include "tk_except.hpp"

#include "tk_log.hpp"
#include "tk_utils.hpp"

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace {

const char unknown_text[] = "Unknown exception";

}

tk_exception::tk_exception(int level)
    : m_text(unknown_text), m_level(level)
{
}

tk_exception::tk_exception(const std::string& text, int level)
    : m_text(text.empty() ? std::string(unknown_text) : text), m_level(level)
{
}

tk_exception::tk_exception(const char* text, int level)
    : tk_exception(std::string(text ? text : ""), level)
{
}

tk_exception::tk_exception(const std::wstring& text, int level)
    : m_level(level)
{
    // an empty wide text stays empty: no "Unknown exception" here
    char* narrow = nullptr;
    if (tk_wide_to_narrow(text.c_str(), &narrow))
        m_text = narrow;
    delete[] narrow;
}

tk_exception::tk_exception(const wchar_t* text, int level)
    : tk_exception(std::wstring(text ? text : L""), level)
{
}

// errno is read before the base is built, so nothing in between can change it
tk_exception_ex::tk_exception_ex()
    : tk_exception_ex(errno, std::string(), 1)
{
}

tk_exception_ex::tk_exception_ex(const std::string& prefix, int level)
    : tk_exception_ex(errno, prefix, level)
{
}

tk_exception_ex::tk_exception_ex(int err, const std::string& prefix, int level)
    : tk_exception(level)
{
    format_error(err, prefix);
}

void tk_exception_ex::format_last_error(const std::string& prefix)
{
    format_error(errno, prefix);
}

void tk_exception_ex::format_error(int err, const std::string& prefix)
{
    m_code = err;
    const std::string msg = tk_error_text(err);
    if (!msg.empty()) {
        m_text = prefix + msg;
        tk_trace(2, "GetLastError: %s", msg.c_str());
    }
}

tk_mail_assertion::tk_mail_assertion(const char* file, int line)
    : tk_exception(2)
{
    char position[276];
    std::snprintf(position, sizeof position, "%s\\%d", file ? file : "", line);
    char hex[552];
    static const char digits[] = "0123456789abcdef";
    size_t n = 0;
    for (const char* p = position; *p && n + 2 < sizeof hex; ++p) {
        const auto b = static_cast<unsigned char>(*p);
        hex[n++] = digits[b >> 4];
        hex[n++] = digits[b & 0x0f];
    }
    hex[n] = '\0';
    m_text = std::string("Internal error: \ncode=") + hex;
    tk_trace(2, "tk_mail_assertion::ctor(%s)", file ? file : "");
}

tk_final_exception::tk_final_exception()
{
    tk_trace(2, "tk_final_exception::ctor");
}
