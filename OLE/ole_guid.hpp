#pragma once

#include <string>

// finds a braced GUID ({8-4-4-4-12 hexadecimal digits}) that follows the
// word "guid" or "GUID" in a text of at least 45 characters
class ole_guid_extractor {
public:
    explicit ole_guid_extractor(const std::wstring& text);
    explicit ole_guid_extractor(const std::string& text);

    bool is_found() const { return m_found; }
    int get_position() const { return m_position; }

    // the 38 characters from the brace; empty when nothing was found
    std::wstring get_braced() const;
    // the 32 digits without braces and dashes, as they stand in the text
    std::wstring get_hex() const;

private:
    void search();

    int m_position = -1;
    std::wstring m_text;
    bool m_found = false;
};
