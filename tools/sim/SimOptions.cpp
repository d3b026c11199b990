#include "SimOptions.h"

#include <cmath>
#include <cstdlib>

const char* SimUsage() {
    return "usage: svcproc-sim [options] [FILE]\n"
           "\n"
           "Runs a simulated machine (FILE: a machine description; default: the built-in\n"
           "POS terminal) and serves its service processor and SMBIOS table in the device\n"
           "directory, where applications on this machine find them as they find a real\n"
           "driver. Prints each change of a sensor's alert state.\n"
           "\n"
           "  --device-dir DIR     where to serve (default: $SVCP_DEVICE_DIR, else\n"
           "                       $XDG_RUNTIME_DIR/svcproc, else /tmp/svcproc-<uid>)\n"
           "  --instance N         device instance number, 0-9999 (default 0)\n"
           "  --duration SECONDS   stop after SECONDS (default: at SIGINT or SIGTERM)\n"
           "  --quiet              do not print alert changes\n"
           "  --help               show this text\n"
           "\n"
           "Exit status: 0 stopped; 64 bad usage or machine description; 69 the device\n"
           "could not be served.\n";
}

bool ParseSimOptions(int argc, const char* const* argv, SimOptions& options, std::string& error) {
    bool haveFile = false;
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
        auto takeValue = [&]() {
            if (!hasValue) {
                if (i + 1 >= argc) {
                    error = argument + " needs a value";
                    return false;
                }
                value = argv[++i];
            }
            return true;
        };
        auto number = [&](double low, double high, double& out) {
            char* end = nullptr;
            out = std::strtod(value.c_str(), &end);
            if (value.empty() || *end != '\0' || !(out >= low && out <= high)) {
                error = argument + ": not a valid value: " + value;
                return false;
            }
            return true;
        };
        if (argument == "--help" || argument == "-h") {
            options.help = true;
        } else if (argument == "--quiet") {
            options.quiet = true;
        } else if (argument == "--device-dir") {
            if (!takeValue()) {
                return false;
            }
            options.deviceDirectory = value;
        } else if (argument == "--instance") {
            double instance = 0;
            if (!takeValue() || !number(0, 9999, instance)) {
                return false;
            }
            if (instance != std::floor(instance)) {
                error = "--instance: not a whole number: " + value;
                return false;
            }
            options.instance = static_cast<unsigned>(instance);
        } else if (argument == "--duration") {
            if (!takeValue() || !number(0, 1e9, options.durationSeconds)) {
                return false;
            }
        } else if (argument.rfind("-", 0) == 0 && argument != "-") {
            error = "unknown option: " + std::string(argv[i]);
            return false;
        } else if (haveFile) {
            error = "more than one machine description: " + argument;
            return false;
        } else {
            options.machineFile = argument;
            haveFile = true;
        }
    }
    return true;
}
