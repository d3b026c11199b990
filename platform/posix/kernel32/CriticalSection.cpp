#include <mutex>

#include "win/kernel32.h"

// Windows critical sections are recursive.
extern "C" void WINAPI InitializeCriticalSection(LPCRITICAL_SECTION cs) {
    cs->Impl = new std::recursive_mutex();
}

extern "C" void WINAPI DeleteCriticalSection(LPCRITICAL_SECTION cs) {
    delete static_cast<std::recursive_mutex*>(cs->Impl);
    cs->Impl = nullptr;
}

extern "C" void WINAPI EnterCriticalSection(LPCRITICAL_SECTION cs) {
    static_cast<std::recursive_mutex*>(cs->Impl)->lock();
}

extern "C" void WINAPI LeaveCriticalSection(LPCRITICAL_SECTION cs) {
    static_cast<std::recursive_mutex*>(cs->Impl)->unlock();
}
