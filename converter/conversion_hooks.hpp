#pragma once

#include <cstdint>
#include <exception>
#include <string>

class udb_converter;
class udb_database;

// what a program adds to the shared conversion run; each program attaches its own
// with tarnova_convertor::set_hooks at start-up. the defaults are the behaviour of a
// program that adds nothing
class conversion_hooks {
public:
    virtual ~conversion_hooks() = default;

    // the run has started and written its start line (the wizard starts its timer)
    virtual void on_start() {}
    // the source is open and the upper-case flag set, before the table total is taken
    // (the console falls back to every source table when nothing is selected)
    virtual void on_prepare(udb_converter& task, udb_database& source);
    // after the start-of-database trace line
    virtual void on_database(const std::wstring& name, std::uint32_t tables);
    // an entry without query text that the source database does not hold; it is
    // skipped and counts as done. the default reports it through the error handler
    // (level 0, the table as context)
    virtual void on_missing_table(const std::wstring& name);
    // after the start-of-table trace line
    virtual void on_table(const std::wstring& name, std::uint32_t records);
    // a table that exists in the destination, skipped as the mode asks
    virtual void on_skipped_table(const std::wstring& /*name*/) {}
    // a standard exception that is no tk_exception reached the run's outer
    // protection; the default traces it and, unless the task is silent, writes it
    // to standard error
    virtual void on_std_exception(const std::exception& e);
};
