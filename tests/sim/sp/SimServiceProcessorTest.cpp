// The simulated service processor: answers, alerts, controls, faults and
// counters, driven through its I/O-control entry as a driver would.
#include <atomic>
#include <chrono>
#include <stdexcept>
#include <thread>

#include <gtest/gtest.h>

#include "SimServiceProcessor.h"

namespace svcpsim {
namespace {

// One exchange of `command`; the answer decoded (or `error` set).
struct Exchanged {
    uint32_t error = 0;
    Packet packet{};
    Response response;
    bool decoded = false;
};

Exchanged Exchange(CSimServiceProcessor& sp, uint8_t command, uint32_t portBase = 0x2B0) {
    Exchanged result;
    EncodeRequest(result.packet, command, command == kCommandPollAlerts, portBase);
    size_t returned = 0;
    result.error = sp.IoControl(kIoctlRequestResponse, result.packet.data(), kPacketSize,
                                result.packet.data(), kPacketSize, &returned);
    if (result.error == 0) {
        EXPECT_EQ(returned, kPacketSize);
        result.decoded = DecodeResponse(result.packet, &result.response);
    }
    return result;
}

std::vector<uint16_t> Words(const std::vector<uint8_t>& bytes, size_t from = 0) {
    std::vector<uint16_t> words;
    for (size_t i = from; i + 1 < bytes.size(); i += 2) {
        words.push_back(static_cast<uint16_t>(bytes[i] << 8 | bytes[i + 1]));
    }
    return words;
}

MachineSetup Sensors(size_t voltages, size_t fans, size_t temperatures) {
    MachineSetup setup;
    setup.voltages.assign(voltages, SensorSetup{5000, {4500, 5500}});
    setup.fans.assign(fans, SensorSetup{2000, {500, std::nullopt}});
    setup.temperatures.assign(temperatures, SensorSetup{300, {std::nullopt, 600}});
    return setup;
}

TEST(SimServiceProcessor, ReadsCarryTheValuesSetInWireUnits) {
    CSimServiceProcessor sp;
    ASSERT_TRUE(sp.SetReading(SensorKind::Voltage, 5, 2954));
    ASSERT_TRUE(sp.SetReading(SensorKind::Fan, 1, 4321));
    ASSERT_TRUE(sp.SetReading(SensorKind::Temperature, 2, 305));
    EXPECT_FALSE(sp.SetReading(SensorKind::Fan, 3, 1));
    sp.SetLedState(0x8001);

    Exchanged volts = Exchange(sp, kCommandReadVoltages);
    ASSERT_EQ(volts.error, 0u);
    EXPECT_EQ(volts.response.type, kCommandReadVoltages);
    EXPECT_EQ(volts.response.length, 2 + 2 * 6);
    EXPECT_EQ(volts.response.byteCount, volts.response.length + 1);
    EXPECT_TRUE(volts.response.checksumOk);
    EXPECT_EQ(volts.response.alertFlag, 0u);
    EXPECT_EQ(Words(volts.response.data), (std::vector<uint16_t>{1200, 500, 330, 120, 500, 295}));

    Exchanged fans = Exchange(sp, kCommandReadFans);
    EXPECT_EQ(fans.response.type, kCommandReadFans);
    EXPECT_EQ(Words(fans.response.data), (std::vector<uint16_t>{3200, 4321, 1800}));

    Exchanged temps = Exchange(sp, kCommandReadTemperatures);
    EXPECT_EQ(temps.response.length, 2 + 3);
    EXPECT_EQ(temps.response.data, (std::vector<uint8_t>{48, 36, 31}));

    Exchanged leds = Exchange(sp, kCommandReadLeds);
    EXPECT_EQ(leds.response.length, 4);
    EXPECT_EQ(leds.response.byteCount, 5);
    EXPECT_EQ(Words(leds.response.data), (std::vector<uint16_t>{0x8001}));

    Exchanged poll = Exchange(sp, kCommandPollAlerts);
    EXPECT_EQ(poll.response.alertFlag, 0u);
    EXPECT_EQ(poll.response.type, kCommandPollAlerts);
    EXPECT_EQ(poll.response.length, 2);
    EXPECT_TRUE(poll.response.checksumOk);
}

TEST(SimServiceProcessor, MessagesStayWithinTheLengthLimit) {
    EXPECT_THROW(CSimServiceProcessor(Sensors(30, 0, 0)), std::invalid_argument);
    EXPECT_THROW(CSimServiceProcessor(Sensors(0, 0, 60)), std::invalid_argument);
    CSimServiceProcessor sp(Sensors(29, 29, 59));
    sp.SetReading(SensorKind::Voltage, 0, 0);
    sp.SetReading(SensorKind::Temperature, 0, 1000);
    Exchanged alert = Exchange(sp, kCommandPollAlerts);
    EXPECT_EQ(alert.response.length, 4 + 2 * 29);
    Exchanged tempAlert = Exchange(sp, kCommandPollAlerts);
    EXPECT_EQ(tempAlert.response.length, 4 + 59);
    EXPECT_EQ(tempAlert.response.byteCount, 64);
    EXPECT_EQ(Exchange(sp, kCommandReadTemperatures).response.length, 2 + 59);
}

TEST(SimServiceProcessor, BadRequestsAreRefusedWithoutAnExchange) {
    CSimServiceProcessor sp;
    sp.FailExchanges(1, 31);
    Packet packet;
    EncodeRequest(packet, kCommandReadFans, false, 0x2B0);
    packet[2] ^= 1;
    size_t returned = 0;
    EXPECT_EQ(sp.Exchange(packet), kErrorInvalidParameter);
    EXPECT_EQ(Exchange(sp, kCommandReadFans, 0x2C0).error, kErrorIoDevice);
    EXPECT_EQ(Exchange(sp, 0x42).error, kErrorNotSupported);
    EncodeRequest(packet, kCommandReadFans, true, 0x2B0);  // a read with the poll flag
    EXPECT_EQ(sp.Exchange(packet), kErrorInvalidParameter);
    EncodeRequest(packet, kCommandPollAlerts, false, 0x2B0);
    EXPECT_EQ(sp.Exchange(packet), kErrorInvalidParameter);

    EXPECT_EQ(sp.IoControl(0x80772008u, packet.data(), 96, packet.data(), 96, &returned),
              kErrorInvalidFunction);
    EXPECT_EQ(sp.IoControl(kIoctlRequestResponse, packet.data(), 95, packet.data(), 96, &returned),
              kErrorInvalidParameter);
    EXPECT_EQ(sp.IoControl(kIoctlRequestResponse, packet.data(), 96, packet.data(), 97, &returned),
              kErrorInvalidParameter);

    SimCounters counters = sp.GetCounters();
    EXPECT_EQ(counters.rejectedRequests, 5u);
    EXPECT_EQ(counters.rejectedCalls, 3u);
    EXPECT_EQ(counters.exchanges[kCommandReadFans], 0u);
    // The planned failure is still there for the first accepted exchange.
    EXPECT_EQ(Exchange(sp, kCommandReadFans).error, 31u);

    sp.SetPortBase(0x2C0);
    EXPECT_EQ(Exchange(sp, kCommandReadFans, 0x2C0).error, 0u);
    EXPECT_EQ(Exchange(sp, kCommandReadFans, 0x2B0).error, kErrorIoDevice);
}

TEST(SimServiceProcessor, AlertsFollowThresholdsWithHysteresisInOrder) {
    CSimServiceProcessor sp;  // +5 V is voltage 1: 4500..5500
    EXPECT_EQ(sp.GetPendingAlertCount(), 0u);

    sp.SetReading(SensorKind::Voltage, 1, 4490);  // asserted
    sp.SetReading(SensorKind::Voltage, 1, 4540);  // inside, but not by 50 mV
    sp.SetReading(SensorKind::Fan, 2, 400);       // asserted
    sp.SetReading(SensorKind::Voltage, 1, 4550);  // deasserted
    sp.SetReading(SensorKind::Voltage, 2, 3310);  // a reading change only
    EXPECT_EQ(sp.GetPendingAlertCount(), 3u);
    EXPECT_EQ(sp.GetAlertMask(SensorKind::Voltage), 0);
    EXPECT_EQ(sp.GetAlertMask(SensorKind::Fan), 0x0004);

    Exchanged first = Exchange(sp, kCommandPollAlerts);
    EXPECT_NE(first.response.alertFlag, 0u);
    EXPECT_TRUE(first.response.checksumOk);
    EXPECT_EQ(first.response.type, kCommandReadVoltages);
    EXPECT_EQ(first.response.length, 4 + 2 * 6);
    EXPECT_EQ(first.response.byteCount, first.response.length + 1);
    // The mask, then every voltage as it was when the alert arose.
    EXPECT_EQ(Words(first.response.data),
              (std::vector<uint16_t>{0x0002, 1200, 449, 330, 120, 500, 300}));

    Exchanged second = Exchange(sp, kCommandPollAlerts);
    EXPECT_EQ(second.response.type, kCommandReadFans);
    EXPECT_EQ(Words(second.response.data), (std::vector<uint16_t>{0x0004, 3200, 2400, 400}));

    Exchanged third = Exchange(sp, kCommandPollAlerts);
    EXPECT_EQ(third.response.type, kCommandReadVoltages);
    EXPECT_EQ(Words(third.response.data),
              (std::vector<uint16_t>{0x0000, 1200, 455, 330, 120, 500, 300}));

    EXPECT_EQ(Exchange(sp, kCommandPollAlerts).response.alertFlag, 0u);
    const SimCounters counters = sp.GetCounters();
    EXPECT_EQ(counters.alertsQueued, 3u);
    EXPECT_EQ(counters.alertsDelivered, 3u);
}

TEST(SimServiceProcessor, TemperatureAlertsCarryOneByteReadings) {
    CSimServiceProcessor sp;
    ASSERT_TRUE(sp.SetThresholds(SensorKind::Temperature, 1, Thresholds{std::nullopt, 300}));
    Exchanged alert = Exchange(sp, kCommandPollAlerts);
    EXPECT_EQ(alert.response.type, kCommandReadTemperatures);
    EXPECT_EQ(alert.response.length, 4 + 3);
    EXPECT_EQ(alert.response.data, (std::vector<uint8_t>{0x00, 0x02, 48, 36, 25}));

    sp.SetHysteresis(SensorKind::Temperature, 0);
    sp.SetReading(SensorKind::Temperature, 1, 300);  // back on the threshold: clear at once
    EXPECT_FALSE(sp.IsAsserted(SensorKind::Temperature, 1));
    EXPECT_EQ(Words(Exchange(sp, kCommandPollAlerts).response.data, 0)[0], 0x0000);
}

TEST(SimServiceProcessor, OnlySensorsBelowSixteenHaveMaskBits) {
    CSimServiceProcessor sp(Sensors(0, 0, 20));
    sp.SetReading(SensorKind::Temperature, 17, 700);
    EXPECT_TRUE(sp.IsAsserted(SensorKind::Temperature, 17));
    EXPECT_EQ(sp.GetPendingAlertCount(), 0u);
    sp.SetReading(SensorKind::Temperature, 15, 700);
    Exchanged alert = Exchange(sp, kCommandPollAlerts);
    EXPECT_EQ(Words(alert.response.data)[0], 0x8000);
    EXPECT_EQ(alert.response.data.size(), 2u + 20u);
}

TEST(SimServiceProcessor, AssertedAtStartIsAnnouncedAndTheQueueIsBounded) {
    MachineSetup setup = Sensors(1, 0, 0);
    setup.voltages[0].reading = 6000;
    CSimServiceProcessor sp(setup);
    EXPECT_EQ(sp.GetPendingAlertCount(), 1u);
    EXPECT_EQ(Words(Exchange(sp, kCommandPollAlerts).response.data)[0], 0x0001);

    for (size_t i = 0; i < CSimServiceProcessor::kMaxPendingAlerts + 3; ++i) {
        sp.SetReading(SensorKind::Voltage, 0, i % 2 == 0 ? 5000 : 6000);
    }
    EXPECT_EQ(sp.GetPendingAlertCount(), CSimServiceProcessor::kMaxPendingAlerts);
    EXPECT_EQ(sp.GetCounters().alertsDropped, 3u);
    // The oldest went: the fourth change (6000, asserted) is now first.
    EXPECT_EQ(Words(Exchange(sp, kCommandPollAlerts).response.data)[0], 0x0001);
    sp.ClearPendingAlerts();
    EXPECT_EQ(Exchange(sp, kCommandPollAlerts).response.alertFlag, 0u);
}

TEST(SimServiceProcessor, RawResponsesGoOutVerbatimToTheirCommand) {
    CSimServiceProcessor sp;
    RawResponse raw;
    raw.area.fill(0xAB);
    raw.area[0] = 64;  // no well-formed answer has this
    raw.byteCount = 3;
    raw.alertFlag = 7;
    sp.QueueRawResponse(raw, kCommandPollAlerts);
    RawResponse any = MakeRawResponse(0x99, {1, 2}, false);
    sp.QueueRawResponse(any);
    sp.CorruptChecksums(1);  // applies to built answers only

    Exchanged fans = Exchange(sp, kCommandReadFans);  // takes `any`
    EXPECT_EQ((std::vector<uint8_t>(fans.packet.begin() + 17, fans.packet.begin() + 81)),
              (std::vector<uint8_t>(any.area.begin(), any.area.end())));
    EXPECT_TRUE(fans.response.checksumOk);

    Exchanged poll = Exchange(sp, kCommandPollAlerts);
    EXPECT_FALSE(poll.decoded);
    EXPECT_EQ((std::vector<uint8_t>(poll.packet.begin() + 17, poll.packet.begin() + 81)),
              (std::vector<uint8_t>(raw.area.begin(), raw.area.end())));
    EXPECT_EQ(poll.packet[81], 3);
    EXPECT_EQ(ReadLE32(poll.packet, kOffsetAlertFlag), 7u);
    EXPECT_EQ(sp.GetPendingRawResponseCount(), 0u);
    EXPECT_EQ(sp.GetCounters().rawResponses, 2u);

    EXPECT_FALSE(Exchange(sp, kCommandReadFans).response.checksumOk);
    EXPECT_TRUE(Exchange(sp, kCommandReadFans).response.checksumOk);
}

TEST(SimServiceProcessor, EachFaultDoesWhatItNames) {
    CSimServiceProcessor sp;
    sp.FailExchanges(2, 0x1F);
    EXPECT_EQ(Exchange(sp, kCommandReadFans).error, 0x1Fu);
    EXPECT_EQ(Exchange(sp, kCommandReadLeds).error, 0x1Fu);
    EXPECT_EQ(Exchange(sp, kCommandReadLeds).error, 0u);
    EXPECT_EQ(sp.GetCounters().failedExchanges, 2u);

    sp.CorruptChecksums(1);
    Exchanged corrupt = Exchange(sp, kCommandReadFans);
    EXPECT_FALSE(corrupt.response.checksumOk);
    EXPECT_EQ(Words(corrupt.response.data), (std::vector<uint16_t>{3200, 2400, 1800}));

    sp.AnswerWithType(2, kCommandReadFans);
    Exchanged wrong = Exchange(sp, kCommandReadVoltages);
    EXPECT_EQ(wrong.response.type, kCommandReadFans);
    EXPECT_TRUE(wrong.response.checksumOk);
    EXPECT_EQ(wrong.response.data.size(), 12u);
    EXPECT_EQ(Exchange(sp, kCommandReadLeds).response.type, kCommandReadFans);
    EXPECT_EQ(Exchange(sp, kCommandReadLeds).response.type, kCommandReadLeds);

    sp.AdjustByteCount(1, -2);
    Exchanged shortCount = Exchange(sp, kCommandReadLeds);
    EXPECT_EQ(shortCount.response.byteCount, 3);
    EXPECT_EQ(shortCount.response.length, 4);
    sp.AdjustByteCount(1, 300);
    EXPECT_EQ(Exchange(sp, kCommandReadLeds).response.byteCount, 255);
    sp.AdjustByteCount(1, -300);
    EXPECT_EQ(Exchange(sp, kCommandReadLeds).response.byteCount, 0);

    sp.FailExchanges(5, 0x1F);
    sp.CorruptChecksums(5);
    sp.ClearFaults();
    Exchanged clean = Exchange(sp, kCommandReadLeds);
    EXPECT_EQ(clean.error, 0u);
    EXPECT_TRUE(clean.response.checksumOk);

    const SimCounters counters = sp.GetCounters();
    EXPECT_EQ(counters.exchanges[kCommandReadFans], 2u);
    EXPECT_EQ(counters.exchanges[kCommandReadVoltages], 1u);
    EXPECT_EQ(counters.exchanges[kCommandReadLeds], 8u);
}

TEST(SimServiceProcessor, ADelayedAnswerSleepsWithoutHoldingTheState) {
    CSimServiceProcessor sp;
    sp.DelayAnswers(1, 1000);
    std::atomic<bool> delayedDone{false};
    const auto start = std::chrono::steady_clock::now();
    std::thread delayed([&] {
        EXPECT_EQ(Exchange(sp, kCommandReadFans).error, 0u);
        delayedDone = true;
    });
    // Once the delayed exchange is counted it has taken its delay.
    while (sp.GetCounters().exchanges[kCommandReadFans] == 0) {
        std::this_thread::yield();
    }
    sp.SetReading(SensorKind::Fan, 0, 100);
    EXPECT_EQ(Exchange(sp, kCommandPollAlerts).response.type, kCommandReadFans);
    EXPECT_FALSE(delayedDone.load()) << "the control waited for the sleeping exchange";
    delayed.join();
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(1000));

    sp.DelayAnswers(1, 10);
    sp.FailExchanges(1, 0x15);  // a delayed exchange may still fail
    EXPECT_EQ(Exchange(sp, kCommandReadLeds).error, 0x15u);
}

}  // namespace
}  // namespace svcpsim
