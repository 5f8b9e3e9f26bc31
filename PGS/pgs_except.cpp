#include "pgs_except.hpp"

#include "tk_log.hpp"

pgs_exception::pgs_exception(const std::string& message) : tk_exception(message, 0)
{
    tk_trace(2, "pgs_exception::ctor");
}

pgs_value_exception::pgs_value_exception(const std::string& message) : pgs_exception(message)
{
}
