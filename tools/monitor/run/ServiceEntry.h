// The platform's service manager, seen from main: on Windows the monitor
// installs, removes and runs itself as a service (windows/ServiceEntry.cpp);
// elsewhere a service unit starts it as any program (ServiceEntryPosix.cpp).
#pragma once

#include <string>

// Runs the service command the command line gives (Windows: "--service
// install|uninstall|run ..."), if any. True when it did, with the exit status
// in `status`; a command whose options cannot be used sets `error` instead and
// runs nothing, for the caller to report as any other bad usage. False for
// every other command line.
bool RunServiceCommand(int argc, char** argv, int& status, std::string& error);

// What --help says about the service after the usage text; "" where there is
// none.
std::string ServiceUsage();
