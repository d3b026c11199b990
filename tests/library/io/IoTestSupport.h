// Shared set-up of the I/O unit tests: the simulated service processor behind
// a tapping driver (exchange counts, poll times, a gate that holds polls), a
// cache whose entries match the simulated machine, log capture and the tick
// seam, and a recording listener.
#pragma once

#include <chrono>
#include <cinttypes>
#include <condition_variable>
#include <cstdio>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "LogControl.h"
#include "SimServiceProcessor.h"
#include "device_registry.h"
#include "platform.h"
#include "platform_seams.h"
#include "support/LogCapturingTest.h"
#include "svcproc/api/ISensorStateListener.h"
#include "svcproc/cache/DataCache.h"
#include "svcproc/io/IOUnit.h"
#include "svcproc/io/SvcpProtocol.h"
#include "svcproc/logging/Log.h"

inline void PrintTo(const LogLine& line, std::ostream* out) {
    *out << "{" << line.level << ", \"" << line.text << "\"}";
}

namespace io_test {

using Clock = std::chrono::steady_clock;
using svcpsim::CSimServiceProcessor;
using svcpsim::MachineSetup;
using svcpsim::RawResponse;
using svcpsim::SensorKind;

constexpr DWORD kStartTick = 1000000;
constexpr unsigned long kPortBase = 0x2B0;

// "0x%08x" of an address, as LogAddress prints it.
inline std::string AddressText(const void* address) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%08x", LogAddress(address));
    return text;
}

// "0x%08p" as the logging library formats it: the pointer in upper-case hex,
// zero-padded to its width.
inline std::string PointerText(const void* pointer) {
    char text[40];
    std::snprintf(text, sizeof text, "0x%0*" PRIXPTR, static_cast<int>(sizeof pointer * 2),
                  reinterpret_cast<uintptr_t>(pointer));
    return text;
}

// An alert as the driver returns it: type, big-endian mask, the reading bytes;
// L = 4 + readings, N = L + 1, alert flag 1.
inline RawResponse AlertResponse(uint8_t type, uint16_t mask,
                                 const std::vector<uint8_t>& readings) {
    std::vector<uint8_t> data;
    data.reserve(2 + readings.size());
    data.push_back(static_cast<uint8_t>(mask >> 8));
    data.push_back(static_cast<uint8_t>(mask));
    for (uint8_t reading : readings) {
        data.push_back(reading);
    }
    return svcpsim::MakeRawResponse(type, data, true);
}

// A read response: L = 2 + data, N = L + 1, alert flag 0.
inline RawResponse ReadResponse(uint8_t type, const std::vector<uint8_t>& data) {
    return svcpsim::MakeRawResponse(type, data, false);
}

// Forwards every request to the simulated service processor and watches it.
class CTapDriver final : public svcp::IDeviceDriver {
public:
    struct Span {
        Clock::time_point start;
        Clock::time_point end;
    };

    explicit CTapDriver(std::shared_ptr<CSimServiceProcessor> sp) : m_pSp(std::move(sp)) {}

    DWORD IoControl(DWORD code, const void* input, DWORD inputSize, void* output, DWORD outputSize,
                    DWORD* bytesReturned) override {
        const uint8_t command =
            input != nullptr && inputSize > 1 ? static_cast<const uint8_t*>(input)[1] : 0;
        const Clock::time_point start = Clock::now();
        if (command == kSvcpPollAlerts) {
            std::unique_lock<std::mutex> lock(m_Lock);
            ++m_nPollsEntered;
            m_Changed.notify_all();
            m_Changed.wait(lock, [this] { return m_bGateOpen; });
        }
        size_t returned = 0;
        const uint32_t result =
            m_pSp->IoControl(code, input, inputSize, output, outputSize, &returned);
        *bytesReturned = static_cast<DWORD>(returned);
        std::lock_guard<std::mutex> lock(m_Lock);
        if (command == kSvcpPollAlerts) {
            m_vPolls.push_back({start, Clock::now()});
        }
        m_Changed.notify_all();
        return result;
    }
    DWORD OnOpen() override {
        std::lock_guard<std::mutex> lock(m_Lock);
        ++m_nOpens;
        return ERROR_SUCCESS;
    }
    void OnClose() override {
        std::lock_guard<std::mutex> lock(m_Lock);
        ++m_nCloses;
    }

    // Polls that enter while the gate is closed wait in the driver.
    void CloseGate() {
        std::lock_guard<std::mutex> lock(m_Lock);
        m_bGateOpen = false;
    }
    void OpenGate() {
        std::lock_guard<std::mutex> lock(m_Lock);
        m_bGateOpen = true;
        m_Changed.notify_all();
    }
    // Waits (at most `limit`) until `count` polls have entered the driver.
    bool WaitForPollsEntered(size_t count, std::chrono::milliseconds limit) {
        std::unique_lock<std::mutex> lock(m_Lock);
        return m_Changed.wait_for(lock, limit, [&] { return m_nPollsEntered >= count; });
    }
    // Waits (at most `limit`) until `count` polls have been answered.
    bool WaitForPollsDone(size_t count, std::chrono::milliseconds limit) {
        std::unique_lock<std::mutex> lock(m_Lock);
        return m_Changed.wait_for(lock, limit, [&] { return m_vPolls.size() >= count; });
    }
    std::vector<Span> Polls() {
        std::lock_guard<std::mutex> lock(m_Lock);
        return m_vPolls;
    }
    size_t PollsEntered() {
        std::lock_guard<std::mutex> lock(m_Lock);
        return m_nPollsEntered;
    }
    unsigned Opens() {
        std::lock_guard<std::mutex> lock(m_Lock);
        return m_nOpens;
    }
    unsigned Closes() {
        std::lock_guard<std::mutex> lock(m_Lock);
        return m_nCloses;
    }

private:
    std::shared_ptr<CSimServiceProcessor> m_pSp;
    std::mutex m_Lock;
    std::condition_variable m_Changed;
    bool m_bGateOpen = true;
    size_t m_nPollsEntered = 0;
    std::vector<Span> m_vPolls;
    unsigned m_nOpens = 0;
    unsigned m_nCloses = 0;
};

// Records every call with the cache's values for the handle at that moment.
class CRecordingListener final : public ISensorStateListener {
public:
    struct Call {
        unsigned long handle;
        unsigned long state;
        unsigned long reading;
        LONG cachedState;
        LONG cachedReading;
        bool operator==(const Call& other) const {
            return handle == other.handle && state == other.state && reading == other.reading &&
                   cachedState == other.cachedState && cachedReading == other.cachedReading;
        }
    };

    explicit CRecordingListener(const CDataCache* cache = nullptr) : m_pCache(cache) {}

    void OnSensorStateChange(unsigned long handle, unsigned long state,
                             unsigned long reading) override {
        Call call{handle, state, reading, -1, -1};
        if (m_pCache != nullptr) {
            m_pCache->GetSensorValues(handle, call.cachedState, call.cachedReading);
        }
        {
            std::lock_guard<std::mutex> lock(m_Lock);
            m_vCalls.push_back(call);
        }
        if (onCall) {
            onCall();
        }
    }
    std::vector<Call> Calls() {
        std::lock_guard<std::mutex> lock(m_Lock);
        return m_vCalls;
    }
    size_t CallCount() {
        std::lock_guard<std::mutex> lock(m_Lock);
        return m_vCalls.size();
    }

    // Runs inside each call, after it is recorded (set before registering).
    std::function<void()> onCall;

private:
    const CDataCache* m_pCache;
    std::mutex m_Lock;
    std::vector<Call> m_vCalls;
};

inline void PrintTo(const CRecordingListener::Call& call, std::ostream* out) {
    *out << "{0x" << std::hex << call.handle << std::dec << ", " << call.state << ", "
         << call.reading << ", cached " << call.cachedState << "/" << call.cachedReading << "}";
}

// The simulated machine behind the tapping driver, a matching cache and the
// unit under test.
class IoUnitTest : public LogCapturingTest {
protected:
    static constexpr const wchar_t* kPath = L"\\\\?\\ROOT#IOTAP#0000#{test}";

    void SetUp() override {
        LogCapturingTest::SetUp();
        SvcpSetTickCount(kStartTick);
        UseMachine(MachineSetup::Default());
    }

    void TearDown() override {
        unit.reset();
        cache.reset();
        Detach();
        SvcpClearFailures();
        LogCapturingTest::TearDown();
        SvcpUnfreezeTickCount();
    }

    // A new simulated machine, its device and a cache with one entry per
    // sensor (index = position) and four LEDs (masks 1, 2, 4, 8). Drops the
    // unit.
    void UseMachine(const MachineSetup& setup) {
        unit.reset();
        Detach();
        sp = std::make_shared<CSimServiceProcessor>(setup);
        Attach();
        cache = std::make_unique<CDataCache>();
        for (size_t i = 0; i < setup.voltages.size(); ++i) {
            cache->AddVoltage(Info(L"Voltage"), static_cast<unsigned short>(i));
        }
        for (size_t i = 0; i < setup.fans.size(); ++i) {
            cache->AddFan(Info(L"Fan"), static_cast<unsigned short>(i));
        }
        for (size_t i = 0; i < setup.temperatures.size(); ++i) {
            cache->AddTemperature(Info(L"Temperature"), static_cast<unsigned short>(i));
        }
        for (unsigned short mask : {0x1, 0x2, 0x4, 0x8}) {
            CLedInformation led;
            led.Description = L"LED";
            led.BitMap = mask;
            cache->AddLed(led, mask);
        }
        cache->m_bLocked = true;
        LogCaptureClear();
    }

    void Attach() {
        driver = std::make_shared<CTapDriver>(sp);
        registration = svcp::RegisterDevice(kGuidKsvcpInterface, kPath, driver);
        ASSERT_NE(registration, 0u);
    }
    void Detach() {
        if (registration != 0) {
            svcp::RemoveDevice(registration);
            registration = 0;
        }
    }

    // A unit on the cache, initialised with the port base (its lines dropped).
    CIOUnit& InitialisedUnit() {
        unit = std::make_unique<CIOUnit>(cache.get());
        EXPECT_TRUE(unit->Initialise(kPortBase));
        LogCaptureClear();
        return *unit;
    }

    uint32_t Exchanges(uint8_t command) const { return sp->GetCounters().exchanges[command]; }
    LONG ReadingOf(unsigned long handle) const {
        LONG state = -1;
        LONG reading = -1;
        cache->GetSensorValues(handle, state, reading);
        return reading;
    }
    LONG StateOf(unsigned long handle) const {
        LONG state = -1;
        LONG reading = -1;
        cache->GetSensorValues(handle, state, reading);
        return state;
    }

    using LogCapturingTest::TakeLines;
    // Only the lines of `level` or below.
    static std::vector<LogLine> TakeLines(int level) {
        std::vector<LogLine> kept;
        for (const LogLine& line : TakeLines()) {
            if (line.level <= level) {
                kept.push_back(line);
            }
        }
        return kept;
    }

    static CSensorInformation Info(const wchar_t* description) {
        CSensorInformation info;
        info.Description = description;
        return info;
    }

    std::shared_ptr<CSimServiceProcessor> sp;
    std::shared_ptr<CTapDriver> driver;
    svcp::DeviceRegistration registration = 0;
    std::unique_ptr<CDataCache> cache;
    std::unique_ptr<CIOUnit> unit;
};

}  // namespace io_test
