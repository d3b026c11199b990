// The provider of MSSMBios_RawSMBiosTables: its settings (wmi_provider.h) and
// the instance it serves.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "win/oleauto.h"

namespace svcp {

// One instance with the settings it was taken under. Immutable once made.
struct SmbiosInstance {
    std::vector<uint8_t> table;
    VARTYPE dataType;           // VARIANT type of SMBiosData
    LONG lowerBound;            // of the array
    VARTYPE actualElementType;  // VT_EMPTY: the one dataType names
};

// The class's instance now, or null when it has none (or when out of
// memory). Reads the table source; never throws.
std::shared_ptr<const SmbiosInstance> SnapshotSmbiosInstance();

// Fills *value (overwritten) with the instance's SMBiosData. E_OUTOFMEMORY,
// or WBEM_E_TYPE_MISMATCH for a type the provider cannot serve.
HRESULT MakeSmbiosData(const SmbiosInstance& instance, VARIANT* value);

}  // namespace svcp
