#pragma once

#include "tk_reg_store.hpp"

#include <cstdint>
#include <string>

// one registry key with typed values; exchange reads or writes a value in one call,
// so one list of names serves loading and saving. statuses are tk_reg_* codes
class tk_reg_key {
public:
    explicit tk_reg_key(const std::string& path);
    ~tk_reg_key();
    tk_reg_key(const tk_reg_key&) = delete;
    tk_reg_key& operator=(const tk_reg_key&) = delete;

    // creates the key when missing; a key open before is closed on success
    long open(tk_hkey root, const char* subkey, const char* cls, unsigned long options,
              unsigned long access, const void* security, unsigned long* disposition);
    // the usual call: the stored path below HKEY_CURRENT_USER with all access
    long open();
    void close();
    bool is_open() const { return m_key != nullptr; }
    const std::string& get_path() const { return m_path; }

    long get_value(const char* name, uint32_t& value);
    // buffer null: only the size (in bytes, terminator included) is returned
    long get_value(const char* name, char* buffer, unsigned long* size);
    long get_value(const char* name, wchar_t* buffer, unsigned long* size);

    long set_value(const char* name, uint32_t value);
    long set_value(const char* name, const char* text);
    long set_value(const char* name, const wchar_t* text);

    // store: write the value; else read it, leaving the variable unchanged
    // (and answering false) when the key has no such value
    bool exchange(const char* name, uint32_t& value, bool store);
    bool exchange(const char* name, bool& value, bool store);
    bool exchange(const char* name, std::string& value, bool store);
    bool exchange(const char* name, std::wstring& value, bool store);

private:
    template <class Char>
    bool exchange_text(const char* name, std::basic_string<Char>& value, bool store);

    tk_hkey m_key = nullptr;
    std::string m_path;
};
