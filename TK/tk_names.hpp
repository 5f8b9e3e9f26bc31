#pragma once

#include <cstddef>
#include <initializer_list>
#include <string>
#include <unordered_map>
#include <vector>

// names in the order added, found by hash exactly or case-insensitively (as
// tk_compare_no_case compares); each name is folded once, when it is added
class tk_name_list {
public:
    using const_iterator = std::vector<std::wstring>::const_iterator;
    using value_type = std::wstring;

    tk_name_list() = default;
    tk_name_list(std::initializer_list<std::wstring> names);
    tk_name_list& operator=(std::initializer_list<std::wstring> names);

    void push_back(const std::wstring& name);
    // removes the first entry that matches (exactly, or ignoring case); false when none
    bool erase(const std::wstring& name, bool exact);
    void clear();

    bool contains(const std::wstring& name) const;
    bool contains_no_case(const std::wstring& name) const;

    std::size_t size() const { return m_names.size(); }
    bool empty() const { return m_names.empty(); }
    const std::wstring& operator[](std::size_t i) const { return m_names[i]; }
    const_iterator begin() const { return m_names.begin(); }
    const_iterator end() const { return m_names.end(); }
    const std::vector<std::wstring>& names() const { return m_names; }
    operator const std::vector<std::wstring>&() const { return m_names; }

    friend bool operator==(const tk_name_list& a, const std::vector<std::wstring>& b)
    {
        return a.m_names == b;
    }

private:
    std::vector<std::wstring> m_names;
    std::vector<std::u16string> m_folded;                   // m_names folded, same order
    std::unordered_map<std::wstring, unsigned> m_exact;     // name -> entries
    std::unordered_map<std::u16string, unsigned> m_no_case; // folded name -> entries
};
