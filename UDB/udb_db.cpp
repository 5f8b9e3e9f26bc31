#include "udb_db.hpp"

#include "tk_except.hpp"
#include "tk_log.hpp"

udb_database::udb_database(const std::wstring& name, int mode, bool case_sensitive)
    : mode(mode), name(name), case_sensitive(case_sensitive)
{
    tk_wtrace(1, L"udb_database::ctor(%ls)", name.c_str());
}

udb_database::~udb_database()
{
    tk_trace(1, "udb_database::dtor");
}

bool udb_database::delete_tab(const std::wstring& name)
{
    tk_wtrace(1, L"udb_database::delete_tab (%ls)", name.c_str());
    if (tables.erase(name, case_sensitive))
        return true;
    throw tk_mail_assertion("udb_db.cpp", 44);
}

std::vector<std::string> udb_database::get_drop_losses() const
{
    return {};
}

std::vector<udb_shared_table> udb_database::get_tables_sharing(const std::wstring&)
{
    return {};
}

long long udb_database::count_records(const std::wstring&, const std::wstring&)
{
    return -1;
}

int udb_database::query(const std::wstring&)
{
    throw tk_mail_assertion("udb_db.cpp", 70);
}

void udb_database::reserved_op(int)
{
}

void udb_database::create_relationships(const udb_relationships&)
{
}

bool udb_database::is_table_exist(const std::wstring& name)
{
    tk_wtrace(1, L"udb_database::is_table_exist(%ls)", name.c_str());
    if (case_sensitive ? tables.contains(name) : tables.contains_no_case(name)) {
        tk_trace(1, "table exists");
        return true;
    }
    tk_trace(1, "table not found");
    return false;
}

void udb_database::begin_naming(const std::vector<std::wstring>&,
                                const std::vector<std::wstring>&)
{
}

std::wstring udb_database::get_dest_table_name(const std::wstring& source)
{
    return source;
}

void udb_database::keep_dest_table_name(const std::wstring&, const std::wstring&)
{
}

std::vector<std::string> udb_database::get_naming_losses(const std::wstring&) const
{
    return {};
}

void udb_database::end_naming()
{
}
