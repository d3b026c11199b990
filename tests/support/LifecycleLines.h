// Of the library's log lines, those of its load and unload in order: the
// objects' construction and destruction and the polling thread's stop.
// The I/O unit's construction line carries an address; it is cut off.
#pragma once

#include <string>
#include <vector>

inline std::vector<std::string> LifecycleLines(const std::vector<std::string>& texts) {
    std::vector<std::string> lines;
    for (const std::string& text : texts) {
        if (text.find(" Constructed") != std::string::npos ||
            text.find(" Destroyed") != std::string::npos ||
            text.find(" destroyed") != std::string::npos ||
            text.rfind("CPollingThread::Terminate", 0) == 0) {
            lines.push_back(text.rfind("CIOUnit Constructed", 0) == 0 ? "CIOUnit Constructed"
                                                                      : text);
        }
    }
    return lines;
}

// A load's construction lines, in order.
inline const std::vector<std::string> kLoadLines = {
    "CVoltageMap Constructed", "CFanMap Constructed",           "CTemperatureMap Constructed",
    "CLedMap Constructed",     "CDataCache Constructed",        "CPollingThread Constructed",
    "CIOUnit Constructed",     "CServiceProcessor Constructed", "CServiceManager Constructed"};

// An unload's destruction lines, in order; after a start-up the polling
// thread is stopped before the I/O unit goes.
inline std::vector<std::string> UnloadLines(bool afterStartUp) {
    std::vector<std::string> lines = {"CServiceManager Destroyed", "CServiceProcessor Destroyed"};
    if (afterStartUp) {
        lines.insert(lines.end(), {"CPollingThread::Terminate entered",
                                   "CPollingThread::Terminate - Thread terminated"});
    }
    lines.insert(lines.end(),
                 {"CIOUnit Destroyed", "CPollingThread Destroyed", "CDataCache Destroyed",
                  "CLedMap destroyed", "CTemperatureMap Destroyed", "CFanMap Destroyed",
                  "CVoltageMap Destroyed"});
    return lines;
}
