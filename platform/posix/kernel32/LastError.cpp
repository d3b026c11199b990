#include "win/kernel32.h"

namespace {
thread_local DWORD t_lastError = ERROR_SUCCESS;
}

extern "C" DWORD WINAPI GetLastError(void) {
    return t_lastError;
}
extern "C" void WINAPI SetLastError(DWORD errorCode) {
    t_lastError = errorCode;
}

extern "C" BOOL WINAPI DisableThreadLibraryCalls(HMODULE module) {
    if (module == nullptr) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    return TRUE;
}
