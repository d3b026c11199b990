// The 96-byte packet of every exchange with the service processor's driver:
// the library writes the request fields, the driver fills the response
// fields of the same block (one buffer serves as input and output of the
// I/O-control call).
//
// Numbers inside the request and response messages are big-endian; the three
// 32-bit fields at the end are in the platform's order (little-endian).
//
// The functions below are pure and thread-safe. None of them reads outside
// the packet, whatever the driver wrote into it.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform.h"

struct SvcpPacket {
    uint8_t m_byRequestLength;     // 0: message bytes after this one, checksum included: 2
    uint8_t m_byCommand;           // 1: command code (SvcpProtocol.h)
    uint8_t m_byRequestChecksum;   // 2: (0x100 - command) mod 256
    uint8_t m_abZero1[13];         // 3..15
    uint8_t m_byRequestCount;      // 16: request bytes, length byte included: 3
    uint8_t m_byResponseLength;    // 17: L, message bytes after this one, checksum included
    uint8_t m_byResponseType;      // 18: the command answered, or an alert's sensor kind
    uint8_t m_abResponseData[62];  // 19..80: L - 2 data bytes, then the checksum at 17 + L
    uint8_t m_byResponseCount;     // 81: N, bytes the driver placed from offset 17 on
    uint8_t m_abZero2[2];          // 82..83
    DWORD m_dwAlertPoll;           // 84: 1 in the alert poll, 0 in every read
    DWORD m_dwAlertFlag;           // 88: nonzero when the response is an alert
    DWORD m_dwPortBase;            // 92: the service processor's I/O port base
};

static_assert(sizeof(SvcpPacket) == 96, "the driver exchanges 96-byte packets");
static_assert(offsetof(SvcpPacket, m_byCommand) == 1, "packet layout");
static_assert(offsetof(SvcpPacket, m_byRequestChecksum) == 2, "packet layout");
static_assert(offsetof(SvcpPacket, m_byRequestCount) == 16, "packet layout");
static_assert(offsetof(SvcpPacket, m_byResponseLength) == 17, "packet layout");
static_assert(offsetof(SvcpPacket, m_byResponseType) == 18, "packet layout");
static_assert(offsetof(SvcpPacket, m_abResponseData) == 19, "packet layout");
static_assert(offsetof(SvcpPacket, m_byResponseCount) == 81, "packet layout");
static_assert(offsetof(SvcpPacket, m_dwAlertPoll) == 84, "packet layout");
static_assert(offsetof(SvcpPacket, m_dwAlertFlag) == 88, "packet layout");
static_assert(offsetof(SvcpPacket, m_dwPortBase) == 92, "packet layout");
static_assert(sizeof(DWORD) == 4, "the packet's 32-bit fields");

// Offsets of the response message, for the readers below.
constexpr size_t kSvcpResponseOffset = 17;      // L
constexpr size_t kSvcpResponseDataOffset = 19;  // first data byte
// Bounds of a well-formed response.
constexpr unsigned kSvcpMinResponseLength = 2;   // type and checksum
constexpr unsigned kSvcpMaxResponseLength = 63;  // the checksum stays in 17..80
constexpr unsigned kSvcpMaxResponseCount = 64;   // the whole response area
constexpr unsigned kSvcpMinAlertCount = 5;       // length, type, mask, checksum

// The request checksum of a command: the two make 0 modulo 256.
uint8_t SvcpRequestChecksum(uint8_t command);

// Zeroes the packet and writes a request: length 2, the command and its
// checksum, byte count 3, the alert-poll flag (1 or 0) and the port base.
void SvcpBuildRequest(SvcpPacket& packet, uint8_t command, bool alertPoll, DWORD portBase);

// The response check every reader applies after an exchange. True when:
// the byte count N is at most 64; with the alert flag set, N is at least 5;
// the length L is 2 to 63; and the L bytes at offsets 18 to 17 + L add up to 0
// modulo 256. N is not compared with L, and a lower bound on N beyond the
// alert rule is the reader's own (a read requires N >= 3).
bool IsSvcpResponseValid(const SvcpPacket& packet);

// Bounded readers of the packet by offset from its start: false (and *value
// untouched) when the field would reach past the packet's 96 bytes.
bool SvcpReadByte(const SvcpPacket& packet, size_t offset, uint8_t* value);
// A big-endian 16-bit number: high byte at `offset`, low byte after it.
bool SvcpReadBE16(const SvcpPacket& packet, size_t offset, uint16_t* value);
