#include "tk_fname.hpp"

#include "tk_except.hpp"
#include "tk_log.hpp"
#include "tk_utils.hpp"

#include <cstdlib>
#include <memory>
#include <unistd.h>
#include <vector>

namespace {

struct path_parts {
    std::string directory;
    std::string name;
    std::string extension;
};

// lexical absolute path: no symlinks are resolved and the file need not exist
bool full_path(const std::string& path, std::string& out)
{
    std::string abs;
    if (!path.empty() && path[0] == '/') {
        abs = path;
    } else {
        std::unique_ptr<char, decltype(&std::free)> cwd(getcwd(nullptr, 0), &std::free);
        if (!cwd)
            return false;
        abs = std::string(cwd.get()) + "/" + path;
    }
    std::vector<std::string> segments;
    size_t start = 0;
    while (start <= abs.size()) {
        auto end = abs.find('/', start);
        if (end == std::string::npos)
            end = abs.size();
        const std::string seg = abs.substr(start, end - start);
        if (seg == "..") {
            if (!segments.empty())
                segments.pop_back();
        } else if (!seg.empty() && seg != ".") {
            segments.push_back(seg);
        }
        start = end + 1;
    }
    out.clear();
    for (const auto& seg : segments)
        out += "/" + seg;
    // a path naming a directory keeps its trailing separator
    const bool dir_form = abs.back() == '/' || abs.ends_with("/.") || abs.ends_with("/..");
    if (out.empty() || dir_form)
        out += "/";
    return true;
}

path_parts split_path(const std::string& path)
{
    path_parts parts;
    const auto slash = path.rfind('/');
    std::string file = path;
    if (slash != std::string::npos) {
        parts.directory = path.substr(0, slash + 1);
        file = path.substr(slash + 1);
    }
    const auto dot = file.rfind('.');
    if (dot == std::string::npos) {
        parts.name = file;
    } else {
        parts.name = file.substr(0, dot);
        parts.extension = file.substr(dot);
    }
    return parts;
}

std::string join_path(const std::string& drive, const std::string& directory,
                      const std::string& name, const std::string& extension)
{
    std::string out = drive + directory;
    if (!directory.empty() && directory.back() != '/')
        out += '/';
    out += name;
    if (!extension.empty() && extension[0] != '.')
        out += '.';
    out += extension;
    return out;
}

// the part of initialize both classes share; false when the path cannot be made absolute
bool split_full(const std::string& path, path_parts& parts)
{
    std::string abs;
    if (path.empty()) {
        parts = split_path(tk_get_module_file_name());
        parts.name.clear();
        return true;
    }
    if (!full_path(path, abs))
        return false;
    parts = split_path(abs);
    return true;
}

} // namespace

tk_file_name::tk_file_name(const char* path)
{
    tk_trace(1, "tk_file_name::ctor(%s)", path ? path : "(null)");
    initialize(path);
}

void tk_file_name::initialize(const char* path)
{
    if (!path)
        throw tk_mail_assertion("tk_fname.cpp", 31);
    path_parts parts;
    if (!split_full(path, parts))
        throw tk_mail_assertion("tk_fname.cpp", 39);
    drive.clear();
    directory = parts.directory;
    name = parts.name;
    extension = parts.extension;
}

std::string tk_file_name::get_path() const
{
    return drive + directory;
}

std::string tk_file_name::make_path() const
{
    return join_path(drive, directory, name, extension);
}

void tk_file_name::set_extension(const std::string& ext)
{
    extension = !ext.empty() && ext[0] != '.' ? "." + ext : ext;
}

tk_file_wname::tk_file_wname(const wchar_t* path)
{
    tk_wtrace(1, L"tk_file_name::ctor(%ls)", path ? path : L"(null)");
    initialize(path);
}

void tk_file_wname::initialize(const wchar_t* path)
{
    tk_wtrace(1, L"tk_file_wname::initialize(%ls)", path ? path : L"(null)");
    if (!path)
        throw tk_mail_assertion("tk_fname.cpp", 81);
    path_parts parts;
    if (!split_full(tk_to_ansi(path), parts))
        throw tk_mail_assertion("tk_fname.cpp", 89);
    drive.clear();
    directory = tk_to_unicode(parts.directory);
    name = tk_to_unicode(parts.name);
    extension = tk_to_unicode(parts.extension);
}

std::wstring tk_file_wname::get_path() const
{
    return drive + directory;
}

std::wstring tk_file_wname::make_path() const
{
    return tk_to_unicode(
        join_path(tk_to_ansi(drive), tk_to_ansi(directory), tk_to_ansi(name), tk_to_ansi(extension)));
}

void tk_file_wname::set_extension(const std::wstring& ext)
{
    extension = !ext.empty() && ext[0] != L'.' ? L"." + ext : ext;
}
