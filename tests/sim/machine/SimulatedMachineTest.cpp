// The machine at run time, with its time driven by hand: scripted values,
// the default scenario's alerts as the service processor reports them,
// LEDs, repetition and noise.
#include <chrono>
#include <condition_variable>
#include <iterator>
#include <mutex>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "Behaviour.h"
#include "DefaultMachine.h"
#include "SimulatedMachine.h"
#include "SimulationClock.h"

namespace svcpsim {
namespace {

MachinePlan DefaultPlan() {
    MachineDescription machine;
    std::string error;
    EXPECT_TRUE(LoadMachine("", &machine, &error)) << error;
    return PlanMachine(machine);
}

// What the host learns from one exchange.
Response Ask(CSimServiceProcessor& sp, uint8_t command) {
    Packet packet;
    EncodeRequest(packet, command, command == kCommandPollAlerts, kDefaultPortBase);
    EXPECT_EQ(sp.Exchange(packet), 0u);
    Response response;
    EXPECT_TRUE(DecodeResponse(packet, &response));
    return response;
}

uint16_t Word(const std::vector<uint8_t>& data, size_t offset) {
    return static_cast<uint16_t>(data.at(offset) << 8 | data.at(offset + 1));
}

TEST(ScriptedValue, StepsAndRamps) {
    Behaviour behaviour;
    behaviour.base = 100;
    behaviour.script = {{2, 0, 1}, {4, 50, 0}, {6, 150, 2}, {6.5, 0, 0}};
    EXPECT_DOUBLE_EQ(ScriptedValue(behaviour, 1.9), 100);
    EXPECT_DOUBLE_EQ(ScriptedValue(behaviour, 2.0), 100);
    EXPECT_DOUBLE_EQ(ScriptedValue(behaviour, 2.25), 75);
    EXPECT_DOUBLE_EQ(ScriptedValue(behaviour, 3.5), 0);
    EXPECT_DOUBLE_EQ(ScriptedValue(behaviour, 4.0), 50);
    EXPECT_DOUBLE_EQ(ScriptedValue(behaviour, 6.25), 62.5);
    EXPECT_DOUBLE_EQ(ScriptedValue(behaviour, 7.0), 0) << "a step cuts the ramp short";
    behaviour.script = {{2, 0, 1}, {2.5, 100, 1}};
    EXPECT_DOUBLE_EQ(ScriptedValue(behaviour, 3.0), 75) << "the second ramp starts at 50";
}

struct Observed {
    double at;
    uint8_t type;
    uint16_t mask;
};

// The default scenario, advanced in 50 ms ticks, as the host's alert polls
// see it: the chassis fan (fan 2) stalls below its lower critical 500 RPM
// about 3.08 s in (a 1.5 s ramp from 1800 down to 0 starting at 2 s) and is
// back 100 RPM above it at 6.33 s; the CPU temperature (temperature 0) passes
// its upper critical 85 degrees at 5.68 s (48 to 92 over 2 s from 4 s) and is
// 2 degrees below it again at 8.43 s (92 to 50 over 2 s from 8 s).
TEST(DefaultScenario, AlertsArriveAndClearInOrder) {
    CSimulatedMachine machine(DefaultPlan());
    CSimServiceProcessor& sp = *machine.ServiceProcessor();
    std::vector<Observed> alerts;
    std::vector<double> faultLedOn;
    for (int tick = 0; tick <= 240; ++tick) {
        const double now = tick * 0.05;
        machine.AdvanceTo(now);
        for (Response alert = Ask(sp, kCommandPollAlerts); alert.alertFlag != 0;
             alert = Ask(sp, kCommandPollAlerts)) {
            alerts.push_back(Observed{now, alert.type, Word(alert.data, 0)});
        }
        if ((Word(Ask(sp, kCommandReadLeds).data, 0) & 0x0002) != 0) {
            faultLedOn.push_back(now);
        }
    }
    const Observed expected[] = {{3.08, kCommandReadFans, 0x0004},
                                 {5.68, kCommandReadTemperatures, 0x0001},
                                 {6.33, kCommandReadFans, 0x0000},
                                 {8.43, kCommandReadTemperatures, 0x0000}};
    ASSERT_EQ(alerts.size(), std::size(expected));
    for (size_t i = 0; i < alerts.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(alerts[i].type, expected[i].type);
        EXPECT_EQ(alerts[i].mask, expected[i].mask);
        EXPECT_NEAR(alerts[i].at, expected[i].at, 0.1);
    }
    // The fault LED is on exactly while something is critical.
    ASSERT_FALSE(faultLedOn.empty());
    EXPECT_DOUBLE_EQ(faultLedOn.front(), alerts[0].at);
    EXPECT_DOUBLE_EQ(faultLedOn.back() + 0.05, alerts[3].at);
    EXPECT_EQ(faultLedOn.size(), static_cast<size_t>((alerts[3].at - alerts[0].at) / 0.05 + 0.5));
}

TEST(DefaultScenario, ChangesAreReportedWithTheirSensors) {
    CSimulatedMachine machine(DefaultPlan());
    EXPECT_TRUE(machine.AdvanceTo(2.9).empty());
    const std::vector<SensorStateChange> changes = machine.AdvanceTo(3.5);
    ASSERT_EQ(changes.size(), 1u);
    EXPECT_EQ(changes[0].sensor->description, "Chassis Fan");
    EXPECT_TRUE(changes[0].critical);
    EXPECT_GE(changes[0].reading, 0) << "noise never drives a reading below 0";
    EXPECT_LT(changes[0].reading, 500);
}

TEST(DefaultScenario, StartsAgainAfterItsRepeatTime) {
    CSimulatedMachine machine(DefaultPlan());
    ASSERT_DOUBLE_EQ(machine.Plan().repeat, 20);
    machine.AdvanceTo(12);
    EXPECT_FALSE(machine.ServiceProcessor()->IsAsserted(SensorKind::Fan, 2));
    machine.AdvanceTo(23.5);
    EXPECT_TRUE(machine.ServiceProcessor()->IsAsserted(SensorKind::Fan, 2));
}

TEST(SimulatedMachine, LedsFollowTheirDrives) {
    CSimulatedMachine machine(DefaultPlan());
    machine.AdvanceTo(0.5);
    EXPECT_EQ(machine.GetLedWord(), 0x0005) << "power on, disk in the first half of its blink";
    machine.AdvanceTo(1.5);
    EXPECT_EQ(machine.GetLedWord(), 0x0001);
}

TEST(SimulatedMachine, NoiseStaysWithinItsAmplitudeAndFollowsTheSeed) {
    CSimulatedMachine first(DefaultPlan());
    CSimulatedMachine second(DefaultPlan());
    MachinePlan reseeded = DefaultPlan();
    reseeded.seed = 7;
    CSimulatedMachine third(reseeded);
    bool differs = false;
    for (int tick = 1; tick <= 20; ++tick) {
        first.AdvanceTo(tick * 0.05);
        second.AdvanceTo(tick * 0.05);
        third.AdvanceTo(tick * 0.05);
        const int32_t cpuFan = *first.ServiceProcessor()->GetReading(SensorKind::Fan, 0);
        EXPECT_EQ(cpuFan, *second.ServiceProcessor()->GetReading(SensorKind::Fan, 0));
        EXPECT_NEAR(cpuFan, 3200, 40);
        differs = differs || cpuFan != *third.ServiceProcessor()->GetReading(SensorKind::Fan, 0);
    }
    EXPECT_TRUE(differs);
}

TEST(SimulatedMachine, IndicesLeftOutReadZeroAndHysteresisComesFromThePlan) {
    MachinePlan plan;
    SensorPlan pump;
    pump.kind = SensorKind::Fan;
    pump.index = 3;
    pump.critical.lowerCritical = 500;
    pump.behaviour.base = 1000;
    pump.behaviour.script = {{1, 400, 0}, {2, 500, 0}};
    plan.sensors.push_back(pump);
    plan.hysteresis[KindIndex(SensorKind::Fan)] = 0;
    CSimulatedMachine machine(plan);
    CSimServiceProcessor& sp = *machine.ServiceProcessor();
    ASSERT_EQ(sp.GetSensorCount(SensorKind::Fan), 4u);
    EXPECT_EQ(sp.GetReading(SensorKind::Fan, 0), 0);
    EXPECT_EQ(sp.GetReading(SensorKind::Fan, 3), 1000);
    machine.AdvanceTo(1);
    EXPECT_EQ(sp.GetAlertMask(SensorKind::Fan), 0x0008);
    machine.AdvanceTo(2);
    EXPECT_EQ(sp.GetAlertMask(SensorKind::Fan), 0x0000) << "no margin: clear at the threshold";
}

TEST(SimulationClock, TicksFromZeroUntilStopped) {
    std::mutex lock;
    std::condition_variable ticked;
    std::vector<double> seen;
    CSimulationClock clock(
        [&](double seconds) {
            std::lock_guard<std::mutex> guard(lock);
            seen.push_back(seconds);
            ticked.notify_all();
        },
        std::chrono::milliseconds(5));
    clock.Start();
    {
        std::unique_lock<std::mutex> guard(lock);
        ASSERT_TRUE(
            ticked.wait_for(guard, std::chrono::seconds(10), [&] { return seen.size() >= 3; }));
    }
    clock.Stop();
    std::lock_guard<std::mutex> guard(lock);
    const size_t count = seen.size();
    EXPECT_LT(seen.front(), 0.05);
    for (size_t i = 1; i < count; ++i) {
        EXPECT_GE(seen[i], seen[i - 1]);
    }
    clock.Stop();  // again: nothing
    EXPECT_EQ(seen.size(), count) << "no tick after Stop";
}

}  // namespace
}  // namespace svcpsim
