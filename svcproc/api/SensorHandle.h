// Handles: the kind of entry in bits 16-31, its index within the kind in bits
// 0-15. Only handles from 0x10000 to 0x4FFFF can be valid.
#pragma once

enum HANDLE_KIND {
    HandleKind_None = 0,
    HandleKind_Voltage = 1,
    HandleKind_Fan = 2,
    HandleKind_Temperature = 3,
    HandleKind_Led = 4
};

namespace ServiceApi {

inline unsigned long HandleKind(unsigned long handle) {
    return handle >> 16;
}
inline unsigned short HandleIndex(unsigned long handle) {
    return static_cast<unsigned short>(handle & 0xFFFFu);
}
inline unsigned long MakeHandle(HANDLE_KIND kind, unsigned short index) {
    return (static_cast<unsigned long>(kind) << 16) | index;
}

}  // namespace ServiceApi
