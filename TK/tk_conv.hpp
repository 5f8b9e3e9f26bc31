#pragma once

#include "tk_threa.hpp"

#include <atomic>
#include <string>
#include <vector>

// the base of a conversion job: what every conversion carries, whatever the databases
class tk_converter : public tk_task {
public:
    tk_converter();
    ~tk_converter() override = default;

    virtual void set_silent(bool flag) { m_silent = flag; }
    bool is_silent() const { return m_silent; }

    // polled by the user interface from its own thread
    bool is_finished() const { return m_finished.load(); }
    void set_finished(bool flag) { m_finished.store(flag); }

    const std::wstring& get_source_name() const { return m_source_name; }
    void set_source_name(const std::wstring& name) { m_source_name = name; }
    const std::wstring& get_dest_name() const { return m_dest_name; }
    void set_dest_name(const std::wstring& name) { m_dest_name = name; }

    // checks the name and points the trace log at it; an empty name is stored and
    // leaves the log as it was. without a trace log the name is only kept.
    // a read-only file, a missing directory or an input file raise a level-1 tk_exception
    void set_logfile(const std::string& name);
    const std::string& get_logfile() const { return m_logfile; }

    // a file the run reads (what: how messages call it); a log that is the same file,
    // by any path, is refused: starting the log empties its file
    void add_input_file(const std::string& path, const std::string& what);

protected:
    std::atomic<bool> m_finished{false};
    bool m_silent = false;
    std::wstring m_source_name;
    std::wstring m_dest_name;
    std::string m_logfile;

private:
    struct input_file {
        std::string path;
        std::string what;
    };
    std::vector<input_file> m_input_files;
};
