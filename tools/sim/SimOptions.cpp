#include "SimOptions.h"

#include <charconv>
#include <cmath>

#include <CLI/CLI.hpp>

#include "svcp_version.h"

namespace {

// Numbers are written in decimal, as a person means them: no sign,
// hexadecimal, octal, exponent, "nan" or "inf", whatever the conversions of
// the C library accept; independent of the locale.
bool ParseDecimal(const std::string& text, bool whole, double* value) {
    const bool digits =
        !text.empty() &&
        text.find_first_not_of(whole ? "0123456789" : "0123456789.") == std::string::npos &&
        text.front() != '.' && text.back() != '.';
    const char* end = text.data() + text.size();
    const auto parsed = std::from_chars(text.data(), end, *value, std::chars_format::fixed);
    return digits && parsed.ec == std::errc() && parsed.ptr == end && std::isfinite(*value);
}

CLI::Validator Decimal(double low, double high, bool whole) {
    const std::string range = std::to_string(static_cast<long long>(low)) + " to " +
                              std::to_string(static_cast<long long>(high));
    return CLI::Validator(
        [=](std::string& text) -> std::string {
            double value = 0;
            if (!ParseDecimal(text, whole, &value)) {
                return std::string("not a decimal ") + (whole ? "whole number" : "number") + ": " +
                       text;
            }
            if (!(value >= low && value <= high)) {
                return "not in the range " + range + ": " + text;
            }
            return std::string();
        },
        "");
}

const CLI::Validator kNotEmpty(
    [](std::string& text) { return text.empty() ? std::string("must not be empty") : ""; }, "");

// The application's options, bound to `options`; the texts are read back
// after parsing.
struct Texts {
    std::string instance;
    std::string duration;
};

void Describe(CLI::App& app, SimOptions& options, Texts& texts) {
    app.description(
        "Runs a simulated machine (FILE: a machine description; default: the built-in\n"
        "POS terminal) and serves its service processor and SMBIOS table in the device\n"
        "directory, where applications on this machine find them as they find a real\n"
        "driver. Prints each change of a sensor's alert state.\n");
    app.set_help_flag("-h,--help", "show this text and exit");
    app.set_version_flag("--version", SimVersion(), "show the version and exit");
    app.add_option("FILE", options.machineFile, "machine description (default: built in)")
        ->type_name("");
    app.add_option("--device-dir", options.deviceDirectory,
                   "where to serve; its parent must exist (default:\n"
                   "$SVCP_DEVICE_DIR, else $XDG_RUNTIME_DIR/svcproc,\n"
                   "else /tmp/svcproc-<uid>)")
        ->type_name("DIR")
        ->check(kNotEmpty);
    app.add_option("--instance", texts.instance, "device instance number, 0-9999 (default 0)")
        ->type_name("N")
        ->check(Decimal(0, 9999, true));
    app.add_option("--duration", texts.duration,
                   "stop after SECONDS (default: at SIGINT or SIGTERM)")
        ->type_name("SECONDS")
        ->check(Decimal(0, 1e9, false));
    app.add_flag("--quiet", options.quiet, "do not print alert changes");
    app.footer(
        "Exit status: 0 stopped (or --help, --version); 64 bad usage or machine\n"
        "description; 69 the device could not be served (the device directory's parent\n"
        "is missing, the directory is not usable, or another svcproc-sim serves the\n"
        "instance).");
}

}  // namespace

std::string SimVersion() {
    return std::string("svcproc-sim ") + SVCP_VERSION_TEXT;
}

std::string SimUsage() {
    CLI::App app("", "svcproc-sim");
    SimOptions options;
    Texts texts;
    Describe(app, options, texts);
    return app.help();
}

bool ParseSimOptions(int argc, const char* const* argv, SimOptions& options, std::string& error) {
    CLI::App app("", "svcproc-sim");
    Texts texts;
    Describe(app, options, texts);
    try {
        app.parse(argc, argv);
    } catch (const CLI::CallForHelp&) {
        options.help = true;
        return true;
    } catch (const CLI::CallForVersion&) {
        options.version = true;
        return true;
    } catch (const CLI::ParseError& e) {
        error = e.what();
        return false;
    }
    // Both passed their checks.
    double value = 0;
    if (ParseDecimal(texts.instance, true, &value)) {
        options.instance = static_cast<unsigned>(value);
    }
    if (ParseDecimal(texts.duration, false, &value)) {
        options.durationSeconds = value;
    }
    return true;
}
