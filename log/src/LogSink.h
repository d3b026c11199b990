// The state every call shares: write level, destination and capture, and the
// threshold that lets unwanted lines go at the cost of one comparison.
#pragma once

#include <atomic>
#include <cstddef>

namespace svcp::log {

constexpr int kLowestLineLevel = 1;  // errors; a line of level 0 is never taken
constexpr int kHighestLevel = 4;

// max(write level, capture level while capturing). Until the configuration is
// read it is INT_MAX, so that the first line goes on to read it.
// Constant-initialised: valid before any static constructor runs.
extern std::atomic<int> g_threshold;

// Reads the configuration if no call has yet, then tells whether a line of
// `level` is written or captured.
bool IsWantedAfterConfiguring(int level) noexcept;

// The first test of every call: false when no line of `level` can be
// wanted, true when IsWantedAfterConfiguring must decide.
inline bool MayBeWanted(int level) noexcept {
    return level <= g_threshold.load(std::memory_order_relaxed);
}

// Writes and/or captures the finished text of a line, as the levels say.
// These functions throw std::bad_alloc and std::system_error; the exported
// functions catch them.
void Emit(int level, const char* text, size_t length);

void SetWriteLevel(int level);
int WriteLevel();
// False when the file cannot be opened; the destination is then unchanged.
bool SetDestination(const char* path);

void StartCapture(int level);
void StopCapture();
void ClearCapture();
size_t CapturedCount();
// Copies captured line `index` as LogCaptureGet does; -1 when out of range.
long CopyCaptured(size_t index, int* level, char* buffer, size_t bufferSize);

}  // namespace svcp::log
