// CSMBiosData: the walk over the raw SMBIOS structure table that the three
// parsers (chip, sensor and LED data) share, the string lookup, and the
// table's first structure taken as Type 0 BIOS information.
//
// The table is untrusted input: every read stays inside
// [m_pRawBytes, m_pRawBytes + m_nRawLength), whatever the bytes say.
//
// Single-threaded: a parser is created, initialised once and destroyed on the
// thread of the start-up call. The CRawSMBios whose buffer is borrowed must
// outlive the parser; records handed out live as long as the parser.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "svcproc/smbios/SMBiosRecords.h"

class CRawSMBios;

class CSMBiosData {
public:
    CSMBiosData();
    virtual ~CSMBiosData();
    CSMBiosData(const CSMBiosData&) = delete;
    CSMBiosData& operator=(const CSMBiosData&) = delete;

    // Parses the table that `raw` holds (borrowed; null counts as no table).
    // True when the parser found what it needs; see each parser.
    virtual bool Initialise(CRawSMBios* raw) = 0;

    // The first structure's BIOS version text (empty before a parse).
    const std::string& GetBiosVersion() const { return m_Type00.version; }
    const SMBiosBiosInformation& GetBiosInformation() const { return m_Type00; }

protected:
    // Borrows the buffer and length of `raw` (none when `raw` is null).
    void AssignTable(CRawSMBios* raw);

    // The structure after `pCurrent`, or null when the walk is over:
    // - no table: level-1 "m_pRawBytes==NULL";
    // - `pCurrent` whose 4-byte header does not fit: level-1 "Past end";
    // - `pCurrent` of Type 127: level-3 "End Structure (127) found";
    // - no double NUL after `pCurrent`'s formatted area: silently;
    // - a next structure whose header does not fit: level-1 "Past end" with
    //   its address;
    // - a structure (current or next) whose length byte is below 4, the size
    //   of its own header: the table is broken there; level-1 "Invalid
    //   structure length" and the walk stops before it.
    // A structure returned always has its whole 4-byte header in the buffer.
    // REQUIRES: `pCurrent` is the first structure or was returned by this call.
    const uint8_t* GetNextTable(const uint8_t* pCurrent) const;

    // String `number` (1-based) of the string-set that starts at `pStrings`.
    // Empty for 0, for a number beyond the set's last string, for a set that
    // starts outside the buffer, and for a string not NUL-terminated before
    // the end of the buffer (a partial string is never returned).
    std::string GetSMBiosString(const uint8_t* pStrings, uint8_t number) const;

    // String `number` of the string-set that follows `pStructure`'s formatted
    // area (at pStructure + its length byte), with the rules above.
    std::string GetStructureString(const uint8_t* pStructure, uint8_t number) const;

    // Fills m_Type00 from the structure at `pTable` (the table's first, read
    // as Type 0 whatever its type) and logs it. Bytes 0x00-0x17 that lie
    // beyond the buffer read as 0; with no table at all every field is 0 and
    // every string empty.
    void StoreType00(const uint8_t* pTable);

    // The lines of the header dump that follow each parser's own
    // "pTable=0x%x" line. REQUIRES: `pTable` was returned by GetNextTable.
    void DumpHeader(const uint8_t* pTable) const;

    // True when the `extent` bytes that a store operation reads from
    // `pTable` lie inside the buffer. Otherwise logs the level-1 "Past end of
    // SMBIOS" line with `pTable`; the caller then stores nothing and ends its
    // walk there.
    bool StructureFits(const uint8_t* pTable, size_t extent) const;

    const uint8_t* m_pRawBytes;  // borrowed from the CRawSMBios
    uint32_t m_nRawLength;
    SMBiosBiosInformation m_Type00;

private:
    // The offset of `p` in the buffer; false when `p` lies outside
    // [m_pRawBytes, m_pRawBytes + m_nRawLength].
    bool OffsetOf(const uint8_t* p, size_t* offset) const;
    // The 32 bits of the address at `offset`, which may be the buffer's end.
    unsigned AddressAt(size_t offset) const;
    void LogPastEnd(unsigned address) const;
    void LogInvalidLength(size_t offset) const;
};
