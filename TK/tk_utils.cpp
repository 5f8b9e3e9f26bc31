#include "tk_utils.hpp"

#include "tk_except.hpp"
#include "tk_fname.hpp"
#include "tk_log.hpp"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <dlfcn.h>
#include <fcntl.h>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>
#include <unicode/uchar.h>
#include <unicode/ustring.h>

namespace {

constexpr uint32_t replacement = 0xFFFD;

// every code point of a utf-16 text up to its first zero unit, a unit that is no character
// given as the replacement character
template <class Put>
void utf16_code_points(const wchar_t* text, size_t length, Put put)
{
    for (size_t i = 0; i < length; ++i) {
        const auto u = static_cast<uint32_t>(text[i]);
        if (u < 0x80) {
            if (u == 0)
                break;
            put(u);
        } else if (u >= 0xD800 && u <= 0xDBFF) {
            const auto next = i + 1 < length ? static_cast<uint32_t>(text[i + 1]) : 0u;
            if (next >= 0xDC00 && next <= 0xDFFF) {
                put(0x10000 + ((u - 0xD800) << 10) + (next - 0xDC00));
                ++i;
            } else {
                put(replacement);
            }
        } else if (u >= 0xDC00 && u <= 0xDFFF) {
            put(replacement);
        } else if (u > 0x10FFFF) {
            put(replacement);
        } else {
            // a unit above U+FFFF only comes from a wide literal; keep its character
            put(u);
        }
    }
}

char* put_utf8(char* out, uint32_t cp)
{
    if (cp < 0x80) {
        *out++ = static_cast<char>(cp);
    } else if (cp < 0x800) {
        *out++ = static_cast<char>(0xC0 | (cp >> 6));
        *out++ = static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        *out++ = static_cast<char>(0xE0 | (cp >> 12));
        *out++ = static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        *out++ = static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        *out++ = static_cast<char>(0xF0 | (cp >> 18));
        *out++ = static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        *out++ = static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        *out++ = static_cast<char>(0x80 | (cp & 0x3F));
    }
    return out;
}

// measured first and written in place: a large object's text passes here piece by piece
std::string utf16_to_utf8(const wchar_t* text, size_t length)
{
    size_t bytes = 0;
    utf16_code_points(text, length, [&](uint32_t cp) {
        bytes += cp < 0x80 ? 1 : cp < 0x800 ? 2 : cp < 0x10000 ? 3 : 4;
    });
    std::string out(bytes, '\0');
    char* at = out.data();
    utf16_code_points(text, length, [&](uint32_t cp) {
        if (cp < 0x80)
            *at++ = static_cast<char>(cp);
        else
            at = put_utf8(at, cp);
    });
    return out;
}

// the one or two utf-16 units of a code point, each given to put
template <class Put>
void utf16_units(uint32_t cp, Put put)
{
    if (cp < 0x10000) {
        put(static_cast<wchar_t>(cp));
    } else {
        cp -= 0x10000;
        put(static_cast<wchar_t>(0xD800 + (cp >> 10)));
        put(static_cast<wchar_t>(0xDC00 + (cp & 0x3FF)));
    }
}

// the code points of a utf-8 text, each given to emit; an invalid sequence becomes
// one U+FFFD per maximal invalid subpart, and a NUL byte ends the text
template <class Emit>
void decode_utf8(const char* text, size_t length, Emit emit)
{
    const auto* s = reinterpret_cast<const unsigned char*>(text);
    size_t i = 0;
    while (i < length) {
        const unsigned char b = s[i];
        if (b == 0)
            break;
        if (b < 0x80) {
            emit(b);
            ++i;
            continue;
        }
        size_t need;
        uint32_t cp;
        unsigned char lo = 0x80, hi = 0xBF;
        if (b >= 0xC2 && b <= 0xDF) {
            need = 1;
            cp = b & 0x1F;
        } else if (b >= 0xE0 && b <= 0xEF) {
            need = 2;
            cp = b & 0x0F;
            if (b == 0xE0)
                lo = 0xA0;
            else if (b == 0xED)
                hi = 0x9F;
        } else if (b >= 0xF0 && b <= 0xF4) {
            need = 3;
            cp = b & 0x07;
            if (b == 0xF0)
                lo = 0x90;
            else if (b == 0xF4)
                hi = 0x8F;
        } else {
            emit(replacement);
            ++i;
            continue;
        }
        size_t j = 1;
        for (; j <= need && i + j < length; ++j) {
            const unsigned char c = s[i + j];
            if (c < lo || c > hi)
                break;
            cp = (cp << 6) | (c & 0x3F);
            lo = 0x80;
            hi = 0xBF;
        }
        if (j <= need) {
            emit(replacement);
            i += j;
            continue;
        }
        emit(cp);
        i += need + 1;
    }
}

std::wstring utf8_to_utf16(const char* text, size_t length)
{
    std::wstring out;
    out.reserve(length);
    decode_utf8(text, length,
                [&](uint32_t cp) { utf16_units(cp, [&](wchar_t unit) { out += unit; }); });
    return out;
}

std::u16string to_u16(const std::wstring& text)
{
    std::u16string out;
    out.reserve(text.size());
    for (wchar_t c : text) {
        const auto u = static_cast<uint32_t>(c);
        if (u > 0xFFFF && u <= 0x10FFFF) {
            out += static_cast<char16_t>(0xD800 + ((u - 0x10000) >> 10));
            out += static_cast<char16_t>(0xDC00 + ((u - 0x10000) & 0x3FF));
        } else {
            out += static_cast<char16_t>(u > 0xFFFF ? replacement : u);
        }
    }
    return out;
}

bool is_ansi_code_page(int code_page)
{
    return code_page == -1 || code_page == 0 || code_page == 65001;
}

// the current directory at any length
bool current_dir(std::string& out)
{
    std::unique_ptr<char, decltype(&std::free)> cwd(getcwd(nullptr, 0), &std::free);
    if (!cwd)
        return false;
    out = cwd.get();
    return true;
}

} // namespace

std::string tk_to_utf8(const std::wstring& text)
{
    return utf16_to_utf8(text.c_str(), text.size());
}

std::string tk_to_utf8(const wchar_t* text, size_t length)
{
    return utf16_to_utf8(text, length);
}

size_t tk_utf8_units(const char* text, size_t length)
{
    size_t units = 0;
    decode_utf8(text, length, [&](uint32_t cp) { units += cp < 0x10000 ? 1 : 2; });
    return units;
}

void tk_from_utf8(const char* text, size_t length, wchar_t* out)
{
    decode_utf8(text, length,
                [&](uint32_t cp) { utf16_units(cp, [&](wchar_t unit) { *out++ = unit; }); });
}

std::string tk_to_ansi(const std::wstring& text, int code_page)
{
    if (!is_ansi_code_page(code_page)) {
        errno = EINVAL;
        throw tk_exception_ex("Cannot convert to ANSI string: ", 0);
    }
    return utf16_to_utf8(text.c_str(), text.size());
}

std::wstring tk_from_utf8(const std::string& text)
{
    return utf8_to_utf16(text.c_str(), text.size());
}

std::wstring tk_to_unicode(const std::string& text)
{
    return utf8_to_utf16(text.c_str(), text.size());
}

namespace {

// a new[] copy of the converted text in *result, freeing a different previous buffer
template <class Char, class Source, class Convert>
bool to_new_buffer(const Source* source, Char** result, Convert convert)
{
    if (!source || !result)
        return false;
    const std::basic_string<Char> text = convert(source);
    Char* buf = new Char[text.size() + 1];
    std::copy(text.c_str(), text.c_str() + text.size() + 1, buf);
    if (*result != buf)
        delete[] *result;
    *result = buf;
    return true;
}

} // namespace

bool tk_wide_to_narrow(const wchar_t* source, char** result)
{
    return to_new_buffer(source, result,
                         [](const wchar_t* s) { return utf16_to_utf8(s, std::wcslen(s)); });
}

bool tk_narrow_to_wide(const char* source, wchar_t** result)
{
    return to_new_buffer(source, result,
                         [](const char* s) { return utf8_to_utf16(s, std::strlen(s)); });
}

std::string tk_trim_left(const std::string& text)
{
    const auto first = text.find_first_not_of(' ');
    return first == std::string::npos ? std::string() : text.substr(first);
}

std::string tk_trim(const std::string& text)
{
    const auto last = text.find_last_not_of(' ');
    if (last == std::string::npos)
        return std::string();
    return tk_trim_left(text.substr(0, last + 1));
}

std::wstring tk_trim_left(const std::wstring& text)
{
    const auto first = text.find_first_not_of(L' ');
    return first == std::wstring::npos ? std::wstring() : text.substr(first);
}

std::wstring tk_trim_right(const std::wstring& text)
{
    const auto last = text.find_last_not_of(L' ');
    if (last == std::wstring::npos) {
        if (!text.empty())
            tk_trace(1, "Special processing for all-spaces-string");
        return std::wstring();
    }
    return text.substr(0, last + 1);
}

std::wstring tk_trim(const std::wstring& text)
{
    return tk_trim_left(tk_trim_right(text));
}

namespace {

bool is_layout_control(wchar_t c)
{
    return c == 0x061C || c == 0x200E || c == 0x200F || (c >= 0x202A && c <= 0x202E)
           || (c >= 0x2066 && c <= 0x2069) || c == 0x2028 || c == 0x2029;
}

} // namespace

std::wstring tk_escape_controls(const std::wstring& text, bool double_backslash)
{
    static const wchar_t digits[] = L"0123456789abcdef";
    std::wstring shown;
    shown.reserve(text.size());
    for (const wchar_t c : text) {
        int width = 0;
        if (c < 0x20 || (c >= 0x7F && c <= 0x9F)) {
            shown += L"\\x";
            width = 2;
        } else if (is_layout_control(c)) {
            shown += L"\\u";
            width = 4;
        } else {
            if (c == L'\\' && double_backslash)
                shown += L'\\';
            shown += c;
            continue;
        }
        for (int shift = (width - 1) * 4; shift >= 0; shift -= 4)
            shown += digits[(static_cast<unsigned>(c) >> shift) & 0xF];
    }
    return shown;
}

std::vector<std::wstring> tk_split(const std::wstring& text, wchar_t separator)
{
    std::vector<std::wstring> fields;
    if (text.empty())
        return fields;
    size_t start = 0;
    for (;;) {
        const auto pos = text.find(separator, start);
        if (pos == std::wstring::npos) {
            fields.push_back(text.substr(start));
            break;
        }
        fields.push_back(text.substr(start, pos - start));
        start = pos + 1;
    }
    return fields;
}

std::wstring tk_wstring::replace_all(std::wstring& text, const std::wstring& what,
                                     const std::wstring& with)
{
    tk_wtrace(1, L"tk_wstring::replace_all(%ls,%ls)", what.c_str(), with.c_str());
    if (what.empty())
        return text;
    if (with.empty()) {
        // removal: search again from the start, so "[[]]" loses both pairs of "[]"
        for (auto pos = text.find(what); pos != std::wstring::npos; pos = text.find(what))
            text.erase(pos, what.size());
        return text;
    }
    // never rescan inserted text: a replacement may re-form what and would not end
    for (auto pos = text.find(what); pos != std::wstring::npos;
         pos = text.find(what, pos + with.size()))
        text.replace(pos, what.size(), with);
    return text;
}

std::wstring tk_wstring::replace_all(const std::wstring& what, const std::wstring& with)
{
    return replace_all(*this, what, with);
}

std::wstring tk_wstring::to_upper(std::wstring& text)
{
    tk_wtrace(1, L"tk_wstring::to_upper(%ls)", text.c_str());
    for (auto& c : text)
        if (c >= L'a' && c <= L'z')
            c = static_cast<wchar_t>(c - L'a' + L'A');
    return text;
}

std::wstring tk_wstring::to_upper()
{
    return to_upper(*this);
}

int tk_compare_no_case(const std::wstring& a, const std::wstring& b)
{
    const std::u16string ua = to_u16(a);
    const std::u16string ub = to_u16(b);
    UErrorCode status = U_ZERO_ERROR;
    const int r = u_strCaseCompare(ua.data(), static_cast<int32_t>(ua.size()), ub.data(),
                                   static_cast<int32_t>(ub.size()), U_FOLD_CASE_DEFAULT, &status);
    if (U_FAILURE(status))
        return ua.compare(ub);
    return r;
}

std::u16string tk_fold_case(const std::wstring& text)
{
    std::u16string source = to_u16(text);
    std::u16string folded(source.size(), u'\0');
    UErrorCode status = U_ZERO_ERROR;
    int32_t length = u_strFoldCase(folded.data(), static_cast<int32_t>(folded.size()), source.data(),
                                   static_cast<int32_t>(source.size()), U_FOLD_CASE_DEFAULT, &status);
    if (status == U_BUFFER_OVERFLOW_ERROR) {
        // full folding may lengthen the text ("\u00df" becomes "ss")
        folded.assign(static_cast<size_t>(length), u'\0');
        status = U_ZERO_ERROR;
        length = u_strFoldCase(folded.data(), length, source.data(),
                               static_cast<int32_t>(source.size()), U_FOLD_CASE_DEFAULT, &status);
    }
    // the comparison falls back to the units as they are, and so does the key
    if (U_FAILURE(status))
        return source;
    folded.resize(static_cast<size_t>(length));
    return folded;
}

int tk_compare_no_case(const std::string& a, const std::string& b)
{
    return tk_compare_no_case(tk_to_unicode(a), tk_to_unicode(b));
}

void tk_bin_to_hex(size_t length, const void* bytes, char* out)
{
    if (!out)
        throw tk_mail_assertion("tk_utils.cpp", 724);
    static const char digits[] = "0123456789ABCDEF";
    const auto* b = static_cast<const unsigned char*>(bytes);
    for (size_t i = 0; i < length; ++i) {
        *out++ = digits[b[i] >> 4];
        *out++ = digits[b[i] & 0x0F];
    }
    *out = '\0';
}

std::string tk_get_module_file_name()
{
    std::string buf(256, '\0');
    for (;;) {
        const ssize_t n = readlink("/proc/self/exe", buf.data(), buf.size());
        if (n < 0)
            throw tk_mail_assertion("tk_utils.cpp", 116);
        if (static_cast<size_t>(n) < buf.size()) {
            buf.resize(static_cast<size_t>(n));
            return buf;
        }
        buf.resize(buf.size() * 2);
    }
}

std::wstring tk_get_module_wfile_name()
{
    std::string narrow;
    try {
        narrow = tk_get_module_file_name();
    } catch (const tk_mail_assertion&) {
        throw tk_mail_assertion("tk_utils.cpp", 129);
    }
    return tk_to_unicode(narrow);
}

std::string tk_get_module_dir()
{
    return tk_file_name(tk_get_module_file_name().c_str()).get_path();
}

bool tk_is_file_exist(const std::string& path, int mode)
{
    tk_trace(1, "tk_is_file_exist(%s)", path.c_str());
    const int flags = (mode == 1 ? O_RDWR : O_RDONLY) | O_NONBLOCK | O_NOCTTY | O_CLOEXEC;
    const int fd = open(path.c_str(), flags);
    bool ok = fd >= 0;
    if (ok) {
        struct stat st {};
        ok = fstat(fd, &st) == 0 && !S_ISDIR(st.st_mode);
        // root may open a read-only file for writing: the mode bits decide
        if (ok && mode == 1)
            ok = (st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) != 0;
        close(fd);
    }
    if (!ok)
        tk_trace(1, "File not exists!");
    return ok;
}

bool tk_is_file_exist(const std::wstring& path, int mode)
{
    return tk_is_file_exist(tk_to_ansi(path), mode);
}

bool tk_narrow_to_owner(int fd)
{
    struct stat st {};
    if (fstat(fd, &st) != 0)
        return false;
    if (!S_ISREG(st.st_mode))
        return true;
    // another user's file stays theirs whatever its mode becomes (root could change it)
    if (st.st_uid != geteuid()) {
        errno = EPERM;
        return false;
    }
    const mode_t narrow = st.st_mode & 0600;
    return (st.st_mode & 07777) == narrow || fchmod(fd, narrow) == 0;
}

int tk_open_private(const std::string& path, bool append)
{
    const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC | (append ? O_APPEND : 0),
                        0600);
    if (fd < 0)
        return -1;
    struct stat st {};
    const bool ok = tk_narrow_to_owner(fd)
                    && (append || fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)
                        || ftruncate(fd, 0) == 0);
    if (!ok) {
        const int err = errno;
        close(fd);
        errno = err;
        return -1;
    }
    return fd;
}

std::string tk_error_text(int err)
{
    char buf[256];
    buf[0] = '\0';
    // the gnu form returns the message and may leave buf untouched
    const char* text = strerror_r(err, buf, sizeof buf);
    return text ? text : "";
}

bool tk_is_path_exist(const std::string& directory)
{
    tk_trace(1, "tk_is_path_exist(%s)", directory.c_str());
    const tk_cur_dir_guard guard(directory);
    return guard.is_changed();
}

tk_cur_dir_guard::tk_cur_dir_guard(const std::string& directory)
{
    const std::string target = directory.empty() ? tk_get_module_dir() : directory;
    if (!current_dir(m_saved)) {
        m_changed = false;
        return;
    }
    m_changed = chdir(target.c_str()) == 0;
}

tk_cur_dir_guard::~tk_cur_dir_guard()
{
    if (m_changed && chdir(m_saved.c_str()) != 0)
        tk_trace(2, "tk_cur_dir_guard: cannot change back into %s", m_saved.c_str());
}

namespace {

struct dll_version_info {
    uint32_t size;
    uint32_t major;
    uint32_t minor;
    uint32_t build;
    uint32_t platform;
};
static_assert(sizeof(dll_version_info) == 20);

using dll_get_version_fn = int32_t (*)(dll_version_info*);

} // namespace

uint32_t get_dll_version(const std::wstring& library)
{
    void* lib = dlopen(tk_to_ansi(library).c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!lib) {
        tk_trace(1, "get_dll_version failed to load DLL");
        return 0;
    }
    auto fn = reinterpret_cast<dll_get_version_fn>(dlsym(lib, "DllGetVersion"));
    if (!fn) {
        tk_trace(1, "get_dll_version failed to obtain DllGetVersion");
        dlclose(lib);
        return 0;
    }
    dll_version_info info{};
    info.size = sizeof info;
    uint32_t version = 0;
    if (fn(&info) >= 0)
        version = (info.major << 16) | info.minor;
    dlclose(lib);
    return version;
}
