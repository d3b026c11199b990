// The list of device providers and the built-in provider that RegisterDevice
// fills.
#include <algorithm>

#include "DeviceDirectory.h"
#include "device_registry.h"

namespace svcp {
namespace {

bool SamePath(const std::wstring& a, const std::wstring& b) {
    auto lower = [](wchar_t c) { return (c >= L'A' && c <= L'Z') ? wchar_t(c - L'A' + L'a') : c; };
    if (a.size() != b.size()) {
        return false;
    }
    for (size_t i = 0; i < a.size(); ++i) {
        if (lower(a[i]) != lower(b[i])) {
            return false;
        }
    }
    return true;
}

class RegisteredDevices : public IDeviceProvider {
public:
    DeviceRegistration Add(const GUID& interfaceClass, const std::wstring& path,
                           std::shared_ptr<IDeviceDriver> driver) {
        if (path.empty() || !driver) {
            return 0;
        }
        auto node = std::make_shared<DeviceNode>(interfaceClass, path, std::move(driver));
        std::lock_guard<std::mutex> guard(m_Lock);
        for (const Entry& entry : m_vEntries) {
            if (SamePath(entry.node->Path(), path)) {
                return 0;
            }
        }
        const DeviceRegistration id = ++m_nLastId;
        m_vEntries.push_back(Entry{id, std::move(node)});
        return id;
    }

    bool Remove(DeviceRegistration id) {
        std::shared_ptr<DeviceNode> node;
        {
            std::lock_guard<std::mutex> guard(m_Lock);
            auto it = std::find_if(m_vEntries.begin(), m_vEntries.end(),
                                   [id](const Entry& entry) { return entry.id == id; });
            if (it == m_vEntries.end()) {
                return false;
            }
            node = std::move(it->node);
            m_vEntries.erase(it);
        }
        // Outside the lock: it waits for the driver's calls in progress.
        node->Remove();
        return true;
    }

    void ListInterfaces(const GUID& interfaceClass,
                        std::vector<std::shared_ptr<DeviceNode>>& nodes) override {
        std::lock_guard<std::mutex> guard(m_Lock);
        for (const Entry& entry : m_vEntries) {
            if (entry.node->InterfaceClass() == interfaceClass) {
                nodes.push_back(entry.node);
            }
        }
    }

    std::shared_ptr<DeviceNode> FindInterface(const std::wstring& path) override {
        std::lock_guard<std::mutex> guard(m_Lock);
        for (const Entry& entry : m_vEntries) {
            if (SamePath(entry.node->Path(), path)) {
                return entry.node;
            }
        }
        return nullptr;
    }

private:
    struct Entry {
        DeviceRegistration id;
        std::shared_ptr<DeviceNode> node;
    };
    std::mutex m_Lock;
    DeviceRegistration m_nLastId = 0;
    std::vector<Entry> m_vEntries;  // in registration order
};

// The built-in provider first, then the devices other processes serve.
struct Providers {
    std::shared_ptr<RegisteredDevices> registered = std::make_shared<RegisteredDevices>();
    std::mutex lock;
    std::vector<std::shared_ptr<IDeviceProvider>> list{registered, MakeDeviceDirectoryProvider()};
};

// Never destroyed: handles are closed and devices removed during static
// destruction too.
Providers& GetProviders() {
    static Providers* providers = new Providers();
    return *providers;
}

// A copy, so that providers are asked without the list's lock held.
std::vector<std::shared_ptr<IDeviceProvider>> ProviderList() {
    Providers& providers = GetProviders();
    std::lock_guard<std::mutex> guard(providers.lock);
    return providers.list;
}

}  // namespace

void AddDeviceProvider(std::shared_ptr<IDeviceProvider> provider) {
    if (!provider) {
        return;
    }
    Providers& providers = GetProviders();
    std::lock_guard<std::mutex> guard(providers.lock);
    if (std::find(providers.list.begin(), providers.list.end(), provider) == providers.list.end()) {
        providers.list.push_back(std::move(provider));
    }
}

void RemoveDeviceProvider(const std::shared_ptr<IDeviceProvider>& provider) {
    Providers& providers = GetProviders();
    std::lock_guard<std::mutex> guard(providers.lock);
    if (provider == providers.registered) {
        return;  // the built-in provider stays
    }
    providers.list.erase(std::remove(providers.list.begin(), providers.list.end(), provider),
                         providers.list.end());
}

std::vector<std::shared_ptr<DeviceNode>> ListDeviceInterfaces(const GUID& interfaceClass) {
    std::vector<std::shared_ptr<DeviceNode>> nodes;
    for (const std::shared_ptr<IDeviceProvider>& provider : ProviderList()) {
        provider->ListInterfaces(interfaceClass, nodes);
    }
    return nodes;
}

std::shared_ptr<DeviceNode> FindDeviceInterface(const std::wstring& path) {
    for (const std::shared_ptr<IDeviceProvider>& provider : ProviderList()) {
        if (std::shared_ptr<DeviceNode> node = provider->FindInterface(path)) {
            return node;
        }
    }
    return nullptr;
}

DeviceRegistration RegisterDevice(const GUID& interfaceClass, const std::wstring& path,
                                  std::shared_ptr<IDeviceDriver> driver) {
    return GetProviders().registered->Add(interfaceClass, path, std::move(driver));
}

bool RemoveDevice(DeviceRegistration registration) {
    return GetProviders().registered->Remove(registration);
}

}  // namespace svcp
