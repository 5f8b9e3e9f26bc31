#include "udb_rec.hpp"

#include "tk_log.hpp"


udb_field::udb_field(const std::wstring& name, int size, const ole_variant& value,
                     bool not_null, bool auto_increment)
    : ole_variant(value), size(size), name(name), not_null(not_null),
      auto_increment(auto_increment)
{
    tk_trace(1, "udb_field::ctor #2");
    tk_wtrace(1, L"name=%ls, size=%d", this->name.c_str(), size);
}

VARTYPE udb_field::get_type() const
{
    tk_trace(1, "ole_variant::get_type");
    return get_vt();
}

void udb_record::add_field(std::unique_ptr<udb_field> field)
{
    fields.push_back(std::move(field));
}
