// SAFEARRAY: one-dimensional vectors of integers.
#include <cstdlib>
#include <new>

#include "ComTrace.h"
#include "OleAuto.h"

namespace {

// Windows' feature flag for an array that knows its element type.
constexpr USHORT kHaveVarType = 0x0080;

// The bound of dimension nDim (1 = leftmost); rgsabound holds them rightmost
// first. Null for a bad array or dimension.
SAFEARRAYBOUND* BoundOf(SAFEARRAY* psa, UINT nDim) {
    if (psa == nullptr || nDim < 1 || nDim > psa->cDims) {
        return nullptr;
    }
    return &psa->rgsabound[psa->cDims - nDim];
}

}  // namespace

namespace svcp {

ULONG ArrayElementSize(VARTYPE vt) {
    switch (vt) {
        case VT_I1:
        case VT_UI1:
            return 1;
        case VT_I2:
        case VT_UI2:
            return 2;
        case VT_I4:
        case VT_UI4:
        case VT_INT:
        case VT_UINT:
            return 4;
        default:
            return 0;
    }
}

}  // namespace svcp

extern "C" SAFEARRAY* WINAPI SafeArrayCreateVector(VARTYPE vt, LONG lLbound, ULONG cElements) {
    const ULONG size = svcp::ArrayElementSize(vt);
    if (size == 0 || cElements > UINT32_MAX / size) {
        return nullptr;
    }
    auto* array = new (std::nothrow) SAFEARRAY();
    if (array == nullptr) {
        return nullptr;
    }
    // Never null, even when empty, as on Windows where the data follows the
    // descriptor.
    array->pvData = std::calloc(cElements == 0 ? 1 : cElements, size);
    if (array->pvData == nullptr) {
        delete array;
        return nullptr;
    }
    array->cDims = 1;
    array->fFeatures = kHaveVarType;
    array->cbElements = size;
    array->cLocks = 0;
    array->rgsabound[0].cElements = cElements;
    array->rgsabound[0].lLbound = lLbound;
    svcp::CountLive(svcp::ComLive::Arrays, 1);
    return array;
}

extern "C" HRESULT WINAPI SafeArrayDestroy(SAFEARRAY* psa) {
    if (psa == nullptr) {
        return E_INVALIDARG;
    }
    if (psa->cLocks != 0) {
        return DISP_E_ARRAYISLOCKED;
    }
    std::free(psa->pvData);
    delete psa;
    svcp::CountLive(svcp::ComLive::Arrays, -1);
    return S_OK;
}

namespace {

// SafeArrayGetLBound and SafeArrayGetUBound: `end` of dimension `nDim`.
template <typename End>
HRESULT GetBound(SAFEARRAY* psa, UINT nDim, LONG* result, End end) {
    const SAFEARRAYBOUND* bound = BoundOf(psa, nDim);
    if (psa == nullptr || result == nullptr) {
        return E_INVALIDARG;
    }
    if (bound == nullptr) {
        return DISP_E_BADINDEX;
    }
    *result = end(*bound);
    return S_OK;
}

}  // namespace

extern "C" HRESULT WINAPI SafeArrayGetLBound(SAFEARRAY* psa, UINT nDim, LONG* plLbound) {
    return GetBound(psa, nDim, plLbound, [](const SAFEARRAYBOUND& bound) { return bound.lLbound; });
}

extern "C" HRESULT WINAPI SafeArrayGetUBound(SAFEARRAY* psa, UINT nDim, LONG* plUbound) {
    return GetBound(psa, nDim, plUbound, [](const SAFEARRAYBOUND& bound) {
        // Windows' arithmetic: in 32 bits, wrapping.
        return static_cast<LONG>(static_cast<uint32_t>(bound.lLbound) + bound.cElements - 1u);
    });
}

extern "C" HRESULT WINAPI SafeArrayAccessData(SAFEARRAY* psa, void** ppvData) {
    if (psa == nullptr || ppvData == nullptr) {
        return E_INVALIDARG;
    }
    ++psa->cLocks;
    *ppvData = psa->pvData;
    return S_OK;
}

extern "C" HRESULT WINAPI SafeArrayUnaccessData(SAFEARRAY* psa) {
    if (psa == nullptr) {
        return E_INVALIDARG;
    }
    if (psa->cLocks == 0) {
        return E_UNEXPECTED;
    }
    --psa->cLocks;
    return S_OK;
}
