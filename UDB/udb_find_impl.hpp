#pragma once

#include "tk_utils.hpp"

#include <string>
#include <vector>

// the first entry whose name matches case-insensitively, null when none
template <class T, class Name>
const T* udb_find_named(const std::vector<T>& list, const std::wstring& name, Name name_of)
{
    for (const auto& entry : list) {
        if (tk_compare_no_case(name_of(entry), name) == 0)
            return &entry;
    }
    return nullptr;
}
