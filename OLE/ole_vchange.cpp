#include "ole_num_impl.hpp"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <cwchar>
#include <limits>

void VariantInit(VARIANTARG* value)
{
    if (!value)
        return;
    value->vt = VT_EMPTY;
    value->wReserved1 = value->wReserved2 = value->wReserved3 = 0;
    value->llVal = 0;
}

namespace {

bool is_simple(VARTYPE vt)
{
    switch (vt) {
    case VT_EMPTY: case VT_NULL: case VT_I1: case VT_UI1: case VT_I2: case VT_UI2: case VT_I4:
    case VT_UI4: case VT_I8: case VT_UI8: case VT_INT: case VT_UINT: case VT_R4: case VT_R8:
    case VT_CY: case VT_DATE: case VT_BOOL: case VT_ERROR: case VT_DECIMAL:
        return true;
    default:
        return false;
    }
}

bool is_known(VARTYPE vt)
{
    if (vt & VT_ARRAY)
        return (vt & ~VT_ARRAY) != 0 && is_simple(vt & ~VT_ARRAY);
    return is_simple(vt) || vt == VT_BSTR;
}

} // namespace

HRESULT VariantClear(VARIANTARG* value)
{
    if (!value)
        return E_INVALIDARG;
    if (!is_known(value->vt))
        return DISP_E_BADVARTYPE;
    if (value->vt == VT_BSTR) {
        SysFreeString(value->bstrVal);
    } else if (value->vt & VT_ARRAY) {
        HRESULT hr = SafeArrayDestroy(value->parray);
        if (FAILED(hr))
            return hr;
    }
    VariantInit(value);
    return S_OK;
}

HRESULT VariantCopy(VARIANTARG* dest, const VARIANTARG* source)
{
    if (!dest || !source)
        return E_INVALIDARG;
    if (dest == source)
        return S_OK;
    if (!is_known(source->vt))
        return DISP_E_BADVARTYPE;
    HRESULT hr = VariantClear(dest);
    if (FAILED(hr))
        return hr;
    if (source->vt == VT_BSTR) {
        if (source->bstrVal) {
            BSTR copy = SysAllocStringLen(source->bstrVal, SysStringLen(source->bstrVal));
            if (!copy)
                return E_OUTOFMEMORY;
            dest->bstrVal = copy;
        } else {
            dest->bstrVal = nullptr;
        }
        dest->vt = VT_BSTR;
        return S_OK;
    }
    if (source->vt & VT_ARRAY) {
        SAFEARRAY* copy = nullptr;
        if (source->parray) {
            hr = SafeArrayCopy(source->parray, &copy);
            if (FAILED(hr))
                return hr;
        }
        dest->parray = copy;
        dest->vt = source->vt;
        return S_OK;
    }
    std::memcpy(static_cast<void*>(dest), static_cast<const void*>(source), sizeof(VARIANT));
    return S_OK;
}

namespace {

bool is_number_type(VARTYPE vt)
{
    switch (vt) {
    case VT_I1: case VT_UI1: case VT_I2: case VT_UI2: case VT_I4: case VT_UI4: case VT_I8: case VT_UI8:
    case VT_INT: case VT_UINT: case VT_R4: case VT_R8: case VT_CY: case VT_DECIMAL: case VT_BOOL:
    case VT_DATE:
        return true;
    default:
        return false;
    }
}

std::string double_text(double value)
{
    ole_c_numeric_scope c_numbers;
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%.17g", value);
    return buffer;
}

// the exact decimal value of a number variant (an empty value is 0)
bool number_of(const VARIANT& v, ole_decimal_text& out)
{
    std::string text;
    switch (v.vt) {
    case VT_EMPTY: text = "0"; break;
    case VT_I1: text = std::to_string(int(v.cVal)); break;
    case VT_UI1: text = std::to_string(unsigned(v.bVal)); break;
    case VT_I2: text = std::to_string(v.iVal); break;
    case VT_UI2: text = std::to_string(v.uiVal); break;
    case VT_I4: text = std::to_string(v.lVal); break;
    case VT_UI4: text = std::to_string(v.ulVal); break;
    case VT_INT: text = std::to_string(v.intVal); break;
    case VT_UINT: text = std::to_string(v.uintVal); break;
    case VT_I8: text = std::to_string(v.llVal); break;
    case VT_UI8: text = std::to_string(v.ullVal); break;
    case VT_BOOL: text = v.boolVal ? "-1" : "0"; break;
    case VT_R4:
        if (!std::isfinite(v.fltVal))
            return false;
        text = double_text(v.fltVal);
        break;
    case VT_R8:
        if (!std::isfinite(v.dblVal))
            return false;
        text = double_text(v.dblVal);
        break;
    case VT_DATE:
        if (!std::isfinite(v.date))
            return false;
        text = double_text(v.date);
        break;
    case VT_CY: text = ole_cy_text(v.cyVal); break;
    case VT_DECIMAL:
        if (v.decVal.scale > 28)
            return false;
        text = ole_dec_text(v.decVal);
        break;
    default:
        return false;
    }
    return ole_parse_decimal(text, out);
}

// the integer of a number, rounded half to even, within [-neg_limit, pos_limit]
HRESULT integer_of(const ole_decimal_text& n, unsigned __int128 pos_limit, unsigned __int128 neg_limit,
                   unsigned __int128& magnitude)
{
    if (!ole_scaled_magnitude(n, 0, n.negative ? neg_limit : pos_limit, magnitude))
        return DISP_E_OVERFLOW;
    return S_OK;
}

template <typename T>
HRESULT store_signed(const ole_decimal_text& n, T& out)
{
    unsigned __int128 m = 0;
    HRESULT hr = integer_of(n, (unsigned __int128)std::numeric_limits<T>::max(),
                            (unsigned __int128)std::numeric_limits<T>::max() + 1, m);
    if (SUCCEEDED(hr))
        out = n.negative ? T(-int64_t(m - 1) - 1) : T(int64_t(m));
    return hr;
}

template <typename T>
HRESULT store_unsigned(const ole_decimal_text& n, T& out)
{
    unsigned __int128 m = 0;
    HRESULT hr = integer_of(n, (unsigned __int128)std::numeric_limits<T>::max(), 0, m);
    if (SUCCEEDED(hr))
        out = T(m);
    return hr;
}

HRESULT number_to(const ole_decimal_text& n, VARTYPE vt, VARIANT& out)
{
    HRESULT hr = S_OK;
    double d = 0.0;
    switch (vt) {
    case VT_I1: hr = store_signed(n, out.cVal); break;
    case VT_UI1: hr = store_unsigned(n, out.bVal); break;
    case VT_I2: hr = store_signed(n, out.iVal); break;
    case VT_UI2: hr = store_unsigned(n, out.uiVal); break;
    case VT_I4: hr = store_signed(n, out.lVal); break;
    case VT_UI4: hr = store_unsigned(n, out.ulVal); break;
    case VT_INT: hr = store_signed(n, out.intVal); break;
    case VT_UINT: hr = store_unsigned(n, out.uintVal); break;
    case VT_I8: hr = store_signed(n, out.llVal); break;
    case VT_UI8: hr = store_unsigned(n, out.ullVal); break;
    case VT_BOOL: out.boolVal = n.digits.empty() ? VARIANT_FALSE : VARIANT_TRUE; break;
    case VT_R8: hr = ole_decimal_to_double(n, out.dblVal); break;
    case VT_R4:
        hr = ole_decimal_to_double(n, d);
        if (SUCCEEDED(hr) && std::fabs(d) > double(std::numeric_limits<float>::max()))
            hr = DISP_E_OVERFLOW;
        if (SUCCEEDED(hr))
            out.fltVal = float(d);
        break;
    case VT_DATE: {
        hr = ole_decimal_to_double(n, d);
        SYSTEMTIME st;
        if (SUCCEEDED(hr) && !VariantTimeToSystemTime(d, &st))
            hr = DISP_E_OVERFLOW;
        if (SUCCEEDED(hr))
            out.date = d;
        break;
    }
    case VT_CY: hr = ole_decimal_to_cy(n, out.cyVal); break;
    case VT_DECIMAL: {
        DECIMAL dec;
        hr = ole_decimal_to_dec(n, dec);
        if (SUCCEEDED(hr))
            out.decVal = dec;
        break;
    }
    default:
        return DISP_E_TYPEMISMATCH;
    }
    if (SUCCEEDED(hr))
        out.vt = vt;
    return hr;
}

std::string text_of(const VARIANT& v, USHORT flags)
{
    ole_c_numeric_scope c_numbers;
    char buffer[64];
    switch (v.vt) {
    case VT_EMPTY: return std::string();
    case VT_BOOL:
        if (flags & VARIANT_ALPHABOOL)
            return v.boolVal ? "True" : "False";
        return v.boolVal ? "-1" : "0";
    case VT_R4:
        std::snprintf(buffer, sizeof buffer, "%.7G", double(v.fltVal));
        return buffer;
    case VT_R8:
        std::snprintf(buffer, sizeof buffer, "%.15G", v.dblVal);
        return buffer;
    case VT_DATE: return ole_format_date(v.date);
    case VT_CY: return ole_cy_text(v.cyVal);
    case VT_DECIMAL: return ole_dec_text(v.decVal);
    default: {
        // the integer types: their decimal text has no point and no exponent
        ole_decimal_text n;
        number_of(v, n);
        if (n.digits.empty())
            return "0";
        return (n.negative ? "-" : "") + n.digits;
    }
    }
}

bool equal_no_case(const OLECHAR* text, const char* word)
{
    size_t i = 0;
    for (; word[i]; ++i) {
        unsigned c = static_cast<unsigned>(text[i]);
        if (c >= 'A' && c <= 'Z')
            c += 'a' - 'A';
        if (c != static_cast<unsigned>(word[i]))
            return false;
    }
    return text[i] == 0;
}

HRESULT from_bstr(const OLECHAR* text, VARTYPE vt, VARIANT& out)
{
    std::wstring trimmed(text ? text : L"");
    size_t first = trimmed.find_first_not_of(L" \t");
    size_t last = trimmed.find_last_not_of(L" \t");
    trimmed = first == std::wstring::npos ? std::wstring() : trimmed.substr(first, last - first + 1);
    if (vt == VT_BOOL) {
        if (equal_no_case(trimmed.c_str(), "true") || equal_no_case(trimmed.c_str(), "false")) {
            out.boolVal = equal_no_case(trimmed.c_str(), "true") ? VARIANT_TRUE : VARIANT_FALSE;
            out.vt = VT_BOOL;
            return S_OK;
        }
    }
    if (vt == VT_DATE) {
        DATE d;
        HRESULT hr = VarDateFromStr(trimmed.c_str(), LCID_ENGLISH_US, 0, &d);
        if (SUCCEEDED(hr)) {
            out.date = d;
            out.vt = VT_DATE;
        }
        return hr;
    }
    ole_decimal_text n;
    if (!ole_parse_decimal(trimmed.c_str(), n))
        return DISP_E_TYPEMISMATCH;
    return number_to(n, vt, out);
}

HRESULT convert(const VARIANT& source, USHORT flags, VARTYPE vt, VARIANT& out)
{
    if (source.vt == vt)
        return VariantCopy(&out, &source);
    if (source.vt == VT_BSTR)
        return from_bstr(source.bstrVal, vt, out);
    if (vt == VT_BSTR) {
        if (source.vt != VT_EMPTY && !is_number_type(source.vt))
            return DISP_E_TYPEMISMATCH;
        std::string text = text_of(source, flags);
        if (source.vt == VT_DATE && text.empty())
            return DISP_E_OVERFLOW;
        out.bstrVal = ole_alloc_ascii(text);
        if (!out.bstrVal)
            return E_OUTOFMEMORY;
        out.vt = VT_BSTR;
        return S_OK;
    }
    if (source.vt != VT_EMPTY && !is_number_type(source.vt))
        return DISP_E_TYPEMISMATCH;
    ole_decimal_text n;
    if (!number_of(source, n))
        return DISP_E_OVERFLOW;
    return number_to(n, vt, out);
}

} // namespace

HRESULT VariantChangeType(VARIANTARG* dest, const VARIANTARG* source, USHORT flags, VARTYPE vt)
{
    if (!dest || !source)
        return E_INVALIDARG;
    if (!is_known(source->vt))
        return DISP_E_BADVARTYPE;
    // convert into a temporary first: dest may be source, and a failure leaves dest as it was
    VARIANT result;
    VariantInit(&result);
    HRESULT hr = convert(*source, flags, vt, result);
    if (FAILED(hr)) {
        VariantClear(&result);
        return hr;
    }
    hr = VariantClear(dest);
    if (FAILED(hr)) {
        VariantClear(&result);
        return hr;
    }
    std::memcpy(static_cast<void*>(dest), static_cast<const void*>(&result), sizeof(VARIANT));
    return S_OK;
}
