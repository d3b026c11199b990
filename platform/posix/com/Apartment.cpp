// CoInitializeEx and CoUninitialize: the per-thread initialisation count.
#include "Apartment.h"

#include "ComTrace.h"
#include "platform_seams.h"

namespace {

struct ThreadApartment {
    unsigned count = 0;
    DWORD mode = COINIT_MULTITHREADED;  // meaningful while count > 0
};

thread_local ThreadApartment t_apartment;

constexpr DWORD kValidFlags =
    COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE | COINIT_SPEED_OVER_MEMORY;

}  // namespace

namespace svcp {
bool IsComInitialised() {
    return t_apartment.count != 0;
}
}  // namespace svcp

extern "C" HRESULT WINAPI CoInitializeEx(LPVOID pvReserved, DWORD dwCoInit) {
    HRESULT result = S_OK;
    uint32_t failure = 0;
    const DWORD mode = dwCoInit & COINIT_APARTMENTTHREADED;
    if (SvcpTakeFailure(SvcpCall::CoInitializeEx, &failure)) {
        result = static_cast<HRESULT>(failure);
    } else if (pvReserved != nullptr || (dwCoInit & ~kValidFlags) != 0) {
        result = E_INVALIDARG;
    } else if (t_apartment.count == 0) {
        t_apartment.count = 1;
        t_apartment.mode = mode;
    } else if (t_apartment.mode == mode) {
        ++t_apartment.count;
        result = S_FALSE;
    } else {
        result = RPC_E_CHANGED_MODE;
    }
    svcp::ComTrace("CoInitializeEx(%s, 0x%x) = 0x%x", svcp::TracePointer(pvReserved, "reserved"),
                   dwCoInit, static_cast<unsigned>(result));
    return result;
}

extern "C" void WINAPI CoUninitialize(void) {
    if (t_apartment.count != 0) {
        --t_apartment.count;
    }
    svcp::ComTrace("CoUninitialize()");
}
