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

template <typename CharT>
void FormatAndEmit(int level, const CharT* format, va_list args) noexcept {
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
    if (!IsWanted(level)) {
        return;
    }
    va_list args;
    va_start(args, format);
    FormatAndEmit(level, format, args);
    va_end(args);
}

void __cdecl WLog(_LOG_LEVEL level, const wchar_t* format, ...) {
    if (!IsWanted(level)) {
        return;
    }
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
    try {
        SetWriteLevel(level);
    } catch (...) {
    }
}

int LogGetLevel(void) {
    try {
        return WriteLevel();
    } catch (...) {
        return 0;
    }
}

int LogSetFile(const char* path) {
    try {
        return SetDestination(path) ? 0 : -1;
    } catch (...) {
        return -1;
    }
}

void LogCaptureStart(int level) {
    try {
        StartCapture(level);
    } catch (...) {
    }
}

void LogCaptureStop(void) {
    try {
        StopCapture();
    } catch (...) {
    }
}

void LogCaptureClear(void) {
    try {
        ClearCapture();
    } catch (...) {
    }
}

size_t LogCaptureCount(void) {
    try {
        return CapturedCount();
    } catch (...) {
        return 0;
    }
}

long LogCaptureGet(size_t index, int* level, char* buffer, size_t bufferSize) {
    try {
        return CopyCaptured(index, level, buffer, bufferSize);
    } catch (...) {
        return -1;
    }
}

}  // extern "C"
