// COM core and OLE Automation stand-ins: per-thread initialisation, BSTR,
// SAFEARRAY, VARIANT and reference counting.
#include <cstring>
#include <thread>

#include <gtest/gtest.h>

#include "platform.h"
#include "platform_seams.h"
#include "wmi_provider.h"

namespace {

HRESULT CreateLocator(IWbemLocator** locator) {
    return CoCreateInstance(CLSID_WbemLocator, nullptr, CLSCTX_INPROC_SERVER, IID_IWbemLocator,
                            reinterpret_cast<LPVOID*>(locator));
}

// Each test runs on a fresh thread so that its COM state starts empty.
template <class Body>
void OnNewThread(Body body) {
    std::thread(body).join();
}

TEST(ComApartment, CountsInitialisationsPerThread) {
    OnNewThread([] {
        IWbemLocator* locator = nullptr;
        EXPECT_EQ(CreateLocator(&locator), CO_E_NOTINITIALIZED);
        EXPECT_EQ(locator, nullptr);
        EXPECT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_OK);
        EXPECT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_FALSE);
        // Another mode is refused and is not counted.
        EXPECT_EQ(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), RPC_E_CHANGED_MODE);
        // Another thread has its own state.
        OnNewThread([] {
            IWbemLocator* other = nullptr;
            EXPECT_EQ(CreateLocator(&other), CO_E_NOTINITIALIZED);
            EXPECT_EQ(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), S_OK);
            CoUninitialize();
        });
        CoUninitialize();
        ASSERT_EQ(CreateLocator(&locator), S_OK);
        locator->Release();
        CoUninitialize();
        EXPECT_EQ(CreateLocator(&locator), CO_E_NOTINITIALIZED);
        CoUninitialize();  // unbalanced: ignored
        EXPECT_EQ(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), S_OK);
        CoUninitialize();
    });
}

TEST(ComApartment, BadArgumentsAndPlannedFailuresChangeNothing) {
    OnNewThread([] {
        int reserved = 0;
        EXPECT_EQ(CoInitializeEx(&reserved, COINIT_MULTITHREADED), E_INVALIDARG);
        EXPECT_EQ(CoInitializeEx(nullptr, 0x100), E_INVALIDARG);
        SvcpFailCalls(SvcpCall::CoInitializeEx, static_cast<uint32_t>(E_OUTOFMEMORY));
        EXPECT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), E_OUTOFMEMORY);
        IWbemLocator* locator = nullptr;
        EXPECT_EQ(CreateLocator(&locator), CO_E_NOTINITIALIZED);
        EXPECT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_OK);
        CoUninitialize();
    });
}

TEST(ComCreate, RefusesWhatIsNotAnInProcessLocator) {
    OnNewThread([] {
        ASSERT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_OK);
        void* object = &object;
        EXPECT_EQ(CoCreateInstance(IID_IWbemLocator, nullptr, CLSCTX_INPROC_SERVER,
                                   IID_IWbemLocator, &object),
                  REGDB_E_CLASSNOTREG);
        EXPECT_EQ(object, nullptr);
        EXPECT_EQ(CoCreateInstance(CLSID_WbemLocator, nullptr, CLSCTX_LOCAL_SERVER,
                                   IID_IWbemLocator, &object),
                  REGDB_E_CLASSNOTREG);
        EXPECT_EQ(CoCreateInstance(CLSID_WbemLocator, nullptr, CLSCTX_INPROC_SERVER,
                                   IID_IWbemServices, &object),
                  E_NOINTERFACE);
        EXPECT_EQ(CoCreateInstance(CLSID_WbemLocator, reinterpret_cast<IUnknown*>(&object),
                                   CLSCTX_INPROC_SERVER, IID_IWbemLocator, &object),
                  CLASS_E_NOAGGREGATION);
        EXPECT_EQ(CoCreateInstance(CLSID_WbemLocator, nullptr, CLSCTX_INPROC_SERVER,
                                   IID_IWbemLocator, nullptr),
                  E_INVALIDARG);
        SvcpFailCalls(SvcpCall::CoCreateInstance, static_cast<uint32_t>(E_FAIL));
        EXPECT_EQ(CoCreateInstance(CLSID_WbemLocator, nullptr, CLSCTX_INPROC_SERVER,
                                   IID_IWbemLocator, &object),
                  E_FAIL);
        EXPECT_EQ(SvcpComGetLiveCounts().objects, 0u);
        CoUninitialize();
    });
}

TEST(ComUnknown, CountsReferencesAndAnswersItsInterfaces) {
    OnNewThread([] {
        ASSERT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_OK);
        const unsigned before = SvcpComGetLiveCounts().objects;
        IWbemLocator* locator = nullptr;
        ASSERT_EQ(CreateLocator(&locator), S_OK);
        EXPECT_EQ(SvcpComGetLiveCounts().objects, before + 1);
        IUnknown* unknown = nullptr;
        ASSERT_EQ(locator->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&unknown)), S_OK);
        EXPECT_EQ(static_cast<void*>(unknown), static_cast<void*>(locator));
        void* other = &other;
        EXPECT_EQ(locator->QueryInterface(IID_IWbemServices, &other), E_NOINTERFACE);
        EXPECT_EQ(other, nullptr);
        EXPECT_EQ(locator->AddRef(), 3u);
        EXPECT_EQ(locator->Release(), 2u);
        EXPECT_EQ(unknown->Release(), 1u);
        EXPECT_EQ(SvcpComGetLiveCounts().objects, before + 1);
        EXPECT_EQ(locator->Release(), 0u);
        EXPECT_EQ(SvcpComGetLiveCounts().objects, before);
        CoUninitialize();
    });
}

TEST(Bstr, IsLengthPrefixedAndCounted) {
    const unsigned before = SvcpComGetLiveCounts().strings;
    BSTR text = SysAllocString(L"ROOT\\WMI");
    ASSERT_NE(text, nullptr);
    EXPECT_EQ(SysStringLen(text), 8u);
    uint32_t prefix = 0;
    std::memcpy(&prefix, reinterpret_cast<const char*>(text) - sizeof(prefix), sizeof(prefix));
    EXPECT_EQ(prefix, 8u * sizeof(OLECHAR));
    EXPECT_EQ(std::wcscmp(text, L"ROOT\\WMI"), 0);
    EXPECT_EQ(SvcpComGetLiveCounts().strings, before + 1);
    SysFreeString(text);
    EXPECT_EQ(SvcpComGetLiveCounts().strings, before);

    BSTR empty = SysAllocString(L"");
    ASSERT_NE(empty, nullptr);
    EXPECT_EQ(SysStringLen(empty), 0u);
    SysFreeString(empty);
    EXPECT_EQ(SysAllocString(nullptr), nullptr);
    EXPECT_EQ(SysStringLen(nullptr), 0u);
    SysFreeString(nullptr);
}

TEST(SafeArray, VectorBoundsAndData) {
    const unsigned before = SvcpComGetLiveCounts().arrays;
    SAFEARRAY* array = SafeArrayCreateVector(VT_UI1, -5, 3);
    ASSERT_NE(array, nullptr);
    EXPECT_EQ(array->cDims, 1u);
    EXPECT_EQ(array->cbElements, 1u);
    EXPECT_EQ(array->rgsabound[0].cElements, 3u);
    LONG bound = 0;
    EXPECT_EQ(SafeArrayGetLBound(array, 1, &bound), S_OK);
    EXPECT_EQ(bound, -5);
    EXPECT_EQ(SafeArrayGetUBound(array, 1, &bound), S_OK);
    EXPECT_EQ(bound, -3);
    EXPECT_EQ(SafeArrayGetLBound(array, 2, &bound), DISP_E_BADINDEX);
    EXPECT_EQ(SafeArrayGetUBound(array, 0, &bound), DISP_E_BADINDEX);
    void* data = nullptr;
    ASSERT_EQ(SafeArrayAccessData(array, &data), S_OK);
    EXPECT_EQ(data, array->pvData);
    EXPECT_EQ(static_cast<uint8_t*>(data)[2], 0);  // zeroed
    EXPECT_EQ(SafeArrayDestroy(array), DISP_E_ARRAYISLOCKED);
    EXPECT_EQ(SafeArrayUnaccessData(array), S_OK);
    EXPECT_EQ(SafeArrayUnaccessData(array), E_UNEXPECTED);
    EXPECT_EQ(SvcpComGetLiveCounts().arrays, before + 1);
    EXPECT_EQ(SafeArrayDestroy(array), S_OK);
    EXPECT_EQ(SvcpComGetLiveCounts().arrays, before);
}

TEST(SafeArray, EmptyAndUnsupportedVectors) {
    SAFEARRAY* empty = SafeArrayCreateVector(VT_I4, 0, 0);
    ASSERT_NE(empty, nullptr);
    EXPECT_EQ(empty->cbElements, 4u);
    EXPECT_NE(empty->pvData, nullptr);
    LONG upper = 0;
    EXPECT_EQ(SafeArrayGetUBound(empty, 1, &upper), S_OK);
    EXPECT_EQ(upper, -1);
    EXPECT_EQ(SafeArrayDestroy(empty), S_OK);
    EXPECT_EQ(SafeArrayCreateVector(VT_BSTR, 0, 1), nullptr);
    EXPECT_EQ(SafeArrayCreateVector(VT_UI4, 0, 0x40000000u), nullptr);  // size overflows
    EXPECT_EQ(SafeArrayDestroy(nullptr), E_INVALIDARG);
}

TEST(Variant, ClearFreesWhatItOwns) {
    const SvcpComLiveCounts before = SvcpComGetLiveCounts();
    VARIANT value;
    VariantInit(&value);
    EXPECT_EQ(value.vt, VT_EMPTY);
    value.vt = VT_BSTR;
    value.bstrVal = SysAllocString(L"text");
    EXPECT_EQ(VariantClear(&value), S_OK);
    EXPECT_EQ(value.vt, VT_EMPTY);

    value.vt = VT_ARRAY | VT_UI1;
    value.parray = SafeArrayCreateVector(VT_UI1, 0, 4);
    void* data = nullptr;
    ASSERT_EQ(SafeArrayAccessData(value.parray, &data), S_OK);
    // A locked array is kept, and so is the VARIANT's type.
    EXPECT_EQ(VariantClear(&value), DISP_E_ARRAYISLOCKED);
    EXPECT_EQ(value.vt, VT_ARRAY | VT_UI1);
    SafeArrayUnaccessData(value.parray);
    EXPECT_EQ(VariantClear(&value), S_OK);

    value.vt = VT_I4;
    value.lVal = 7;
    EXPECT_EQ(VariantClear(&value), S_OK);
    EXPECT_EQ(VariantClear(nullptr), E_INVALIDARG);
    const SvcpComLiveCounts after = SvcpComGetLiveCounts();
    EXPECT_EQ(after.strings, before.strings);
    EXPECT_EQ(after.arrays, before.arrays);
}

}  // namespace
