// Handle kinds in words, for applications and tools: the name of the kind in
// bits 16-31 of a handle (SensorHandle.h). Header-only; it changes nothing
// the library does.
#pragma once

#include "svcproc/api/SensorHandle.h"

namespace ServiceApi {

// "voltage", "fan", "temperature", "led"; "unknown" for any other number,
// HandleKind_None included. Never null.
inline const char* KindName(unsigned long kind) {
    switch (kind) {
        case HandleKind_Voltage:
            return "voltage";
        case HandleKind_Fan:
            return "fan";
        case HandleKind_Temperature:
            return "temperature";
        case HandleKind_Led:
            return "led";
        default:
            return "unknown";
    }
}

}  // namespace ServiceApi
