#pragma once

#include "error_handler.hpp"

// the console's reaction to errors: blocks on standard output; level 1 and internal
// errors end the process with -1
class console_error_reaction : public error_reaction {
public:
    void show_internal_error(const tk_exception& e) override;
    void on_message(const tk_exception& e, const std::string& message) override;
    level1_end on_level1(const std::string& message, bool may_continue) override;
    bool on_level0(const std::string& message, bool may_continue) override;
    std::wstring shown_name(const std::wstring& name) const override;
    std::string shown_text(const std::string& text) const override;
};
