// The data cache: adding until locked, handle listings, lookups and the
// freshness tests.
#include <functional>
#include <list>
#include <string>

#include <gtest/gtest.h>

#include "CacheTestSupport.h"
#include "svcproc/cache/DataCache.h"

namespace cache_test {
namespace {

using Handles = std::list<unsigned long>;

class DataCache : public CacheTest {
protected:
    static Handles SensorHandles(const CDataCache& cache) {
        Handles handles;
        EXPECT_EQ(cache.EnumerateSensorHandles(handles), ServiceCode_Success);
        return handles;
    }

    static Handles LedHandles(const CDataCache& cache) {
        Handles handles;
        EXPECT_EQ(cache.EnumerateLedHandles(handles), ServiceCode_Success);
        return handles;
    }
};

TEST_F(DataCache, ConstructsMapsInKindOrderAndDestroysThemInReverse) {
    { CDataCache cache; }
    EXPECT_EQ(TakeLines(), (std::vector<LogLine>{{3, "CVoltageMap Constructed"},
                                                 {3, "CFanMap Constructed"},
                                                 {3, "CTemperatureMap Constructed"},
                                                 {3, "CLedMap Constructed"},
                                                 {3, "CDataCache Constructed"},
                                                 {3, "CDataCache Destroyed"},
                                                 {3, "CLedMap destroyed"},
                                                 {3, "CTemperatureMap Destroyed"},
                                                 {3, "CFanMap Destroyed"},
                                                 {3, "CVoltageMap Destroyed"}}));
}

TEST_F(DataCache, AddLogsEachInsertionWithItsOwnText) {
    CDataCache cache;
    TakeLines();
    cache.AddVoltage(SensorInfo(L"CPU Core"), 2);
    cache.AddFan(SensorInfo(L"CPU Fan"), 65535);
    cache.AddTemperature(SensorInfo(L"Ambient"), 0);
    cache.AddLed(LedInfo(L"Disk LED", 0x8000), 0x8000);
    EXPECT_EQ(
        TakeLines(),
        (std::vector<LogLine>{
            {3, "CDataCache::AddVoltage - Inserted InternalSensor=CPU Core with SmbiosIndex=2"},
            {3, "CDataCache::AddFan - Inserted InternalSensor=CPU Fanwith SmbiosIndex=65535"},
            {3,
             "CDataCache::AddTemperature - Inserted InternalSensor=Ambient with "
             "SmbiosIndex=0"},
            {3,
             "CDataCache::AddLed - Inserted InternalLed=Disk LED with "
             "SmbiosIndex=32768"}}));
}

TEST_F(DataCache, DuplicateIndexIsRefusedAndTheFirstEntryStays) {
    CDataCache cache;
    cache.AddFan(SensorInfo(L"First Fan", 1200), 5);
    cache.AddVoltage(SensorInfo(L"Volt"), 5);  // another kind: its own map
    TakeLines();

    cache.AddFan(SensorInfo(L"Second Fan", 900), 5);
    cache.AddVoltage(SensorInfo(L"Volt Again"), 5);
    cache.AddTemperature(SensorInfo(L"Temp"), 1);
    cache.AddTemperature(SensorInfo(L"Temp Again"), 1);
    cache.AddLed(LedInfo(L"LED", 4), 4);
    cache.AddLed(LedInfo(L"LED Again", 4), 4);
    EXPECT_EQ(
        TakeLines(),
        (std::vector<LogLine>{
            {1, "CDataCache::AddFan - Insert InternalSensor=Second Fan with SmbiosIndex=5 failed"},
            {1,
             "CDataCache::AddVoltage - Insert InternalSensor=Volt Again with SmbiosIndex=5 failed"},
            {3, "CDataCache::AddTemperature - Inserted InternalSensor=Temp with SmbiosIndex=1"},
            {1,
             "CDataCache::AddTemperature - Insert InternalSensor=Temp Again with SmbiosIndex=1 "
             "failed"},
            {3, "CDataCache::AddLed - Inserted InternalLed=LED with SmbiosIndex=4"},
            {1, "CDataCache::AddLed - Insert InternalLed=LED Again with SmbiosIndex=4 failed"}}));

    CSensorInformation info;
    ASSERT_TRUE(cache.GetFanInfo(0x20005, info));
    EXPECT_EQ(info.Description, L"First Fan");
    EXPECT_EQ(info.NominalReading, 1200);
    CLedInformation led;
    ASSERT_TRUE(cache.GetLedInfo(0x40004, led));
    EXPECT_EQ(led.Description, L"LED");
    EXPECT_EQ(cache.m_FanMap.size(), 1u);
}

TEST_F(DataCache, LockedCacheRefusesEveryAddWithItsLockedLineOnly) {
    CDataCache cache;
    cache.AddVoltage(SensorInfo(L"V"), 0);
    cache.AddLed(LedInfo(L"L", 1), 1);
    cache.m_bLocked = true;
    TakeLines();

    cache.AddVoltage(SensorInfo(L"V2"), 1);
    cache.AddFan(SensorInfo(L"F"), 0);
    cache.AddTemperature(SensorInfo(L"T"), 0);
    cache.AddLed(LedInfo(L"L2", 2), 2);
    EXPECT_EQ(TakeLines(),
              (std::vector<LogLine>{{1, "CDataCache::AddVoltage - Map already locked"},
                                    {1, "CDataCache::AddFan - Map already locked"},
                                    {1, "CDataCache::AddTemperature - Map already locked"},
                                    {1, "CDataCache::AddLed - Map already locked"}}));
    EXPECT_EQ(SensorHandles(cache), (Handles{0x10000}));
    EXPECT_EQ(LedHandles(cache), (Handles{0x40001}));
}

TEST_F(DataCache, ListsHandlesByKindThenAscendingIndexAfterWhatTheListHolds) {
    CDataCache cache;
    Handles empty;
    EXPECT_EQ(cache.EnumerateSensorHandles(empty), ServiceCode_Success);
    EXPECT_EQ(cache.EnumerateLedHandles(empty), ServiceCode_Success);
    EXPECT_TRUE(empty.empty());

    cache.AddTemperature(SensorInfo(L"T0"), 0);
    cache.AddVoltage(SensorInfo(L"V2"), 2);
    cache.AddFan(SensorInfo(L"F1"), 1);
    cache.AddVoltage(SensorInfo(L"V0"), 0);
    cache.AddLed(LedInfo(L"L8", 0x0008), 0x0008);
    cache.AddLed(LedInfo(L"L1", 0x0001), 0x0001);
    cache.AddLed(LedInfo(L"LFFFF", 0xFFFF), 0xFFFF);
    TakeLines();

    EXPECT_EQ(SensorHandles(cache), (Handles{0x10000, 0x10002, 0x20001, 0x30000}));
    EXPECT_EQ(LedHandles(cache), (Handles{0x40001, 0x40008, 0x4FFFF}));

    Handles sensors{42};
    cache.EnumerateSensorHandles(sensors);
    cache.EnumerateSensorHandles(sensors);
    EXPECT_EQ(sensors, (Handles{42, 0x10000, 0x10002, 0x20001, 0x30000, 0x10000, 0x10002, 0x20001,
                                0x30000}));
    CLedHandleList leds;
    leds.push_back(7);
    cache.EnumerateLedHandles(leds);
    EXPECT_EQ(leds, (Handles{7, 0x40001, 0x40008, 0x4FFFF}));
    EXPECT_TRUE(TakeLines().empty());
}

TEST_F(DataCache, ChassisFanIsLeftOutOnlyOnBios84AndOnlyByExactDescription) {
    const struct {
        const char* version;
        const wchar_t* description;
        bool listed;
    } cases[] = {
        {"84", L"Chassis Fan", false},  {"84.02.17", L"Chassis Fan", false},
        {"85", L"Chassis Fan", true},   {"8D01", L"Chassis Fan", true},
        {"", L"Chassis Fan", true},     {"8", L"Chassis Fan", true},
        {"84", L"chassis fan", true},   {"84", L"Chassis Fan ", true},
        {"84", L"Chassis Fan 2", true}, {"84", L"CPU Fan", true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.version));
        CPOSSystem::GetInstance().m_sBiosVersion = c.version;
        CDataCache cache;
        cache.AddFan(SensorInfo(L"CPU Fan"), 0);
        cache.AddFan(SensorInfo(c.description), 1);
        cache.AddFan(SensorInfo(L"Rear Fan"), 2);
        TakeLines();

        const Handles handles = SensorHandles(cache);
        if (c.listed) {
            EXPECT_EQ(handles, (Handles{0x20000, 0x20001, 0x20002}));
            EXPECT_TRUE(TakeLines().empty());
        } else {
            EXPECT_EQ(handles, (Handles{0x20000, 0x20002}));
            EXPECT_EQ(TakeLines(),
                      (std::vector<LogLine>{{3,
                                             "CDataCache::EnumerateSensorHandles - Skipping enum "
                                             "of=Chassis Fan"}}));
        }
        // Left out of the listing only: the entry still answers.
        CSensorInformation info;
        EXPECT_TRUE(cache.GetFanInfo(0x20001, info));
        EXPECT_EQ(info.Description, c.description);
        InternalSensor fan;
        EXPECT_EQ(cache.GetSensor(0x20001, fan), ServiceCode_Success);
        cache.m_FanMap.UpdateReading(1, 3300);
        EXPECT_TRUE(cache.GetFan(0x20001, fan));
        EXPECT_EQ(fan.Reading(), 3300);
    }
}

TEST_F(DataCache, LookupsCopyTheEntryFoundByTheLowSixteenBitsOnly) {
    CDataCache cache;
    cache.AddVoltage(SensorInfo(L"V1", 1200), 1);
    cache.AddFan(SensorInfo(L"F0", 3000), 0);
    cache.AddTemperature(SensorInfo(L"T9", 400), 9);
    cache.AddLed(LedInfo(L"L4", 4), 4);
    cache.m_VoltageMap.UpdateState(1, 1, 1187);
    cache.m_LedMap.UpdateStates(0x0004);
    TakeLines();

    // The kind is examined one level up only.
    InternalSensor sensor;
    ASSERT_TRUE(cache.GetVoltage(0x20001, sensor));
    EXPECT_EQ(sensor.m_Information.Description, L"V1");
    EXPECT_EQ(sensor.m_Information.NominalReading, 1200);
    EXPECT_EQ(sensor.State(), 1);
    EXPECT_EQ(sensor.Reading(), 1187);
    ASSERT_TRUE(cache.GetFan(0x70000, sensor));
    EXPECT_EQ(sensor.m_Information.Description, L"F0");
    EXPECT_EQ(sensor.State(), 0);
    ASSERT_TRUE(cache.GetTemperature(0x30009, sensor));
    EXPECT_EQ(sensor.m_Information.Description, L"T9");

    InternalLed led;
    ASSERT_TRUE(cache.GetLed(0x10004, led));
    EXPECT_TRUE(led.m_bState.load());
    EXPECT_EQ(led.m_Information.Description, L"L4");

    CSensorInformation info;
    ASSERT_TRUE(cache.GetTemperatureInfo(0x30009, info));
    EXPECT_EQ(info.NominalReading, 400);
    CLedInformation ledInfo;
    ASSERT_TRUE(cache.GetLedInfo(0x40004, ledInfo));
    EXPECT_EQ(ledInfo.BitMap, 4);
    EXPECT_TRUE(TakeLines().empty());
}

TEST_F(DataCache, EveryMissingKeyLogsItsOwnLineWithTheLowSixteenBits) {
    CDataCache cache;
    cache.AddVoltage(SensorInfo(L"V"), 0);
    TakeLines();

    InternalSensor sensor;
    sensor.m_Information.Description = L"untouched";
    InternalLed led;
    led.m_Information.Description = L"untouched";
    CSensorInformation info = SensorInfo(L"untouched");
    CLedInformation ledInfo = LedInfo(L"untouched", 9);
    const struct {
        std::function<bool()> lookup;
        const char* line;
    } cases[] = {
        {[&] { return cache.GetVoltage(0x1ABCD, sensor); },
         "CDataCache::GetVoltage - Handle 0xabcd not found"},
        {[&] { return cache.GetFan(0x20003, sensor); },
         "CDataCache::GetFan - Handle 0x0003 not found"},
        {[&] { return cache.GetTemperature(0xFFFF0010, sensor); },
         "CDataCache::GetTemperature - Handle 0x0010 not found"},
        {[&] { return cache.GetLed(0x40000, led); },
         "CDataCache::GetLed - Handle 0x0000 not found"},
        {[&] { return cache.GetVoltageInfo(0x10001, info); },
         "CDataCache::GetVoltageInfo - Handle 0x0001 not found"},
        {[&] { return cache.GetFanInfo(0x2FFFF, info); },
         "CDataCache::GetFanInfo - Handle 0xffff not found"},
        {[&] { return cache.GetTemperatureInfo(0x30000, info); },
         "CDataCache::GetTemperatureInfo - Handle 0x0000 not found"},
        {[&] { return cache.GetLedInfo(0x40100, ledInfo); },
         "CDataCache::GetLedInfo - Handle 0x0100 not found"},
    };
    for (const auto& c : cases) {
        EXPECT_FALSE(c.lookup()) << c.line;
        EXPECT_EQ(TakeLines(), (std::vector<LogLine>{{1, c.line}}));
    }
    EXPECT_EQ(sensor.m_Information.Description, L"untouched");
    EXPECT_EQ(led.m_Information.Description, L"untouched");
    EXPECT_EQ(info.Description, L"untouched");
    EXPECT_EQ(ledInfo.Description, L"untouched");
}

TEST_F(DataCache, GetSensorDispatchesByKindAndRefusesOtherKindsSilently) {
    CDataCache cache;
    for (unsigned short index : {0, 1, 5}) {
        cache.AddVoltage(SensorInfo(L"V"), index);
        cache.AddFan(SensorInfo(L"F"), index);
        cache.AddTemperature(SensorInfo(L"T"), index);
        cache.AddLed(LedInfo(L"L", index), index);
    }
    cache.m_TemperatureMap.UpdateState(5, 1, 455);
    TakeLines();

    InternalSensor sensor;
    for (unsigned long handle : {0x40001ul, 0x00005ul, 0x50000ul, 0xFFFF0001ul}) {
        LONG state = -1, reading = -1;
        EXPECT_EQ(cache.GetSensor(handle, sensor), ServiceCode_InvalidHandle) << handle;
        EXPECT_EQ(cache.GetSensorValues(handle, state, reading), ServiceCode_InvalidHandle);
        EXPECT_EQ(state, -1);
        EXPECT_EQ(reading, -1);
    }
    EXPECT_TRUE(TakeLines().empty());

    ASSERT_EQ(cache.GetSensor(0x30005, sensor), ServiceCode_Success);
    EXPECT_EQ(sensor.m_Information.Description, L"T");
    EXPECT_EQ(sensor.State(), 1);
    EXPECT_EQ(sensor.Reading(), 455);

    const struct {
        unsigned long handle;
        const char* line;
    } missing[] = {{0x10002, "CDataCache::GetVoltage - Handle 0x0002 not found"},
                   {0x20002, "CDataCache::GetFan - Handle 0x0002 not found"},
                   {0x30002, "CDataCache::GetTemperature - Handle 0x0002 not found"}};
    for (const auto& m : missing) {
        LONG state = -1, reading = -1;
        EXPECT_EQ(cache.GetSensor(m.handle, sensor), ServiceCode_InvalidHandle);
        EXPECT_EQ(cache.GetSensorValues(m.handle, state, reading), ServiceCode_InvalidHandle);
        EXPECT_EQ(state, -1);
        EXPECT_EQ(TakeLines(), (std::vector<LogLine>{{1, m.line}, {1, m.line}}));
    }
}

TEST_F(DataCache, ValueReadsMatchTheFullCopies) {
    CDataCache cache;
    cache.AddFan(SensorInfo(L"F"), 3);
    cache.AddLed(LedInfo(L"L", 0x0030), 0x0030);
    cache.m_FanMap.UpdateState(3, 1, -70000);
    cache.m_LedMap.UpdateStates(0x0010);
    TakeLines();

    LONG state = 0, reading = 0;
    ASSERT_EQ(cache.GetSensorValues(0x20003, state, reading), ServiceCode_Success);
    EXPECT_EQ(state, 1);
    EXPECT_EQ(reading, -70000);

    bool on = false;
    ASSERT_TRUE(cache.GetLedState(0x40030, on));
    EXPECT_TRUE(on);
    cache.m_LedMap.UpdateStates(0x0001);
    ASSERT_TRUE(cache.GetLedState(0x40030, on));
    EXPECT_FALSE(on);
    EXPECT_TRUE(TakeLines().empty());

    on = true;
    EXPECT_FALSE(cache.GetLedState(0x40031, on));
    EXPECT_TRUE(on);
    EXPECT_EQ(TakeLines(),
              (std::vector<LogLine>{{1, "CDataCache::GetLed - Handle 0x0031 not found"}}));
}

TEST_F(DataCache, KindIsStaleFromFiveHundredMillisecondsOnEitherSide) {
    SvcpSetTickCount(10000);
    CDataCache cache;
    TakeLines();
    const std::function<bool()> tests[] = {
        [&] { return cache.IsVoltageDataStale(); }, [&] { return cache.IsFanDataStale(); },
        [&] { return cache.IsTemperatureDataStale(); }, [&] { return cache.IsLedDataStale(); }};
    std::atomic<DWORD>* stamps[] = {
        &cache.m_VoltageMap.m_dwLastUpdate, &cache.m_FanMap.m_dwLastUpdate,
        &cache.m_TemperatureMap.m_dwLastUpdate, &cache.m_LedMap.m_dwLastUpdate};
    // Every map starts with the construction tick.
    for (const auto& test : tests) {
        EXPECT_FALSE(test());
    }
    SvcpAdvanceTickCount(500);
    for (size_t kind = 0; kind < 4; ++kind) {
        SCOPED_TRACE(kind);
        stamps[kind]->store(GetTickCount());
        EXPECT_FALSE(tests[kind]());
        // Only this kind's stamp counts.
        for (size_t other = 0; other < 4; ++other) {
            if (other != kind) {
                EXPECT_TRUE(tests[other]()) << other;
            }
        }
        SvcpAdvanceTickCount(499);
        EXPECT_FALSE(tests[kind]());
        SvcpAdvanceTickCount(1);
        EXPECT_TRUE(tests[kind]());

        // A stamp ahead of the tick.
        stamps[kind]->store(GetTickCount() + 499);
        EXPECT_FALSE(tests[kind]());
        stamps[kind]->store(GetTickCount() + 500);
        EXPECT_TRUE(tests[kind]());
        stamps[kind]->store(GetTickCount() - 500);
    }
    EXPECT_TRUE(TakeLines().empty());
}

TEST_F(DataCache, WrappedTickCountsAsStale) {
    SvcpSetTickCount(0xFFFFFF00u);
    CDataCache cache;
    SvcpAdvanceTickCount(0xFF);  // 0xFFFFFFFF: no wrap yet
    EXPECT_FALSE(cache.IsVoltageDataStale());
    SvcpAdvanceTickCount(1);  // 0: 256 ms later, but the tick wrapped
    EXPECT_TRUE(cache.IsVoltageDataStale());
    EXPECT_TRUE(cache.IsLedDataStale());

    cache.m_VoltageMap.m_dwLastUpdate = GetTickCount();
    SvcpAdvanceTickCount(499);
    EXPECT_FALSE(cache.IsVoltageDataStale());
}

}  // namespace
}  // namespace cache_test
