// SIGINT and SIGTERM (Ctrl+C, Ctrl+Break, a service manager's stop) as a
// request to stop, which a run polls: a watch ends and restores the screen.
#pragma once

#include <atomic>

// Installs the handlers; returns the flag they set. One flag per process.
std::atomic<bool>& InstallStopHandlers();
