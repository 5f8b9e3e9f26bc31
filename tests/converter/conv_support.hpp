#pragma once

#include "conversion_hooks.hpp"
#include "error_handler.hpp"
#include "test_files.hpp"

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

// the reaction of a test program: every report is kept, nothing is shown
class recording_reaction : public error_reaction {
public:
    struct report {
        int level;
        int code;
        std::string message;
    };

    void show_internal_error(const tk_exception& e) override;
    void on_message(const tk_exception& e, const std::string& message) override;
    level1_end on_level1(const std::string& message, bool may_continue) override;
    bool on_level0(const std::string& message, bool may_continue) override;

    std::vector<std::string> messages() const;

    std::vector<report> reports;
    std::uint32_t level0_shown = 0;
    bool go_on = true;                  // answer of the level-0 question
    level1_end level1 = level1_end::end_operation;
};

// an error handler with both tables and a recording reaction attached
class recording_handler {
public:
    recording_handler();
    ~recording_handler();

    error_handler handler;
    recording_reaction reaction;
};

// the additions a program makes to the run, recorded
class recording_hooks : public conversion_hooks {
public:
    void on_start() override { ++started; }
    void on_database(const std::wstring& name, std::uint32_t tables) override;
    void on_table(const std::wstring& name, std::uint32_t records) override;
    void on_std_exception(const std::exception& e) override;

    int started = 0;
    std::uint32_t database_tables = 0xFFFFFFFF;
    std::vector<std::pair<std::wstring, std::uint32_t>> tables;
    std::vector<std::string> std_errors;
};
