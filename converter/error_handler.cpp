#include "error_handler.hpp"

#include "pgs_engine.hpp"
#include "tk_log.hpp"
#include "tk_utils.hpp"

#include <cstdio>
#include <cstdlib>
#include <unistd.h>

const tk_error_entry pgs_connection_errors[] = {
    {-1032, "Cannot connect to pgs server. Check to verify that pgs server is launched and allows connection."},
    {-30082, "Incorrect username or password"},
};
const int pgs_connection_error_count =
    static_cast<int>(sizeof(pgs_connection_errors) / sizeof(pgs_connection_errors[0]));

const tk_error_entry oracle_errors[] = {
    {0x100001, "Duplicate field values being used for an unique index were found.\n"
               "See 'Troubleshooting' article of the product documentation\nfor solution."},
    {0x1003F9, "Invalid user name or password."},
    {0x10067A, "Not enough free contiguous space in the tablespace to create the object.\n"
               "Use ALTER TABLESPACE ADD DATAFILE to add additional space to the tablespace."},
    {0x10079E, "User does not have the necessary privileges to create tables."},
    {0x1008FA, "There are orphaned records that prevent from creating foreign key. For more\n"
               "information see Troubleshooting article of the product documentation."},
    {0x102F7A, "Oracle data source does not exist. Check to verify the correct name was given."},
    {0x1030D4, "ORA-12500: the listener could not start a server process. For more information\n"
               "see Troubleshooting article of the product documentation."},
    {0x1030D9, "ORA-12505: the program could not resolve service name. For more information\n"
               "see Troubleshooting article of the product documentation."},
    {0x1030E2, "Cannot resolve Oracle service name. Check to verify the correct name was given.\n"},
    {0x1030FD, "ORA-12541: no listener. For more information see Troubleshooting\n"
               "article of the product documentation."},
    {0x103101, "ORA-12545: connect failed because target host or object does not exist.\n"
               "For more information see Troubleshooting article of the product documentation."},
    {0x106D60, "Wrong password was entered the maximum number of times or\n"
               "the DBA has locked the account."},
};
const int oracle_error_count = static_cast<int>(sizeof(oracle_errors) / sizeof(oracle_errors[0]));

namespace {

// used until a program attaches its own: a failure must never pass unseen
class stderr_reaction : public error_reaction {
public:
    void show_internal_error(const tk_exception& e) override
    {
        std::fprintf(stderr, "Internal error: %s\n", e.what());
        std::fflush(stderr);
    }
    void on_message(const tk_exception&, const std::string& message) override
    {
        if (error_handler::instance().is_suppressed())
            return;
        std::fprintf(stderr, "Error:\n%s\n", message.c_str());
        std::fflush(stderr);
    }
    level1_end on_level1(const std::string&, bool) override { return level1_end::end_operation; }
    bool on_level0(const std::string&, bool) override { return true; }
};

stderr_reaction default_reaction;

std::thread::id main_thread_id;

} // namespace

error_handler::error_handler(int count, const tk_error_entry* rows)
    : m_converter(count, rows)
{
    main_thread_id = std::this_thread::get_id();
    tk_trace(2, "error_handler::ctor");
    // rows a recordset could not commit while it was deleted come here: the wizard
    // has no trace log to show them
    pgs_engine::set_load_failure_report([](const tk_exception& e) {
        if (has_instance())
            instance().handle(e, true);
    });
}

error_handler::~error_handler() noexcept
{
    pgs_engine::set_load_failure_report(nullptr);
}

void error_handler::load_err_map(int count, const tk_error_entry* rows)
{
    tk_trace(2, "error_handler::load_err_map");
    m_converter.load_map(count, rows);
}

void error_handler::set_reaction(error_reaction* reaction)
{
    m_reaction = reaction;
}

void error_handler::set_context(const std::wstring& text)
{
    m_context_name = text;
    m_context_tail.clear();
    m_context = tk_to_ansi(text);
}

void error_handler::set_record_context(const std::wstring& table, int record)
{
    m_context_name = table;
    m_context_tail = ", record #" + std::to_string(record);
    // formatted without a fixed buffer: long table names stay whole
    m_context = tk_to_ansi(table) + m_context_tail;
}

void error_handler::clear_context()
{
    m_context.clear();
    m_context_name.clear();
    m_context_tail.clear();
}

error_reaction& error_handler::reaction() const
{
    return m_reaction ? *m_reaction : default_reaction;
}

std::string error_handler::compose_message(const tk_exception& e) const
{
    std::string message;
    if (!m_context.empty())
        message = m_context + ": ";
    const std::string mapped = m_converter.convert(e.get_code());
    message += mapped.empty() ? std::string(e.what()) : mapped;
    return message;
}

// the composed message on one line, names in the program's own form
std::string error_handler::shown_message(const tk_exception& e) const
{
    const auto one_line = [](std::string text) {
        for (char& c : text)
            if (c == '\n')
                c = ' ';
        return text;
    };
    const std::string mapped = m_converter.convert(e.get_code());
    const std::string text =
        reaction().shown_text(one_line(mapped.empty() ? std::string(e.what()) : mapped));
    if (m_context.empty())
        return text;
    return one_line(tk_to_ansi(reaction().shown_name(m_context_name))) + m_context_tail + ": " + text;
}

void error_handler::report(const tk_exception& e, bool may_continue)
{
    try {
        handle(e, may_continue);
    } catch (const tk_final_exception&) {
    }
}

void error_handler::handle(const tk_exception& e, bool may_continue)
{
    tk_trace(2, "error_handler::handle");
    error_reaction& reaction = this->reaction();
    if (e.get_level() == tk_level_internal) {
        tk_trace(3, "Internal error:\n%s", e.what());
        reaction.show_internal_error(e);
        end_process(-1);
    }
    tk_trace(3, "Error:\n%s", compose_message(e).c_str());
    const std::string message = shown_message(e);
    ++m_reported;
    reaction.on_message(e, message);
    if (e.get_level() == tk_level_fail) {
        tk_trace(1, "Got 1-level error");
        if (reaction.on_level1(message, may_continue) == error_reaction::level1_end::end_process)
            end_process(-1);
        if (!may_continue)
            throw tk_final_exception();
        return;
    }
    tk_trace(1, "Got 0-level error");
    if (m_suppress)
        return;
    if (!reaction.on_level0(message, may_continue) && !may_continue)
        throw tk_final_exception();
}

void error_handler::end_process(int code)
{
    if (has_instance()) {
        if (const before_exit_fn callback = instance().m_before_exit)
            callback();
    }
    std::fflush(stdout);
    std::fflush(stderr);
    if (std::this_thread::get_id() != main_thread_id && main_thread_id != std::thread::id())
        _exit(code);
    std::exit(code);
}
