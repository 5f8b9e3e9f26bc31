#pragma once

#include <string>

// what the desktop offers a program with a window: the clipboard and opening a url.
// the toolkit never links a user-interface library; the wizard registers its own
class tk_desktop_backend {
public:
    virtual ~tk_desktop_backend() = default;
    virtual void set_clipboard_text(const std::wstring& text) = 0;
    // false when no program took the url
    virtual bool open_url(const std::string& url) = 0;
};

// not owned; null (the console program) leaves both functions below to trace only
void tk_set_desktop_backend(tk_desktop_backend* backend);

void tk_copy_to_clipboard2(const std::wstring& text);
// text: the subject's tail (the wizard's caption); body: the message. opens the
// desktop's mail program with the report; nothing is sent by itself
void tk_send_bug(const std::string& text, const std::string& body);

// utf-8 bytes as a url component: unreserved characters stay, every line break
// (\r\n, \n or \r) becomes %0D%0A, every other byte %XX
std::string tk_url_encode(const std::string& text);
// mailto:<the product's bug mailbox>?subject=Bug report on <text>&body=<body>
std::string tk_bug_mail_url(const std::string& text, const std::string& body);
