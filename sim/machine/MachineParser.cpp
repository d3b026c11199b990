#include "MachineParser.h"

#include <cmath>
#include <cstdio>
#include <initializer_list>
#include <map>
#include <new>
#include <string_view>
#include <utility>

#include <nlohmann/json.hpp>

#include "json/JsonReader.h"
#include "RegularFile.h"
#include "SteadyReading.h"
#include "svcproc/api/HandleKindName.h"

namespace svcpsim {
namespace {

using nlohmann::json;
using ServiceApi::KindName;

constexpr double kMaxSeconds = 1e6;
constexpr uint16_t kMaxWord =
    0x7FFF;  // 0x8000 means unknown; above it the library sees a huge value

// A kind's unit in the file and the factors to the table's (and model's)
// units.
struct KindUnits {
    const char* unit;
    double valueScale;       // V to mV, RPM to RPM, degrees to tenths
    double resolutionScale;  // to tenths of a mV or thousandths of a degree; 0: none
    double wireMaximum;      // the largest reading the protocol carries, model units
};

KindUnits UnitsOf(SensorKind kind) {
    switch (kind) {
        case SensorKind::Voltage:
            return {"V", 1000, 10000, 655350};
        case SensorKind::Fan:
            return {"RPM", 1, 0, 65535};
        case SensorKind::Temperature:
            return {
                "\xC2\xB0"
                "C",
                10, 1000, 2550};
    }
    return {"", 1, 0, 0};
}

const char* const kThresholdNames[kThresholdCount] = {"lowerNonCritical",    "upperNonCritical",
                                                      "lowerCritical",       "upperCritical",
                                                      "lowerNonRecoverable", "upperNonRecoverable"};

// The machine's schema on the generic reader's checks.
class CMachineReader : private CJsonReader {
public:
    CMachineReader(const json& document, std::string_view text, std::string origin,
                   std::string baseDirectory)
        : CJsonReader(document, text, std::move(origin)),
          m_sBaseDirectory(std::move(baseDirectory)) {}

    void Read(MachineDescription& machine) {
        const JsonAt root = Root();
        ExpectObject(root,
                     {"format", "version", "name", "seed", "repeat", "smbiosTable", "bios",
                      "serviceProcessor", "managementDevices", "hysteresis", "sensors", "leds"});
        if (auto format = Find(root, "format"); format && Text(*format) != "svcproc-machine") {
            Fail(format->pointer, "expected \"svcproc-machine\"");
        }
        if (auto version = Find(root, "version"); version && Unsigned(*version, 0xFFFF) != 1) {
            Fail(version->pointer, "this simulator reads version 1 only");
        }
        if (auto name = Find(root, "name")) {
            machine.name = Text(*name);
        }
        if (auto seed = Find(root, "seed")) {
            machine.seed = Unsigned(*seed, 0xFFFFFFFFu);
        }
        if (auto repeat = Find(root, "repeat")) {
            machine.repeat = NumberIn(*repeat, 0.1, kMaxSeconds, "s");
        }
        if (auto table = Find(root, "smbiosTable")) {
            for (const char* key : {"bios", "serviceProcessor", "managementDevices", "hysteresis",
                                    "sensors", "leds"}) {
                if (auto other = Find(root, key)) {
                    Fail(other->pointer,
                         "not allowed with \"smbiosTable\": the replayed table describes the "
                         "machine");
                }
            }
            ReadTable(*table, machine);
            return;
        }
        ReadBios(Need(root, "bios"), machine.bios);
        machine.serviceProcessor.description = kServiceProcessorDescription;
        machine.serviceProcessor.address = 0x2B0;
        if (auto device = Find(root, "serviceProcessor")) {
            ReadDevice(*device, machine.serviceProcessor, false);
        }
        if (auto devices = Find(root, "managementDevices")) {
            ExpectArray(*devices);
            for (size_t i = 0; i < devices->value.size(); ++i) {
                ManagementDeviceDescription device;
                ReadDevice(Element(*devices, i), device, true);
                machine.otherDevices.push_back(device);
            }
        }
        if (auto hysteresis = Find(root, "hysteresis")) {
            ReadHysteresis(*hysteresis, machine);
        }
        if (auto sensors = Find(root, "sensors")) {
            ReadSensors(*sensors, machine);
        }
        if (auto leds = Find(root, "leds")) {
            ReadLeds(*leds, machine);
        }
    }

private:
    // An SMBIOS word from a value in the file's unit: absent or null is
    // unknown.
    std::optional<uint16_t> Word(const JsonAt& object, const char* key, double scale,
                                 const std::string& unit) const {
        std::optional<JsonAt> at = Find(object, key);
        if (!at || at->value.is_null()) {
            return std::nullopt;
        }
        const double value = NumberIn(*at, 0, kMaxWord / scale, unit);
        return static_cast<uint16_t>(std::lround(value * scale));
    }

    // --- Parts of the machine ------------------------------------------------------

    void ReadTable(const JsonAt& at, MachineDescription& machine) const {
        std::string path = NonEmptyText(at);
        if (path[0] != '/' && !m_sBaseDirectory.empty()) {
            path = m_sBaseDirectory + "/" + path;
        }
        std::string bytes;
        std::string problem;
        if (!ReadRegularFile(path, kMaxMachineFileSize, &bytes, &problem)) {
            Fail(at.pointer,
                 "cannot read " + path + ": " + problem +
                     (problem.rfind("larger", 0) == 0 ? " (larger than an SMBIOS table can be)"
                                                      : ""));
        }
        const std::vector<uint8_t> table(bytes.begin(), bytes.end());
        if (table.empty()) {
            Fail(at.pointer, path + " is empty");
        }
        machine.smbiosTablePath = path;
        machine.smbiosTable = std::move(table);
    }

    void ReadBios(const JsonAt& at, BiosDescription& bios) const {
        ExpectObject(at, {"vendor", "version", "date"});
        bios.version = NonEmptyText(Need(at, "version"));
        if (auto vendor = Find(at, "vendor")) {
            bios.vendor = Text(*vendor);
        }
        if (auto date = Find(at, "date")) {
            bios.date = Text(*date);
        }
    }

    void ReadDevice(const JsonAt& at, ManagementDeviceDescription& device,
                    bool descriptionRequired) const {
        ExpectObject(at, {"description", "address", "addressType", "deviceType"});
        if (auto description = Find(at, "description")) {
            device.description = Text(*description);
        } else if (descriptionRequired) {
            Need(at, "description");
        }
        if (auto address = Find(at, "address")) {
            device.address = Unsigned(*address, 0xFFFFFFFFu);
        }
        if (auto type = Find(at, "addressType")) {
            device.addressType = static_cast<uint8_t>(Unsigned(*type, 0xFF));
        }
        if (auto type = Find(at, "deviceType")) {
            device.deviceType = static_cast<uint8_t>(Unsigned(*type, 0xFF));
        }
    }

    void ReadHysteresis(const JsonAt& at, MachineDescription& machine) const {
        ExpectObject(at, {"voltage", "fan", "temperature"});
        for (SensorKind kind : kAllSensorKinds) {
            if (auto margin = Find(at, KindName(HandleKindOf(kind)))) {
                const KindUnits units = UnitsOf(kind);
                const double value =
                    NumberIn(*margin, 0, units.wireMaximum / units.valueScale, units.unit);
                machine.hysteresis[static_cast<size_t>(kind)] =
                    static_cast<int32_t>(std::lround(value * units.valueScale));
            }
        }
    }

    SensorKind ReadKind(const JsonAt& at) const {
        const std::string kind = Text(at);
        for (SensorKind candidate : kAllSensorKinds) {
            if (kind == KindName(HandleKindOf(candidate))) {
                return candidate;
            }
        }
        Fail(at.pointer,
             "expected \"voltage\", \"fan\" or \"temperature\", not " + ShownValue(at.value));
    }

    void ReadSensors(const JsonAt& at, MachineDescription& machine) const {
        ExpectArray(at);
        std::map<std::pair<SensorKind, size_t>, std::string> taken;
        for (size_t i = 0; i < at.value.size(); ++i) {
            const JsonAt entry = Element(at, i);
            SensorDescription sensor = ReadSensor(entry);
            const std::string indexPointer = Child(entry, "index");
            const auto inserted =
                taken.emplace(std::make_pair(sensor.kind, sensor.index), entry.pointer);
            if (!inserted.second) {
                Fail(indexPointer, std::string(KindName(HandleKindOf(sensor.kind))) + " index " +
                                       std::to_string(sensor.index) + " is taken by " +
                                       inserted.first->second);
            }
            machine.sensors.push_back(std::move(sensor));
        }
    }

    SensorDescription ReadSensor(const JsonAt& at) const {
        ExpectObject(at, {"kind", "index", "description", "limits", "resolution", "accuracy",
                          "nominal", "thresholds", "behaviour"});
        SensorDescription sensor;
        sensor.kind = ReadKind(Need(at, "kind"));
        const size_t count = MaxSensors(sensor.kind);
        const JsonAt index = Need(at, "index");
        sensor.index = Unsigned(index, 0xFFFF);
        if (sensor.index >= count) {
            Fail(index.pointer, "must be from 0 to " + std::to_string(count - 1) + ": a " +
                                    KindName(HandleKindOf(sensor.kind)) + " report carries " +
                                    std::to_string(count) + " readings at most");
        }
        sensor.description = NonEmptyText(Need(at, "description"));

        const KindUnits units = UnitsOf(sensor.kind);
        if (sensor.kind == SensorKind::Fan) {
            for (const char* key : {"limits", "resolution", "accuracy"}) {
                if (auto absent = Find(at, key)) {
                    Fail(absent->pointer, std::string("a fan has no ") + key +
                                              " in SMBIOS (its Type 27 structure has no field "
                                              "for it)");
                }
            }
        }
        if (auto limits = Find(at, "limits")) {
            ExpectObject(*limits, {"min", "max"});
            sensor.minimum = Word(*limits, "min", units.valueScale, units.unit);
            sensor.maximum = Word(*limits, "max", units.valueScale, units.unit);
        }
        if (units.resolutionScale != 0) {
            sensor.resolution = Word(at, "resolution", units.resolutionScale, units.unit);
        }
        sensor.accuracy = Word(at, "accuracy", 100, "%");
        sensor.nominal = Word(at, "nominal", units.valueScale, units.unit);
        if (auto thresholds = Find(at, "thresholds")) {
            ExpectObject(*thresholds, {kThresholdNames[0], kThresholdNames[1], kThresholdNames[2],
                                       kThresholdNames[3], kThresholdNames[4], kThresholdNames[5]});
            for (size_t i = 0; i < kThresholdCount; ++i) {
                sensor.thresholds[i] =
                    Word(*thresholds, kThresholdNames[i], units.valueScale, units.unit);
            }
        }
        sensor.behaviour.base = SteadyReading(sensor.kind, sensor.nominal, sensor.minimum,
                                              sensor.maximum, sensor.thresholds);
        if (auto behaviour = Find(at, "behaviour")) {
            ReadBehaviour(*behaviour, units, sensor.behaviour);
        }
        return sensor;
    }

    void ReadBehaviour(const JsonAt& at, const KindUnits& units, Behaviour& behaviour) const {
        ExpectObject(at, {"base", "noise", "script"});
        const double maximum = units.wireMaximum / units.valueScale;
        auto value = [&](const JsonAt& number) {
            return NumberIn(number, 0, maximum, units.unit) * units.valueScale;
        };
        if (auto base = Find(at, "base")) {
            behaviour.base = value(*base);
        }
        if (auto noise = Find(at, "noise")) {
            behaviour.noise = value(*noise);
        }
        std::optional<JsonAt> script = Find(at, "script");
        if (!script) {
            return;
        }
        ExpectArray(*script);
        for (size_t i = 0; i < script->value.size(); ++i) {
            const JsonAt entry = Element(*script, i);
            ExpectObject(entry, {"at", "value", "ramp"});
            ScriptStep step;
            const JsonAt when = Need(entry, "at");
            step.at = NumberIn(when, 0, kMaxSeconds, "s");
            if (!behaviour.script.empty() && step.at < behaviour.script.back().at) {
                Fail(when.pointer, "must not be earlier than the step before it (" +
                                       ShownNumber(behaviour.script.back().at) + " s)");
            }
            step.value = value(Need(entry, "value"));
            if (auto ramp = Find(entry, "ramp")) {
                step.ramp = NumberIn(*ramp, 0, kMaxSeconds, "s");
            }
            behaviour.script.push_back(step);
        }
    }

    void ReadLeds(const JsonAt& at, MachineDescription& machine) const {
        ExpectArray(at);
        // An LED's handle is its bit map: two LEDs cannot share one.
        std::map<uint16_t, std::string> taken;
        for (size_t i = 0; i < at.value.size(); ++i) {
            const JsonAt entry = Element(at, i);
            ExpectObject(entry, {"bitMap", "description", "drive"});
            LedDescription led;
            const JsonAt bitMap = Need(entry, "bitMap");
            led.bitMap = static_cast<uint16_t>(Unsigned(bitMap, 0xFFFF));
            if (led.bitMap == 0) {
                Fail(bitMap.pointer, "must have at least one bit set");
            }
            const auto inserted = taken.emplace(led.bitMap, entry.pointer);
            if (!inserted.second) {
                char mask[8];
                std::snprintf(mask, sizeof mask, "0x%04X", led.bitMap);
                Fail(bitMap.pointer,
                     std::string("bit map ") + mask + " is taken by " + inserted.first->second);
            }
            led.description = NonEmptyText(Need(entry, "description"));
            if (auto drive = Find(entry, "drive")) {
                led.drive = ReadDrive(*drive, machine);
            }
            machine.leds.push_back(std::move(led));
        }
    }

    LedDrive ReadDrive(const JsonAt& at, const MachineDescription& machine) const {
        LedDrive drive;
        if (at.value.is_string()) {
            const std::string mode = Text(at);
            if (mode != "on" && mode != "off") {
                Fail(at.pointer,
                     "expected \"on\", \"off\", {\"blink\": seconds} or "
                     "{\"whileCritical\": sensors}, not " +
                         ShownValue(at.value));
            }
            drive.mode = mode == "on" ? LedDrive::Mode::On : LedDrive::Mode::Off;
            return drive;
        }
        ExpectObject(at, {"blink", "whileCritical"});
        if (at.value.size() != 1) {
            Fail(at.pointer, "expected one of \"blink\" and \"whileCritical\"");
        }
        if (auto blink = Find(at, "blink")) {
            drive.mode = LedDrive::Mode::Blink;
            drive.period = NumberIn(*blink, 0.1, kMaxSeconds, "s");
            return drive;
        }
        drive.mode = LedDrive::Mode::WhileCritical;
        const JsonAt names = Need(at, "whileCritical");
        auto add = [&](const JsonAt& name) {
            std::string text = NonEmptyText(name);
            bool known = text == "*";
            for (const SensorDescription& sensor : machine.sensors) {
                known = known || sensor.description == text;
            }
            if (!known) {
                Fail(name.pointer, "no sensor is described " + ShownValue(name.value));
            }
            drive.sensors.push_back(std::move(text));
        };
        if (names.value.is_array()) {
            for (size_t i = 0; i < names.value.size(); ++i) {
                add(Element(names, i));
            }
        } else {
            add(names);
        }
        return drive;
    }

    const std::string m_sBaseDirectory;
};

bool Parse(const std::string& text, const std::string& origin, const std::string& baseDirectory,
           MachineDescription* machine, std::string* error) {
    json document;
    if (!ParseJsonDocument(text, origin, kMaxDescriptionDepth, &document, error)) {
        return false;
    }
    try {
        *machine = MachineDescription();
        CMachineReader(document, text, origin, baseDirectory).Read(*machine);
    } catch (const CJsonReadError& e) {
        *error = e.what();
        return false;
    }
    return true;
}

}  // namespace

bool ParseMachineDescription(const std::string& text, const std::string& origin,
                             const std::string& baseDirectory, MachineDescription* machine,
                             std::string* error) {
    try {
        return Parse(text, origin, baseDirectory, machine, error);
    } catch (const std::bad_alloc&) {
        *error = origin + ": not enough memory to read the description";
    } catch (const std::exception& e) {
        *error = origin + ": cannot read the description: " + e.what();
    }
    return false;
}

bool LoadMachineDescription(const std::string& path, MachineDescription* machine,
                            std::string* error) {
    std::string text;
    std::string problem;
    try {
        if (!ReadRegularFile(path, kMaxMachineFileSize, &text, &problem)) {
            *error = "cannot read " + path + ": " + problem;
            return false;
        }
    } catch (const std::bad_alloc&) {
        *error = "cannot read " + path + ": not enough memory";
        return false;
    }
    const size_t slash = path.rfind('/');
    const std::string directory =
        slash == std::string::npos ? std::string() : path.substr(0, slash == 0 ? 1 : slash);
    return ParseMachineDescription(text, path, directory, machine, error);
}

}  // namespace svcpsim
