#include "support/process/LoadedLibrary.h"

#include <dlfcn.h>

#include <stdexcept>

LoadedLibrary::LoadedLibrary() {
    m_pModule = dlopen(SVCPROC_LIBRARY, RTLD_NOW | RTLD_LOCAL);
    if (m_pModule == nullptr) {
        throw std::runtime_error(dlerror());
    }
    const char* missing = Resolve([this](const char* name) { return dlsym(m_pModule, name); });
    if (missing != nullptr) {
        throw std::runtime_error(std::string("missing export ") + missing);
    }
}

LoadedLibrary::~LoadedLibrary() {
    Unload();
}

bool LoadedLibrary::Unload() {
    if (m_pModule != nullptr) {
        dlclose(m_pModule);
        m_pModule = nullptr;
    }
    return !IsLoaded();
}

bool LoadedLibrary::IsLoaded() {
    void* module = dlopen(SVCPROC_LIBRARY, RTLD_NOW | RTLD_NOLOAD);
    if (module == nullptr) {
        return false;
    }
    dlclose(module);
    return true;
}
