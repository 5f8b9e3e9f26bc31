#pragma once

#include <string>

// replaces the task's selected tables with the names of the file, one a line;
// a missing file ends the process through fatal_exit
void process_tab_file(const std::string& path);
