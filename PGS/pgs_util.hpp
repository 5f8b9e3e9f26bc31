#pragma once

#include "ole_auto.hpp"

#include <functional>
#include <string>
#include <utility>

class t_ftd;

// text and binary columns up to this size are VARCHAR(n); larger or unsized ones are
// TEXT, and only the smaller ones take a DEFAULT or an index
constexpr int pgs_max_inline_size = 32672;
// the server keeps at most this many bytes of an identifier and cuts longer ones
// with no more than a notice
constexpr size_t pgs_max_name_bytes = 63;

// turns a value text into a quoted sql literal: the connection's own quoting, which
// follows the session's settings
using pgs_quote_fn = std::function<std::wstring(const std::wstring&)>;

// the column type of a field descriptor; a type without one is an internal error
std::wstring pgs_get_native_type(const t_ftd& field);

// the DEFAULT literal of a field, empty for none
std::wstring make_pgs_def_val(const t_ftd* field, const pgs_quote_fn& quote);

// the sql literal of a value text of a text (VT_BSTR) or date (VT_DATE, with the
// date kind 1 date and time, 2 date, 3 time) column; empty for a text that is no date
std::wstring to_pgs_str(const std::wstring& text, VARTYPE type, int kind,
                        const pgs_quote_fn& quote);

// a date as the server reads it: kind 3 "HH:MM:SS", 2 "YYYY-MM-DD", otherwise
// "YYYY-MM-DD HH:MM:SS"; a time with milliseconds gets ".mmm". the year is printed
// with four digits as it is stored
std::string pgs_date_text(const SYSTEMTIME& time, int kind);

// "name" with every " inside doubled
std::wstring pgs_quoted_name(const std::wstring& name);
// "schema"."table"
std::wstring pgs_quoted_name(const std::wstring& schema, const std::wstring& table);
// a name split at its first point; "public" when it has none
// schema.table as postgresql writes it: each part quoted only where it must be (a point,
// capitals, other characters)
std::wstring pgs_shown_name(const std::wstring& schema, const std::wstring& table);
std::pair<std::wstring, std::wstring> pgs_split_name(const std::wstring& name);
// the utf-8 length of a name
size_t pgs_name_bytes(const std::wstring& name);
// the name cut to at most max_bytes of utf-8, whole characters only
std::wstring pgs_cut_name(const std::wstring& name, size_t max_bytes);
