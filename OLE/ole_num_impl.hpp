#pragma once

// number text shared by the Var* functions and VariantChangeType (internal)

#include "ole_auto.hpp"

#include <clocale>
#include <locale.h>
#include <string>

// number text uses '.' whatever locale the program has set (a gui toolkit
// sets the user's one): printf and strtod run in the C locale within the scope
class ole_c_numeric_scope {
public:
    ole_c_numeric_scope();
    ~ole_c_numeric_scope();
    ole_c_numeric_scope(const ole_c_numeric_scope&) = delete;
    ole_c_numeric_scope& operator=(const ole_c_numeric_scope&) = delete;

private:
    locale_t m_saved;
};

// a plain decimal number: value = digits * 10^exponent, digits without
// leading zeros (empty for zero)
struct ole_decimal_text {
    bool negative = false;
    std::string digits;
    int exponent = 0;
};

// [blanks][sign]digits[.digits][(e|E)[sign]digits][blanks] with '.' as the
// point; no group separators, no currency signs
bool ole_parse_decimal(const OLECHAR* text, ole_decimal_text& out);
bool ole_parse_decimal(const std::string& text, ole_decimal_text& out);

// |value| * 10^scale rounded half to even; false when it exceeds limit
bool ole_scaled_magnitude(const ole_decimal_text& number, int scale, unsigned __int128 limit,
                          unsigned __int128& out);

// the magnitude with a point before its last scale digits, trailing zeros dropped
std::string ole_format_scaled(bool negative, unsigned __int128 magnitude, int scale);

HRESULT ole_decimal_to_double(const ole_decimal_text& number, double& out);
// rounded half to even to 4 places; DISP_E_OVERFLOW outside the 64-bit range
HRESULT ole_decimal_to_cy(const ole_decimal_text& number, CY& out);
// keeps the written scale up to 28 places, fewer where 96 bits need it
HRESULT ole_decimal_to_dec(const ole_decimal_text& number, DECIMAL& out);

unsigned __int128 ole_dec_mantissa(const DECIMAL& value);

// exact texts of a currency and a decimal, trailing zeros dropped
std::string ole_cy_text(CY value);
std::string ole_dec_text(const DECIMAL& value);

BSTR ole_alloc_ascii(const std::string& text);

// en-US text of an OLE date: "3/5/2010 2:30:00 PM", the date or the time alone
std::string ole_format_date(DATE date);
