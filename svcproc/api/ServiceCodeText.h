// Result codes in words, for applications: a short name and a one-line
// meaning of every SERVICE_CODE, and of the C interface's own results
// (svcproc_c.h: 8 to 10). Header-only; the C interface's SvcpResultName and
// SvcpResultMeaning give the same texts.
#pragma once

#include "svcproc/api/ServiceCode.h"

namespace ServiceApi {

struct ServiceCodeWords {
    const char* Name;
    const char* Meaning;
};

// Never null; "Unknown" for a number no interface returns.
inline ServiceCodeWords ServiceCodeText(unsigned long code) {
    static const ServiceCodeWords kWords[] = {
        {"Success", "The call succeeded."},
        {"NotInitialised",
         "The library has not been initialised: call InitialiseServiceDriver first."},
        {"SmbiosUnreadable", "The machine's SMBIOS tables could not be read."},
        {"SmbiosInventoryFailed",
         "The SMBIOS inventory is unusable, or the BIOS family is unknown."},
        {"PosSystemUnavailable", "The BIOS version holder could not be created (out of memory)."},
        {"NoServiceProcessor", "SMBIOS lists no management device for the service processor."},
        {"DriverUnavailable", "The service processor's driver could not be opened."},
        {"InvalidHandle", "The handle names no sensor or LED of that kind."},
        {"BufferTooSmall",
         "The caller's array or buffer is too small; the size needed was stored."},
        {"InvalidArgument", "A required pointer is null or an index is out of range."},
        {"OutOfMemory", "Memory ran out during the call; nothing was changed."},
    };
    if (code < sizeof kWords / sizeof kWords[0]) {
        return kWords[code];
    }
    return {"Unknown", "Not a result code of this library."};
}

inline const char* ServiceCodeName(unsigned long code) {
    return ServiceCodeText(code).Name;
}

inline const char* ServiceCodeMeaning(unsigned long code) {
    return ServiceCodeText(code).Meaning;
}

}  // namespace ServiceApi
