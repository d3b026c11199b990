// The service processor's packet as the simulator sees it: the one place in
// sim/ that encodes and decodes the 96-byte block its driver exchanges.
//
// The block is the I/O-control call's input and output at once. The host
// writes the request (offsets 0..16, the alert-poll flag at 84 and the port
// base at 92); the driver writes the response area (17..80), the response
// byte count (81) and the alert flag (88). Numbers inside messages are
// big-endian; the 32-bit fields at 84, 88 and 92 are little-endian. A
// message's checksum makes the bytes after its length byte add up to 0 modulo
// 256.
//
// Pure, portable C++ (no platform calls); every function is thread-safe and
// stays inside the packet.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace svcpsim {

constexpr size_t kPacketSize = 96;
using Packet = std::array<uint8_t, kPacketSize>;

// Device type 0x8077, function 0x801, METHOD_BUFFERED, FILE_ANY_ACCESS.
constexpr uint32_t kIoctlRequestResponse = 0x80772004u;

// Win32 error codes the simulated driver fails requests with.
constexpr uint32_t kErrorInvalidFunction = 1;    // ERROR_INVALID_FUNCTION
constexpr uint32_t kErrorNotSupported = 50;      // ERROR_NOT_SUPPORTED
constexpr uint32_t kErrorInvalidParameter = 87;  // ERROR_INVALID_PARAMETER
constexpr uint32_t kErrorIoDevice = 1117;        // ERROR_IO_DEVICE

// Offsets within the packet.
constexpr size_t kOffsetRequestLength = 0;
constexpr size_t kOffsetCommand = 1;
constexpr size_t kOffsetRequestChecksum = 2;
constexpr size_t kOffsetRequestCount = 16;
constexpr size_t kOffsetResponse = 17;  // the response length L, then the message
constexpr size_t kOffsetResponseType = 18;
constexpr size_t kOffsetResponseData = 19;
constexpr size_t kOffsetResponseCount = 81;
constexpr size_t kOffsetAlertPoll = 84;
constexpr size_t kOffsetAlertFlag = 88;
constexpr size_t kOffsetPortBase = 92;

constexpr size_t kResponseAreaSize = 64;   // offsets 17..80
constexpr size_t kMaxResponseLength = 63;  // L; its checksum then sits at offset 80
constexpr size_t kMaxResponseData = kMaxResponseLength - 2;

// Command codes; a read's response type is its command, an alert's type the
// read code of its sensor kind.
constexpr uint8_t kCommandReadVoltages = 0xA6;
constexpr uint8_t kCommandReadFans = 0xA2;
constexpr uint8_t kCommandReadTemperatures = 0xA4;
constexpr uint8_t kCommandReadLeds = 0xED;
constexpr uint8_t kCommandPollAlerts = 0xA1;

constexpr uint32_t kDefaultPortBase = 0x2B0;

// The value that makes `bytes` plus itself add up to 0 modulo 256.
uint8_t ChecksumOf(const uint8_t* bytes, size_t size);

uint32_t ReadLE32(const Packet& packet, size_t offset);  // offset <= 92
void WriteLE32(Packet& packet, size_t offset, uint32_t value);
void AppendBE16(std::vector<uint8_t>& bytes, uint16_t value);

struct Request {
    uint8_t command = 0;
    bool alertPoll = false;
    uint32_t portBase = 0;
};

enum class RequestError {
    None,
    Length,         // offset 0 is not 2
    Checksum,       // command + checksum is not 0 modulo 256
    ByteCount,      // offset 16 is not 3
    AlertPollFlag,  // offset 84 is neither 0 nor 1
};

// Reads the request fields. The command is not judged here.
RequestError DecodeRequest(const Packet& packet, Request* request);
// Zeroes the packet and writes a request, as the host does.
void EncodeRequest(Packet& packet, uint8_t command, bool alertPoll, uint32_t portBase);

// Writes a well-formed response: the response area cleared, then L =
// data + 2, the type, the data and the checksum, the byte count N = L + 1 and
// the alert flag (1 or 0). False, with the packet unchanged, when the data
// exceed kMaxResponseData bytes.
bool EncodeResponse(Packet& packet, uint8_t type, const std::vector<uint8_t>& data, bool alert);

// The response fields exactly as given: the 64 bytes of the area, the byte
// count and the alert flag.
struct RawResponse {
    std::array<uint8_t, kResponseAreaSize> area{};
    uint8_t byteCount = 0;
    uint32_t alertFlag = 0;
};
void WriteRawResponse(Packet& packet, const RawResponse& raw);
// A raw response holding a well-formed message (L, type, data, checksum) with
// N = L + 1, to be altered before queuing. Data beyond kMaxResponseData are
// cut.
RawResponse MakeRawResponse(uint8_t type, const std::vector<uint8_t>& data, bool alert);

// What a response says, read back without judging it beyond its bounds.
struct Response {
    uint8_t length = 0;  // L
    uint8_t type = 0;
    std::vector<uint8_t> data;  // L - 2 bytes
    bool checksumOk = false;
    uint8_t byteCount = 0;  // N
    uint32_t alertFlag = 0;
};
// False when L is outside 2..63 (the message would leave the area).
bool DecodeResponse(const Packet& packet, Response* response);

}  // namespace svcpsim
