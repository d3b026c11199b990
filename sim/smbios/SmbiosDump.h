// A table in the form `dmidecode --from-dump` reads: a 32-byte block holding
// an SMBIOS 3.0 (64-bit, "_SM3_") entry point, then the structure table at
// offset 0x20. Used to decode a table with an independent tool.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace svcp::sim {

constexpr size_t kDumpTableOffset = 0x20;

// The entry point names the table's length as its maximum size and offset
// 0x20 as its address; its checksum makes its 24 bytes sum to 0.
std::vector<uint8_t> MakeSmbios3Dump(const std::vector<uint8_t>& table);

}  // namespace svcp::sim
