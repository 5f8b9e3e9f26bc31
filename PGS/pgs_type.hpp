#pragma once

#include "ole_auto.hpp"

#include <string>

// the variant type in which a column travels, from its type name as
// information_schema.columns (or format_type) gives it; exact, case-sensitive match,
// every name not listed is text
VARTYPE pgs_get_vartype(const std::string& type_name);
