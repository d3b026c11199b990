#include "platform.h"
#include "support/process/LoadedLibrary.h"

namespace {

// svcproc.dll beside the test program, by its full path: the one this build made.
std::wstring LibraryPath() {
    wchar_t path[MAX_PATH];
    const DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring text(path, length);
    return text.substr(0, text.find_last_of(L"\\/") + 1) + L"svcproc.dll";
}

}  // namespace

void* LoadedLibrary::Open() {
    return LoadLibraryW(LibraryPath().c_str());
}

std::string LoadedLibrary::OpenError() {
    return "LoadLibrary of svcproc.dll failed with error " + std::to_string(GetLastError());
}

void* LoadedLibrary::Find(void* module, const char* name) {
    return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(module), name));
}

void LoadedLibrary::Close(void* module) {
    FreeLibrary(static_cast<HMODULE>(module));
}

bool LoadedLibrary::IsLoaded() {
    return GetModuleHandleW(L"svcproc.dll") != nullptr;
}
