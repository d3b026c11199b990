// The library under fire, through the exported API on the simulated machine:
// four threads read every handle, one thread registers, unregisters and
// destroys listeners without pause, readings cross their thresholds every 10
// to 50 ms, and about one exchange in ten meets a fault the library must
// notice (a failed call, a corrupt checksum, a wrong type).
//
// Checks: every reading and every listener's reading is one the simulator
// produced, scaled as the library scales it; each listener hears each state
// change of its registration exactly once and nothing after its
// UnregisterSensorStateListener returned; resident memory stays flat; and,
// in the sanitizer builds, no report.
//
// SVCP_SOAK_SECONDS sets the run's length (a few seconds by default). The
// self-test slips in one well-formed answer with a reading the simulator
// never produced, which the library cannot tell from a true one: the checks
// must report it.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <memory>
#include <mutex>
#include <random>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "support/process/LoadedLibrary.h"
#include "LogControl.h"
#include "TestMachine.h"
#include "platform_seams.h"
#include "sim/sp/SimProtocol.h"

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define SVCP_SOAK_SANITIZED 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
#define SVCP_SOAK_SANITIZED 1
#endif
#endif

namespace {

using Clock = std::chrono::steady_clock;
using svcpsim::SensorKind;

double SoakSeconds(double fallback) {
    const char* text = std::getenv("SVCP_SOAK_SECONDS");
    if (text == nullptr || *text == '\0') {
        return fallback;
    }
    const double seconds = std::atof(text);
    return seconds > 0 ? seconds : fallback;
}

long ResidentKilobytes() {
    FILE* statm = std::fopen("/proc/self/statm", "r");
    if (statm == nullptr) {
        return -1;
    }
    long size = 0;
    long resident = 0;
    const int read = std::fscanf(statm, "%ld %ld", &size, &resident);
    std::fclose(statm);
    return read == 2 ? resident * 4 : -1;
}

// The sensors the soak moves: two of each kind, each with one critical
// threshold that the mover crosses back and forth.
struct MovedSensor {
    SensorKind kind;
    uint8_t index;
    int32_t inside;   // a reading inside the thresholds
    int32_t outside;  // one beyond the critical threshold
};

const MovedSensor kMoved[] = {
    {SensorKind::Voltage, 0, 1200, 1500},    // CPU Core, upper critical 1400 mV
    {SensorKind::Voltage, 1, 12000, 13500},  // +12V, upper critical 13200 mV
    {SensorKind::Fan, 0, 2400, 300},         // CPU Fan, lower critical 500 RPM
    {SensorKind::Fan, 2, 3000, 200},         // PSU Fan, lower critical 600 RPM
    {SensorKind::Temperature, 0, 410, 900},  // CPU, upper critical 85.0 degrees
    {SensorKind::Temperature, 1, 300, 650},  // System, upper critical 60.0 degrees
};

unsigned long HandleOf(SensorKind kind, unsigned index) {
    switch (kind) {
        case SensorKind::Voltage:
            return 0x10000ul | index;
        case SensorKind::Fan:
            return 0x20000ul | index;
        default:
            return 0x30000ul | index;
    }
}

// What the library makes of a simulator reading: voltages travel in tens of
// millivolts and temperatures in whole degrees, both scaled by 10 on the way
// in; listeners hear the value on the wire.
long RawFactor(unsigned long handle) {
    return (handle >> 16) == 2 ? 1 : 10;
}

// Every reading the simulator has produced, by handle; readers and listeners
// check against it. A value is added before the simulator can report it.
class CProduced {
public:
    // `value` as the simulator is told it: millivolts, RPM, tenths of a
    // degree. Stored as the library reads it back.
    void Add(unsigned long handle, int32_t value) {
        if (RawFactor(handle) == 10) {
            // Rounded half away from zero to the units on the wire.
            value = (value >= 0 ? (value + 5) / 10 : (value - 5) / 10) * 10;
        }
        std::lock_guard<std::mutex> guard(m_Lock);
        m_Values[handle].insert(value);
    }
    bool Contains(unsigned long handle, int64_t value) {
        std::lock_guard<std::mutex> guard(m_Lock);
        const auto found = m_Values.find(handle);
        return found != m_Values.end() && found->second.count(static_cast<int32_t>(value)) != 0;
    }

private:
    std::mutex m_Lock;
    std::map<unsigned long, std::set<int32_t>> m_Values;
};

// The findings, counted and the first few kept.
class CFindings {
public:
    void Report(const std::string& what) {
        std::lock_guard<std::mutex> guard(m_Lock);
        ++m_nCount;
        if (m_vFirst.size() < 10) {
            m_vFirst.push_back(what);
        }
    }
    size_t Count() {
        std::lock_guard<std::mutex> guard(m_Lock);
        return m_nCount;
    }
    std::string Text() {
        std::lock_guard<std::mutex> guard(m_Lock);
        std::string text;
        for (const std::string& line : m_vFirst) {
            text += "  " + line + "\n";
        }
        return text;
    }

private:
    std::mutex m_Lock;
    size_t m_nCount = 0;
    std::vector<std::string> m_vFirst;
};

std::string Hex(unsigned long value) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%05lx", value);
    return text;
}

// Registered first and for the whole run, so it is called first in every
// delivery: it numbers the deliveries, and checks that each sensor's states
// alternate (a change heard twice would repeat a state).
class CAnchorListener final : public ISensorStateListener {
public:
    CAnchorListener(CProduced& produced, CFindings& findings)
        : m_Produced(produced), m_Findings(findings) {}
    void OnSensorStateChange(unsigned long handle, unsigned long state,
                             unsigned long reading) override {
        m_nDeliveries.fetch_add(1, std::memory_order_acq_rel);
        if (!m_Produced.Contains(handle, static_cast<int64_t>(reading) * RawFactor(handle))) {
            m_Findings.Report("listener heard " + Hex(handle) + " read " + std::to_string(reading) +
                              ", which the simulator never produced");
        }
        std::lock_guard<std::mutex> guard(m_Lock);
        const auto last = m_LastState.find(handle);
        if ((last == m_LastState.end() && state != 1) ||
            (last != m_LastState.end() && last->second == state)) {
            m_Findings.Report("state " + std::to_string(state) + " of " + Hex(handle) +
                              " heard twice in a row");
        }
        m_LastState[handle] = state;
    }
    unsigned long Deliveries() const { return m_nDeliveries.load(std::memory_order_acquire); }

private:
    CProduced& m_Produced;
    CFindings& m_Findings;
    std::atomic<unsigned long> m_nDeliveries{0};
    std::mutex m_Lock;
    std::map<unsigned long, unsigned long> m_LastState;
};

// A short-lived listener: which deliveries it heard, by the anchor's number.
class CChurnListener final : public ISensorStateListener {
public:
    explicit CChurnListener(const CAnchorListener& anchor) : m_Anchor(anchor) {}
    void OnSensorStateChange(unsigned long, unsigned long, unsigned long) override {
        if (m_bUnregistered.load(std::memory_order_acquire)) {
            m_nLateCalls.fetch_add(1);
        }
        std::lock_guard<std::mutex> guard(m_Lock);
        m_vHeard.push_back(m_Anchor.Deliveries());
    }
    std::vector<unsigned long> Heard() {
        std::lock_guard<std::mutex> guard(m_Lock);
        return m_vHeard;
    }

    std::atomic<bool> m_bUnregistered{false};
    std::atomic<unsigned> m_nLateCalls{0};

private:
    const CAnchorListener& m_Anchor;
    std::mutex m_Lock;
    std::vector<unsigned long> m_vHeard;
};

struct SoakFigures {
    unsigned long reads = 0;
    unsigned long deliveries = 0;
    unsigned long churnCycles = 0;
    unsigned long exchanges = 0;
    unsigned long faults = 0;
    long residentGrowthKb = 0;
};

class Soak : public ::testing::Test {
protected:
    void SetUp() override {
        LogSetLevel(1);
        LogSetFile("none");  // the faults' level-1 lines are expected
    }
    void TearDown() override {
        LogSetFile("stderr");
        SvcpClearFailures();
        SvcpUnfreezeTickCount();
    }

    // One run of `seconds`; with `poison`, one undetectable wrong answer.
    SoakFigures Run(double seconds, bool poison) {
        TestMachine machine;
        machine.Install();
        svcpsim::CSimServiceProcessor& sp = machine.ServiceProcessor();
        LoadedLibrary library;
        EXPECT_EQ(library.InitialiseServiceDriver(), ServiceCode_Success);

        for (const TestSensor& sensor : TestMachineSpec::Default().sensors) {
            m_Produced.Add(HandleOf(sensor.kind, sensor.index), sensor.reading);
        }
        for (const MovedSensor& moved : kMoved) {
            m_Produced.Add(HandleOf(moved.kind, moved.index), moved.inside);
            m_Produced.Add(HandleOf(moved.kind, moved.index), moved.outside);
        }

        CSensorHandleList sensorList;
        CLedHandleList ledList;
        EXPECT_EQ(library.EnumerateSensorHandles(sensorList), ServiceCode_Success);
        EXPECT_EQ(library.EnumerateLedHandles(ledList), ServiceCode_Success);
        std::vector<unsigned long> sensors(sensorList.begin(), sensorList.end());
        sensors.push_back(0x20001);  // the chassis fan, left out of the listing
        const std::vector<unsigned long> leds(ledList.begin(), ledList.end());

        CAnchorListener anchor(m_Produced, m_Findings);
        library.RegisterSensorStateListener(&anchor);

        std::atomic<bool> stop{false};
        std::atomic<unsigned long> reads{0};
        std::vector<std::thread> threads;

        // Readers: every handle, over and over.
        for (int r = 0; r < 4; ++r) {
            threads.emplace_back([&, r] {
                CSensorReading reading{};
                CLedReading led{};
                size_t i = static_cast<size_t>(r);
                while (!stop.load(std::memory_order_acquire)) {
                    const unsigned long handle = sensors[i++ % sensors.size()];
                    if (library.ReadSensor(handle, reading) != ServiceCode_Success) {
                        m_Findings.Report("ReadSensor(" + Hex(handle) + ") refused");
                    } else if (!m_Produced.Contains(handle, reading.CurrentReading)) {
                        m_Findings.Report("ReadSensor(" + Hex(handle) + ") gave " +
                                          std::to_string(reading.CurrentReading) +
                                          ", which the simulator never produced");
                    }
                    const unsigned long ledHandle = leds[i % leds.size()];
                    if (library.ReadLed(ledHandle, led) != ServiceCode_Success || led.State > 1) {
                        m_Findings.Report("ReadLed(" + Hex(ledHandle) + ") failed");
                    }
                    reads.fetch_add(2, std::memory_order_relaxed);
                }
            });
        }

        // Listener churn: register, wait a little, unregister, then destroy.
        std::atomic<unsigned long> cycles{0};
        threads.emplace_back([&] {
            std::mt19937 random(7);
            while (!stop.load(std::memory_order_acquire)) {
                auto listener = std::make_unique<CChurnListener>(anchor);
                const unsigned long beforeRegister = anchor.Deliveries();
                library.RegisterSensorStateListener(listener.get());
                const unsigned long registered = anchor.Deliveries();
                std::this_thread::sleep_for(std::chrono::microseconds(random() % 30000));
                const unsigned long beforeUnregister = anchor.Deliveries();
                library.UnregisterSensorStateListener(listener.get());
                listener->m_bUnregistered.store(true, std::memory_order_release);
                const unsigned long afterUnregister = anchor.Deliveries();
                // A late call would still be noticed here, before the delete.
                std::this_thread::sleep_for(std::chrono::microseconds(random() % 2000));
                CheckChurn(*listener, beforeRegister, registered, beforeUnregister,
                           afterUnregister);
                listener.reset();
                cycles.fetch_add(1, std::memory_order_relaxed);
            }
        });

        // Mover: a moved sensor across its threshold every 10 to 50 ms; the
        // tick jumps now and then, so that reads refresh more often.
        threads.emplace_back([&] {
            std::mt19937 random(11);
            std::vector<bool> outside(std::size(kMoved), false);
            while (!stop.load(std::memory_order_acquire)) {
                const size_t which = random() % std::size(kMoved);
                outside[which] = !outside[which];
                const MovedSensor& moved = kMoved[which];
                sp.SetReading(moved.kind, moved.index,
                              outside[which] ? moved.outside : moved.inside);
                if (random() % 2 == 0) {
                    SvcpAdvanceTickCount(250);
                }
                std::this_thread::sleep_for(std::chrono::milliseconds(10 + random() % 41));
            }
        });

        // Faults: one in about every ten exchanges, of the kinds the library
        // notices. The wrong type names no kind, so a poll drops it too.
        std::atomic<unsigned long> faults{0};
        std::atomic<unsigned long> exchanges{0};
        threads.emplace_back([&] {
            unsigned long planned = 0;
            unsigned kind = 0;
            while (!stop.load(std::memory_order_acquire)) {
                const svcpsim::SimCounters counters = sp.GetCounters();
                unsigned long total = counters.failedExchanges;
                for (uint32_t count : counters.exchanges) {
                    total += count;
                }
                exchanges.store(total);
                if (total >= planned + 10) {
                    planned = total;
                    switch (kind++ % 3) {
                        case 0:
                            sp.FailExchanges(1, 0x45D);  // ERROR_IO_DEVICE
                            break;
                        case 1:
                            sp.CorruptChecksums(1);
                            break;
                        default:
                            sp.AnswerWithType(1, 0xA3);
                            break;
                    }
                    faults.fetch_add(1);
                }
                std::this_thread::sleep_for(std::chrono::milliseconds(2));
            }
        });

        const Clock::time_point start = Clock::now();
        if (poison) {
            // Well formed, the right type, a value never set: 7.77 V on the
            // CPU core. Only the checks can tell. Again and again, in case
            // a planned fault meets it.
            threads.emplace_back([&] {
                while (!stop.load(std::memory_order_acquire)) {
                    std::this_thread::sleep_for(std::chrono::milliseconds(200));
                    if (sp.GetPendingRawResponseCount() == 0) {
                        sp.QueueRawResponse(
                            svcpsim::MakeRawResponse(0xA6, {0x03, 0x09, 0x04, 0xB0}, false),
                            uint8_t{0xA6});
                    }
                }
            });
        }

        const auto length = std::chrono::duration<double>(seconds);
        std::this_thread::sleep_until(start +
                                      std::chrono::duration_cast<Clock::duration>(length / 4));
        const long residentWarm = ResidentKilobytes();
        std::this_thread::sleep_until(start + std::chrono::duration_cast<Clock::duration>(length));
        const long residentEnd = ResidentKilobytes();
        stop.store(true, std::memory_order_release);
        for (std::thread& thread : threads) {
            thread.join();
        }
        library.UnregisterSensorStateListener(&anchor);

        SoakFigures figures;
        figures.reads = reads.load();
        figures.deliveries = anchor.Deliveries();
        figures.churnCycles = cycles.load();
        figures.exchanges = exchanges.load();
        figures.faults = faults.load();
        figures.residentGrowthKb = residentEnd - residentWarm;
        return figures;
    }

    // The deliveries a churn listener heard, by the anchor's numbers read
    // around its registration and unregistration: each at most once and in
    // order; none that began before Register was called or after Unregister
    // returned; and every one that began after Register returned and ended
    // before Unregister was called. (The anchor's count is the number of the
    // delivery in progress or last made; one in progress may have fixed its
    // listeners before the registration.)
    void CheckChurn(CChurnListener& listener, unsigned long beforeRegister,
                    unsigned long registered, unsigned long beforeUnregister,
                    unsigned long afterUnregister) {
        if (listener.m_nLateCalls.load() != 0) {
            m_Findings.Report("a listener was called after its unregistration returned");
        }
        const std::vector<unsigned long> heard = listener.Heard();
        for (size_t i = 1; i < heard.size(); ++i) {
            if (heard[i] <= heard[i - 1]) {
                m_Findings.Report("a listener heard delivery " + std::to_string(heard[i]) +
                                  " twice or out of order");
            }
        }
        for (unsigned long delivery : heard) {
            if (delivery <= beforeRegister || delivery > afterUnregister) {
                m_Findings.Report("a listener heard delivery " + std::to_string(delivery) +
                                  " outside its registration");
            }
        }
        for (unsigned long delivery = registered + 2; delivery < beforeUnregister; ++delivery) {
            if (!std::binary_search(heard.begin(), heard.end(), delivery)) {
                m_Findings.Report("a listener missed delivery " + std::to_string(delivery) +
                                  " made while it was registered");
            }
        }
    }

    CProduced m_Produced;
    CFindings m_Findings;
};

TEST_F(Soak, HoldsUnderFaultsAndListenerChurn) {
    const double seconds = SoakSeconds(3.0);
    const SoakFigures figures = Run(seconds, false);
    std::printf(
        "soak: %.1f s, %lu reads, %lu deliveries, %lu listener cycles, %lu exchanges, "
        "%lu faults, resident memory %+ld KB after warm-up\n",
        seconds, figures.reads, figures.deliveries, figures.churnCycles, figures.exchanges,
        figures.faults, figures.residentGrowthKb);
    EXPECT_EQ(m_Findings.Count(), 0u) << m_Findings.Text();
    EXPECT_GT(figures.deliveries, 4u);
    EXPECT_GT(figures.churnCycles, 10u);
    EXPECT_GT(figures.faults, 2u);
#ifndef SVCP_SOAK_SANITIZED
    // The sanitizers' own bookkeeping (quarantine, shadow) grows by design.
    EXPECT_LT(figures.residentGrowthKb, 2048) << "resident memory grew";
#endif
}

TEST_F(Soak, SelfTestTheChecksCatchAnUndetectableWrongAnswer) {
    Run(SoakSeconds(3.0) > 3.0 ? 3.0 : 1.5, true);
    EXPECT_GT(m_Findings.Count(), 0u) << "a reading the simulator never produced went unseen";
    EXPECT_NE(m_Findings.Text().find("7770"), std::string::npos) << m_Findings.Text();
}

}  // namespace
