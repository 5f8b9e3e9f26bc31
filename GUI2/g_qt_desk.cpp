#include "g_qt_desk.hpp"

#include "g_gui_call.hpp"
#include "g_qt_text.hpp"

#include <QClipboard>
#include <QDesktopServices>
#include <QGuiApplication>
#include <QUrl>

qt_desktop_backend::qt_desktop_backend()
{
    tk_set_desktop_backend(this);
}

qt_desktop_backend::~qt_desktop_backend()
{
    tk_set_desktop_backend(nullptr);
}

void qt_desktop_backend::set_clipboard_text(const std::wstring& text)
{
    gui_thread::call([&text] {
        if (QClipboard* clipboard = QGuiApplication::clipboard())
            clipboard->setText(to_qstring(text));
    });
}

bool qt_desktop_backend::open_url(const std::string& url)
{
    bool opened = false;
    gui_thread::call([&] {
        // encoded already: taken as it is
        opened = QDesktopServices::openUrl(QUrl::fromEncoded(QByteArray::fromStdString(url)));
    });
    return opened;
}
