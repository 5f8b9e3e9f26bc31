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

// whether a server error's SQLSTATE says the server ended the connection
bool pgs_is_connection_lost(const std::string& sqlstate);

// the message of a lost connection, with the text of the error that found it unless that
// is the client library's own word for a connection it already found closed
std::string pgs_lost_connection_text(const std::string& error);

// a column value of the current row that cannot travel unchanged (a number the
// decimal type cannot hold exactly). raised by get_item after the row was fetched:
// next still moves on, so the run can report the record and go on
class pgs_value_exception : public pgs_exception {
public:
    explicit pgs_value_exception(const std::string& message);
};
