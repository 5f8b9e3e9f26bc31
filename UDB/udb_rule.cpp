#include "udb_rule.hpp"

#include "tk_except.hpp"
#include "tk_log.hpp"

namespace {

// the first rule that accepts, or null; no rule set means no rule
template <class Accepts>
const udb_custom_rule* first_rule(Accepts accepts)
{
    if (!udb_custom_conversion::has_instance())
        return nullptr;
    for (const auto& rule : udb_custom_conversion::instance().rules) {
        if (rule && accepts(*rule))
            return rule.get();
    }
    return nullptr;
}

const udb_custom_rule* column_rule(const t_ftd& column)
{
    return first_rule([&](const udb_custom_rule& r) { return r.accepts_column(column); });
}

const udb_custom_rule* value_rule(const udb_field& value)
{
    return first_rule([&](const udb_custom_rule& r) { return r.accepts_value(value); });
}

}  // namespace

bool udb_custom_conversion::is_acceptable1(const t_ftd& column)
{
    tk_trace(1, "udb_custom_conversion::is_acceptable1");
    return column_rule(column) != nullptr;
}

std::wstring udb_custom_conversion::handle1(const t_ftd& column)
{
    tk_trace(1, "udb_custom_conversion::handle1");
    auto rule = column_rule(column);
    return rule ? rule->column_type(column) : std::wstring();
}

bool udb_custom_conversion::is_acceptable2(const udb_field& value)
{
    tk_trace(1, "udb_custom_conversion::is_acceptable2");
    return value_rule(value) != nullptr;
}

std::wstring udb_custom_conversion::handle2(const udb_field& value)
{
    tk_trace(1, "udb_custom_conversion::handle2");
    auto rule = value_rule(value);
    if (!rule)
        throw tk_mail_assertion("udb_rule.cpp", 88);
    return rule->value_text(value);
}
