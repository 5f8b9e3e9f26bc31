#include "tk_desktop.hpp"

#include "tk_log.hpp"
#include "tk_utils.hpp"

#include <atomic>

#ifndef TK_BUG_MAILBOX
#define TK_BUG_MAILBOX "bugs@varnholt.invalid"
#endif

namespace {

std::atomic<tk_desktop_backend*> desktop{nullptr};

bool is_unreserved(unsigned char c)
{
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-'
           || c == '.' || c == '_' || c == '~';
}

} // namespace

void tk_set_desktop_backend(tk_desktop_backend* backend)
{
    desktop.store(backend);
}

void tk_copy_to_clipboard2(const std::wstring& text)
{
    tk_wtrace(2, L"tk_copy_to_clipboard2(%ls)", text.c_str());
    tk_desktop_backend* backend = desktop.load();
    if (!backend) {
        tk_trace(2, "No clipboard");
        return;
    }
    backend->set_clipboard_text(text);
}

std::string tk_url_encode(const std::string& text)
{
    static const char hex[] = "0123456789ABCDEF";
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        if (c == '\r' || c == '\n') {
            out += "%0D%0A";
            if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n')
                ++i;
        } else if (is_unreserved(c)) {
            out += static_cast<char>(c);
        } else {
            out += '%';
            out += hex[c >> 4];
            out += hex[c & 0x0F];
        }
    }
    return out;
}

std::string tk_bug_mail_url(const std::string& text, const std::string& body)
{
    return std::string("mailto:") + TK_BUG_MAILBOX + "?subject="
           + tk_url_encode("Bug report on " + text) + "&body=" + tk_url_encode(body);
}

void tk_send_bug(const std::string& text, const std::string& body)
{
    tk_trace(2, "tk_send_bug(%s|%s)", text.c_str(), body.c_str());
    tk_desktop_backend* backend = desktop.load();
    if (!backend) {
        tk_trace(2, "No mail program");
        return;
    }
    const bool opened = backend->open_url(tk_bug_mail_url(text, body));
    tk_trace(2, "open mail url returns %d", opened ? 1 : 0);
}
