// VARIANT initialisation and clearing.
#include "ComTrace.h"
#include "OleAuto.h"

extern "C" void WINAPI VariantInit(VARIANTARG* pvarg) {
    if (pvarg != nullptr) {
        pvarg->vt = VT_EMPTY;
    }
}

extern "C" HRESULT WINAPI VariantClear(VARIANTARG* pvarg) {
    if (pvarg == nullptr) {
        svcp::ComTrace("VariantClear(null) = 0x%x", static_cast<unsigned>(E_INVALIDARG));
        return E_INVALIDARG;
    }
    const VARTYPE vt = pvarg->vt;
    HRESULT result = S_OK;
    if ((vt & VT_BYREF) != 0) {
        // Borrowed: nothing to free.
    } else if ((vt & VT_ARRAY) != 0) {
        if (pvarg->parray != nullptr) {
            result = SafeArrayDestroy(pvarg->parray);
        }
    } else if (vt == VT_BSTR) {
        svcp::FreeBstr(pvarg->bstrVal);
    } else if (vt == VT_UNKNOWN && pvarg->punkVal != nullptr) {
        pvarg->punkVal->Release();
    }
    if (SUCCEEDED(result)) {
        pvarg->vt = VT_EMPTY;
    }
    svcp::ComTrace("VariantClear(0x%x) = 0x%x", static_cast<unsigned>(vt),
                   static_cast<unsigned>(result));
    return result;
}
