// Construction, destruction and the test hand-in of the raw table. The read
// through WMI (Initialise and its thread) lives with the COM platform code.
#include "svcproc/smbios/RawSMBios.h"

#include <cstring>

#include "svcproc/logging/Log.h"

CRawSMBios::CRawSMBios() : m_pBytes(nullptr), m_nBytes(0), m_bReadOk(false) {
    LogQuick(kLogTrace, "CRawSMBios Constructed");
}

CRawSMBios::~CRawSMBios() {
    delete[] m_pBytes;
    LogQuick(kLogTrace, "CRawSMBios Destroyed");
}

void CRawSMBios::AssignForTesting(const uint8_t* bytes, size_t length) {
    delete[] m_pBytes;
    m_pBytes = nullptr;
    m_nBytes = 0;
    if (bytes != nullptr && length != 0) {
        // Exactly `length` bytes, so that a sanitizer sees any read past them.
        m_pBytes = new uint8_t[length];
        std::memcpy(m_pBytes, bytes, length);
        m_nBytes = static_cast<uint32_t>(length);
    }
    m_bReadOk = true;
}
