#include "support/WmiTable.h"

#include "platform.h"

bool ReadWmiSmbiosTable(std::vector<uint8_t>* table) {
    if (FAILED(CoInitializeEx(nullptr, COINIT_MULTITHREADED))) {
        return false;
    }
    bool read = false;
    IWbemLocator* locator = nullptr;
    IWbemServices* services = nullptr;
    IEnumWbemClassObject* enumerator = nullptr;
    IWbemClassObject* object = nullptr;
    BSTR space = SysAllocString(L"ROOT\\WMI");
    BSTR name = SysAllocString(L"MSSMBios_RawSMBiosTables");
    ULONG returned = 0;
    VARIANT value;
    VariantInit(&value);
    if (SUCCEEDED(CoCreateInstance(CLSID_WbemLocator, nullptr, CLSCTX_INPROC_SERVER,
                                   IID_IWbemLocator, reinterpret_cast<LPVOID*>(&locator))) &&
        SUCCEEDED(locator->ConnectServer(space, nullptr, nullptr, nullptr, 0, nullptr, nullptr,
                                         &services)) &&
        SUCCEEDED(services->CreateInstanceEnum(name, 0, nullptr, &enumerator)) &&
        enumerator->Next(WBEM_INFINITE, 1, &object, &returned) == WBEM_S_NO_ERROR &&
        returned == 1 && SUCCEEDED(object->Get(L"SMBiosData", 0, &value, nullptr, nullptr)) &&
        value.vt == (VT_ARRAY | VT_UI1)) {
        const auto* data = static_cast<const uint8_t*>(value.parray->pvData);
        table->assign(data, data + value.parray->rgsabound[0].cElements);
        read = true;
    }
    VariantClear(&value);
    for (IUnknown* held : std::initializer_list<IUnknown*>{object, enumerator, services, locator}) {
        if (held != nullptr) {
            held->Release();
        }
    }
    SysFreeString(name);
    SysFreeString(space);
    CoUninitialize();
    return read;
}
