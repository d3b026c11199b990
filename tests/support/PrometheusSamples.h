// The samples of a Prometheus text exposition: "name{labels} value" lines,
// keyed by name and labels; comments and empty lines skipped.
#pragma once

#include <map>
#include <sstream>
#include <string>

inline std::map<std::string, double> PrometheusSamples(const std::string& text) {
    std::map<std::string, double> samples;
    std::istringstream lines(text);
    std::string line;
    while (std::getline(lines, line)) {
        if (line.empty() || line[0] == '#') {
            continue;
        }
        const size_t space = line.rfind(' ');
        samples[line.substr(0, space)] = std::stod(line.substr(space + 1));
    }
    return samples;
}
