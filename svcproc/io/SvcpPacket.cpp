#include "svcproc/io/SvcpPacket.h"

#include <cstring>

namespace {

const uint8_t* Bytes(const SvcpPacket& packet) {
    return reinterpret_cast<const uint8_t*>(&packet);
}

}  // namespace

uint8_t SvcpRequestChecksum(uint8_t command) {
    return static_cast<uint8_t>(0x100u - command);
}

void SvcpBuildRequest(SvcpPacket& packet, uint8_t command, bool alertPoll, DWORD portBase) {
    std::memset(&packet, 0, sizeof packet);
    packet.m_byRequestLength = 2;
    packet.m_byCommand = command;
    packet.m_byRequestChecksum = SvcpRequestChecksum(command);
    packet.m_byRequestCount = 3;
    packet.m_dwAlertPoll = alertPoll ? 1u : 0u;
    packet.m_dwPortBase = portBase;
}

bool IsSvcpResponseValid(const SvcpPacket& packet) {
    const unsigned count = packet.m_byResponseCount;
    if (count > kSvcpMaxResponseCount) {
        return false;
    }
    if (packet.m_dwAlertFlag != 0 && count < kSvcpMinAlertCount) {
        return false;
    }
    const unsigned length = packet.m_byResponseLength;
    if (length < kSvcpMinResponseLength || length > kSvcpMaxResponseLength) {
        return false;
    }
    // Type, data and checksum: offsets 18 to 17 + L, all inside the packet.
    unsigned sum = 0;
    for (size_t offset = kSvcpResponseOffset + 1; offset <= kSvcpResponseOffset + length;
         ++offset) {
        sum += Bytes(packet)[offset];
    }
    return (sum & 0xFFu) == 0;
}

bool SvcpReadByte(const SvcpPacket& packet, size_t offset, uint8_t* value) {
    if (offset >= sizeof packet) {
        return false;
    }
    *value = Bytes(packet)[offset];
    return true;
}

bool SvcpReadBE16(const SvcpPacket& packet, size_t offset, uint16_t* value) {
    if (offset >= sizeof packet - 1) {
        return false;
    }
    *value = static_cast<uint16_t>((Bytes(packet)[offset] << 8) | Bytes(packet)[offset + 1]);
    return true;
}
