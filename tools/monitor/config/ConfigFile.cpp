#include "config/ConfigFile.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <set>

#include <yaml-cpp/yaml.h>

#include "run/BoundedFile.h"
#include "run/CommandLine.h"

namespace {

// The keys of the file that are not options.
const char* const kSensorsKey = "sensors";
// Options that make no sense from a file.
const std::set<std::string> kRefusedOptions = {"help", "version", "config.file"};
const std::set<std::string> kKinds = {"voltage", "fan", "temperature", "led"};
constexpr size_t kMaxNameBytes = 256;
constexpr size_t kMaxOptionValues = 64;  // a repeated option's list

// Thrown with a node's place and a reason; caught once at the top.
struct ConfigError {
    YAML::Mark mark;
    std::string reason;
};

[[noreturn]] void Refuse(const YAML::Node& node, const std::string& reason) {
    throw ConfigError{node.Mark(), reason};
}

std::string Where(const std::string& path, const YAML::Mark& mark) {
    if (mark.is_null()) {
        return path;
    }
    return path + ":" + std::to_string(mark.line + 1) + ":" + std::to_string(mark.column + 1);
}

std::string Scalar(const YAML::Node& node, const std::string& what) {
    if (!node.IsScalar()) {
        Refuse(node, what + ": expected a single value");
    }
    return node.Scalar();
}

SelectionRule Rule(const YAML::Node& node, const std::set<std::string>& keys,
                   std::string* to = nullptr) {
    if (!node.IsMap()) {
        Refuse(node, "expected a map such as {description: \"CPU*\"} or {kind: fan}");
    }
    SelectionRule rule;
    for (const auto& entry : node) {
        const std::string key = Scalar(entry.first, "a key");
        if (keys.count(key) == 0) {
            Refuse(entry.first, "unknown key '" + key + "'");
        }
        const std::string value = Scalar(entry.second, key);
        std::string error;
        if (key == "description") {
            if (!ValidGlob(value, error)) {
                Refuse(entry.second, "description: " + error);
            }
            rule.description = value;
        } else if (key == "kind") {
            if (kKinds.count(value) == 0) {
                Refuse(entry.second,
                       "kind: expected voltage, fan, temperature or led, not '" + value + "'");
            }
            rule.kind = value;
        } else {
            const bool control = std::any_of(value.begin(), value.end(), [](char c) {
                return static_cast<unsigned char>(c) < 0x20 || c == 0x7F;
            });
            if (value.empty() || value.size() > kMaxNameBytes || control) {
                Refuse(entry.second, "to: expected 1 to " + std::to_string(kMaxNameBytes) +
                                         " bytes without control characters");
            }
            *to = value;
        }
    }
    if (rule.description.empty() && rule.kind.empty()) {
        Refuse(node, "a rule needs a description, a kind or both");
    }
    if (to != nullptr && to->empty()) {
        Refuse(node, "a rename needs 'to'");
    }
    return rule;
}

template <typename Add>
void Rules(const YAML::Node& node, const std::string& what, Add add) {
    if (!node.IsSequence()) {
        Refuse(node, what + ": expected a list of rules");
    }
    if (node.size() > kMaxSelectionRules) {
        Refuse(node, what + ": at most " + std::to_string(kMaxSelectionRules) + " rules");
    }
    for (const YAML::Node& item : node) {
        add(item);
    }
}

SensorSelection Sensors(const YAML::Node& node) {
    if (!node.IsMap()) {
        Refuse(node, "sensors: expected a map with include, exclude or rename");
    }
    SensorSelection selection;
    std::set<std::string> targets;
    std::set<std::string> seen;
    for (const auto& entry : node) {
        const std::string key = Scalar(entry.first, "a key");
        if (!seen.insert(key).second) {
            Refuse(entry.first, "sensors: '" + key + "' is given twice");
        }
        if (key == "include" || key == "exclude") {
            std::vector<SelectionRule>& rules =
                key == "include" ? selection.include : selection.exclude;
            Rules(entry.second, key, [&](const YAML::Node& item) {
                rules.push_back(Rule(item, {"description", "kind"}));
            });
        } else if (key == "rename") {
            Rules(entry.second, key, [&](const YAML::Node& item) {
                RenameRule rename;
                rename.match = Rule(item, {"description", "kind", "to"}, &rename.to);
                if (!targets.insert(rename.to).second) {
                    Refuse(item,
                           "rename: '" + rename.to + "' is already the name of another rename");
                }
                selection.rename.push_back(rename);
            });
        } else {
            Refuse(entry.first,
                   "sensors: unknown key '" + key + "' (expected include, exclude or rename)");
        }
    }
    return selection;
}

ConfigOption Option(const std::string& key, const YAML::Node& value) {
    ConfigOption option;
    option.key = key;
    auto one = [&](const YAML::Node& item) {
        const std::string text = Scalar(item, key);
        if (text == "true") {
            option.arguments.push_back("--" + key);
        } else if (text != "false") {
            option.arguments.push_back("--" + key + "=" + text);
        }
    };
    if (value.IsSequence()) {
        if (value.size() > 1 && !MonitorOptionRepeatable(key)) {
            Refuse(value, key + ": expected a single value");
        }
        if (value.size() > kMaxOptionValues) {
            Refuse(value, key + ": at most " + std::to_string(kMaxOptionValues) + " values");
        }
        for (const YAML::Node& item : value) {
            one(item);
        }
    } else {
        one(value);
    }
    return option;
}

// The long and short names of the options the command line gives.
std::set<std::string> GivenOnCommandLine(int argc, const char* const* argv) {
    std::set<std::string> given;
    for (const std::string& name : MonitorOptionsGiven(argc, argv)) {
        given.insert(name);
    }
    return given;
}

}  // namespace

bool ParseMonitorConfig(const std::string& text, const std::string& path, MonitorConfig& config,
                        std::string& error) {
    config = MonitorConfig();
    try {
        const YAML::Node root = YAML::Load(text);
        if (root.IsNull()) {
            return true;  // an empty file
        }
        if (!root.IsMap()) {
            Refuse(root, "expected a map of keys (sensors, and options such as interval)");
        }
        std::set<std::string> seen;
        for (const auto& entry : root) {
            const std::string key = Scalar(entry.first, "a key");
            if (!seen.insert(key).second) {
                Refuse(entry.first, "'" + key + "' is given twice");
            }
            if (key == kSensorsKey) {
                config.selection = Sensors(entry.second);
                continue;
            }
            if (kRefusedOptions.count(key) != 0 || key.rfind('-', 0) == 0) {
                Refuse(entry.first, "'" + key + "' cannot be given in a file");
            }
            if (entry.second.IsMap()) {
                Refuse(entry.second, key + ": expected a value or a list of values");
            }
            ConfigOption option = Option(key, entry.second);
            option.where = Where(path, entry.first.Mark());
            config.options.push_back(option);
        }
    } catch (const ConfigError& e) {
        error = Where(path, e.mark) + ": " + e.reason;
        return false;
    } catch (const YAML::Exception& e) {
        error = Where(path, e.mark) + ": " + e.msg;
        return false;
    }
    return true;
}

bool LoadMonitorConfig(const std::string& path, MonitorConfig& config, std::string& error) {
    std::string text;
    return ReadBoundedFile(path, kMaxConfigFileBytes, text, error) &&
           ParseMonitorConfig(text, path, config, error);
}

bool ApplyMonitorConfig(const MonitorConfig& config, int argc, const char* const* argv,
                        MonitorOptions& options, std::string& error) {
    const std::set<std::string> given = GivenOnCommandLine(argc, argv);
    std::vector<std::string> arguments = {argc > 0 ? argv[0] : "svcproc-monitor"};
    for (const ConfigOption& option : config.options) {
        if (given.count(option.key) == 0) {
            arguments.insert(arguments.end(), option.arguments.begin(), option.arguments.end());
        }
    }
    for (int i = 1; i < argc; ++i) {
        arguments.push_back(argv[i]);
    }
    std::vector<const char*> combined;
    for (const std::string& argument : arguments) {
        combined.push_back(argument.c_str());
    }
    MonitorOptions merged;
    if (!ParseMonitorOptions(static_cast<int>(combined.size()), combined.data(), merged, error)) {
        // Name the file's line when one option of it is wrong by itself.
        for (const ConfigOption& option : config.options) {
            std::vector<const char*> alone = {combined[0]};
            for (const std::string& argument : option.arguments) {
                alone.push_back(argument.c_str());
            }
            MonitorOptions ignored;
            std::string reason;
            if (given.count(option.key) == 0 &&
                !ParseMonitorOptions(static_cast<int>(alone.size()), alone.data(), ignored,
                                     reason) &&
                reason.find("requires") == std::string::npos) {
                error = option.where + ": " +
                        (reason.find("not expected") != std::string::npos
                             ? "unknown key '" + option.key + "'"
                             : option.key + ": " + reason);
                return false;
            }
        }
        error = "with " + options.configFile + ": " + error;
        return false;
    }
    const SensorSelection& file = config.selection;
    if (merged.includeGlobs.empty()) {
        merged.selection.include = file.include;
    }
    if (merged.excludeGlobs.empty()) {
        merged.selection.exclude = file.exclude;
    }
    merged.selection.rename = file.rename;
    options = merged;
    return true;
}
