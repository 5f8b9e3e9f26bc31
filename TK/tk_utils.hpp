#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// wide strings hold utf-16 units; the "ansi code page" is utf-8.
// invalid input becomes U+FFFD, so the conversions do not fail for any text;
// an embedded NUL ends the text
std::string tk_to_utf8(const std::wstring& text);
// code_page -1 (or 0): the ansi code page; 65001: utf-8; others raise tk_exception_ex (level 0)
std::string tk_to_ansi(const std::wstring& text, int code_page = -1);
std::wstring tk_from_utf8(const std::string& text);
std::wstring tk_to_unicode(const std::string& text);
// the same conversions over a buffer, for large texts that should not be copied whole:
// tk_utf8_units counts the units tk_from_utf8 writes into out
std::string tk_to_utf8(const wchar_t* text, size_t length);
size_t tk_utf8_units(const char* text, size_t length);
void tk_from_utf8(const char* text, size_t length, wchar_t* out);

// into new[] buffers the caller frees with delete[]; a different previous
// *result buffer is freed first, so *result must be null or such a buffer
bool tk_wide_to_narrow(const wchar_t* source, char** result);
bool tk_narrow_to_wide(const char* source, wchar_t** result);

// blanks (U+0020) only; tabs stay
std::string tk_trim(const std::string& text);
std::string tk_trim_left(const std::string& text);
std::wstring tk_trim(const std::wstring& text);
std::wstring tk_trim_left(const std::wstring& text);
std::wstring tk_trim_right(const std::wstring& text);

// "a,,b," gives a, "", b, ""; an empty text gives no fields
std::vector<std::wstring> tk_split(const std::wstring& text, wchar_t separator);

// a text for one console line: control characters as \x0a and bidirectional
// controls and line separators as \u202e, so that it cannot break or reorder the
// line; with double_backslash a backslash is shown as two, so that the shown form
// of a name cannot be mistaken for another name
std::wstring tk_escape_controls(const std::wstring& text, bool double_backslash);

class tk_wstring : public std::wstring {
public:
    using std::wstring::wstring;
    tk_wstring() = default;
    tk_wstring(const std::wstring& text) : std::wstring(text) {}
    tk_wstring(std::wstring&& text) : std::wstring(std::move(text)) {}

    // an empty what changes nothing; inserted text is never searched again
    std::wstring replace_all(const std::wstring& what, const std::wstring& with);
    static std::wstring replace_all(std::wstring& text, const std::wstring& what,
                                    const std::wstring& with);

    // only a-z change
    std::wstring to_upper();
    static std::wstring to_upper(std::wstring& text);
};

// case-insensitive in the user's locale (icu full case folding); <0, 0, >0 like strcmp
int tk_compare_no_case(const std::string& a, const std::string& b);
int tk_compare_no_case(const std::wstring& a, const std::wstring& b);
// the text as tk_compare_no_case folds it: two names compare equal exactly when
// their folded texts are equal, so the result can key a hashed set
std::u16string tk_fold_case(const std::wstring& text);

// two upper-case digits per byte and a NUL: out holds 2 * length + 1 bytes
void tk_bin_to_hex(size_t length, const void* bytes, char* out);

// the program's own file (/proc/self/exe) and its directory with a trailing '/'
std::string tk_get_module_file_name();
std::wstring tk_get_module_wfile_name();
std::string tk_get_module_dir();

// mode 1: readable and writable (a write permission bit is required, also for root);
// any other mode (callers pass 0x4000): readable. a directory is not a file
bool tk_is_file_exist(const std::string& path, int mode);
bool tk_is_file_exist(const std::wstring& path, int mode);
bool tk_is_path_exist(const std::string& directory);

// opens a file that holds what others must not read, for writing from its start: a new
// file is its owner's alone (0600), an existing one loses what its mode grants others
// before it is emptied; one that cannot be narrowed (another user's) stays untouched (-1). a device keeps
// its mode. append: the end is kept, nothing is emptied. -1, errno telling why, when it
// does not open.
// traces nothing: the log opens its own file with it
int tk_open_private(const std::string& path, bool append = false);
// the system's text for an errno value, in the locale's language
std::string tk_error_text(int err);
// takes from a regular file's mode what it grants others than its owner (and the owner's
// execute bit); true when that is done or there was nothing to take. a device keeps its mode.
// false (EPERM) for another user's file, also for root: narrowed, it would still be theirs
bool tk_narrow_to_owner(int fd);

// changes into a directory (empty: the program's) and back when it goes out of scope
class tk_cur_dir_guard {
public:
    explicit tk_cur_dir_guard(const std::string& directory);
    ~tk_cur_dir_guard();
    tk_cur_dir_guard(const tk_cur_dir_guard&) = delete;
    tk_cur_dir_guard& operator=(const tk_cur_dir_guard&) = delete;

    bool is_changed() const { return m_changed; }

private:
    bool m_changed = true;
    std::string m_saved;
};

// (major << 16) | minor of the library's exported DllGetVersion; 0 when it has none
uint32_t get_dll_version(const std::wstring& library);
