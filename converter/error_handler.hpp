#pragma once

#include "tk_errco.hpp"
#include "tk_except.hpp"
#include "tk_singl.hpp"

#include <cstdint>
#include <string>
#include <thread>

// the two fixed error tables; every program loads both
extern const tk_error_entry pgs_connection_errors[];
extern const int pgs_connection_error_count;
extern const tk_error_entry oracle_errors[];
extern const int oracle_error_count;

// what a program does with an error; each program attaches its own at start-up
// (console: lines on the console; wizard: boxes and dialogs). the handler keeps
// the common rules and calls these in order
class error_reaction {
public:
    enum class level1_end { end_process, end_operation };

    virtual ~error_reaction() = default;

    // level 2: show e's raw text; the handler ends the process with -1 afterwards
    virtual void show_internal_error(const tk_exception& e) = 0;
    // every level-0 and level-1 message, composed and on one line, before the
    // level's own reaction (the console prints it, the wizard lists it)
    virtual void on_message(const tk_exception& e, const std::string& message) = 0;
    // level 1 after "Got 1-level error": end_process ends with -1; end_operation
    // raises tk_final_exception unless may_continue
    virtual level1_end on_level1(const std::string& message, bool may_continue) = 0;
    // level 0 after "Got 0-level error", called only when not suppressed:
    // false means the user aborts (tk_final_exception unless may_continue)
    virtual bool on_level0(const std::string& message, bool may_continue) = 0;

    // how the program shows the table name of a message's context (the console
    // escapes what could break or forge its lines); the trace keeps the name
    virtual std::wstring shown_name(const std::wstring& name) const { return name; }
    // how it shows the rest of the message (names inside it included), after line
    // feeds became blanks
    virtual std::string shown_text(const std::string& text) const { return text; }
};

// turns a tk_exception into the reaction of the running program; one per process
class error_handler : public tk_singleton<error_handler> {
public:
    error_handler(int count, const tk_error_entry* rows);
    // noexcept: its registration cannot be missing while it lives
    ~error_handler() noexcept override;

    void load_err_map(int count, const tk_error_entry* rows);

    // not owned; null restores the default reaction (the message on stderr)
    void set_reaction(error_reaction* reaction);

    // the context is a table name, with the record number for record errors
    void set_context(const std::wstring& text);
    void set_record_context(const std::wstring& table, int record);
    void clear_context();
    const std::string& get_context() const { return m_context; }

    bool is_suppressed() const { return m_suppress; }
    void set_suppress(bool suppress) { m_suppress = suppress; }

    // the user text for a code; empty when the map has none
    std::string convert(int code) const { return m_converter.convert(code); }

    // context and ": ", then the map's text for e's code or e's own text;
    // line feeds stay (handle turns them into blanks after tracing)
    std::string compose_message(const tk_exception& e) const;

    // a level-2 error never returns; level 1 ends the operation or the process
    void handle(const tk_exception& e, bool may_continue);
    // handle, for callers whose operation ends here anyway: the final exception that ends
    // the operation after the report is not passed on
    void report(const tk_exception& e, bool may_continue);

    // errors of level 0 and 1 that reached handle, suppressed ones included,
    // plus those that a program reported on its own (count_reported_error)
    std::uint32_t get_reported_errors() const { return m_reported; }
    void count_reported_error() { ++m_reported; }

    // what the program does before end_process ends it (the conversion logs off its
    // destination, which commits pending large-object writes and updates); it must
    // not throw. null for nothing
    using before_exit_fn = void (*)();
    void set_before_exit(before_exit_fn callback) { m_before_exit = callback; }

    // ends the process: calls the before-exit callback of the handler first, flushes
    // the standard streams; from a thread other than the one that built the handler
    // it uses _exit
    [[noreturn]] static void end_process(int code);

private:
    error_reaction& reaction() const;
    std::string shown_message(const tk_exception& e) const;

    std::string m_context;
    std::wstring m_context_name;
    std::string m_context_tail;
    bool m_suppress = false;
    tk_error_converter m_converter;
    error_reaction* m_reaction = nullptr;
    std::uint32_t m_reported = 0;
    before_exit_fn m_before_exit = nullptr;
};
