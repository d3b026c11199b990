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
constexpr unsigned kThreads = 3;

class DataCacheConcurrency : public CacheTest {
protected:
    void SetUp() override {
        CacheTest::SetUp();
        // Captured lines would serialise the threads through the log's lock
        // and hide races; these tests only need the values.
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
    }

    // Called by each of kThreads threads when it starts.
    void Started() { m_nStarted.fetch_add(1); }
    // So that the writers run while all the other threads do.
    void WaitForOthers() const {
        while (m_nStarted.load() < kThreads) {
            std::this_thread::yield();
        }
    }

    CDataCache m_Cache;
    std::atomic<unsigned> m_nStarted{0};
};

// Many writers and readers on every path at once. The alert writer, the only
// state writer, stores (k, k) with k rising from 1; refresh writers store
// negative readings only. So a copy is consistent when a positive reading
// equals its state and a zero reading comes with state 0, and a state seen by
// one reader never goes down.
TEST_F(DataCacheConcurrency, EveryReadPathCopiesConsistentValues) {
    constexpr LONG kRounds = 20000;
    CSensorMap* maps[] = {&m_Cache.m_VoltageMap, &m_Cache.m_FanMap, &m_Cache.m_TemperatureMap};
    std::atomic<bool> done{false};
    std::atomic<unsigned long> inconsistent{0}, backwards{0}, reads{0};

    auto alertWriter = [&] {
        WaitForOthers();
        for (LONG k = 1; k <= kRounds; ++k) {
            for (CSensorMap* map : maps) {
                for (unsigned short i = 0; i < kSensorsPerKind; ++i) {
                    map->UpdateState(i, k, k);
                }
                map->m_wLastAlertBits = static_cast<WORD>(k);
            }
        }
    };
    auto refreshWriter = [&](LONG offset) {
        WaitForOthers();
        for (LONG j = 1; j <= kRounds; ++j) {
            for (CSensorMap* map : maps) {
                for (unsigned short i = 0; i < kSensorsPerKind; ++i) {
                    map->UpdateReading(i, -(j + offset));
                }
                map->m_dwLastUpdate = GetTickCount();
            }
            m_Cache.m_LedMap.UpdateStates((j & 1) ? 0xFFFF : 0x0004);
            m_Cache.m_LedMap.m_dwLastUpdate = GetTickCount();
        }
    };
    auto reader = [&] {
        LONG lastState[3][kSensorsPerKind] = {};
        unsigned long localInconsistent = 0, localBackwards = 0, localReads = 0;
        auto check = [&](unsigned kind, unsigned short i, LONG state, LONG reading) {
            localInconsistent +=
                (reading > 0 && reading != state) || (reading == 0 && state != 0) || state < 0;
            localBackwards += state < lastState[kind][i];
            lastState[kind][i] = state;
            ++localReads;
        };
        InternalSensor copy;
        InternalLed led;
        Started();
        while (!done.load()) {
            for (unsigned kind = 0; kind < 3; ++kind) {
                for (unsigned short i = 0; i < kSensorsPerKind; ++i) {
                    const unsigned long handle =
                        ServiceApi::MakeHandle(static_cast<HANDLE_KIND>(kind + 1), i);
                    ASSERT_EQ(m_Cache.GetSensor(handle, copy), ServiceCode_Success);
                    check(kind, i, copy.State(), copy.Reading());
                    LONG state = 0, reading = 0;
                    ASSERT_EQ(m_Cache.GetSensorValues(handle, state, reading), ServiceCode_Success);
                    check(kind, i, state, reading);
                    const bool found = kind == 0   ? m_Cache.GetVoltage(handle, copy)
                                       : kind == 1 ? m_Cache.GetFan(handle, copy)
                                                   : m_Cache.GetTemperature(handle, copy);
                    ASSERT_TRUE(found);
                    check(kind, i, copy.State(), copy.Reading());
                }
            }
            bool on = false;
            ASSERT_TRUE(m_Cache.GetLed(0x4000C, led));
            ASSERT_EQ(led.m_Information.BitMap, 0x000C);
            ASSERT_TRUE(m_Cache.GetLedState(0x48000, on));
            (void)m_Cache.IsFanDataStale();
            (void)m_Cache.IsLedDataStale();
        }
        inconsistent += localInconsistent;
        backwards += localBackwards;
        reads += localReads;
    };

    std::vector<std::thread> readers;
    for (unsigned r = 0; r < kThreads; ++r) {
        readers.emplace_back(reader);
    }
    std::thread writers[] = {std::thread(alertWriter), std::thread(refreshWriter, 0),
                             std::thread(refreshWriter, kRounds)};
    for (std::thread& writer : writers) {
        writer.join();
    }
    done = true;
    for (std::thread& thread : readers) {
        thread.join();
    }
    EXPECT_GT(reads.load(), 0u);
    EXPECT_EQ(inconsistent.load(), 0u);
    EXPECT_EQ(backwards.load(), 0u);
}

// One entry, written as fast as two threads can while the readers copy it: a
// reader catches any moment at which the entry holds half of an update.
TEST_F(DataCacheConcurrency, PairWrittenTogetherIsAlwaysReadTogether) {
    constexpr LONG kWrites = 200000;
    constexpr unsigned long kHandle = 0x30001;
    std::atomic<unsigned> writersLeft{2};
    std::atomic<unsigned long> mixed{0};
    auto writer = [&](LONG sign) {
        WaitForOthers();
        // CTemperatureMap::UpdateState writes no trace line: the tightest loop.
        for (LONG v = 1; v <= kWrites; ++v) {
            m_Cache.m_TemperatureMap.UpdateState(1, sign * v, sign * v);
        }
        writersLeft.fetch_sub(1);
    };
    auto reader = [&] {
        unsigned long local = 0;
        InternalSensor copy;
        Started();
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
    for (unsigned r = 0; r < kThreads; ++r) {
        threads.emplace_back(reader);
    }
    threads.emplace_back(writer, 1);
    threads.emplace_back(writer, -1);
    for (std::thread& thread : threads) {
        thread.join();
    }
    EXPECT_EQ(mixed.load(), 0u);
}

// A refresh that writes a reading between the alert writer's read and write of
// the same entry must keep the alert's state.
TEST_F(DataCacheConcurrency, RefreshNeverUndoesAConcurrentState) {
    constexpr LONG kWrites = 200000;
    constexpr unsigned long kHandle = 0x30002;
    std::atomic<bool> stateWriterDone{false};
    unsigned long lost = 0;
    auto stateWriter = [&] {
        WaitForOthers();
        for (LONG k = 1; k <= kWrites; ++k) {
            // The only state writer: its last state must still be there.
            LONG state = 0, reading = 0;
            m_Cache.GetSensorValues(kHandle, state, reading);
            lost += state != k - 1;
            m_Cache.m_TemperatureMap.UpdateState(2, k, k);
        }
        stateWriterDone = true;
    };
    auto readingWriter = [&] {
        Started();
        for (LONG j = 1; !stateWriterDone.load(std::memory_order_relaxed); ++j) {
            m_Cache.m_TemperatureMap.UpdateReading(2, -j);
        }
    };
    std::vector<std::thread> threads;
    for (unsigned r = 0; r < kThreads; ++r) {
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
