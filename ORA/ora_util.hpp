#pragma once

#include "ole_var.hpp"

#include <string>

class t_ftd;
class udb_field;

// the oracle column type of a field descriptor
std::wstring ora_get_native_type(const t_ftd& field);

// the sql literal of a value given as text; empty for a VT_DATE text that is no date
std::wstring to_oracle_str(const std::wstring& text, VARTYPE type);

// the sql literal of a field's value. a guid named inside a text is written as
// HEXTORAW of its stored byte order only when the destination column is binary of
// 16 bytes; without a column (or into any other column) the value is written as it is
std::wstring to_oracle_str(const udb_field* field, const t_ftd* column = nullptr);
// a date value as the text a text column gets: YYYY-MM-DD, with the time of day when it has
// one and its fraction of a second without trailing zeros (2020-01-02 03:04:05.1234)
std::wstring ora_date_text(const udb_field& value);
// a value as the text a text column gets: a date as ora_date_text gives it, a finite
// floating-point number as its shortest text (0.07, as the source shows it), anything
// else as its own text
std::wstring ora_value_text(const udb_field& value);

// the literal of a date for a TIMESTAMP(scale) column: its fraction (to the microsecond)
// rounded to the column's digits as oracle rounds it, so that a key compares equal with the
// row it wrote; empty for a date outside the years 1 to 9999, also when the rounding takes
// it past 9999-12-31
std::wstring ora_timestamp_literal(const SYSTEMTIME& time, int scale);

// the sql literal of a field's default, empty for none
std::wstring make_ora_def_val(const t_ftd* field);

// the variant type of a NUMBER(precision, scale) column; may raise precision
VARTYPE get_refined_num_type(int& precision, int& scale);

// a name as a quoted identifier: "name" (a quote inside doubled, which oracle refuses)
std::wstring ora_quoted_name(const std::wstring& name);
// a text pasted between single quotes in sql: every single quote doubled
std::wstring ora_sql_text(const std::wstring& text);

// a text literal holds at most 4000 bytes of the server's character set: a longer one
// ('...' with its quotes doubled) is sent in pieces of at most 4000 utf-8 bytes, each as
// TO_NCHAR (TO_CLOB for a large column) and joined by ||; any other literal unchanged
std::wstring ora_split_text_literal(const std::wstring& literal, bool large);

// the end of a number literal (sign, digits with one point, exponent) that starts at pos;
// pos itself when no digit is there
size_t ora_scan_number(const std::wstring& text, size_t pos);

// whether a NUMBER column of this scale stores the number literal unrounded, a quoted text
// read without the blanks around it as oracle reads it; a text that is no plain number
// literal is left to the server
bool ora_number_keeps(const std::wstring& literal, int scale);
