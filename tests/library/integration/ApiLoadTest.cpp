// Load and unload: the object graph is built by static construction, the
// library starts not initialised, and dlclose really unloads it, destroying
// everything in order.
#include <gmock/gmock.h>

#include "ApiTestSupport.h"
#include "support/LifecycleLines.h"

namespace {

using ::testing::ElementsAre;

TEST_F(ApiTest, LoadBuildsTheObjectGraphAndUnloadDestroysItInReverse) {
    ASSERT_FALSE(LoadedLibrary::IsLoaded());
    auto library = std::make_unique<LoadedLibrary>();
    EXPECT_EQ(LifecycleLines(CapturedTexts()), kLoadLines);
    // Nothing touches SMBIOS or the driver at load.
    EXPECT_EQ(CountCaptured("CRawSMBios Constructed"), 0u);

    LogCaptureClear();
    EXPECT_TRUE(library->Unload());
    EXPECT_EQ(LifecycleLines(CapturedTexts()), UnloadLines(false));
}

TEST_F(ApiTest, UnloadAfterStartUpStopsThePollingThreadBeforeClosingTheDriver) {
    TestMachine machine;
    machine.Install();
    auto library = std::make_unique<LoadedLibrary>();
    RecordingListener listener;
    ASSERT_EQ(library->InitialiseServiceDriver(), ServiceCode_Success);
    library->RegisterSensorStateListener(&listener);

    LogCaptureClear();
    EXPECT_TRUE(library->Unload());
    EXPECT_EQ(LifecycleLines(CapturedTexts()), UnloadLines(true));
    // The device was closed: the exclusive open is free again.
    auto again = std::make_unique<LoadedLibrary>();
    EXPECT_EQ(again->InitialiseServiceDriver(), ServiceCode_Success);
}

TEST_F(ApiTest, BeforeStartUpEveryCallReturnsNotInitialisedAndTouchesNothing) {
    TestMachine machine;
    machine.Install();
    LoadedLibrary library;

    CSensorReading reading{1234, 5};
    EXPECT_EQ(library.ReadSensor(0x10000, reading), ServiceCode_NotInitialised);
    EXPECT_EQ(reading.CurrentReading, 1234u);
    EXPECT_EQ(reading.CurrentState, 5u);
    CLedReading led{7};
    EXPECT_EQ(library.ReadLed(0x40001, led), ServiceCode_NotInitialised);
    EXPECT_EQ(led.State, 7);
    CSensorHandleList sensors;
    sensors.push_back(42);
    EXPECT_EQ(library.EnumerateSensorHandles(sensors), ServiceCode_NotInitialised);
    EXPECT_THAT(sensors, ElementsAre(42ul));
    CLedHandleList leds;
    EXPECT_EQ(library.EnumerateLedHandles(leds), ServiceCode_NotInitialised);
    EXPECT_TRUE(leds.empty());
    CSensorInformation information;
    information.Description = L"mine";
    EXPECT_EQ(library.GetSensorInformation(0x10000, information), ServiceCode_NotInitialised);
    EXPECT_EQ(information.Description, L"mine");
    CLedInformation ledInformation;
    EXPECT_EQ(library.GetLedInformation(0x40001, ledInformation), ServiceCode_NotInitialised);
    // Nothing was exchanged with the driver.
    EXPECT_EQ(machine.Exchanges(0xA6) + machine.Exchanges(0xED), 0u);
}

TEST_F(ApiTest, ListenerCallsBeforeStartUpAreIgnoredAndANullListenerLogsOnlyItsEntry) {
    TestMachine machine;
    machine.Install();
    LoadedLibrary library;
    RecordingListener listener;

    LogCaptureClear();
    library.RegisterSensorStateListener(nullptr);
    EXPECT_THAT(CapturedTexts(),
                ElementsAre("API: RegisterSensorStateListener(0x00000000), bInit=0"));

    LogCaptureClear();
    library.RegisterSensorStateListener(&listener);
    std::vector<std::string> lines = CapturedTexts();
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[1], "API: RegisterSensorStateListener exit");

    // Registered before start-up means not registered: an alert after
    // start-up does not reach it.
    ASSERT_EQ(library.InitialiseServiceDriver(), ServiceCode_Success);
    machine.ServiceProcessor().SetReading(svcpsim::SensorKind::Fan, 0, 100);
    RecordingListener probe;
    library.RegisterSensorStateListener(&probe);
    machine.ServiceProcessor().SetReading(svcpsim::SensorKind::Fan, 1, 100);
    probe.WaitForCalls(1);
    EXPECT_TRUE(listener.Calls().empty());
    library.UnregisterSensorStateListener(&probe);
}

}  // namespace
