#include "svcproc/io/ListenerList.h"

#include <iterator>

#include "svcproc/api/ISensorStateListener.h"
#include "svcproc/io/ListenerProbe.h"
#include "svcproc/logging/Log.h"

bool CListenerList::Contains(const ISensorStateListener* listener) const {
    for (const Entry& entry : m_lListeners) {
        if (entry.m_pListener == listener && !entry.m_bRemoved) {
            return true;
        }
    }
    return false;
}

void CListenerList::UnlinkRemoved() {
    m_lListeners.remove_if([](const Entry& entry) { return entry.m_bRemoved; });
}

void CListenerList::Add(ISensorStateListener* listener) {
    std::lock_guard<std::mutex> guard(m_ListLock);
    if (!Contains(listener)) {
        // push_back either links the new entry or throws with the list intact.
        m_lListeners.push_back(Entry{listener, false});
    }
}

void CListenerList::Remove(ISensorStateListener* listener) {
    {
        std::lock_guard<std::mutex> guard(m_ListLock);
        for (Entry& entry : m_lListeners) {
            if (entry.m_pListener == listener) {
                entry.m_bRemoved = true;
            }
        }
        if (!m_bWalking) {
            UnlinkRemoved();
        }
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
    Position next;
    Position last;
    {
        std::lock_guard<std::mutex> guard(m_ListLock);
        if (m_lListeners.empty()) {
            return;
        }
        // The walk ends with the entry that is last now: a listener added
        // during the walk hears the next delivery. No entry is unlinked while
        // m_bWalking is set, so both positions stay valid.
        m_bWalking = true;
        next = m_lListeners.begin();
        last = std::prev(m_lListeners.end());
    }
    for (bool more = true; more;) {
        ISensorStateListener* listener = nullptr;
        bool registered = false;
        {
            std::lock_guard<std::mutex> guard(m_ListLock);
            more = next != last;
            // Removed since the walk began, maybe by an earlier callback.
            registered = !next->m_bRemoved;
            listener = next->m_pListener;
            ++next;
        }
        if (!registered) {
            continue;
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
    std::lock_guard<std::mutex> guard(m_ListLock);
    m_bWalking = false;
    UnlinkRemoved();
}
