#include "svcproc/api/CListenerRegistry.h"

#include <new>

#include "svcproc/api/ISensorStateListener.h"
#include "svcproc/api/ServiceApi.h"

// Final: deleted through its own type only (the interface has no virtual
// destructor).
class CListenerAdapter final : public ISensorStateListener {
public:
    CListenerAdapter(SVCP_SENSOR_STATE_CALLBACK callback, void* context)
        : m_pCallback(callback), m_pContext(context) {}

    void OnSensorStateChange(unsigned long handle, unsigned long state,
                             unsigned long reading) override {
        CListenerAdapter* const outer = t_pRunning;
        t_pRunning = this;
        m_pCallback(m_pContext, static_cast<SVCP_HANDLE>(handle), static_cast<SVCP_UINT32>(state),
                    static_cast<SVCP_UINT32>(reading));
        t_pRunning = outer;
        if (m_bDeleteAfterCall) {
            delete this;
        }
    }

    bool Is(SVCP_SENSOR_STATE_CALLBACK callback, void* context) const {
        return m_pCallback == callback && m_pContext == context;
    }

    // Unregistered and no longer the registry's: deletes it now, or when its
    // own call on this thread returns.
    void Release() {
        if (t_pRunning == this) {
            m_bDeleteAfterCall = true;
        } else {
            delete this;
        }
    }

private:
    // The adapter whose callback this thread is running, if any.
    static thread_local CListenerAdapter* t_pRunning;

    const SVCP_SENSOR_STATE_CALLBACK m_pCallback;
    void* const m_pContext;
    // Written and read only on the thread running the adapter's call.
    bool m_bDeleteAfterCall = false;
};

thread_local CListenerAdapter* CListenerAdapter::t_pRunning = nullptr;

namespace {

// Registered never: unregistering it waits out a delivery in progress.
class CNoListener final : public ISensorStateListener {
public:
    void OnSensorStateChange(unsigned long, unsigned long, unsigned long) override {}
};

}  // namespace

CListenerRegistry& CListenerRegistry::Instance() {
    // Never destroyed: adapters still registered at unload must outlive the
    // polling thread, which the service manager's destruction ends. Built in
    // the library's own storage, not on the heap, so that unloading the
    // library leaves no heap block behind.
    alignas(CListenerRegistry) static unsigned char storage[sizeof(CListenerRegistry)];
    static CListenerRegistry* const registry = new (storage) CListenerRegistry();
    return *registry;
}

std::list<CListenerAdapter*>::iterator CListenerRegistry::Find(SVCP_SENSOR_STATE_CALLBACK callback,
                                                               void* context) {
    for (auto it = m_lAdapters.begin(); it != m_lAdapters.end(); ++it) {
        if ((*it)->Is(callback, context)) {
            return it;
        }
    }
    return m_lAdapters.end();
}

SVCP_RESULT CListenerRegistry::Register(SVCP_SENSOR_STATE_CALLBACK callback, void* context) {
    // Held across the C++ registration, so that an Unregister of the same
    // pair on another thread cannot delete the adapter before it is
    // registered. Registering does not wait for a delivery.
    std::lock_guard<std::mutex> guard(m_Lock);
    if (Find(callback, context) != m_lAdapters.end()) {
        return SVCP_SUCCESS;
    }
    CListenerAdapter* adapter = new (std::nothrow) CListenerAdapter(callback, context);
    if (adapter == nullptr) {
        return SVCP_OUT_OF_MEMORY;
    }
    try {
        m_lAdapters.push_back(adapter);
    } catch (const std::bad_alloc&) {
        delete adapter;
        return SVCP_OUT_OF_MEMORY;
    }
    try {
        ServiceApi::RegisterSensorStateListener(adapter);
    } catch (const std::bad_alloc&) {
        // Not in the listener list: nothing can be calling it.
        m_lAdapters.pop_back();
        delete adapter;
        return SVCP_OUT_OF_MEMORY;
    }
    return SVCP_SUCCESS;
}

void CListenerRegistry::Unregister(SVCP_SENSOR_STATE_CALLBACK callback, void* context) {
    CListenerAdapter* adapter = nullptr;
    {
        std::lock_guard<std::mutex> guard(m_Lock);
        const auto it = Find(callback, context);
        if (it != m_lAdapters.end()) {
            adapter = *it;
            m_lAdapters.erase(it);
        }
    }
    if (adapter == nullptr) {
        // Another thread may have just taken the pair out while its callback
        // runs: waiting out the delivery keeps the promise that the callback
        // is not running when this returns.
        static CNoListener noListener;
        ServiceApi::UnregisterSensorStateListener(&noListener);
        return;
    }
    // Waits for a delivery in progress unless this is the delivering thread.
    ServiceApi::UnregisterSensorStateListener(adapter);
    adapter->Release();
}
