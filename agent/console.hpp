#pragma once

#include <cstdio>
#include <string>

// a table, column or database name as the console shows it: control characters and
// bidirectional controls escaped, a backslash doubled; the log keeps names as they are
std::string console_name(const std::wstring& name);

// one console line: the text, a line feed, a flush
void console_line(std::FILE* stream, const std::string& text);

// logs the message, prints it on standard error unless the task is silent and ends
// the process with -1 (logging Oracle off first)
[[noreturn]] void fatal_exit(const std::string& message);
