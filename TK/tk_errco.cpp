#include "tk_errco.hpp"

#include "tk_except.hpp"
#include "tk_log.hpp"

tk_error_converter::tk_error_converter(int count, const tk_error_entry* table)
{
    tk_trace(2, "tk_error_converter::ctor (map size=%d)", count);
    load_map(count, table);
}

void tk_error_converter::load_map(int count, const tk_error_entry* table)
{
    tk_trace(2, "tk_error_converter::load_map (map size=%d)", count);
    if (!table)
        throw tk_mail_assertion("tk_errco.cpp", 43);
    for (int i = 0; i < count; ++i)
        m_map.emplace(table[i].code, std::string(table[i].text ? table[i].text : ""));
}

std::string tk_error_converter::convert(int code) const
{
    tk_trace(2, "tk_error_converter::convert(%d)", code);
    const auto it = m_map.find(code);
    if (it == m_map.end()) {
        tk_trace(1, "Error message not found!");
        return std::string();
    }
    tk_trace(1, "Error message has been found: %s", it->second.c_str());
    return it->second;
}
