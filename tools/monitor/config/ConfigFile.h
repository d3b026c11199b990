// --config.file: a YAML file with the sensors to show and how to name them,
// and any of the monitor's options under their long names. Options given on
// the command line win over the file's.
#pragma once

#include <string>
#include <vector>

#include "run/MonitorOptions.h"

constexpr size_t kMaxConfigFileBytes = 1024 * 1024;

// One option of the file as the command line would give it.
struct ConfigOption {
    std::string key;                     // "interval", "listen"
    std::vector<std::string> arguments;  // {"--interval=5"}; {} for a flag set false
    std::string where;                   // "PATH:LINE:COLUMN"
};

struct MonitorConfig {
    SensorSelection selection;  // the `sensors` section
    std::vector<ConfigOption> options;
};

// Reads and checks `text`, the file at `path`. False, with "PATH:LINE:COLUMN:
// reason", for YAML that does not parse, unknown keys, bad globs or kinds,
// renames that collide.
bool ParseMonitorConfig(const std::string& text, const std::string& path, MonitorConfig& config,
                        std::string& error);

// Reads the file (a regular file of at most kMaxConfigFileBytes) and parses it.
bool LoadMonitorConfig(const std::string& path, MonitorConfig& config, std::string& error);

// Options parsed again with the file's before the command line's (leaving
// out those the command line gives), and the file's sensor selection where
// the command line has no --include or --exclude of its own.
bool ApplyMonitorConfig(const MonitorConfig& config, int argc, const char* const* argv,
                        MonitorOptions& options, std::string& error);
