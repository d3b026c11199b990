// A scrape source that holds each scrape until released, counting how many
// it holds at once: the server tests' way to keep scrapes in flight.
#pragma once

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>

#include "exporter/MetricsServer.h"

struct HeldSource {
    std::mutex mutex;
    std::condition_variable changed;
    int inside = 0;
    int most = 0;
    bool released = false;

    std::string operator()(const ScrapeRequest&) {
        std::unique_lock<std::mutex> lock(mutex);
        most = std::max(most, ++inside);
        changed.notify_all();
        changed.wait_for(lock, std::chrono::seconds(5), [&] { return released; });
        --inside;
        return "svcproc_up 1\n";
    }
    bool WaitInside(int count) {
        std::unique_lock<std::mutex> lock(mutex);
        return changed.wait_for(lock, std::chrono::seconds(5), [&] { return inside >= count; });
    }
    void Release() {
        std::lock_guard<std::mutex> lock(mutex);
        released = true;
        changed.notify_all();
    }
};
