#include <csignal>

#include "run/StopSignal.h"

void InstallSignalHandler(int signal, void (*handler)(int)) {
    // Interrupted writes and waits resume: a stop arriving in the middle of a
    // frame must not turn into an output error.
    struct sigaction action {};
    action.sa_handler = handler;
    action.sa_flags = SA_RESTART;
    sigemptyset(&action.sa_mask);
    sigaction(signal, &action, nullptr);
}
