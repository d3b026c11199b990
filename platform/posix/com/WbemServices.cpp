// The ROOT\WMI services proxy, its instance enumerator and class object, and
// CoSetProxyBlanket.
#include <mutex>
#include <new>

#include "ComObject.h"
#include "SmbiosProvider.h"
#include "Wbem.h"
#include "platform_seams.h"

namespace {

using svcp::SmbiosInstance;
using InstancePtr = std::shared_ptr<const SmbiosInstance>;

class WbemClassObject final : public svcp::ComObject<IWbemClassObject> {
public:
    explicit WbemClassObject(InstancePtr instance)
        : ComObject("IWbemClassObject", IID_IWbemClassObject), m_instance(std::move(instance)) {}

    HRESULT STDMETHODCALLTYPE Get(LPCWSTR wszName, long lFlags, VARIANT* pVal, CIMTYPE* pType,
                                  long* plFlavor) override {
        const HRESULT result = GetProperty(wszName, pVal, pType, plFlavor);
        svcp::ComTrace("IWbemClassObject::Get(%s, 0x%x, %s, %s, %s) = 0x%x",
                       svcp::TraceString(wszName).c_str(), static_cast<unsigned>(lFlags),
                       svcp::TracePointer(pVal, "value"), svcp::TracePointer(pType, "type"),
                       svcp::TracePointer(plFlavor, "flavor"), static_cast<unsigned>(result));
        return result;
    }

private:
    HRESULT GetProperty(LPCWSTR name, VARIANT* value, CIMTYPE* type, long* flavor) const {
        uint32_t failure = 0;
        if (SvcpTakeFailure(SvcpCall::ClassObjectGet, &failure)) {
            return static_cast<HRESULT>(failure);
        }
        if (name == nullptr) {
            return WBEM_E_INVALID_PARAMETER;
        }
        if (!svcp::EqualsIgnoringCase(name, "SMBiosData")) {
            return WBEM_E_NOT_FOUND;
        }
        if (value != nullptr) {
            const HRESULT made = svcp::MakeSmbiosData(*m_instance, value);
            if (FAILED(made)) {
                return made;
            }
        }
        // The class declares the property uint8[], whatever is served.
        if (type != nullptr) {
            *type = CIM_UINT8 | CIM_FLAG_ARRAY;
        }
        if (flavor != nullptr) {
            *flavor = 0;
        }
        return WBEM_S_NO_ERROR;
    }

    const InstancePtr m_instance;
};

class WbemEnumerator final : public svcp::ComObject<IEnumWbemClassObject> {
public:
    explicit WbemEnumerator(InstancePtr instance)
        : ComObject("IEnumWbemClassObject", IID_IEnumWbemClassObject),
          m_instance(std::move(instance)) {}

    HRESULT STDMETHODCALLTYPE Next(long lTimeout, ULONG uCount, IWbemClassObject** apObjects,
                                   ULONG* puReturned) override {
        ULONG returned = 0;
        const HRESULT result = Take(uCount, apObjects, puReturned, &returned);
        svcp::ComTrace(
            "IEnumWbemClassObject::Next(0x%x, %u, %s, %s) = 0x%x, returned %u",
            static_cast<unsigned>(lTimeout), uCount, svcp::TracePointer(apObjects, "objects"),
            svcp::TracePointer(puReturned, "returned"), static_cast<unsigned>(result), returned);
        return result;
    }

private:
    HRESULT Take(ULONG count, IWbemClassObject** objects, ULONG* returnedOut, ULONG* returned) {
        if (objects != nullptr) {
            for (ULONG i = 0; i < count; ++i) {
                objects[i] = nullptr;
            }
        }
        if (returnedOut != nullptr) {
            *returnedOut = 0;
        }
        uint32_t failure = 0;
        if (SvcpTakeFailure(SvcpCall::EnumNext, &failure)) {
            return static_cast<HRESULT>(failure);
        }
        if (objects == nullptr || returnedOut == nullptr) {
            return WBEM_E_INVALID_PARAMETER;
        }
        // The class has at most one instance; the enumerator hands it out once.
        if (count != 0) {
            std::lock_guard<std::mutex> guard(m_lock);
            if (m_instance != nullptr && !m_bDone) {
                auto* object = new (std::nothrow) WbemClassObject(m_instance);
                if (object == nullptr) {
                    return E_OUTOFMEMORY;
                }
                objects[0] = object;
                *returned = 1;
                m_bDone = true;
            }
        }
        *returnedOut = *returned;
        return *returned == count ? WBEM_S_NO_ERROR : WBEM_S_FALSE;
    }

    const InstancePtr m_instance;  // null: the class has no instance
    std::mutex m_lock;
    bool m_bDone = false;  // guarded by m_lock
};

class WbemServices final : public svcp::ComObject<IWbemServices> {
public:
    WbemServices() : ComObject("IWbemServices", IID_IWbemServices) {}

    HRESULT STDMETHODCALLTYPE CreateInstanceEnum(const BSTR strFilter, long lFlags,
                                                 IWbemContext* pCtx,
                                                 IEnumWbemClassObject** ppEnum) override {
        const HRESULT result = Enumerate(strFilter, ppEnum);
        svcp::ComTrace("IWbemServices::CreateInstanceEnum(%s, 0x%x, %s) = 0x%x",
                       svcp::TraceString(strFilter).c_str(), static_cast<unsigned>(lFlags),
                       svcp::TracePointer(pCtx, "context"), static_cast<unsigned>(result));
        return result;
    }

private:
    static HRESULT Enumerate(const BSTR className, IEnumWbemClassObject** ppEnum) {
        const HRESULT begun =
            svcp::BeginHandingOut(SvcpCall::CreateInstanceEnum, ppEnum, className != nullptr);
        if (begun != S_OK) {
            return begun;
        }
        if (!svcp::EqualsIgnoringCase(className, "MSSMBios_RawSMBiosTables")) {
            return WBEM_E_INVALID_CLASS;
        }
        *ppEnum = new (std::nothrow) WbemEnumerator(svcp::SnapshotSmbiosInstance());
        return *ppEnum != nullptr ? WBEM_S_NO_ERROR : E_OUTOFMEMORY;
    }
};

}  // namespace

IWbemServices* svcp::NewWbemServices() {
    return new (std::nothrow) WbemServices();
}

bool svcp::IsWbemProxy(IUnknown* object) {
    return dynamic_cast<WbemServices*>(object) != nullptr;
}

extern "C" HRESULT WINAPI CoSetProxyBlanket(IUnknown* pProxy, DWORD dwAuthnSvc, DWORD dwAuthzSvc,
                                            OLECHAR* pServerPrincName, DWORD dwAuthnLevel,
                                            DWORD dwImpLevel, RPC_AUTH_IDENTITY_HANDLE pAuthInfo,
                                            DWORD dwCapabilities) {
    HRESULT result = S_OK;
    uint32_t failure = 0;
    if (SvcpTakeFailure(SvcpCall::CoSetProxyBlanket, &failure)) {
        result = static_cast<HRESULT>(failure);
    } else if (pProxy == nullptr) {
        result = E_INVALIDARG;
    } else if (!svcp::IsWbemProxy(pProxy)) {
        result = E_NOINTERFACE;
    }
    // The settings are accepted and not modelled further: the trace shows them.
    svcp::ComTrace("CoSetProxyBlanket(%s, %u, %u, %s, %u, %u, %s, 0x%x) = 0x%x",
                   svcp::TraceObject(pProxy), dwAuthnSvc, dwAuthzSvc,
                   svcp::TraceString(pServerPrincName).c_str(), dwAuthnLevel, dwImpLevel,
                   svcp::TracePointer(pAuthInfo, "identity"), dwCapabilities,
                   static_cast<unsigned>(result));
    return result;
}
