#pragma once

#include <string>

// a path made absolute against the current directory and split into its parts;
// an empty path stands for the program's own directory (name part empty).
// the drive is always empty here; the directory keeps its leading and trailing '/'
class tk_file_name {
public:
    explicit tk_file_name(const char* path);
    explicit tk_file_name(const std::string& path) : tk_file_name(path.c_str()) {}

    void initialize(const char* path);
    std::string get_path() const;
    std::string make_path() const;
    // "log" and ".log" both store ".log"
    void set_extension(const std::string& ext);

    std::string extension;
    std::string drive;
    std::string name;
    std::string directory;
};

class tk_file_wname {
public:
    explicit tk_file_wname(const wchar_t* path);
    explicit tk_file_wname(const std::wstring& path) : tk_file_wname(path.c_str()) {}

    void initialize(const wchar_t* path);
    std::wstring get_path() const;
    std::wstring make_path() const;
    void set_extension(const std::wstring& ext);

    std::wstring extension;
    std::wstring drive;
    std::wstring name;
    std::wstring directory;
};
