#include "ole_var.hpp"

#include "ole_date.hpp"
#include "ole_except.hpp"
#include "ole_num_impl.hpp"
#include "tk_except.hpp"
#include "tk_log.hpp"
#include "tk_utils.hpp"

#include <charconv>
#include <cinttypes>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

constexpr VARTYPE byte_array = VT_ARRAY | VT_UI1;

// the platform prints at least three exponent digits: 1.500000e+000
std::string pad_exponent(const char* text)
{
    std::string s(text);
    size_t e = s.find_first_of("eE");
    if (e == std::string::npos)
        return s;
    size_t digits = e + 1;
    if (digits < s.size() && (s[digits] == '+' || s[digits] == '-'))
        ++digits;
    size_t count = s.size() - digits;
    if (count < 3)
        s.insert(digits, 3 - count, '0');
    return s;
}

// the shortest digits that read back as the same value, padded with zeros to the
// fixed width of "%.15e" for a double or "%.6e" for a float: a printed digit that
// the value does not need would change the decimal number a database stores
template <typename T>
std::string print_float(T value, size_t min_digits)
{
    char buffer[64];
    if (!std::isfinite(value)) {
        ole_c_numeric_scope c_numbers;
        std::snprintf(buffer, sizeof buffer, "%e", double(value));
        return buffer;
    }
    const std::to_chars_result printed =
        std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::scientific);
    const std::string text(buffer, printed.ptr);
    const size_t e = text.find('e');
    std::string mantissa = text.substr(0, e);
    const size_t digits = mantissa.size() - (mantissa[0] == '-') -
                          (mantissa.find('.') != std::string::npos);
    if (digits < min_digits) {
        if (mantissa.find('.') == std::string::npos)
            mantissa += '.';
        mantissa.append(min_digits - digits, '0');
    }
    return pad_exponent((mantissa + text.substr(e)).c_str());
}

std::string replace_commas(std::string text)
{
    for (char& c : text)
        if (c == ',')
            c = '.';
    return text;
}

int hex_digit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

} // namespace

void ole_variant::init()
{
    m_i8 = 0;
    m_ui8 = 0;
    std::memset(&m_date, 0, sizeof m_date);
    std::memset(static_cast<void*>(&m_value), 0, sizeof m_value);
    VariantInit(&m_value);
}

ole_variant::ole_variant()
{
    init();
}

ole_variant::ole_variant(const SYSTEMTIME& time)
{
    init();
    tk_trace(1, "Construct ole_variant from SYSTEMTIME");
    m_date = time;
    m_value.vt = VT_DATE;
    if (!SystemTimeToVariantTime(&time, &m_value.date)) {
        m_value.date = 0;
        tk_trace(2, "Failed to convert SYSTEMTIME->VARIANT");
    }
}

ole_variant::ole_variant(const CY& value)
{
    init();
    tk_trace(1, "Construct ole_variant from CY");
    m_value.cyVal = value;
    m_value.vt = VT_CY;
}

ole_variant::ole_variant(const DECIMAL& value)
{
    init();
    tk_trace(1, "Construct ole_variant from DECIMAL");
    m_value.decVal = value;
    m_value.vt = VT_DECIMAL;
}

ole_variant::ole_variant(const wchar_t* text)
{
    init();
    tk_trace(1, "Construct ole_variant from BSTR");
    set_bstr(text, text ? std::wcslen(text) : 0, 831);
}

ole_variant::ole_variant(const char* text)
{
    init();
    tk_trace(1, "ole_variant::ctor from string(%s)", text ? text : "");
    attach_string(text ? text : "");
}

ole_variant::ole_variant(bool value)
{
    init();
    tk_trace(1, "ole_variant::ctor from bool (%d)", int(value));
    m_value.boolVal = value ? VARIANT_TRUE : VARIANT_FALSE;
    m_value.vt = VT_BOOL;
}

ole_variant::ole_variant(char value)
{
    init();
    tk_trace(1, "ole_variant::ctor from char(%d)", int(value));
    m_value.cVal = value;
    m_value.vt = VT_I1;
}

ole_variant::ole_variant(unsigned char value)
{
    init();
    tk_trace(1, "ole_variant::ctor from byte(%d)", int(value));
    m_value.bVal = value;
    m_value.vt = VT_UI1;
}

ole_variant::ole_variant(short value)
{
    init();
    tk_trace(1, "ole_variant::ctor from short(%d)", int(value));
    m_value.iVal = value;
    m_value.vt = VT_I2;
}

ole_variant::ole_variant(unsigned short value)
{
    init();
    tk_trace(1, "ole_variant::ctor from ushort(%d)", int(value));
    m_value.uiVal = value;
    m_value.vt = VT_UI2;
}

ole_variant::ole_variant(int value)
{
    init();
    tk_trace(1, "ole_variant::ctor from int(%d)", value);
    m_value.lVal = value;
    m_value.vt = VT_I4;
}

ole_variant::ole_variant(unsigned int value)
{
    init();
    tk_trace(1, "ole_variant::ctor from uint(%u)", value);
    m_value.ulVal = value;
    m_value.vt = VT_UI4;
}

ole_variant::ole_variant(long value) : ole_variant(static_cast<long long>(value)) {}

ole_variant::ole_variant(unsigned long value) : ole_variant(static_cast<unsigned long long>(value)) {}

ole_variant::ole_variant(long long value)
{
    init();
    tk_trace(1, "ole_variant::ctor(hyper, %lld)", value);
    m_i8 = value;
    m_value.vt = VT_I8;
}

ole_variant::ole_variant(unsigned long long value)
{
    init();
    tk_trace(1, "ole_variant::ctor(uhyper, %llu)", value);
    m_ui8 = value;
    m_value.vt = VT_UI8;
}

ole_variant::ole_variant(float value)
{
    init();
    tk_trace(1, "ole_variant::ctor from float(%f)", double(value));
    m_value.fltVal = value;
    m_value.vt = VT_R4;
}

ole_variant::ole_variant(double value)
{
    init();
    tk_trace(1, "ole_variant::ctor from double(%e)", value);
    m_value.dblVal = value;
    m_value.vt = VT_R8;
}

ole_variant::ole_variant(const std::string& text)
{
    init();
    tk_trace(1, "ole_variant::ctor from string(%s)", text.c_str());
    attach_string(text);
}

ole_variant::ole_variant(const std::wstring& text)
{
    init();
    tk_wtrace(1, L"ole_variant::ctor from wstring(%ls)", text.c_str());
    attach_wstring(text);
}

ole_variant::ole_variant(unsigned length, const BYTE* bytes)
{
    init();
    attach_binary(length, bytes);
}

ole_variant::ole_variant(const ole_variant& other)
{
    init();
    tk_trace(1, "ole_variant::copy ctor");
    copy_from(other);
}

ole_variant::~ole_variant()
{
    release();
}

bool ole_variant::is_byte_array(VARTYPE type)
{
    return type == byte_array || type == VT_SAFEARRAY;
}

void ole_variant::release()
{
    if (is_byte_array(m_value.vt)) {
        SafeArrayDestroy(m_value.parray);
        m_value.parray = nullptr;
        m_value.vt = VT_EMPTY;
    }
    VariantClear(&m_value);
    VariantInit(&m_value);
}

// the target holds nothing; a byte array is copied exactly once
void ole_variant::copy_from(const ole_variant& other)
{
    const VARTYPE type = other.m_value.vt;
    if (is_byte_array(type)) {
        tk_trace(1, "Special processing for VT_SAFEARRAY");
        if (!other.m_value.parray) {
            m_value.vt = type;
            return;
        }
        SAFEARRAY* copy = nullptr;
        if (SUCCEEDED(SafeArrayCopy(other.m_value.parray, &copy))) {
            m_value.parray = copy;
            m_value.vt = byte_array;
        } else {
            m_value.scode = E_OUTOFMEMORY;
            m_value.vt = VT_ERROR;
        }
        return;
    }
    if (FAILED(VariantCopy(&m_value, &other.m_value))) {
        m_value.scode = E_OUTOFMEMORY;
        m_value.vt = VT_ERROR;
        return;
    }
    if (type == VT_DATE) {
        tk_trace(1, "Special processing for VT_DATE");
        m_date = other.m_date;
    } else if (type == VT_I8 || type == VT_UI8) {
        tk_trace(1, "Special processing for VT_(U)I8 type");
        m_value.vt = type;
        m_i8 = other.m_i8;
        m_ui8 = other.m_ui8;
    }
}

ole_variant& ole_variant::operator=(const ole_variant& other)
{
    if (this == &other)
        return *this;
    release();
    init();
    copy_from(other);
    if (m_value.vt == VT_DATE)
        tk_trace(1, "%04d-%02d-%02d %02d:%02d:%02d", m_date.wYear, m_date.wMonth, m_date.wDay, m_date.wHour,
                 m_date.wMinute, m_date.wSecond);
    return *this;
}

ole_variant& ole_variant::operator=(const std::vector<BYTE>& bytes)
{
    return attach_binary(bytes);
}

bool ole_variant::is_text_type(VARTYPE type)
{
    return type == VT_BSTR || type == VT_DATE;
}

void ole_variant::allocate_safe_array(unsigned size)
{
    tk_trace(1, "ole_variant::allocate_safe_array (size=%d)", int(size));
    if (m_value.vt == byte_array && m_value.parray && SafeArrayGetDim(m_value.parray) == 1) {
        tk_trace(1, "Redimension array");
        LONG lower = 0, upper = 0;
        SafeArrayGetLBound(m_value.parray, 1, &lower);
        SafeArrayGetUBound(m_value.parray, 1, &upper);
        // an empty array has its upper bound just below the lower one
        if (int64_t(upper) < int64_t(lower) - 1)
            throw tk_mail_assertion("ole_var.cpp", 776);
        int64_t count = int64_t(upper) - int64_t(lower) + 1;
        if (count != int64_t(size)) {
            SAFEARRAYBOUND bound{size, lower};
            if (FAILED(SafeArrayRedim(m_value.parray, &bound)))
                throw tk_mail_assertion("ole_var.cpp", 764);
        }
        return;
    }
    release();
    SAFEARRAYBOUND bound{size, 0};
    SAFEARRAY* array = SafeArrayCreate(VT_UI1, 1, &bound);
    if (!array)
        throw tk_mail_assertion("ole_var.cpp", 764);
    m_value.parray = array;
    m_value.vt = byte_array;
}

BYTE* ole_variant::allocate_bytes(unsigned size)
{
    release();
    allocate_safe_array(size);
    return static_cast<BYTE*>(m_value.parray->pvData);
}

ole_variant& ole_variant::attach_binary(unsigned length, const BYTE* bytes)
{
    tk_trace(1, "ole_variant::attach_binary(2)");
    if (!bytes)
        throw tk_mail_assertion("ole_var.cpp", 735);
    // the bytes may live in this value's own array: copy them out first
    std::vector<BYTE> copy(bytes, bytes + length);
    allocate_safe_array(length);
    if (length)
        std::memcpy(m_value.parray->pvData, copy.data(), length);
    return *this;
}

ole_variant& ole_variant::attach_binary(const std::vector<BYTE>& bytes)
{
    tk_trace(1, "ole_variant::attach_binary(1)");
    std::vector<BYTE> copy(bytes);
    allocate_safe_array(static_cast<unsigned>(copy.size()));
    if (!copy.empty())
        std::memcpy(m_value.parray->pvData, copy.data(), copy.size());
    return *this;
}

unsigned ole_variant::get_bytes(const BYTE*& data) const
{
    tk_trace(1, "ole_variant::get_bytes(%d)", int(m_value.vt));
    if (m_value.vt == VT_EMPTY || m_value.vt == VT_NULL)
        return 0;
    if (m_value.vt != byte_array)
        throw tk_mail_assertion("ole_var.cpp", 669);
    if (!m_value.parray) {
        data = nullptr;
        return 0;
    }
    void* p = nullptr;
    SafeArrayAccessData(m_value.parray, &p);
    data = static_cast<const BYTE*>(p);
    SafeArrayUnaccessData(m_value.parray);
    return static_cast<unsigned>(get_safe_array_size(m_value.parray));
}

int ole_variant::get_safe_array_size(SAFEARRAY* array)
{
    tk_trace(1, "get_safe_array_size");
    LONG lower = 0, upper = -1;
    if (FAILED(SafeArrayGetLBound(array, 1, &lower)) || FAILED(SafeArrayGetUBound(array, 1, &upper)))
        return 0;
    tk_trace(1, "lower=%d, upper=%d", int(lower), int(upper));
    return upper < lower ? 0 : int(upper - lower + 1);
}

// the new string is made before the old value goes, so text may point into it
void ole_variant::set_bstr(const wchar_t* text, size_t length, int check_line)
{
    BSTR bstr = nullptr;
    if (text) {
        bstr = SysAllocStringLen(text, static_cast<UINT>(length));
        if (!bstr)
            throw tk_mail_assertion("ole_var.cpp", check_line);
    }
    release();
    m_value.bstrVal = bstr;
    m_value.vt = VT_BSTR;
}

ole_variant& ole_variant::attach_string(const std::string& text)
{
    tk_trace(1, "ole_variant::attach_string('%s')", text.c_str());
    std::wstring wide = tk_to_unicode(text);
    set_bstr(wide.c_str(), wide.size(), 812);
    return *this;
}

ole_variant& ole_variant::attach_wstring(const std::wstring& text)
{
    tk_wtrace(1, L"ole_variant::attach_wstring('%ls')", text.c_str());
    set_bstr(text.data(), text.size(), 831);
    return *this;
}

ole_variant& ole_variant::attach_utf8(const char* text, size_t length)
{
    const size_t units = tk_utf8_units(text, length);
    BSTR bstr = units <= UINT32_MAX ? SysAllocStringLen(nullptr, static_cast<UINT>(units)) : nullptr;
    if (!bstr)
        throw tk_mail_assertion("ole_var.cpp", 812);
    tk_from_utf8(text, length, bstr);
    release();
    m_value.bstrVal = bstr;
    m_value.vt = VT_BSTR;
    return *this;
}

ole_variant& ole_variant::attach_wstring(const wchar_t* text)
{
    tk_wtrace(1, L"ole_variant::attach_wstring('%ls')", text ? text : L"");
    set_bstr(text, text ? std::wcslen(text) : 0, 831);
    return *this;
}

std::string ole_variant::to_string() const
{
    tk_trace(1, "ole_variant::to_string (vt=%08X)", unsigned(m_value.vt));
    char buffer[64];
    switch (m_value.vt) {
    case byte_array: {
        tk_trace(1, "Converting VT_ARRAY");
        if (!m_value.parray || SafeArrayGetDim(m_value.parray) != 1)
            return std::string();
        const BYTE* data = nullptr;
        // printed whole, however long: a text cut at some count would change the value
        unsigned n = get_bytes(data);
        if (n == 0)
            return std::string();
        std::string text(2 + size_t(n) * 2 + 1, '\0');
        text[0] = '0';
        text[1] = 'x';
        tk_bin_to_hex(n, data, &text[2]);
        text.pop_back();
        return text;
    }
    case VT_DECIMAL: {
        tk_trace(1, "Converting VT_DECIMAL");
        BSTR bstr = nullptr;
        if (FAILED(VarBstrFromDec(&m_value.decVal, LOCALE_USER_DEFAULT, 0, &bstr)))
            return std::string();
        std::string text = tk_to_ansi(std::wstring(bstr, SysStringLen(bstr)));
        SysFreeString(bstr);
        return replace_commas(text);
    }
    case VT_DATE:
        tk_trace(1, "Converting VT_DATE");
        // the side value always holds the full year
        return ole_date(m_date, false).to_string();
    case VT_CY: {
        tk_trace(1, "Converting VT_CY");
        VARIANT copy;
        VariantInit(&copy);
        if (FAILED(VariantChangeType(&copy, &m_value, 0, VT_BSTR)))
            return std::string();
        std::string text = tk_to_ansi(std::wstring(copy.bstrVal, SysStringLen(copy.bstrVal)));
        VariantClear(&copy);
        return replace_commas(text);
    }
    case VT_BSTR:
        if (!m_value.bstrVal)
            return std::string();
        return tk_to_ansi(std::wstring(m_value.bstrVal));
    case VT_BOOL:
        tk_trace(1, "to_string - bool: %d", int(m_value.boolVal));
        tk_trace(1, "Mapping BOOL like ANSI!");
        return m_value.boolVal == VARIANT_TRUE ? "1" : "0";
    case VT_I1:
        std::snprintf(buffer, sizeof buffer, "%d", int(m_value.cVal));
        return buffer;
    case VT_I2:
        std::snprintf(buffer, sizeof buffer, "%d", int(m_value.iVal));
        return buffer;
    case VT_UI1:
        std::snprintf(buffer, sizeof buffer, "%u", unsigned(m_value.bVal));
        return buffer;
    case VT_UI2:
        std::snprintf(buffer, sizeof buffer, "%u", unsigned(m_value.uiVal));
        return buffer;
    case VT_I4:
        std::snprintf(buffer, sizeof buffer, "%" PRId32, m_value.lVal);
        return buffer;
    case VT_UI4:
        std::snprintf(buffer, sizeof buffer, "%" PRIu32, m_value.ulVal);
        return buffer;
    case VT_R4:
        return print_float(m_value.fltVal, 7);
    case VT_R8:
        return print_float(m_value.dblVal, 16);
    case VT_I8:
        std::snprintf(buffer, sizeof buffer, "%" PRId64, m_i8);
        return buffer;
    case VT_UI8:
        std::snprintf(buffer, sizeof buffer, "%" PRIu64, m_ui8);
        return buffer;
    default:
        return std::string();
    }
}

std::wstring ole_variant::to_wstring() const
{
    if (m_value.vt == VT_BSTR)
        return m_value.bstrVal ? std::wstring(m_value.bstrVal) : std::wstring();
    return tk_to_unicode(to_string());
}

namespace {

ole_variant hex_bytes(const std::string& text)
{
    if (text.size() % 2) {
        tk_trace(2, "Incorrect BLOB (size is odd)");
        return ole_variant();
    }
    // 0x, and the \x with which postgresql sends bytea in hex form
    bool prefix = text.size() >= 2 && (text[0] == '0' || text[0] == '\\') && (text[1] == 'x' || text[1] == 'X');
    tk_trace(1, "Got BLOB size: %d", int(text.size()));
    size_t start = prefix ? 2 : 0;
    std::vector<BYTE> bytes((text.size() - start) / 2, 0);
    for (size_t k = 0; k < bytes.size(); ++k) {
        int high = hex_digit(text[start + 2 * k]);
        if (high < 0)
            continue;
        int low = hex_digit(text[start + 2 * k + 1]);
        bytes[k] = static_cast<BYTE>(low < 0 ? high : high * 16 + low);
    }
    ole_variant result;
    result.attach_binary(bytes);
    return result;
}

ole_variant currency_or_decimal(const std::string& text, VARTYPE type)
{
    std::wstring wide = tk_to_unicode(replace_commas(text));
    if (type == VT_CY) {
        CY cy;
        HRESULT hr = VarCyFromStr(wide.c_str(), LCID_ENGLISH_US, 0, &cy);
        if (FAILED(hr)) {
            tk_trace(3, "VarCyFromStr failed: %08X", unsigned(hr));
            return ole_variant();
        }
        return ole_variant(cy);
    }
    DECIMAL dec;
    HRESULT hr = VarDecFromStr(wide.c_str(), LCID_ENGLISH_US, 0, &dec);
    if (FAILED(hr)) {
        tk_trace(3, "VarDecFromStr failed: %08X", unsigned(hr));
        return ole_variant();
    }
    return ole_variant(dec);
}

} // namespace

ole_variant ole_variant::from_string(const std::string& text, VARTYPE type)
{
    tk_trace(1, "ole_variant::from_string('%s', 0x%08X)", text.c_str(), unsigned(type));
    if (text.empty() && type != VT_BSTR)
        return ole_variant();
    const char* s = text.c_str();
    switch (type) {
    case VT_BOOL:
        if (tk_compare_no_case(text, "yes") == 0 || tk_compare_no_case(text, "true") == 0)
            return ole_variant(true);
        if (tk_compare_no_case(text, "no") == 0 || tk_compare_no_case(text, "false") == 0)
            return ole_variant(false);
        return ole_variant(std::atoi(s) != 0);
    case VT_I1:
        return ole_variant(static_cast<char>(std::strtol(s, nullptr, 10)));
    case VT_UI1:
        return ole_variant(static_cast<unsigned char>(std::strtol(s, nullptr, 10)));
    case VT_I2:
        return ole_variant(static_cast<short>(std::strtol(s, nullptr, 10)));
    case VT_UI2:
        return ole_variant(static_cast<unsigned short>(std::strtol(s, nullptr, 10)));
    case VT_I4:
        return ole_variant(static_cast<int>(std::strtol(s, nullptr, 10)));
    case VT_UI4: {
        unsigned value = 0;
        if (std::sscanf(s, "%u", &value) != 1)
            value = 0;
        return ole_variant(value);
    }
    case VT_I8:
        return ole_variant(static_cast<long long>(std::strtoll(s, nullptr, 10)));
    case VT_UI8: {
        unsigned long long value = 0;
        if (std::sscanf(s, "%llu", &value) != 1)
            value = 0;
        return ole_variant(value);
    }
    case VT_R4: {
        ole_c_numeric_scope c_numbers;
        return ole_variant(std::strtof(replace_commas(text).c_str(), nullptr));
    }
    case VT_R8: {
        ole_c_numeric_scope c_numbers;
        return ole_variant(std::strtod(replace_commas(text).c_str(), nullptr));
    }
    case VT_CY:
        tk_trace(1, "GOT VT_CY");
        return currency_or_decimal(text, VT_CY);
    case VT_DECIMAL:
        tk_trace(1, "GOT VT_DECIMAL");
        return currency_or_decimal(text, VT_DECIMAL);
    case VT_DATE: {
        tk_trace(1, "GOT VT_DATE");
        ole_date date(text);
        if (!date.is_valid())
            return ole_variant();
        date.widen_year();
        return ole_variant(date.get_time());
    }
    case VT_BLOB:
    case byte_array:
        return hex_bytes(text);
    default: {
        ole_variant result;
        result.attach_string(text);
        if (FAILED(VariantChangeType(&result.m_value, &result.m_value, 0, type)))
            throw ole_type_exception();
        tk_trace(1, "VariantChangeType succeeded");
        return result;
    }
    }
}

ole_variant ole_variant::from_wstring(const std::wstring& text, VARTYPE type)
{
    tk_trace(1, "ole_variant::from_wstring");
    if (type == VT_BSTR) {
        ole_variant result;
        result.attach_wstring(text.c_str());
        return result;
    }
    return from_string(tk_to_ansi(text), type);
}

double ole_variant::to_double() const
{
    tk_trace(1, "ole_variant::to_double(%08X)", unsigned(m_value.vt));
    double result = 0.0;
    HRESULT hr = S_OK;
    switch (m_value.vt) {
    case VT_EMPTY:
    case VT_NULL:
        return 0.0;
    case VT_I1: return m_value.cVal;
    case VT_I2: return m_value.iVal;
    case VT_I4: return m_value.lVal;
    case VT_INT: return m_value.intVal;
    case VT_UI1: return m_value.bVal;
    case VT_UI2: return m_value.uiVal;
    case VT_UI4: return m_value.ulVal;
    case VT_UINT: return m_value.uintVal;
    case VT_R4: return m_value.fltVal;
    case VT_R8: return m_value.dblVal;
    case VT_BOOL: return m_value.boolVal;
    case VT_CY:
        hr = VarR8FromCy(m_value.cyVal, &result);
        tk_trace(1, "from CURRECY: res=%lg, hr=%08X", result, unsigned(hr));
        return SUCCEEDED(hr) ? result : 0.0;
    case VT_DECIMAL:
        hr = VarR8FromDec(&m_value.decVal, &result);
        tk_trace(1, "from DECIMAL: res=%lg, hr=%08X", result, unsigned(hr));
        return SUCCEEDED(hr) ? result : 0.0;
    case VT_I8: return double(m_i8);
    case VT_UI8: return double(m_ui8);
    default:
        throw tk_mail_assertion("ole_var.cpp", 519);
    }
}
