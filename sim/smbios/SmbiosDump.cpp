#include "sim/smbios/SmbiosDump.h"

namespace svcp::sim {

namespace {

constexpr uint8_t kEntryPointLength = 0x18;

}  // namespace

std::vector<uint8_t> MakeSmbios3Dump(const std::vector<uint8_t>& table) {
    std::vector<uint8_t> dump(kDumpTableOffset, 0);
    const char anchor[] = "_SM3_";
    for (size_t i = 0; i < 5; ++i) {
        dump[i] = static_cast<uint8_t>(anchor[i]);
    }
    dump[0x06] = kEntryPointLength;
    dump[0x07] = 3;  // SMBIOS 3.0
    dump[0x08] = 0;
    dump[0x09] = 0;  // docrev
    dump[0x0A] = 1;  // entry point revision 3.0
    const uint32_t maximumSize = static_cast<uint32_t>(table.size());
    for (size_t i = 0; i < 4; ++i) {
        dump[0x0C + i] = static_cast<uint8_t>(maximumSize >> (8 * i));
    }
    dump[0x10] = static_cast<uint8_t>(kDumpTableOffset);  // 64-bit address, little-endian
    uint8_t sum = 0;
    for (size_t i = 0; i < kEntryPointLength; ++i) {
        sum = static_cast<uint8_t>(sum + dump[i]);
    }
    dump[0x05] = static_cast<uint8_t>(0x100 - sum);
    dump.insert(dump.end(), table.begin(), table.end());
    return dump;
}

}  // namespace svcp::sim
