// Extension beside the nine functions of ServiceApi.h: what start-up learnt
// of the machine from SMBIOS, for inventories and fleet dashboards. None of
// the nine depends on it, and calling it changes nothing they do, return or
// log.
#pragma once

#include <cstddef>
#include <cstdint>

#include "svcproc/api/ServiceCode.h"
#include "svcproc/api/svcproc_export.h"

// Room for a text of the record, its terminating zero included; SMBIOS
// strings longer than 255 bytes are cut there.
constexpr size_t kMachineTextSize = 256;

// A plain record with nothing out of line: the library exports no member of
// it. Texts are zero-terminated and byte for byte as the SMBIOS table holds
// them (the machine's code page, normally ASCII).
class CMachineInfo {
public:
    // The version string of the SMBIOS Type 0 (BIOS information) structure,
    // the text that tells the machine family; empty when the table gives
    // none.
    char BiosVersion[kMachineTextSize];
    // The description of the Type 34 management device the library drives;
    // empty when start-up found none that names the service processor.
    char ServiceProcessor[kMachineTextSize];
    // That device's address (its I/O port for the usual address type);
    // 0 when there is none.
    uint32_t ServiceProcessorAddress;
};

namespace ServiceApi {

// Fills `info` with what the latest start-up that read the SMBIOS table
// found, also when that start-up failed afterwards (a BIOS of another family,
// no service processor device): 0. 1 while no start-up has read the table
// (the record is then left as it was). Waits for a start-up under way. Writes
// its entry and exit lines at level 4, as the nine functions do.
SVCPROC_EXPORT SERVICE_CODE GetMachineInfo(CMachineInfo& info);

}  // namespace ServiceApi
