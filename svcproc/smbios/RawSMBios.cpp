#include "svcproc/smbios/RawSMBios.h"

#include <cstring>
#include <new>

#include "svcproc/logging/Log.h"

namespace {

// Exit codes of the read thread (nobody reads them).
const unsigned kThreadCleanedUp = 0;
const unsigned kThreadGaveUp = 0xFFFFFFFF;

// The names are made into BSTRs just before their call; a failed allocation
// fails that step as out of memory.
void LogNoString(const char* name) {
    Log(kLogError, "CRawSMBios - ReadSMBiosThread - SysAllocString(%s) failed, HRESULT=0x%x", name,
        static_cast<unsigned>(E_OUTOFMEMORY));
}

// Copies a one-dimensional array of bytes, whatever its lower bound. Any
// other shape (which the VARIANT type should have excluded) is refused
// rather than read with the wrong element size. An empty array gives a
// successful read that allocates nothing.
bool CopyByteArray(SAFEARRAY* pArray, uint8_t** ppBytes, uint32_t* pnBytes) {
    if (pArray == nullptr || pArray->cDims != 1 || pArray->cbElements != 1) {
        Log(kLogError,
            "CRawSMBios - ReadSMBiosThread - Bad Raw SMBios array, dims=%u, element size=%u",
            pArray != nullptr ? static_cast<unsigned>(pArray->cDims) : 0u,
            pArray != nullptr ? static_cast<unsigned>(pArray->cbElements) : 0u);
        return false;
    }
    const uint32_t nBytes = pArray->rgsabound[0].cElements;
    void* pData = nullptr;
    const HRESULT hr = SafeArrayAccessData(pArray, &pData);
    if (FAILED(hr)) {
        Log(kLogError, "CRawSMBios - ReadSMBiosThread - SafeArrayAccessData failed, HRESULT=0x%x",
            static_cast<unsigned>(hr));
        return false;
    }
    uint8_t* pBytes = nullptr;
    bool bCopied = true;
    if (nBytes != 0) {
        pBytes = new (std::nothrow) uint8_t[nBytes];
        if (pBytes != nullptr) {
            std::memcpy(pBytes, pData, nBytes);
        } else {
            Log(kLogError, "CRawSMBios - ReadSMBiosThread - Out of memory for %u bytes",
                static_cast<unsigned>(nBytes));
            bCopied = false;
        }
    }
    SafeArrayUnaccessData(pArray);
    if (bCopied) {
        *ppBytes = pBytes;
        *pnBytes = nBytes;
    }
    return bCopied;
}

// Gets SMBiosData from the instance and copies it when it is an array of
// bytes.
bool ReadSMBiosData(IWbemClassObject* pObject, uint8_t** ppBytes, uint32_t* pnBytes) {
    VARIANT vtData;
    VariantInit(&vtData);
    BSTR bstrProperty = SysAllocString(L"SMBiosData");
    if (bstrProperty == nullptr) {
        LogNoString("SMBiosData");
        return false;
    }
    CIMTYPE cimType = 0;
    HRESULT hr = pObject->Get(bstrProperty, 0, &vtData, &cimType, nullptr);
    SysFreeString(bstrProperty);
    if (FAILED(hr)) {
        Log(kLogError, "CRawSMBios - ReadSMBiosThread - Get instance failed, HRESULT=0x%x",
            static_cast<unsigned>(hr));
        return false;
    }
    bool bRead = false;
    if (vtData.vt != (VT_ARRAY | VT_UI1)) {
        Log(kLogError, "CRawSMBios - ReadSMBiosThread - Bad Raw SMBios data type=%08x",
            static_cast<unsigned>(vtData.vt));
    } else {
        bRead = CopyByteArray(vtData.parray, ppBytes, pnBytes);
    }
    VariantClear(&vtData);
    return bRead;
}

// Reads the first instance only; releases its class object before
// returning.
bool ReadFirstInstance(IEnumWbemClassObject* pEnumerator, uint8_t** ppBytes, uint32_t* pnBytes) {
    IWbemClassObject* pObject = nullptr;
    ULONG nReturned = 0;
    const HRESULT hr = pEnumerator->Next(static_cast<LONG>(WBEM_INFINITE), 1, &pObject, &nReturned);
    if (FAILED(hr)) {
        Log(kLogError, "CRawSMBios - ReadSMBiosThread - Enumerator failed, HRESULT=0x%x",
            static_cast<unsigned>(hr));
        return false;
    }
    if (nReturned == 0 || pObject == nullptr) {
        Log(kLogError,
            "CRawSMBios - ReadSMBiosThread - Enumerator returned no instance, HRESULT=0x%x",
            static_cast<unsigned>(hr));
        if (pObject != nullptr) {
            pObject->Release();
        }
        return false;
    }
    const bool bRead = ReadSMBiosData(pObject, ppBytes, pnBytes);
    pObject->Release();
    return bRead;
}

// What the conversation read: the table's bytes once bRead.
struct RawTable {
    uint8_t* pBytes = nullptr;
    uint32_t nBytes = 0;
    bool bRead = false;
};

// The conversation's later steps, one function per object obtained: each
// releases its object after the steps that need it, so a failure anywhere
// releases everything newest first. kThreadCleanedUp once the enumerator was
// reached (whether or not an instance was read), else kThreadGaveUp.
unsigned ReadWithServices(IWbemServices* pServices, RawTable& table) {
    HRESULT hr =
        CoSetProxyBlanket(pServices, RPC_C_AUTHN_WINNT, RPC_C_AUTHZ_NONE, nullptr,
                          RPC_C_AUTHN_LEVEL_CALL, RPC_C_IMP_LEVEL_IMPERSONATE, nullptr, EOAC_NONE);
    if (FAILED(hr)) {
        Log(kLogError, "CRawSMBios - ReadSMBiosThread - CoSetProxyBlanket failed, HRESULT=0x%x",
            static_cast<unsigned>(hr));
        return kThreadGaveUp;
    }
    IEnumWbemClassObject* pEnumerator = nullptr;
    BSTR bstrClass = SysAllocString(L"MSSMBios_RawSMBiosTables");
    if (bstrClass == nullptr) {
        LogNoString("MSSMBios_RawSMBiosTables");
        return kThreadGaveUp;
    }
    hr = pServices->CreateInstanceEnum(bstrClass, 0, nullptr, &pEnumerator);
    SysFreeString(bstrClass);
    if (FAILED(hr)) {
        Log(kLogError, "CRawSMBios - ReadSMBiosThread - CreateInstanceEnum failed, HRESULT=0x%x",
            static_cast<unsigned>(hr));
        return kThreadGaveUp;
    }
    table.bRead = ReadFirstInstance(pEnumerator, &table.pBytes, &table.nBytes);
    pEnumerator->Release();
    return kThreadCleanedUp;
}

unsigned ReadWithLocator(IWbemLocator* pLocator, RawTable& table) {
    IWbemServices* pServices = nullptr;
    BSTR bstrNamespace = SysAllocString(L"ROOT\\WMI");
    if (bstrNamespace == nullptr) {
        LogNoString("ROOT\\WMI");
        return kThreadGaveUp;
    }
    const HRESULT hr = pLocator->ConnectServer(bstrNamespace, nullptr, nullptr, nullptr, 0, nullptr,
                                               nullptr, &pServices);
    SysFreeString(bstrNamespace);
    if (FAILED(hr)) {
        Log(kLogError, "CRawSMBios - ReadSMBiosThread - ConnectServer failed, HRESULT=0x%x",
            static_cast<unsigned>(hr));
        return kThreadGaveUp;
    }
    const unsigned code = ReadWithServices(pServices, table);
    pServices->Release();
    return code;
}

}  // namespace

CRawSMBios::CRawSMBios() : m_pBytes(nullptr), m_nBytes(0), m_bReadOk(false) {
    LogQuick(kLogTrace, "CRawSMBios Constructed");
}

CRawSMBios::~CRawSMBios() {
    if (m_pBytes != nullptr) {
        delete[] m_pBytes;
    }
    LogQuick(kLogTrace, "CRawSMBios Destroyed");
}

bool CRawSMBios::Initialise() {
    HANDLE hThread = reinterpret_cast<HANDLE>(
        _beginthreadex(nullptr, 0, &CRawSMBios::ReadSMBiosThread, this, 0, nullptr));
    if (hThread == nullptr) {
        Log(kLogError, "CRawSMBios::Initialise - _beginthreadex error=0x%x",
            static_cast<unsigned>(GetLastError()));
        return false;
    }
    LogQuick(kLogTrace, "CRawSMBios::Initialise - Read Thread Started");
    // No time limit: start-up waits for WMI however long it takes.
    WaitForSingleObject(hThread, INFINITE);
    Log(kLogTrace, "CRawSMBios::Initialise - Read Thread Ended, ReadOk=%x, #Bytes=%d",
        m_bReadOk ? 1u : 0u, static_cast<unsigned>(m_nBytes));
    CloseHandle(hThread);
    return m_bReadOk;
}

void CRawSMBios::AssignForTesting(const uint8_t* bytes, size_t length) {
    delete[] m_pBytes;
    m_pBytes = nullptr;
    m_nBytes = 0;
    if (bytes != nullptr && length != 0) {
        const uint32_t nBytes = length > UINT32_MAX ? UINT32_MAX : static_cast<uint32_t>(length);
        m_pBytes = new uint8_t[nBytes];
        std::memcpy(m_pBytes, bytes, nBytes);
        m_nBytes = nBytes;
    }
    m_bReadOk = true;
}

// Runs the whole WMI conversation on its own thread, in its own
// multithreaded apartment; the caller's COM state is never touched. Each
// failure releases what was obtained so far, newest first.
unsigned __stdcall CRawSMBios::ReadSMBiosThread(void* self) {
    CRawSMBios* pThis = static_cast<CRawSMBios*>(self);
    LogQuick(kLogTrace, "ReadSMBiosThread entry");
    pThis->m_bReadOk = false;
    // A repeated read starts from nothing.
    delete[] pThis->m_pBytes;
    pThis->m_pBytes = nullptr;
    pThis->m_nBytes = 0;

    HRESULT hr = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    if (FAILED(hr)) {
        Log(kLogError, "CRawSMBios - ReadSMBiosThread - CoInitializeEx failed, HRESULT=0x%x",
            static_cast<unsigned>(hr));
        return kThreadGaveUp;
    }

    IWbemLocator* pLocator = nullptr;
    hr = CoCreateInstance(CLSID_WbemLocator, nullptr, CLSCTX_INPROC_SERVER, IID_IWbemLocator,
                          reinterpret_cast<LPVOID*>(&pLocator));
    if (FAILED(hr)) {
        Log(kLogError, "CRawSMBios - ReadSMBiosThread - CoCreateInstance failed, HRESULT=0x%x",
            static_cast<unsigned>(hr));
        CoUninitialize();
        return kThreadGaveUp;
    }
    RawTable table;
    const unsigned code = ReadWithLocator(pLocator, table);
    if (table.bRead) {
        pThis->m_pBytes = table.pBytes;
        pThis->m_nBytes = table.nBytes;
        pThis->m_bReadOk = true;
    }
    pLocator->Release();
    CoUninitialize();
    return code;
}
