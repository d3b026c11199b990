// Result codes of the svcproc exported functions.
#pragma once

// Every exported function that returns a value returns one of these.
enum SERVICE_CODE {
    ServiceCode_Success = 0,
    // No successful InitialiseServiceDriver yet.
    ServiceCode_NotInitialised = 1,
    // The raw SMBIOS tables could not be read.
    ServiceCode_SmbiosUnreadable = 2,
    // An SMBIOS inventory step failed, or the BIOS family is unknown.
    ServiceCode_SmbiosInventoryFailed = 3,
    // The process-wide BIOS version holder could not be created.
    ServiceCode_PosSystemUnavailable = 4,
    // No management device with the service processor's description.
    ServiceCode_NoServiceProcessor = 5,
    // The driver channel could not be opened.
    ServiceCode_DriverUnavailable = 6,
    // Invalid handle, handle of the wrong kind, or no entry with that handle.
    ServiceCode_InvalidHandle = 7
};

static_assert(sizeof(SERVICE_CODE) == 4, "SERVICE_CODE is a 32-bit enumeration");
