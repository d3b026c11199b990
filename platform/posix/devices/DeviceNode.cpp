// A device interface's open and removal state, and the calls into its driver.
#include "device_registry.h"

namespace svcp {

IDeviceDriver::~IDeviceDriver() = default;
IDeviceProvider::~IDeviceProvider() = default;

DeviceNode::CallScope::CallScope(DeviceNode& node) : m_Node(node) {
    std::lock_guard<std::mutex> guard(node.m_Lock);
    if (!node.m_bRemoved) {
        ++node.m_nCallsInProgress;
        m_pDriver = node.m_pDriver;
    }
}

DeviceNode::CallScope::~CallScope() {
    if (!m_pDriver) {
        return;
    }
    // Dropped before the count, so that Remove's release is the last one.
    m_pDriver.reset();
    std::lock_guard<std::mutex> guard(m_Node.m_Lock);
    if (--m_Node.m_nCallsInProgress == 0) {
        m_Node.m_CallsDone.notify_all();
    }
}

DeviceNode::DeviceNode(const GUID& interfaceClass, std::wstring path,
                       std::shared_ptr<IDeviceDriver> driver)
    : m_InterfaceClass(interfaceClass), m_sPath(std::move(path)), m_pDriver(std::move(driver)) {}

DeviceNode::~DeviceNode() = default;

DWORD DeviceNode::Open(bool exclusive) {
    {
        std::lock_guard<std::mutex> guard(m_Lock);
        if (m_bRemoved) {
            return ERROR_FILE_NOT_FOUND;
        }
        if (m_bExclusiveHeld || (exclusive && m_nOpenHandles != 0)) {
            return ERROR_SHARING_VIOLATION;
        }
        // Reserved before the driver hears of it, so that a concurrent open
        // sees it.
        ++m_nOpenHandles;
        m_bExclusiveHeld = exclusive;
    }
    DWORD result = ERROR_FILE_NOT_FOUND;
    {
        CallScope call(*this);
        if (call.Driver() != nullptr) {
            result = call.Driver()->OnOpen();
        }
    }
    if (result != ERROR_SUCCESS) {
        std::lock_guard<std::mutex> guard(m_Lock);
        --m_nOpenHandles;
        if (exclusive) {
            m_bExclusiveHeld = false;
        }
    }
    return result;
}

void DeviceNode::Close(bool exclusive) {
    {
        std::lock_guard<std::mutex> guard(m_Lock);
        if (m_nOpenHandles != 0) {
            --m_nOpenHandles;
        }
        if (exclusive) {
            m_bExclusiveHeld = false;
        }
    }
    CallScope call(*this);
    if (call.Driver() != nullptr) {
        call.Driver()->OnClose();
    }
}

DWORD DeviceNode::IoControl(DWORD code, const void* input, DWORD inputSize, void* output,
                            DWORD outputSize, DWORD* bytesReturned) {
    CallScope call(*this);
    if (call.Driver() == nullptr) {
        return ERROR_DEVICE_NOT_CONNECTED;
    }
    return call.Driver()->IoControl(code, input, inputSize, output, outputSize, bytesReturned);
}

void DeviceNode::Remove() {
    std::shared_ptr<IDeviceDriver> released;
    {
        std::unique_lock<std::mutex> guard(m_Lock);
        m_bRemoved = true;
        m_CallsDone.wait(guard, [this] { return m_nCallsInProgress == 0; });
        released = std::move(m_pDriver);
    }
    // The driver may be destroyed here, outside the lock.
}

bool DeviceNode::IsRemoved() const {
    std::lock_guard<std::mutex> guard(m_Lock);
    return m_bRemoved;
}

}  // namespace svcp
