// Prometheus text expositions as the tests read them: their samples, and
// promtool's verdict where it is installed.
#pragma once

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
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
    // A name of its own: tests run in parallel processes, each checking its
    // own text.
    std::string path = testing::TempDir() + "/svcp-promtool-XXXXXX";
    const int fd = mkstemp(path.data());
    if (fd < 0) {
        return "promtool: no temporary file for the text";
    }
    const bool written = write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
    close(fd);
    int status = 0;
    const std::string report =
        written ? ShellOutput("promtool check metrics < '" + path + "' 2>&1", &status)
                : "the text could not be written";
    std::remove(path.c_str());
    return status == 0 && report.empty() ? "" : "promtool: " + report;
}
