#pragma once

// internal to the postgresql engine: the server's text forms read straight into
// the values the variant library would build from them

#include "ole_auto.hpp"
#include "ole_var.hpp"

#include <cstddef>

// plain decimal text ("-123.4500") into a decimal of the same digits (trailing
// zeros of the fraction dropped only where they do not fit); false when it has
// other characters or its value does not fit 96 bits with a scale of at most 28
bool pgs_parse_decimal(const char* text, DECIMAL& value);

// an integer's decimal text into a value of type (VT_I2, VT_I4 or VT_I8); false for any
// other text and for a value beyond the type's range, which would otherwise arrive wrapped
bool pgs_parse_integer(const char* text, VARTYPE type, ole_variant& value);

// the reader's date text "DD-MM-YYYY HH24:MI:SS US" with a year of 1 to 9999;
// false for anything else
bool pgs_parse_date(const char* text, SYSTEMTIME& value);

// the base64 text of a bytea as the server's encode() gives it (lines of 76 digits,
// "=" padding) decoded into out as a byte array; false, out unchanged, for any other
// text
bool pgs_decode_base64(const char* text, size_t size, ole_variant& out);
