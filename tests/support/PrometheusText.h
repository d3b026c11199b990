// Prometheus text expositions as the tests read them: their samples, and
// promtool's verdict where it is installed.
#pragma once

#include <cstdio>
#include <fstream>
#include <map>
#include <sstream>
#include <string>

#include <gtest/gtest.h>

#include "support/process/ShellOutput.h"

// "name{labels} value" lines, keyed by name and labels; comments and empty
// lines skipped.
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

// promtool's verdict on a metrics text: "" when it passes or is missing.
inline std::string PromtoolProblems(const std::string& text) {
    if (!Installed("promtool")) {
        std::printf("promtool not installed: its check is left out\n");
        return "";
    }
    const std::string path = testing::TempDir() + "/svcp-promtool.prom";
    std::ofstream(path) << text;
    int status = 0;
    const std::string report = ShellOutput("promtool check metrics < '" + path + "' 2>&1", &status);
    std::remove(path.c_str());
    return status == 0 && report.empty() ? "" : "promtool: " + report;
}
