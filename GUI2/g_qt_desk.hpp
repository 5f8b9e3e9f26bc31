#pragma once

#include "tk_desktop.hpp"

// the toolkit's clipboard and url opening on Qt; registers itself while it lives
class qt_desktop_backend : public tk_desktop_backend {
public:
    qt_desktop_backend();
    ~qt_desktop_backend() override;
    qt_desktop_backend(const qt_desktop_backend&) = delete;
    qt_desktop_backend& operator=(const qt_desktop_backend&) = delete;

    void set_clipboard_text(const std::wstring& text) override;
    bool open_url(const std::string& url) override;
};
