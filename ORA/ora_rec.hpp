#pragma once

#include "udb_rec.hpp"

#include <memory>
#include <vector>

class ora_type;

// one fetched row: a field per column object, NULL columns as empty values
class ora_record : public udb_record {
public:
    // the column buffers must still hold the row: build it before the next fetch
    explicit ora_record(const std::vector<std::unique_ptr<ora_type>>& columns);
};
