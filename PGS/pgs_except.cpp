#include "pgs_except.hpp"

#include "tk_log.hpp"

#include <cctype>

pgs_exception::pgs_exception(const std::string& message, tk_error_kind kind)
    : tk_exception(message, 0)
{
    set_kind(kind);
    tk_trace(2, "pgs_exception::ctor");
}

pgs_value_exception::pgs_value_exception(const std::string& message)
    : pgs_exception(message, tk_error_kind::bad_value)
{
}

tk_error_kind pgs_error_kind(const std::string& sqlstate)
{
    if (sqlstate == "23505")    // unique_violation
        return tk_error_kind::duplicate_key;
    if (sqlstate == "55P03")    // lock_not_available
        return tk_error_kind::resource_busy;
    return tk_error_kind::database;
}

bool pgs_is_connection_lost(const std::string& sqlstate)
{
    return sqlstate.rfind("08", 0) == 0 ||  // connection_exception
           sqlstate == "57P01" ||           // admin_shutdown
           sqlstate == "57P02" ||           // crash_shutdown
           sqlstate == "25P03" ||           // idle_in_transaction_session_timeout
           sqlstate == "57P05";             // idle_session_timeout
}

std::string pgs_lost_connection_text(const std::string& error)
{
    std::string message = "The connection to the PostgreSQL server was lost";
    // these name no cause: the server's text went with the step that found the loss
    const bool no_cause = error == "Could not obtain client encoding: not connected." ||
                          error == "Connection to database failed";
    size_t end = error.size();
    while (end > 0 && std::isspace(static_cast<unsigned char>(error[end - 1])))
        --end;
    if (!no_cause && end != 0)
        message += ": " + error.substr(0, end);
    return message;
}
