#pragma once

#include "udb_rec.hpp"
#include "udb_sche.hpp"

#include <string>

// a column of a postgresql table or query
class pgs_ftd : public t_ftd {
public:
    pgs_ftd(int size, const std::wstring& name, VARTYPE vartype, bool b_not_null, int reserved,
            const std::string& pg_type_name, int ordinal_position)
        : t_ftd(size, name, vartype, b_not_null, false, ole_variant(), reserved),
          pg_type_name(pg_type_name), ordinal_position(ordinal_position)
    {
    }

    std::string pg_type_name;  // as information_schema.columns gives it ("character varying")
    int ordinal_position;      // the server's column number, which index keys refer to
};

// the row that get_item returns
class pgs_record : public udb_record {
public:
    ~pgs_record() override = default;
};
