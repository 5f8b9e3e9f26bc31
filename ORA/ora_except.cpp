#include "ora_except.hpp"

#include "tk_log.hpp"

ora_exception::ora_exception(int error_number, const std::string& message)
    : tk_exception(message, 0)
{
    set_code(ora_error_code(error_number));
    tk_trace(2, "ora_exception::ctor");
}
