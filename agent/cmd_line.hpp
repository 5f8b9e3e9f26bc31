#pragma once

#include <string>

// applies every option in argument order; false when an argument matched no option.
// option errors and a missing table-list file end the process through fatal_exit
bool parse_cmd_line(int argc, const char* const* argv);

// the text of --help, also printed for no argument or an unknown one
std::string usage_text();
