#include <nlohmann/json.hpp>

#include "Formats.h"
#include "ServiceCodeText.h"
#include "TimeText.h"
#include "Units.h"

namespace {

using nlohmann::json;

// Unknown SMBIOS values become null rather than a sentinel number.
json Known(int32_t value) {
    return IsKnown(value) ? json(value) : json(nullptr);
}
json KnownUnsigned(uint32_t value) {
    return value == 0x80000000u ? json(nullptr) : json(value);
}

json Information(const CSensorInformation& info) {
    json states = json::array();
    for (const std::wstring& state : info.PossibleStates) {
        states.push_back(ToUtf8(state));
    }
    return {
        {"Accuracy", Known(info.Accuracy)},
        {"BaseUnits", info.BaseUnits},
        {"Description", ToUtf8(info.Description)},
        {"Hysteresis", info.Hysteresis},
        {"IsLinear", info.IsLinear},
        {"LowerThresholdCritical", Known(info.LowerThresholdCritical)},
        {"LowerThresholdFatal", Known(info.LowerThresholdFatal)},
        {"LowerThresholdNonCritical", Known(info.LowerThresholdNonCritical)},
        {"MaxReadable", Known(info.MaxReadable)},
        {"MinReadable", Known(info.MinReadable)},
        {"NominalReading", Known(info.NominalReading)},
        {"OtherSensorTypeDescription", ToUtf8(info.OtherSensorTypeDescription)},
        {"PossibleStates", states},
        {"RateUnits", info.RateUnits},
        {"Resolution", KnownUnsigned(info.Resolution)},
        {"SensorType", info.SensorType},
        {"UnitModifier", info.UnitModifier},
        {"UpperThresholdCritical", Known(info.UpperThresholdCritical)},
        {"UpperThresholdFatal", Known(info.UpperThresholdFatal)},
        {"UpperThresholdNonCritical", Known(info.UpperThresholdNonCritical)},
    };
}

json Sensor(const SensorSnapshot& sensor) {
    const CSensorInformation& info = sensor.information;
    const bool ok = sensor.readResult == ServiceCode_Success;
    json reading = nullptr;
    if (ok) {
        reading = {
            {"raw", sensor.reading.CurrentReading},
            {"value", ToBaseUnits(sensor.reading.CurrentReading, info.UnitModifier)},
            {"unit", UnitSymbol(info.BaseUnits)},
            {"text", FormatValue(sensor.reading.CurrentReading, info)},
        };
    }
    return {
        {"handle", sensor.handle},
        {"id", FormatHandle(sensor.handle)},
        {"kind", KindName(KindOfHandle(sensor.handle))},
        {"description", ToUtf8(info.Description)},
        {"readResult", static_cast<int>(sensor.readResult)},
        {"reading", reading},
        {"state", ok ? json(sensor.reading.CurrentState != 0 ? "Critical" : "Ok") : json(nullptr)},
        {"stateValue", ok ? json(sensor.reading.CurrentState) : json(nullptr)},
        {"readAt", FormatUtc(sensor.readAt)},
        {"information", Information(info)},
    };
}

json Led(const LedSnapshot& led) {
    const bool ok = led.readResult == ServiceCode_Success;
    return {
        {"handle", led.handle},
        {"id", FormatHandle(led.handle)},
        {"kind", led.information.Kind},
        {"description", ToUtf8(led.information.Description)},
        {"bitMap", led.information.BitMap},
        {"readResult", static_cast<int>(led.readResult)},
        {"on", ok ? json(led.reading.State != 0) : json(nullptr)},
        {"readAt", FormatUtc(led.readAt)},
    };
}

}  // namespace

std::string RenderJson(const Snapshot& snapshot) {
    const ServiceCodeText text = DescribeServiceCode(snapshot.startup);
    json document = {
        {"format", "svcproc-monitor"},
        {"version", kJsonFormatVersion},
        {"time", FormatUtc(snapshot.takenAt)},
        {"startup",
         {{"result", static_cast<int>(snapshot.startup)},
          {"name", text.name},
          {"meaning", text.meaning},
          {"advice", text.advice}}},
        {"sensors", json::array()},
        {"leds", json::array()},
    };
    for (const SensorSnapshot& sensor : snapshot.sensors) {
        document["sensors"].push_back(Sensor(sensor));
    }
    for (const LedSnapshot& led : snapshot.leds) {
        document["leds"].push_back(Led(led));
    }
    return document.dump(2) + "\n";
}
