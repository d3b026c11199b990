// What the COM layer lets tests see: the call trace and the live counts
// (wmi_provider.h), and the helpers that format trace arguments.
#pragma once

#include <string>

#include "win/wbemcli.h"

namespace svcp {

// True while the trace records; lets callers skip formatting otherwise.
bool ComTraceOn();
// Appends one formatted line to the trace when it records.
void ComTrace(const char* format, ...) __attribute__((format(printf, 1, 2)));

enum class ComLive { Objects, Strings, Arrays };
void CountLive(ComLive kind, int delta);

// A wide string as a trace argument: "text" (ASCII, '?' for the rest) or null.
std::string TraceString(const OLECHAR* text);
// A GUID by its declared name, or in registry form.
std::string TraceGuid(const GUID& guid);
// A pointer argument: its name when set, "null" otherwise.
inline const char* TracePointer(const void* pointer, const char* name) {
    return pointer != nullptr ? name : "null";
}

// Case-insensitive comparison of a wide string with an ASCII name, as WMI
// compares namespace, class and property names.
bool EqualsIgnoringCase(const OLECHAR* text, const char* ascii);

}  // namespace svcp
