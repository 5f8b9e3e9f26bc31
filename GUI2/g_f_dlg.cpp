#include "g_f_dlg.hpp"

#include "g_wiz_svc.hpp"
#include "tk_except.hpp"
#include "tk_utils.hpp"

namespace {

std::wstring directory_of(const std::wstring& path)
{
    const std::size_t slash = path.rfind(L'/');
    if (slash != std::wstring::npos)
        return path.substr(0, slash + 1);
    return tk_to_unicode(tk_get_module_dir());
}

} // namespace

file_dialog::file_dialog(const std::vector<std::wstring>& filters, const std::wstring& title,
                         const std::wstring& start_path)
    : m_filters(filters), m_title(title), m_directory(directory_of(start_path))
{
}

bool open_file_dialog::show()
{
    wizard_services* s = wizard_services::current();
    return s && s->open_file_dialog(m_title, m_filters, m_directory, m_path);
}

save_file_dialog::save_file_dialog(const std::vector<std::wstring>& filters,
                                   const std::wstring& title, const std::wstring& start_path,
                                   const std::wstring& extension)
    : file_dialog(filters, title, start_path)
{
    if (extension.empty())
        throw tk_mail_assertion("..\\GUI2/g_f_dlg.hpp", 111);
    m_extension = extension[0] == L'.' ? extension : L"." + extension;
}

std::wstring save_file_dialog::with_extension(const std::wstring& path,
                                              const std::wstring& extension)
{
    // a plain substring test: "my.qlx.old" keeps its name
    if (path.find(extension) != std::wstring::npos)
        return path;
    return path + extension;
}

bool save_file_dialog::show()
{
    wizard_services* s = wizard_services::current();
    if (!s || !s->save_file_dialog(m_title, m_filters, m_directory, m_path))
        return false;
    m_path = with_extension(m_path, m_extension);
    return true;
}

std::vector<std::wstring> profile_file_filters(const std::wstring& extension)
{
    return {L"Profile Files (." + extension + L") (*." + extension + L")", L"All Files (*)"};
}
