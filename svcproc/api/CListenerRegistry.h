// The C interface's listeners: each registered (callback, context) pair is
// an ISensorStateListener adapter that this registry owns and registers
// with the C++ interface.
//
// Lifetime: an adapter lives from its registration until it is unregistered
// and no longer running. Unregistering on any thread but the delivering one
// waits (through UnregisterSensorStateListener) for a delivery in progress
// and then deletes the adapter. Unregistering an adapter from inside its own
// callback cannot delete it there, since its call is still on the stack:
// the adapter deletes itself when that call returns. Adapters still
// registered at unload are left to the process's end, since the polling
// thread may call them until the service manager is destroyed.
//
// Threads: every operation may run on any thread, including from inside a
// callback on the polling thread. The registry's lock is never held while
// waiting for a delivery, so callbacks may register and unregister.
#pragma once

#include <list>
#include <mutex>

#include "svcproc/api/svcproc_c.h"

class CListenerAdapter;

class CListenerRegistry {
public:
    // The one registry of the library.
    static CListenerRegistry& Instance();

    // SVCP_SUCCESS (also when the pair is registered already), or
    // SVCP_OUT_OF_MEMORY with nothing registered. REQUIRES: the library is
    // initialised and callback is not null.
    SVCP_RESULT Register(SVCP_SENSOR_STATE_CALLBACK callback, void* context);
    // Removes the pair if registered; see the lifetime rules above.
    void Unregister(SVCP_SENSOR_STATE_CALLBACK callback, void* context);

private:
    CListenerRegistry() = default;
    // REQUIRES: m_Lock held.
    std::list<CListenerAdapter*>::iterator Find(SVCP_SENSOR_STATE_CALLBACK callback, void* context);

    std::mutex m_Lock;
    std::list<CListenerAdapter*> m_lAdapters;  // owned; guarded by m_Lock
};
