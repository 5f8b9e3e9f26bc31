#pragma once

#include <string>
#include <vector>

// asks for a profile file through the user-interface layer's file dialog
class file_dialog {
public:
    // filters as "Name (pattern)"; the starting path's directory is where the dialog
    // opens (the program's own when it has none), its name is not used
    file_dialog(const std::vector<std::wstring>& filters, const std::wstring& title,
                const std::wstring& start_path);
    virtual ~file_dialog() = default;

    virtual bool show() = 0;
    // the chosen path after a true show
    const std::wstring& get_path() const { return m_path; }

protected:
    std::vector<std::wstring> m_filters;
    std::wstring m_title;
    std::wstring m_directory;
    std::wstring m_path;
};

// an existing file
class open_file_dialog : public file_dialog {
public:
    using file_dialog::file_dialog;
    bool show() override;
};

// a name; without the default extension anywhere in it, the extension is appended
class save_file_dialog : public file_dialog {
public:
    // the extension with or without its leading "."
    save_file_dialog(const std::vector<std::wstring>& filters, const std::wstring& title,
                     const std::wstring& start_path, const std::wstring& extension);
    bool show() override;

    static std::wstring with_extension(const std::wstring& path, const std::wstring& extension);

private:
    std::wstring m_extension;
};

// the profile filters for an extension: "Profile Files (.qlx) (*.qlx)", "All Files (*)"
std::vector<std::wstring> profile_file_filters(const std::wstring& extension);
