#include "pgs_except.hpp"

#include "tk_log.hpp"

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
