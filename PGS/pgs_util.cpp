#include "pgs_util.hpp"

#include "ole_date.hpp"
#include "tk_except.hpp"
#include "tk_log.hpp"
#include "tk_utils.hpp"
#include "udb_sche.hpp"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cwchar>

namespace {

// one finite number and nothing else: sign, digits with at most one point, exponent.
// no blanks, no hexadecimal, no inf or nan
bool is_plain_number(const std::wstring& text)
{
    size_t i = 0;
    if (i < text.size() && (text[i] == L'+' || text[i] == L'-'))
        ++i;
    size_t digits = 0;
    while (i < text.size() && text[i] >= L'0' && text[i] <= L'9')
        ++i, ++digits;
    if (i < text.size() && text[i] == L'.') {
        ++i;
        while (i < text.size() && text[i] >= L'0' && text[i] <= L'9')
            ++i, ++digits;
    }
    if (digits == 0)
        return false;
    if (i < text.size() && (text[i] == L'e' || text[i] == L'E')) {
        ++i;
        if (i < text.size() && (text[i] == L'+' || text[i] == L'-'))
            ++i;
        size_t exponent = 0;
        while (i < text.size() && text[i] >= L'0' && text[i] <= L'9')
            ++i, ++exponent;
        if (exponent == 0)
            return false;
    }
    if (i != text.size())
        return false;
    return std::isfinite(std::wcstod(text.c_str(), nullptr));
}

// the text cut to at most size characters, never inside a surrogate pair
std::wstring cut_characters(const std::wstring& text, int size)
{
    size_t units = 0;
    for (int n = 0; n < size && units < text.size(); ++n) {
        const bool pair = text[units] >= 0xD800 && text[units] < 0xDC00 && units + 1 < text.size();
        units += pair ? 2 : 1;
    }
    return text.substr(0, units);
}

} // namespace

std::wstring pgs_get_native_type(const t_ftd& field)
{
    switch (field.vartype) {
    case VT_I1:
    case VT_I2:
    case VT_UI1:
        return L"SMALLINT";
    case VT_I4:
    case VT_UI2:
    case VT_INT:
        return L"INTEGER";
    case VT_UI4:
    case VT_I8:
    case VT_UINT:
        return L"BIGINT";
    case VT_UI8:
        // 2^64 - 1 has twenty digits
        return L"DECIMAL(20,0)";
    case VT_R4:
        return L"FLOAT";
    case VT_R8:
        return L"DOUBLE PRECISION";
    case VT_CY:
        return L"DECIMAL(19, 4)";
    case VT_DECIMAL: {
        const int precision = field.reserved >> 8 & 0xFF;
        const int scale = field.reserved & 0xFF;
        // no precision given: any number the decimal holds
        if (precision == 0)
            return L"DECIMAL";
        wchar_t text[32];
        std::swprintf(text, 32, L"DECIMAL(%d,%d)", precision, scale);
        return text;
    }
    case VT_DATE:
        if (field.reserved == 2)
            return L"DATE";
        if (field.reserved == 3)
            return L"TIME";
        return L"TIMESTAMP";
    case VT_BSTR:
    case VT_LPWSTR:
        tk_trace(1, "process as text");
        if (field.size >= 1 && field.size <= pgs_max_inline_size) {
            wchar_t text[32];
            std::swprintf(text, 32, L"VARCHAR(%d) ", field.size);
            return text;
        }
        return L"TEXT";
    case VT_BOOL:
        return L"CHAR(1)";
    case VT_BLOB:
    case VT_ARRAY | VT_UI1:
        tk_trace(1, "process as binary");
        return L"BYTEA";
    default:
        throw tk_mail_assertion("pgs_util", 71);
    }
}

std::wstring make_pgs_def_val(const t_ftd* field, const pgs_quote_fn& quote)
{
    if (!field)
        throw tk_mail_assertion("pgs_util", 264);
    std::wstring text = field->default_value.to_wstring();
    tk_wtrace(1, L"make_pgs_def_val(%ls)", text.c_str());
    if (text.empty()) {
        tk_trace(1, "Got empty def value");
        return std::wstring();
    }
    switch (field->vartype) {
    case VT_BSTR:
        tk_wtrace(1, L"Got BSTR or DATE def value: %ls", text.c_str());
        if (field->size > 0)
            text = cut_characters(text, field->size);
        return to_pgs_str(text, VT_BSTR, 1, quote);
    case VT_I1:
    case VT_I2:
    case VT_I4:
    case VT_INT:
    case VT_UI1:
    case VT_UI2:
    case VT_UI4:
    case VT_UINT:
    case VT_BOOL:
        return udb_integer_default(text);
    case VT_DECIMAL:
    case VT_R4:
    case VT_CY:
    case VT_R8:
        // the whole text one number: anything after it would be pasted as sql
        return is_plain_number(text) ? text : std::wstring();
    case VT_DATE: {
        tk_trace(1, "Got DATE def value");
        ole_date date(text);
        const std::wstring printed = date.is_valid() ? date.to_wstring() : std::wstring();
        tk_wtrace(1, L"After canonization: %ls", printed.c_str());
        if (printed.empty())
            return std::wstring();
        return to_pgs_str(printed, VT_DATE, field->reserved, quote);
    }
    default:
        return std::wstring();
    }
}

std::wstring to_pgs_str(const std::wstring& text, VARTYPE type, int kind, const pgs_quote_fn& quote)
{
    tk_wtrace(1, L"to_pgs_str(%ls,%d)", text.c_str(), int(type));
    if (text.empty())
        return L"''";
    if (type == VT_DATE) {
        ole_date date(text);
        if (!date.is_valid())
            return std::wstring();
        // a time alone is no value of a date or timestamp column
        const SYSTEMTIME& time = date.get_time();
        if (kind != 3 && time.wYear == 0 && time.wMonth == 0 && time.wDay == 0)
            return std::wstring();
        // a time alone is printed without the date the server would refuse
        if (kind == 3)
            tk_trace(2, "Null date has been found");
        return quote(tk_from_utf8(pgs_date_text(date.get_time(), kind)));
    }
    // a text default stays its text, whatever it names
    return quote(text);
}

namespace {

// a number with at least width digits, zero-padded (a load calls this for every date)
void put_number(std::string& text, unsigned value, int width)
{
    char digits[12];
    int n = 0;
    do {
        digits[n++] = char('0' + value % 10);
        value /= 10;
    } while (value != 0);
    for (int i = n; i < width; ++i)
        text += '0';
    while (n > 0)
        text += digits[--n];
}

} // namespace

std::string pgs_date_text(const SYSTEMTIME& time, int kind)
{
    std::string text;
    text.reserve(24);
    if (kind != 3) {
        put_number(text, time.wYear, 4);
        text += '-';
        put_number(text, time.wMonth, 2);
        text += '-';
        put_number(text, time.wDay, 2);
        if (kind == 2)
            return text;
        text += ' ';
    }
    put_number(text, time.wHour, 2);
    text += ':';
    put_number(text, time.wMinute, 2);
    text += ':';
    put_number(text, time.wSecond, 2);
    if (time.wMilliseconds != 0) {
        text += '.';
        put_number(text, time.wMilliseconds, 3);
    }
    return text;
}

std::wstring pgs_quoted_name(const std::wstring& name)
{
    std::wstring quoted = L"\"";
    for (wchar_t c : name) {
        if (c == L'"')
            quoted += L'"';
        quoted += c;
    }
    return quoted + L"\"";
}

std::wstring pgs_quoted_name(const std::wstring& schema, const std::wstring& table)
{
    return pgs_quoted_name(schema) + L"." + pgs_quoted_name(table);
}

namespace {

std::wstring shown_part(const std::wstring& name)
{
    bool plain = !name.empty() && !(name[0] >= L'0' && name[0] <= L'9') && name[0] != L'$';
    for (wchar_t c : name)
        plain = plain && ((c >= L'a' && c <= L'z') || (c >= L'0' && c <= L'9') || c == L'_'
                          || c == L'$');
    return plain ? name : pgs_quoted_name(name);
}

} // namespace

std::wstring pgs_shown_name(const std::wstring& schema, const std::wstring& table)
{
    return shown_part(schema) + L"." + shown_part(table);
}

std::pair<std::wstring, std::wstring> pgs_split_name(const std::wstring& name)
{
    const size_t point = name.find(L'.');
    if (point == std::wstring::npos)
        return {L"public", name};
    return {name.substr(0, point), name.substr(point + 1)};
}

namespace {

bool is_pair_start(const std::wstring& text, size_t i)
{
    return text[i] >= 0xD800 && text[i] < 0xDC00 && i + 1 < text.size();
}

// the utf-8 bytes of the character at i (a surrogate pair counts whole)
size_t char_bytes(const std::wstring& text, size_t i)
{
    const wchar_t c = text[i];
    if (is_pair_start(text, i))
        return 4;
    return c < 0x80 ? 1 : c < 0x800 ? 2 : 3;
}

} // namespace

size_t pgs_name_bytes(const std::wstring& name)
{
    size_t bytes = 0;
    for (size_t i = 0; i < name.size(); i += is_pair_start(name, i) ? 2 : 1)
        bytes += char_bytes(name, i);
    return bytes;
}

std::wstring pgs_cut_name(const std::wstring& name, size_t max_bytes)
{
    size_t bytes = 0;
    size_t i = 0;
    while (i < name.size() && bytes + char_bytes(name, i) <= max_bytes) {
        bytes += char_bytes(name, i);
        i += is_pair_start(name, i) ? 2 : 1;
    }
    return name.substr(0, i);
}
