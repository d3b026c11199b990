// The simulator's packet encoding and its sensor rules.
#include <gtest/gtest.h>

#include "SimProtocol.h"
#include "SimSensorRules.h"

namespace svcpsim {
namespace {

TEST(SimProtocol, RequestsRoundTripAndBadOnesAreNamed) {
    Packet packet;
    EncodeRequest(packet, kCommandPollAlerts, true, 0x2B0);
    Request request;
    ASSERT_EQ(DecodeRequest(packet, &request), RequestError::None);
    EXPECT_EQ(request.command, kCommandPollAlerts);
    EXPECT_TRUE(request.alertPoll);
    EXPECT_EQ(request.portBase, 0x2B0u);
    EXPECT_EQ(packet[2], 0x5F);

    struct Damage {
        size_t offset;
        uint8_t value;
        RequestError error;
    };
    for (const Damage& d :
         {Damage{0, 3, RequestError::Length}, Damage{2, 0x5E, RequestError::Checksum},
          Damage{16, 2, RequestError::ByteCount}, Damage{84, 2, RequestError::AlertPollFlag},
          Damage{87, 1, RequestError::AlertPollFlag}}) {
        Packet bad = packet;
        bad[d.offset] = d.value;
        EXPECT_EQ(DecodeRequest(bad, &request), d.error) << "offset " << d.offset;
    }
}

TEST(SimProtocol, ResponsesAreWellFormedAndDecodeBack) {
    Packet packet;
    EncodeRequest(packet, kCommandReadLeds, false, 0x2B0);
    ASSERT_TRUE(EncodeResponse(packet, kCommandReadLeds, {0x00, 0x05}, false));
    // The LED answer of the protocol: 04 ED 00 05 0E, five bytes.
    EXPECT_EQ((std::vector<uint8_t>(packet.begin() + 17, packet.begin() + 22)),
              (std::vector<uint8_t>{0x04, 0xED, 0x00, 0x05, 0x0E}));
    EXPECT_EQ(packet[kOffsetResponseCount], 5);
    EXPECT_EQ(packet[kOffsetCommand], kCommandReadLeds) << "the request stays";

    Response response;
    ASSERT_TRUE(DecodeResponse(packet, &response));
    EXPECT_EQ(response.length, 4);
    EXPECT_EQ(response.type, 0xED);
    EXPECT_EQ(response.data, (std::vector<uint8_t>{0x00, 0x05}));
    EXPECT_TRUE(response.checksumOk);
    EXPECT_EQ(response.alertFlag, 0u);

    ASSERT_TRUE(EncodeResponse(packet, 0xA4, std::vector<uint8_t>(kMaxResponseData, 0xFF), true));
    ASSERT_TRUE(DecodeResponse(packet, &response));
    EXPECT_EQ(response.length, 63);
    EXPECT_EQ(response.byteCount, 64);
    EXPECT_TRUE(response.checksumOk);
    EXPECT_EQ(response.alertFlag, 1u);
    EXPECT_FALSE(EncodeResponse(packet, 0xA4, std::vector<uint8_t>(kMaxResponseData + 1), false));

    packet[kOffsetResponse] = 64;
    EXPECT_FALSE(DecodeResponse(packet, &response));
    packet[kOffsetResponse] = 1;
    EXPECT_FALSE(DecodeResponse(packet, &response));
}

TEST(SimSensorRules, KindsAreTheHandleKindsAndIndexPerKindArraysInOrder) {
    const HANDLE_KIND handleKinds[] = {HandleKind_Voltage, HandleKind_Fan, HandleKind_Temperature};
    for (size_t i = 0; i < kSensorKinds; ++i) {
        EXPECT_EQ(KindIndex(kAllSensorKinds[i]), i);
        EXPECT_EQ(HandleKindOf(kAllSensorKinds[i]), handleKinds[i]);
    }
}

TEST(SimSensorRules, WireUnitsRoundToNearestAndClamp) {
    struct Case {
        SensorKind kind;
        int32_t value;
        uint16_t wire;
    };
    const Case cases[] = {
        {SensorKind::Voltage, 3304, 330},     {SensorKind::Voltage, 3305, 331},
        {SensorKind::Voltage, 12000, 1200},   {SensorKind::Voltage, -20, 0},
        {SensorKind::Voltage, 655354, 65535}, {SensorKind::Voltage, 700000, 65535},
        {SensorKind::Fan, 1234, 1234},        {SensorKind::Fan, -1, 0},
        {SensorKind::Fan, 70000, 65535},      {SensorKind::Temperature, 415, 42},
        {SensorKind::Temperature, 414, 41},   {SensorKind::Temperature, -55, 0},
        {SensorKind::Temperature, 2554, 255}, {SensorKind::Temperature, 3000, 255},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ToWire(c.kind, c.value), c.wire) << c.value;
    }
    EXPECT_EQ(MaxSensors(SensorKind::Voltage), 29u);
    EXPECT_EQ(MaxSensors(SensorKind::Temperature), 59u);
}

TEST(SimSensorRules, AssertionNeedsTheHysteresisToClear) {
    const Thresholds both{1000, 2000};
    struct Step {
        int32_t reading;
        bool asserted;
    };
    // From deasserted, with a margin of 50.
    const Step walk[] = {
        {1000, false},  // on the threshold is not beyond it
        {999, true},   {1049, true},  {1050, false}, {2001, true},
        {1999, true},  {1950, false}, {2000, false},
    };
    bool asserted = false;
    for (const Step& step : walk) {
        asserted = NextAssertion(asserted, step.reading, both, 50);
        EXPECT_EQ(asserted, step.asserted) << step.reading;
    }
    // Unknown thresholds never trip and never hold a sensor.
    EXPECT_FALSE(NextAssertion(false, -100000, Thresholds{}, 50));
    EXPECT_FALSE(NextAssertion(true, 5, Thresholds{}, 50));
    const Thresholds upperOnly{std::nullopt, 500};
    EXPECT_FALSE(NextAssertion(false, -100000, upperOnly, 20));
    EXPECT_TRUE(NextAssertion(true, 481, upperOnly, 20));
    EXPECT_FALSE(NextAssertion(true, 480, upperOnly, 20));
}

}  // namespace
}  // namespace svcpsim
