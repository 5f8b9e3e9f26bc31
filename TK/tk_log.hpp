#pragma once

#include "tk_singl.hpp"

#include <cstdarg>
#include <cstdio>
#include <atomic>
#include <mutex>
#include <string>

// the trace log: one per process, only the console program creates it;
// without a log every trace call does nothing
class tk_log : public tk_singleton<tk_log> {
public:
    // file null: the program's path with the extension ".log";
    // enabled: the file is emptied at once, else on the first line after enabling
    tk_log(const char* file, bool enabled, int threshold, bool time_stamp);
    ~tk_log() override;

    static std::string default_file_name();

    // keeps enabled and truncated as they are
    void set_file_name(const char* file);
    const std::string& get_file_name() const { return m_name; }

    void set_enabled(bool enabled);
    bool is_enabled() const { return m_enabled; }

    int get_threshold() const { return m_threshold; }

    // the system's error number of the first line (or emptying) that did not reach the file
    // whole, 0 while every one did: a trace cut short is no trace of the run
    int get_write_error() const { return m_write_error; }

    // false when a line of this level would go nowhere (no log, the log off, or below
    // the threshold once the file was emptied): the trace calls stop there, before
    // anything is formatted
    static bool wants(int level)
    {
        if (!has_instance())
            return false;
        const tk_log& log = trace_instance();
        return log.m_enabled && !(log.m_truncated && level < log.m_threshold);
    }

    void write(int level, const char* format, va_list args);
    void wwrite(int level, const wchar_t* format, va_list args);

private:
    // true when a line of this level is to be written; runs the truncation step
    bool begin_line(int level);
    void truncate_once();
    void note_write_error(int err);
    void write_time_stamp(std::FILE* f) const;
    // the line frame: threshold, time stamp, line end; write_text(FILE*) adds the text
    template <class Text>
    void write_line(int level, Text&& write_text);

    std::string m_name;
    int m_threshold;
    bool m_crlf = true;
    // read without the lock by the fast path of every trace call
    std::atomic<bool> m_enabled;
    std::atomic<bool> m_truncated{false};
    std::atomic<int> m_write_error{0};
    bool m_time_stamp;
    std::mutex m_mutex;
};

// one narrow printf-style line: tk_trace(2, "udb_db::open(%s)", name)
void tk_trace(int level, const char* format, ...) __attribute__((format(printf, 2, 3)));

// one wide line, written as utf-8: tk_wtrace(2, L"udb_db::open(%ls)", name.c_str());
// glibc forms: %ls for a wide string, %s for a narrow one
void tk_wtrace(int level, const wchar_t* format, ...);
