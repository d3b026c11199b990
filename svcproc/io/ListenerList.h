// The registered sensor-state listeners and their delivery.
//
// Threads: Add and Remove run on callers' threads and, from inside a
// callback, on the delivering thread; Deliver runs on one thread at a time
// (the polling thread). Any of them may run concurrently with the others.
//
// Rules:
//   - Registration order; each pointer at most once; pointers are not owned.
//   - No lock of the list is held while a listener runs, so a callback may
//     call Add and Remove (and anything else that does not wait for the
//     delivering thread).
//   - Add takes effect for the next delivery. Remove takes effect at once:
//     a removed listener is not called again, not even later in the delivery
//     that is running.
//   - When Remove returns on any thread but the delivering one, the removed
//     listener is not running either, so the caller may destroy it. Remove
//     therefore waits for a delivery in progress to end: it must not be
//     called while holding a lock that a listener takes.
//   - Only Add allocates. A delivery walks the list in place: an entry
//     removed while a walk runs is only marked, and the walk unlinks it when
//     it ends, so the walk's position is never invalidated.
#pragma once

#include <list>
#include <mutex>

class ISensorStateListener;

class CListenerList {
public:
    CListenerList() = default;
    ~CListenerList() = default;
    CListenerList(const CListenerList&) = delete;
    CListenerList& operator=(const CListenerList&) = delete;

    // Appends the pointer unless it is present; it is not checked here. Throws
    // std::bad_alloc when the entry cannot be made, leaving the list as it
    // was.
    void Add(ISensorStateListener* listener);
    // Removes the pointer if present, then waits for a delivery in progress on
    // another thread (see the rules above). Never throws.
    void Remove(ISensorStateListener* listener);

    // Calls OnSensorStateChange(handle, state, reading) on each registered
    // listener in registration order, skipping with a level-1 line any whose
    // pointer IsListenerCallable rejects. `invalidListenerFormat` is that
    // line's format, with one pointer argument. Blocks while the listeners
    // run. Allocates nothing and never throws.
    void Deliver(unsigned long handle, unsigned long state, unsigned long reading,
                 const char* invalidListenerFormat);

private:
    struct Entry {
        ISensorStateListener* m_pListener;
        bool m_bRemoved;  // removed during a walk, unlinked when it ends
    };
    typedef std::list<Entry>::iterator Position;

    // REQUIRES: m_ListLock held.
    bool Contains(const ISensorStateListener* listener) const;
    void UnlinkRemoved();

    std::mutex m_ListLock;
    std::list<Entry> m_lListeners;  // guarded by m_ListLock
    bool m_bWalking = false;        // guarded by m_ListLock
    // Held by Deliver for its whole walk; Remove takes it once to wait out a
    // walk. Recursive so that a callback's Remove, on the delivering thread,
    // passes through.
    std::recursive_mutex m_DeliveryLock;
};
