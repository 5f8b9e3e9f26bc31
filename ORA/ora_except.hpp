#pragma once

#include "tk_except.hpp"

#include <string>

// an error reported by the oracle client: level 0, code 0x100000 | (number & 0xffff),
// text the client's message (with its ORA- prefix) as utf-8, and the number's kind
class ora_exception : public tk_exception {
public:
    ora_exception(int error_number, const std::string& message);
};

// a value oracle would store as another one: its record is reported and not written
class ora_value_exception : public tk_exception {
public:
    explicit ora_value_exception(const std::string& message);
};

// oracle error codes as the rest of the system sees them
constexpr int ora_error_code(int error_number) { return 0x100000 | (error_number & 0xFFFF); }
