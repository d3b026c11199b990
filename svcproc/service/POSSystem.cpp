#include "svcproc/service/POSSystem.h"

#include "platform.h"

CPOSSystem* CPOSSystem::s_pInstance = nullptr;

int __cdecl DestroyPOSSystem() {
    delete CPOSSystem::s_pInstance;
    CPOSSystem::s_pInstance = nullptr;
    return 0;
}

CPOSSystem& CPOSSystem::GetInstance() {
    if (s_pInstance == nullptr) {
        s_pInstance = new CPOSSystem();
        // Registered after the service manager's destruction, so it runs
        // before it at unload.
        _onexit(&DestroyPOSSystem);
    }
    return *s_pInstance;
}

bool CPOSSystem::BeginsWith(const char (&family)[3]) const {
    return m_sBiosVersion.size() >= 2 && m_sBiosVersion.compare(0, 2, family) == 0;
}

bool CPOSSystem::IsBios8D() const {
    return BeginsWith("8D");
}
bool CPOSSystem::IsBios84() const {
    return BeginsWith("84");
}
bool CPOSSystem::IsBios85() const {
    return BeginsWith("85");
}
