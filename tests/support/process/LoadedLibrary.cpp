#include "support/process/LoadedLibrary.h"

#include <stdexcept>

LoadedLibrary::LoadedLibrary() {
    m_pModule = Open();
    if (m_pModule == nullptr) {
        throw std::runtime_error(OpenError());
    }
    const char* missing = Resolve([this](const char* name) { return Find(m_pModule, name); });
    if (missing != nullptr) {
        Unload();
        throw std::runtime_error(std::string("missing export ") + missing);
    }
}

LoadedLibrary::~LoadedLibrary() {
    Unload();
}

bool LoadedLibrary::Unload() {
    if (m_pModule != nullptr) {
        Close(m_pModule);
        m_pModule = nullptr;
    }
    return !IsLoaded();
}
