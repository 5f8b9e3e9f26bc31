#include "tk_cmdli.hpp"

#include "tk_except.hpp"

#include <cstring>

tk_cmdli::tk_cmdli(int argc, const char* const* argv, const cmdli_option* options)
{
    init(argc, argv, options);
}

void tk_cmdli::init(int argc, const char* const* argv, const cmdli_option* options)
{
    m_options = options;
    m_unknown.clear();
    m_value.clear();
    m_id = -1;
    m_cursor = argv + 1;
    m_left = argc - 1;
    if (m_left > 0)
        classify(*m_cursor);
}

void tk_cmdli::classify(const char* argument)
{
    if (m_left <= 0 || !m_options || !argument)
        throw tk_mail_assertion("tk_cmdli.cpp", 19);
    const cmdli_option* option = m_options;
    // the terminator's empty name matches every argument
    while (option->name[0] && std::strncmp(argument, option->name, std::strlen(option->name)) != 0)
        ++option;
    m_value = argument + std::strlen(option->name);
    if (option->name[0]) {
        m_id = option->id;
    } else {
        m_id = -1;
        m_unknown.emplace_back(argument);
    }
}

void tk_cmdli::next()
{
    if (m_left <= 0)
        throw tk_mail_assertion("tk_cmdli.cpp", 60);
    ++m_cursor;
    --m_left;
    if (m_left > 0)
        classify(*m_cursor);
}
