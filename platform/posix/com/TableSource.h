// Where the SMBIOS provider gets its table. The provider asks its current
// source once per enumeration; a new kind of source (another process, say)
// is one more implementation installed with SetSmbiosTableSource.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace svcp {

class SmbiosTableSource {
public:
    virtual ~SmbiosTableSource() = default;
    // Fills *table with the raw structure table and returns true, or returns
    // false when the class has no instance now. May be called from several
    // threads at once; may block (file or socket I/O), never throws.
    virtual bool Read(std::vector<uint8_t>* table) = 0;
};

std::shared_ptr<SmbiosTableSource> MakeFixedTableSource(std::vector<uint8_t> table);
std::shared_ptr<SmbiosTableSource> MakeFileTableSource(std::string path);
std::shared_ptr<SmbiosTableSource> MakeNoInstanceSource();

// The table a server in the device directory serves (socket_devices.h),
// asked at each read; the host's table when none does. The default.
std::shared_ptr<SmbiosTableSource> MakeDefaultTableSource();

// The host's table, as Linux exposes it.
constexpr const char* kHostSmbiosTablePath = "/sys/firmware/dmi/tables/DMI";

// Replaces the provider's source; enumerators already created keep their
// snapshot.
void SetSmbiosTableSource(std::shared_ptr<SmbiosTableSource> source);

}  // namespace svcp
