#include "check/CheckReport.h"

#include <set>
#include <vector>

#include "check/PerfData.h"
#include "snapshot/SensorLevel.h"
#include "snapshot/ServiceCodeAdvice.h"
#include "snapshot/Units.h"

namespace {

// Text an agent shows as is: a '|' would start the performance data and a
// line feed a new line, so neither comes from a description.
std::string Plain(const std::string& text) {
    std::string out = text;
    for (char& c : out) {
        if (c == '|') {
            c = '/';
        } else if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) {
            c = ' ';
        }
    }
    return out;
}

std::string ReadingText(const SensorSnapshot& sensor) {
    return sensor.readResult == ServiceCode_Success
               ? FormatValue(sensor.reading.CurrentReading, sensor.information)
               : "read failed";
}

CheckStatus StatusOf(SensorLevel level, bool warningOnly) {
    switch (level) {
        case SensorLevel::Ok:
            return Check_Ok;
        case SensorLevel::Warning:
            return Check_Warning;
        case SensorLevel::Critical:
            break;
    }
    return warningOnly ? Check_Warning : Check_Critical;
}

}  // namespace

const char* CheckStatusName(CheckStatus status) {
    switch (status) {
        case Check_Ok:
            return "OK";
        case Check_Warning:
            return "WARNING";
        case Check_Critical:
            return "CRITICAL";
        case Check_Unknown:
            break;
    }
    return "UNKNOWN";
}

CheckResult UnknownResult(const std::string& reason) {
    return {Check_Unknown, "SVCPROC UNKNOWN - " + Plain(reason) + "\n"};
}

CheckResult ReportCheck(const Snapshot& snapshot, const CheckStyle& style) {
    if (snapshot.startup != ServiceCode_Success) {
        const ServiceCodeAdvice advice = DescribeServiceCode(snapshot.startup);
        return UnknownResult("start-up failed with " +
                             std::to_string(static_cast<int>(snapshot.startup)) + " (" +
                             advice.name + "): " + advice.meaning);
    }
    if (!Up(snapshot)) {
        return UnknownResult("the service processor does not answer");
    }
    if (snapshot.sensors.empty()) {
        return UnknownResult("no sensor to check");
    }
    CheckStatus worst = Check_Ok;
    std::vector<std::string> troubles;
    std::string perfData;
    std::string details;
    std::set<std::string> labels;
    for (const SensorSnapshot& sensor : snapshot.sensors) {
        const std::string description = ToUtf8(sensor.information.Description);
        const SensorLevel level = LevelOf(sensor);
        const CheckStatus status = StatusOf(level, style.warningOnly);
        worst = std::max(worst, status);
        const std::string reading = ReadingText(sensor);
        if (status != Check_Ok) {
            // Named as the status says: with --warning-only a critical
            // sensor reads "warning" too.
            troubles.push_back(Plain(description) + " " +
                               (status == Check_Critical ? "critical" : "warning") + " (" +
                               reading + ")");
        }
        // Labels must be unique for graphing; a repeated description takes
        // its handle.
        std::string label = description;
        if (!labels.insert(label).second) {
            label += " " + FormatHandle(sensor.handle);
            labels.insert(label);
        }
        perfData += (perfData.empty() ? "" : " ") + SensorPerfData(sensor, label);
        details += Plain(description) + ": " + LevelName(level) + ", " + reading + "\n";
    }
    for (const LedSnapshot& led : snapshot.leds) {
        details += "LED " + Plain(ToUtf8(led.information.Description)) + ": " +
                   (led.readResult != ServiceCode_Success ? "read failed"
                    : led.reading.State != 0              ? "on"
                                                          : "off") +
                   "\n";
    }
    std::string summary;
    for (const std::string& trouble : troubles) {
        summary += (summary.empty() ? "" : ", ") + trouble;
    }
    if (summary.empty()) {
        summary = std::to_string(snapshot.sensors.size()) + " sensors ok";
    }
    CheckResult result;
    result.status = worst;
    result.text = std::string("SVCPROC ") + CheckStatusName(worst) + " - " + summary + " | " +
                  perfData + "\n" + (style.verbose ? details : "");
    return result;
}
