// A listener that records every call it gets, with the thread it came on;
// WaitForCalls and WaitFor block (bounded) until enough, or the one
// wanted, have arrived.
#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

#include "svcproc/api/ISensorStateListener.h"

struct ListenerCall {
    unsigned long handle;
    unsigned long state;
    unsigned long reading;
    std::thread::id thread;
};

class RecordingListener : public ISensorStateListener {
public:
    void OnSensorStateChange(unsigned long handle, unsigned long state,
                             unsigned long reading) override {
        std::lock_guard<std::mutex> guard(m_Lock);
        m_vCalls.push_back({handle, state, reading, std::this_thread::get_id()});
        m_Changed.notify_all();
    }
    // Waits (bounded) until at least `count` calls arrived.
    std::vector<ListenerCall> WaitForCalls(size_t count) {
        std::unique_lock<std::mutex> guard(m_Lock);
        m_Changed.wait_for(guard, std::chrono::seconds(5),
                           [&] { return m_vCalls.size() >= count; });
        return m_vCalls;
    }
    // Waits (bounded) until a call matches `predicate`; false when none did.
    template <class Predicate>
    bool WaitFor(Predicate predicate, ListenerCall* found) {
        std::unique_lock<std::mutex> guard(m_Lock);
        return m_Changed.wait_for(guard, std::chrono::seconds(5), [&] {
            for (const ListenerCall& call : m_vCalls) {
                if (predicate(call)) {
                    *found = call;
                    return true;
                }
            }
            return false;
        });
    }
    std::vector<ListenerCall> Calls() {
        std::lock_guard<std::mutex> guard(m_Lock);
        return m_vCalls;
    }

private:
    std::mutex m_Lock;
    std::condition_variable m_Changed;
    std::vector<ListenerCall> m_vCalls;
};
