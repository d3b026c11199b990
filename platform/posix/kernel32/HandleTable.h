// The process-wide handle table. Each kernel object (event, thread, opened
// device) is owned by shared pointers: the table holds one per open handle and
// a caller holds one for the duration of a call, so closing a handle while
// another thread uses it is safe.
#pragma once

#include <memory>

#include "win/types.h"

namespace svcp {

class KernelObject {
public:
    virtual ~KernelObject() = default;
    // Both called with the dispatcher lock held. Objects that cannot be
    // waited on are never signalled.
    virtual bool IsSignalled() const { return false; }
    virtual void OnWaitSatisfied() {}
    // Called once when its handle is closed, without any lock held.
    virtual void OnHandleClosed() {}
};

// Returns a new handle value for the object; values are never reused.
HANDLE InsertHandle(std::shared_ptr<KernelObject> object);
// The object behind a handle, or null for a closed or unknown handle.
std::shared_ptr<KernelObject> LookupHandle(HANDLE handle);
// Removes the handle; returns the object it named, or null.
std::shared_ptr<KernelObject> RemoveHandle(HANDLE handle);

// Held by the thread that forks, across the fork, so that a child (which has
// only that thread) inherits the table whole and unlocked.
void LockHandleTableForFork();
void UnlockHandleTableAfterFork();

template <class T>
std::shared_ptr<T> LookupHandleAs(HANDLE handle) {
    return std::dynamic_pointer_cast<T>(LookupHandle(handle));
}

}  // namespace svcp
