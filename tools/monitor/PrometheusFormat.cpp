#include <cstdio>
#include <string>
#include <vector>

#include "Formats.h"
#include "Units.h"

namespace {

struct Family {
    std::string name;
    std::string help;
    std::vector<std::string> samples;  // "{labels} value"
};

std::string EscapeLabel(const std::string& value) {
    std::string out;
    for (char c : value) {
        switch (c) {
            case '\\':
                out += "\\\\";
                break;
            case '"':
                out += "\\\"";
                break;
            case '\n':
                out += "\\n";
                break;
            default:
                out += c;
        }
    }
    return out;
}

std::string Number(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%.10g", value);
    return text;
}

std::string Labels(unsigned long handle, const std::wstring& description,
                   const char* extraName = nullptr, const char* extraValue = nullptr) {
    std::string labels =
        "{id=\"" + FormatHandle(handle) + "\",name=\"" + EscapeLabel(ToUtf8(description)) + "\"";
    if (extraName != nullptr) {
        labels += std::string(",") + extraName + "=\"" + extraValue + "\"";
    }
    return labels + "}";
}

// The metric names of one sensor kind: value, state and thresholds.
struct KindFamilies {
    Family value;
    Family state;
    Family threshold;
};

KindFamilies MakeKind(const char* stem, const char* unit, const char* what) {
    const std::string base = std::string("svcproc_") + stem;
    return {{base + "_" + unit, std::string(what) + " reading in " + unit + ".", {}},
            {base + "_state", std::string(what) + " alert state (0 Ok, 1 Critical).", {}},
            {base + "_threshold_" + unit,
             std::string(what) + " thresholds in " + unit + " (unknown ones are not exported).",
             {}}};
}

void AddSensor(KindFamilies& families, const SensorSnapshot& sensor) {
    const CSensorInformation& info = sensor.information;
    if (sensor.readResult == ServiceCode_Success) {
        families.value.samples.push_back(
            Labels(sensor.handle, info.Description) + " " +
            Number(ToBaseUnits(sensor.reading.CurrentReading, info.UnitModifier)));
        families.state.samples.push_back(Labels(sensor.handle, info.Description) + " " +
                                         (sensor.reading.CurrentState != 0 ? "1" : "0"));
    }
    const struct {
        const char* name;
        int32_t value;
    } thresholds[] = {
        {"lower_non_recoverable", info.LowerThresholdFatal},
        {"lower_critical", info.LowerThresholdCritical},
        {"lower_non_critical", info.LowerThresholdNonCritical},
        {"upper_non_critical", info.UpperThresholdNonCritical},
        {"upper_critical", info.UpperThresholdCritical},
        {"upper_non_recoverable", info.UpperThresholdFatal},
    };
    for (const auto& threshold : thresholds) {
        if (IsKnown(threshold.value)) {
            families.threshold.samples.push_back(
                Labels(sensor.handle, info.Description, "threshold", threshold.name) + " " +
                Number(ToBaseUnits(threshold.value, info.UnitModifier)));
        }
    }
}

void Write(std::string& out, const Family& family) {
    out += "# HELP " + family.name + " " + family.help + "\n";
    out += "# TYPE " + family.name + " gauge\n";
    for (const std::string& sample : family.samples) {
        out += family.name + sample + "\n";
    }
}

}  // namespace

std::string RenderPrometheus(const Snapshot& snapshot) {
    std::string out;
    Write(out, {"svcproc_up",
                "Whether the svcproc library started up (1) or not (0).",
                {std::string(" ") + (snapshot.startup == ServiceCode_Success ? "1" : "0")}});
    Write(out, {"svcproc_startup_result",
                "Result code of the library's start-up (0 success, 2-6 failures).",
                {" " + std::to_string(static_cast<int>(snapshot.startup))}});

    KindFamilies voltage = MakeKind("voltage", "volts", "Voltage sensor");
    KindFamilies fan = MakeKind("fan_speed", "rpm", "Fan speed sensor");
    KindFamilies temperature = MakeKind("temperature", "celsius", "Temperature sensor");
    for (const SensorSnapshot& sensor : snapshot.sensors) {
        switch (KindOfHandle(sensor.handle)) {
            case SensorKind::Voltage:
                AddSensor(voltage, sensor);
                break;
            case SensorKind::Fan:
                AddSensor(fan, sensor);
                break;
            case SensorKind::Temperature:
                AddSensor(temperature, sensor);
                break;
            case SensorKind::Unknown:
                break;
        }
    }
    Family led{"svcproc_led_on", "LED state (1 on, 0 off).", {}};
    for (const LedSnapshot& entry : snapshot.leds) {
        if (entry.readResult == ServiceCode_Success) {
            led.samples.push_back(Labels(entry.handle, entry.information.Description) + " " +
                                  (entry.reading.State != 0 ? "1" : "0"));
        }
    }
    if (snapshot.startup == ServiceCode_Success) {
        for (KindFamilies* kind : {&voltage, &fan, &temperature}) {
            Write(out, kind->value);
            Write(out, kind->state);
            Write(out, kind->threshold);
        }
        Write(out, led);
    }
    return out;
}
