// The machine's raw SMBIOS structure table, read once at start-up through
// WMI (class MSSMBios_RawSMBiosTables in ROOT\WMI, property SMBiosData) on a
// worker thread of its own, so that the caller's COM state is never touched.
#pragma once

#include <cstddef>
#include <cstdint>

#include "common/NonCopyable.h"
#include "platform.h"

class CRawSMBios : private CNonCopyable {
public:
    CRawSMBios();
    ~CRawSMBios();

    // Reads the table on a worker thread and waits for it. True when the
    // bytes were copied (an empty table counts as read).
    bool Initialise();

    // A table handed in instead of read: for tests and fuzzing of the
    // parsers. The bytes are copied; the object is then in the read state.
    void AssignForTesting(const uint8_t* bytes, size_t length);

    // The table, borrowed by the parsers for as long as this object lives.
    // An empty table (length 0) has no buffer: GetBytes() is then null even
    // though IsReadOk() is true, so readers go by the length alone.
    const uint8_t* GetBytes() const { return m_pBytes; }
    uint32_t GetLength() const { return m_nBytes; }
    bool IsReadOk() const { return m_bReadOk; }

private:
    static unsigned __stdcall ReadSMBiosThread(void* self);

    uint8_t* m_pBytes;  // owned, exactly m_nBytes long; null until read
    uint32_t m_nBytes;
    bool m_bReadOk;
};
