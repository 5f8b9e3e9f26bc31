#include "udb_rel.hpp"

#include "udb_find_impl.hpp"

#include "tk_except.hpp"
#include "tk_log.hpp"

namespace {

const std::wstring& relationship_name(const udb_relationship& rel)
{
    return rel.constraint_name;
}

}  // namespace

udb_relationship::udb_relationship(const std::wstring& constraint_name,
                                   const std::wstring& key_name, const std::wstring& table,
                                   const std::wstring& referenced_table,
                                   const std::vector<std::wstring>& fields,
                                   const std::vector<std::wstring>& referenced_fields,
                                   const std::wstring& delete_rule)
    : constraint_name(constraint_name), key_name(key_name), table(table),
      referenced_table(referenced_table), delete_rule(delete_rule), fields(fields),
      referenced_fields(referenced_fields)
{
}

bool udb_relationships::is_acceptable_name(const std::wstring& name) const
{
    tk_wtrace(1, L"udb_relationships::is_acceptable_name(%ls)", name.c_str());
    return !udb_find_named(*this, name, relationship_name);
}

udb_relationship& udb_relationships::get_index(const std::wstring& name)
{
    const auto& self = *this;
    return const_cast<udb_relationship&>(self.get_index(name));
}

const udb_relationship& udb_relationships::get_index(const std::wstring& name) const
{
    tk_wtrace(1, L"udb_relationships::get_index(%ls)", name.c_str());
    if (const udb_relationship* rel = udb_find_named(*this, name, relationship_name))
        return *rel;
    throw tk_mail_assertion("udb_rel.cpp", 122);
}
