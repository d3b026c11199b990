// The channel to the service processor's kernel driver: finding and opening
// its device, and one request/response exchange with it.
//
// Free functions, so that CIOUnit keeps the state (the device handle and the
// port base) and the steps can be tested alone:
//
//   bool CIOUnit::InitialiseIODevice() { return SvcpInitialiseIODevice(&m_hIODevice); }
//   SvcpRequestResponse(m_hIODevice, m_dwPortBase, kSvcpReadVoltages, false, packet);
//
// Neither function keeps state or takes a lock. Exchanges on one handle may
// run on several threads at once (the polling thread and callers' reads); the
// driver accepts them concurrently, each with its own packet.
#pragma once

#include <cstdint>

#include "platform.h"
#include "svcproc/io/SvcpPacket.h"

// Finds the single device interface of the driver's class and opens it for
// exclusive, synchronous use, logging as CIOUnit::InitialiseIODevice (and, for
// the open, CIOUnit::InitialiseBusIODevice). Stores the CreateFileW result in
// *device (INVALID_HANDLE_VALUE when the open fails; untouched when an
// earlier step fails) and returns true when the device is open; the caller
// owns the handle and closes it. Every failure is logged once at level 1. The
// device-information set and the detail buffer are released on every path.
// Blocks for the SetupAPI and CreateFileW calls only.
bool SvcpInitialiseIODevice(HANDLE* device);

// One exchange: builds the request for `command` in `packet` (alert-poll flag
// 1 or 0, the port base), sends it with DeviceIoControl and waits for the
// answer. True when the driver has answered and the response fields may be
// examined (IsSvcpResponseValid first); false when DeviceIoControl failed,
// whatever its last-error code, after logging
// "SvcpRequestResponse - Ioctl failed: Last Error=0x%08x" at level 3.
// Allocates nothing.
bool SvcpRequestResponse(HANDLE device, DWORD portBase, uint8_t command, bool alertPoll,
                         SvcpPacket& packet);
