// The monitor's command line parsed as main parses it, from the arguments
// after the program's name.
#pragma once

#include <string>
#include <vector>

#include "run/MonitorOptions.h"

inline bool Parse(std::vector<const char*> arguments, MonitorOptions& options, std::string& error) {
    arguments.insert(arguments.begin(), "svcproc-monitor");
    return ParseMonitorOptions(static_cast<int>(arguments.size()), arguments.data(), options,
                               error);
}
