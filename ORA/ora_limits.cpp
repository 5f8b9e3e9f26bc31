#include "ora_limits.hpp"

#include "udb_sche.hpp"

bool ora_is_binary_type(VARTYPE type)
{
    return type == VT_BLOB || type == VT_BLOB_OBJECT || type == (VT_ARRAY | VT_UI1);
}

bool ora_is_lob_column(const t_ftd& column)
{
    const bool large_type = column.vartype == VT_BSTR || ora_is_binary_type(column.vartype);
    return large_type && ora_is_past_limit(column.size, ora_max_text_bytes);
}
