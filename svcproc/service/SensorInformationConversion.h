// Turning SMBIOS sensor records into the exported sensor description, and
// narrow SMBIOS text into wide text.
#pragma once

#include <cstdint>
#include <string>

#include "svcproc/api/SensorRecords.h"

struct SMBiosSensor;

// The SMBIOS word rule: 0x8000 (unknown) becomes 0x80000000; any other value
// is zero-extended.
int32_t SMBiosWordToField(uint16_t word);

// The SMBIOS resolution word in the exported units: 0x8000 unknown, 0 stays
// 0, otherwise word / divisor but never less than 1.
uint32_t ScaleResolution(uint16_t word, uint32_t divisor);

// Fills `information` (freshly constructed) from the sensor record. False,
// with the record untouched, for a kind other than 1 (voltage), 2 (fan) and
// 3 (temperature).
bool ConvertSensorInformation(const SMBiosSensor& sensor, CSensorInformation& information);

// The runtime's multibyte-to-wide conversion into a buffer of
// (length + 1) wide characters, truncating at its end; an invalid sequence
// gives an empty text.
void NarrowToWide(const std::string& source, std::wstring& target);
