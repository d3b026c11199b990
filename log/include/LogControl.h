// Configuration and test capture of the logging library. Applications and
// tools use this header; svcproc itself only writes lines (svcproc/logging/Log.h).
//
// Every function here is thread-safe, callable at any time (also during static
// construction and destruction), and never throws.
//
// Defaults: lines of level 1 (errors) go to standard error; nothing is
// captured. The environment can change the defaults before the first line is
// written:
//   SVCP_LOG_LEVEL  0 (nothing) to 4 (everything); lines of a level above it
//                   are dropped before they are formatted.
//   SVCP_LOG_FILE   a path to append lines to, "stderr", or "none".
// The functions below override the environment.
#pragma once

#include <cstddef>

#include "log_export.h"

extern "C" {

// Lines whose level is above `level` are not written. 0 writes nothing.
// Values outside 0..4 are clamped. A line of level 0 is never taken.
LOG_EXPORT void LogSetLevel(int level);
LOG_EXPORT int LogGetLevel(void);

// Destination of written lines: a file opened for appending (path), standard
// error (path "stderr" or null), or nothing (path "none"). Returns 0 on
// success, -1 when the file cannot be opened (the destination is then
// unchanged). A file named by SVCP_LOG_FILE is opened only when the first
// line is written, so a call made before that leaves it untouched.
//
// Lines for standard error are written one by one as they come. Lines for a
// file are gathered in memory (32 KiB) and written in one go, whole lines
// only: at once when a line of level 1 comes (with everything before it),
// when the buffer is full, when a line comes and the oldest one waiting is a
// second old, when the destination changes, and at normal exit or when the
// library is unloaded (lines written after that go out one by one). A crash,
// a kill or _exit loses the lines still waiting: at most 32 KiB, never a
// level-1 line nor anything written before one (docs/performance.md).
LOG_EXPORT int LogSetFile(const char* path);

// Capture for tests: while capturing, every line of level up to
// `level` is kept in memory with its level, in the order the lines were
// completed, independently of the written destination and write level.
// Starting drops the lines kept so far; stopping keeps them for reading.
LOG_EXPORT void LogCaptureStart(int level);
LOG_EXPORT void LogCaptureStop(void);
// Drops the lines kept so far (capture goes on).
LOG_EXPORT void LogCaptureClear(void);
LOG_EXPORT size_t LogCaptureCount(void);
// Copies line `index` into `buffer`: its text as formatted, without the
// written prefix (a line end the format had is kept), as UTF-8, truncated to
// bufferSize - 1 bytes and terminated; and its level into *level. `level` and
// `buffer` may be null. Returns the full length of the text, or -1 when index
// is out of range.
LOG_EXPORT long LogCaptureGet(size_t index, int* level, char* buffer, size_t bufferSize);

}  // extern "C"

#include <string>
#include <vector>

// Header-only C++ helpers over the C capture interface (the C interface keeps
// the library's heap out of the caller's hands).
struct LogLine {
    int level;
    std::string text;
    bool operator==(const LogLine& other) const {
        return level == other.level && text == other.text;
    }
};

inline std::vector<LogLine> LogCaptured() {
    std::vector<LogLine> lines;
    const size_t count = LogCaptureCount();
    lines.reserve(count);
    std::string buffer(256, '\0');
    for (size_t i = 0; i < count; ++i) {
        int level = 0;
        long length = LogCaptureGet(i, &level, &buffer[0], buffer.size());
        if (length < 0) {
            break;
        }
        if (static_cast<size_t>(length) >= buffer.size()) {
            buffer.resize(static_cast<size_t>(length) + 1);
            length = LogCaptureGet(i, &level, &buffer[0], buffer.size());
            if (length < 0) {
                break;
            }
        }
        lines.push_back({level, buffer.substr(0, static_cast<size_t>(length))});
    }
    return lines;
}
