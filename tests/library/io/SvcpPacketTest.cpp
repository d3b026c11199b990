// The request builder, the response check and the bounded readers.
#include <cstring>
#include <vector>

#include <gtest/gtest.h>

#include "svcproc/io/SvcpPacket.h"
#include "svcproc/io/SvcpProtocol.h"

namespace {

std::vector<uint8_t> BytesOf(const SvcpPacket& packet) {
    const auto* bytes = reinterpret_cast<const uint8_t*>(&packet);
    return std::vector<uint8_t>(bytes, bytes + sizeof packet);
}

struct RequestCase {
    uint8_t command;
    uint8_t checksum;
    bool alertPoll;
};

TEST(SvcpPacketRequest, EveryCommandIsLaidOutByteForByte) {
    const RequestCase cases[] = {
        {kSvcpReadVoltages, 0x5A, false},     {kSvcpReadFans, 0x5E, false},
        {kSvcpReadTemperatures, 0x5C, false}, {kSvcpReadLeds, 0x13, false},
        {kSvcpPollAlerts, 0x5F, true},
    };
    for (const RequestCase& c : cases) {
        SvcpPacket packet;
        std::memset(&packet, 0xEE, sizeof packet);  // the builder clears leftovers
        SvcpBuildRequest(packet, c.command, c.alertPoll, 0x2B0);

        std::vector<uint8_t> expected(96, 0);
        expected[0] = 0x02;
        expected[1] = c.command;
        expected[2] = c.checksum;
        expected[16] = 0x03;
        expected[84] = c.alertPoll ? 1 : 0;
        expected[92] = 0xB0;
        expected[93] = 0x02;
        EXPECT_EQ(BytesOf(packet), expected) << "command 0x" << std::hex << int(c.command);
        EXPECT_EQ(SvcpRequestChecksum(c.command), c.checksum);
    }
}

TEST(SvcpPacketRequest, PortBaseIsLittleEndian) {
    SvcpPacket packet;
    SvcpBuildRequest(packet, kSvcpReadFans, false, 0x12345678);
    const std::vector<uint8_t> bytes = BytesOf(packet);
    EXPECT_EQ(std::vector<uint8_t>(bytes.begin() + 92, bytes.end()),
              (std::vector<uint8_t>{0x78, 0x56, 0x34, 0x12}));
}

// A response whose message is `message` (L first) at offset 17 with byte count
// `count` and the alert flag.
SvcpPacket Response(const std::vector<uint8_t>& message, unsigned count, DWORD alertFlag = 0) {
    SvcpPacket packet;
    SvcpBuildRequest(packet, kSvcpReadVoltages, false, 0x2B0);
    auto* bytes = reinterpret_cast<uint8_t*>(&packet);
    std::memcpy(bytes + 17, message.data(), message.size());
    packet.m_byResponseCount = static_cast<uint8_t>(count);
    packet.m_dwAlertFlag = alertFlag;
    return packet;
}

// A message of length L whose bytes 18..16+L are `fill` and whose checksum is
// right.
std::vector<uint8_t> MessageOfLength(unsigned length, uint8_t fill) {
    std::vector<uint8_t> message(1 + length, fill);
    message[0] = static_cast<uint8_t>(length);
    unsigned sum = 0;
    for (unsigned i = 1; i < length; ++i) {
        sum += message[i];
    }
    message[length] = static_cast<uint8_t>(0x100 - (sum & 0xFF));
    return message;
}

TEST(SvcpPacketCheck, TheLedResponseFromTheProtocolPasses) {
    // 0xED + 0x00 + 0x05 + 0x0E = 0x100
    EXPECT_TRUE(IsSvcpResponseValid(Response({0x04, 0xED, 0x00, 0x05, 0x0E}, 5)));
    EXPECT_FALSE(IsSvcpResponseValid(Response({0x04, 0xED, 0x00, 0x05, 0x0F}, 5)));
    EXPECT_FALSE(IsSvcpResponseValid(Response({0x04, 0xED, 0x00, 0x05, 0x0D}, 5)));
}

TEST(SvcpPacketCheck, LengthBounds) {
    EXPECT_TRUE(IsSvcpResponseValid(Response(MessageOfLength(63, 0x11), 64)));
    EXPECT_TRUE(IsSvcpResponseValid(Response(MessageOfLength(2, 0xA6), 3)));
    EXPECT_FALSE(IsSvcpResponseValid(Response(MessageOfLength(1, 0x00), 3)));
    // Length 0: nothing to sum would otherwise pass.
    EXPECT_FALSE(IsSvcpResponseValid(Response({0x00}, 3)));
    // L = 64 with a checksum that would be right at offset 81.
    std::vector<uint8_t> tooLong = MessageOfLength(64, 0x01);
    EXPECT_FALSE(IsSvcpResponseValid(Response(tooLong, 64)));
    EXPECT_FALSE(IsSvcpResponseValid(Response({0xFF, 0xA6, 0x5A}, 3)));
}

TEST(SvcpPacketCheck, ByteCountBounds) {
    const std::vector<uint8_t> message = MessageOfLength(6, 0x22);
    EXPECT_TRUE(IsSvcpResponseValid(Response(message, 64)));
    EXPECT_FALSE(IsSvcpResponseValid(Response(message, 65)));
    EXPECT_FALSE(IsSvcpResponseValid(Response(message, 255)));
    // N is not compared with L, and no lower bound applies without an alert.
    EXPECT_TRUE(IsSvcpResponseValid(Response(message, 0)));
}

TEST(SvcpPacketCheck, AnAlertNeedsAtLeastFiveBytes) {
    const std::vector<uint8_t> message = MessageOfLength(4, 0xA6);
    for (unsigned count : {3u, 4u}) {
        EXPECT_FALSE(IsSvcpResponseValid(Response(message, count, 1))) << count;
        EXPECT_TRUE(IsSvcpResponseValid(Response(message, count, 0))) << count;
    }
    EXPECT_TRUE(IsSvcpResponseValid(Response(message, 5, 1)));
    EXPECT_FALSE(IsSvcpResponseValid(Response(message, 4, 0x80000000u)));
}

TEST(SvcpPacketCheck, ChecksumCoversTypeDataAndChecksumOnly) {
    // Bytes before offset 18 and after 17 + L do not count.
    SvcpPacket packet = Response({0x03, 0xA2, 0x00, 0x5E}, 4);
    EXPECT_TRUE(IsSvcpResponseValid(packet));
    packet.m_abResponseData[2] = 0x77;  // offset 21, past 17 + L
    packet.m_byRequestCount = 0x55;
    EXPECT_TRUE(IsSvcpResponseValid(packet));
    packet.m_abResponseData[0] = 0x01;
    EXPECT_FALSE(IsSvcpResponseValid(packet));
    // The sum wraps more than once.
    EXPECT_TRUE(IsSvcpResponseValid(Response({0x04, 0xFF, 0xFF, 0xFF, 0x03}, 5)));
}

TEST(SvcpPacketReaders, StayInsideThePacket) {
    SvcpPacket packet = Response({0x04, 0xED, 0x12, 0x34, 0xCD}, 5);
    packet.m_dwPortBase = 0xAABBCCDD;
    uint16_t word = 0;
    ASSERT_TRUE(SvcpReadBE16(packet, 19, &word));
    EXPECT_EQ(word, 0x1234);
    ASSERT_TRUE(SvcpReadBE16(packet, 94, &word));
    EXPECT_EQ(word, 0xBBAA);
    word = 7;
    EXPECT_FALSE(SvcpReadBE16(packet, 95, &word));
    EXPECT_FALSE(SvcpReadBE16(packet, static_cast<size_t>(-1), &word));
    EXPECT_EQ(word, 7);

    uint8_t byte = 0;
    ASSERT_TRUE(SvcpReadByte(packet, 95, &byte));
    EXPECT_EQ(byte, 0xAA);
    EXPECT_FALSE(SvcpReadByte(packet, 96, &byte));
}

}  // namespace
