#pragma once

#include <map>
#include <string>

// one row of an error-text table
struct tk_error_entry {
    int code;
    const char* text;
};

// error code -> text shown to the user; the first row loaded for a code wins
class tk_error_converter {
public:
    tk_error_converter(int count, const tk_error_entry* table);

    void load_map(int count, const tk_error_entry* table);

    // empty when the code has no text: callers then show the exception's own text
    std::string convert(int code) const;

private:
    std::map<int, std::string> m_map;
};
