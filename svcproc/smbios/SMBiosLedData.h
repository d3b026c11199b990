// CSMBiosLedData: the machine's LEDs, one per OEM structure of Type 128, in
// table order.
// Single-threaded, like every SMBIOS parser (see SMBiosData.h).
#pragma once

#include <cstdint>
#include <vector>

#include "svcproc/smbios/SMBiosData.h"
#include "svcproc/smbios/SMBiosRecords.h"

class CSMBiosLedData : public CSMBiosData {
public:
    CSMBiosLedData();
    ~CSMBiosLedData() override;

    // True when the table holds at least one Type 128 structure. Once true,
    // later calls return true at once; after a failure a later call parses
    // afresh.
    bool Initialise(CRawSMBios* raw) override;

    // One record per Type 128 structure, in table order; owned by this object.
    const std::vector<SMBiosLed*>& GetLeds() const { return m_vLeds; }

private:
    void GetStructures();
    void StoreType128(const uint8_t* pTable, SMBiosLed& led);
    void FreeLeds();

    bool m_bInit;
    std::vector<SMBiosLed*> m_vLeds;
};
