#include <csignal>

#include "run/StopSignal.h"

namespace {

std::atomic<bool> g_stop{false};

void RequestStop(int) {
    g_stop.store(true);
}

}  // namespace

std::atomic<bool>& InstallStopHandlers() {
    // Interrupted writes and waits resume: a stop arriving in the middle of a
    // frame must not turn into an output error.
    struct sigaction action {};
    action.sa_handler = &RequestStop;
    action.sa_flags = SA_RESTART;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
    return g_stop;
}
