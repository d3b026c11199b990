#include "svcproc/smbios/SMBiosLedData.h"

#include <memory>

#include "svcproc/logging/Log.h"
#include "svcproc/smbios/LittleEndian.h"

namespace {

constexpr uint8_t kType128 = 128;
constexpr size_t kType128Extent = 0x07;  // offsets 0x00-0x06

}  // namespace

CSMBiosLedData::CSMBiosLedData() : m_bInit(false) {
    LogQuick(kLogTrace, "CSMBiosLedData Constructed");
}

CSMBiosLedData::~CSMBiosLedData() {
    FreeLeds();
    LogQuick(kLogTrace, "CSMBiosLedData Destroyed");
}

void CSMBiosLedData::FreeLeds() {
    for (SMBiosLed* led : m_vLeds) {
        delete led;
    }
    m_vLeds.clear();
}

bool CSMBiosLedData::Initialise(CRawSMBios* raw) {
    if (m_bInit) {
        LogQuick(kLogTrace, "CSMBiosLedData::Initialise - Already initialised");
        return true;
    }
    FreeLeds();
    AssignTable(raw);
    GetStructures();
    if (m_vLeds.empty()) {
        LogQuick(kLogError, "CSMBiosLedData::Initialise - No Type 128 devices found");
        return false;
    }
    Log(kLogTrace, "CSMBiosLedData::Initialise - Initialised Ok - #LED(s)=%d",
        static_cast<int>(m_vLeds.size()));
    m_bInit = true;
    return true;
}

void CSMBiosLedData::GetStructures() {
    StoreType00(m_pRawBytes);
    for (const uint8_t* pTable = GetNextTable(m_pRawBytes); pTable != nullptr;
         pTable = GetNextTable(pTable)) {
        Log(kLogTrace, "CSMBiosLedData::GetStructures - pTable=0x%x", LogAddress(pTable));
        DumpHeader(pTable);
        if (pTable[0] != kType128) {
            continue;
        }
        if (!StructureFits(pTable, kType128Extent)) {
            break;
        }
        auto led = std::make_unique<SMBiosLed>();
        StoreType128(pTable, *led);
        m_vLeds.push_back(led.get());
        led.release();
    }
}

void CSMBiosLedData::StoreType128(const uint8_t* pTable, SMBiosLed& led) {
    led.type = pTable[0x00];
    led.length = pTable[0x01];
    led.handle = ReadLe16(&pTable[0x02]);
    led.bitMap = ReadLe16(&pTable[0x04]);
    led.descriptionString = pTable[0x06];
    led.description = GetStructureString(pTable, led.descriptionString);

    LogQuick(kLogTrace, "CSMBiosLedData::StoreType128");
    Log(kLogTrace, "  Description: %s", led.description.c_str());
    Log(kLogTrace, "  BitMap: 0x%04x", static_cast<unsigned>(led.bitMap));
}
