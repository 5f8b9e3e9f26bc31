#pragma once

#include "error_handler.hpp"

// the wizard's reaction to an error: the internal-error dialog, the error box, the
// continue dialog, and every message of a run in the sheet's error list; an Abort that
// ends the run closes the list with a line that says so and what was left out
class wizard_error_reaction : public error_reaction {
public:
    void show_internal_error(const tk_exception& e) override;
    void on_message(const tk_exception& e, const std::string& message) override;
    level1_end on_level1(const std::string& message, bool may_continue) override;
    bool on_level0(const std::string& message, bool may_continue) override;

private:
    // on the run's thread, from its progress fields
    std::string abort_line() const;
};
