#include "check/PerfData.h"

#include "snapshot/NumberText.h"
#include "snapshot/Units.h"

std::string PerfLabel(const std::string& text) {
    std::string label = "'";
    for (const char c : text) {
        if (c == '\'') {
            label += "''";
        } else if (c == '=') {
            label += '_';
        } else if (c == '|') {
            label += '/';
        } else if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) {
            label += ' ';
        } else {
            label += c;
        }
    }
    return label + "'";
}

std::string PerfNumber(int64_t value, int32_t exponent) {
    const std::string text = DecimalText(value, exponent);
    return text.find('e') == std::string::npos ? text : std::string();
}

std::string PerfRange(int32_t low, int32_t high, int32_t exponent) {
    const std::string lowText = IsKnown(low) ? PerfNumber(low, exponent) : "";
    const std::string highText = IsKnown(high) ? PerfNumber(high, exponent) : "";
    if (lowText.empty() && highText.empty()) {
        return "";
    }
    if (lowText.empty()) {
        return "~:" + highText;
    }
    return lowText + ":" + highText;
}

std::string SensorPerfData(const SensorSnapshot& sensor, const std::string& label) {
    const CSensorInformation& info = sensor.information;
    const int32_t exponent = info.UnitModifier;
    auto either = [](int32_t first, int32_t second) { return IsKnown(first) ? first : second; };
    std::string value = sensor.readResult == ServiceCode_Success
                            ? PerfNumber(sensor.reading.CurrentReading, exponent)
                            : std::string();
    const std::string fields[] = {
        value.empty() ? "U" : value,
        PerfRange(info.LowerThresholdNonCritical, info.UpperThresholdNonCritical, exponent),
        PerfRange(either(info.LowerThresholdCritical, info.LowerThresholdFatal),
                  either(info.UpperThresholdCritical, info.UpperThresholdFatal), exponent),
        IsKnown(info.MinReadable) ? PerfNumber(info.MinReadable, exponent) : "",
        IsKnown(info.MaxReadable) ? PerfNumber(info.MaxReadable, exponent) : "",
    };
    size_t used = std::size(fields);
    while (used > 1 && fields[used - 1].empty()) {
        --used;
    }
    std::string out = PerfLabel(label) + "=" + fields[0];
    for (size_t i = 1; i < used; ++i) {
        out += ";" + fields[i];
    }
    return out;
}
