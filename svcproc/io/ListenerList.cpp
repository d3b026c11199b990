#include "svcproc/io/ListenerList.h"

#include <algorithm>
#include <new>
#include <vector>

#include "svcproc/api/ISensorStateListener.h"
#include "svcproc/io/ListenerProbe.h"
#include "svcproc/logging/Log.h"

bool CListenerList::Contains(const ISensorStateListener* listener) const {
    return std::find(m_lListeners.begin(), m_lListeners.end(), listener) != m_lListeners.end();
}

void CListenerList::Add(ISensorStateListener* listener) {
    std::lock_guard<std::mutex> guard(m_ListLock);
    if (!Contains(listener)) {
        m_lListeners.push_back(listener);
    }
}

void CListenerList::Remove(ISensorStateListener* listener) {
    {
        std::lock_guard<std::mutex> guard(m_ListLock);
        m_lListeners.remove(listener);
    }
    // A walk that began before the removal may be calling the listener right
    // now. Waiting for the walk to end is what lets the caller destroy it.
    // Always, even when the pointer was not (or no longer) in the list: a
    // concurrent Remove of the same pointer may have taken it out while the
    // walk was calling it.
    std::lock_guard<std::recursive_mutex> wait(m_DeliveryLock);
}

void CListenerList::Deliver(unsigned long handle, unsigned long state, unsigned long reading,
                            const char* invalidListenerFormat) {
    std::lock_guard<std::recursive_mutex> delivering(m_DeliveryLock);
    // The snapshot is taken under the delivery lock: a Remove that finished
    // before this point is already out of it.
    std::vector<ISensorStateListener*> snapshot;
    try {
        std::lock_guard<std::mutex> guard(m_ListLock);
        snapshot.assign(m_lListeners.begin(), m_lListeners.end());
    } catch (const std::bad_alloc&) {
        return;
    }
    for (ISensorStateListener* listener : snapshot) {
        {
            // Removed since the snapshot, maybe by an earlier callback.
            std::lock_guard<std::mutex> guard(m_ListLock);
            if (!Contains(listener)) {
                continue;
            }
        }
        if (!IsListenerCallable(listener)) {
            // The format has "0x%08p", whose '0' flag the host compiler's
            // printf check rejects; the logging library formats it as the
            // Windows runtime does (the pointer zero-padded to its width), so
            // the format reaches Log as a variable, outside that check.
            Log(kLogError, invalidListenerFormat, static_cast<const void*>(listener));
            continue;
        }
        listener->OnSensorStateChange(handle, state, reading);
    }
}
