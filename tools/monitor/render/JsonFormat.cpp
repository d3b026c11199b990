#include <nlohmann/json.hpp>

#include <charconv>

#include "render/Formats.h"
#include "render/Thresholds.h"
#include "snapshot/NumberText.h"
#include "snapshot/SensorLevel.h"
#include "snapshot/ServiceCodeAdvice.h"
#include "snapshot/TimeText.h"
#include "snapshot/Units.h"

namespace {

using nlohmann::json;

// Unknown SMBIOS values become null rather than a sentinel number.
json Known(int32_t value) {
    return IsKnown(value) ? json(value) : json(nullptr);
}
json KnownUnsigned(uint32_t value) {
    return value == 0x80000000u ? json(nullptr) : json(value);
}

// A value in base units: an integer where it is one (fans: 1980, not
// 1980.0), else the double nearest the exact decimal, which the serialiser
// writes shortest and without regard to the locale (3.05).
json InBaseUnits(int64_t value, int32_t unitModifier) {
    if (unitModifier >= 0) {
        const std::string text = DecimalText(value, unitModifier);
        int64_t integer = 0;
        const std::from_chars_result end =
            std::from_chars(text.data(), text.data() + text.size(), integer);
        if (end.ec == std::errc() && end.ptr == text.data() + text.size()) {
            return integer;
        }
    }
    return DecimalValue(value, unitModifier);
}

json Information(const CSensorInformation& info) {
    json states = json::array();
    for (const std::wstring& state : info.PossibleStates) {
        states.push_back(ToUtf8(state));
    }
    return {
        {"accuracy", Known(info.Accuracy)},
        {"baseUnits", info.BaseUnits},
        {"description", ToUtf8(info.Description)},
        {"hysteresis", info.Hysteresis},
        {"isLinear", info.IsLinear},
        {"lowerThresholdCritical", Known(info.LowerThresholdCritical)},
        {"lowerThresholdFatal", Known(info.LowerThresholdFatal)},
        {"lowerThresholdNonCritical", Known(info.LowerThresholdNonCritical)},
        {"maxReadable", Known(info.MaxReadable)},
        {"minReadable", Known(info.MinReadable)},
        {"nominalReading", Known(info.NominalReading)},
        {"otherSensorTypeDescription", ToUtf8(info.OtherSensorTypeDescription)},
        {"possibleStates", states},
        {"rateUnits", info.RateUnits},
        {"resolution", KnownUnsigned(info.Resolution)},
        {"sensorType", info.SensorType},
        {"unitModifier", info.UnitModifier},
        {"upperThresholdCritical", Known(info.UpperThresholdCritical)},
        {"upperThresholdFatal", Known(info.UpperThresholdFatal)},
        {"upperThresholdNonCritical", Known(info.UpperThresholdNonCritical)},
    };
}

// The six thresholds as ipmitool names them, raw and in base units.
json Thresholds(const CSensorInformation& info) {
    json out = json::object();
    for (const ThresholdField& field : kThresholdFields) {
        const int32_t value = info.*field.member;
        out[field.jsonName] =
            IsKnown(value) ? json{{"raw", value}, {"value", InBaseUnits(value, info.UnitModifier)}}
                           : json(nullptr);
    }
    return out;
}

json Sensor(const SensorSnapshot& sensor) {
    const CSensorInformation& info = sensor.information;
    const bool ok = sensor.readResult == ServiceCode_Success;
    json reading = nullptr;
    if (ok) {
        reading = {
            {"raw", sensor.reading.CurrentReading},
            {"value", InBaseUnits(sensor.reading.CurrentReading, info.UnitModifier)},
            {"unit", UnitSymbol(info.BaseUnits)},
            {"text", FormatValue(sensor.reading.CurrentReading, info)},
        };
    }
    return {
        {"handle", sensor.handle},
        {"id", FormatHandle(sensor.handle)},
        {"kind", ServiceApi::KindName(ServiceApi::HandleKind(sensor.handle))},
        {"description", ToUtf8(info.Description)},
        {"readResult", static_cast<int>(sensor.readResult)},
        {"reading", reading},
        {"state", ok ? json(sensor.reading.CurrentState != 0 ? "critical" : "ok") : json(nullptr)},
        {"stateValue", ok ? json(sensor.reading.CurrentState) : json(nullptr)},
        {"level", LevelName(LevelOf(sensor))},
        {"thresholds", Thresholds(info)},
        {"readAt", FormatUtc(sensor.readAt)},
        {"information", Information(info)},
    };
}

json Led(const LedSnapshot& led) {
    const bool ok = led.readResult == ServiceCode_Success;
    return {
        {"handle", led.handle},
        {"id", FormatHandle(led.handle)},
        {"kind", ServiceApi::KindName(ServiceApi::HandleKind(led.handle))},
        {"description", ToUtf8(led.information.Description)},
        {"bitMap", led.information.BitMap},
        {"readResult", static_cast<int>(led.readResult)},
        {"on", ok ? json(led.reading.State != 0) : json(nullptr)},
        {"readAt", FormatUtc(led.readAt)},
        {"information",
         {{"kind", led.information.Kind},
          {"description", ToUtf8(led.information.Description)},
          {"bitMap", led.information.BitMap}}},
    };
}

json ServiceProcessor(const std::optional<LinkSnapshot>& link) {
    if (!link.has_value()) {
        return nullptr;
    }
    const char* const names[ExchangeKind_Count] = {"voltages", "fans", "temperatures", "leds",
                                                   "alertPoll"};
    json exchanges = json::object();
    for (int kind = 0; kind < ExchangeKind_Count; ++kind) {
        const CExchangeStatus& exchange = link->status.Exchanges[kind];
        const std::optional<std::chrono::system_clock::time_point> last =
            LastResponseAt(*link, kind);
        const uint32_t ageMs = link->status.CurrentTick - exchange.LastResponseTick;
        exchanges[names[kind]] = {
            {"tried", exchange.Tried},
            {"failed", exchange.Failed},
            {"consecutiveFailures", exchange.ConsecutiveFailures},
            {"lastResponse", last ? json(FormatUtc(*last)) : json(nullptr)},
            {"secondsSinceLastResponse", last ? json(DecimalValue(ageMs, -3)) : json(nullptr)},
        };
    }
    return {
        {"answering", Answering(*link)},
        {"pollingThreadRunning", link->status.PollingThreadRunning},
        {"exchanges", exchanges},
    };
}

json Exporter(const Snapshot& snapshot, const ExporterView& view) {
    json alerts = json::array();
    for (const SensorAlert& alert : view.recentAlerts) {
        const SensorSnapshot* sensor = nullptr;
        for (const SensorSnapshot& candidate : snapshot.sensors) {
            if (candidate.handle == alert.handle) {
                sensor = &candidate;
            }
        }
        // The alert carries the service processor's value: for voltages and
        // temperatures ReadSensor reports ten times it.
        const unsigned long kind = ServiceApi::HandleKind(alert.handle);
        const int64_t inReadUnits =
            static_cast<int64_t>(alert.raw) * (kind == HandleKind_Fan ? 1 : 10);
        json reading = nullptr;
        if (sensor != nullptr) {
            const CSensorInformation& info = sensor->information;
            reading = {{"raw", alert.raw},
                       {"value", InBaseUnits(inReadUnits, info.UnitModifier)},
                       {"unit", UnitSymbol(info.BaseUnits)},
                       {"text", FormatValue(inReadUnits, info)}};
        }
        alerts.push_back({
            {"time", FormatUtc(alert.at)},
            {"id", FormatHandle(alert.handle)},
            {"kind", ServiceApi::KindName(kind)},
            {"description",
             sensor != nullptr ? json(ToUtf8(sensor->information.Description)) : json(nullptr)},
            {"state", alert.asserted ? "asserted" : "cleared"},
            {"reading", reading},
        });
    }
    return {
        {"up", view.up},
        {"stale", view.stale},
        {"snapshotAgeSeconds",
         view.snapshotAgeSeconds ? json(*view.snapshotAgeSeconds) : json(nullptr)},
        {"collectionRunningSeconds", view.collectionRunningSeconds},
        {"recentAlerts", alerts},
    };
}

json Document(const Snapshot& snapshot) {
    const ServiceCodeAdvice text = DescribeServiceCode(snapshot.startup);
    json document = {
        {"format", "svcproc-monitor"},
        {"version", kJsonFormatVersion},
        {"time", FormatUtc(snapshot.takenAt)},
        {"startup",
         {{"result", static_cast<int>(snapshot.startup)},
          {"name", text.name},
          {"meaning", text.meaning},
          {"advice", text.advice}}},
        {"serviceProcessor", ServiceProcessor(snapshot.link)},
        {"machine", snapshot.machine
                        ? json{{"biosVersion", snapshot.machine->biosVersion},
                               {"serviceProcessor", snapshot.machine->serviceProcessor}}
                        : json(nullptr)},
        {"sensors", json::array()},
        {"leds", json::array()},
    };
    for (const SensorSnapshot& sensor : snapshot.sensors) {
        document["sensors"].push_back(Sensor(sensor));
    }
    for (const LedSnapshot& led : snapshot.leds) {
        document["leds"].push_back(Led(led));
    }
    return document;
}

std::string Dump(const json& document, JsonLayout layout) {
    // Compact: one document per line (NDJSON); strings are escaped, so no
    // line feed can appear inside one.
    return (layout == JsonLayout::Compact ? document.dump() : document.dump(2)) + "\n";
}

}  // namespace

std::string RenderJson(const Snapshot& snapshot, JsonLayout layout) {
    return Dump(Document(snapshot), layout);
}

std::string RenderJson(const Snapshot& snapshot, const ExporterView& exporter, JsonLayout layout) {
    json document = Document(snapshot);
    document["exporter"] = Exporter(snapshot, exporter);
    return Dump(document, layout);
}
