// The start of every written line: "YYYY-MM-DDTHH:MM:SS.mmmZ [thread] L<level> ".
#pragma once

#include <cstdint>
#include <string>

namespace svcp::log {

// Appends a UTC time given in milliseconds since 1970-01-01T00:00:00Z as
// "YYYY-MM-DDTHH:MM:SS.mmmZ". Computed without the C library's time
// functions, which are neither thread-safe nor the same on every host.
void AppendUtcTimestamp(std::string& out, int64_t millisecondsSinceEpoch);

// A small number for the calling thread, stable for its life, given out in
// the order threads first write: easier to follow in a log than a system id.
unsigned CurrentThreadNumber();

// Appends the prefix of a line of `level` written now by the calling thread.
void AppendLinePrefix(std::string& out, int level);

}  // namespace svcp::log
