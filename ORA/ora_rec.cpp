#include "ora_rec.hpp"

#include "ora_type.hpp"
#include "tk_log.hpp"

ora_record::ora_record(const std::vector<std::unique_ptr<ora_type>>& columns)
{
    tk_trace(1, "ora_record::ctor");
    for (size_t i = 0; i < columns.size(); ++i) {
        ora_type* column = columns[i].get();
        if (column->is_null()) {
            tk_trace(1, "Field #%d has NULL value", int(i));
            add_field(std::make_unique<udb_field>(column->get_name(), column->get_data_size(),
                                                  ole_variant(), false, false));
        } else {
            add_field(column->make_field());
        }
    }
}
