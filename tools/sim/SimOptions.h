// Command line of svcproc-sim.
#pragma once

#include <string>

// sysexits(3) statuses, as the help text lists them.
constexpr int kSimExitUsage = 64;        // EX_USAGE: bad usage or machine description
constexpr int kSimExitUnavailable = 69;  // EX_UNAVAILABLE: the device could not be served

struct SimOptions {
    std::string machineFile;      // empty: the built-in machine
    std::string deviceDirectory;  // empty: the platform's device directory
    unsigned instance = 0;        // of the device path and the socket's name
    double durationSeconds = -1;  // < 0: until interrupted
    bool quiet = false;           // no line per alert change
    bool help = false;            // print SimUsage() and stop
    bool version = false;         // print SimVersion() and stop
};

// Parses argv; on failure returns false with a one-line message.
bool ParseSimOptions(int argc, const char* const* argv, SimOptions& options, std::string& error);
std::string SimUsage();
std::string SimVersion();  // "svcproc-sim 2.1.0"
