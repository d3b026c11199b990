#include "run/StopSignal.h"

#include <csignal>

namespace {

std::atomic<bool> g_stop{false};

void RequestStop(int) {
    g_stop.store(true);
}

}  // namespace

std::atomic<bool>& InstallStopHandlers() {
    InstallSignalHandler(SIGINT, &RequestStop);
    InstallSignalHandler(SIGTERM, &RequestStop);
    return g_stop;
}
