#pragma once

#include "tk_singl.hpp"
#include "udb_rec.hpp"
#include "udb_sche.hpp"

#include <memory>
#include <string>
#include <vector>

// one optional rule that replaces a column type or a value literal
class udb_custom_rule {
public:
    virtual ~udb_custom_rule() = default;
    virtual bool accepts_column(const t_ftd& column) const = 0;
    virtual bool accepts_value(const udb_field& value) const = 0;
    virtual std::wstring column_type(const t_ftd& column) const = 0;
    virtual std::wstring value_text(const udb_field& value) const = 0;
};

// the process-wide rule set. the system registers no rule and never creates it,
// so with it absent every query finds no rule. callers ask is_acceptable1/2 first.
class udb_custom_conversion : public tk_singleton<udb_custom_conversion> {
public:
    udb_custom_conversion() = default;

    static bool is_acceptable1(const t_ftd& column);
    // the column type text of the first accepting rule; empty when none
    static std::wstring handle1(const t_ftd& column);
    static bool is_acceptable2(const udb_field& value);
    // the value text of the first accepting rule; none is an internal error
    static std::wstring handle2(const udb_field& value);

    std::vector<std::unique_ptr<udb_custom_rule>> rules;  // asked in list order
};
