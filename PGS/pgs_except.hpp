#pragma once

#include "tk_except.hpp"

#include <string>

// every error of the postgresql client library: code 0, level 0, the library's
// message (some operations put a prefix of their own before it)
class pgs_exception : public tk_exception {
public:
    explicit pgs_exception(const std::string& message,
                           tk_error_kind kind = tk_error_kind::database);
};

// the kind of a server error's SQLSTATE
tk_error_kind pgs_error_kind(const std::string& sqlstate);

// a column value of the current row that cannot travel unchanged (a number the
// decimal type cannot hold exactly). raised by get_item after the row was fetched:
// next still moves on, so the run can report the record and go on
class pgs_value_exception : public pgs_exception {
public:
    explicit pgs_value_exception(const std::string& message);
};
