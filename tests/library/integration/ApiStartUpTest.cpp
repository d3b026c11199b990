// Start-up through the exported API: each failure code with its cause, and
// what a retry repeats.
#include <atomic>
#include <thread>

#include <gmock/gmock.h>

#include "ApiTestSupport.h"
#include "wmi_provider.h"

namespace {

using ::testing::Contains;
using ::testing::Each;
using ::testing::Not;

constexpr HRESULT kRpcUnavailable = static_cast<HRESULT>(0x800706BA);

TEST_F(ApiTest, UnreadableSmbiosGivesTwoAndARetryReadsAgain) {
    TestMachine machine;
    machine.Install();
    LoadedLibrary library;
    SvcpFailCalls(SvcpCall::ConnectServer, static_cast<uint32_t>(kRpcUnavailable));
    EXPECT_EQ(library.InitialiseServiceDriver(), ServiceCode_SmbiosUnreadable);
    EXPECT_THAT(
        CapturedTexts(1),
        Contains("CRawSMBios - ReadSMBiosThread - ConnectServer failed, HRESULT=0x800706ba"));
    CSensorHandleList handles;
    EXPECT_EQ(library.EnumerateSensorHandles(handles), ServiceCode_NotInitialised);

    LogCaptureClear();
    EXPECT_EQ(library.InitialiseServiceDriver(), ServiceCode_Success);
    EXPECT_EQ(CountCaptured("CRawSMBios Constructed"), 1u);
}

TEST_F(ApiTest, NoManagementDeviceAtAllGivesThree) {
    TestMachineSpec spec = TestMachineSpec::Default();
    spec.withDevice = false;
    spec.withOtherDevice = false;
    TestMachine machine(spec);
    machine.Install();
    LoadedLibrary library;
    EXPECT_EQ(library.InitialiseServiceDriver(), ServiceCode_SmbiosInventoryFailed);
    EXPECT_THAT(CapturedTexts(1),
                Contains("CSMBiosChipData::Initialise - No Type 34 devices found"));
}

TEST_F(ApiTest, NoServiceProcessorDeviceGivesFiveAfterListingTheOthers) {
    TestMachineSpec spec = TestMachineSpec::Default();
    spec.deviceDescription = "orvane telk service processor";  // case differs
    TestMachine machine(spec);
    machine.Install();
    LoadedLibrary library;
    EXPECT_EQ(library.InitialiseServiceDriver(), ServiceCode_NoServiceProcessor);
    const std::vector<std::string> lines = CapturedTexts(3);
    EXPECT_THAT(lines, Contains("Found 2 Type 34 Management Device(s)"));
    EXPECT_THAT(lines, Contains("  Description:   orvane telk service processor"));
    EXPECT_EQ(machine.Exchanges(0xA6), 0u);
}

TEST_F(ApiTest, MissingLedsGiveThreeAndARetryAddsOnlyWhatWasMissing) {
    TestMachineSpec spec = TestMachineSpec::Default();
    spec.withLeds = false;
    TestMachine without(spec);
    without.Install(false);
    LoadedLibrary library;
    EXPECT_EQ(library.InitialiseServiceDriver(), ServiceCode_SmbiosInventoryFailed);
    EXPECT_THAT(CapturedTexts(1),
                Contains("CSMBiosLedData::Initialise - No Type 128 devices found"));

    // The complete machine: the sensors of the first pass stay (their second
    // additions are refused as duplicates), the LEDs are added.
    TestMachine machine;
    machine.Install();
    LogCaptureClear();
    EXPECT_EQ(library.InitialiseServiceDriver(), ServiceCode_Success);
    const std::vector<std::string> errors = CapturedTexts(1);
    EXPECT_THAT(
        errors,
        Contains(
            "CDataCache::AddVoltage - Insert InternalSensor=CPU Core with SmbiosIndex=0 failed"));
    EXPECT_THAT(errors, Not(Contains(::testing::HasSubstr("AddLed"))));
    CLedHandleList leds;
    EXPECT_EQ(library.EnumerateLedHandles(leds), ServiceCode_Success);
    EXPECT_EQ(leds.size(), 3u);
}

TEST_F(ApiTest, UnknownBiosFamilyGivesThreeAfterLockingTheCacheAndARetryAddsNothing) {
    TestMachineSpec spec = TestMachineSpec::Default();
    spec.biosVersion = "90.01";
    TestMachine unknown(spec);
    unknown.Install(false);
    LoadedLibrary library;
    EXPECT_EQ(library.InitialiseServiceDriver(), ServiceCode_SmbiosInventoryFailed);
    EXPECT_THAT(CapturedTexts(1), Contains("Cannot determine Port Base Address"));

    LogCaptureClear();
    EXPECT_EQ(library.InitialiseServiceDriver(), ServiceCode_SmbiosInventoryFailed);
    EXPECT_THAT(CapturedTexts(1), Contains("CDataCache::AddLed - Map already locked"));

    // With a known family the locked entries of the first pass serve.
    TestMachine machine;
    machine.Install();
    LogCaptureClear();
    EXPECT_EQ(library.InitialiseServiceDriver(), ServiceCode_Success);
    EXPECT_THAT(CapturedTexts(1), Contains("CDataCache::AddVoltage - Map already locked"));
    EXPECT_THAT(CapturedTexts(3), Contains("  Port Base: 0x000002b0"));
    CSensorHandleList handles;
    EXPECT_EQ(library.EnumerateSensorHandles(handles), ServiceCode_Success);
    EXPECT_EQ(handles.size(), 7u);
}

TEST_F(ApiTest, NoDriverInterfaceGivesSixAndARetryFindsTheDriver) {
    TestMachine machine;
    machine.Install(false);
    LoadedLibrary library;
    EXPECT_EQ(library.InitialiseServiceDriver(), ServiceCode_DriverUnavailable);
    EXPECT_THAT(CapturedTexts(1),
                Contains("CIOUnit::InitialiseIODevice - No Ksvcp device interface instances"));

    svcpsim::CSimDevice device(std::shared_ptr<svcpsim::CSimServiceProcessor>(
        &machine.ServiceProcessor(), [](svcpsim::CSimServiceProcessor*) {}));
    EXPECT_EQ(library.InitialiseServiceDriver(), ServiceCode_Success);
}

TEST_F(ApiTest, TwoDriverInterfacesGiveSix) {
    TestMachine machine;
    machine.Install();
    svcpsim::CSimDevice second(
        std::shared_ptr<svcpsim::CSimServiceProcessor>(&machine.ServiceProcessor(),
                                                       [](svcpsim::CSimServiceProcessor*) {}),
        1);
    LoadedLibrary library;
    EXPECT_EQ(library.InitialiseServiceDriver(), ServiceCode_DriverUnavailable);
    EXPECT_THAT(CapturedTexts(1),
                Contains("CIOUnit::InitialiseIODevice - Too many device interface instances"));
}

TEST_F(ApiTest, ASecondStartUpAfterSuccessReadsNothingAgain) {
    TestMachine machine;
    machine.Install();
    LoadedLibrary library;
    ASSERT_EQ(library.InitialiseServiceDriver(), ServiceCode_Success);
    const uint32_t voltageReads = machine.Exchanges(0xA6);
    LogCaptureClear();
    EXPECT_EQ(library.InitialiseServiceDriver(), ServiceCode_Success);
    EXPECT_THAT(CapturedTexts(),
                ::testing::ElementsAre("API: InitialiseServiceDriver, bInit=1",
                                       "API: InitialiseServiceDriver exit, sscode=0x0"));
    EXPECT_EQ(machine.Exchanges(0xA6), voltageReads);
}

TEST_F(ApiTest, ConcurrentStartUpsInitialiseOnceAndAllSucceed) {
    TestMachine machine;
    machine.Install();
    LoadedLibrary library;
    constexpr int kThreads = 8;
    std::atomic<int> go{0};
    std::vector<SERVICE_CODE> results(kThreads, ServiceCode_NotInitialised);
    std::vector<std::thread> threads;
    for (int i = 0; i < kThreads; ++i) {
        threads.emplace_back([&, i] {
            go.fetch_add(1);
            while (go.load() < kThreads) {
            }
            results[i] = library.InitialiseServiceDriver();
        });
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    EXPECT_THAT(results, Each(ServiceCode_Success));
    EXPECT_EQ(CountCaptured("CRawSMBios Constructed"), 1u);
    EXPECT_EQ(CountCaptured("CIOUnit::Initialise - Initialised Ok"), 1u);
}

}  // namespace
