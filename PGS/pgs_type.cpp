#include "pgs_type.hpp"

#include <string_view>

namespace {

struct pgs_type_row {
    std::string_view name;
    VARTYPE vartype;
};

// exact numbers (numeric, money) travel as decimals so that no digit is lost
constexpr pgs_type_row k_types[] = {
    {"bool", VT_BOOL},
    {"boolean", VT_BOOL},
    {"time_stamp", VT_DATE},
    {"timestamp", VT_DATE},
    {"timestampz", VT_DATE},
    {"abstime", VT_DATE},
    {"date", VT_DATE},
    {"timestamp without time zone", VT_DATE},
    {"timestamp with time zone", VT_DATE},
    {"bigint", VT_I8},
    {"bigserial", VT_I8},
    {"int8", VT_I8},
    {"integer", VT_I4},
    {"int4", VT_I4},
    {"serial", VT_I4},
    {"smallint", VT_I2},
    {"int2", VT_I2},
    {"float4", VT_R4},
    {"real", VT_R8},
    {"double precision", VT_R8},
    {"money", VT_DECIMAL},
    {"numeric", VT_DECIMAL},
    {"bytea", VT_BLOB},
};

} // namespace

VARTYPE pgs_get_vartype(const std::string& type_name)
{
    for (const pgs_type_row& row : k_types)
        if (row.name == type_name)
            return row.vartype;
    return VT_BSTR;
}
