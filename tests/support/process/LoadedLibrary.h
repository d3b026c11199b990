// The library loaded afresh, as an application that loads it at run time:
// each LoadedLibrary starts from the loaded, not-initialised state, and its
// destruction unloads the library for real (its static objects are
// destroyed at dlclose or FreeLibrary). Off Windows libsvcproc.so of this
// build, on Windows svcproc.dll from beside the test program. A library that
// cannot be loaded, or lacks one of the functions, is an exception.
#pragma once

#include <string>

#include "support/ServiceApiFunctions.h"

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
    // Per platform (LoadedLibraryPosix.cpp, LoadedLibraryWindows.cpp).
    static void* Open();  // null when it cannot be loaded: OpenError() says why
    static std::string OpenError();
    static void* Find(void* module, const char* name);
    static void Close(void* module);

    void* m_pModule = nullptr;
};
