#pragma once

#include "tk_except.hpp"

// a text that cannot become the requested type
class ole_type_exception : public tk_exception {
public:
    ole_type_exception() : tk_exception("The operating type is not supported yet", 1) {}
};
