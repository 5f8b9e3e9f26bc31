#pragma once

#include <cstddef>
#include <map>
#include <string>
#include <utility>
#include <vector>

// a profile's blanks, spaces and tabs, taken off both ends (right: the end) as a profile
// reads its lines, keys and 0/1 or digit values
std::wstring udb_prof_trim(const std::wstring& text);
std::wstring udb_prof_trim_right(const std::wstring& text);

// one conversion's settings: sections of keys and values in ordinal utf-16 order.
// the file is utf-8 without a byte-order mark, "\r\n" line ends; see store for what
// cannot be written
class udb_profile {
public:
    using t_section = std::map<std::wstring, std::wstring>;

    // "Available Queries", "Selected Tables" and "Generic settings" always exist
    udb_profile();

    void add_section(const std::wstring& name);
    // a key already present keeps its value
    void set_value(const std::wstring& section, const std::wstring& key,
                   const std::wstring& value);
    // empty when the section or the key does not exist; both matched exactly
    std::wstring get_value(const std::wstring& section, const std::wstring& key) const;

    const t_section& get_available_queries() const;
    const t_section& get_selected_tables() const;
    // every section by name
    const std::map<std::wstring, t_section>& get_sections() const { return m_sections; }

    // a missing or unreadable file raises tk_exception (level 1); false when the file
    // does not open or an entry comes before any section. the first value of a key wins;
    // every later value of it that is written otherwise is kept as a conflict. reading
    // stops at the first line that is not utf-8 text (see get_unreadable_line)
    bool load(const std::wstring& file);
    // the loaded file's first line (from 1) whose bytes are not utf-8 text, or hold a NUL:
    // read, it would say something else than was written. 0 when every line is text
    std::size_t get_unreadable_line() const { return m_unreadable_line; }

    // a key the loaded file gave a second value written otherwise than its first
    struct conflict {
        std::wstring section;
        std::wstring key;
        std::wstring first;
        std::wstring other;
    };
    // in file order
    const std::vector<conflict>& get_conflicts() const { return m_conflicts; }
    // the loaded file's line (from 1) of the section's first header, or of the key's first
    // entry in the section; 0 when the file did not give it
    std::size_t get_line(const std::wstring& section) const;
    std::size_t get_line(const std::wstring& section, const std::wstring& key) const;
    // true when the whole file was written. false, and the file untouched, when a
    // section, key or value would not read back as it is (a key with "=", a line
    // break, blanks at a key's ends or a value's end, a line that reads as a header,
    // a line of more than 4095 bytes). the file is created with mode 0600; an existing
    // one keeps at most its owner's read and write (false, untouched, when that fails).
    // error, when given, gets the errno of a file that could not be opened or written,
    // 0 when the profile was refused
    bool store(const std::wstring& file, int* error = nullptr) const;

    // why store would refuse the profile: the first entry, in file order, whose line
    // would not read back as it is (section and key empty for a section header)
    struct refusal {
        enum reason_t { none, trailing_blank, line_break, too_long, other } reason = none;
        std::wstring section;
        std::wstring key;
    };
    refusal store_refusal() const;

private:
    t_section& section(const std::wstring& name);

    std::map<std::wstring, t_section> m_sections;
    std::vector<conflict> m_conflicts;
    std::map<std::wstring, std::size_t> m_section_lines;
    std::map<std::pair<std::wstring, std::wstring>, std::size_t> m_key_lines;
    std::size_t m_unreadable_line = 0;
};
