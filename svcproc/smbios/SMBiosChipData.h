// CSMBiosChipData: the management devices (SMBIOS Type 34) of the table, in
// table order, and the table's Type 0 BIOS information. Start-up uses it to
// find the service processor's device and the BIOS version.
// Single-threaded, like every SMBIOS parser (see SMBiosData.h).
#pragma once

#include <cstdint>
#include <vector>

#include "svcproc/smbios/SMBiosData.h"
#include "svcproc/smbios/SMBiosRecords.h"

class CSMBiosChipData : public CSMBiosData {
public:
    CSMBiosChipData();
    ~CSMBiosChipData() override;

    // True when the table holds at least one Type 34 structure. Once true,
    // later calls return true at once and read nothing; after a failure a
    // later call parses afresh.
    bool Initialise(CRawSMBios* raw) override;

    // One record per Type 34 structure, in table order; owned by this object.
    const std::vector<SMBiosManagementDevice*>& GetDevices() const { return m_vDevices; }

private:
    void GetStructures();
    void StoreType34(const uint8_t* pTable, SMBiosManagementDevice& device);
    void FreeDevices();

    bool m_bInit;
    std::vector<SMBiosManagementDevice*> m_vDevices;
};
