// CoCreateInstance of the WBEM locator, and the locator itself.
#include <new>

#include "Apartment.h"
#include "ComObject.h"
#include "Wbem.h"
#include "platform_seams.h"

namespace {

class WbemLocator final : public svcp::ComObject<IWbemLocator> {
public:
    WbemLocator() : ComObject("IWbemLocator", IID_IWbemLocator) {}

    HRESULT STDMETHODCALLTYPE ConnectServer(const BSTR strNetworkResource, const BSTR strUser,
                                            const BSTR strPassword, const BSTR strLocale,
                                            long lSecurityFlags, const BSTR strAuthority,
                                            IWbemContext* pCtx,
                                            IWbemServices** ppNamespace) override {
        const HRESULT result = Connect(strNetworkResource, ppNamespace);
        svcp::ComTrace("IWbemLocator::ConnectServer(%s, %s, %s, %s, 0x%x, %s, %s) = 0x%x",
                       svcp::TraceString(strNetworkResource).c_str(),
                       svcp::TraceString(strUser).c_str(), svcp::TraceString(strPassword).c_str(),
                       svcp::TraceString(strLocale).c_str(), static_cast<unsigned>(lSecurityFlags),
                       svcp::TraceString(strAuthority).c_str(), svcp::TracePointer(pCtx, "context"),
                       static_cast<unsigned>(result));
        return result;
    }

private:
    static HRESULT Connect(const BSTR resource, IWbemServices** ppNamespace) {
        const HRESULT begun =
            svcp::BeginHandingOut(SvcpCall::ConnectServer, ppNamespace, resource != nullptr);
        if (begun != S_OK) {
            return begun;
        }
        if (!svcp::EqualsIgnoringCase(resource, "ROOT\\WMI")) {
            return WBEM_E_INVALID_NAMESPACE;
        }
        *ppNamespace = svcp::NewWbemServices();
        return *ppNamespace != nullptr ? WBEM_S_NO_ERROR : E_OUTOFMEMORY;
    }
};

HRESULT CreateLocator(REFCLSID rclsid, LPUNKNOWN pUnkOuter, DWORD dwClsContext, REFIID riid,
                      LPVOID* ppv) {
    if (ppv != nullptr) {
        *ppv = nullptr;
    }
    uint32_t failure = 0;
    if (SvcpTakeFailure(SvcpCall::CoCreateInstance, &failure)) {
        return static_cast<HRESULT>(failure);
    }
    if (ppv == nullptr) {
        return E_INVALIDARG;
    }
    if (!svcp::IsComInitialised()) {
        return CO_E_NOTINITIALIZED;
    }
    if (pUnkOuter != nullptr) {
        return CLASS_E_NOAGGREGATION;
    }
    if (rclsid != CLSID_WbemLocator || (dwClsContext & CLSCTX_INPROC_SERVER) == 0) {
        return REGDB_E_CLASSNOTREG;
    }
    if (riid != IID_IUnknown && riid != IID_IWbemLocator) {
        return E_NOINTERFACE;
    }
    // Its creation reference becomes the caller's.
    auto* locator = new (std::nothrow) WbemLocator();
    if (locator == nullptr) {
        return E_OUTOFMEMORY;
    }
    *ppv = static_cast<IWbemLocator*>(locator);
    return S_OK;
}

}  // namespace

const char* svcp::TraceObject(IUnknown* object) {
    if (object == nullptr) {
        return "null";
    }
    if (dynamic_cast<WbemLocator*>(object) != nullptr) {
        return "IWbemLocator";
    }
    if (IsWbemProxy(object)) {
        return "IWbemServices";
    }
    return "object";
}

extern "C" HRESULT WINAPI CoCreateInstance(REFCLSID rclsid, LPUNKNOWN pUnkOuter, DWORD dwClsContext,
                                           REFIID riid, LPVOID* ppv) {
    const HRESULT result = CreateLocator(rclsid, pUnkOuter, dwClsContext, riid, ppv);
    svcp::ComTrace("CoCreateInstance(%s, %s, 0x%x, %s) = 0x%x", svcp::TraceGuid(rclsid).c_str(),
                   svcp::TracePointer(pUnkOuter, "outer"), dwClsContext,
                   svcp::TraceGuid(riid).c_str(), static_cast<unsigned>(result));
    return result;
}
