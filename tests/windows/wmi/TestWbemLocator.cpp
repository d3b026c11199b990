// A stand-in for Windows' WMI locator, loaded in process in place of Wine's
// wbemprox (the test registers it under CLSID_WbemLocator): it answers what
// the library asks for SMBIOS, ROOT\WMI's MSSMBios_RawSMBiosTables with its
// SMBiosData, from the table file that SVCP_TEST_SMBIOS_TABLE names (or,
// without it, HKLM\Software\svcproc-tests's SmbiosTable: a service does not
// inherit a test's environment). The
// library makes its real COM calls, including CoSetProxyBlanket, which this
// object lets succeed by answering IClientSecurity.
//
// Everything else WMI offers fails with Hr(WBEM_E_NOT_SUPPORTED). Each object is
// free-threaded (ThreadingModel Both) and reference-counted atomically.
#include <atomic>
#include <cstring>
#include <fstream>
#include <iterator>
#include <vector>

#include "platform.h"

namespace {

std::atomic<long> g_nObjects{0};

// WBEM's failure codes as HRESULTs (their enumerators exceed LONG's range).
constexpr HRESULT Hr(WBEMSTATUS status) {
    return static_cast<HRESULT>(static_cast<unsigned long>(status));
}

bool SameText(const wchar_t* a, const wchar_t* b) {
    return a != nullptr && b != nullptr && _wcsicmp(a, b) == 0;
}

// The table file, read on each Get so that a test may change it.
bool ReadTable(std::vector<unsigned char>* table) {
    wchar_t path[MAX_PATH];
    const DWORD length = GetEnvironmentVariableW(L"SVCP_TEST_SMBIOS_TABLE", path, MAX_PATH);
    if (length >= MAX_PATH) {
        return false;
    }
    if (length == 0) {
        HKEY key = nullptr;
        if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"Software\\svcproc-tests", 0, KEY_QUERY_VALUE,
                          &key) != ERROR_SUCCESS) {
            return false;
        }
        DWORD type = 0;
        DWORD size = sizeof path - sizeof path[0];
        const LSTATUS status = RegQueryValueExW(key, L"SmbiosTable", nullptr, &type,
                                                reinterpret_cast<BYTE*>(path), &size);
        RegCloseKey(key);
        if (status != ERROR_SUCCESS || type != REG_SZ) {
            return false;
        }
        path[size / sizeof path[0]] = L'\0';
    }
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        return false;
    }
    table->assign(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
    return true;
}

// IUnknown for a single-interface object; `Derived` names its interfaces.
template <class Derived, class Interface>
class CComObject : public Interface {
public:
    CComObject() { ++g_nObjects; }
    virtual ~CComObject() { --g_nObjects; }
    CComObject(const CComObject&) = delete;
    CComObject& operator=(const CComObject&) = delete;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
        if (object == nullptr) {
            return E_POINTER;
        }
        *object = static_cast<Derived*>(this)->Find(iid);
        if (*object == nullptr) {
            return E_NOINTERFACE;
        }
        AddRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++m_nReferences; }
    ULONG STDMETHODCALLTYPE Release() override {
        const ULONG left = --m_nReferences;
        if (left == 0) {
            delete this;
        }
        return left;
    }

    void* Find(REFIID iid) {
        if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, __uuidof(Interface))) {
            return static_cast<Interface*>(this);
        }
        return nullptr;
    }

private:
    std::atomic<ULONG> m_nReferences{1};
};

// One MSSMBios_RawSMBiosTables instance.
class CRawTablesObject : public CComObject<CRawTablesObject, IWbemClassObject> {
public:
    HRESULT STDMETHODCALLTYPE Get(LPCWSTR name, LONG, VARIANT* value, CIMTYPE* type,
                                  LONG* flavor) override {
        if (!SameText(name, L"SMBiosData")) {
            return Hr(WBEM_E_NOT_FOUND);
        }
        std::vector<unsigned char> table;
        if (!ReadTable(&table)) {
            return Hr(WBEM_E_NOT_FOUND);
        }
        if (value != nullptr) {
            SAFEARRAY* array = SafeArrayCreateVector(VT_UI1, 0, static_cast<ULONG>(table.size()));
            if (array == nullptr) {
                return Hr(WBEM_E_OUT_OF_MEMORY);
            }
            void* data = nullptr;
            SafeArrayAccessData(array, &data);
            if (!table.empty()) {
                std::memcpy(data, table.data(), table.size());
            }
            SafeArrayUnaccessData(array);
            VariantInit(value);
            V_VT(value) = VT_ARRAY | VT_UI1;
            V_ARRAY(value) = array;
        }
        if (type != nullptr) {
            *type = CIM_UINT8 | CIM_FLAG_ARRAY;
        }
        if (flavor != nullptr) {
            *flavor = WBEM_FLAVOR_ORIGIN_LOCAL;
        }
        return WBEM_S_NO_ERROR;
    }

    HRESULT STDMETHODCALLTYPE GetQualifierSet(IWbemQualifierSet**) override {
        return Hr(WBEM_E_NOT_SUPPORTED);
    }
    HRESULT STDMETHODCALLTYPE Put(LPCWSTR, LONG, VARIANT*, CIMTYPE) override {
        return Hr(WBEM_E_NOT_SUPPORTED);
    }
    HRESULT STDMETHODCALLTYPE Delete(LPCWSTR) override { return Hr(WBEM_E_NOT_SUPPORTED); }
    HRESULT STDMETHODCALLTYPE GetNames(LPCWSTR, LONG, VARIANT*, SAFEARRAY**) override {
        return Hr(WBEM_E_NOT_SUPPORTED);
    }
    HRESULT STDMETHODCALLTYPE BeginEnumeration(LONG) override { return Hr(WBEM_E_NOT_SUPPORTED); }
    HRESULT STDMETHODCALLTYPE Next(LONG, BSTR*, VARIANT*, CIMTYPE*, LONG*) override {
        return Hr(WBEM_E_NOT_SUPPORTED);
    }
    HRESULT STDMETHODCALLTYPE EndEnumeration() override { return Hr(WBEM_E_NOT_SUPPORTED); }
    HRESULT STDMETHODCALLTYPE GetPropertyQualifierSet(LPCWSTR, IWbemQualifierSet**) override {
        return Hr(WBEM_E_NOT_SUPPORTED);
    }
    HRESULT STDMETHODCALLTYPE Clone(IWbemClassObject**) override {
        return Hr(WBEM_E_NOT_SUPPORTED);
    }
    HRESULT STDMETHODCALLTYPE GetObjectText(LONG, BSTR*) override {
        return Hr(WBEM_E_NOT_SUPPORTED);
    }
    HRESULT STDMETHODCALLTYPE SpawnDerivedClass(LONG, IWbemClassObject**) override {
        return Hr(WBEM_E_NOT_SUPPORTED);
    }
    HRESULT STDMETHODCALLTYPE SpawnInstance(LONG, IWbemClassObject**) override {
        return Hr(WBEM_E_NOT_SUPPORTED);
    }
    HRESULT STDMETHODCALLTYPE CompareTo(LONG, IWbemClassObject*) override {
        return Hr(WBEM_E_NOT_SUPPORTED);
    }
    HRESULT STDMETHODCALLTYPE GetPropertyOrigin(LPCWSTR, BSTR*) override {
        return Hr(WBEM_E_NOT_SUPPORTED);
    }
    HRESULT STDMETHODCALLTYPE InheritsFrom(LPCWSTR) override { return Hr(WBEM_E_NOT_SUPPORTED); }
    HRESULT STDMETHODCALLTYPE GetMethod(LPCWSTR, LONG, IWbemClassObject**,
                                        IWbemClassObject**) override {
        return Hr(WBEM_E_NOT_SUPPORTED);
    }
    HRESULT STDMETHODCALLTYPE PutMethod(LPCWSTR, LONG, IWbemClassObject*,
                                        IWbemClassObject*) override {
        return Hr(WBEM_E_NOT_SUPPORTED);
    }
    HRESULT STDMETHODCALLTYPE DeleteMethod(LPCWSTR) override { return Hr(WBEM_E_NOT_SUPPORTED); }
    HRESULT STDMETHODCALLTYPE BeginMethodEnumeration(LONG) override {
        return Hr(WBEM_E_NOT_SUPPORTED);
    }
    HRESULT STDMETHODCALLTYPE NextMethod(LONG, BSTR*, IWbemClassObject**,
                                         IWbemClassObject**) override {
        return Hr(WBEM_E_NOT_SUPPORTED);
    }
    HRESULT STDMETHODCALLTYPE EndMethodEnumeration() override { return Hr(WBEM_E_NOT_SUPPORTED); }
    HRESULT STDMETHODCALLTYPE GetMethodQualifierSet(LPCWSTR, IWbemQualifierSet**) override {
        return Hr(WBEM_E_NOT_SUPPORTED);
    }
    HRESULT STDMETHODCALLTYPE GetMethodOrigin(LPCWSTR, BSTR*) override {
        return Hr(WBEM_E_NOT_SUPPORTED);
    }
};

// The instances of the class: exactly one.
class CRawTablesEnum : public CComObject<CRawTablesEnum, IEnumWbemClassObject> {
public:
    HRESULT STDMETHODCALLTYPE Next(LONG, ULONG count, IWbemClassObject** objects,
                                   ULONG* returned) override {
        if (objects == nullptr || returned == nullptr) {
            return Hr(WBEM_E_INVALID_PARAMETER);
        }
        *returned = 0;
        if (count == 0) {
            return WBEM_S_NO_ERROR;
        }
        if (m_bDone) {
            return WBEM_S_FALSE;
        }
        m_bDone = true;
        objects[0] = new CRawTablesObject;
        *returned = 1;
        return count == 1 ? WBEM_S_NO_ERROR : WBEM_S_FALSE;
    }
    HRESULT STDMETHODCALLTYPE Reset() override {
        m_bDone = false;
        return WBEM_S_NO_ERROR;
    }

    HRESULT STDMETHODCALLTYPE NextAsync(ULONG, IWbemObjectSink*) override {
        return Hr(WBEM_E_NOT_SUPPORTED);
    }
    HRESULT STDMETHODCALLTYPE Clone(IEnumWbemClassObject**) override {
        return Hr(WBEM_E_NOT_SUPPORTED);
    }
    HRESULT STDMETHODCALLTYPE Skip(LONG, ULONG) override { return Hr(WBEM_E_NOT_SUPPORTED); }

private:
    std::atomic<bool> m_bDone{false};
};

// ROOT\WMI, which is also its own proxy for the blanket calls.
class CWmiServices : public CComObject<CWmiServices, IWbemServices>, public IClientSecurity {
public:
    void* Find(REFIID iid) {
        if (IsEqualIID(iid, IID_IClientSecurity)) {
            return static_cast<IClientSecurity*>(this);
        }
        return CComObject::Find(iid);
    }

    HRESULT STDMETHODCALLTYPE CreateInstanceEnum(const BSTR className, LONG, IWbemContext*,
                                                 IEnumWbemClassObject** enumerator) override {
        if (enumerator == nullptr) {
            return Hr(WBEM_E_INVALID_PARAMETER);
        }
        *enumerator = nullptr;
        if (!SameText(className, L"MSSMBios_RawSMBiosTables")) {
            return Hr(WBEM_E_INVALID_CLASS);
        }
        *enumerator = new CRawTablesEnum;
        return WBEM_S_NO_ERROR;
    }

    // IClientSecurity: the blanket is accepted and changes nothing.
    HRESULT STDMETHODCALLTYPE QueryBlanket(IUnknown*, DWORD*, DWORD*, OLECHAR**, DWORD*, DWORD*,
                                           void**, DWORD*) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE SetBlanket(IUnknown*, DWORD, DWORD, OLECHAR*, DWORD, DWORD, void*,
                                         DWORD) override {
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE CopyProxy(IUnknown* proxy, IUnknown** copy) override {
        if (copy == nullptr) {
            return E_POINTER;
        }
        proxy->AddRef();
        *copy = proxy;
        return S_OK;
    }

    HRESULT STDMETHODCALLTYPE OpenNamespace(const BSTR, LONG, IWbemContext*, IWbemServices**,
                                            IWbemCallResult**) override {
        return Hr(WBEM_E_NOT_SUPPORTED);
    }
    HRESULT STDMETHODCALLTYPE CancelAsyncCall(IWbemObjectSink*) override {
        return Hr(WBEM_E_NOT_SUPPORTED);
    }
    HRESULT STDMETHODCALLTYPE QueryObjectSink(LONG, IWbemObjectSink**) override {
        return Hr(WBEM_E_NOT_SUPPORTED);
    }
    HRESULT STDMETHODCALLTYPE GetObject(const BSTR, LONG, IWbemContext*, IWbemClassObject**,
                                        IWbemCallResult**) override {
        return Hr(WBEM_E_NOT_SUPPORTED);
    }
    HRESULT STDMETHODCALLTYPE GetObjectAsync(const BSTR, LONG, IWbemContext*,
                                             IWbemObjectSink*) override {
        return Hr(WBEM_E_NOT_SUPPORTED);
    }
    HRESULT STDMETHODCALLTYPE PutClass(IWbemClassObject*, LONG, IWbemContext*,
                                       IWbemCallResult**) override {
        return Hr(WBEM_E_NOT_SUPPORTED);
    }
    HRESULT STDMETHODCALLTYPE PutClassAsync(IWbemClassObject*, LONG, IWbemContext*,
                                            IWbemObjectSink*) override {
        return Hr(WBEM_E_NOT_SUPPORTED);
    }
    HRESULT STDMETHODCALLTYPE DeleteClass(const BSTR, LONG, IWbemContext*,
                                          IWbemCallResult**) override {
        return Hr(WBEM_E_NOT_SUPPORTED);
    }
    HRESULT STDMETHODCALLTYPE DeleteClassAsync(const BSTR, LONG, IWbemContext*,
                                               IWbemObjectSink*) override {
        return Hr(WBEM_E_NOT_SUPPORTED);
    }
    HRESULT STDMETHODCALLTYPE CreateClassEnum(const BSTR, LONG, IWbemContext*,
                                              IEnumWbemClassObject**) override {
        return Hr(WBEM_E_NOT_SUPPORTED);
    }
    HRESULT STDMETHODCALLTYPE CreateClassEnumAsync(const BSTR, LONG, IWbemContext*,
                                                   IWbemObjectSink*) override {
        return Hr(WBEM_E_NOT_SUPPORTED);
    }
    HRESULT STDMETHODCALLTYPE PutInstance(IWbemClassObject*, LONG, IWbemContext*,
                                          IWbemCallResult**) override {
        return Hr(WBEM_E_NOT_SUPPORTED);
    }
    HRESULT STDMETHODCALLTYPE PutInstanceAsync(IWbemClassObject*, LONG, IWbemContext*,
                                               IWbemObjectSink*) override {
        return Hr(WBEM_E_NOT_SUPPORTED);
    }
    HRESULT STDMETHODCALLTYPE DeleteInstance(const BSTR, LONG, IWbemContext*,
                                             IWbemCallResult**) override {
        return Hr(WBEM_E_NOT_SUPPORTED);
    }
    HRESULT STDMETHODCALLTYPE DeleteInstanceAsync(const BSTR, LONG, IWbemContext*,
                                                  IWbemObjectSink*) override {
        return Hr(WBEM_E_NOT_SUPPORTED);
    }
    HRESULT STDMETHODCALLTYPE CreateInstanceEnumAsync(const BSTR, LONG, IWbemContext*,
                                                      IWbemObjectSink*) override {
        return Hr(WBEM_E_NOT_SUPPORTED);
    }
    HRESULT STDMETHODCALLTYPE ExecQuery(const BSTR, const BSTR, LONG, IWbemContext*,
                                        IEnumWbemClassObject**) override {
        return Hr(WBEM_E_NOT_SUPPORTED);
    }
    HRESULT STDMETHODCALLTYPE ExecQueryAsync(const BSTR, const BSTR, LONG, IWbemContext*,
                                             IWbemObjectSink*) override {
        return Hr(WBEM_E_NOT_SUPPORTED);
    }
    HRESULT STDMETHODCALLTYPE ExecNotificationQuery(const BSTR, const BSTR, LONG, IWbemContext*,
                                                    IEnumWbemClassObject**) override {
        return Hr(WBEM_E_NOT_SUPPORTED);
    }
    HRESULT STDMETHODCALLTYPE ExecNotificationQueryAsync(const BSTR, const BSTR, LONG,
                                                         IWbemContext*, IWbemObjectSink*) override {
        return Hr(WBEM_E_NOT_SUPPORTED);
    }
    HRESULT STDMETHODCALLTYPE ExecMethod(const BSTR, const BSTR, LONG, IWbemContext*,
                                         IWbemClassObject*, IWbemClassObject**,
                                         IWbemCallResult**) override {
        return Hr(WBEM_E_NOT_SUPPORTED);
    }
    HRESULT STDMETHODCALLTYPE ExecMethodAsync(const BSTR, const BSTR, LONG, IWbemContext*,
                                              IWbemClassObject*, IWbemObjectSink*) override {
        return Hr(WBEM_E_NOT_SUPPORTED);
    }

private:
    // IClientSecurity's IUnknown is the object's.
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;
};

HRESULT STDMETHODCALLTYPE CWmiServices::QueryInterface(REFIID iid, void** object) {
    return CComObject::QueryInterface(iid, object);
}
ULONG STDMETHODCALLTYPE CWmiServices::AddRef() {
    return CComObject::AddRef();
}
ULONG STDMETHODCALLTYPE CWmiServices::Release() {
    return CComObject::Release();
}

class CLocator : public CComObject<CLocator, IWbemLocator> {
public:
    HRESULT STDMETHODCALLTYPE ConnectServer(const BSTR space, const BSTR, const BSTR, const BSTR,
                                            LONG, const BSTR, IWbemContext*,
                                            IWbemServices** services) override {
        if (services == nullptr) {
            return Hr(WBEM_E_INVALID_PARAMETER);
        }
        *services = nullptr;
        if (!SameText(space, L"ROOT\\WMI")) {
            return Hr(WBEM_E_INVALID_NAMESPACE);
        }
        *services = new CWmiServices;
        return WBEM_S_NO_ERROR;
    }
};

class CLocatorFactory : public CComObject<CLocatorFactory, IClassFactory> {
public:
    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID iid, void** object) override {
        if (object == nullptr) {
            return E_POINTER;
        }
        *object = nullptr;
        if (outer != nullptr) {
            return CLASS_E_NOAGGREGATION;
        }
        CLocator* locator = new CLocator;
        const HRESULT hr = locator->QueryInterface(iid, object);
        locator->Release();
        return hr;
    }
    HRESULT STDMETHODCALLTYPE LockServer(BOOL lock) override {
        g_nObjects += lock ? 1 : -1;
        return S_OK;
    }
};

}  // namespace

extern "C" __declspec(dllexport) HRESULT STDAPICALLTYPE
    DllGetClassObject(REFCLSID clsid, REFIID iid, void** object) {
    if (object == nullptr) {
        return E_POINTER;
    }
    *object = nullptr;
    if (!IsEqualCLSID(clsid, CLSID_WbemLocator)) {
        return CLASS_E_CLASSNOTAVAILABLE;
    }
    CLocatorFactory* factory = new CLocatorFactory;
    const HRESULT hr = factory->QueryInterface(iid, object);
    factory->Release();
    return hr;
}

extern "C" __declspec(dllexport) HRESULT STDAPICALLTYPE DllCanUnloadNow() {
    return g_nObjects.load() == 0 ? S_OK : S_FALSE;
}
