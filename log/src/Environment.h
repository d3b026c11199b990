// Configuration taken from the environment (SVCP_LOG_LEVEL, SVCP_LOG_FILE).
#pragma once

#include <string>

namespace svcp::log {

enum class Destination { kStandardError, kNone, kFile };

struct EnvironmentSettings {
    bool hasLevel = false;
    int level = 0;  // 0..4 when hasLevel
    bool hasDestination = false;
    Destination destination = Destination::kStandardError;
    std::string path;  // when destination is kFile
};

// Reads the variables now. A value that cannot be used (a level that is not
// a single digit 0-4, an empty file) is ignored, leaving the default.
EnvironmentSettings ReadEnvironment();

// How a destination is named to LogSetFile and in SVCP_LOG_FILE: null or
// "stderr", "none", or else a path.
Destination DestinationNamed(const char* name);

}  // namespace svcp::log
