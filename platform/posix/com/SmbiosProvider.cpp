// The provider's settings and the SMBiosData value.
#include "SmbiosProvider.h"

#include <cstring>
#include <mutex>

#include "OleAuto.h"
#include "TableSource.h"
#include "win/wbemcli.h"
#include "wmi_provider.h"

namespace svcp {
namespace {

struct Settings {
    std::shared_ptr<SmbiosTableSource> source;
    VARTYPE dataType = VT_ARRAY | VT_UI1;
    LONG lowerBound = 0;
    VARTYPE actualElementType = VT_EMPTY;
};

struct Provider {
    std::mutex lock;
    Settings settings;  // guarded by lock
};

Provider& GetProvider() {
    // Never destroyed: threads may still enumerate at exit.
    static Provider* provider = [] {
        auto* made = new Provider();
        made->settings.source = MakeDefaultTableSource();
        return made;
    }();
    return *provider;
}

template <class Change>
void ChangeSettings(Change change) {
    Provider& provider = GetProvider();
    std::lock_guard<std::mutex> guard(provider.lock);
    change(provider.settings);
}

HRESULT MakeArray(const SmbiosInstance& instance, VARIANT* value) {
    const VARTYPE namedType = instance.dataType & VT_TYPEMASK;
    const VARTYPE elementType =
        instance.actualElementType != VT_EMPTY ? instance.actualElementType : namedType;
    const ULONG elementSize = ArrayElementSize(elementType);
    if (ArrayElementSize(namedType) == 0 || elementSize == 0) {
        return WBEM_E_TYPE_MISMATCH;
    }
    const auto count = static_cast<ULONG>(instance.table.size());
    SAFEARRAY* array = SafeArrayCreateVector(elementType, instance.lowerBound, count);
    if (array == nullptr) {
        return E_OUTOFMEMORY;
    }
    // One byte per element, widened (little-endian, like the home platform).
    auto* data = static_cast<unsigned char*>(array->pvData);
    for (ULONG i = 0; i < count; ++i) {
        data[static_cast<size_t>(i) * elementSize] = instance.table[i];
    }
    value->vt = instance.dataType;
    value->parray = array;
    return S_OK;
}

}  // namespace

void SetSmbiosTableSource(std::shared_ptr<SmbiosTableSource> source) {
    ChangeSettings([&](Settings& settings) { settings.source = std::move(source); });
}

std::shared_ptr<const SmbiosInstance> SnapshotSmbiosInstance() {
    try {
        Settings settings;
        ChangeSettings([&](Settings& current) { settings = current; });
        auto instance = std::make_shared<SmbiosInstance>();
        if (!settings.source->Read(&instance->table) || instance->table.size() > UINT32_MAX) {
            return nullptr;
        }
        instance->dataType = settings.dataType;
        instance->lowerBound = settings.lowerBound;
        instance->actualElementType = settings.actualElementType;
        return instance;
    } catch (...) {
        return nullptr;
    }
}

HRESULT MakeSmbiosData(const SmbiosInstance& instance, VARIANT* value) {
    if ((instance.dataType & VT_ARRAY) != 0) {
        return MakeArray(instance, value);
    }
    switch (instance.dataType) {
        case VT_EMPTY:
        case VT_NULL:
            break;
        case VT_BSTR:
            value->bstrVal = AllocBstr(L"SMBiosData", std::wcslen(L"SMBiosData"));
            if (value->bstrVal == nullptr) {
                return E_OUTOFMEMORY;
            }
            break;
        case VT_I4:
            value->lVal = static_cast<LONG>(instance.table.size());
            break;
        default:
            return WBEM_E_TYPE_MISMATCH;
    }
    value->vt = instance.dataType;
    return S_OK;
}

}  // namespace svcp

void SvcpWmiSetSmbiosTable(const uint8_t* bytes, size_t length) {
    std::vector<uint8_t> table;
    if (bytes != nullptr) {
        table.assign(bytes, bytes + length);
    }
    svcp::SetSmbiosTableSource(svcp::MakeFixedTableSource(std::move(table)));
}

void SvcpWmiUseTableFile(const char* path) {
    svcp::SetSmbiosTableSource(svcp::MakeFileTableSource(path != nullptr ? path : ""));
}

void SvcpWmiUseHostTable() {
    SvcpWmiUseTableFile(svcp::kHostSmbiosTablePath);
}

void SvcpWmiSetNoInstance() {
    svcp::SetSmbiosTableSource(svcp::MakeNoInstanceSource());
}

void SvcpWmiServeDataAs(VARTYPE type) {
    svcp::ChangeSettings([&](svcp::Settings& settings) { settings.dataType = type; });
}

void SvcpWmiSetArrayShape(LONG lowerBound, VARTYPE actualElementType) {
    svcp::ChangeSettings([&](svcp::Settings& settings) {
        settings.lowerBound = lowerBound;
        settings.actualElementType = actualElementType;
    });
}

void SvcpWmiReset() {
    auto source = svcp::MakeDefaultTableSource();
    svcp::ChangeSettings([&](svcp::Settings& settings) {
        settings = svcp::Settings();
        settings.source = std::move(source);
    });
}
