#include "ora_util.hpp"

#include "ole_date.hpp"
#include "ole_guid.hpp"
#include "ora_limits.hpp"
#include "tk_except.hpp"
#include "tk_log.hpp"
#include "tk_utils.hpp"
#include "udb_rec.hpp"
#include "udb_sche.hpp"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cwchar>
#include <vector>

namespace {

bool is_digit(wchar_t c) { return c >= L'0' && c <= L'9'; }

std::wstring format_int(const wchar_t* format, int a, int b = 0)
{
    wchar_t buffer[64];
    std::swprintf(buffer, 64, format, a, b);
    return buffer;
}

bool is_hex_digit(wchar_t c)
{
    return (c >= L'0' && c <= L'9') || (c >= L'a' && c <= L'f') || (c >= L'A' && c <= L'F');
}

std::wstring replace_all_copy(std::wstring text, const std::wstring& what,
                              const std::wstring& with)
{
    for (size_t pos = text.find(what); pos != std::wstring::npos;
         pos = text.find(what, pos + with.size())) {
        text.replace(pos, what.size(), with);
    }
    return text;
}

// the leading number of a text as the runtime's _wtof reads it: blanks, then a number;
// no words such as inf or nan
double leading_double(const std::wstring& text)
{
    size_t start = text.find_first_not_of(L' ');
    if (start == std::wstring::npos)
        return 0.0;
    const size_t end = ora_scan_number(text, start);
    return end == start ? 0.0 : std::wcstod(text.substr(start, end - start).c_str(), nullptr);
}

} // namespace

bool ora_number_keeps(const std::wstring& literal, int scale)
{
    std::wstring text = literal;
    if (text.size() >= 2 && text.front() == L'\'' && text.back() == L'\'')
        text = text.substr(1, text.size() - 2);
    // oracle reads a text as a number without the blanks around it (char(n) pads)
    static const wchar_t blanks[] = L" \t\r\n";
    const size_t first = text.find_first_not_of(blanks);
    text = first == std::wstring::npos
               ? std::wstring()
               : text.substr(first, text.find_last_not_of(blanks) - first + 1);
    if (text.empty() || ora_scan_number(text, 0) != text.size())
        return true;
    size_t i = text[0] == L'+' || text[0] == L'-' ? 1 : 0;
    // the decimal exponent of the last digit that is not zero
    long long exponent = 0;
    long long last = 0;
    bool nonzero = false;
    long long whole = 0;
    bool point = false;
    std::wstring digits;
    for (; i < text.size() && text[i] != L'e' && text[i] != L'E'; ++i) {
        if (text[i] == L'.') {
            point = true;
            continue;
        }
        digits += text[i];
        if (!point)
            ++whole;
    }
    if (i < text.size()) {
        const std::wstring power = text.substr(i + 1);
        if (power.size() > 6)
            return true;
        exponent = std::wcstoll(power.c_str(), nullptr, 10);
    }
    for (size_t k = 0; k < digits.size(); ++k)
        if (digits[k] != L'0') {
            last = whole - 1 - static_cast<long long>(k) + exponent;
            nonzero = true;
        }
    return !nonzero || last >= -scale;
}

size_t ora_scan_number(const std::wstring& text, size_t pos)
{
    size_t i = pos;
    if (i < text.size() && (text[i] == L'+' || text[i] == L'-'))
        ++i;
    bool digits = false;
    while (i < text.size() && is_digit(text[i])) {
        ++i;
        digits = true;
    }
    if (i < text.size() && text[i] == L'.') {
        ++i;
        while (i < text.size() && is_digit(text[i])) {
            ++i;
            digits = true;
        }
    }
    if (!digits)
        return pos;
    if (i < text.size() && (text[i] == L'e' || text[i] == L'E')) {
        size_t j = i + 1;
        if (j < text.size() && (text[j] == L'+' || text[j] == L'-'))
            ++j;
        if (j < text.size() && is_digit(text[j])) {
            while (j < text.size() && is_digit(text[j]))
                ++j;
            i = j;
        }
    }
    return i;
}

std::wstring ora_quoted_name(const std::wstring& name)
{
    return L"\"" + replace_all_copy(name, L"\"", L"\"\"") + L"\"";
}

std::wstring ora_sql_text(const std::wstring& text)
{
    return replace_all_copy(text, L"'", L"''");
}

std::wstring ora_split_text_literal(const std::wstring& literal, bool large)
{
    constexpr size_t max_bytes = ora_max_text_bytes;
    if (literal.size() < 2 || literal.front() != L'\'' || literal.back() != L'\'')
        return literal;
    // a unit takes at most 3 bytes: a short text is one piece without counting
    if ((literal.size() - 2) * 3 <= max_bytes)
        return literal;
    const std::wstring body = literal.substr(1, literal.size() - 2);

    // pieces of whole characters: a doubled quote and a surrogate pair stay together
    std::vector<std::wstring> pieces(1);
    size_t bytes = 0, total = 0;
    for (size_t i = 0; i < body.size();) {
        size_t units = 1, size = 1;
        const unsigned c = unsigned(body[i]) & 0xFFFF;
        if (body[i] == L'\'' && i + 1 < body.size() && body[i + 1] == L'\'')
            units = 2;
        else if (c >= 0xD800 && c <= 0xDBFF && i + 1 < body.size())
            units = 2, size = 4;
        else
            size = c < 0x80 ? 1 : c < 0x800 ? 2 : 3;
        if (bytes + size > max_bytes) {
            pieces.emplace_back();
            bytes = 0;
        }
        pieces.back().append(body, i, units);
        bytes += size;
        total += size;
        i += units;
    }
    if (total <= max_bytes)
        return literal;
    std::wstring out;
    for (const std::wstring& piece : pieces) {
        if (!out.empty())
            out += L" || ";
        out += (large ? L"TO_CLOB('" : L"TO_NCHAR('") + piece + L"')";
    }
    return out;
}

std::wstring ora_get_native_type(const t_ftd& field)
{
    tk_trace(1, "ora_get_native_type [Oracle]");
    const unsigned size = static_cast<unsigned>(field.size);
    switch (field.vartype) {
    case VT_I1:
    case VT_BOOL:
        return L"NUMBER(3,0)";
    case VT_I2:
    case VT_UI1:
        return L"NUMBER(5,0)";
    case VT_I4:
    case VT_UI2:
    case VT_INT:
        return L"NUMBER(11,0)";
    case VT_UI4:
    case VT_I8:
    case VT_UINT:
        return L"NUMBER(19,0)";
    case VT_UI8:
        // 2^64 - 1 has 20 digits
        return L"NUMBER(20,0)";
    case VT_R4:
    case VT_R8:
    case VT_CY:
        return L"NUMBER";
    case VT_DECIMAL: {
        const int precision = (field.reserved >> 8) & 0xFF;
        const int scale = field.reserved & 0xFF;
        // oracle refuses NUMBER(0,s) and precisions above 38
        if (precision == 0 || precision > 38)
            return L"NUMBER";
        return format_int(L"NUMBER(%d,%d)", precision, scale);
    }
    case VT_DATE:
        return field.reserved == 1 ? L"TIMESTAMP" : L"DATE";
    case VT_BSTR:
        if (size >= 1 && size <= unsigned(ora_max_inline_size))
            return format_int(L"NVARCHAR2(%d) ", field.size);
        tk_trace(1, "process as text");
        return L"CLOB";
    case VT_BLOB:
        if (size >= 1 && size <= unsigned(ora_max_inline_size))
            return format_int(L"RAW(%d)", field.size);
        tk_trace(1, "process as binary");
        return L"BLOB";
    default:
        throw tk_mail_assertion("ora_util", 124);
    }
}

namespace {

// the literal of a date as ole_date prints it; empty for no date
std::wstring date_literal(const std::wstring& printed)
{
    if (printed.empty())
        return std::wstring();
    static const std::wstring null_date = L"0000-00-00 ";
    if (printed.compare(0, null_date.size(), null_date) == 0) {
        tk_trace(2, "Null date has been found");
        return L"to_date('" + printed.substr(null_date.size()) + L"', 'HH24-MI-SS')";
    }
    if (printed.size() == 10)
        return L"to_date('" + printed + L"', 'YYYY-MM-DD')";
    return L"to_date('" + printed + L"', 'YYYY-MM-DD HH24:MI:SS')";
}

// a date value whose printed form reads back as the same date: its text needs no
// second parse (four-digit years and fields in their ranges)
bool prints_back_unchanged(const SYSTEMTIME& t)
{
    return t.wYear >= 1000 && t.wYear <= 9999 && t.wMonth >= 1 && t.wMonth <= 12 && t.wDay >= 1
           && t.wDay <= 31 && t.wHour <= 23 && t.wMinute <= 59 && t.wSecond <= 59;
}

} // namespace

std::wstring to_oracle_str(const std::wstring& text, VARTYPE type)
{
    tk_wtrace(1, L"to_oracle_str(%ls,%d)", text.c_str(), int(type));
    if (text.empty())
        return L"''";

    if (type == VT_DATE) {
        ole_date date(text);
        if (date.get_kind() == ole_date::invalid)
            return std::wstring();
        return date_literal(date.to_wstring());
    }

    if (udb_is_binary_type(type)) {
        tk_trace(1, "GOT BLOB");
        if (text.size() < 2 || text[0] != L'0' || (text[1] != L'x' && text[1] != L'X'))
            return L"''";
        for (size_t i = 2; i < text.size(); ++i)
            if (!is_hex_digit(text[i]))
                return L"''";
        tk_trace(1, "BLOB IS VALID");
        return L"'" + text.substr(2) + L"'";
    }

    const std::wstring escaped = ora_sql_text(text);
    if (ole_variant::is_text_type(type))
        return L"'" + escaped + L"'";
    return escaped;
}

std::wstring to_oracle_str(const udb_field* field, const t_ftd* column)
{
    tk_trace(1, "to_oracle_str( const udb_field *  )");
    if (!field)
        throw tk_mail_assertion("ora_util", 277);

    const VARTYPE type = field->get_type();
    // a guid named in a text becomes its 16 bytes only where the column holds 16 bytes
    const bool binary16 = column && (column->vartype == VT_BLOB ||
                                     column->vartype == (VT_ARRAY | VT_UI1)) &&
                          column->size == 16;
    if (binary16 && (type == VT_BSTR || type == VT_BLOB || type == (VT_ARRAY | VT_UI1))) {
        ole_guid_extractor guid(field->to_string());
        if (guid.is_found()) {
            tk_trace(1, "FIELD IS A GUID!");
            const std::wstring hex = guid.get_hex();
            if (hex.size() != 32)
                throw tk_mail_assertion("ora_util", 299);
            // the first three groups are stored least significant byte first
            static const int order[] = {6, 4, 2, 0, 10, 8, 14, 12};
            std::wstring stored;
            for (int pos : order)
                stored += hex.substr(size_t(pos), 2);
            stored += hex.substr(16);
            tk_wtrace(1, L"ora_guid=%ls", stored.c_str());
            return L"HEXTORAW('" + stored + L"')";
        }
    }
    // a date value is printed once: parsing the print again would give the same date
    if (type == VT_DATE && prints_back_unchanged(field->get_date()))
        return date_literal(ole_date(field->get_date(), false).to_wstring());
    return to_oracle_str(field->to_wstring(), type);
}

std::wstring ora_value_text(const udb_field& value)
{
    const VARTYPE type = value.get_type();
    if (type == VT_DATE)
        return ora_date_text(value);
    if (type == VT_R8 || type == VT_R4) {
        const double number = value.to_double();
        char printed[64];
        const std::to_chars_result end
            = type == VT_R4 ? std::to_chars(printed, printed + sizeof printed, float(number))
                            : std::to_chars(printed, printed + sizeof printed, number);
        if (std::isfinite(number) && end.ec == std::errc())
            return tk_from_utf8(std::string(printed, end.ptr));
    }
    return value.to_wstring();
}

std::wstring ora_date_text(const udb_field& value)
{
    std::wstring text = value.to_wstring();
    const SYSTEMTIME& time = value.get_date();
    const unsigned fraction = unsigned(time.wMilliseconds) * 1000u + time.wMicroseconds;
    if (fraction == 0 || text.empty())
        return text;
    if (text.size() == 10)
        text += L" 00:00:00";
    wchar_t digits[16];
    std::swprintf(digits, 16, L".%06u", fraction);
    std::wstring part = digits;
    while (part.back() == L'0')
        part.pop_back();
    return text + part;
}

namespace {

int days_in_month(int year, int month)
{
    static const int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    return month == 2 && leap ? 29 : days[month - 1];
}

// one second later; false past the year 9999
bool add_second(int& year, int& month, int& day, int& hour, int& minute, int& second)
{
    if (++second < 60)
        return true;
    second = 0;
    if (++minute < 60)
        return true;
    minute = 0;
    if (++hour < 24)
        return true;
    hour = 0;
    if (++day <= days_in_month(year, month))
        return true;
    day = 1;
    if (++month <= 12)
        return true;
    month = 1;
    return ++year <= 9999;
}

} // namespace

std::wstring ora_timestamp_literal(const SYSTEMTIME& time, int scale)
{
    int year = time.wYear, month = time.wMonth, day = time.wDay;
    int hour = time.wHour, minute = time.wMinute, second = time.wSecond;
    if (year < 1 || year > 9999 || month < 1 || month > 12 || day < 1
        || day > days_in_month(year, month) || hour > 23 || minute > 59 || second > 59)
        return std::wstring();
    // the source holds microseconds: a scale beyond them has nothing more to show
    const int digits = scale < 0 ? 0 : scale > 6 ? 6 : scale;
    int unit = 1;
    for (int i = digits; i < 6; ++i)
        unit *= 10;
    const int micro = time.wMilliseconds * 1000 + time.wMicroseconds;
    int fraction = (micro + unit / 2) / unit;
    if (fraction * unit >= 1000000) {
        fraction = 0;
        if (!add_second(year, month, day, hour, minute, second))
            return std::wstring();
    }
    wchar_t text[96];
    if (digits == 0)
        std::swprintf(text, 96, L"to_timestamp('%04d-%02d-%02d %02d:%02d:%02d', "
                      L"'YYYY-MM-DD HH24:MI:SS')", year, month, day, hour, minute, second);
    else
        std::swprintf(text, 96, L"to_timestamp('%04d-%02d-%02d %02d:%02d:%02d.%0*d', "
                      L"'YYYY-MM-DD HH24:MI:SS.FF%d')", year, month, day, hour, minute,
                      second, digits, fraction, digits);
    return text;
}

std::wstring make_ora_def_val(const t_ftd* field)
{
    if (!field)
        throw tk_mail_assertion("ora_util", 169);

    std::wstring text = field->default_value.to_wstring();
    tk_wtrace(1, L"make_ora_def_val(%ls)", text.c_str());
    if (text.empty()) {
        tk_trace(1, "Got empty def value");
        return std::wstring();
    }

    switch (field->vartype) {
    case VT_I2:
    case VT_I4:
    case VT_BOOL:
    case VT_I1:
    case VT_UI1:
    case VT_UI2:
    case VT_UI4:
    case VT_INT:
    case VT_UINT:
        return udb_integer_default(text);
    case VT_R4:
    case VT_R8:
    case VT_CY:
    case VT_DECIMAL: {
        const double value = leading_double(text);
        if (value < -ora_max_number || value > ora_max_number) {
            tk_trace(1, "def value is out of range");
            return L"0";
        }
        if (value == 0.0) {
            if (text == L"0" || text.find_first_not_of(L"eE-+.,0") == std::wstring::npos)
                return text;
            return std::wstring();
        }
        return text;
    }
    case VT_DATE: {
        tk_trace(1, "Got DATE def value");
        ole_date date(text);
        const std::wstring printed = date.to_wstring();
        tk_wtrace(1, L"After canonization: %ls", printed.c_str());
        if (printed.empty())
            return std::wstring();
        return to_oracle_str(printed, VT_DATE);
    }
    case VT_BSTR:
        tk_wtrace(1, L"Got BSTR or DATE def value: %ls", text.c_str());
        if (field->size < 0 || size_t(field->size) < text.size())
            text.resize(size_t(field->size < 0 ? 0 : field->size));
        return to_oracle_str(text, VT_BSTR);
    default:
        return std::wstring();
    }
}

VARTYPE get_refined_num_type(int& precision, int& scale)
{
    tk_trace(1, "get_refined_num_type(prec=%d,scale=%d)", precision, scale);
    if (precision == 0 || precision > 38)
        return VT_R8;
    if (scale == 0) {
        tk_trace(1, "Refine type mapping for int (prec=%d)", precision);
        if (precision <= 2)
            return VT_I1;
        if (precision <= 4)
            return VT_I2;
        if (precision <= 9)
            return VT_I4;
        if (precision <= 18)
            return VT_I8;
        // beyond 64 bits: exact while a decimal holds the digits
        if (precision <= 28)
            return VT_DECIMAL;
        return VT_R8;
    }
    if (precision == scale)
        ++precision;
    return VT_DECIMAL;
}
