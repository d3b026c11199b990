// The state every call shares: write level, destination and capture.
#pragma once

#include <cstddef>

namespace svcp::log {

constexpr int kLowestLineLevel = 1;  // errors; a line of level 0 is never taken
constexpr int kHighestLevel = 4;

// Reads the configuration if no call has yet, then tells whether a line of
// `level` is written or captured. Takes no lock: in a process that does not
// trace, most lines end here, on every thread.
bool IsWanted(int level) noexcept;

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
