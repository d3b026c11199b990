// SIGINT and SIGTERM (Ctrl+C, Ctrl+Break, a service manager's stop) as a
// request to stop, which a run polls: a watch ends and restores the screen.
#pragma once

#include <atomic>

// Installs the handlers; returns the flag they set. One flag per process.
std::atomic<bool>& InstallStopHandlers();

// The platform's part (StopSignalPosix.cpp, StopSignalWindows.cpp): `handler`
// runs on each `signal` from now on.
void InstallSignalHandler(int signal, void (*handler)(int));
