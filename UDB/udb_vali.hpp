#pragma once

#include "tk_names.hpp"

#include <string>
#include <vector>

// decides whether a name is acceptable and unique in a destination and makes a safe
// replacement (cut, replace illegal characters, number "%05d") when it is not
class udb_validator {
public:
    // max_length as name_length counts it (utf-16 units unless a destination counts
    // otherwise); 0: no limit
    explicit udb_validator(unsigned max_length);
    virtual ~udb_validator() = default;

    virtual bool is_acceptable(const std::wstring& name) const;
    // case-insensitive against existing_names
    virtual bool is_duplicated(const std::wstring& name) const;
    // does not add the result to existing_names; the caller adds what it keeps
    virtual std::wstring get_safe_name(const std::wstring& name) const;

    void add_existing_name(const std::wstring& name);
    // a name a new column or index takes: a generated one becomes an existing name, and
    // every kept one a restricted word, so that a later one equal to it (ignoring case)
    // gets a name of its own
    void keep_name(const std::wstring& name, bool generated);

    unsigned max_length;
    std::vector<wchar_t> illegal_chars;
    tk_name_list restricted_words;  // compared case-insensitively
    tk_name_list existing_names;

protected:
    // a name's length as the destination counts it against max_length
    virtual size_t name_length(const std::wstring& name) const;
    // shortens a name to at most length as name_length counts it
    virtual void cut_name(std::wstring& name, size_t length) const;

    // the identifier rules both engines share: a letter first, then letters, digits,
    // '_', '$' or '#', within max_length, and no restricted word
    bool is_identifier(const std::wstring& name) const;
    // the name made to follow those rules (a leading "A", cut, other characters '_')
    // and then given a free number by get_safe_name
    std::wstring get_safe_identifier(const std::wstring& name) const;
};
