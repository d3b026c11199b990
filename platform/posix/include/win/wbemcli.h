// WMI subset (wbemidl.h / wbemcli.h): the locator, services, enumerator and
// class-object interfaces, as far as reading instances of one class goes.
//
// Behind them is one provider (wmi_provider.h): the namespace "ROOT\WMI" with
// the class "MSSMBios_RawSMBiosTables", which has at most one instance with
// the property "SMBiosData". Namespace, class and property names match
// without regard to case, as in WMI.
//
// Every method is thread-safe. Out-pointers are set to null on failure.
// Each step can be made to fail with a chosen HRESULT (platform_seams.h:
// ConnectServer, CreateInstanceEnum, EnumNext, ClassObjectGet); a failing
// step returns nothing.
#pragma once

#include "win/oleauto.h"

typedef long CIMTYPE;

#define WBEM_S_NO_ERROR ((HRESULT)0x00000000L)
#define WBEM_S_FALSE ((HRESULT)0x00000001L)
#define WBEM_S_TIMEDOUT ((HRESULT)0x00040004L)
#define WBEM_E_FAILED ((HRESULT)0x80041001L)
#define WBEM_E_NOT_FOUND ((HRESULT)0x80041002L)
#define WBEM_E_TYPE_MISMATCH ((HRESULT)0x80041005L)
#define WBEM_E_INVALID_PARAMETER ((HRESULT)0x80041008L)
#define WBEM_E_INVALID_NAMESPACE ((HRESULT)0x8004100EL)
#define WBEM_E_INVALID_CLASS ((HRESULT)0x80041010L)

// Time-outs of IEnumWbemClassObject::Next. WBEM_INFINITE is 0xFFFFFFFF in
// Windows' 32-bit long, that is -1.
#define WBEM_NO_WAIT 0L
#define WBEM_INFINITE (-1L)

// CIM types reported by IWbemClassObject::Get.
#define CIM_UINT8 17
#define CIM_FLAG_ARRAY 0x2000

extern "C" SVCP_PLATFORM_API const CLSID
    CLSID_WbemLocator;                                     // {4590F811-1D3A-11D0-891F-00AA004B2E24}
extern "C" SVCP_PLATFORM_API const IID IID_IWbemLocator;   // {DC12A687-737F-11CF-884D-00AA004B2E24}
extern "C" SVCP_PLATFORM_API const IID IID_IWbemServices;  // {9556DC99-828C-11CF-A37E-00AA003240C7}
extern "C" SVCP_PLATFORM_API const IID
    IID_IEnumWbemClassObject;  // {027947E1-D731-11CE-A357-000000000001}
extern "C" SVCP_PLATFORM_API const IID
    IID_IWbemClassObject;  // {DC12A681-737F-11CF-884D-00AA004B2E24}

// Never implemented here: callers pass null.
struct IWbemContext;

struct IWbemClassObject : public IUnknown {
    // Copies the property into *pVal, which is overwritten, not cleared
    // first; the caller clears it. *pType gets the property's CIM type and
    // *plFlavor 0 when given. WBEM_E_NOT_FOUND for an unknown property,
    // WBEM_E_INVALID_PARAMETER for a null name.
    virtual HRESULT STDMETHODCALLTYPE Get(LPCWSTR wszName, long lFlags, VARIANT* pVal,
                                          CIMTYPE* pType, long* plFlavor) = 0;
};

struct IEnumWbemClassObject : public IUnknown {
    // Returns up to uCount instances from a snapshot taken when the
    // enumerator was created: WBEM_S_NO_ERROR when uCount came back,
    // WBEM_S_FALSE (with *puReturned smaller, the rest of apObjects null)
    // when the enumeration ended. Never blocks, whatever the time-out.
    virtual HRESULT STDMETHODCALLTYPE Next(long lTimeout, ULONG uCount,
                                           IWbemClassObject** apObjects, ULONG* puReturned) = 0;
};

struct IWbemServices : public IUnknown {
    // A synchronous enumerator of the class's instances. WBEM_E_INVALID_CLASS
    // for a class the namespace does not have.
    virtual HRESULT STDMETHODCALLTYPE CreateInstanceEnum(const BSTR strFilter, long lFlags,
                                                         IWbemContext* pCtx,
                                                         IEnumWbemClassObject** ppEnum) = 0;
};

struct IWbemLocator : public IUnknown {
    // Connects to a namespace of the local machine ("ROOT\WMI" only):
    // WBEM_E_INVALID_NAMESPACE for another. The result is a proxy
    // (CoSetProxyBlanket applies to it).
    virtual HRESULT STDMETHODCALLTYPE ConnectServer(const BSTR strNetworkResource,
                                                    const BSTR strUser, const BSTR strPassword,
                                                    const BSTR strLocale, long lSecurityFlags,
                                                    const BSTR strAuthority, IWbemContext* pCtx,
                                                    IWbemServices** ppNamespace) = 0;
};
