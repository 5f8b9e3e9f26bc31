#include "qlx_finish.hpp"

#include "g_f_dlg.hpp"
#include "g_wiz_sh.hpp"
#include "qlx_shel.hpp"
#include "tarnova_convertor.hpp"
#include "tk_except.hpp"
#include "tk_log.hpp"
#include "tk_utils.hpp"

#include <sys/stat.h>

namespace {

// something other than a directory is there (a directory is refused by the save itself)
bool would_replace(const std::wstring& path)
{
    struct stat st {};
    return lstat(tk_to_ansi(path).c_str(), &st) == 0 && !S_ISDIR(st.st_mode);
}

} // namespace

qlx_finish_page::qlx_finish_page()
    : gui_finish_page(qlx::finish_error_text, qlx::finish_success_text, qlx::profile_extension)
{
    add_control({id_save, control_kind::button, L"&Save Settings", 3});
}

void qlx_finish_page::on_command(int id, control_event event)
{
    if (id == id_save && event == control_event::clicked)
        on_save_settings();
    else
        gui_finish_page::on_command(id, event);
}

void qlx_finish_page::on_save_settings()
{
    const std::wstring& extension = get_extension();
    if (extension.size() < 3 || extension.size() > 4)
        throw tk_mail_assertion("..\\GUI2/g_finish.hpp", 137);
    save_file_dialog dialog(profile_file_filters(extension), qlx::profile_dialog_title, L"",
                            extension);
    if (!dialog.show())
        return;
    // the name the extension completed may be another file than the one the dialog showed
    if (would_replace(dialog.get_path())
        && !wizard_shell::question(L"Profile '" + tk_escape_controls(dialog.get_path(), false)
                                   + L"' already exists. Do you want to replace it?"))
        return;
    tk_wtrace(2, L"Save settings to %ls", dialog.get_path().c_str());
    // a profile that was not written must not pass for saved
    std::wstring refusal;
    if (!tarnova_convertor::instance().save_profile_file(dialog.get_path(), &refusal))
        wizard_shell::error(refusal.empty() ? std::wstring(qlx::profile_not_saved) : refusal);
}
