// The sensor maps' updates and trace lines, and the LED map's state word.
#include <memory>
#include <string>

#include <gtest/gtest.h>

#include "CacheTestSupport.h"
#include "svcproc/cache/LedMap.h"
#include "svcproc/cache/SensorMaps.h"

namespace cache_test {
namespace {

template <typename Map>
struct MapTraits;
template <>
struct MapTraits<CVoltageMap> {
    static constexpr const char* kName = "CVoltageMap";
    static constexpr bool kTracesUpdateState = true;
};
template <>
struct MapTraits<CFanMap> {
    static constexpr const char* kName = "CFanMap";
    static constexpr bool kTracesUpdateState = true;
};
template <>
struct MapTraits<CTemperatureMap> {
    static constexpr const char* kName = "CTemperatureMap";
    static constexpr bool kTracesUpdateState = false;
};

template <typename Map>
class SensorMap : public CacheTest {
protected:
    static std::string Line(const char* text) { return std::string(MapTraits<Map>::kName) + text; }

    // A map with entries 0, 3 and 0xFFFF, made with the tick frozen at 1000.
    std::unique_ptr<Map> MakeMap() {
        SvcpSetTickCount(1000);
        auto map = std::make_unique<Map>();
        for (unsigned short index : {0, 3, 0xFFFF}) {
            map->try_emplace(index, SensorInfo(L"Sensor"));
        }
        TakeLines();
        return map;
    }

    static void ExpectValues(const Map& map, unsigned short index, LONG state, LONG reading) {
        const InternalSensor& entry = map.at(index);
        EXPECT_EQ(entry.State(), state) << "index " << index;
        EXPECT_EQ(entry.Reading(), reading) << "index " << index;
    }
};

using SensorMapTypes = ::testing::Types<CVoltageMap, CFanMap, CTemperatureMap>;
TYPED_TEST_SUITE(SensorMap, SensorMapTypes);

TYPED_TEST(SensorMap, LogsConstructionAndDestruction) {
    { TypeParam map; }
    EXPECT_EQ(this->TakeLines(), (std::vector<LogLine>{{3, this->Line(" Constructed")},
                                                       {3, this->Line(" Destroyed")}}));
}

TYPED_TEST(SensorMap, StartsWithTheConstructionTickAndNoAlertBits) {
    SvcpSetTickCount(0xFFFFFFF0u);
    TypeParam map;
    EXPECT_EQ(map.m_dwLastUpdate.load(), 0xFFFFFFF0u);
    EXPECT_EQ(map.m_wLastAlertBits.load(), 0);
}

TYPED_TEST(SensorMap, NewEntriesReadZeroAndUpdatesKeepTheOtherValue) {
    auto map = this->MakeMap();
    this->ExpectValues(*map, 3, 0, 0);

    map->UpdateState(3, 1, -5);
    this->ExpectValues(*map, 3, 1, -5);
    map->UpdateReading(3, 70000);
    this->ExpectValues(*map, 3, 1, 70000);
    map->UpdateState(3, 0, 12);
    this->ExpectValues(*map, 3, 0, 12);

    this->ExpectValues(*map, 0, 0, 0);
    this->ExpectValues(*map, 0xFFFF, 0, 0);
}

TYPED_TEST(SensorMap, UpdatesTraceTheIndexUnsignedAndValuesSigned) {
    auto map = this->MakeMap();
    map->UpdateReading(0xFFFF, -2147483647 - 1);
    map->UpdateState(0xFFFF, 1, -1);

    std::vector<LogLine> expected = {{4, this->Line("::UpdateReading(65535,-2147483648)")}};
    if (MapTraits<TypeParam>::kTracesUpdateState) {
        expected.push_back({4, this->Line("::UpdateState(65535,1,-1)")});
    }
    EXPECT_EQ(this->TakeLines(), expected);
    this->ExpectValues(*map, 0xFFFF, 1, -1);
}

TYPED_TEST(SensorMap, UnknownIndexIsLoggedAndChangesNothing) {
    auto map = this->MakeMap();
    map->UpdateState(0, 1, 9);
    this->TakeLines();

    map->UpdateReading(1, 50);
    map->UpdateState(0xFFFE, 0, 60);

    std::vector<LogLine> expected = {
        {4, this->Line("::UpdateReading(1,50)")},
        {3, this->Line("::UpdateReading - cannot find SmbiosIndex 1 in Map")}};
    if (MapTraits<TypeParam>::kTracesUpdateState) {
        expected.push_back({4, this->Line("::UpdateState(65534,0,60)")});
    }
    expected.push_back({3, this->Line("::UpdateState - cannot find SmbiosIndex 65534 in Map")});
    EXPECT_EQ(this->TakeLines(), expected);
    EXPECT_EQ(map->size(), 3u);
    this->ExpectValues(*map, 0, 1, 9);
    this->ExpectValues(*map, 3, 0, 0);
}

TYPED_TEST(SensorMap, UpdatesLeaveTheTickAndAlertBitsToTheirCallers) {
    auto map = this->MakeMap();
    map->m_wLastAlertBits = 0x0005;
    SvcpAdvanceTickCount(2000);
    map->UpdateReading(0, 1);
    map->UpdateState(3, 1, 2);
    EXPECT_EQ(map->m_dwLastUpdate.load(), 1000u);
    EXPECT_EQ(map->m_wLastAlertBits.load(), 0x0005);
}

class LedMap : public CacheTest {
protected:
    static void Fill(CLedMap& map, std::initializer_list<unsigned short> masks) {
        for (unsigned short mask : masks) {
            map.try_emplace(mask, LedInfo(L"LED", mask));
        }
    }

    static std::vector<bool> States(const CLedMap& map) {
        std::vector<bool> states;
        for (const auto& entry : map) {
            states.push_back(entry.second.m_bState.load());
        }
        return states;
    }
};

TEST_F(LedMap, LogsConstructionAndLowerCaseDestruction) {
    SvcpSetTickCount(77);
    {
        CLedMap map;
        EXPECT_EQ(map.m_dwLastUpdate.load(), 77u);
    }
    EXPECT_EQ(TakeLines(),
              (std::vector<LogLine>{{3, "CLedMap Constructed"}, {3, "CLedMap destroyed"}}));
}

TEST_F(LedMap, EachLedIsOnWhenTheWordSharesABitWithItsMask) {
    CLedMap map;
    Fill(map, {0x0001, 0x0002, 0x0004});
    EXPECT_EQ(States(map), (std::vector<bool>{false, false, false}));
    TakeLines();

    map.UpdateStates(0x0005);
    EXPECT_EQ(States(map), (std::vector<bool>{true, false, true}));
    map.UpdateStates(0x0002);
    EXPECT_EQ(States(map), (std::vector<bool>{false, true, false}));
    EXPECT_TRUE(TakeLines().empty());
}

TEST_F(LedMap, MultiBitMaskIsOnForAnyOfItsBitsAndZeroMaskNever) {
    CLedMap map;
    Fill(map, {0x0000, 0x0006});
    const struct {
        unsigned short word;
        bool zeroMask, multiBit;
    } cases[] = {{0x0002, false, true},  {0x0004, false, true},  {0x0006, false, true},
                 {0x0001, false, false}, {0xFFF9, false, false}, {0xFFFF, false, true}};
    for (const auto& c : cases) {
        map.UpdateStates(c.word);
        EXPECT_EQ(States(map), (std::vector<bool>{c.zeroMask, c.multiBit})) << c.word;
    }
}

TEST_F(LedMap, SixteenLedsAreUpdatedSeventeenAreRefusedEveryTime) {
    CLedMap map;
    for (unsigned bit = 0; bit < 16; ++bit) {
        Fill(map, {static_cast<unsigned short>(1u << bit)});
    }
    map.UpdateStates(0x8001);
    std::vector<bool> expected(16, false);
    expected.front() = expected.back() = true;
    EXPECT_EQ(States(map), expected);

    Fill(map, {0x0003});  // the 17th entry
    TakeLines();
    const std::vector<bool> before = States(map);
    map.UpdateStates(0xFFFF);
    map.UpdateStates(0x0000);
    EXPECT_EQ(States(map), before);
    const LogLine refusal{1, "CLedMap::UpdateStates - Internal Error - too many LEDs in Map"};
    EXPECT_EQ(TakeLines(), (std::vector<LogLine>{refusal, refusal}));
}

TEST_F(LedMap, EmptyMapUpdatesNothingSilently) {
    CLedMap map;
    TakeLines();
    map.UpdateStates(0xFFFF);
    EXPECT_TRUE(map.empty());
    EXPECT_TRUE(TakeLines().empty());
}

}  // namespace
}  // namespace cache_test
