#pragma once

// what a standard oracle database takes: the size limits of text and binary values, the
// types that become large objects past them, and the range of NUMBER

#include "ole_auto.hpp"

class t_ftd;

// text and binary columns up to this size are NVARCHAR2 and RAW; larger ones are
// CLOB and BLOB
constexpr int ora_max_inline_size = 2000;

// the bytes of the server's character set a text literal (and a described text or raw
// column that travels as a literal) holds at most
constexpr unsigned ora_max_text_bytes = 4000;

// NUMBER holds magnitudes up to 1e126 (the bounds themselves are in range); smaller
// ones than 1e-130 it stores as 0
constexpr double ora_max_number = 1.0e126;
constexpr double ora_min_number = 1.0e-130;

// a value the described destination column stores as a large object (CLOB and BLOB
// have size 0; text and raw columns up to ora_max_text_bytes travel as literals)
bool ora_is_lob_column(const t_ftd& column);
