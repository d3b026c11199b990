// The lines the service layer writes around each operation it passes on, at
// the call level: "<scope>(<arguments>), m_bInit=<flag>" on entry and
// "<scope> exit, sscode=<code>" on exit, where `scope` is
// "<Class>::<Operation>" and each argument prints as "0x%08x".
#pragma once

#include "svcproc/api/ServiceCode.h"
#include "svcproc/logging/Log.h"

inline void LogCallEntry(const char* scope, unsigned argument, unsigned initFlag) {
    Log(kLogCall, "%s(0x%08x), m_bInit=%x", scope, argument, initFlag);
}

inline void LogCallEntry(const char* scope, unsigned first, unsigned second, unsigned initFlag) {
    Log(kLogCall, "%s(0x%08x,0x%08x), m_bInit=%x", scope, first, second, initFlag);
}

inline SERVICE_CODE LogCallExit(const char* scope, SERVICE_CODE result) {
    Log(kLogCall, "%s exit, sscode=0x%x", scope, static_cast<unsigned>(result));
    return result;
}
