#include "LogSink.h"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <string>
#include <vector>

#include "Environment.h"
#include "LinePrefix.h"
#include "TextBuffer.h"

namespace svcp::log {

namespace {

struct CapturedLine {
    int level;
    std::string text;
};

// Lines for a file are gathered here and handed to the system in one write
// when a line of level 1 comes, when the buffer is full, when the oldest line
// in it is kFileHoldMilliseconds old as another line comes, when the
// destination changes, and at exit or unload. The buffer holds whole lines
// only, so a write never splits one.
constexpr size_t kFileBufferSize = 32 * 1024;
constexpr int64_t kFileHoldMilliseconds = 1000;

// Reached only through State(). Never destroyed: lines may still come from
// static destructors of other modules after this one's would have run.
struct LogState {
    std::mutex mutex;
    int writeLevel = 1;
    Destination destination = Destination::kStandardError;
    FILE* file = nullptr;  // when destination is kFile
    // A file named by the environment is opened when the first line is
    // written, so that a LogSetFile before it leaves no trace of it.
    std::string pendingPath;
    bool capturing = false;
    int captureLevel = 0;
    std::vector<CapturedLine> captured;
    // Lines for `file` not yet written, and the time of the first of them.
    size_t bufferedSize = 0;
    int64_t bufferedSince = 0;
    // Set at exit and unload, when the buffer is freed: from then on every
    // line is written at once.
    bool writeThrough = false;
    char* buffered = new char[kFileBufferSize];
    // max(write level, capture level while capturing), written under the
    // mutex, read without it.
    std::atomic<int> threshold{0};
};

// The state once created, for the flush at exit, which must not create it.
std::atomic<LogState*> g_pState{nullptr};

int ClampLevel(int level) {
    return std::clamp(level, 0, kHighestLevel);
}

// Caller holds the mutex.
void PublishThreshold(LogState& state) {
    const int capture = state.capturing ? state.captureLevel : 0;
    state.threshold.store(std::max(state.writeLevel, capture), std::memory_order_relaxed);
}

LogState* CreateState() {
    auto* state = new LogState;
    const EnvironmentSettings settings = ReadEnvironment();
    if (settings.hasLevel) {
        state->writeLevel = settings.level;
    }
    if (settings.hasDestination) {
        state->destination = settings.destination;
        state->pendingPath = settings.path;
    }
    PublishThreshold(*state);
    g_pState.store(state, std::memory_order_release);
    return state;
}

// The first call from any thread reads the configuration; the others wait
// for it. The pointer is trivially destructible, so nothing is torn down at
// exit, and it keeps the state reachable for leak checkers.
LogState& State() {
    static LogState* const state = CreateState();
    return *state;
}

bool NeedsLineEnd(const char* text, size_t length) {
    return length == 0 || text[length - 1] != '\n';
}

// One write per line: lines from concurrent writers stay whole.
void WriteLine(FILE* file, int level, const char* text, size_t length) {
    char prefix[kMaxLinePrefix];
    const size_t prefixLength = FormatLinePrefix(prefix, NowMilliseconds(), level);
    CTextBuffer line;
    line.append(prefix, prefixLength);
    line.append(text, length);
    if (NeedsLineEnd(text, length)) {
        line.push_back('\n');
    }
    std::fwrite(line.data(), 1, line.size(), file);
    std::fflush(file);
}

// Caller holds the mutex.
void FlushBuffered(LogState& state) {
    if (state.bufferedSize > 0 && state.file != nullptr) {
        std::fwrite(state.buffered, 1, state.bufferedSize, state.file);
        std::fflush(state.file);
    }
    state.bufferedSize = 0;
}

// Caller holds the mutex; the destination is the file.
void BufferLine(LogState& state, int level, const char* text, size_t length) {
    const int64_t now = NowMilliseconds();
    char prefix[kMaxLinePrefix];
    const size_t prefixLength = FormatLinePrefix(prefix, now, level);
    const bool lineEnd = NeedsLineEnd(text, length);
    const size_t lineLength = prefixLength + length + (lineEnd ? 1 : 0);
    if (lineLength > kFileBufferSize - state.bufferedSize) {
        FlushBuffered(state);
    }
    if (lineLength > kFileBufferSize) {
        WriteLine(state.file, level, text, length);
        return;
    }
    if (state.bufferedSize == 0) {
        state.bufferedSince = now;
    }
    char* end = state.buffered + state.bufferedSize;
    std::memcpy(end, prefix, prefixLength);
    std::memcpy(end + prefixLength, text, length);
    if (lineEnd) {
        end[lineLength - 1] = '\n';
    }
    state.bufferedSize += lineLength;
    const int64_t held = now - state.bufferedSince;
    if (level <= kLowestLineLevel || held >= kFileHoldMilliseconds || held < 0) {
        FlushBuffered(state);
    }
}

// Unbuffered at the C library's level: the lines are gathered in LogState,
// and each fwrite is then one write of whole lines.
FILE* OpenForAppending(const char* path) {
    FILE* file = std::fopen(path, "ab");
    if (file != nullptr) {
        std::setvbuf(file, nullptr, _IONBF, 0);
    }
    return file;
}

// Caller holds the mutex.
FILE* OpenDestination(LogState& state) {
    if (!state.pendingPath.empty()) {
        state.file = OpenForAppending(state.pendingPath.c_str());
        if (state.file == nullptr) {
            state.destination = Destination::kStandardError;
            const std::string notice =
                "cannot open SVCP_LOG_FILE " + state.pendingPath + ", writing to standard error";
            WriteLine(stderr, kLowestLineLevel, notice.data(), notice.size());
        }
        state.pendingPath.clear();
    }
    switch (state.destination) {
        case Destination::kStandardError:
            return stderr;
        case Destination::kFile:
            return state.file;
        default:
            return nullptr;
    }
}

// At exit, and when the library is unloaded: the buffered lines are written,
// and lines that come later (from static destructors that run after this
// one) are written at once.
struct CFlushAtExit {
    ~CFlushAtExit() {
        LogState* state = g_pState.load(std::memory_order_acquire);
        if (state == nullptr) {
            return;
        }
        try {
            std::lock_guard<std::mutex> lock(state->mutex);
            FlushBuffered(*state);
            // The state itself stays for lines still to come; its buffer,
            // the bulk of it, goes, so that an unload leaves little behind.
            state->writeThrough = true;
            delete[] state->buffered;
            state->buffered = nullptr;
        } catch (...) {
        }
    }
};
CFlushAtExit g_flushAtExit;

}  // namespace

bool IsWanted(int level) noexcept {
    try {
        const LogState& state = State();
        return level >= kLowestLineLevel &&
               level <= state.threshold.load(std::memory_order_relaxed);
    } catch (...) {
        return false;  // no memory for the state: no line either
    }
}

void Emit(int level, const char* text, size_t length) {
    LogState& state = State();
    std::lock_guard<std::mutex> lock(state.mutex);
    if (state.capturing && level <= state.captureLevel) {
        state.captured.push_back({level, std::string(text, length)});
    }
    if (level <= state.writeLevel) {
        if (FILE* file = OpenDestination(state)) {
            if (state.destination == Destination::kFile && !state.writeThrough) {
                BufferLine(state, level, text, length);
            } else {
                WriteLine(file, level, text, length);
            }
        }
    }
}

void SetWriteLevel(int level) {
    LogState& state = State();
    std::lock_guard<std::mutex> lock(state.mutex);
    state.writeLevel = ClampLevel(level);
    PublishThreshold(state);
}

int WriteLevel() {
    LogState& state = State();
    std::lock_guard<std::mutex> lock(state.mutex);
    return state.writeLevel;
}

bool SetDestination(const char* path) {
    LogState& state = State();
    const Destination destination = DestinationNamed(path);
    FILE* opened = nullptr;
    if (destination == Destination::kFile) {
        opened = OpenForAppending(path);
        if (opened == nullptr) {
            return false;
        }
    }
    FILE* previous = nullptr;
    try {
        std::lock_guard<std::mutex> lock(state.mutex);
        FlushBuffered(state);
        previous = state.file;
        state.destination = destination;
        state.file = opened;
        state.pendingPath.clear();
    } catch (...) {
        if (opened != nullptr) {
            std::fclose(opened);
        }
        throw;
    }
    // Every write happens under the mutex, so nobody uses the old file now.
    if (previous != nullptr) {
        std::fclose(previous);
    }
    return true;
}

void StartCapture(int level) {
    LogState& state = State();
    std::lock_guard<std::mutex> lock(state.mutex);
    state.capturing = true;
    state.captureLevel = ClampLevel(level);
    state.captured.clear();
    PublishThreshold(state);
}

void StopCapture() {
    LogState& state = State();
    std::lock_guard<std::mutex> lock(state.mutex);
    state.capturing = false;
    PublishThreshold(state);
}

void ClearCapture() {
    LogState& state = State();
    std::lock_guard<std::mutex> lock(state.mutex);
    state.captured.clear();
    state.captured.shrink_to_fit();
}

size_t CapturedCount() {
    LogState& state = State();
    std::lock_guard<std::mutex> lock(state.mutex);
    return state.captured.size();
}

long CopyCaptured(size_t index, int* level, char* buffer, size_t bufferSize) {
    LogState& state = State();
    std::lock_guard<std::mutex> lock(state.mutex);
    if (index >= state.captured.size()) {
        return -1;
    }
    const CapturedLine& line = state.captured[index];
    if (level != nullptr) {
        *level = line.level;
    }
    if (buffer != nullptr && bufferSize > 0) {
        const size_t copied = std::min(line.text.size(), bufferSize - 1);
        std::memcpy(buffer, line.text.data(), copied);
        buffer[copied] = '\0';
    }
    return static_cast<long>(line.text.size());
}

}  // namespace svcp::log
