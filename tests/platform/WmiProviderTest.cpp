// The WMI interfaces and the SMBIOS provider behind them: names, instances,
// served values, table sources, snapshots and planned failures.
#include <cstdio>
#include <string>
#include <vector>

#include <unistd.h>

#include <gtest/gtest.h>

#include "platform.h"
#include "platform_seams.h"
#include "wmi_provider.h"
#include "support/ComLiveCounts.h"

namespace {

const std::vector<uint8_t> kTable = {0x00, 0x18, 0x00, 0x00, 0x01, 0x02, 0x00,
                                     0xF0, 0x7F, 0x04, 0x00, 0x00, 0xFF, 0x80};

BSTR Text(const wchar_t* text) {
    return SysAllocString(text);
}

std::vector<uint8_t> ReadFile(const char* path, bool* readable) {
    std::vector<uint8_t> bytes;
    std::FILE* file = std::fopen(path, "rb");
    *readable = file != nullptr;
    if (file != nullptr) {
        int c = 0;
        while ((c = std::fgetc(file)) != EOF) {
            bytes.push_back(static_cast<uint8_t>(c));
        }
        std::fclose(file);
    }
    return bytes;
}

class WmiProviderTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_liveBefore = SvcpComGetLiveCounts();
        SvcpClearFailures();
        SvcpWmiSetSmbiosTable(kTable.data(), kTable.size());
        ASSERT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_OK);
        IWbemLocator* locator = nullptr;
        ASSERT_EQ(CoCreateInstance(CLSID_WbemLocator, nullptr, CLSCTX_INPROC_SERVER,
                                   IID_IWbemLocator, reinterpret_cast<LPVOID*>(&locator)),
                  S_OK);
        m_locator = locator;
        EXPECT_EQ(Connect(L"root\\wmi", &m_services), WBEM_S_NO_ERROR);
        ASSERT_NE(m_services, nullptr);
    }

    void TearDown() override {
        if (m_services != nullptr) {
            m_services->Release();
        }
        if (m_locator != nullptr) {
            m_locator->Release();
        }
        CoUninitialize();
        SvcpClearFailures();
        SvcpWmiReset();
        ExpectComLiveCounts(m_liveBefore);
    }

    HRESULT Connect(const wchar_t* namespaceName, IWbemServices** services) {
        BSTR name = Text(namespaceName);
        const HRESULT result = m_locator->ConnectServer(name, nullptr, nullptr, nullptr, 0, nullptr,
                                                        nullptr, services);
        SysFreeString(name);
        return result;
    }

    HRESULT Enumerate(const wchar_t* className, IEnumWbemClassObject** enumerator) {
        BSTR name = Text(className);
        const HRESULT result = m_services->CreateInstanceEnum(name, 0, nullptr, enumerator);
        SysFreeString(name);
        return result;
    }

    // The one instance of the class; null when there is none.
    IWbemClassObject* FirstInstance() {
        IEnumWbemClassObject* enumerator = nullptr;
        EXPECT_EQ(Enumerate(L"MSSMBios_RawSMBiosTables", &enumerator), WBEM_S_NO_ERROR);
        IWbemClassObject* object = nullptr;
        ULONG returned = 0;
        EXPECT_TRUE(SUCCEEDED(enumerator->Next(WBEM_INFINITE, 1, &object, &returned)));
        enumerator->Release();
        return object;
    }

    static std::vector<uint8_t> BytesOf(const VARIANT& value) {
        EXPECT_EQ(value.vt, VT_ARRAY | VT_UI1);
        const SAFEARRAY* array = value.parray;
        const auto* data = static_cast<const uint8_t*>(array->pvData);
        return std::vector<uint8_t>(data, data + array->rgsabound[0].cElements);
    }

    // SMBiosData of the first instance, through a fresh enumeration.
    std::vector<uint8_t> ServedTable(bool* present) {
        IWbemClassObject* object = FirstInstance();
        *present = object != nullptr;
        if (object == nullptr) {
            return {};
        }
        VARIANT value;
        VariantInit(&value);
        EXPECT_EQ(object->Get(L"SMBiosData", 0, &value, nullptr, nullptr), WBEM_S_NO_ERROR);
        std::vector<uint8_t> bytes = BytesOf(value);
        VariantClear(&value);
        object->Release();
        return bytes;
    }

    IWbemLocator* m_locator = nullptr;
    IWbemServices* m_services = nullptr;
    SvcpComLiveCounts m_liveBefore{};
};

TEST_F(WmiProviderTest, NamesMatchWithoutRegardToCase) {
    IWbemServices* services = m_services;
    EXPECT_EQ(Connect(L"ROOT\\CIMV2", &services), WBEM_E_INVALID_NAMESPACE);
    EXPECT_EQ(services, nullptr);

    IEnumWbemClassObject* enumerator = nullptr;
    EXPECT_EQ(Enumerate(L"Win32_BIOS", &enumerator), WBEM_E_INVALID_CLASS);
    EXPECT_EQ(enumerator, nullptr);
    ASSERT_EQ(Enumerate(L"mssmbios_rawsmbiostables", &enumerator), WBEM_S_NO_ERROR);
    enumerator->Release();

    IWbemClassObject* object = FirstInstance();
    ASSERT_NE(object, nullptr);
    VARIANT value;
    VariantInit(&value);
    CIMTYPE type = 0;
    long flavor = -1;
    ASSERT_EQ(object->Get(L"smbiosDATA", 0, &value, &type, &flavor), WBEM_S_NO_ERROR);
    EXPECT_EQ(BytesOf(value), kTable);
    EXPECT_EQ(type, CIM_UINT8 | CIM_FLAG_ARRAY);
    EXPECT_EQ(flavor, 0);
    VariantClear(&value);
    EXPECT_EQ(object->Get(L"Size", 0, &value, &type, nullptr), WBEM_E_NOT_FOUND);
    EXPECT_EQ(object->Get(nullptr, 0, &value, &type, nullptr), WBEM_E_INVALID_PARAMETER);
    EXPECT_EQ(value.vt, VT_EMPTY);
    object->Release();
}

TEST_F(WmiProviderTest, EnumerationHandsOutTheOneInstanceOnce) {
    IEnumWbemClassObject* enumerator = nullptr;
    ASSERT_EQ(Enumerate(L"MSSMBios_RawSMBiosTables", &enumerator), WBEM_S_NO_ERROR);
    IWbemClassObject* objects[2] = {nullptr, nullptr};
    ULONG returned = 0;
    EXPECT_EQ(enumerator->Next(WBEM_INFINITE, 2, objects, &returned), WBEM_S_FALSE);
    EXPECT_EQ(returned, 1u);
    ASSERT_NE(objects[0], nullptr);
    EXPECT_EQ(objects[1], nullptr);
    objects[0]->Release();
    EXPECT_EQ(enumerator->Next(WBEM_INFINITE, 1, objects, &returned), WBEM_S_FALSE);
    EXPECT_EQ(returned, 0u);
    EXPECT_EQ(objects[0], nullptr);
    enumerator->Release();

    SvcpWmiSetNoInstance();
    EXPECT_EQ(FirstInstance(), nullptr);
}

TEST_F(WmiProviderTest, EnumerationKeepsTheTableOfItsStart) {
    IEnumWbemClassObject* enumerator = nullptr;
    ASSERT_EQ(Enumerate(L"MSSMBios_RawSMBiosTables", &enumerator), WBEM_S_NO_ERROR);
    const std::vector<uint8_t> other = {1, 2, 3};
    SvcpWmiSetSmbiosTable(other.data(), other.size());
    IWbemClassObject* object = nullptr;
    ULONG returned = 0;
    ASSERT_EQ(enumerator->Next(WBEM_INFINITE, 1, &object, &returned), WBEM_S_NO_ERROR);
    VARIANT value;
    VariantInit(&value);
    ASSERT_EQ(object->Get(L"SMBiosData", 0, &value, nullptr, nullptr), WBEM_S_NO_ERROR);
    EXPECT_EQ(BytesOf(value), kTable);
    VariantClear(&value);
    object->Release();
    enumerator->Release();
    bool present = false;
    EXPECT_EQ(ServedTable(&present), other);
}

TEST_F(WmiProviderTest, ServesTheChosenTypeAndShape) {
    IWbemClassObject* object = nullptr;
    VARIANT value;
    VariantInit(&value);

    SvcpWmiServeDataAs(VT_BSTR);
    object = FirstInstance();
    ASSERT_EQ(object->Get(L"SMBiosData", 0, &value, nullptr, nullptr), WBEM_S_NO_ERROR);
    EXPECT_EQ(value.vt, VT_BSTR);
    EXPECT_EQ(std::wstring(value.bstrVal), L"SMBiosData");
    VariantClear(&value);
    object->Release();

    SvcpWmiServeDataAs(VT_I4);
    object = FirstInstance();
    ASSERT_EQ(object->Get(L"SMBiosData", 0, &value, nullptr, nullptr), WBEM_S_NO_ERROR);
    EXPECT_EQ(value.vt, VT_I4);
    EXPECT_EQ(value.lVal, static_cast<LONG>(kTable.size()));
    object->Release();

    SvcpWmiServeDataAs(VT_UNKNOWN);
    object = FirstInstance();
    value.vt = VT_EMPTY;
    EXPECT_EQ(object->Get(L"SMBiosData", 0, &value, nullptr, nullptr), WBEM_E_TYPE_MISMATCH);
    EXPECT_EQ(value.vt, VT_EMPTY);
    object->Release();

    // Bytes widened into 4-byte elements behind a VARIANT that says bytes.
    SvcpWmiServeDataAs(VT_ARRAY | VT_UI1);
    SvcpWmiSetArrayShape(7, VT_UI4);
    object = FirstInstance();
    ASSERT_EQ(object->Get(L"SMBiosData", 0, &value, nullptr, nullptr), WBEM_S_NO_ERROR);
    ASSERT_EQ(value.vt, VT_ARRAY | VT_UI1);
    EXPECT_EQ(value.parray->cbElements, 4u);
    LONG bound = 0;
    EXPECT_EQ(SafeArrayGetLBound(value.parray, 1, &bound), S_OK);
    EXPECT_EQ(bound, 7);
    ASSERT_EQ(value.parray->rgsabound[0].cElements, kTable.size());
    const auto* elements = static_cast<const uint32_t*>(value.parray->pvData);
    for (size_t i = 0; i < kTable.size(); ++i) {
        EXPECT_EQ(elements[i], kTable[i]) << i;
    }
    VariantClear(&value);
    object->Release();
}

TEST_F(WmiProviderTest, TableFileIsReadAtEachEnumeration) {
    const std::string path =
        ::testing::TempDir() + "wmi_provider_table_" + std::to_string(::getpid()) + ".bin";
    std::FILE* file = std::fopen(path.c_str(), "wb");
    ASSERT_NE(file, nullptr);
    std::fwrite(kTable.data(), 1, kTable.size(), file);
    std::fclose(file);
    SvcpWmiUseTableFile(path.c_str());
    bool present = false;
    EXPECT_EQ(ServedTable(&present), kTable);
    EXPECT_TRUE(present);
    std::remove(path.c_str());
    ServedTable(&present);
    EXPECT_FALSE(present);
}

// The default source is the host's own table: its bytes when readable, no
// instance otherwise.
TEST_F(WmiProviderTest, HostTableIsTheDefault) {
    SvcpWmiReset();
    bool readable = false;
    const std::vector<uint8_t> host = ReadFile("/sys/firmware/dmi/tables/DMI", &readable);
    bool present = false;
    const std::vector<uint8_t> served = ServedTable(&present);
    EXPECT_EQ(present, readable);
    EXPECT_EQ(served, host);
}

TEST_F(WmiProviderTest, ProxyBlanketAppliesToTheServicesOnly) {
    EXPECT_EQ(
        CoSetProxyBlanket(m_services, RPC_C_AUTHN_WINNT, RPC_C_AUTHZ_NONE, nullptr,
                          RPC_C_AUTHN_LEVEL_CALL, RPC_C_IMP_LEVEL_IMPERSONATE, nullptr, EOAC_NONE),
        S_OK);
    EXPECT_EQ(
        CoSetProxyBlanket(m_locator, RPC_C_AUTHN_WINNT, RPC_C_AUTHZ_NONE, nullptr,
                          RPC_C_AUTHN_LEVEL_CALL, RPC_C_IMP_LEVEL_IMPERSONATE, nullptr, EOAC_NONE),
        E_NOINTERFACE);
    EXPECT_EQ(
        CoSetProxyBlanket(nullptr, RPC_C_AUTHN_WINNT, RPC_C_AUTHZ_NONE, nullptr,
                          RPC_C_AUTHN_LEVEL_CALL, RPC_C_IMP_LEVEL_IMPERSONATE, nullptr, EOAC_NONE),
        E_INVALIDARG);
}

TEST_F(WmiProviderTest, PlannedFailuresReturnTheirCodeAndNothingElse) {
    const HRESULT kCode = static_cast<HRESULT>(0x80041033);
    SvcpFailCalls(SvcpCall::ConnectServer, static_cast<uint32_t>(kCode));
    IWbemServices* services = m_services;
    EXPECT_EQ(Connect(L"ROOT\\WMI", &services), kCode);
    EXPECT_EQ(services, nullptr);

    SvcpFailCalls(SvcpCall::CoSetProxyBlanket, static_cast<uint32_t>(kCode));
    EXPECT_EQ(
        CoSetProxyBlanket(m_services, RPC_C_AUTHN_WINNT, RPC_C_AUTHZ_NONE, nullptr,
                          RPC_C_AUTHN_LEVEL_CALL, RPC_C_IMP_LEVEL_IMPERSONATE, nullptr, EOAC_NONE),
        kCode);

    SvcpFailCalls(SvcpCall::CreateInstanceEnum, static_cast<uint32_t>(kCode));
    IEnumWbemClassObject* enumerator = nullptr;
    EXPECT_EQ(Enumerate(L"MSSMBios_RawSMBiosTables", &enumerator), kCode);
    EXPECT_EQ(enumerator, nullptr);

    ASSERT_EQ(Enumerate(L"MSSMBios_RawSMBiosTables", &enumerator), WBEM_S_NO_ERROR);
    SvcpFailCalls(SvcpCall::EnumNext, static_cast<uint32_t>(kCode));
    IWbemClassObject* object = nullptr;
    ULONG returned = 7;
    EXPECT_EQ(enumerator->Next(WBEM_INFINITE, 1, &object, &returned), kCode);
    EXPECT_EQ(object, nullptr);
    EXPECT_EQ(returned, 0u);
    // The failed call did not use up the instance.
    ASSERT_EQ(enumerator->Next(WBEM_INFINITE, 1, &object, &returned), WBEM_S_NO_ERROR);
    enumerator->Release();

    SvcpFailCalls(SvcpCall::ClassObjectGet, static_cast<uint32_t>(kCode));
    VARIANT value;
    VariantInit(&value);
    EXPECT_EQ(object->Get(L"SMBiosData", 0, &value, nullptr, nullptr), kCode);
    EXPECT_EQ(value.vt, VT_EMPTY);
    object->Release();
}

TEST_F(WmiProviderTest, TraceRecordsOnlyWhileStarted) {
    SvcpComTraceStart();
    BSTR text = Text(L"x\u00e9");
    SysFreeString(text);
    SvcpComTraceStop();
    SysFreeString(Text(L"y"));
    EXPECT_EQ(SvcpComTrace(),
              (std::vector<std::string>{"SysAllocString(\"x?\")", "SysFreeString(\"x?\")"}));
}

}  // namespace
