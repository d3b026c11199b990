// COM subset (objbase.h): HRESULT codes, IUnknown, per-thread initialisation,
// object creation and proxy security.
//
// Apartments. CoInitializeEx/CoUninitialize keep a per-thread count and mode,
// as Windows does: the first call on a thread returns S_OK, a later call in
// the same mode S_FALSE (and must be balanced too), a call in the other mode
// RPC_E_CHANGED_MODE (and must not be balanced). A thread whose count is 0
// gets CO_E_NOTINITIALIZED from CoCreateInstance. Apartments are not
// otherwise modelled: any thread may call any object.
//
// Objects. The only creatable class is the WBEM locator (win/wbemcli.h). Its
// objects count references with AddRef/Release and free themselves at zero;
// they are safe to use from several threads.
//
// Fault injection: CoInitializeEx and CoCreateInstance can be made to fail
// with a chosen HRESULT (platform_seams.h); the failing call changes nothing.
#pragma once

#include "win/types.h"

// --- HRESULT --------------------------------------------------------------------
#define SUCCEEDED(hr) (((HRESULT)(hr)) >= 0)
#define FAILED(hr) (((HRESULT)(hr)) < 0)

#define S_OK ((HRESULT)0x00000000L)
#define S_FALSE ((HRESULT)0x00000001L)
#define E_NOTIMPL ((HRESULT)0x80004001L)
#define E_NOINTERFACE ((HRESULT)0x80004002L)
#define E_POINTER ((HRESULT)0x80004003L)
#define E_FAIL ((HRESULT)0x80004005L)
#define E_UNEXPECTED ((HRESULT)0x8000FFFFL)
#define E_OUTOFMEMORY ((HRESULT)0x8007000EL)
#define E_INVALIDARG ((HRESULT)0x80070057L)
#define CLASS_E_NOAGGREGATION ((HRESULT)0x80040110L)
#define REGDB_E_CLASSNOTREG ((HRESULT)0x80040154L)
#define CO_E_NOTINITIALIZED ((HRESULT)0x800401F0L)
#define RPC_E_CHANGED_MODE ((HRESULT)0x80010106L)

#define STDMETHODCALLTYPE __stdcall

// --- Interfaces -------------------------------------------------------------------
// Declared as abstract structs in the Windows vtable order of the methods
// declared; methods of an interface that nothing here calls are left out.
extern "C" SVCP_PLATFORM_API const IID IID_IUnknown;  // {00000000-0000-0000-C000-000000000046}

struct IUnknown {
    virtual HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppvObject) = 0;
    virtual ULONG STDMETHODCALLTYPE AddRef() = 0;
    virtual ULONG STDMETHODCALLTYPE Release() = 0;
};
typedef IUnknown* LPUNKNOWN;

typedef WCHAR OLECHAR;
typedef OLECHAR* LPOLESTR;
typedef const OLECHAR* LPCOLESTR;

// --- Initialisation -----------------------------------------------------------------
typedef enum tagCOINIT {
    COINIT_APARTMENTTHREADED = 0x2,
    COINIT_MULTITHREADED = 0x0,
    COINIT_DISABLE_OLE1DDE = 0x4,
    COINIT_SPEED_OVER_MEMORY = 0x8
} COINIT;

typedef enum tagCLSCTX {
    CLSCTX_INPROC_SERVER = 0x1,
    CLSCTX_INPROC_HANDLER = 0x2,
    CLSCTX_LOCAL_SERVER = 0x4,
    CLSCTX_REMOTE_SERVER = 0x10
} CLSCTX;

// Authentication constants of CoSetProxyBlanket.
#define RPC_C_AUTHN_NONE 0
#define RPC_C_AUTHN_WINNT 10
#define RPC_C_AUTHN_DEFAULT 0xFFFFFFFFL
#define RPC_C_AUTHZ_NONE 0
#define RPC_C_AUTHN_LEVEL_DEFAULT 0
#define RPC_C_AUTHN_LEVEL_NONE 1
#define RPC_C_AUTHN_LEVEL_CONNECT 2
#define RPC_C_AUTHN_LEVEL_CALL 3
#define RPC_C_IMP_LEVEL_DEFAULT 0
#define RPC_C_IMP_LEVEL_ANONYMOUS 1
#define RPC_C_IMP_LEVEL_IDENTIFY 2
#define RPC_C_IMP_LEVEL_IMPERSONATE 3
typedef enum tagEOLE_AUTHENTICATION_CAPABILITIES { EOAC_NONE = 0 } EOLE_AUTHENTICATION_CAPABILITIES;
typedef void* RPC_AUTH_IDENTITY_HANDLE;

extern "C" {

// Initialises COM on the calling thread. pvReserved must be null and
// dwCoInit a combination of COINIT values (else E_INVALIDARG).
SVCP_PLATFORM_API HRESULT WINAPI CoInitializeEx(LPVOID pvReserved, DWORD dwCoInit);
// Balances one successful CoInitializeEx (S_OK or S_FALSE) of the calling
// thread; does nothing on a thread whose count is 0.
SVCP_PLATFORM_API void WINAPI CoUninitialize(void);

// Creates an object of class rclsid and returns its riid interface in *ppv
// (null on failure). Errors: CO_E_NOTINITIALIZED, CLASS_E_NOAGGREGATION (an
// outer object), REGDB_E_CLASSNOTREG (unknown class or no in-process
// context), E_NOINTERFACE, E_INVALIDARG (ppv null).
SVCP_PLATFORM_API HRESULT WINAPI CoCreateInstance(REFCLSID rclsid, LPUNKNOWN pUnkOuter,
                                                  DWORD dwClsContext, REFIID riid, LPVOID* ppv);

// Sets the authentication of calls through a proxy. Only the WMI services
// object is a proxy; any other object gives E_NOINTERFACE, null E_INVALIDARG.
// Fault injection: SvcpCall::CoSetProxyBlanket.
SVCP_PLATFORM_API HRESULT WINAPI CoSetProxyBlanket(IUnknown* pProxy, DWORD dwAuthnSvc,
                                                   DWORD dwAuthzSvc, OLECHAR* pServerPrincName,
                                                   DWORD dwAuthnLevel, DWORD dwImpLevel,
                                                   RPC_AUTH_IDENTITY_HANDLE pAuthInfo,
                                                   DWORD dwCapabilities);

}  // extern "C"
