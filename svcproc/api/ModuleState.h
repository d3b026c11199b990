// State of the loaded library shared by the exported functions and the
// module's entry routine.
#pragma once

#include <atomic>

#include "platform.h"

class CServiceManager;

// Serialises InitialiseServiceDriver; created at load, deleted at unload.
extern CRITICAL_SECTION g_csApi;

// True once InitialiseServiceDriver has succeeded; never set back. Stored with
// release order after the manager is complete and loaded with acquire order,
// so that a caller that sees it true sees the whole initialised library.
extern std::atomic<bool> bInit;

// The one service manager, constructed at load and destroyed at unload.
CServiceManager& TheServiceManager();
