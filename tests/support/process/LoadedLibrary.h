// libsvcproc.so loaded afresh, as an application that loads it at run time:
// each LoadedLibrary starts from the loaded, not-initialised state, and its
// destruction unloads the library for real (its static objects are
// destroyed at dlclose).
#pragma once

#include <string>

#include "ServiceApiFunctions.h"

class LoadedLibrary : public ServiceApiFunctions {
public:
    LoadedLibrary();
    ~LoadedLibrary();
    LoadedLibrary(const LoadedLibrary&) = delete;
    LoadedLibrary& operator=(const LoadedLibrary&) = delete;

    // Unloads now; true when the library is really gone from the process.
    bool Unload();
    static bool IsLoaded();

private:
    void* m_pModule = nullptr;
};
