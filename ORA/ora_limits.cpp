#include "ora_limits.hpp"

#include "udb_sche.hpp"

bool ora_is_lob_column(const t_ftd& column)
{
    return udb_is_large_column(column, ora_max_text_bytes);
}
