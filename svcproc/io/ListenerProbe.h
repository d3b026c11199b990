// Whether a registered listener pointer can be called: a test that never
// faults, whatever the pointer holds.
//
// IsBadCodePtr is no such test: it probes by touching memory (and on other
// hosts only asks whether the address itself is executable, which an object
// never is). This probe asks the platform's memory map instead and reads
// nothing that the map does not show as readable.
//
// Thread-safe; takes no lock of the library's; allocates nothing.
#pragma once

class ISensorStateListener;

// True when `listener` points to committed, readable memory for at least one
// pointer (the object's virtual-table pointer), that virtual-table pointer
// points to readable memory for at least one pointer (slot 0), and slot 0,
// OnSensorStateChange, points to executable memory. False for null.
//
// It cannot tell a live object from freed memory that is still mapped: the
// listener list's unregistration rules keep a well-behaved caller's pointers
// valid; the probe only keeps a stray one from faulting the polling thread.
bool IsListenerCallable(const ISensorStateListener* listener);
