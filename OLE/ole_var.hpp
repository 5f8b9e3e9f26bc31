#pragma once

#include "ole_auto.hpp"

#include <cstdint>
#include <string>
#include <vector>

// the value of every field: a VARIANT with the 64-bit integers and the
// broken-down date kept beside it; raw bytes are a one-dimensional byte array
// (VT_ARRAY|VT_UI1, lower bound 0). the object owns what the VARIANT points to.
class ole_variant {
public:
    ole_variant();
    explicit ole_variant(const SYSTEMTIME& time);
    explicit ole_variant(const CY& value);
    explicit ole_variant(const DECIMAL& value);
    explicit ole_variant(const wchar_t* text);
    // a narrow literal would otherwise become a bool
    explicit ole_variant(const char* text);
    explicit ole_variant(bool value);
    explicit ole_variant(char value);
    explicit ole_variant(unsigned char value);
    explicit ole_variant(short value);
    explicit ole_variant(unsigned short value);
    explicit ole_variant(int value);
    explicit ole_variant(unsigned int value);
    explicit ole_variant(long value);
    explicit ole_variant(unsigned long value);
    explicit ole_variant(long long value);
    explicit ole_variant(unsigned long long value);
    explicit ole_variant(float value);
    explicit ole_variant(double value);
    explicit ole_variant(const std::string& text);
    explicit ole_variant(const std::wstring& text);
    ole_variant(unsigned length, const BYTE* bytes);
    ole_variant(const ole_variant& other);
    virtual ~ole_variant();

    ole_variant& operator=(const ole_variant& other);
    ole_variant& operator=(const std::vector<BYTE>& bytes);

    // text forms of the value; types without one give the empty text
    virtual std::string to_string() const;
    virtual std::wstring to_wstring() const;

    static ole_variant from_string(const std::string& text, VARTYPE type);
    static ole_variant from_wstring(const std::wstring& text, VARTYPE type);

    double to_double() const;

    // the types the sql literal writers quote
    static bool is_text_type(VARTYPE type);

    VARTYPE get_vt() const { return m_value.vt; }
    const VARIANT& get_variant() const { return m_value; }
    int64_t get_i8() const { return m_i8; }
    uint64_t get_ui8() const { return m_ui8; }
    const SYSTEMTIME& get_date() const { return m_date; }

    // byte arrays
    void allocate_safe_array(unsigned size);
    // a fresh byte array of size bytes, to be filled in place through the pointer
    // (valid while the value is not changed)
    BYTE* allocate_bytes(unsigned size);
    ole_variant& attach_binary(unsigned length, const BYTE* bytes);
    ole_variant& attach_binary(const std::vector<BYTE>& bytes);
    // VT_EMPTY and VT_NULL give 0 and leave data alone; data stays valid while
    // the value is not changed
    unsigned get_bytes(const BYTE*& data) const;
    static int get_safe_array_size(SAFEARRAY* array);

    // text: attach_string converts from the ansi code page; the std::wstring
    // form keeps embedded NULs, the pointer form stops at the first
    ole_variant& attach_string(const std::string& text);
    ole_variant& attach_wstring(const std::wstring& text);
    ole_variant& attach_wstring(const wchar_t* text);
    // utf-8 text converted straight into the value (a NUL byte ends it): no wide copy
    // is made on the way
    ole_variant& attach_utf8(const char* text, size_t length);

protected:
    void init();
    void release();
    void copy_from(const ole_variant& other);
    void set_bstr(const wchar_t* text, size_t length, int check_line);
    static bool is_byte_array(VARTYPE type);

    int64_t m_i8;
    uint64_t m_ui8;
    SYSTEMTIME m_date;
    VARIANT m_value;
};
