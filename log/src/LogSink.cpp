#include "LogSink.h"

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <string>
#include <vector>

#include "Environment.h"
#include "LinePrefix.h"

namespace svcp::log {

std::atomic<int> g_threshold{INT_MAX};

namespace {

struct CapturedLine {
    int level;
    std::string text;
};

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
};

int ClampLevel(int level) {
    return std::clamp(level, 0, kHighestLevel);
}

// Caller holds the mutex.
void PublishThreshold(const LogState& state) {
    const int capture = state.capturing ? state.captureLevel : 0;
    g_threshold.store(std::max(state.writeLevel, capture), std::memory_order_relaxed);
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
    return state;
}

// The first call from any thread reads the configuration; the others wait
// for it. The pointer is trivially destructible, so nothing is torn down at
// exit, and it keeps the state reachable for leak checkers.
LogState& State() {
    static LogState* const state = CreateState();
    return *state;
}

void WriteLine(FILE* file, int level, const char* text, size_t length) {
    std::string line;
    line.reserve(length + 48);
    AppendLinePrefix(line, level);
    line.append(text, length);
    if (line.empty() || line.back() != '\n') {
        line.push_back('\n');
    }
    // One write per line: lines from concurrent callers stay whole.
    std::fwrite(line.data(), 1, line.size(), file);
    std::fflush(file);
}

// Caller holds the mutex.
FILE* OpenDestination(LogState& state) {
    if (!state.pendingPath.empty()) {
        state.file = std::fopen(state.pendingPath.c_str(), "ab");
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

}  // namespace

bool IsWantedAfterConfiguring(int level) noexcept {
    try {
        State();
    } catch (...) {
        return false;  // no memory for the state: no line either
    }
    return level >= kLowestLineLevel && level <= g_threshold.load(std::memory_order_relaxed);
}

void Emit(int level, const char* text, size_t length) {
    LogState& state = State();
    std::lock_guard<std::mutex> lock(state.mutex);
    if (state.capturing && level <= state.captureLevel) {
        state.captured.push_back({level, std::string(text, length)});
    }
    if (level <= state.writeLevel) {
        if (FILE* file = OpenDestination(state)) {
            WriteLine(file, level, text, length);
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
        opened = std::fopen(path, "ab");
        if (opened == nullptr) {
            return false;
        }
    }
    FILE* previous = nullptr;
    try {
        std::lock_guard<std::mutex> lock(state.mutex);
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
