#include <csignal>

#include "run/StopSignal.h"

namespace {

std::atomic<bool> g_stop{false};

void RequestStop(int) {
    g_stop.store(true);
}

}  // namespace

std::atomic<bool>& InstallStopHandlers() {
    std::signal(SIGINT, &RequestStop);
    std::signal(SIGTERM, &RequestStop);
    return g_stop;
}
