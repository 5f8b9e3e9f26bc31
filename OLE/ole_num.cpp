#include "ole_num_impl.hpp"

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>

namespace {

constexpr unsigned __int128 u128_max = ~(unsigned __int128)0;
constexpr unsigned __int128 dec_limit = ((unsigned __int128)1 << 96) - 1;
constexpr int dec_max_scale = 28;
// enough for any number a variant can hold; larger exponents only saturate
constexpr int exponent_cap = 100000;

bool is_blank(unsigned c)
{
    return c == ' ' || c == '\t';
}

bool is_digit(unsigned c)
{
    return c >= '0' && c <= '9';
}

template <typename Char>
bool parse_decimal(const Char* s, ole_decimal_text& out)
{
    out = ole_decimal_text();
    if (!s)
        return false;
    size_t i = 0;
    auto at = [&](size_t k) { return static_cast<unsigned>(static_cast<std::make_unsigned_t<Char>>(s[k])); };
    while (is_blank(at(i)))
        ++i;
    if (at(i) == '+' || at(i) == '-') {
        out.negative = at(i) == '-';
        ++i;
    }
    std::string digits;
    long fraction = 0;
    bool any = false;
    while (is_digit(at(i))) {
        digits += char(at(i));
        ++i;
        any = true;
    }
    if (at(i) == '.') {
        ++i;
        while (is_digit(at(i))) {
            digits += char(at(i));
            ++fraction;
            ++i;
            any = true;
        }
    }
    if (!any)
        return false;
    long exponent = 0;
    if (at(i) == 'e' || at(i) == 'E') {
        ++i;
        bool negative = false;
        if (at(i) == '+' || at(i) == '-') {
            negative = at(i) == '-';
            ++i;
        }
        if (!is_digit(at(i)))
            return false;
        while (is_digit(at(i))) {
            if (exponent < exponent_cap)
                exponent = exponent * 10 + (at(i) - '0');
            ++i;
        }
        if (negative)
            exponent = -exponent;
    }
    while (is_blank(at(i)))
        ++i;
    if (at(i) != 0)
        return false;
    size_t first = digits.find_first_not_of('0');
    out.digits = first == std::string::npos ? std::string() : digits.substr(first);
    long e = exponent - fraction;
    if (e > exponent_cap)
        e = exponent_cap;
    out.exponent = static_cast<int>(e);
    return true;
}

bool push_digit(unsigned __int128& value, unsigned digit)
{
    if (value > (u128_max - digit) / 10)
        return false;
    value = value * 10 + digit;
    return true;
}

} // namespace

ole_c_numeric_scope::ole_c_numeric_scope()
{
    static const locale_t c_locale = newlocale(LC_ALL_MASK, "C", locale_t(0));
    m_saved = c_locale ? uselocale(c_locale) : locale_t(0);
}

ole_c_numeric_scope::~ole_c_numeric_scope()
{
    if (m_saved)
        uselocale(m_saved);
}

bool ole_parse_decimal(const OLECHAR* text, ole_decimal_text& out)
{
    return parse_decimal(text, out);
}

bool ole_parse_decimal(const std::string& text, ole_decimal_text& out)
{
    return parse_decimal(text.c_str(), out);
}

bool ole_scaled_magnitude(const ole_decimal_text& number, int scale, unsigned __int128 limit,
                          unsigned __int128& out)
{
    out = 0;
    const std::string& d = number.digits;
    if (d.empty())
        return true;
    long e = long(number.exponent) + scale;
    long n = long(d.size());
    unsigned __int128 value = 0;
    if (e >= 0) {
        if (n + e > 40)
            return false;
        for (char c : d)
            if (!push_digit(value, unsigned(c - '0')))
                return false;
        for (long k = 0; k < e; ++k)
            if (!push_digit(value, 0))
                return false;
    } else {
        long keep = n + e;
        if (keep > 40)
            return false;
        for (long k = 0; k < keep; ++k)
            if (!push_digit(value, unsigned(d[size_t(k)] - '0')))
                return false;
        if (keep >= 0) {
            unsigned dropped = unsigned(d[size_t(keep)] - '0');
            bool rest = d.find_first_not_of('0', size_t(keep) + 1) != std::string::npos;
            if (dropped > 5 || (dropped == 5 && (rest || (value & 1)))) {
                if (value == u128_max)
                    return false;
                ++value;
            }
        }
    }
    if (value > limit)
        return false;
    out = value;
    return true;
}

std::string ole_format_scaled(bool negative, unsigned __int128 magnitude, int scale)
{
    std::string digits;
    do {
        digits.insert(digits.begin(), char('0' + unsigned(magnitude % 10)));
        magnitude /= 10;
    } while (magnitude);
    if (scale > 0) {
        if (digits.size() <= size_t(scale))
            digits.insert(0, size_t(scale) + 1 - digits.size(), '0');
        digits.insert(digits.size() - size_t(scale), 1, '.');
        size_t last = digits.find_last_not_of('0');
        digits.erase(last + 1);
        if (digits.back() == '.')
            digits.pop_back();
    }
    if (negative && digits != "0")
        digits.insert(0, 1, '-');
    return digits;
}

HRESULT ole_decimal_to_double(const ole_decimal_text& number, double& out)
{
    if (number.digits.empty()) {
        out = 0.0;
        return S_OK;
    }
    std::string text = (number.negative ? "-" : "") + number.digits + "e" + std::to_string(number.exponent);
    ole_c_numeric_scope c_numbers;
    double value = std::strtod(text.c_str(), nullptr);
    if (std::isinf(value))
        return DISP_E_OVERFLOW;
    out = value;
    return S_OK;
}

unsigned __int128 ole_dec_mantissa(const DECIMAL& value)
{
    return ((unsigned __int128)value.Hi32 << 64) | value.Lo64;
}

std::string ole_cy_text(CY value)
{
    bool negative = value.int64 < 0;
    unsigned __int128 magnitude = negative ? (unsigned __int128)(-(value.int64 + 1)) + 1
                                           : (unsigned __int128)value.int64;
    return ole_format_scaled(negative, magnitude, 4);
}

std::string ole_dec_text(const DECIMAL& value)
{
    return ole_format_scaled(value.sign & DECIMAL_NEG, ole_dec_mantissa(value), value.scale);
}

BSTR ole_alloc_ascii(const std::string& text)
{
    BSTR result = SysAllocStringLen(nullptr, static_cast<UINT>(text.size()));
    if (result)
        for (size_t i = 0; i < text.size(); ++i)
            result[i] = static_cast<unsigned char>(text[i]);
    return result;
}

HRESULT VarR8FromCy(CY value, DOUBLE* result)
{
    if (!result)
        return E_INVALIDARG;
    ole_decimal_text number;
    ole_parse_decimal(ole_cy_text(value), number);
    return ole_decimal_to_double(number, *result);
}

HRESULT VarR8FromDec(const DECIMAL* value, DOUBLE* result)
{
    if (!value || !result || value->scale > dec_max_scale)
        return E_INVALIDARG;
    ole_decimal_text number;
    ole_parse_decimal(ole_dec_text(*value), number);
    return ole_decimal_to_double(number, *result);
}

HRESULT VarBstrFromDec(const DECIMAL* value, LCID, ULONG, BSTR* result)
{
    if (!value || !result || value->scale > dec_max_scale)
        return E_INVALIDARG;
    *result = ole_alloc_ascii(ole_dec_text(*value));
    return *result ? S_OK : E_OUTOFMEMORY;
}

HRESULT ole_decimal_to_cy(const ole_decimal_text& number, CY& out)
{
    unsigned __int128 limit = (unsigned __int128)INT64_MAX + (number.negative ? 1 : 0);
    unsigned __int128 magnitude = 0;
    if (!ole_scaled_magnitude(number, 4, limit, magnitude))
        return DISP_E_OVERFLOW;
    out.int64 = number.negative ? int64_t(0 - uint64_t(magnitude)) : int64_t(magnitude);
    return S_OK;
}

HRESULT ole_decimal_to_dec(const ole_decimal_text& number, DECIMAL& out)
{
    int scale = number.exponent < 0 ? -number.exponent : 0;
    if (scale > dec_max_scale)
        scale = dec_max_scale;
    // too many digits for 96 bits: give up fraction digits, rounding
    for (; scale >= 0; --scale) {
        unsigned __int128 magnitude = 0;
        if (ole_scaled_magnitude(number, scale, dec_limit, magnitude)) {
            std::memset(&out, 0, sizeof out);
            out.scale = static_cast<BYTE>(scale);
            out.sign = number.negative && magnitude ? DECIMAL_NEG : 0;
            out.Hi32 = static_cast<ULONG>(magnitude >> 64);
            out.Lo64 = static_cast<ULONGLONG>(magnitude);
            return S_OK;
        }
    }
    return DISP_E_OVERFLOW;
}

HRESULT VarCyFromStr(const OLECHAR* text, LCID, ULONG, CY* result)
{
    if (!text || !result)
        return E_INVALIDARG;
    ole_decimal_text number;
    if (!ole_parse_decimal(text, number))
        return DISP_E_TYPEMISMATCH;
    return ole_decimal_to_cy(number, *result);
}

HRESULT VarDecFromStr(const OLECHAR* text, LCID, ULONG, DECIMAL* result)
{
    if (!text || !result)
        return E_INVALIDARG;
    ole_decimal_text number;
    if (!ole_parse_decimal(text, number))
        return DISP_E_TYPEMISMATCH;
    return ole_decimal_to_dec(number, *result);
}
