#include <csignal>

#include "run/StopSignal.h"

void InstallSignalHandler(int signal, void (*handler)(int)) {
    std::signal(signal, handler);
}
