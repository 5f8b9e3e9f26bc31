#include "ora_except.hpp"

#include "tk_log.hpp"

ora_exception::ora_exception(int error_number, const std::string& message)
    : tk_exception(message, 0)
{
    set_code(ora_error_code(error_number));
    // the only place where oracle's numbers become kinds (ORA-00001, ORA-00054)
    switch (error_number & 0xFFFF) {
    case 1:
        set_kind(tk_error_kind::duplicate_key);
        break;
    case 54:
        set_kind(tk_error_kind::resource_busy);
        break;
    default:
        set_kind(tk_error_kind::database);
    }
    tk_trace(2, "ora_exception::ctor");
}

ora_value_exception::ora_value_exception(const std::string& message) : tk_exception(message, 0)
{
    set_kind(tk_error_kind::bad_value);
    tk_trace(2, "ora_value_exception::ctor");
}
