// Allocation failures never cross the exported boundary: an exported function
// that cannot allocate is refused with its level-1 line, and the alert path
// allocates nothing at all while its trace lines are filtered.
//
// The binary replaces operator new (AllocationSeam.cpp), so the failures are
// real ones, at every allocation a call makes, one after the other.
#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

#include "AllocationSeam.h"
#include "ApiTestSupport.h"
#include "device_registry.h"
#include "svcproc/cache/DataCache.h"
#include "svcproc/io/IOUnit.h"
#include "svcproc/io/SvcpProtocol.h"

namespace {

using svcpsim::SensorKind;

struct Outcome {
    SERVICE_CODE result;
    bool failed;  // the seam failed an allocation in the call
};

// Runs `call` with the nth allocation on this thread failing.
template <typename Call>
Outcome WithNthFailing(size_t n, Call call) {
    alloc_seam::FailNth(n);
    const SERVICE_CODE result = call();
    const bool failed = alloc_seam::Failed();
    alloc_seam::Disarm();
    return {result, failed};
}

class OutOfMemory : public ApiTest {
protected:
    void SetUp() override {
        ApiTest::SetUp();
        m_Machine.Install();
        m_pLibrary = std::make_unique<LoadedLibrary>();
    }
    void TearDown() override {
        alloc_seam::Disarm();
        m_pLibrary.reset();
        ApiTest::TearDown();
    }
    void Start() { ASSERT_EQ(m_pLibrary->InitialiseServiceDriver(), ServiceCode_Success); }

    TestMachine m_Machine;
    std::unique_ptr<LoadedLibrary> m_pLibrary;
};

TEST_F(OutOfMemory, StartUpIsRefusedAtEachAllocationAndSucceedsWhenRepeated) {
    // The caller's thread fails; the SMBIOS read thread allocates freely.
    // Only the level-1 lines are captured, so that the capture's own
    // allocations do not hide the library's.
    LogCaptureStart(1);
    size_t refusals = 0;
    size_t caught = 0;
    size_t reloads = 0;
    for (size_t n = 1;; ++n) {
        LogCaptureClear();
        const Outcome outcome =
            WithNthFailing(n, [&] { return m_pLibrary->InitialiseServiceDriver(); });
        if (!outcome.failed) {
            ASSERT_EQ(outcome.result, ServiceCode_Success);
            break;
        }
        if (outcome.result == ServiceCode_Success) {
            // Got over it (a line that could not be made is dropped): on with a
            // fresh library, to reach the later allocations too. The old one
            // is closed first: loaded twice, it would stay the same started
            // instance and allocate nothing more.
            m_pLibrary.reset();
            m_pLibrary = std::make_unique<LoadedLibrary>();
            ++reloads;
            continue;
        }
        // A refusal: through the exported layer's catch, or a failure path of
        // the library's own (a thread that cannot be made reads no SMBIOS,
        // the BIOS version holder has its own code). Either way the next call
        // starts again.
        ASSERT_GE(outcome.result, ServiceCode_SmbiosUnreadable) << "allocation " << n;
        ASSERT_LE(outcome.result, ServiceCode_DriverUnavailable) << "allocation " << n;
        const size_t lines = CountCaptured("API: InitialiseServiceDriver - out of memory");
        ASSERT_LE(lines, 1u);
        if (lines == 1) {
            ASSERT_EQ(outcome.result, ServiceCode_SmbiosInventoryFailed) << "allocation " << n;
            ++caught;
        }
        ++refusals;
    }
    std::printf("start-up: %zu refusals (%zu out of memory), %zu failures got over\n", refusals,
                caught, reloads);
    EXPECT_GT(caught, 20u);
    CSensorReading reading{};
    EXPECT_EQ(m_pLibrary->ReadSensor(0x10000, reading), ServiceCode_Success);
    EXPECT_EQ(reading.CurrentReading, 1200u);
}

TEST_F(OutOfMemory, ListingsAreRefusedAndLeaveTheListAsItWas) {
    Start();
    size_t refusals = 0;
    for (size_t n = 1;; ++n) {
        CSensorHandleList sensors;
        sensors.push_back(7);
        CLedHandleList leds;
        leds.push_back(9);
        LogCaptureClear();
        const Outcome sensorOutcome =
            WithNthFailing(n, [&] { return m_pLibrary->EnumerateSensorHandles(sensors); });
        const Outcome ledOutcome =
            WithNthFailing(n, [&] { return m_pLibrary->EnumerateLedHandles(leds); });
        if (sensorOutcome.result != ServiceCode_Success) {
            ++refusals;
            EXPECT_EQ(sensorOutcome.result, ServiceCode_SmbiosInventoryFailed);
            EXPECT_EQ(static_cast<const std::list<unsigned long>&>(sensors),
                      std::list<unsigned long>{7});
            EXPECT_EQ(CountCaptured("API: EnumerateSensorHandles - out of memory"), 1u);
            EXPECT_EQ(CountCaptured("API: EnumerateSensorHandles exit, sscode=0x3"), 1u);
        } else {
            EXPECT_EQ(sensors.size(), 8u);  // 7, then the seven listed
        }
        if (ledOutcome.result != ServiceCode_Success) {
            ++refusals;
            EXPECT_EQ(ledOutcome.result, ServiceCode_SmbiosInventoryFailed);
            EXPECT_EQ(static_cast<const std::list<unsigned long>&>(leds),
                      std::list<unsigned long>{9});
            EXPECT_EQ(CountCaptured("API: EnumerateLedHandles - out of memory"), 1u);
        } else {
            EXPECT_EQ(leds.size(), 4u);
        }
        if (!sensorOutcome.failed && !ledOutcome.failed) {
            break;
        }
    }
    EXPECT_GT(refusals, 2u);
}

// What the caller's records held before a call: a refusal must leave them so,
// not half overwritten.
CSensorInformation SensorRecordBefore() {
    CSensorInformation record;
    record.Accuracy = -5;
    record.BaseUnits = 99;
    record.Description = L"a description longer than any small-string buffer";
    record.Hysteresis = 77;
    record.IsLinear = false;
    record.LowerThresholdCritical = -1;
    record.LowerThresholdFatal = -2;
    record.LowerThresholdNonCritical = -3;
    record.MaxReadable = 4;
    record.MinReadable = -4;
    record.NominalReading = 6;
    record.OtherSensorTypeDescription = L"another description longer than a small string";
    record.PossibleStates = {L"first state of the caller's own", L"second", L"third"};
    record.RateUnits = 8;
    record.Resolution = 9;
    record.SensorType = 10;
    record.UnitModifier = 11;
    record.UpperThresholdCritical = 12;
    record.UpperThresholdFatal = 13;
    record.UpperThresholdNonCritical = 14;
    return record;
}

bool SameSensorRecord(const CSensorInformation& a, const CSensorInformation& b) {
    return a.Accuracy == b.Accuracy && a.BaseUnits == b.BaseUnits &&
           a.Description == b.Description && a.Hysteresis == b.Hysteresis &&
           a.IsLinear == b.IsLinear && a.LowerThresholdCritical == b.LowerThresholdCritical &&
           a.LowerThresholdFatal == b.LowerThresholdFatal &&
           a.LowerThresholdNonCritical == b.LowerThresholdNonCritical &&
           a.MaxReadable == b.MaxReadable && a.MinReadable == b.MinReadable &&
           a.NominalReading == b.NominalReading &&
           a.OtherSensorTypeDescription == b.OtherSensorTypeDescription &&
           a.PossibleStates == b.PossibleStates && a.RateUnits == b.RateUnits &&
           a.Resolution == b.Resolution && a.SensorType == b.SensorType &&
           a.UnitModifier == b.UnitModifier &&
           a.UpperThresholdCritical == b.UpperThresholdCritical &&
           a.UpperThresholdFatal == b.UpperThresholdFatal &&
           a.UpperThresholdNonCritical == b.UpperThresholdNonCritical;
}

TEST_F(OutOfMemory, InformationIsRefusedAtEachAllocation) {
    Start();
    size_t refusals = 0;
    const CSensorInformation sensorBefore = SensorRecordBefore();
    CLedInformation ledBefore;
    ledBefore.Kind = 3;
    // Too short to hold the library's description: the copy needs storage.
    ledBefore.Description = L"ab";
    ledBefore.BitMap = 0x80;
    for (size_t n = 1;; ++n) {
        CSensorInformation sensor = sensorBefore;
        CLedInformation led = ledBefore;
        LogCaptureClear();
        const Outcome sensorOutcome =
            WithNthFailing(n, [&] { return m_pLibrary->GetSensorInformation(0x10000, sensor); });
        const Outcome ledOutcome =
            WithNthFailing(n, [&] { return m_pLibrary->GetLedInformation(0x40002, led); });
        if (sensorOutcome.result != ServiceCode_Success) {
            ++refusals;
            EXPECT_EQ(sensorOutcome.result, ServiceCode_SmbiosInventoryFailed);
            EXPECT_EQ(CountCaptured("API: GetSensorInformation - out of memory"), 1u);
            EXPECT_TRUE(SameSensorRecord(sensor, sensorBefore))
                << "allocation " << n << " left the record changed";
        } else {
            EXPECT_EQ(sensor.Description, L"CPU Core");
            EXPECT_EQ(sensor.PossibleStates.size(), 2u);
        }
        if (ledOutcome.result != ServiceCode_Success) {
            ++refusals;
            EXPECT_EQ(ledOutcome.result, ServiceCode_SmbiosInventoryFailed);
            EXPECT_EQ(CountCaptured("API: GetLedInformation - out of memory"), 1u);
            EXPECT_EQ(led.Kind, ledBefore.Kind);
            EXPECT_EQ(led.Description, ledBefore.Description);
            EXPECT_EQ(led.BitMap, ledBefore.BitMap);
        } else {
            EXPECT_EQ(led.Description, L"Fault");
        }
        if (!sensorOutcome.failed && !ledOutcome.failed) {
            break;
        }
    }
    EXPECT_GT(refusals, 3u);
}

TEST_F(OutOfMemory, InformationAskedAgainIntoTheSameRecordNeedsNoAllocation) {
    Start();
    CSensorInformation sensor;
    CLedInformation led;
    ASSERT_EQ(m_pLibrary->GetSensorInformation(0x10000, sensor), ServiceCode_Success);
    ASSERT_EQ(m_pLibrary->GetLedInformation(0x40002, led), ServiceCode_Success);
    // Another sensor's description, no longer than the first one's.
    sensor.Description = L"x";
    sensor.PossibleStates[1] = L"y";
    led.Description.clear();
    alloc_seam::FailAll();
    const SERVICE_CODE sensorResult = m_pLibrary->GetSensorInformation(0x10000, sensor);
    const SERVICE_CODE ledResult = m_pLibrary->GetLedInformation(0x40002, led);
    alloc_seam::Disarm();
    EXPECT_EQ(sensorResult, ServiceCode_Success);
    EXPECT_EQ(sensor.Description, L"CPU Core");
    EXPECT_EQ(sensor.PossibleStates, (std::vector<std::wstring>{L"Ok", L"Critical"}));
    EXPECT_EQ(ledResult, ServiceCode_Success);
    EXPECT_EQ(led.Description, L"Fault");
}

TEST_F(OutOfMemory, ARefusedRegistrationRegistersNothing) {
    Start();
    std::vector<std::unique_ptr<RecordingListener>> listeners;
    std::vector<bool> refused;
    for (size_t n = 1;; ++n) {
        listeners.push_back(std::make_unique<RecordingListener>());
        RecordingListener* listener = listeners.back().get();
        LogCaptureClear();
        const Outcome outcome = WithNthFailing(n, [&] {
            m_pLibrary->RegisterSensorStateListener(listener);
            return ServiceCode_Success;
        });
        const bool wasRefused =
            CountCaptured("API: RegisterSensorStateListener - out of memory") == 1;
        refused.push_back(wasRefused);
        if (wasRefused) {
            // The call still ends as usual.
            EXPECT_EQ(CountCaptured("API: RegisterSensorStateListener exit"), 1u);
        }
        if (!outcome.failed) {
            break;
        }
    }
    ASSERT_GE(refused.size(), 2u);
    EXPECT_NE(std::count(refused.begin(), refused.end(), true), 0);
    EXPECT_FALSE(refused.back());

    m_Machine.ServiceProcessor().SetReading(SensorKind::Fan, 1, 300);  // below 400
    ASSERT_EQ(listeners.back()->WaitForCalls(1).size(), 1u);
    for (size_t i = 0; i < listeners.size(); ++i) {
        EXPECT_EQ(listeners[i]->Calls().size(), refused[i] ? 0u : 1u) << "listener " << i;
        m_pLibrary->UnregisterSensorStateListener(listeners[i].get());
    }
}

TEST_F(OutOfMemory, ReadsAndUnregistrationAllocateNothing) {
    Start();
    RecordingListener listener;
    m_pLibrary->RegisterSensorStateListener(&listener);
    CSensorReading reading{};
    CLedReading led{};
    ASSERT_EQ(m_pLibrary->ReadSensor(0x30000, reading), ServiceCode_Success);
    ASSERT_EQ(m_pLibrary->ReadLed(0x40001, led), ServiceCode_Success);
    LogCaptureStop();  // captured lines allocate

    alloc_seam::FailAll();
    EXPECT_EQ(m_pLibrary->ReadSensor(0x30000, reading), ServiceCode_Success);
    EXPECT_EQ(m_pLibrary->ReadLed(0x40001, led), ServiceCode_Success);
    m_pLibrary->UnregisterSensorStateListener(&listener);
    EXPECT_EQ(alloc_seam::Attempts(), 0u);
    alloc_seam::Disarm();
    EXPECT_EQ(reading.CurrentReading, 420u);  // 41.5 degrees travel as 42
    EXPECT_EQ(led.State, 1);
}

// The alert path, on a unit over a driver that answers from fixed buffers:
// nothing the library does between the poll and the listeners allocates.
class FixedAnswerDriver final : public svcp::IDeviceDriver {
public:
    // An answer for `command`: type, data, checksum; L and N to match.
    void SetAnswer(uint8_t command, uint8_t type, const std::vector<uint8_t>& data, bool alert) {
        std::array<uint8_t, 96>& packet = m_aAnswers[command];
        packet.fill(0);
        packet[17] = static_cast<uint8_t>(data.size() + 2);
        packet[18] = type;
        unsigned sum = type;
        for (size_t i = 0; i < data.size(); ++i) {
            packet[19 + i] = data[i];
            sum += data[i];
        }
        packet[19 + data.size()] = static_cast<uint8_t>(0x100u - (sum & 0xFFu));
        packet[81] = static_cast<uint8_t>(data.size() + 3);
        packet[88] = alert ? 1 : 0;
    }

    DWORD IoControl(DWORD, const void* input, DWORD inputSize, void* output, DWORD outputSize,
                    DWORD* bytesReturned) override {
        if (inputSize < 96 || outputSize < 96) {
            return ERROR_INVALID_PARAMETER;
        }
        const uint8_t command = static_cast<const uint8_t*>(input)[1];
        const std::array<uint8_t, 96>& answer = m_aAnswers[command];
        // The response area and the alert flag; the request stays as sent.
        std::memcpy(static_cast<uint8_t*>(output) + 17, answer.data() + 17, 64 + 1);
        std::memcpy(static_cast<uint8_t*>(output) + 88, answer.data() + 88, 4);
        *bytesReturned = 96;
        return ERROR_SUCCESS;
    }

private:
    std::array<std::array<uint8_t, 96>, 256> m_aAnswers{};
};

// Counts calls into a fixed array: it allocates nothing either.
class CountingListener final : public ISensorStateListener {
public:
    void OnSensorStateChange(unsigned long handle, unsigned long state,
                             unsigned long reading) override {
        if (m_nCalls < m_aCalls.size()) {
            m_aCalls[m_nCalls] = {handle, state, reading};
        }
        ++m_nCalls;
    }
    struct Call {
        unsigned long handle, state, reading;
    };
    std::array<Call, 16> m_aCalls{};
    size_t m_nCalls = 0;
};

TEST(AlertPath, AllocatesNothingWhileItsTraceLinesAreFiltered) {
    LogSetLevel(1);  // errors only: the per-sensor lines are filtered
    CDataCache cache;
    for (unsigned short i = 0; i < 2; ++i) {
        cache.AddVoltage(CSensorInformation(), i);
        cache.AddFan(CSensorInformation(), i);
        cache.AddTemperature(CSensorInformation(), i);
    }
    cache.m_bLocked = true;
    auto driver = std::make_shared<FixedAnswerDriver>();
    driver->SetAnswer(kSvcpReadVoltages, kSvcpReadVoltages, {0, 1, 0, 2}, false);
    driver->SetAnswer(kSvcpReadFans, kSvcpReadFans, {0, 1, 0, 2}, false);
    driver->SetAnswer(kSvcpReadTemperatures, kSvcpReadTemperatures, {1, 2}, false);
    driver->SetAnswer(kSvcpReadLeds, kSvcpReadLeds, {0, 1}, false);
    const svcp::DeviceRegistration registration =
        svcp::RegisterDevice(kGuidKsvcpInterface, L"\\\\?\\ROOT#FIXED#0000#{test}", driver);
    ASSERT_NE(registration, 0u);
    {
        CIOUnit unit(&cache);
        ASSERT_TRUE(unit.Initialise(0x2B0));
        CountingListener first;
        CountingListener second;
        unit.RegisterSensorStateListener(&first);
        unit.RegisterSensorStateListener(&second);

        // Each poll with every allocation on this thread failing; the answers
        // are set up in between.
        size_t attempts = 0;
        auto poll = [&] {
            alloc_seam::FailAll();
            unit.PollAlerts();
            attempts += alloc_seam::Attempts();
            alloc_seam::Disarm();
        };
        // Temperature 1 asserted, then deasserted (the longest trace lines);
        // then both fans asserted.
        driver->SetAnswer(kSvcpPollAlerts, kSvcpReadTemperatures, {0x00, 0x02, 30, 95}, true);
        poll();
        driver->SetAnswer(kSvcpPollAlerts, kSvcpReadTemperatures, {0x00, 0x00, 30, 40}, true);
        poll();
        driver->SetAnswer(kSvcpPollAlerts, kSvcpReadFans, {0x00, 0x03, 0x01, 0x2C, 0x00, 0x64},
                          true);
        poll();

        EXPECT_EQ(attempts, 0u);
        for (const CountingListener* listener : {&first, &second}) {
            ASSERT_EQ(listener->m_nCalls, 4u);
            EXPECT_EQ(listener->m_aCalls[0].handle, 0x30001u);
            EXPECT_EQ(listener->m_aCalls[0].state, 1u);
            EXPECT_EQ(listener->m_aCalls[0].reading, 95u);
            EXPECT_EQ(listener->m_aCalls[1].state, 0u);
            EXPECT_EQ(listener->m_aCalls[1].reading, 40u);
            EXPECT_EQ(listener->m_aCalls[2].handle, 0x20000u);
            EXPECT_EQ(listener->m_aCalls[2].reading, 300u);
            EXPECT_EQ(listener->m_aCalls[3].handle, 0x20001u);
        }
        LONG state = -1;
        LONG reading = -1;
        ASSERT_EQ(cache.GetSensorValues(0x30001, state, reading), ServiceCode_Success);
        EXPECT_EQ(state, 0);
        EXPECT_EQ(reading, 400);  // the units of the reads
    }
    svcp::RemoveDevice(registration);
    LogSetLevel(0);
}

}  // namespace
