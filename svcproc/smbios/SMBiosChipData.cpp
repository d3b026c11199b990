#include "svcproc/smbios/SMBiosChipData.h"

#include <memory>

#include "svcproc/logging/Log.h"
#include "svcproc/smbios/LittleEndian.h"

namespace {

constexpr uint8_t kType34 = 34;
constexpr size_t kType34Extent = 0x0B;  // offsets 0x00-0x0A

}  // namespace

CSMBiosChipData::CSMBiosChipData() : m_bInit(false) {
    LogQuick(kLogTrace, "CSMBiosChipData Constructed");
}

CSMBiosChipData::~CSMBiosChipData() {
    FreeDevices();
    LogQuick(kLogTrace, "CSMBiosChipData Destroyed");
}

void CSMBiosChipData::FreeDevices() {
    for (SMBiosManagementDevice* device : m_vDevices) {
        delete device;
    }
    m_vDevices.clear();
}

bool CSMBiosChipData::Initialise(CRawSMBios* raw) {
    if (m_bInit) {
        LogQuick(kLogTrace, "CSMBiosChipData::Initialise - Already initialised");
        return true;
    }
    FreeDevices();
    AssignTable(raw);
    GetStructures();
    if (m_vDevices.empty()) {
        LogQuick(kLogError, "CSMBiosChipData::Initialise - No Type 34 devices found");
        return false;
    }
    Log(kLogTrace, "CSMBiosChipData::Initialise - Initialised Ok - #device(s)=%d",
        static_cast<int>(m_vDevices.size()));
    m_bInit = true;
    return true;
}

void CSMBiosChipData::GetStructures() {
    StoreType00(m_pRawBytes);
    for (const uint8_t* pTable = GetNextTable(m_pRawBytes); pTable != nullptr;
         pTable = GetNextTable(pTable)) {
        Log(kLogTrace, "CSMBiosChipData::GetStructures - pTable=0x%x", LogAddress(pTable));
        DumpHeader(pTable);
        if (pTable[0] != kType34) {
            continue;
        }
        if (!StructureFits(pTable, kType34Extent)) {
            break;
        }
        auto device = std::make_unique<SMBiosManagementDevice>();
        StoreType34(pTable, *device);
        m_vDevices.push_back(device.get());
        device.release();
    }
}

void CSMBiosChipData::StoreType34(const uint8_t* pTable, SMBiosManagementDevice& device) {
    device.type = pTable[0x00];
    device.length = pTable[0x01];
    device.handle = ReadLe16(&pTable[0x02]);
    device.descriptionString = pTable[0x04];
    device.deviceType = pTable[0x05];
    device.address = ReadLe32(&pTable[0x06]);
    device.addressType = pTable[0x0A];
    device.description = GetStructureString(pTable, device.descriptionString);

    LogQuick(kLogTrace, "CSMBiosChipData::StoreType34");
    Log(kLogTrace, "  Description: %s", device.description.c_str());
    Log(kLogTrace, "  Device Type: 0x%02x", static_cast<unsigned>(device.deviceType));
    Log(kLogTrace, "  Address:     0x%08x", static_cast<unsigned>(device.address));
    Log(kLogTrace, "  AddressType: 0x%02x", static_cast<unsigned>(device.addressType));
}
