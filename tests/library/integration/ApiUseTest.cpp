// What an application sees after a successful start-up: handles, sensor and
// LED information, readings and states, alerts on the polling thread, and the
// refusal of handles that name nothing.
#include <cstdint>
#include <cstdio>

#include <gmock/gmock.h>

#include "ApiTestSupport.h"

namespace {

using svcpsim::SensorKind;
using ::testing::ElementsAre;

class StartedLibrary : public ApiTest {
protected:
    explicit StartedLibrary(const TestMachineSpec& spec = TestMachineSpec::Default())
        : m_Machine(spec) {}

    void SetUp() override {
        ApiTest::SetUp();
        m_Machine.Install();
        m_pLibrary = std::make_unique<LoadedLibrary>();
        ASSERT_EQ(m_pLibrary->InitialiseServiceDriver(), ServiceCode_Success);
    }
    void TearDown() override {
        m_pLibrary.reset();
        ApiTest::TearDown();
    }

    CSensorInformation Information(unsigned long handle) {
        CSensorInformation information;
        EXPECT_EQ(m_pLibrary->GetSensorInformation(handle, information), ServiceCode_Success);
        return information;
    }
    CSensorReading Reading(unsigned long handle) {
        CSensorReading reading{};
        EXPECT_EQ(m_pLibrary->ReadSensor(handle, reading), ServiceCode_Success);
        return reading;
    }

    TestMachine m_Machine;
    std::unique_ptr<LoadedLibrary> m_pLibrary;
};

TEST_F(StartedLibrary, ListsSensorsByKindThenIndexAndLedsByBitMap) {
    CSensorHandleList sensors;
    EXPECT_EQ(m_pLibrary->EnumerateSensorHandles(sensors), ServiceCode_Success);
    EXPECT_THAT(sensors, ElementsAre(0x10000ul, 0x10001ul, 0x20000ul, 0x20001ul, 0x20002ul,
                                     0x30000ul, 0x30001ul));
    CLedHandleList leds;
    EXPECT_EQ(m_pLibrary->EnumerateLedHandles(leds), ServiceCode_Success);
    EXPECT_THAT(leds, ElementsAre(0x40001ul, 0x40002ul, 0x40004ul));
}

// Below the exported layer, the manager and then the service processor log
// each call's entry (handle, the caller's record, the start-up flag) and exit.
TEST_F(StartedLibrary, TheServiceLayersLogEveryCallInAndOut) {
    CSensorHandleList sensors;
    CLedHandleList leds;
    CSensorInformation information;
    CLedInformation led;
    CSensorReading reading{};
    CLedReading state{};
    RecordingListener listener;
    LogCaptureClear();
    m_pLibrary->EnumerateSensorHandles(sensors);
    m_pLibrary->EnumerateLedHandles(leds);
    m_pLibrary->GetSensorInformation(0x20001, information);
    m_pLibrary->GetLedInformation(0x40009, led);
    m_pLibrary->ReadSensor(0x30000, reading);
    m_pLibrary->ReadLed(0x40002, state);
    m_pLibrary->RegisterSensorStateListener(&listener);
    m_pLibrary->UnregisterSensorStateListener(&listener);

    std::vector<std::string> lines;
    for (const std::string& text : CapturedTexts()) {
        if (text.rfind("CService", 0) == 0) {
            lines.push_back(text);
        }
    }
    // The low 32 bits of the address, as the library prints it.
    auto hex = [](const void* address) {
        char text[16];
        std::snprintf(text, sizeof text, "0x%08x",
                      static_cast<unsigned>(reinterpret_cast<uintptr_t>(address)));
        return std::string(text);
    };
    const std::pair<std::string, std::string> calls[] = {
        {"EnumerateSensorHandles(" + hex(&sensors) + ")", " exit, sscode=0x0"},
        {"EnumerateLedHandles(" + hex(&leds) + ")", " exit, sscode=0x0"},
        {"GetSensorInformation(0x00020001," + hex(&information) + ")", " exit, sscode=0x0"},
        {"GetLedInformation(0x00040009," + hex(&led) + ")", " exit, sscode=0x7"},
        {"ReadSensor(0x00030000," + hex(&reading) + ")", " exit, sscode=0x0"},
        {"ReadLed(0x00040002," + hex(&state) + ")", " exit, sscode=0x0"},
        {"RegisterSensorStateListener(" + hex(&listener) + ")", " exit"},
        {"UnregisterSensorStateListener(" + hex(&listener) + ")", " exit"},
    };
    std::vector<std::string> expected;
    for (const auto& call : calls) {
        const std::string name = call.first.substr(0, call.first.find('('));
        expected.push_back("CServiceManager::" + call.first + ", m_bInit=1");
        expected.push_back("CServiceProcessor::" + call.first + ", m_bInit=1");
        expected.push_back("CServiceProcessor::" + name + call.second);
        expected.push_back("CServiceManager::" + name + call.second);
    }
    EXPECT_EQ(lines, expected);
}

TEST_F(StartedLibrary, DescribesEachKindWithItsUnitsThresholdsAndUnknownMarkers) {
    const CSensorInformation core = Information(0x10000);
    EXPECT_EQ(core.Description, L"CPU Core");
    EXPECT_EQ(core.BaseUnits, 5);
    EXPECT_EQ(core.UnitModifier, -3);
    EXPECT_EQ(core.SensorType, 3);
    EXPECT_EQ(core.Resolution, 1u);  // half a millivolt reported as 1
    EXPECT_EQ(core.LowerThresholdCritical, 1000);
    EXPECT_EQ(core.UpperThresholdFatal, 65535);  // 0xFFFF is a value, not -1
    EXPECT_EQ(core.LowerThresholdNonCritical, kSensorValueUnknown);
    EXPECT_EQ(core.NominalReading, kSensorValueUnknown);
    EXPECT_THAT(core.PossibleStates, ElementsAre(L"Ok", L"Critical"));
    EXPECT_EQ(core.Hysteresis, 10u);
    EXPECT_TRUE(core.IsLinear);

    const CSensorInformation fan = Information(0x20001);
    EXPECT_EQ(fan.Description, L"Chassis Fan");  // from its Type 35 component
    EXPECT_EQ(fan.BaseUnits, 19);
    EXPECT_EQ(fan.SensorType, 5);
    EXPECT_EQ(fan.UnitModifier, 0);
    EXPECT_EQ(fan.Accuracy, kSensorValueUnknown);
    EXPECT_EQ(fan.MaxReadable, kSensorValueUnknown);
    EXPECT_EQ(fan.MinReadable, kSensorValueUnknown);
    EXPECT_EQ(fan.Resolution, 0x80000000u);
    EXPECT_EQ(fan.NominalReading, 2000);

    const CSensorInformation cpu = Information(0x30000);
    EXPECT_EQ(cpu.BaseUnits, 2);
    EXPECT_EQ(cpu.UnitModifier, -1);
    EXPECT_EQ(cpu.Resolution, 1u);                    // 0.05 degree
    EXPECT_EQ(Information(0x30001).Resolution, 10u);  // 1 degree

    CLedInformation led;
    EXPECT_EQ(m_pLibrary->GetLedInformation(0x40004, led), ServiceCode_Success);
    EXPECT_EQ(led.Kind, 5);
    EXPECT_EQ(led.BitMap, 0x0004);
    EXPECT_EQ(led.Description, L"Disk");
}

TEST_F(StartedLibrary, ReadsScaledValuesAndLedStates) {
    EXPECT_EQ(Reading(0x10000).CurrentReading, 1200u);  // millivolts
    EXPECT_EQ(Reading(0x10001).CurrentReading, 12000u);
    EXPECT_EQ(Reading(0x20000).CurrentReading, 2400u);  // RPM
    EXPECT_EQ(Reading(0x30000).CurrentReading, 420u);   // 41.5 degrees sent as 42
    EXPECT_EQ(Reading(0x30000).CurrentState, 0u);
    for (auto [handle, on] : {std::pair{0x40001ul, 1}, {0x40002ul, 0}, {0x40004ul, 1}}) {
        CLedReading reading{9};
        EXPECT_EQ(m_pLibrary->ReadLed(handle, reading), ServiceCode_Success);
        EXPECT_EQ(reading.State, on) << std::hex << handle;
    }
}

TEST_F(StartedLibrary, AlertsReachListenersOnThePollingThreadAndTheReading) {
    RecordingListener listener;
    m_pLibrary->RegisterSensorStateListener(&listener);
    m_Machine.ServiceProcessor().SetReading(SensorKind::Fan, 1, 300);  // below 400
    std::vector<ListenerCall> calls = listener.WaitForCalls(1);
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].handle, 0x20001ul);
    EXPECT_EQ(calls[0].state, 1ul);
    EXPECT_EQ(calls[0].reading, 300ul);
    EXPECT_NE(calls[0].thread, std::this_thread::get_id());
    const CSensorReading reading = Reading(0x20001);
    EXPECT_EQ(reading.CurrentState, 1u);
    EXPECT_EQ(reading.CurrentReading, 300u);

    m_Machine.ServiceProcessor().SetReading(SensorKind::Fan, 1, 1980);
    calls = listener.WaitForCalls(2);
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_EQ(calls[1].state, 0ul);
    EXPECT_EQ(calls[1].reading, 1980ul);
    m_pLibrary->UnregisterSensorStateListener(&listener);
}

TEST_F(StartedLibrary, HandlesThatNameNothingGiveSevenAndLeaveTheRecordAlone) {
    CSensorInformation information;
    information.Description = L"untouched";
    for (unsigned long handle : {0x00000ul, 0x0FFFFul, 0x40001ul, 0x50000ul, 0x10009ul}) {
        EXPECT_EQ(m_pLibrary->GetSensorInformation(handle, information), ServiceCode_InvalidHandle)
            << std::hex << handle;
    }
    EXPECT_EQ(information.Description, L"untouched");
    CSensorReading reading{77, 1};
    for (unsigned long handle : {0x0FFFFul, 0x40000ul, 0x50000ul, 0x3000Aul}) {
        EXPECT_EQ(m_pLibrary->ReadSensor(handle, reading), ServiceCode_InvalidHandle);
    }
    EXPECT_EQ(reading.CurrentReading, 77u);
    CLedInformation led;
    EXPECT_EQ(m_pLibrary->GetLedInformation(0x20000, led), ServiceCode_InvalidHandle);
    EXPECT_EQ(m_pLibrary->GetLedInformation(0x40008, led), ServiceCode_InvalidHandle);
    CLedReading state{3};
    EXPECT_EQ(m_pLibrary->ReadLed(0x10000, state), ServiceCode_InvalidHandle);
    EXPECT_EQ(state.State, 3);
}

TestMachineSpec Bios84() {
    TestMachineSpec spec = TestMachineSpec::Default();
    spec.biosVersion = "84.07";
    return spec;
}

class StartedOnBios84 : public StartedLibrary {
protected:
    StartedOnBios84() : StartedLibrary(Bios84()) {}
};

TEST_F(StartedOnBios84, LeavesTheChassisFanOutOfTheListingButAnswersForIt) {
    CSensorHandleList sensors;
    EXPECT_EQ(m_pLibrary->EnumerateSensorHandles(sensors), ServiceCode_Success);
    EXPECT_THAT(sensors,
                ElementsAre(0x10000ul, 0x10001ul, 0x20000ul, 0x20002ul, 0x30000ul, 0x30001ul));
    EXPECT_THAT(
        CapturedTexts(3),
        ::testing::Contains("CDataCache::EnumerateSensorHandles - Skipping enum of=Chassis Fan"));
    EXPECT_EQ(Information(0x20001).Description, L"Chassis Fan");
    EXPECT_EQ(Reading(0x20001).CurrentReading, 1980u);
}

}  // namespace
