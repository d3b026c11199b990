#include <chrono>
#include <string>
#include <vector>

#include "render/Formats.h"
#include "render/Thresholds.h"
#include "svcproc/api/HandleKindName.h"
#include "snapshot/NumberText.h"
#include "snapshot/SensorLevel.h"
#include "snapshot/Units.h"
#include "svcp_version.h"

namespace {

struct Family {
    std::string name;
    std::string type;  // "gauge" or "counter"
    std::string help;
    std::vector<std::string> samples;  // "{labels} value" or " value"
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

std::string Labels(unsigned long handle, const std::wstring& description,
                   const char* extraName = nullptr, const char* extraValue = nullptr) {
    std::string labels =
        "{id=\"" + FormatHandle(handle) + "\",name=\"" + EscapeLabel(ToUtf8(description)) + "\"";
    if (extraName != nullptr) {
        labels += std::string(",") + extraName + "=\"" + extraValue + "\"";
    }
    return labels + "}";
}

// A series across sensor kinds carries the kind as a label of its own.
std::string SensorLabels(const SensorSnapshot& sensor) {
    return "{id=\"" + FormatHandle(sensor.handle) + "\",kind=\"" +
           ServiceApi::KindName(ServiceApi::HandleKind(sensor.handle)) + "\",name=\"" +
           EscapeLabel(ToUtf8(sensor.information.Description)) + "\"}";
}

// The metric names of one sensor kind: value, state and thresholds.
struct KindFamilies {
    Family value;
    Family state;
    Family threshold;
};

KindFamilies MakeKind(const char* stem, const char* unit, const char* what) {
    const std::string base = std::string("svcproc_") + stem;
    return {{base + "_" + unit, "gauge", std::string(what) + " reading in " + unit + ".", {}},
            {base + "_state", "gauge", std::string(what) + " alert state (0 Ok, 1 Critical).", {}},
            {base + "_threshold_" + unit,
             "gauge",
             std::string(what) + " thresholds in " + unit + " (unknown ones are not exported).",
             {}}};
}

void AddSensor(KindFamilies& families, const SensorSnapshot& sensor) {
    const CSensorInformation& info = sensor.information;
    if (sensor.readResult == ServiceCode_Success) {
        families.value.samples.push_back(
            Labels(sensor.handle, info.Description) + " " +
            DecimalText(sensor.reading.CurrentReading, info.UnitModifier));
        families.state.samples.push_back(Labels(sensor.handle, info.Description) + " " +
                                         (sensor.reading.CurrentState != 0 ? "1" : "0"));
    }
    for (const ThresholdField& field : kThresholdFields) {
        const int32_t value = info.*field.member;
        if (IsKnown(value)) {
            families.threshold.samples.push_back(
                Labels(sensor.handle, info.Description, "threshold", field.metricLabel) + " " +
                DecimalText(value, info.UnitModifier));
        }
    }
}

// A family without samples is left out: nothing to say, and some parsers
// frown on a bare TYPE line.
void Write(std::string& out, const Family& family) {
    if (family.samples.empty()) {
        return;
    }
    out += "# HELP " + family.name + " " + family.help + "\n";
    out += "# TYPE " + family.name + " " + family.type + "\n";
    for (const std::string& sample : family.samples) {
        out += family.name + sample + "\n";
    }
}

std::string Value(bool value) {
    return value ? " 1" : " 0";
}

// The link's counters by exchange kind.
void WriteLink(std::string& out, const LinkSnapshot& link) {
    const char* const kinds[ExchangeKind_Count] = {"voltages", "fans", "temperatures", "leds",
                                                   "alert_poll"};
    Family tried{"svcproc_exchanges_total",
                 "counter",
                 "Exchanges with the service processor since start-up, by kind.",
                 {}};
    Family failed{"svcproc_exchange_failures_total",
                  "counter",
                  "Exchanges that failed (driver call failed or response rejected), by kind.",
                  {}};
    Family consecutive{"svcproc_exchange_consecutive_failures",
                       "gauge",
                       "Failures since the last accepted response, by kind (0 while answering).",
                       {}};
    Family last{"svcproc_last_response_timestamp_seconds",
                "gauge",
                "Unix time of the last accepted response, by kind (absent before the first).",
                {}};
    for (int kind = 0; kind < ExchangeKind_Count; ++kind) {
        const CExchangeStatus& exchange = link.status.Exchanges[kind];
        const std::string labels = std::string("{kind=\"") + kinds[kind] + "\"} ";
        tried.samples.push_back(labels + IntegerText(exchange.Tried));
        failed.samples.push_back(labels + IntegerText(exchange.Failed));
        consecutive.samples.push_back(
            labels + IntegerText(static_cast<uint64_t>(exchange.ConsecutiveFailures)));
        if (const auto at = LastResponseAt(link, kind)) {
            const auto sinceEpoch =
                std::chrono::duration_cast<std::chrono::milliseconds>(at->time_since_epoch());
            last.samples.push_back(labels +
                                   DecimalText(static_cast<int64_t>(sinceEpoch.count()), -3));
        }
    }
    Write(out, tried);
    Write(out, failed);
    Write(out, consecutive);
    Write(out, last);
    Write(out, {"svcproc_polling_thread_running",
                "gauge",
                "Whether the library's alert polling thread runs (1) or not (0).",
                {Value(link.status.PollingThreadRunning)}});
}

// Every sensor of the inventory has a counter from the start, so that rate()
// sees its first change; the time only once there was one.
void WriteChanges(std::string& out, const Snapshot& snapshot, const SensorChanges& changes) {
    Family total{"svcproc_sensor_state_changes_total",
                 "counter",
                 "Alerts (asserted or cleared) this process received for the sensor since it "
                 "started listening.",
                 {}};
    Family last{"svcproc_sensor_last_change_timestamp_seconds",
                "gauge",
                "Unix time of the latest alert this process received for the sensor (absent "
                "before the first).",
                {}};
    for (const SensorSnapshot& sensor : snapshot.sensors) {
        const auto found = changes.find(sensor.handle);
        const SensorChange change = found != changes.end() ? found->second : SensorChange{};
        total.samples.push_back(SensorLabels(sensor) + " " + IntegerText(change.count));
        if (change.last) {
            const auto sinceEpoch = std::chrono::duration_cast<std::chrono::milliseconds>(
                change.last->time_since_epoch());
            last.samples.push_back(SensorLabels(sensor) + " " +
                                   DecimalText(static_cast<int64_t>(sinceEpoch.count()), -3));
        }
    }
    Write(out, total);
    Write(out, last);
}

std::string Render(const Snapshot& snapshot, bool up, const SensorChanges* changes) {
    std::string out;
    Write(out, {"svcproc_up",
                "gauge",
                "Whether the library started up and the service processor answers (1) or not (0).",
                {Value(up)}});
    Write(out, {"svcproc_startup_result",
                "gauge",
                "Result code of the library's start-up (0 success, 2-6 failures).",
                {" " + IntegerText(static_cast<int64_t>(snapshot.startup))}});
    Write(out,
          {"svcproc_build_info",
           "gauge",
           "The monitor's version, source revision and compiler, as labels; always 1.",
           {std::string("{version=\"") + EscapeLabel(SVCP_VERSION_TEXT) + "\",revision=\"" +
            EscapeLabel(SVCP_REVISION) + "\",compiler=\"" + EscapeLabel(SVCP_COMPILER) + "\"} 1"}});
    if (snapshot.machine) {
        Write(out, {"svcproc_machine_info",
                    "gauge",
                    "The BIOS version and the service processor's description from SMBIOS, as "
                    "labels; always 1.",
                    {"{bios_version=\"" + EscapeLabel(snapshot.machine->biosVersion) +
                     "\",service_processor=\"" + EscapeLabel(snapshot.machine->serviceProcessor) +
                     "\"} 1"}});
    }
    Write(out, {"svcproc_scrape_duration_seconds",
                "gauge",
                "How long taking the readings and the link status took, in seconds.",
                {" " + DoubleText(snapshot.refreshDuration.count())}});
    if (snapshot.link.has_value()) {
        WriteLink(out, *snapshot.link);
    }
    if (snapshot.startup != ServiceCode_Success) {
        return out;
    }

    KindFamilies voltage = MakeKind("voltage", "volts", "Voltage sensor");
    KindFamilies fan = MakeKind("fan_speed", "rpm", "Fan speed sensor");
    KindFamilies temperature = MakeKind("temperature", "celsius", "Temperature sensor");
    Family level{"svcproc_sensor_level",
                 "gauge",
                 "Sensor level as the JSON output judges it (0 ok, 1 warning, 2 critical).",
                 {}};
    for (const SensorSnapshot& sensor : snapshot.sensors) {
        level.samples.push_back(SensorLabels(sensor) + " " +
                                IntegerText(static_cast<int64_t>(LevelOf(sensor))));
        switch (ServiceApi::HandleKind(sensor.handle)) {
            case HandleKind_Voltage:
                AddSensor(voltage, sensor);
                break;
            case HandleKind_Fan:
                AddSensor(fan, sensor);
                break;
            case HandleKind_Temperature:
                AddSensor(temperature, sensor);
                break;
            default:
                break;
        }
    }
    Family led{"svcproc_led_on", "gauge", "LED state (1 on, 0 off).", {}};
    for (const LedSnapshot& entry : snapshot.leds) {
        if (entry.readResult == ServiceCode_Success) {
            led.samples.push_back(Labels(entry.handle, entry.information.Description) +
                                  Value(entry.reading.State != 0));
        }
    }
    for (KindFamilies* kind : {&voltage, &fan, &temperature}) {
        Write(out, kind->value);
        Write(out, kind->state);
        Write(out, kind->threshold);
    }
    Write(out, level);
    if (changes != nullptr) {
        WriteChanges(out, snapshot, *changes);
    }
    Write(out, led);
    return out;
}

}  // namespace

std::string RenderPrometheus(const Snapshot& snapshot) {
    return RenderPrometheus(snapshot, Up(snapshot));
}

std::string RenderPrometheus(const Snapshot& snapshot, bool up) {
    return Render(snapshot, up, nullptr);
}

std::string RenderPrometheus(const Snapshot& snapshot, bool up, const SensorChanges& changes) {
    return Render(snapshot, up, &changes);
}
