#include "WineMachine.h"

#include <fstream>

#include "TestMachineTable.h"

namespace {

const wchar_t kLocatorKey[] =
    L"Software\\Classes\\CLSID\\{4590F811-1D3A-11D0-891F-00AA004B2E24}\\InprocServer32";
const wchar_t kWineLocator[] = L"C:\\windows\\system32\\wbem\\wbemprox.dll";

std::wstring ProgramDirectory() {
    wchar_t path[MAX_PATH];
    const DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring text(path, length);
    return text.substr(0, text.find_last_of(L"\\/") + 1);
}

void SetLocator(const std::wstring& dll) {
    HKEY key = nullptr;
    if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, kLocatorKey, 0, nullptr, 0, KEY_SET_VALUE, nullptr,
                        &key, nullptr) != ERROR_SUCCESS) {
        return;
    }
    RegSetValueExW(key, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(dll.c_str()),
                   static_cast<DWORD>((dll.size() + 1) * sizeof(wchar_t)));
    const wchar_t model[] = L"Both";
    RegSetValueExW(key, L"ThreadingModel", 0, REG_SZ, reinterpret_cast<const BYTE*>(model),
                   sizeof model);
    RegCloseKey(key);
}

}  // namespace

void UseTestWmiLocator() {
    SetLocator(ProgramDirectory() + L"svcp_test_wbem.dll");
}

void UseWineWmiLocator() {
    SetLocator(kWineLocator);
}

CWineMachine::CWineMachine()
    : m_pServiceProcessor(std::make_shared<svcpsim::CSimServiceProcessor>(
          BuildTestSetup(TestMachineSpec::Small()))) {
    wchar_t directory[MAX_PATH];
    GetTempPathW(MAX_PATH, directory);
    m_sTablePath = std::wstring(directory) + L"svcp-e2e-smbios.bin";
    const std::vector<uint8_t> table = BuildTestTable(TestMachineSpec::Small());
    std::ofstream(m_sTablePath.c_str(), std::ios::binary)
        .write(reinterpret_cast<const char*>(table.data()),
               static_cast<std::streamsize>(table.size()));
    SetEnvironmentVariableW(L"SVCP_TEST_SMBIOS_TABLE", m_sTablePath.c_str());
    m_pHost = std::make_unique<svcpsim::CSimRelayHost>(m_pServiceProcessor);
    m_bReady = m_pHost->Start();
}

CWineMachine::~CWineMachine() {
    m_pHost.reset();
    DeleteFileW(m_sTablePath.c_str());
}
