#include "g_qt_svc.hpp"

#include "g_gui_call.hpp"
#include "g_qt_dlg.hpp"
#include "g_qt_sheet.hpp"
#include "g_qt_text.hpp"
#include "g_qt_wait.hpp"
#include "g_wait_dlg.hpp"
#include "tk_log.hpp"

#include <QApplication>
#include <QFileDialog>
#include <QMessageBox>
#include <QPointer>
#include <QProcess>

#include <mutex>

namespace {

std::mutex provider_mutex;
std::function<QPixmap(int)> provider;
// read and changed on the user-interface thread only
QPointer<qt_wizard_sheet> shown_sheet;

QWidget* owner(bool owned)
{
    return owned ? shown_sheet.data() : nullptr;
}

// a box shown over the wait dialog takes the activation with it when it closes, and
// the dialog that ends after it hands it to no one: the sheet takes it back, and the
// page's control that had the focus (else its first) gets it again
void give_back_keyboard(const QPointer<QWidget>& had_focus)
{
    if (!shown_sheet)
        return;
    QWidget* page = shown_sheet->currentPage();
    shown_sheet->activateWindow();
    if (!page)
        return;
    if (had_focus && page->isAncestorOf(had_focus) && had_focus->isEnabled()
        && had_focus->isVisible()) {
        had_focus->setFocus(Qt::OtherFocusReason);
        return;
    }
    for (QWidget* w = page->nextInFocusChain(); w && w != page; w = w->nextInFocusChain()) {
        if (page->isAncestorOf(w) && w->isEnabled() && w->isVisible()
            && (w->focusPolicy() & Qt::TabFocus)) {
            w->setFocus(Qt::TabFocusReason);
            return;
        }
    }
}

QStringList filter_list(const std::vector<std::wstring>& filters)
{
    QStringList list;
    for (const std::wstring& filter : filters)
        list << to_qstring(filter);
    return list;
}

bool file_dialog(bool save, const std::wstring& title, const std::vector<std::wstring>& filters,
                 const std::wstring& directory, std::wstring& path)
{
    bool chosen = false;
    gui_thread::call([&] {
        QFileDialog dialog(shown_sheet.data(), to_qstring(title));
        dialog.setOption(QFileDialog::DontUseNativeDialog, true);
        dialog.setNameFilters(filter_list(filters));
        dialog.setDirectory(to_qstring(directory));
        if (save) {
            dialog.setAcceptMode(QFileDialog::AcceptSave);
            dialog.setFileMode(QFileDialog::AnyFile);
            // the caller decides about an existing file
            dialog.setOption(QFileDialog::DontConfirmOverwrite, true);
        } else {
            dialog.setAcceptMode(QFileDialog::AcceptOpen);
            dialog.setFileMode(QFileDialog::ExistingFile);
        }
        if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
            return;
        path = from_qstring(dialog.selectedFiles().first());
        chosen = true;
    });
    return chosen;
}

} // namespace

qt_wizard_services::qt_wizard_services() : m_previous(wizard_services::current())
{
    wizard_services::set_current(this);
}

qt_wizard_services::~qt_wizard_services()
{
    wizard_services::set_current(m_previous);
}

bool qt_wizard_services::box(box_kind kind, const std::wstring& caption, const std::wstring& text,
                             bool owned)
{
    bool yes = false;
    gui_thread::call([&] {
        QMessageBox::Icon icon = QMessageBox::Critical;
        QMessageBox::StandardButtons buttons = QMessageBox::Ok;
        if (kind == box_kind::message) {
            icon = QMessageBox::Information;
        } else if (kind == box_kind::question) {
            icon = QMessageBox::Question;
            buttons = QMessageBox::Yes | QMessageBox::No;
        }
        QMessageBox message(icon, to_qstring(caption), to_qstring(text), buttons, owner(owned));
        // an error text may look like markup; it is shown as it is
        message.setTextFormat(Qt::PlainText);
        if (kind == box_kind::question)
            message.setDefaultButton(QMessageBox::No);
        yes = message.exec() == QMessageBox::Yes;
    });
    return yes;
}

int qt_wizard_services::internal_error_dialog(const std::wstring& caption,
                                              const std::wstring& message)
{
    int result = 1;
    gui_thread::call([&] {
        qt_error_ex_dialog dialog(to_qstring(caption), to_qstring(message), shown_sheet.data());
        const int answer = dialog.exec();
        result = answer == QDialog::Rejected ? 1 : answer;
    });
    return result;
}

int qt_wizard_services::continue_dialog(const std::wstring& caption, const std::wstring& message,
                                        bool& do_not_show)
{
    int result = 1;
    gui_thread::call([&] {
        qt_continue_dialog dialog(to_qstring(caption), to_qstring(message), shown_sheet.data());
        result = dialog.exec();
        do_not_show = dialog.do_not_show();
    });
    return result;
}

void qt_wizard_services::wait_dialog(const std::wstring& caption, const std::wstring& text,
                                     int first_frame, unsigned period_ms, wait_end& end)
{
    gui_thread::call([&] {
        const QPointer<QWidget> had_focus = QApplication::focusWidget();
        qt_wait_dialog dialog(to_qstring(text), first_frame, period_ms, shown_sheet.data());
        dialog.setWindowTitle(to_qstring(caption));
        // queued: an end asked for before exec() runs once the dialog's loop is up; a
        // call that arrives after the dialog is gone is dropped with it
        end.on_end([&dialog] {
            QMetaObject::invokeMethod(&dialog, [&dialog] { dialog.done(0); }, Qt::QueuedConnection);
        });
        dialog.exec();
        end.on_end(nullptr);
        give_back_keyboard(had_focus);
    });
}

bool qt_wizard_services::open_file_dialog(const std::wstring& title,
                                          const std::vector<std::wstring>& filters,
                                          const std::wstring& directory, std::wstring& path)
{
    return file_dialog(false, title, filters, directory, path);
}

bool qt_wizard_services::save_file_dialog(const std::wstring& title,
                                          const std::vector<std::wstring>& filters,
                                          const std::wstring& directory, std::wstring& path)
{
    return file_dialog(true, title, filters, directory, path);
}

void qt_wizard_services::start_help_viewer(const std::string& file, int context_id)
{
    QStringList args;
    if (context_id != 0)
        args << QStringLiteral("--contextid=%1").arg(context_id);
    args << QString::fromUtf8(file.c_str());
    if (!QProcess::startDetached(QStringLiteral("xchm"), args))
        tk_trace(2, "The help viewer did not start");
}

void qt_wizard_services::start_timer(int period_ms)
{
    gui_thread::post([period_ms] {
        if (shown_sheet)
            shown_sheet->start_progress_timer(period_ms);
    });
}

void qt_wizard_services::stop_timer()
{
    gui_thread::post([] {
        if (shown_sheet)
            shown_sheet->stop_progress_timer();
    });
}

void qt_wizard_services::set_wizard_buttons(int flags)
{
    gui_thread::call([flags] {
        if (shown_sheet)
            shown_sheet->apply_buttons(flags);
    });
}

void qt_wizard_services::enable_button(int id, bool enable)
{
    gui_thread::call([id, enable] {
        if (shown_sheet)
            shown_sheet->enable_sheet_button(id, enable);
    });
}

void qt_wizard_services::focus_button(int id)
{
    gui_thread::call([id] {
        if (shown_sheet)
            shown_sheet->focus_sheet_button(id);
    });
}

void qt_wizard_services::show_help_button(bool show)
{
    gui_thread::call([show] {
        if (shown_sheet)
            shown_sheet->show_help_button(show);
    });
}

void qt_wizard_services::select_page(int index)
{
    gui_thread::call([index] {
        if (shown_sheet)
            shown_sheet->move_to(index);
    });
}

void qt_wizard_services::set_window_text(const std::wstring& caption, int icon_id)
{
    gui_thread::call([&caption, icon_id] {
        if (!shown_sheet)
            return;
        shown_sheet->setWindowTitle(to_qstring(caption));
        if (icon_id != 0)
            shown_sheet->setWindowIcon(QIcon(image(icon_id)));
    });
}

void qt_wizard_services::set_image_provider(std::function<QPixmap(int)> images)
{
    std::lock_guard<std::mutex> lock(provider_mutex);
    provider = std::move(images);
}

QPixmap qt_wizard_services::image(int id)
{
    std::function<QPixmap(int)> images;
    {
        std::lock_guard<std::mutex> lock(provider_mutex);
        images = provider;
    }
    return images && id != 0 ? images(id) : QPixmap();
}

void qt_wizard_services::attach_sheet(qt_wizard_sheet* sheet)
{
    shown_sheet = sheet;
}

qt_wizard_sheet* qt_wizard_services::sheet()
{
    return shown_sheet.data();
}
