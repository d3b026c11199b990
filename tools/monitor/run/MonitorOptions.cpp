#include "run/MonitorOptions.h"

#include <charconv>
#include <cstring>
#include <map>

#include <CLI/CLI.hpp>

#include "run/AllowedHost.h"
#include "run/ListenAddress.h"
#include "svcp_version.h"

namespace {

// An option that may be given again, one value each time, every value
// checked by `accepts(text, error)`.
template <typename Accepts>
CLI::Option* Repeatable(CLI::Option* option, Accepts accepts) {
    return option->expected(1)
        ->allow_extra_args(false)
        ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll)
        ->check(CLI::Validator(
            [accepts](std::string& text) {
                std::string error;
                return accepts(text, error) ? std::string() : error;
            },
            ""));
}

const char* const kDescription =
    "Shows every sensor and LED of the service processor, with readings, states and\n"
    "thresholds. On a terminal it refreshes every second and lists alerts as they\n"
    "arrive; otherwise it prints one snapshot.";

const char* const kExitStatuses =
    "Without --once or --watch it watches when standard output is a terminal. A watch\n"
    "retries a failed start-up every interval. Options take values as --option VALUE\n"
    "or --option=VALUE; only --simulate=FILE needs the '='.\n"
    "\n"
    "Exit status:\n"
    "  0      success; also a watch ended by --duration, SIGINT or SIGTERM\n"
    "  2-6    start-up failed with that library result code (a watch: the last\n"
    "         attempt's, when it ends before start-up succeeds)\n"
    "  64     bad usage, or a machine description or web configuration that\n"
    "         cannot be used\n"
    "  69     --listen: an address cannot be listened on\n"
    "  74     the output (or the log file) could not be written\n"
    "With --check: 0 OK, 1 WARNING, 2 CRITICAL, 3 UNKNOWN (bad usage, a failed\n"
    "start-up, a service processor that does not answer, --timeout)\n"
    "\n"
    "NO_COLOR, when set and not empty, turns colour off unless --color=always.\n";

// A plain decimal: digits, optionally a point and more digits. No sign,
// exponent, hexadecimal, "nan" or "inf"; the same in every locale.
bool ParseDecimal(const std::string& text, double& value) {
    const size_t point = text.find('.');
    const std::string whole = text.substr(0, point);
    const std::string fraction = point == std::string::npos ? "" : text.substr(point + 1);
    auto digits = [](const std::string& part) {
        return !part.empty() && part.size() <= 12 &&
               part.find_first_not_of("0123456789") == std::string::npos;
    };
    if (!digits(whole) || (point != std::string::npos && !digits(fraction))) {
        return false;
    }
    const std::from_chars_result result =
        std::from_chars(text.data(), text.data() + text.size(), value);
    return result.ec == std::errc() && result.ptr == text.data() + text.size();
}

std::string Seconds(double value) {
    char text[32];
    const std::to_chars_result result = std::to_chars(text, text + sizeof text, value);
    return std::string(text, result.ptr);
}

// A CLI11 check for a number of seconds in [low, high] (low excluded when
// `lowOpen`).
CLI::Validator SecondsIn(double low, double high, bool lowOpen) {
    const std::string range = (lowOpen ? "more than " : "at least ") + Seconds(low) +
                              " and at most " + Seconds(high) + " seconds";
    return CLI::Validator(
        [=](std::string& text) -> std::string {
            double value = 0;
            if (!ParseDecimal(text, value)) {
                return "expected a decimal number of seconds (such as 0.5 or 12), not '" + text +
                       "'";
            }
            if (value > high || value < low || (lowOpen && value == low)) {
                return "expected " + range + ", not " + text;
            }
            return std::string();
        },
        "");
}

// Where the metrics are served: a plain path of its own, not one of the
// exporter's other pages.
std::string CheckTelemetryPath(const std::string& text) {
    const std::string shown = "'" + text.substr(0, 64) + "'";
    if (text.size() > kMaxTelemetryPathLength ||
        text.find_first_not_of("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789"
                               "-._~/") != std::string::npos) {
        return shown + ": expected at most " + std::to_string(kMaxTelemetryPathLength) +
               " letters, digits and -._~/";
    }
    if (text.empty() || text[0] != '/') {
        return shown + ": expected a path that starts with '/'";
    }
    if (text == "/" || text == "/health" || text == "/api/v1/sensors") {
        return shown + ": '/', '/health' and '/api/v1/sensors' are the exporter's own pages";
    }
    return std::string();
}

bool ParseScrapeRequests(const std::string& text, int& value) {
    if (text.empty() || text.size() > 5 ||
        text.find_first_not_of("0123456789") != std::string::npos) {
        return false;
    }
    value = std::stoi(text);
    return value <= kMaxScrapeRequests;
}

template <typename T>
CLI::Validator OneOf(const std::map<std::string, T>& names, const std::string& list) {
    return CLI::Validator(
        [=](std::string& text) -> std::string {
            return names.count(text) != 0 ? std::string()
                                          : "expected " + list + ", not '" + text + "'";
        },
        "");
}

// Options as the docs write them: "--interval SECONDS", "--simulate[=FILE]".
class CHelpFormatter : public CLI::Formatter {
public:
    std::string make_option_name(const CLI::Option* option, bool positional) const override {
        std::string name = CLI::Formatter::make_option_name(option, positional);
        const size_t braces = name.find("{}");
        return braces == std::string::npos ? name : name.erase(braces, 2);
    }
    std::string make_option_opts(const CLI::Option* option) const override {
        const std::string type = option->get_type_name();
        if (type.empty()) {
            return "";
        }
        return type[0] == '[' ? type : " " + type;
    }
};

struct Parser {
    CLI::App app{kDescription, "svcproc-monitor"};
    std::string duration, interval, format, color, logLevel, maxRequests;
    std::string systemLog;
    std::string timeout;

    explicit Parser(MonitorOptions& options) {
        app.option_defaults()->multi_option_policy(CLI::MultiOptionPolicy::TakeLast);
        app.footer(kExitStatuses);
        app.formatter(std::make_shared<CHelpFormatter>());
        app.get_formatter()->column_width(26);
        CLI::Option* onceFlag =
            app.add_flag("--once", "print one snapshot and exit")->disable_flag_override();
        CLI::Option* watchFlag = app.add_flag("--watch", "refresh until interrupted or --duration")
                                     ->disable_flag_override();
        onceFlag->excludes(watchFlag);
        app.add_option("--duration", duration, "stop watching after SECONDS (more than 0)")
            ->type_name("SECONDS")
            ->check(SecondsIn(0, kMaxDurationSeconds, true));
        app.add_option("--interval", interval,
                       "time between refreshes and start-up retries\n"
                       "(default 1, from 0.05 to 86400)")
            ->type_name("SECONDS")
            ->check(SecondsIn(kMinIntervalSeconds, kMaxIntervalSeconds, false));
        app.add_option("--format", format, "table (default), json, ndjson or prometheus")
            ->type_name("FORMAT")
            ->check(OneOf(Formats(), "table, json, ndjson or prometheus"));
        app.add_option("--output", options.outputFile, "write each snapshot to FILE atomically")
            ->type_name("FILE");
        app.add_option("--color", color, "auto (default), always or never")
            ->type_name("WHEN")
            ->check(OneOf(Colors(), "auto, always or never"));
        app.add_option("--log-level", logLevel,
                       "logging library level, 0 (nothing) to 4 (everything)")
            ->type_name("N")
            ->check(
                OneOf(std::map<std::string, int>{{"0", 0}, {"1", 1}, {"2", 2}, {"3", 3}, {"4", 4}},
                      "0, 1, 2, 3 or 4"));
        app.add_option("--log-file", options.logFile,
                       "logging library destination (a file, stderr or none)")
            ->type_name("PATH");
        app.add_flag("--simulate{}", options.simulationFile,
                     "run against a simulated machine in this process\n"
                     "(FILE: a machine description; default: built in)")
            ->type_name("[=FILE]");
        app.add_flag("--version", options.version, "show the version and exit")
            ->disable_flag_override();
        CLI::Option* listen =
            Repeatable(app.add_option("--listen,--web.listen-address", options.listen,
                                      "serve Prometheus metrics over HTTP on [ADDR:]PORT until\n"
                                      "interrupted (ADDR default 127.0.0.1; port 9723 is "
                                      "usual);\nrepeat to serve several addresses")
                           ->type_name("[ADDR:]PORT"),
                       [](const std::string& text, std::string& error) {
                           ListenAddress address;
                           return ParseListenAddress(text, address, error);
                       })
                ->excludes(onceFlag)
                ->excludes(watchFlag)
                ->excludes("--output");
        app.add_option("--web.telemetry-path", options.telemetryPath,
                       "where the metrics are served (default /metrics)")
            ->type_name("PATH")
            ->check(CLI::Validator([](std::string& text) { return CheckTelemetryPath(text); }, ""))
            ->needs(listen);
        app.add_option("--web.max-requests", maxRequests,
                       "scrapes answered at once, beyond which 503\n"
                       "(default 40; 0: no limit but the 64 connections)")
            ->type_name("N")
            ->check(CLI::Validator(
                [](std::string& text) {
                    int value = 0;
                    return ParseScrapeRequests(text, value)
                               ? std::string()
                               : "'" + text.substr(0, 32) +
                                     "': expected a whole number from 0 to " +
                                     std::to_string(kMaxScrapeRequests);
                },
                ""))
            ->needs(listen);
        Repeatable(app.add_option("--web.allowed-host", options.allowedHosts,
                                  "answer only requests whose Host is NAME (repeatable;\n"
                                  "default: any); others get 403")
                       ->type_name("NAME"),
                   [](const std::string& text, std::string& error) {
                       return ParseAllowedHost(text, error);
                   })
            ->needs(listen);
        // --check, the sensor filters and the configuration file.
        CLI::Option* check = app.add_flag("--check", options.check,
                                          "answer once as a monitoring plugin (Nagios, Icinga,\n"
                                          "Zabbix...): status line, performance data, exit 0-3")
                                 ->disable_flag_override();
        check->excludes(watchFlag)
            ->excludes(listen)
            ->excludes("--format")
            ->excludes("--output")
            ->excludes("--duration");
        app.add_option("--timeout", timeout,
                       "--check: UNKNOWN when there is no answer within\nSECONDS (default 10, "
                       "at most 3600)")
            ->type_name("SECONDS")
            ->check(SecondsIn(0, kMaxCheckTimeoutSeconds, true))
            ->needs(check);
        app.add_flag("--warning-only", options.warningOnly,
                     "--check: report critical sensors as WARNING")
            ->disable_flag_override()
            ->needs(check);
        app.add_flag("-v,--verbose", options.verbose, "--check: a line per sensor and LED")
            ->disable_flag_override()
            ->needs(check);
        auto glob = [](const std::string& text, std::string& error) {
            return ValidGlob(text, error);
        };
        Repeatable(app.add_option("--include", options.includeGlobs,
                                  "show only sensors and LEDs whose description matches\n"
                                  "GLOB (* ? [set]; repeatable)")
                       ->type_name("GLOB"),
                   glob);
        Repeatable(app.add_option("--exclude", options.excludeGlobs,
                                  "leave out those whose description matches GLOB\n"
                                  "(repeatable; wins over --include)")
                       ->type_name("GLOB"),
                   glob);
        app.add_option("--config.file", options.configFile,
                       "YAML: sensor filters and renames, and options\n"
                       "(the command line wins)")
            ->type_name("PATH");
        app.add_option("--web.config.file", options.webConfigFile,
                       "a web configuration (YAML, as other Prometheus exporters\n"
                       "read it): TLS, basic authentication, answer headers")
            ->type_name("PATH")
            ->check(CLI::Validator(
                [](std::string& text) {
                    return text.empty() || text.size() > 4096
                               ? std::string("expected a file name of 1 to 4096 bytes")
                               : std::string();
                },
                ""))
            ->needs(listen);
        app.add_option("--system-log", systemLog,
                       "alerts, link and start-up events to the Event Log or\n"
                       "the journal: auto (default: when run as a service),\n"
                       "always or never")
            ->type_name("WHEN")
            ->check(OneOf(SystemLogModes(), "auto, always or never"));
    }

    static std::map<std::string, SystemLogMode> SystemLogModes() {
        return {{"auto", SystemLogMode::Auto},
                {"always", SystemLogMode::Always},
                {"never", SystemLogMode::Never}};
    }

    static std::map<std::string, OutputFormat> Formats() {
        return {{"table", OutputFormat::Table},
                {"json", OutputFormat::Json},
                {"ndjson", OutputFormat::Ndjson},
                {"prometheus", OutputFormat::Prometheus}};
    }
    static std::map<std::string, ColorMode> Colors() {
        return {
            {"auto", ColorMode::Auto}, {"always", ColorMode::Always}, {"never", ColorMode::Never}};
    }
};

}  // namespace

std::string MonitorUsage() {
    MonitorOptions options;
    Parser parser(options);
    return parser.app.help();
}

std::string MonitorVersion() {
    return std::string("svcproc-monitor ") + SVCP_VERSION_TEXT;
}

bool ParseMonitorOptions(int argc, const char* const* argv, MonitorOptions& options,
                         std::string& error) {
    Parser parser(options);
    try {
        parser.app.parse(argc, argv);
    } catch (const CLI::CallForHelp&) {
        options.help = true;
        return true;
    } catch (const CLI::ExtrasError& e) {
        error = e.what();
        for (int i = 1; i < argc; ++i) {
            if (std::strcmp(argv[i], "--simulate") == 0) {
                error += " (use --simulate=FILE to name a machine description)";
            }
        }
        return false;
    } catch (const CLI::ParseError& e) {
        error = e.what();
        return false;
    }
    if (parser.app.count("--once") != 0) {
        options.mode = RunMode::Once;
    }
    if (parser.app.count("--watch") != 0) {
        options.mode = RunMode::Watch;
    }
    options.simulate = parser.app.count("--simulate") != 0;
    if (!parser.duration.empty()) {
        ParseDecimal(parser.duration, options.durationSeconds);
    }
    if (!parser.interval.empty()) {
        ParseDecimal(parser.interval, options.intervalSeconds);
    }
    if (!parser.format.empty()) {
        options.format = Parser::Formats().at(parser.format);
    }
    if (!parser.color.empty()) {
        options.color = Parser::Colors().at(parser.color);
    }
    if (!parser.logLevel.empty()) {
        options.logLevel = parser.logLevel[0] - '0';
    }
    if (!parser.maxRequests.empty()) {
        ParseScrapeRequests(parser.maxRequests, options.maxRequests);
    }
    // Port 0 asks for any free port, a different one each time.
    std::vector<ListenAddress> seen;
    for (const std::string& text : options.listen) {
        ListenAddress address;
        ParseListenAddress(text, address, error);
        for (const ListenAddress& earlier : seen) {
            if (address.port != 0 && earlier.port == address.port && earlier.host == address.host) {
                error = "--web.listen-address " + text + ": that address is given twice";
                return false;
            }
        }
        seen.push_back(address);
    }
    if (!parser.systemLog.empty()) {
        options.systemLog = Parser::SystemLogModes().at(parser.systemLog);
    }
    if (!parser.timeout.empty()) {
        ParseDecimal(parser.timeout, options.timeoutSeconds);
    }
    options.selection.include.clear();
    options.selection.exclude.clear();
    for (const std::string& glob : options.includeGlobs) {
        options.selection.include.push_back({glob, ""});
    }
    for (const std::string& glob : options.excludeGlobs) {
        options.selection.exclude.push_back({glob, ""});
    }
    error.clear();
    return true;
}

std::vector<std::string> MonitorOptionsGiven(int argc, const char* const* argv) {
    MonitorOptions options;
    Parser parser(options);
    std::vector<std::string> names;
    try {
        parser.app.parse(argc, argv);
    } catch (const CLI::ParseError&) {
        return names;
    }
    for (const CLI::Option* option : parser.app.get_options()) {
        if (option->count() != 0) {
            for (const std::string& name : option->get_lnames()) {
                names.push_back(name);
            }
            for (const std::string& name : option->get_snames()) {
                names.push_back(name);
            }
        }
    }
    return names;
}

bool MonitorOptionRepeatable(const std::string& name) {
    MonitorOptions options;
    Parser parser(options);
    const CLI::Option* option = parser.app.get_option_no_throw("--" + name);
    return option != nullptr &&
           option->get_multi_option_policy() == CLI::MultiOptionPolicy::TakeAll;
}

int UsageExitStatus(int argc, const char* const* argv) {
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--check") == 0) {
            return 3;
        }
    }
    return 64;
}
