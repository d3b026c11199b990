// Command line of svcproc-sim.
#pragma once

#include <string>

struct SimOptions {
    std::string machineFile;      // empty: the built-in machine
    std::string deviceDirectory;  // empty: the platform's device directory
    unsigned instance = 0;        // of the device path and the socket's name
    double durationSeconds = -1;  // < 0: until interrupted
    bool quiet = false;           // no line per alert change
    bool help = false;
};

// Parses argv; on failure returns false with a one-line message.
bool ParseSimOptions(int argc, const char* const* argv, SimOptions& options, std::string& error);
const char* SimUsage();
