#include <dlfcn.h>

#include "support/process/LoadedLibrary.h"

void* LoadedLibrary::Open() {
    return dlopen(SVCPROC_LIBRARY, RTLD_NOW | RTLD_LOCAL);
}

std::string LoadedLibrary::OpenError() {
    return dlerror();
}

void* LoadedLibrary::Find(void* module, const char* name) {
    return dlsym(module, name);
}

void LoadedLibrary::Close(void* module) {
    dlclose(module);
}

bool LoadedLibrary::IsLoaded() {
    void* module = dlopen(SVCPROC_LIBRARY, RTLD_NOW | RTLD_NOLOAD);
    if (module == nullptr) {
        return false;
    }
    dlclose(module);
    return true;
}
