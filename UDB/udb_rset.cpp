#include "udb_rset.hpp"

#include "tk_log.hpp"

udb_recordset::udb_recordset(const std::wstring& name) : name(name)
{
}

udb_recordset::udb_recordset(const std::wstring& name, const std::wstring& text)
    : text(text), name(name)
{
}

void udb_recordset::update(const udb_record&)
{
    tk_trace(1, "udb_recordset::update");
}

udb_record* udb_recordset::get_item()
{
    return nullptr;
}

bool udb_recordset::is_eof()
{
    return true;
}

bool udb_recordset::is_query() const
{
    return !text.empty();
}

void udb_recordset::next()
{
}

void udb_recordset::reserved_op()
{
}

void udb_recordset::reset()
{
}

bool udb_recordset::has_unique_key()
{
    for (const udb_index& index : indexes)
        if (index.unique)
            return true;
    return false;
}

int udb_recordset::get_unkeyed_rows() const
{
    return 0;
}

std::vector<std::string> udb_recordset::get_unwritten_keys(const udb_schema&)
{
    return {};
}

std::vector<std::string> udb_recordset::get_missing_keys(const udb_schema&, const udb_indexes&)
{
    return {};
}

std::vector<std::string> udb_recordset::get_losses() const
{
    return {};
}

void udb_recordset::add_index(const udb_index& index)
{
    tk_wtrace(1, L"udb_recordset::add_index (%ls)", index.name.c_str());
    if (!indexes.is_acceptable_name(index.name))
        return;
    // append first so that key_index never points past the list
    indexes.push_back(index);
    if (key_index == -1 && (index.primary || index.unique)) {
        tk_trace(1, "Store primary/unique key");
        key_index = static_cast<int>(indexes.size()) - 1;
    }
}
