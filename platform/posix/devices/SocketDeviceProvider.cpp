// The client side of socket devices: the device directory, the provider
// that lists its sockets and the driver that carries each I/O control over a
// socket.
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <mutex>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "DeviceDirectory.h"
#include "SocketWire.h"
#include "socket_devices.h"

namespace svcp {
namespace {

bool SamePath(const std::wstring& a, const std::wstring& b) {
    auto lower = [](wchar_t c) { return (c >= L'A' && c <= L'Z') ? wchar_t(c - L'A' + L'a') : c; };
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(),
                      [&](wchar_t x, wchar_t y) { return lower(x) == lower(y); });
}

DWORD ErrorOf(wire::IoResult result) {
    switch (result) {
        case wire::IoResult::Ok:
            return ERROR_SUCCESS;
        case wire::IoResult::TimedOut:
            return ERROR_TIMEOUT;
        case wire::IoResult::Malformed:
            return ERROR_IO_DEVICE;
        case wire::IoResult::Closed:
            break;
    }
    return ERROR_DEVICE_NOT_CONNECTED;
}

// One request on a connection of its own; for occasional questions.
wire::IoResult CallOnce(const std::string& socket, const wire::Request& request, wire::Reply* reply,
                        unsigned timeoutMs) {
    const int fd = wire::Connect(socket);
    if (fd < 0) {
        return wire::IoResult::Closed;
    }
    const wire::IoResult result = wire::Call(fd, request, reply, wire::DeadlineAfter(timeoutMs));
    close(fd);
    return result;
}

struct Description {
    GUID interfaceClass{};
    std::wstring path;
};

std::optional<Description> Describe(const std::string& socket, unsigned timeoutMs) {
    wire::Request request;
    request.operation = wire::kDescribe;
    wire::Reply reply;
    if (CallOnce(socket, request, &reply, timeoutMs) != wire::IoResult::Ok || reply.status != 0 ||
        reply.payload.size() < 16 || reply.payload.size() % 4 != 0) {
        return std::nullopt;
    }
    const uint8_t* bytes = reply.payload.data();
    auto get = [&](size_t offset, size_t width) {
        uint32_t value = 0;
        for (size_t i = 0; i < width; ++i) {
            value |= static_cast<uint32_t>(bytes[offset + i]) << (8 * i);
        }
        return value;
    };
    Description description;
    description.interfaceClass.Data1 = get(0, 4);
    description.interfaceClass.Data2 = static_cast<uint16_t>(get(4, 2));
    description.interfaceClass.Data3 = static_cast<uint16_t>(get(6, 2));
    std::copy(bytes + 8, bytes + 16, description.interfaceClass.Data4);
    for (size_t offset = 16; offset < reply.payload.size(); offset += 4) {
        description.path.push_back(static_cast<wchar_t>(get(offset, 4)));
    }
    if (description.path.empty()) {
        return std::nullopt;
    }
    return description;
}

// DeviceIoControl over the socket. Connections are kept for reuse; one that
// failed is closed, so the next call starts afresh.
class SocketDriver final : public IDeviceDriver {
public:
    SocketDriver(std::string socket, unsigned timeoutMs)
        : m_sSocket(std::move(socket)), m_nTimeoutMs(timeoutMs) {}
    ~SocketDriver() override {
        for (int fd : m_vIdle) {
            close(fd);
        }
    }

    DWORD IoControl(DWORD code, const void* input, DWORD inputSize, void* output, DWORD outputSize,
                    DWORD* bytesReturned) override {
        *bytesReturned = 0;
        if (inputSize > kMaxRequestPayload || outputSize > kMaxRequestPayload) {
            return ERROR_INVALID_PARAMETER;
        }
        wire::Request request;
        request.operation = wire::kIoControl;
        request.code = code;
        request.outputSize = outputSize;
        const auto* in = static_cast<const uint8_t*>(input);
        request.payload.assign(in, in + inputSize);

        int fd = TakeConnection();
        if (fd < 0) {
            return ERROR_DEVICE_NOT_CONNECTED;
        }
        wire::Reply reply;
        const wire::IoResult result =
            wire::Call(fd, request, &reply, wire::DeadlineAfter(m_nTimeoutMs));
        const bool wellFormed = result == wire::IoResult::Ok && reply.count <= outputSize &&
                                reply.payload.size() == (reply.status == 0 ? reply.count : 0);
        if (!wellFormed) {
            close(fd);
            return result != wire::IoResult::Ok ? ErrorOf(result) : ERROR_IO_DEVICE;
        }
        GiveBack(fd);
        if (reply.status != ERROR_SUCCESS) {
            return reply.status;
        }
        std::copy(reply.payload.begin(), reply.payload.end(), static_cast<uint8_t*>(output));
        *bytesReturned = reply.count;
        return ERROR_SUCCESS;
    }

private:
    int TakeConnection() {
        {
            std::lock_guard<std::mutex> guard(m_Lock);
            if (!m_vIdle.empty()) {
                const int fd = m_vIdle.back();
                m_vIdle.pop_back();
                return fd;
            }
        }
        return wire::Connect(m_sSocket);
    }

    void GiveBack(int fd) {
        std::lock_guard<std::mutex> guard(m_Lock);
        m_vIdle.push_back(fd);
    }

    const std::string m_sSocket;
    const unsigned m_nTimeoutMs;
    std::mutex m_Lock;
    std::vector<int> m_vIdle;  // guarded by m_Lock
};

class SocketDeviceProvider final : public IDeviceProvider {
public:
    SocketDeviceProvider(std::string directory, unsigned timeoutMs)
        : m_sDirectory(std::move(directory)), m_nTimeoutMs(timeoutMs) {}

    void ListInterfaces(const GUID& interfaceClass,
                        std::vector<std::shared_ptr<DeviceNode>>& nodes) override {
        Rescan();
        std::lock_guard<std::mutex> guard(m_Lock);
        for (const Entry& entry : m_vEntries) {
            if (entry.node->InterfaceClass() == interfaceClass) {
                nodes.push_back(entry.node);
            }
        }
    }

    std::shared_ptr<DeviceNode> FindInterface(const std::wstring& path) override {
        if (std::shared_ptr<DeviceNode> node = Find(path)) {
            return node;
        }
        Rescan();
        return Find(path);
    }

    // Takes every device away (the directory is no longer looked at).
    void RemoveAll() {
        std::vector<Entry> removed;
        {
            std::lock_guard<std::mutex> guard(m_Lock);
            removed.swap(m_vEntries);
        }
        for (Entry& entry : removed) {
            entry.node->Remove();
        }
    }

private:
    struct Entry {
        std::string socket;
        std::shared_ptr<DeviceNode> node;
    };

    std::shared_ptr<DeviceNode> Find(const std::wstring& path) {
        std::lock_guard<std::mutex> guard(m_Lock);
        for (const Entry& entry : m_vEntries) {
            if (SamePath(entry.node->Path(), path)) {
                return entry.node;
            }
        }
        return nullptr;
    }

    // Asks every socket what it serves; keeps the node of a device that is
    // still served as it was, so that exclusive opening holds across opens.
    void Rescan() {
        std::lock_guard<std::mutex> scanning(m_ScanLock);
        std::vector<std::pair<std::string, Description>> served;
        for (const std::string& socket : wire::ListSockets(m_sDirectory)) {
            if (std::optional<Description> description = Describe(socket, m_nTimeoutMs)) {
                served.emplace_back(socket, std::move(*description));
            }
        }
        std::vector<Entry> kept;
        std::vector<Entry> removed;
        {
            std::lock_guard<std::mutex> guard(m_Lock);
            for (const auto& [socket, description] : served) {
                std::shared_ptr<DeviceNode> node;
                for (Entry& old : m_vEntries) {
                    if (old.node && old.socket == socket &&
                        old.node->InterfaceClass() == description.interfaceClass &&
                        old.node->Path() == description.path && !old.node->IsRemoved()) {
                        node = std::move(old.node);
                    }
                }
                if (!node) {
                    node = std::make_shared<DeviceNode>(
                        description.interfaceClass, description.path,
                        std::make_shared<SocketDriver>(socket, m_nTimeoutMs));
                }
                kept.push_back(Entry{socket, std::move(node)});
            }
            for (Entry& old : m_vEntries) {
                if (old.node) {
                    removed.push_back(std::move(old));
                }
            }
            m_vEntries.swap(kept);
        }
        // Outside the lock: it waits for calls in progress.
        for (Entry& entry : removed) {
            entry.node->Remove();
        }
    }

    const std::string m_sDirectory;
    const unsigned m_nTimeoutMs;
    std::mutex m_ScanLock;  // one scan at a time
    std::mutex m_Lock;
    std::vector<Entry> m_vEntries;  // guarded by m_Lock
};

// --- The device directory -------------------------------------------------------

struct DirectorySetting {
    std::mutex lock;
    std::optional<std::string> directory;  // empty until first asked or set
};

DirectorySetting& Setting() {
    static DirectorySetting* setting = new DirectorySetting();  // used during exit too
    return *setting;
}

class DeviceDirectoryProvider final : public IDeviceProvider {
public:
    void ListInterfaces(const GUID& interfaceClass,
                        std::vector<std::shared_ptr<DeviceNode>>& nodes) override {
        if (std::shared_ptr<SocketDeviceProvider> current = Current()) {
            current->ListInterfaces(interfaceClass, nodes);
        }
    }
    std::shared_ptr<DeviceNode> FindInterface(const std::wstring& path) override {
        std::shared_ptr<SocketDeviceProvider> current = Current();
        return current ? current->FindInterface(path) : nullptr;
    }

private:
    std::shared_ptr<SocketDeviceProvider> Current() {
        const std::string directory = GetDeviceDirectory();
        std::shared_ptr<SocketDeviceProvider> previous;
        std::shared_ptr<SocketDeviceProvider> current;
        {
            std::lock_guard<std::mutex> guard(m_Lock);
            if (!m_pProvider || directory != m_sDirectory) {
                previous = std::move(m_pProvider);
                m_sDirectory = directory;
                if (!directory.empty()) {
                    m_pProvider =
                        std::make_shared<SocketDeviceProvider>(directory, kSocketDeviceTimeoutMs);
                }
            }
            current = m_pProvider;
        }
        if (previous) {
            previous->RemoveAll();
        }
        return current;
    }

    std::mutex m_Lock;
    std::string m_sDirectory;                           // guarded by m_Lock
    std::shared_ptr<SocketDeviceProvider> m_pProvider;  // guarded by m_Lock
};

}  // namespace

std::string DefaultDeviceDirectory() {
    if (const char* set = std::getenv("SVCP_DEVICE_DIR")) {
        return set;
    }
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    if (runtime != nullptr && runtime[0] != '\0') {
        return std::string(runtime) + "/svcproc";
    }
    return "/tmp/svcproc-" + std::to_string(static_cast<unsigned long>(geteuid()));
}

std::string GetDeviceDirectory() {
    DirectorySetting& setting = Setting();
    std::lock_guard<std::mutex> guard(setting.lock);
    if (!setting.directory) {
        setting.directory = DefaultDeviceDirectory();
    }
    return *setting.directory;
}

void SetDeviceDirectory(const std::string& directory) {
    DirectorySetting& setting = Setting();
    std::lock_guard<std::mutex> guard(setting.lock);
    setting.directory = directory;
}

std::shared_ptr<IDeviceProvider> MakeSocketDeviceProvider(std::string directory,
                                                          unsigned timeoutMs) {
    return std::make_shared<SocketDeviceProvider>(std::move(directory), timeoutMs);
}

std::shared_ptr<IDeviceProvider> MakeDeviceDirectoryProvider() {
    return std::make_shared<DeviceDirectoryProvider>();
}

bool ReadServedSmbiosTable(const std::string& directory, std::vector<uint8_t>* table,
                           unsigned timeoutMs) {
    wire::Request request;
    request.operation = wire::kSmbiosTable;
    for (const std::string& socket : wire::ListSockets(directory)) {
        wire::Reply reply;
        if (CallOnce(socket, request, &reply, timeoutMs) == wire::IoResult::Ok &&
            reply.status == ERROR_SUCCESS) {
            table->swap(reply.payload);
            return true;
        }
    }
    return false;
}

}  // namespace svcp
