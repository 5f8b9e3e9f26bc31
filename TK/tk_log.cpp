#include "tk_log.hpp"

#include "tk_fname.hpp"
#include "tk_utils.hpp"

#include <cerrno>
#include <cstdio>
#include <ctime>
#include <cwchar>

#include <unistd.h>

namespace {

constexpr size_t wide_buffer_units = 10240;
constexpr size_t utf8_buffer_bytes = 10240;

}

tk_log::tk_log(const char* file, bool enabled, int threshold, bool time_stamp)
    : m_threshold(threshold), m_enabled(false), m_time_stamp(time_stamp)
{
    // enabled only after the name is known: building the default name traces
    m_name = file ? std::string(file) : default_file_name();
    m_enabled = enabled;
    truncate_once();
}

tk_log::~tk_log() = default;

std::string tk_log::default_file_name()
{
    tk_file_name fn(tk_get_module_file_name().c_str());
    fn.set_extension(".log");
    return fn.make_path();
}

void tk_log::set_file_name(const char* file)
{
    if (!file)
        throw tk_mail_assertion("..\\TK/tk_log.hpp", 82);
    std::lock_guard<std::mutex> lock(m_mutex);
    m_name = file;
}

void tk_log::set_enabled(bool enabled)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_enabled = enabled;
}

void tk_log::truncate_once()
{
    if (!m_enabled || m_truncated)
        return;
    // the trace holds every row's values: its owner's alone
    const int fd = tk_open_private(m_name);
    if (fd < 0 || close(fd) != 0)
        note_write_error(errno);
    m_truncated = true;
}

void tk_log::note_write_error(int err)
{
    int none = 0;
    m_write_error.compare_exchange_strong(none, err != 0 ? err : EIO);
}

bool tk_log::begin_line(int level)
{
    if (!m_enabled)
        return false;
    truncate_once();
    return level >= m_threshold;
}

void tk_log::write_time_stamp(std::FILE* f) const
{
    if (!m_time_stamp)
        return;
    std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    std::fprintf(f, "%02d:%02d:%02d ", local.tm_hour, local.tm_min, local.tm_sec);
}

template <class Text>
void tk_log::write_line(int level, Text&& write_text)
{
    // most trace lines go nowhere: no lock and no formatting for them
    if (!m_enabled || (m_truncated && level < m_threshold))
        return;
    std::lock_guard<std::mutex> lock(m_mutex);
    if (!begin_line(level))
        return;
    // a file removed while the run goes on comes back as private as it was made
    const int fd = tk_open_private(m_name, true);
    std::FILE* f = fd >= 0 ? fdopen(fd, "ab") : nullptr;
    if (!f) {
        const int err = errno;
        if (fd >= 0)
            close(fd);
        note_write_error(err);
        return;
    }
    errno = 0;
    write_time_stamp(f);
    write_text(f);
    if (m_crlf)
        std::fputs("\r\n", f);
    // the line reaches the file as the stream is flushed and closed: a full device or a
    // size limit answers there, if not before
    const bool failed = std::ferror(f) != 0;
    const int err = errno;
    if (std::fclose(f) != 0 || failed)
        note_write_error(failed && err != 0 ? err : errno);
}

void tk_log::write(int level, const char* format, va_list args)
{
    write_line(level, [&](std::FILE* f) { std::vfprintf(f, format, args); });
}

void tk_log::wwrite(int level, const wchar_t* format, va_list args)
{
    write_line(level, [&](std::FILE* f) {
        // zero-filled so that a text vswprintf gave up on (-1 on overflow or a bad
        // narrow argument) is cut at what it wrote, never read past the buffer
        static thread_local wchar_t text[wide_buffer_units];
        std::wmemset(text, L'\0', wide_buffer_units);
        if (std::vswprintf(text, wide_buffer_units, format, args) < 0)
            text[wide_buffer_units - 1] = L'\0';
        const std::string utf8 = tk_to_utf8(std::wstring(text));
        // the terminator has to fit as well; a text too long for the buffer is dropped
        if (utf8.size() + 1 <= utf8_buffer_bytes)
            std::fwrite(utf8.data(), 1, utf8.size(), f);
    });
}

void tk_trace(int level, const char* format, ...)
{
    if (!tk_log::wants(level))
        return;
    va_list args;
    va_start(args, format);
    tk_log::trace_instance().write(level, format, args);
    va_end(args);
}

void tk_wtrace(int level, const wchar_t* format, ...)
{
    if (!tk_log::wants(level))
        return;
    va_list args;
    va_start(args, format);
    tk_log::trace_instance().wwrite(level, format, args);
    va_end(args);
}
