#include "SimProtocol.h"

#include <algorithm>

namespace svcpsim {

uint8_t ChecksumOf(const uint8_t* bytes, size_t size) {
    unsigned sum = 0;
    for (size_t i = 0; i < size; ++i) {
        sum += bytes[i];
    }
    return static_cast<uint8_t>(0x100u - (sum & 0xFFu));
}

uint32_t ReadLE32(const Packet& packet, size_t offset) {
    return static_cast<uint32_t>(packet.at(offset)) |
           static_cast<uint32_t>(packet.at(offset + 1)) << 8 |
           static_cast<uint32_t>(packet.at(offset + 2)) << 16 |
           static_cast<uint32_t>(packet.at(offset + 3)) << 24;
}

void WriteLE32(Packet& packet, size_t offset, uint32_t value) {
    for (size_t i = 0; i < 4; ++i) {
        packet.at(offset + i) = static_cast<uint8_t>(value >> (8 * i));
    }
}

void AppendBE16(std::vector<uint8_t>& bytes, uint16_t value) {
    bytes.push_back(static_cast<uint8_t>(value >> 8));
    bytes.push_back(static_cast<uint8_t>(value));
}

RequestError DecodeRequest(const Packet& packet, Request* request) {
    if (packet[kOffsetRequestLength] != 2) {
        return RequestError::Length;
    }
    if (static_cast<uint8_t>(packet[kOffsetCommand] + packet[kOffsetRequestChecksum]) != 0) {
        return RequestError::Checksum;
    }
    if (packet[kOffsetRequestCount] != 3) {
        return RequestError::ByteCount;
    }
    const uint32_t alertPoll = ReadLE32(packet, kOffsetAlertPoll);
    if (alertPoll > 1) {
        return RequestError::AlertPollFlag;
    }
    request->command = packet[kOffsetCommand];
    request->alertPoll = alertPoll == 1;
    request->portBase = ReadLE32(packet, kOffsetPortBase);
    return RequestError::None;
}

void EncodeRequest(Packet& packet, uint8_t command, bool alertPoll, uint32_t portBase) {
    packet.fill(0);
    packet[kOffsetRequestLength] = 2;
    packet[kOffsetCommand] = command;
    packet[kOffsetRequestChecksum] = ChecksumOf(&command, 1);
    packet[kOffsetRequestCount] = 3;
    WriteLE32(packet, kOffsetAlertPoll, alertPoll ? 1 : 0);
    WriteLE32(packet, kOffsetPortBase, portBase);
}

RawResponse MakeRawResponse(uint8_t type, const std::vector<uint8_t>& data, bool alert) {
    RawResponse raw;
    const size_t size = std::min(data.size(), kMaxResponseData);
    const size_t length = size + 2;
    raw.area[0] = static_cast<uint8_t>(length);
    raw.area[1] = type;
    std::copy(data.begin(), data.begin() + static_cast<std::ptrdiff_t>(size), raw.area.begin() + 2);
    raw.area[length] = ChecksumOf(&raw.area[1], length - 1);
    raw.byteCount = static_cast<uint8_t>(length + 1);
    raw.alertFlag = alert ? 1 : 0;
    return raw;
}

bool EncodeResponse(Packet& packet, uint8_t type, const std::vector<uint8_t>& data, bool alert) {
    if (data.size() > kMaxResponseData) {
        return false;
    }
    WriteRawResponse(packet, MakeRawResponse(type, data, alert));
    return true;
}

void WriteRawResponse(Packet& packet, const RawResponse& raw) {
    std::copy(raw.area.begin(), raw.area.end(), packet.begin() + kOffsetResponse);
    packet[kOffsetResponseCount] = raw.byteCount;
    WriteLE32(packet, kOffsetAlertFlag, raw.alertFlag);
}

bool DecodeResponse(const Packet& packet, Response* response) {
    const size_t length = packet[kOffsetResponse];
    response->length = static_cast<uint8_t>(length);
    response->byteCount = packet[kOffsetResponseCount];
    response->alertFlag = ReadLE32(packet, kOffsetAlertFlag);
    response->data.clear();
    if (length < 2 || length > kMaxResponseLength) {
        response->type = 0;
        response->checksumOk = false;
        return false;
    }
    response->type = packet[kOffsetResponseType];
    const auto first = packet.begin() + kOffsetResponseData;
    response->data.assign(first, first + static_cast<std::ptrdiff_t>(length - 2));
    response->checksumOk =
        ChecksumOf(&packet[kOffsetResponseType], length - 1) == packet[kOffsetResponse + length];
    return true;
}

}  // namespace svcpsim
