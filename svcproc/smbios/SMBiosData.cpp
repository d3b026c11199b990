#include "svcproc/smbios/SMBiosData.h"

#include <algorithm>
#include <cstring>

#include "svcproc/logging/Log.h"
#include "svcproc/smbios/LittleEndian.h"
#include "svcproc/smbios/RawSMBios.h"

namespace {

constexpr size_t kHeaderSize = 4;
constexpr uint8_t kEndOfTable = 127;
constexpr size_t kType00Size = 0x18;  // bytes 0x00-0x17 as StoreType00 reads them

}  // namespace

CSMBiosData::CSMBiosData() : m_pRawBytes(nullptr), m_nRawLength(0) {
    LogQuick(kLogTrace, "CSMBiosData Constructed");
}

CSMBiosData::~CSMBiosData() {
    LogQuick(kLogTrace, "CSMBiosData Destroyed");
}

void CSMBiosData::AssignTable(CRawSMBios* raw) {
    m_pRawBytes = raw != nullptr ? raw->GetBytes() : nullptr;
    m_nRawLength = m_pRawBytes != nullptr ? raw->GetLength() : 0;
}

bool CSMBiosData::OffsetOf(const uint8_t* p, size_t* offset) const {
    if (m_pRawBytes == nullptr || p == nullptr) {
        return false;
    }
    // Integer arithmetic: `p` need not point into the buffer for the test.
    const uintptr_t distance =
        reinterpret_cast<uintptr_t>(p) - reinterpret_cast<uintptr_t>(m_pRawBytes);
    if (distance > m_nRawLength) {
        return false;
    }
    *offset = static_cast<size_t>(distance);
    return true;
}

unsigned CSMBiosData::AddressAt(size_t offset) const {
    return LogAddress(m_pRawBytes + offset);
}

void CSMBiosData::LogPastEnd(unsigned address) const {
    Log(kLogError, "CSMBiosData::GetNextTable - Past end of SMBIOS, pCurrent=0x%08x", address);
}

void CSMBiosData::LogInvalidLength(size_t offset) const {
    Log(kLogError, "CSMBiosData::GetNextTable - Invalid structure length 0x%02x, pCurrent=0x%08x",
        static_cast<unsigned>(m_pRawBytes[offset + 1]), AddressAt(offset));
}

const uint8_t* CSMBiosData::GetNextTable(const uint8_t* pCurrent) const {
    if (m_pRawBytes == nullptr) {
        LogQuick(kLogError, "CSMBiosData::GetNextTable - m_pRawBytes==NULL");
        return nullptr;
    }
    size_t current = 0;
    if (!OffsetOf(pCurrent, &current) || current + kHeaderSize > m_nRawLength) {
        LogPastEnd(LogAddress(pCurrent));
        return nullptr;
    }
    if (pCurrent[0] == kEndOfTable) {
        LogQuick(kLogTrace, "CSMBiosData::GetNextTable - End Structure (127) found");
        return nullptr;
    }
    // A length below the header's own size would put the string-set inside
    // the header: nothing after such a structure can be trusted.
    if (pCurrent[1] < kHeaderSize) {
        LogInvalidLength(current);
        return nullptr;
    }
    // The first double NUL after the formatted area ends the string-set.
    for (size_t s = current + pCurrent[1]; s + 1 < m_nRawLength; ++s) {
        if (m_pRawBytes[s] != 0 || m_pRawBytes[s + 1] != 0) {
            continue;
        }
        const size_t next = s + 2;  // at most the buffer's end
        if (next + kHeaderSize > m_nRawLength) {
            LogPastEnd(AddressAt(next));
            return nullptr;
        }
        if (m_pRawBytes[next + 1] < kHeaderSize) {
            LogInvalidLength(next);
            return nullptr;
        }
        return m_pRawBytes + next;
    }
    return nullptr;
}

std::string CSMBiosData::GetSMBiosString(const uint8_t* pStrings, uint8_t number) const {
    size_t offset = 0;
    if (number == 0 || !OffsetOf(pStrings, &offset)) {
        return std::string();
    }
    for (unsigned index = 1;; ++index) {
        if (offset >= m_nRawLength) {
            return std::string();
        }
        const uint8_t* start = m_pRawBytes + offset;
        const void* nul = std::memchr(start, 0, m_nRawLength - offset);
        if (nul == nullptr) {
            return std::string();
        }
        const size_t size = static_cast<size_t>(static_cast<const uint8_t*>(nul) - start);
        if (size == 0) {
            // An empty string is the set's final NUL: there is no string `number`.
            return std::string();
        }
        if (index == number) {
            return std::string(reinterpret_cast<const char*>(start), size);
        }
        offset += size + 1;
    }
}

std::string CSMBiosData::GetStructureString(const uint8_t* pStructure, uint8_t number) const {
    size_t offset = 0;
    if (number == 0 || !OffsetOf(pStructure, &offset) || offset + 2 > m_nRawLength) {
        return std::string();
    }
    const size_t strings = offset + pStructure[1];
    if (strings >= m_nRawLength) {
        return std::string();
    }
    return GetSMBiosString(m_pRawBytes + strings, number);
}

void CSMBiosData::StoreType00(const uint8_t* pTable) {
    // A table shorter than the 24 bytes read here gives zeros for the rest.
    uint8_t bytes[kType00Size] = {};
    size_t offset = 0;
    if (OffsetOf(pTable, &offset)) {
        std::memcpy(bytes, pTable, std::min(kType00Size, m_nRawLength - offset));
    }
    SMBiosBiosInformation& info = m_Type00;
    info.type = bytes[0x00];
    info.length = bytes[0x01];
    info.handle = ReadLe16(&bytes[0x02]);
    info.vendorString = bytes[0x04];
    info.versionString = bytes[0x05];
    info.startingSegment = ReadLe16(&bytes[0x06]);
    info.releaseDateString = bytes[0x08];
    info.romSize = bytes[0x09];
    std::memcpy(info.characteristics, &bytes[0x0A], sizeof(info.characteristics));
    info.extensionByte1 = bytes[0x12];
    info.extensionByte2 = bytes[0x13];
    info.biosMajorRelease = bytes[0x14];
    info.biosMinorRelease = bytes[0x15];
    info.firmwareMajorRelease = bytes[0x16];
    info.firmwareMinorRelease = bytes[0x17];
    info.vendor = GetStructureString(pTable, info.vendorString);
    info.version = GetStructureString(pTable, info.versionString);
    info.releaseDate = GetStructureString(pTable, info.releaseDateString);

    LogQuick(kLogTrace, "CSMBiosChipData::StoreType00");
    Log(kLogTrace, "  BIOS Vendor:            %s", info.vendor.c_str());
    Log(kLogTrace, "  BIOS Version:           %s", info.version.c_str());
    Log(kLogTrace, "  BIOS Release Date:      %s", info.releaseDate.c_str());
    Log(kLogTrace, "  BIOS Start Seg:         0x%04x", static_cast<unsigned>(info.startingSegment));
    Log(kLogTrace, "  BIOS ROM Size:          0x%02x", static_cast<unsigned>(info.romSize));
    Log(kLogTrace, "  BIOS Characteristics:   0x%02x",
        static_cast<unsigned>(info.characteristics[0]));
    for (size_t i = 1; i < sizeof(info.characteristics); ++i) {
        Log(kLogTrace, "                          0x%02x",
            static_cast<unsigned>(info.characteristics[i]));
    }
    Log(kLogTrace, "  Extension Byte 1:       0x%02x", static_cast<unsigned>(info.extensionByte1));
    Log(kLogTrace, "  Extension Byte 2:       0x%02x", static_cast<unsigned>(info.extensionByte2));
    Log(kLogTrace, "  BIOS Major Release:     0x%02x",
        static_cast<unsigned>(info.biosMajorRelease));
    Log(kLogTrace, "  BIOS Minor Release:     0x%02x",
        static_cast<unsigned>(info.biosMinorRelease));
    Log(kLogTrace, "  Firmware Major Release: 0x%02x",
        static_cast<unsigned>(info.firmwareMajorRelease));
    Log(kLogTrace, "  Firmware Minor Release: 0x%02x",
        static_cast<unsigned>(info.firmwareMinorRelease));
}

void CSMBiosData::DumpHeader(const uint8_t* pTable) const {
    Log(kLogTrace, "Header:");
    Log(kLogTrace, "  Type:   0x%02x, (%d)", static_cast<unsigned>(pTable[0]),
        static_cast<int>(pTable[0]));
    Log(kLogTrace, "  Length: 0x%02x", static_cast<unsigned>(pTable[1]));
    Log(kLogTrace, "  Handle: 0x%04x", static_cast<unsigned>(ReadLe16(&pTable[2])));
}

bool CSMBiosData::StructureFits(const uint8_t* pTable, size_t extent) const {
    size_t offset = 0;
    if (OffsetOf(pTable, &offset) && extent <= m_nRawLength - offset) {
        return true;
    }
    LogPastEnd(LogAddress(pTable));
    return false;
}
