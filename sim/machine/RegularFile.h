// Reading a file that the simulator was named: only a regular file, and only
// up to a size, so that a wrong name (/dev/zero, a FIFO, a directory, a huge
// file) is refused instead of read without end or waited on.
//
// Free function without shared state: thread-safe.
#pragma once

#include <cstddef>
#include <string>

namespace svcpsim {

// Machine descriptions and the SMBIOS tables they replay: larger than any
// table a machine has and than any description a person writes.
constexpr size_t kMaxMachineFileSize = 4u << 20;

// Reads the whole file at `path` into *bytes. False with *problem set ("not
// a regular file (a FIFO)", "larger than 4 MiB", the system's reason) when
// the file cannot be opened, is not a regular file (refused before any byte
// is read; a FIFO's open does not wait for a writer) or holds more than
// `maxSize` bytes (reading stops within 64 KiB past the limit).
bool ReadRegularFile(const std::string& path, size_t maxSize, std::string* bytes,
                     std::string* problem);

}  // namespace svcpsim
