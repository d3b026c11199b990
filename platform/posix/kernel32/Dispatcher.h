// The dispatcher: one process-wide lock and condition variable under which
// every waitable object changes state, as in an operating-system kernel.
// Waiters re-test their objects whenever any object changes.
#pragma once

#include <condition_variable>
#include <mutex>

namespace svcp {

struct Dispatcher {
    std::mutex lock;
    std::condition_variable changed;
};

// Never destroyed: waits and signals may happen during static destruction.
Dispatcher& GetDispatcher();

}  // namespace svcp
