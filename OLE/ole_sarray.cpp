#include "ole_auto.hpp"

#include <cstdlib>
#include <cstring>

// arrays of fixed-size elements without interfaces or strings: the variant
// library only makes one-dimensional byte arrays
namespace {

size_t element_size(VARTYPE vt)
{
    switch (vt) {
    case VT_I1: case VT_UI1: return 1;
    case VT_I2: case VT_UI2: case VT_BOOL: return 2;
    case VT_I4: case VT_UI4: case VT_INT: case VT_UINT: case VT_R4: case VT_ERROR: return 4;
    case VT_I8: case VT_UI8: case VT_R8: case VT_CY: case VT_DATE: return 8;
    case VT_DECIMAL: return sizeof(DECIMAL);
    default: return 0;
    }
}

size_t header_size(UINT dims)
{
    return sizeof(SAFEARRAY) + (dims - 1) * sizeof(SAFEARRAYBOUND);
}

bool total_bytes(const SAFEARRAY* array, size_t& bytes)
{
    unsigned __int128 n = array->cbElements;
    for (USHORT i = 0; i < array->cDims; ++i) {
        n *= array->rgsabound[i].cElements;
        if (n > (unsigned __int128)(SIZE_MAX / 2))
            return false;
    }
    bytes = size_t(n);
    return true;
}

} // namespace

SAFEARRAY* SafeArrayCreate(VARTYPE vt, UINT dims, SAFEARRAYBOUND* bounds)
{
    size_t size = element_size(vt);
    if (dims == 0 || dims > 0xffff || !bounds || size == 0)
        return nullptr;
    auto* array = static_cast<SAFEARRAY*>(std::calloc(1, header_size(dims)));
    if (!array)
        return nullptr;
    array->cDims = static_cast<USHORT>(dims);
    array->fFeatures = FADF_HAVEVARTYPE;
    array->cbElements = static_cast<ULONG>(size);
    // bounds are given from the leftmost dimension, stored from the rightmost
    for (UINT i = 0; i < dims; ++i)
        array->rgsabound[i] = bounds[dims - 1 - i];
    size_t bytes = 0;
    if (!total_bytes(array, bytes)) {
        std::free(array);
        return nullptr;
    }
    if (bytes) {
        array->pvData = std::calloc(1, bytes);
        if (!array->pvData) {
            std::free(array);
            return nullptr;
        }
    }
    return array;
}

UINT SafeArrayGetDim(SAFEARRAY* array)
{
    return array ? array->cDims : 0;
}

HRESULT SafeArrayGetLBound(SAFEARRAY* array, UINT dim, LONG* bound)
{
    if (!array || !bound)
        return E_INVALIDARG;
    if (dim == 0 || dim > array->cDims)
        return DISP_E_BADINDEX;
    *bound = array->rgsabound[array->cDims - dim].lLbound;
    return S_OK;
}

HRESULT SafeArrayGetUBound(SAFEARRAY* array, UINT dim, LONG* bound)
{
    if (!array || !bound)
        return E_INVALIDARG;
    if (dim == 0 || dim > array->cDims)
        return DISP_E_BADINDEX;
    const SAFEARRAYBOUND& b = array->rgsabound[array->cDims - dim];
    *bound = static_cast<LONG>(int64_t(b.lLbound) + int64_t(b.cElements) - 1);
    return S_OK;
}

HRESULT SafeArrayAccessData(SAFEARRAY* array, void** data)
{
    if (!array || !data)
        return E_INVALIDARG;
    ++array->cLocks;
    *data = array->pvData;
    return S_OK;
}

HRESULT SafeArrayUnaccessData(SAFEARRAY* array)
{
    if (!array)
        return E_INVALIDARG;
    if (array->cLocks == 0)
        return E_UNEXPECTED;
    --array->cLocks;
    return S_OK;
}

// changes the leftmost dimension; kept elements keep their values, new ones are 0
HRESULT SafeArrayRedim(SAFEARRAY* array, SAFEARRAYBOUND* bound)
{
    if (!array || !bound)
        return E_INVALIDARG;
    if (array->cLocks)
        return DISP_E_ARRAYISLOCKED;
    size_t old_bytes = 0;
    total_bytes(array, old_bytes);
    SAFEARRAYBOUND saved = array->rgsabound[array->cDims - 1];
    array->rgsabound[array->cDims - 1] = *bound;
    size_t new_bytes = 0;
    if (!total_bytes(array, new_bytes)) {
        array->rgsabound[array->cDims - 1] = saved;
        return E_OUTOFMEMORY;
    }
    if (new_bytes == 0) {
        std::free(array->pvData);
        array->pvData = nullptr;
        return S_OK;
    }
    void* data = std::realloc(array->pvData, new_bytes);
    if (!data) {
        array->rgsabound[array->cDims - 1] = saved;
        return E_OUTOFMEMORY;
    }
    if (new_bytes > old_bytes)
        std::memset(static_cast<char*>(data) + old_bytes, 0, new_bytes - old_bytes);
    array->pvData = data;
    return S_OK;
}

HRESULT SafeArrayCopy(SAFEARRAY* array, SAFEARRAY** copy)
{
    if (!array || !copy)
        return E_INVALIDARG;
    *copy = nullptr;
    size_t bytes = 0;
    if (!total_bytes(array, bytes))
        return E_OUTOFMEMORY;
    auto* result = static_cast<SAFEARRAY*>(std::malloc(header_size(array->cDims)));
    if (!result)
        return E_OUTOFMEMORY;
    std::memcpy(result, array, header_size(array->cDims));
    result->cLocks = 0;
    result->pvData = nullptr;
    if (bytes) {
        result->pvData = std::malloc(bytes);
        if (!result->pvData) {
            std::free(result);
            return E_OUTOFMEMORY;
        }
        std::memcpy(result->pvData, array->pvData, bytes);
    }
    *copy = result;
    return S_OK;
}

HRESULT SafeArrayDestroy(SAFEARRAY* array)
{
    if (!array)
        return S_OK;
    if (array->cLocks)
        return DISP_E_ARRAYISLOCKED;
    std::free(array->pvData);
    std::free(array);
    return S_OK;
}
