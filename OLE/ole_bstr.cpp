#include "ole_auto.hpp"

#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <limits>

// layout: a 32-bit byte length (two bytes per UTF-16 unit), padding to the
// unit alignment, the units, a NUL unit; the BSTR points at the first unit
namespace {

constexpr size_t prefix_size = sizeof(OLECHAR) > sizeof(uint32_t) ? sizeof(OLECHAR) : sizeof(uint32_t);

uint32_t* prefix_of(BSTR text)
{
    return reinterpret_cast<uint32_t*>(reinterpret_cast<char*>(text) - prefix_size);
}

} // namespace

BSTR SysAllocStringLen(const OLECHAR* text, UINT length)
{
    if (length > (std::numeric_limits<uint32_t>::max() / 2) - 1)
        return nullptr;
    void* block = std::malloc(prefix_size + (size_t(length) + 1) * sizeof(OLECHAR));
    if (!block)
        return nullptr;
    *static_cast<uint32_t*>(block) = length * 2;
    BSTR result = reinterpret_cast<BSTR>(static_cast<char*>(block) + prefix_size);
    if (text)
        std::memcpy(result, text, size_t(length) * sizeof(OLECHAR));
    else
        std::memset(result, 0, size_t(length) * sizeof(OLECHAR));
    result[length] = 0;
    return result;
}

BSTR SysAllocString(const OLECHAR* text)
{
    if (!text)
        return nullptr;
    return SysAllocStringLen(text, static_cast<UINT>(std::wcslen(text)));
}

void SysFreeString(BSTR text)
{
    if (text)
        std::free(prefix_of(text));
}

UINT SysStringByteLen(BSTR text)
{
    return text ? *prefix_of(text) : 0;
}

UINT SysStringLen(BSTR text)
{
    return SysStringByteLen(text) / 2;
}
