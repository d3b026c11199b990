#include "MonitorOptions.h"

#include <cstdlib>
#include <cstring>

namespace {

bool ParseNumber(const std::string& text, double& value) {
    if (text.empty()) {
        return false;
    }
    char* end = nullptr;
    value = std::strtod(text.c_str(), &end);
    return end != nullptr && *end == '\0';
}

}  // namespace

const char* MonitorUsage() {
    return "usage: svcproc-monitor [options]\n"
           "\n"
           "Shows every sensor and LED of the service processor, with readings, states and\n"
           "thresholds. On a terminal it refreshes every second and prints alerts as they\n"
           "arrive; otherwise it prints one snapshot.\n"
           "\n"
           "  --once                  print one snapshot and exit\n"
           "  --watch                 refresh until interrupted (or --duration)\n"
           "  --duration SECONDS      stop watching after SECONDS\n"
           "  --interval SECONDS      time between refreshes (default 1)\n"
           "  --format FORMAT         table (default), json or prometheus\n"
           "  --output FILE           write each snapshot to FILE atomically\n"
           "  --color WHEN            auto (default), always or never\n"
           "  --log-level N           logging library level, 0 (nothing) to 4 (everything)\n"
           "  --log-file PATH         logging library destination (a file, stderr or none)\n"
           "  --simulate[=FILE]       run against a simulated machine in this process\n"
           "                          (FILE: a machine description; default: built in)\n"
           "  --help                  show this text\n"
           "\n"
           "Exit status: 0 success; 2-7 the library's result code when start-up failed;\n"
           "64 bad usage; 74 the output could not be written.\n";
}

bool ParseMonitorOptions(int argc, const char* const* argv, MonitorOptions& options,
                         std::string& error) {
    for (int i = 1; i < argc; ++i) {
        std::string argument = argv[i];
        std::string value;
        bool hasValue = false;
        const size_t equals = argument.find('=');
        if (argument.rfind("--", 0) == 0 && equals != std::string::npos) {
            value = argument.substr(equals + 1);
            argument = argument.substr(0, equals);
            hasValue = true;
        }
        auto takeValue = [&](std::string& out) {
            if (hasValue) {
                out = value;
                return true;
            }
            if (i + 1 >= argc) {
                error = argument + " needs a value";
                return false;
            }
            out = argv[++i];
            return true;
        };

        if (argument == "--help" || argument == "-h") {
            options.help = true;
        } else if (argument == "--once") {
            options.mode = RunMode::Once;
        } else if (argument == "--watch") {
            options.mode = RunMode::Watch;
        } else if (argument == "--duration" || argument == "--interval") {
            std::string text;
            double number = 0;
            if (!takeValue(text)) {
                return false;
            }
            if (!ParseNumber(text, number) || number < 0 ||
                (argument == "--interval" && number < 0.05)) {
                error = argument + ": not a valid number of seconds: " + text;
                return false;
            }
            (argument == "--duration" ? options.durationSeconds : options.intervalSeconds) = number;
        } else if (argument == "--format") {
            std::string text;
            if (!takeValue(text)) {
                return false;
            }
            if (text == "table") {
                options.format = OutputFormat::Table;
            } else if (text == "json") {
                options.format = OutputFormat::Json;
            } else if (text == "prometheus") {
                options.format = OutputFormat::Prometheus;
            } else {
                error = "--format: expected table, json or prometheus, not " + text;
                return false;
            }
        } else if (argument == "--output") {
            if (!takeValue(options.outputFile)) {
                return false;
            }
        } else if (argument == "--color") {
            std::string text;
            if (!takeValue(text)) {
                return false;
            }
            if (text == "auto") {
                options.color = ColorMode::Auto;
            } else if (text == "always") {
                options.color = ColorMode::Always;
            } else if (text == "never") {
                options.color = ColorMode::Never;
            } else {
                error = "--color: expected auto, always or never, not " + text;
                return false;
            }
        } else if (argument == "--log-level") {
            std::string text;
            double number = 0;
            if (!takeValue(text)) {
                return false;
            }
            if (!ParseNumber(text, number) || number < 0 || number > 4 ||
                number != static_cast<int>(number)) {
                error = "--log-level: expected 0 to 4, not " + text;
                return false;
            }
            options.logLevel = static_cast<int>(number);
        } else if (argument == "--log-file") {
            if (!takeValue(options.logFile)) {
                return false;
            }
        } else if (argument == "--simulate") {
            options.simulate = true;
            if (hasValue) {
                options.simulationFile = value;
            }
        } else {
            error = "unknown option: " + std::string(argv[i]);
            return false;
        }
    }
    return true;
}
