#include "WineMachine.h"

#include <fstream>

#include "sim/smbios/SmbiosTableBuilder.h"

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

template <class F>
void Resolve(HMODULE module, const char* name, F*& function) {
    function = reinterpret_cast<F*>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

std::vector<uint8_t> BuildTable() {
    using namespace svcp::sim;
    SmbiosTableBuilder builder;
    BiosInformation bios;
    bios.vendor = "Orvane";
    bios.version = "85.12";
    builder.AddBiosInformation(bios);
    ManagementDevice device;
    device.description = "Orvane Telk Service Processor";
    device.address = 0x2B0;
    builder.AddManagementDevice(device);
    const uint16_t deviceHandle = builder.LastHandle();
    auto link = [&](const std::string& description, uint16_t component,
                    const std::array<uint16_t, 6>& limits) {
        builder.AddComponentWithThresholds(description, deviceHandle, component, limits);
    };
    const uint16_t u = kSmbiosUnknownWord;
    const char* const voltages[] = {"+12V", "CPU Core"};
    const std::array<uint16_t, 6> voltageLimits[] = {{11400, 12600, 10800, 13200, u, u},
                                                     {u, u, 1000, 1400, u, u}};
    for (uint32_t index = 0; index < 2; ++index) {
        Probe probe;
        probe.description = voltages[index];
        probe.oemDefined = index;
        builder.AddVoltageProbe(probe);
        link(voltages[index], builder.LastHandle(), voltageLimits[index]);
    }
    const char* const fans[] = {"CPU Fan", "Chassis Fan"};
    for (uint32_t index = 0; index < 2; ++index) {
        CoolingDevice fan;
        fan.oemDefined = index;
        builder.AddCoolingDevice(fan);
        link(fans[index], builder.LastHandle(), {u, u, 500, u, u, u});
    }
    Probe cpu;
    cpu.description = "CPU";
    builder.AddTemperatureProbe(cpu);
    link("CPU", builder.LastHandle(), {u, u, u, 850, u, u});
    builder.AddLed({std::nullopt, 0x0001, "Power"});
    builder.AddLed({std::nullopt, 0x0002, "Fault"});
    builder.AddLed({std::nullopt, 0x0004, "Disk"});
    return builder.AddEndOfTable().Build();
}

svcpsim::MachineSetup Setup() {
    svcpsim::MachineSetup setup;
    setup.voltages = {{12000, {10800, 13200}}, {1200, {1000, 1400}}};
    setup.fans = {{2400, {500, std::nullopt}}, {1980, {500, std::nullopt}}};
    setup.temperatures = {{415, {std::nullopt, 850}}};
    setup.leds = 0x0005;
    return setup;
}

}  // namespace

CLoadedLibrary::CLoadedLibrary() {
    m_hModule = LoadLibraryW((ProgramDirectory() + L"svcproc.dll").c_str());
    if (m_hModule == nullptr) {
        return;
    }
    Resolve(m_hModule, "_ZN10ServiceApi23InitialiseServiceDriverEv", InitialiseServiceDriver);
    Resolve(m_hModule, "_ZN10ServiceApi22EnumerateSensorHandlesER17CSensorHandleList",
            EnumerateSensorHandles);
    Resolve(m_hModule, "_ZN10ServiceApi19EnumerateLedHandlesER14CLedHandleList",
            EnumerateLedHandles);
    Resolve(m_hModule, "_ZN10ServiceApi20GetSensorInformationEmR18CSensorInformation",
            GetSensorInformation);
    Resolve(m_hModule, "_ZN10ServiceApi17GetLedInformationEmR15CLedInformation", GetLedInformation);
    Resolve(m_hModule, "_ZN10ServiceApi10ReadSensorEmR14CSensorReading", ReadSensor);
    Resolve(m_hModule, "_ZN10ServiceApi7ReadLedEmR11CLedReading", ReadLed);
    Resolve(m_hModule, "_ZN10ServiceApi27RegisterSensorStateListenerEP20ISensorStateListener",
            RegisterSensorStateListener);
    Resolve(m_hModule, "_ZN10ServiceApi29UnregisterSensorStateListenerEP20ISensorStateListener",
            UnregisterSensorStateListener);
}

CLoadedLibrary::~CLoadedLibrary() {
    Unload();
}

bool CLoadedLibrary::IsComplete() const {
    return m_hModule != nullptr && InitialiseServiceDriver && EnumerateSensorHandles &&
           EnumerateLedHandles && GetSensorInformation && GetLedInformation && ReadSensor &&
           ReadLed && RegisterSensorStateListener && UnregisterSensorStateListener;
}

bool CLoadedLibrary::Unload() {
    if (m_hModule != nullptr) {
        FreeLibrary(m_hModule);
        m_hModule = nullptr;
    }
    return !IsLoaded();
}

bool CLoadedLibrary::IsLoaded() {
    return GetModuleHandleW(L"svcproc.dll") != nullptr;
}

void UseTestWmiLocator() {
    SetLocator(ProgramDirectory() + L"svcp_test_wbem.dll");
}

void UseWineWmiLocator() {
    SetLocator(kWineLocator);
}

CWineMachine::CWineMachine()
    : m_pServiceProcessor(std::make_shared<svcpsim::CSimServiceProcessor>(Setup())) {
    wchar_t directory[MAX_PATH];
    GetTempPathW(MAX_PATH, directory);
    m_sTablePath = std::wstring(directory) + L"svcp-e2e-smbios.bin";
    const std::vector<uint8_t> table = BuildTable();
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
