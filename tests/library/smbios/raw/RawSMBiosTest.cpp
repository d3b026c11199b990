// CRawSMBios: the WMI conversation on its own thread, every failure with its
// line and its releases, and the bytes it keeps.
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "LogControl.h"
#include "platform.h"
#include "platform_seams.h"
#include "svcproc/smbios/RawSMBios.h"
#include "wmi_provider.h"
#include "support/ComLiveCounts.h"

namespace {

using Lines = std::vector<std::string>;

// The conversation, one trace line per call.
const std::string kInit = "CoInitializeEx(null, 0x0) = 0x0";
const std::string kCreate =
    "CoCreateInstance(CLSID_WbemLocator, null, 0x1, IID_IWbemLocator) = 0x0";
const std::string kAllocNamespace = "SysAllocString(\"ROOT\\WMI\")";
const std::string kConnect =
    "IWbemLocator::ConnectServer(\"ROOT\\WMI\", null, null, null, 0x0, null, null) = 0x0";
const std::string kFreeNamespace = "SysFreeString(\"ROOT\\WMI\")";
const std::string kBlanket = "CoSetProxyBlanket(IWbemServices, 10, 0, null, 3, 3, null, 0x0) = 0x0";
const std::string kAllocClass = "SysAllocString(\"MSSMBios_RawSMBiosTables\")";
const std::string kEnum =
    "IWbemServices::CreateInstanceEnum(\"MSSMBios_RawSMBiosTables\", 0x0, null) = 0x0";
const std::string kFreeClass = "SysFreeString(\"MSSMBios_RawSMBiosTables\")";
const std::string kNext =
    "IEnumWbemClassObject::Next(0xffffffff, 1, objects, returned) = 0x0, returned 1";
const std::string kAllocProperty = "SysAllocString(\"SMBiosData\")";
const std::string kGet = "IWbemClassObject::Get(\"SMBiosData\", 0x0, value, type, null) = 0x0";
const std::string kFreeProperty = "SysFreeString(\"SMBiosData\")";
const std::string kReleaseObject = "IWbemClassObject::Release() = 0";
const std::string kReleaseEnum = "IEnumWbemClassObject::Release() = 0";
const std::string kReleaseServices = "IWbemServices::Release() = 0";
const std::string kReleaseLocator = "IWbemLocator::Release() = 0";
const std::string kUninit = "CoUninitialize()";

const Lines kUpToEnumerator = {kInit,    kCreate,     kAllocNamespace, kConnect,  kFreeNamespace,
                               kBlanket, kAllocClass, kEnum,           kFreeClass};
const Lines kReleaseAfterEnumerator = {kReleaseEnum, kReleaseServices, kReleaseLocator, kUninit};

Lines Concat(std::initializer_list<Lines> parts) {
    Lines all;
    for (const Lines& part : parts) {
        all.insert(all.end(), part.begin(), part.end());
    }
    return all;
}

std::vector<uint8_t> MakeTable(size_t length) {
    std::vector<uint8_t> table(length);
    for (size_t i = 0; i < length; ++i) {
        table[i] = static_cast<uint8_t>(i * 7 + 3);
    }
    return table;
}

class RawSMBiosTest : public ::testing::Test {
protected:
    void SetUp() override {
        SvcpClearFailures();
        SvcpWmiSetSmbiosTable(m_table.data(), m_table.size());
        SvcpComTraceStart();
        LogCaptureStart(4);
        m_liveBefore = SvcpComGetLiveCounts();
    }

    void TearDown() override {
        LogCaptureStop();
        SvcpComTraceStop();
        SvcpClearFailures();
        SvcpWmiReset();
        // Whatever path the read took, it released everything it obtained.
        ExpectComLiveCounts(m_liveBefore);
    }

    // Runs one read and returns the lines logged by it. The caller's
    // "Read Thread Started" races with the worker's first line, so it is
    // checked for and taken out here; the rest comes in a fixed order.
    std::vector<LogLine> Read(CRawSMBios& raw, bool expected) {
        LogCaptureClear();
        EXPECT_EQ(raw.Initialise(), expected);
        std::vector<LogLine> lines = LogCaptured();
        const LogLine started{3, "CRawSMBios::Initialise - Read Thread Started"};
        for (auto it = lines.begin(); it != lines.end(); ++it) {
            if (*it == started) {
                lines.erase(it);
                return lines;
            }
        }
        ADD_FAILURE() << "no Read Thread Started line";
        return lines;
    }

    // The lines of a read that failed with one level-1 line.
    static std::vector<LogLine> FailedRead(const std::string& error) {
        return {{3, "ReadSMBiosThread entry"},
                {1, error},
                {3, "CRawSMBios::Initialise - Read Thread Ended, ReadOk=0, #Bytes=0"}};
    }

    const std::vector<uint8_t> m_table = MakeTable(300);
    SvcpComLiveCounts m_liveBefore{};
};

TEST_F(RawSMBiosTest, ReadsTheTableThroughTheWholeConversation) {
    CRawSMBios raw;
    EXPECT_EQ(Read(raw, true),
              (std::vector<LogLine>{
                  {3, "ReadSMBiosThread entry"},
                  {3, "CRawSMBios::Initialise - Read Thread Ended, ReadOk=1, #Bytes=300"}}));
    ASSERT_EQ(raw.GetLength(), m_table.size());
    ASSERT_NE(raw.GetBytes(), nullptr);
    EXPECT_EQ(std::vector<uint8_t>(raw.GetBytes(), raw.GetBytes() + raw.GetLength()), m_table);
    EXPECT_TRUE(raw.IsReadOk());
    EXPECT_EQ(SvcpComTrace(), Concat({kUpToEnumerator,
                                      {kNext, kAllocProperty, kGet, kFreeProperty,
                                       "VariantClear(0x2011) = 0x0", kReleaseObject},
                                      kReleaseAfterEnumerator}));
}

TEST_F(RawSMBiosTest, ArrayWithAnotherLowerBoundIsCopiedWhole) {
    SvcpWmiSetArrayShape(-5, VT_EMPTY);
    CRawSMBios raw;
    Read(raw, true);
    ASSERT_EQ(raw.GetLength(), m_table.size());
    EXPECT_EQ(std::vector<uint8_t>(raw.GetBytes(), raw.GetBytes() + raw.GetLength()), m_table);
}

TEST_F(RawSMBiosTest, EmptyArrayIsASuccessfulReadOfNoBytes) {
    SvcpWmiSetSmbiosTable(nullptr, 0);
    CRawSMBios raw;
    EXPECT_EQ(Read(raw, true),
              (std::vector<LogLine>{
                  {3, "ReadSMBiosThread entry"},
                  {3, "CRawSMBios::Initialise - Read Thread Ended, ReadOk=1, #Bytes=0"}}));
    EXPECT_TRUE(raw.IsReadOk());
    EXPECT_EQ(raw.GetLength(), 0u);
    EXPECT_EQ(raw.GetBytes(), nullptr);
}

TEST_F(RawSMBiosTest, SecondReadReplacesTheFirst) {
    CRawSMBios raw;
    Read(raw, true);
    const std::vector<uint8_t> other = MakeTable(40);
    SvcpWmiSetSmbiosTable(other.data(), other.size());
    Read(raw, true);
    ASSERT_EQ(raw.GetLength(), other.size());
    EXPECT_EQ(std::vector<uint8_t>(raw.GetBytes(), raw.GetBytes() + raw.GetLength()), other);
}

// Each failure: how it is provoked, its level-1 line, and the whole
// conversation, which shows the releases and CoUninitialize (or its absence).
struct FailureCase {
    const char* name;
    void (*arrange)();
    std::string error;
    Lines trace;
};

void PrintTo(const FailureCase& failure, std::ostream* out) {
    *out << failure.name;
}

const FailureCase kFailures[] = {
    {"CoInitializeEx",
     [] { SvcpFailCalls(SvcpCall::CoInitializeEx, 0x8007000E); },
     "CRawSMBios - ReadSMBiosThread - CoInitializeEx failed, HRESULT=0x8007000e",
     {"CoInitializeEx(null, 0x0) = 0x8007000e"}},
    {"CoCreateInstance",
     [] { SvcpFailCalls(SvcpCall::CoCreateInstance, 0x80040154); },
     "CRawSMBios - ReadSMBiosThread - CoCreateInstance failed, HRESULT=0x80040154",
     {kInit, "CoCreateInstance(CLSID_WbemLocator, null, 0x1, IID_IWbemLocator) = 0x80040154",
      kUninit}},
    {"NamespaceString",
     [] { SvcpFailCalls(SvcpCall::SysAllocString, 0); },
     "CRawSMBios - ReadSMBiosThread - SysAllocString(ROOT\\WMI) failed, HRESULT=0x8007000e",
     {kInit, kCreate, "SysAllocString(\"ROOT\\WMI\") = null", kReleaseLocator, kUninit}},
    {"ConnectServer",
     [] { SvcpFailCalls(SvcpCall::ConnectServer, 0x8004100E); },
     "CRawSMBios - ReadSMBiosThread - ConnectServer failed, HRESULT=0x8004100e",
     {kInit, kCreate, kAllocNamespace,
      "IWbemLocator::ConnectServer(\"ROOT\\WMI\", null, null, null, 0x0, null, null) = "
      "0x8004100e",
      kFreeNamespace, kReleaseLocator, kUninit}},
    {"CoSetProxyBlanket",
     [] { SvcpFailCalls(SvcpCall::CoSetProxyBlanket, 0x80070005); },
     "CRawSMBios - ReadSMBiosThread - CoSetProxyBlanket failed, HRESULT=0x80070005",
     {kInit, kCreate, kAllocNamespace, kConnect, kFreeNamespace,
      "CoSetProxyBlanket(IWbemServices, 10, 0, null, 3, 3, null, 0x0) = 0x80070005",
      kReleaseServices, kReleaseLocator, kUninit}},
    {"ClassString",
     [] { SvcpFailCalls(SvcpCall::SysAllocString, 0, 1, 1); },
     "CRawSMBios - ReadSMBiosThread - SysAllocString(MSSMBios_RawSMBiosTables) failed, "
     "HRESULT=0x8007000e",
     {kInit, kCreate, kAllocNamespace, kConnect, kFreeNamespace, kBlanket,
      "SysAllocString(\"MSSMBios_RawSMBiosTables\") = null", kReleaseServices, kReleaseLocator,
      kUninit}},
    {"CreateInstanceEnum",
     [] { SvcpFailCalls(SvcpCall::CreateInstanceEnum, 0x80041010); },
     "CRawSMBios - ReadSMBiosThread - CreateInstanceEnum failed, HRESULT=0x80041010",
     {kInit, kCreate, kAllocNamespace, kConnect, kFreeNamespace, kBlanket, kAllocClass,
      "IWbemServices::CreateInstanceEnum(\"MSSMBios_RawSMBiosTables\", 0x0, null) = 0x80041010",
      kFreeClass, kReleaseServices, kReleaseLocator, kUninit}},
    {"EnumNext", [] { SvcpFailCalls(SvcpCall::EnumNext, 0x800706BA); },
     "CRawSMBios - ReadSMBiosThread - Enumerator failed, HRESULT=0x800706ba",
     Concat({kUpToEnumerator,
             {"IEnumWbemClassObject::Next(0xffffffff, 1, objects, returned) = 0x800706ba, "
              "returned 0"},
             kReleaseAfterEnumerator})},
    {"NoInstance", [] { SvcpWmiSetNoInstance(); },
     "CRawSMBios - ReadSMBiosThread - Enumerator returned no instance, HRESULT=0x1",
     Concat({kUpToEnumerator,
             {"IEnumWbemClassObject::Next(0xffffffff, 1, objects, returned) = 0x1, returned 0"},
             kReleaseAfterEnumerator})},
    {"PropertyString", [] { SvcpFailCalls(SvcpCall::SysAllocString, 0, 1, 2); },
     "CRawSMBios - ReadSMBiosThread - SysAllocString(SMBiosData) failed, HRESULT=0x8007000e",
     Concat({kUpToEnumerator,
             {kNext, "SysAllocString(\"SMBiosData\") = null", kReleaseObject},
             kReleaseAfterEnumerator})},
    {"Get", [] { SvcpFailCalls(SvcpCall::ClassObjectGet, 0x80041002); },
     "CRawSMBios - ReadSMBiosThread - Get instance failed, HRESULT=0x80041002",
     Concat({kUpToEnumerator,
             {kNext, kAllocProperty,
              "IWbemClassObject::Get(\"SMBiosData\", 0x0, value, type, null) = 0x80041002",
              kFreeProperty, kReleaseObject},
             kReleaseAfterEnumerator})},
    {"EmptyVariant", [] { SvcpWmiServeDataAs(VT_EMPTY); },
     "CRawSMBios - ReadSMBiosThread - Bad Raw SMBios data type=00000000",
     Concat(
         {kUpToEnumerator,
          {kNext, kAllocProperty, kGet, kFreeProperty, "VariantClear(0x0) = 0x0", kReleaseObject},
          kReleaseAfterEnumerator})},
    {"StringVariant", [] { SvcpWmiServeDataAs(VT_BSTR); },
     "CRawSMBios - ReadSMBiosThread - Bad Raw SMBios data type=00000008",
     Concat(
         {kUpToEnumerator,
          {kNext, kAllocProperty, kGet, kFreeProperty, "VariantClear(0x8) = 0x0", kReleaseObject},
          kReleaseAfterEnumerator})},
    {"ArrayOfWords", [] { SvcpWmiServeDataAs(VT_ARRAY | VT_UI2); },
     "CRawSMBios - ReadSMBiosThread - Bad Raw SMBios data type=00002012",
     Concat({kUpToEnumerator,
             {kNext, kAllocProperty, kGet, kFreeProperty, "VariantClear(0x2012) = 0x0",
              kReleaseObject},
             kReleaseAfterEnumerator})},
    {"BytesTypeOverWords", [] { SvcpWmiSetArrayShape(0, VT_UI2); },
     "CRawSMBios - ReadSMBiosThread - Bad Raw SMBios array, dims=1, element size=2",
     Concat({kUpToEnumerator,
             {kNext, kAllocProperty, kGet, kFreeProperty, "VariantClear(0x2011) = 0x0",
              kReleaseObject},
             kReleaseAfterEnumerator})},
};

class RawSMBiosFailureTest : public RawSMBiosTest,
                             public ::testing::WithParamInterface<FailureCase> {};

TEST_P(RawSMBiosFailureTest, LogsReleasesAndKeepsNothing) {
    const FailureCase& failure = GetParam();
    failure.arrange();
    {
        CRawSMBios raw;
        EXPECT_EQ(Read(raw, false), FailedRead(failure.error));
        EXPECT_FALSE(raw.IsReadOk());
        EXPECT_EQ(raw.GetLength(), 0u);
        EXPECT_EQ(raw.GetBytes(), nullptr);
        EXPECT_EQ(SvcpComTrace(), failure.trace);
        LogCaptureClear();
    }
    EXPECT_EQ(LogCaptured(), (std::vector<LogLine>{{3, "CRawSMBios Destroyed"}}));
}

INSTANTIATE_TEST_SUITE_P(EachStep, RawSMBiosFailureTest, ::testing::ValuesIn(kFailures),
                         [](const ::testing::TestParamInfo<FailureCase>& info) {
                             return std::string(info.param.name);
                         });

TEST_F(RawSMBiosTest, ThreadThatCannotStartIsReportedWithoutWaiting) {
    SvcpFailCalls(SvcpCall::BeginThreadEx, ERROR_NOT_ENOUGH_MEMORY);
    CRawSMBios raw;
    LogCaptureClear();
    EXPECT_FALSE(raw.Initialise());
    EXPECT_EQ(LogCaptured(),
              (std::vector<LogLine>{{1, "CRawSMBios::Initialise - _beginthreadex error=0x8"}}));
    EXPECT_TRUE(SvcpComTrace().empty());
    EXPECT_FALSE(raw.IsReadOk());
}

// The read initialises COM on a thread of its own: a caller in the
// single-threaded apartment would make an initialisation in its thread fail
// with RPC_E_CHANGED_MODE.
TEST_F(RawSMBiosTest, CallerInAnotherApartmentIsLeftAsItWas) {
    ASSERT_EQ(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), S_OK);
    SvcpComTraceStart();
    CRawSMBios raw;
    Read(raw, true);
    const Lines trace = SvcpComTrace();
    ASSERT_FALSE(trace.empty());
    EXPECT_EQ(trace.front(), kInit);
    EXPECT_EQ(trace.back(), kUninit);
    // Still initialised once, single-threaded.
    EXPECT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), RPC_E_CHANGED_MODE);
    EXPECT_EQ(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), S_FALSE);
    CoUninitialize();
    CoUninitialize();
    IUnknown* object = nullptr;
    EXPECT_EQ(CoCreateInstance(CLSID_WbemLocator, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown,
                               reinterpret_cast<LPVOID*>(&object)),
              CO_E_NOTINITIALIZED);
}

TEST_F(RawSMBiosTest, UninitialisedCallerStaysUninitialised) {
    CRawSMBios raw;
    Read(raw, true);
    IUnknown* object = nullptr;
    EXPECT_EQ(CoCreateInstance(CLSID_WbemLocator, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown,
                               reinterpret_cast<LPVOID*>(&object)),
              CO_E_NOTINITIALIZED);
}

TEST_F(RawSMBiosTest, ConstructionAndDestructionAreLogged) {
    {
        CRawSMBios raw;
        EXPECT_EQ(raw.GetBytes(), nullptr);
        EXPECT_EQ(raw.GetLength(), 0u);
        EXPECT_FALSE(raw.IsReadOk());
    }
    EXPECT_EQ(LogCaptured(),
              (std::vector<LogLine>{{3, "CRawSMBios Constructed"}, {3, "CRawSMBios Destroyed"}}));
}

TEST_F(RawSMBiosTest, AssignForTestingCopiesSilently) {
    std::vector<uint8_t> bytes = MakeTable(17);
    CRawSMBios raw;
    LogCaptureClear();
    raw.AssignForTesting(bytes.data(), bytes.size());
    const std::vector<uint8_t> expected = bytes;
    bytes.assign(bytes.size(), 0);
    EXPECT_TRUE(raw.IsReadOk());
    ASSERT_EQ(raw.GetLength(), expected.size());
    EXPECT_EQ(std::vector<uint8_t>(raw.GetBytes(), raw.GetBytes() + raw.GetLength()), expected);
    raw.AssignForTesting(bytes.data(), 0);
    EXPECT_TRUE(raw.IsReadOk());
    EXPECT_EQ(raw.GetLength(), 0u);
    EXPECT_EQ(raw.GetBytes(), nullptr);
    EXPECT_TRUE(LogCaptured().empty());
    EXPECT_TRUE(SvcpComTrace().empty());
}

}  // namespace
