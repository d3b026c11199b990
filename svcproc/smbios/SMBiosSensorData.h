// CSMBiosSensorData: the sensors of one management device (the "chip"):
// voltage probes (Type 26), cooling devices (Type 27) and temperature probes
// (Type 28), joined to the device through its Type 35 components, with the
// thresholds of their Type 36 structures attached.
// Single-threaded, like every SMBIOS parser (see SMBiosData.h).
#pragma once

#include <cstdint>
#include <vector>

#include "svcproc/smbios/SMBiosData.h"
#include "svcproc/smbios/SMBiosRecords.h"

class CSMBiosSensorData : public CSMBiosData {
public:
    // `chipHandle`: the SMBIOS handle of the management device (Type 34).
    explicit CSMBiosSensorData(uint16_t chipHandle);
    ~CSMBiosSensorData() override;

    // True when the chip has at least one sensor. Once true, later calls
    // return true at once; after a failure a later call parses afresh.
    bool Initialise(CRawSMBios* raw) override;

    // The chip's sensors in the order of their Type 35 components (a sensor
    // named by two components appears twice). The records belong to this
    // object; attaching descriptions and thresholds changed them in place.
    const std::vector<SMBiosSensor*>& GetSensors() const { return m_vThisChipSensors; }

    // The first sensor (Types 26-28) or threshold (Type 36) record of the
    // table with this handle, or null. An empty list is logged at level 1; a
    // miss is not logged.
    SMBiosSensor* GetSensorForHandle(uint16_t handle) const;
    SMBiosThreshold* GetThresholdForHandle(uint16_t handle) const;

private:
    void GetStructures();
    void GetThisChipSensors();
    void StoreType26(const uint8_t* pTable, SMBiosSensor& sensor);
    void StoreType27(const uint8_t* pTable, SMBiosSensor& sensor);
    void StoreType28(const uint8_t* pTable, SMBiosSensor& sensor);
    void StoreType35(const uint8_t* pTable, SMBiosComponent& component);
    void StoreType36(const uint8_t* pTable, SMBiosThreshold& threshold);
    void StoreProbe(const uint8_t* pTable, SMBiosSensor& sensor);
    void LogProbe(const SMBiosSensor& sensor) const;
    void FreeRecords();

    bool m_bInit;
    uint16_t m_wChipHandle;
    std::vector<SMBiosSensor*> m_vAllSensors;        // owned, table order
    std::vector<SMBiosComponent*> m_vAllComponents;  // owned, table order
    std::vector<SMBiosThreshold*> m_vAllThresholds;  // owned, table order
    std::vector<SMBiosSensor*> m_vThisChipSensors;   // borrowed from m_vAllSensors
};
