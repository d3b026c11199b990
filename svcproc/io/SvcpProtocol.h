// What the library knows of the service processor's kernel driver ("Ksvcp"):
// its device-interface class, its one I/O-control code and the command codes
// of the request messages. The packet itself is in SvcpPacket.h.
#pragma once

#include <cstdint>

#include "platform.h"

// The device-interface class the driver publishes.
inline constexpr GUID kGuidKsvcpInterface = {
    0xFF1A9A71, 0xA14D, 0x4A6B, {0xA7, 0x78, 0x76, 0xA5, 0x41, 0xA7, 0x8F, 0x1A}};

// One request/response exchange: device type 0x8077, function 0x801,
// buffered, any access.
inline constexpr DWORD kIoctlSvcpRequestResponse =
    CTL_CODE(0x8077u, 0x801u, METHOD_BUFFERED, FILE_ANY_ACCESS);
static_assert(kIoctlSvcpRequestResponse == 0x80772004u, "the driver's I/O-control code");

// Command codes. A read's response carries its command code as its type; an
// alert carries the kind of sensor it concerns (one of the three read codes).
inline constexpr uint8_t kSvcpReadVoltages = 0xA6;
inline constexpr uint8_t kSvcpReadFans = 0xA2;
inline constexpr uint8_t kSvcpReadTemperatures = 0xA4;
inline constexpr uint8_t kSvcpReadLeds = 0xED;
inline constexpr uint8_t kSvcpPollAlerts = 0xA1;
