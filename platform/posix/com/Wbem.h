// The provider's WMI objects, created by the locator and by each other.
#pragma once

#include <cstdint>

#include "platform_seams.h"
#include "win/wbemcli.h"

namespace svcp {

// A services proxy connected to ROOT\WMI, with one reference; null when out
// of memory.
IWbemServices* NewWbemServices();

// The name of one of our interfaces behind an IUnknown ("IWbemServices"),
// "null", or "object" for anything else.
const char* TraceObject(IUnknown* object);

// True when the object is a proxy (CoSetProxyBlanket applies).
bool IsWbemProxy(IUnknown* object);

// How a call that hands out one interface through `out` begins: `out`
// cleared, a failure a test injected into `call`, then null arguments
// refused. S_OK when the call goes on.
template <typename Interface>
HRESULT BeginHandingOut(SvcpCall call, Interface** out, bool argumentsGiven) {
    if (out != nullptr) {
        *out = nullptr;
    }
    uint32_t failure = 0;
    if (SvcpTakeFailure(call, &failure)) {
        return static_cast<HRESULT>(failure);
    }
    return out == nullptr || !argumentsGiven ? WBEM_E_INVALID_PARAMETER : S_OK;
}

}  // namespace svcp
