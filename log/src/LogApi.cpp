// The exported functions: filtering by level first, then formatting, and no
// exception ever leaves them (a line that cannot be made is dropped).
#include <cstdarg>
#include <cstring>

#include "LogControl.h"
#include "svcproc/logging/Log.h"

#include "CrtFormat.h"
#include "LogSink.h"
#include "TextBuffer.h"

namespace {

using namespace svcp::log;

// Runs `body`; an exception becomes `fallback` (nothing leaves an exported
// function).
template <typename Result, typename Body>
Result NoThrow(Result fallback, Body body) noexcept {
    try {
        return body();
    } catch (...) {
        return fallback;
    }
}

template <typename Body>
void NoThrow(Body body) noexcept {
    try {
        body();
    } catch (...) {
    }
}

// Formats only a line the level lets through.
template <typename CharT>
void FormatAndEmit(int level, const CharT* format, va_list args) noexcept {
    if (!IsWanted(level)) {
        return;
    }
    try {
        CTextBuffer text;
        if (format == nullptr) {
            text.append("(null)", 6);
        } else {
            CrtFormat(text, format, args);
        }
        Emit(level, text.data(), text.size());
    } catch (...) {
    }
}

}  // namespace

extern "C" {

void __cdecl Log(_LOG_LEVEL level, const char* format, ...) {
    va_list args;
    va_start(args, format);
    FormatAndEmit(level, format, args);
    va_end(args);
}

void __cdecl WLog(_LOG_LEVEL level, const wchar_t* format, ...) {
    va_list args;
    va_start(args, format);
    FormatAndEmit(level, format, args);
    va_end(args);
}

void __cdecl LogQuick(_LOG_LEVEL level, const char* text) {
    if (!IsWanted(level)) {
        return;
    }
    try {
        if (text == nullptr) {
            text = "(null)";
        }
        Emit(level, text, std::strlen(text));
    } catch (...) {
    }
}

void LogSetLevel(int level) {
    NoThrow([level] { SetWriteLevel(level); });
}

int LogGetLevel(void) {
    return NoThrow(0, [] { return WriteLevel(); });
}

int LogSetFile(const char* path) {
    return NoThrow(-1, [path] { return SetDestination(path) ? 0 : -1; });
}

void LogCaptureStart(int level) {
    NoThrow([level] { StartCapture(level); });
}

void LogCaptureStop(void) {
    NoThrow([] { StopCapture(); });
}

void LogCaptureClear(void) {
    NoThrow([] { ClearCapture(); });
}

size_t LogCaptureCount(void) {
    return NoThrow<size_t>(0, [] { return CapturedCount(); });
}

long LogCaptureGet(size_t index, int* level, char* buffer, size_t bufferSize) {
    return NoThrow(-1L, [=] { return CopyCaptured(index, level, buffer, bufferSize); });
}

}  // extern "C"
