// BSTR: length-prefixed wide strings.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <cwchar>

#include "ComTrace.h"
#include "OleAuto.h"
#include "platform_seams.h"

namespace {

// The prefix holds the length in bytes, as on Windows.
typedef uint32_t BstrPrefix;

BstrPrefix* PrefixOf(BSTR text) {
    return reinterpret_cast<BstrPrefix*>(reinterpret_cast<unsigned char*>(text) -
                                         sizeof(BstrPrefix));
}

}  // namespace

namespace svcp {

BSTR AllocBstr(const OLECHAR* text, size_t length) {
    if (length > (UINT32_MAX - sizeof(BstrPrefix)) / sizeof(OLECHAR) - 1) {
        return nullptr;
    }
    void* block = std::malloc(sizeof(BstrPrefix) + (length + 1) * sizeof(OLECHAR));
    if (block == nullptr) {
        return nullptr;
    }
    auto* prefix = static_cast<BstrPrefix*>(block);
    *prefix = static_cast<BstrPrefix>(length * sizeof(OLECHAR));
    BSTR result = reinterpret_cast<BSTR>(prefix + 1);
    if (text != nullptr && length != 0) {
        std::memcpy(result, text, length * sizeof(OLECHAR));
    }
    result[length] = 0;
    CountLive(ComLive::Strings, 1);
    return result;
}

void FreeBstr(BSTR text) {
    if (text != nullptr) {
        std::free(PrefixOf(text));
        CountLive(ComLive::Strings, -1);
    }
}

}  // namespace svcp

extern "C" BSTR WINAPI SysAllocString(const OLECHAR* psz) {
    BSTR result = nullptr;
    if (psz != nullptr && !SvcpTakeFailure(SvcpCall::SysAllocString, nullptr)) {
        result = svcp::AllocBstr(psz, std::wcslen(psz));
    }
    if (result != nullptr) {
        svcp::ComTrace("SysAllocString(%s)", svcp::TraceString(psz).c_str());
    } else {
        svcp::ComTrace("SysAllocString(%s) = null", svcp::TraceString(psz).c_str());
    }
    return result;
}

extern "C" void WINAPI SysFreeString(BSTR bstrString) {
    svcp::ComTrace("SysFreeString(%s)", svcp::TraceString(bstrString).c_str());
    svcp::FreeBstr(bstrString);
}

extern "C" UINT WINAPI SysStringLen(BSTR pbstr) {
    return pbstr == nullptr ? 0 : *PrefixOf(pbstr) / sizeof(OLECHAR);
}
