#include "Environment.h"

#include <cstdlib>
#include <cstring>

namespace svcp::log {

EnvironmentSettings ReadEnvironment() {
    EnvironmentSettings settings;
    const char* level = std::getenv("SVCP_LOG_LEVEL");
    if (level != nullptr && level[0] >= '0' && level[0] <= '4' && level[1] == '\0') {
        settings.hasLevel = true;
        settings.level = level[0] - '0';
    }
    const char* file = std::getenv("SVCP_LOG_FILE");
    if (file != nullptr && file[0] != '\0') {
        settings.hasDestination = true;
        settings.destination = DestinationNamed(file);
        if (settings.destination == Destination::kFile) {
            settings.path = file;
        }
    }
    return settings;
}

Destination DestinationNamed(const char* name) {
    if (name == nullptr || std::strcmp(name, "stderr") == 0) {
        return Destination::kStandardError;
    }
    if (std::strcmp(name, "none") == 0) {
        return Destination::kNone;
    }
    return Destination::kFile;
}

}  // namespace svcp::log
