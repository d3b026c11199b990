// The SMBIOS table as an application reads it: through WMI's
// MSSMBios_RawSMBiosTables in ROOT\WMI.
#pragma once

#include <cstdint>
#include <vector>

// False when the class has no instance (or a call fails).
bool ReadWmiSmbiosTable(std::vector<uint8_t>* table);
