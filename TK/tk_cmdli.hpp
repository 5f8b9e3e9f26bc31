#pragma once

#include <string>
#include <vector>

// one entry of an option table; a name that takes a value ends with "=".
// the table ends with an entry whose name is empty
struct cmdli_option {
    int id;
    const char* name;
};

// walks argv[1..] and matches each argument against an option table by prefix,
// in table order; an argument that matches no name is kept as unknown
class tk_cmdli {
public:
    tk_cmdli() = default;
    tk_cmdli(int argc, const char* const* argv, const cmdli_option* options);
    virtual ~tk_cmdli() = default;

    void init(int argc, const char* const* argv, const cmdli_option* options);

    virtual void next();
    virtual bool has_more() const { return m_left > 0; }

    // the current argument: its option id (-1 when unknown) and the text after the name
    int get_id() const { return m_id; }
    const std::string& get_value() const { return m_value; }

    // every unknown argument, in argument order
    const std::vector<std::string>& get_unknown() const { return m_unknown; }

private:
    void classify(const char* argument);

    const cmdli_option* m_options = nullptr;
    std::string m_value;
    int m_id = -1;
    std::vector<std::string> m_unknown;
    const char* const* m_cursor = nullptr;
    int m_left = 0;
};
