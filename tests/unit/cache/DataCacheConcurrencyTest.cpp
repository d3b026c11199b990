// Writers on the polling thread's and callers' paths against readers on every
// read path: no copy may pair values of different updates, and no state write
// may be lost. Run under ThreadSanitizer too.
#include <atomic>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "CacheTestSupport.h"
#include "svcproc/api/SensorHandle.h"
#include "svcproc/cache/DataCache.h"

namespace cache_test {
namespace {

constexpr unsigned short kSensorsPerKind = 4;
constexpr LONG kRounds = 20000;
constexpr unsigned kReaders = 3;

// What the writers store, and what a consistent copy therefore looks like.
//
// Voltages and fans: the alert writer, the only state writer, stores (k, k)
// with k rising from 1; refresh writers store negative readings only. A copy
// is consistent when a positive reading equals its state and a zero reading
// comes with state 0; a state seen by one reader never goes down (a refresh
// that put back an older state would make it).
//
// Temperatures: every writer stores pairs (v, v) with UpdateState, so any copy
// whose state differs from its reading mixes two updates.
struct Checker {
    unsigned long handle;
    bool pairsOnly;
    LONG lastState = 0;
    unsigned long inconsistent = 0;
    unsigned long backwards = 0;

    void Check(LONG state, LONG reading) {
        if (pairsOnly) {
            inconsistent += state != reading;
            return;
        }
        if ((reading > 0 && reading != state) || (reading == 0 && state != 0) || state < 0) {
            ++inconsistent;
        }
        if (state < lastState) {
            ++backwards;
        }
        lastState = state;
    }
};

bool IsPairsOnly(unsigned long handle) {
    return ServiceApi::HandleKind(handle) == HandleKind_Temperature;
}

class DataCacheConcurrency : public CacheTest {
protected:
    void SetUp() override {
        CacheTest::SetUp();
        // Captured lines would serialise the threads through the log's lock
        // and hide races; this test only needs the values.
        LogCaptureStop();
        for (unsigned short i = 0; i < kSensorsPerKind; ++i) {
            m_Cache.AddVoltage(SensorInfo(L"Voltage"), i);
            m_Cache.AddFan(SensorInfo(L"Fan"), i);
            m_Cache.AddTemperature(SensorInfo(L"Temperature"), i);
        }
        for (unsigned short mask : {0x0001, 0x0002, 0x000C, 0x8000}) {
            m_Cache.AddLed(LedInfo(L"LED", mask), mask);
        }
        m_Cache.m_bLocked = true;
        for (unsigned long kind = HandleKind_Voltage; kind <= HandleKind_Temperature; ++kind) {
            for (unsigned short i = 0; i < kSensorsPerKind; ++i) {
                m_vSensorHandles.push_back(
                    ServiceApi::MakeHandle(static_cast<HANDLE_KIND>(kind), i));
            }
        }
    }

    // So that the writers run while all the other threads do.
    void WaitForOthers() const {
        while (m_nStarted.load() < kReaders) {
            std::this_thread::yield();
        }
    }

    CSensorMap& MapOf(unsigned long handle) {
        switch (ServiceApi::HandleKind(handle)) {
            case HandleKind_Voltage:
                return m_Cache.m_VoltageMap;
            case HandleKind_Fan:
                return m_Cache.m_FanMap;
            default:
                return m_Cache.m_TemperatureMap;
        }
    }

    // The polling thread: alert states with their readings, and its mask.
    void AlertWriter() {
        WaitForOthers();
        for (LONG k = 1; k <= kRounds; ++k) {
            for (unsigned long handle : m_vSensorHandles) {
                if (!IsPairsOnly(handle)) {
                    // The only state writer here: its last state must still be there.
                    LONG state = 0, reading = 0;
                    m_Cache.GetSensorValues(handle, state, reading);
                    m_nLostStates += state != k - 1;
                }
                MapOf(handle).UpdateState(ServiceApi::HandleIndex(handle), k, k);
            }
            m_Cache.m_FanMap.m_wLastAlertBits = static_cast<WORD>(k);
        }
    }

    // A caller's refresh: readings of a whole kind, the LED word, the stamps.
    void RefreshWriter(LONG offset) {
        WaitForOthers();
        for (LONG j = 1; j <= kRounds; ++j) {
            const LONG value = -(j + offset);
            for (unsigned long handle : m_vSensorHandles) {
                const unsigned short index = ServiceApi::HandleIndex(handle);
                if (IsPairsOnly(handle)) {
                    MapOf(handle).UpdateState(index, value, value);
                } else {
                    MapOf(handle).UpdateReading(index, value);
                }
            }
            m_Cache.m_VoltageMap.m_dwLastUpdate = GetTickCount();
            m_Cache.m_LedMap.UpdateStates((j & 1) ? 0xFFFF : 0x0004);
            m_Cache.m_LedMap.m_dwLastUpdate = GetTickCount();
        }
    }

    bool GetByKind(unsigned long handle, InternalSensor& copy) const {
        switch (ServiceApi::HandleKind(handle)) {
            case HandleKind_Voltage:
                return m_Cache.GetVoltage(handle, copy);
            case HandleKind_Fan:
                return m_Cache.GetFan(handle, copy);
            default:
                return m_Cache.GetTemperature(handle, copy);
        }
    }

    void Reader(std::vector<Checker>& checkers, unsigned long& reads) {
        InternalSensor copy;
        InternalLed led;
        m_nStarted.fetch_add(1);
        while (!m_bDone.load(std::memory_order_acquire)) {
            for (Checker& checker : checkers) {
                ASSERT_EQ(m_Cache.GetSensor(checker.handle, copy), ServiceCode_Success);
                checker.Check(copy.State(), copy.Reading());

                LONG state = 0, reading = 0;
                ASSERT_EQ(m_Cache.GetSensorValues(checker.handle, state, reading),
                          ServiceCode_Success);
                checker.Check(state, reading);

                ASSERT_TRUE(GetByKind(checker.handle, copy));
                checker.Check(copy.State(), copy.Reading());
                reads += 3;
            }
            bool on = false;
            ASSERT_TRUE(m_Cache.GetLed(0x4000C, led));
            ASSERT_EQ(led.m_Information.BitMap, 0x000C);
            ASSERT_TRUE(m_Cache.GetLedState(0x48000, on));
            (void)m_Cache.IsVoltageDataStale();
            (void)m_Cache.IsLedDataStale();
        }
    }

    CDataCache m_Cache;
    std::vector<unsigned long> m_vSensorHandles;
    unsigned long m_nLostStates = 0;  // the alert writer's own count
    std::atomic<unsigned> m_nStarted{0};
    std::atomic<bool> m_bDone{false};
};

TEST_F(DataCacheConcurrency, EveryCopyHoldsOneUpdatesPairAndNoStateIsLost) {
    std::vector<std::vector<Checker>> checkers(kReaders);
    std::vector<unsigned long> reads(kReaders, 0);
    std::vector<std::thread> readers;
    for (unsigned r = 0; r < kReaders; ++r) {
        for (unsigned long handle : m_vSensorHandles) {
            checkers[r].push_back(Checker{handle, IsPairsOnly(handle)});
        }
        readers.emplace_back([this, &checkers, &reads, r] { Reader(checkers[r], reads[r]); });
    }
    std::thread alerts([this] { AlertWriter(); });
    std::thread refreshA([this] { RefreshWriter(0); });
    std::thread refreshB([this] { RefreshWriter(kRounds); });
    alerts.join();
    refreshA.join();
    refreshB.join();
    m_bDone.store(true, std::memory_order_release);
    for (std::thread& reader : readers) {
        reader.join();
    }

    EXPECT_EQ(m_nLostStates, 0u);
    for (unsigned r = 0; r < kReaders; ++r) {
        EXPECT_GT(reads[r], 0u);
        for (const Checker& checker : checkers[r]) {
            EXPECT_EQ(checker.inconsistent, 0u) << std::hex << checker.handle;
            EXPECT_EQ(checker.backwards, 0u) << std::hex << checker.handle;
        }
    }
    // The last alert's state survives every later refresh.
    for (unsigned long handle : m_vSensorHandles) {
        if (IsPairsOnly(handle)) {
            continue;
        }
        LONG state = 0, reading = 0;
        ASSERT_EQ(m_Cache.GetSensorValues(handle, state, reading), ServiceCode_Success);
        EXPECT_EQ(state, kRounds) << std::hex << handle;
        EXPECT_TRUE(reading == kRounds || reading < 0) << reading;
    }
}

// One entry, written as fast as two threads can while two readers copy it: a
// reader catches any moment at which the entry holds half of an update.

TEST_F(DataCacheConcurrency, PairWrittenTogetherIsAlwaysReadTogether) {
    constexpr LONG kWrites = 200000;
    constexpr unsigned long kHandle = 0x30001;
    std::atomic<unsigned> writersLeft{2};
    std::atomic<unsigned long> mixed{0};
    auto writer = [&](LONG sign) {
        WaitForOthers();
        for (LONG v = 1; v <= kWrites; ++v) {
            m_Cache.m_TemperatureMap.UpdateState(1, sign * v, sign * v);
        }
        writersLeft.fetch_sub(1);
    };
    auto reader = [&] {
        unsigned long local = 0;
        InternalSensor copy;
        m_nStarted.fetch_add(1);
        for (unsigned n = 0; writersLeft.load(std::memory_order_relaxed) != 0; ++n) {
            LONG state = 0, reading = 0;
            m_Cache.GetSensorValues(kHandle, state, reading);
            local += state != reading;
            if (n % 64 == 0) {
                m_Cache.GetSensor(kHandle, copy);
                local += copy.State() != copy.Reading();
            }
        }
        mixed += local;
    };
    std::vector<std::thread> threads;
    for (unsigned r = 0; r < kReaders; ++r) {
        threads.emplace_back(reader);
    }
    threads.emplace_back(writer, 1);
    threads.emplace_back(writer, -1);
    for (std::thread& thread : threads) {
        thread.join();
    }
    EXPECT_EQ(mixed.load(), 0u);
}

// A refresh that writes a reading between an alert writer's read and write of
// the same entry must keep the alert's state.

TEST_F(DataCacheConcurrency, RefreshNeverUndoesAConcurrentState) {
    constexpr LONG kWrites = 200000;
    constexpr unsigned long kHandle = 0x30002;
    std::atomic<bool> stateWriterDone{false};
    unsigned long lost = 0;
    auto stateWriter = [&] {
        WaitForOthers();
        for (LONG k = 1; k <= kWrites; ++k) {
            LONG state = 0, reading = 0;
            m_Cache.GetSensorValues(kHandle, state, reading);
            lost += state != k - 1;
            m_Cache.m_TemperatureMap.UpdateState(2, k, k);
        }
        stateWriterDone = true;
    };
    auto readingWriter = [&] {
        m_nStarted.fetch_add(1);
        for (LONG j = 1; !stateWriterDone.load(std::memory_order_relaxed); ++j) {
            m_Cache.m_TemperatureMap.UpdateReading(2, -j);
        }
    };
    std::vector<std::thread> threads;
    for (unsigned r = 0; r < kReaders; ++r) {
        threads.emplace_back(readingWriter);
    }
    threads.emplace_back(stateWriter);
    for (std::thread& thread : threads) {
        thread.join();
    }
    EXPECT_EQ(lost, 0u);
}

}  // namespace
}  // namespace cache_test
