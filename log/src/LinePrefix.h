// The start of every written line: "YYYY-MM-DDTHH:MM:SS.mmmZ [thread] L<level> ".
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace svcp::log {

// Enough for any prefix: a timestamp of any year, any thread number and level.
constexpr size_t kMaxLinePrefix = 96;

// Writes a UTC time given in milliseconds since 1970-01-01T00:00:00Z as
// "YYYY-MM-DDTHH:MM:SS.mmmZ" into `out` (kMaxLinePrefix bytes) and returns
// its length. Computed without the C library's time functions, which are
// neither thread-safe nor the same on every host.
size_t FormatUtcTimestamp(char* out, int64_t millisecondsSinceEpoch);
void AppendUtcTimestamp(std::string& out, int64_t millisecondsSinceEpoch);

// A small number for the calling thread, stable for its life, given out in
// the order threads first write: easier to follow in a log than a system id.
unsigned CurrentThreadNumber();

// The system clock in milliseconds since 1970-01-01T00:00:00Z.
int64_t NowMilliseconds();

// Writes the prefix of a line of `level` written at `millisecondsSinceEpoch`
// by the calling thread into `out` (kMaxLinePrefix bytes); returns its length.
size_t FormatLinePrefix(char* out, int64_t millisecondsSinceEpoch, int level);
// The same, for a line written now.
void AppendLinePrefix(std::string& out, int level);

}  // namespace svcp::log
