#include "udb_sche.hpp"

#include "tk_except.hpp"
#include "tk_log.hpp"
#include "tk_utils.hpp"

#include <cstdlib>
#include <cwchar>
#include <memory>

t_ftd::t_ftd(int size, const std::wstring& name, VARTYPE vartype, bool b_not_null,
             bool auto_increment, const ole_variant& default_value, int reserved)
    : size(size), name(name), vartype(vartype), auto_increment(auto_increment),
      b_not_null(b_not_null), default_value(default_value), reserved(reserved)
{
    tk_trace(1, "t_ftd::ctor2");
    tk_wtrace(1, L"\tfield name='%ls', vartype=%d, size=%d, b_not_null=%d, reserved=%d",
              this->name.c_str(), static_cast<int>(vartype), size,
              static_cast<int>(b_not_null), reserved);
}

void udb_schema::add_field(std::unique_ptr<t_ftd> field)
{
    fields.push_back(std::move(field));
}

namespace {

int first_match(const std::vector<std::unique_ptr<t_ftd>>& fields, const std::wstring& name, bool trace_each)
{
    for (size_t i = 0; i < fields.size(); ++i) {
        if (trace_each)
            tk_wtrace(1, L"Processing %ls", fields[i]->name.c_str());
        if (tk_compare_no_case(fields[i]->name, name) == 0)
            return static_cast<int>(i);
    }
    return -1;
}

}  // namespace

bool udb_schema::find_field(const std::wstring& name) const
{
    tk_wtrace(1, L"udb_schema::find_field(%ls)", name.c_str());
    return first_match(fields, name, true) != -1;
}

int udb_schema::get_field_idx(const std::wstring& name) const
{
    tk_wtrace(1, L"udb_schema::get_field_idx(%ls)", name.c_str());
    return first_match(fields, name, false);
}

t_ftd& udb_schema::get_field(const std::wstring& name)
{
    tk_wtrace(1, L"udb_schema::find_field(%ls)", name.c_str());
    int i = first_match(fields, name, false);
    if (i < 0)
        throw tk_mail_assertion("udb_sche.cpp", 312);
    return *fields[i];
}

const t_ftd& udb_schema::get_field(const std::wstring& name) const
{
    tk_wtrace(1, L"udb_schema::find_field(%ls)", name.c_str());
    int i = first_match(fields, name, false);
    if (i < 0)
        throw tk_mail_assertion("udb_sche.cpp", 327);
    return *fields[i];
}

void udb_schema::set_field_comment(const std::wstring& name, const std::wstring& comment)
{
    tk_wtrace(1, L"udb_schema::set_field_comment(%ls,%ls)", name.c_str(), comment.c_str());
    if (comment.empty())
        return;
    int i = first_match(fields, name, false);
    if (i < 0) {
        tk_wtrace(1, L"Field '%ls' not found", name.c_str());
        return;
    }
    fields[i]->comment = comment;
}

bool udb_is_binary_type(VARTYPE type)
{
    return type == VT_BLOB || type == VT_BLOB_OBJECT || type == (VT_ARRAY | VT_UI1);
}

std::wstring udb_integer_default(const std::wstring& text)
{
    const long long value = std::wcstoll(text.c_str(), nullptr, 10);
    wchar_t printed[32];
    std::swprintf(printed, 32, L"%lld", value);
    return text == printed ? text : std::wstring();
}

bool udb_is_large_column(const t_ftd& field, unsigned limit)
{
    const bool text_or_binary = field.vartype == VT_BSTR || udb_is_binary_type(field.vartype);
    return text_or_binary && udb_is_past_limit(field.size, limit);
}
