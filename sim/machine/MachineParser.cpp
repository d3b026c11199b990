#include "MachineParser.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <initializer_list>
#include <map>
#include <new>
#include <stdexcept>
#include <string_view>
#include <utility>

#include <nlohmann/json.hpp>

#include "JsonLineIndex.h"
#include "RegularFile.h"
#include "SteadyReading.h"

namespace svcpsim {
namespace {

using nlohmann::json;

constexpr double kMaxSeconds = 1e6;
constexpr uint16_t kMaxWord =
    0x7FFF;  // 0x8000 means unknown; above it the library sees a huge value

class DescriptionError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// A value of the document and the pointer that names it.
struct At {
    const json& value;
    std::string pointer;
};

// A value as a message shows it: a scalar as written, cut to about 40
// characters; a container by what it is (never the whole of it).
std::string Shown(const json& value) {
    constexpr size_t kShown = 40;
    if (value.is_object()) {
        return value.empty() ? "{}" : "an object";
    }
    if (value.is_array()) {
        return value.empty() ? "[]" : "an array";
    }
    if (!value.is_string()) {
        return value.dump();
    }
    const std::string& text = value.get_ref<const std::string&>();
    if (text.size() <= kShown) {
        return value.dump(-1, ' ', false, json::error_handler_t::replace);
    }
    size_t cut = kShown - 3;
    while (cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80) {
        --cut;  // not inside a UTF-8 sequence
    }
    const std::string dumped =
        json(text.substr(0, cut)).dump(-1, ' ', false, json::error_handler_t::replace);
    return dumped.substr(0, dumped.size() - 1) + "...\"";
}

// A pointer as a message shows it: a long one (a huge key) cut in the
// middle.
std::string ShownPointer(const std::string& pointer) {
    constexpr size_t kHead = 80;
    constexpr size_t kTail = 40;
    if (pointer.empty()) {
        return "/";
    }
    if (pointer.size() <= kHead + kTail + 3) {
        return pointer;
    }
    return pointer.substr(0, kHead) + "..." + pointer.substr(pointer.size() - kTail);
}

std::string Number(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%g", value);
    return text;
}

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

class Reader {
public:
    Reader(const json& document, std::string_view text, std::string origin,
           std::string baseDirectory)
        : m_Document(document),
          m_Lines(text),
          m_sOrigin(std::move(origin)),
          m_sBaseDirectory(std::move(baseDirectory)) {}

    void Read(MachineDescription& machine) {
        const At root{m_Document, ""};
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
    // --- Shapes and scalars ------------------------------------------------------

    [[noreturn]] void Fail(const std::string& pointer, const std::string& problem) const {
        throw DescriptionError(m_sOrigin + ":" + std::to_string(m_Lines.LineOf(pointer)) + ": " +
                               ShownPointer(pointer) + ": " + problem);
    }

    void ExpectObject(const At& at, std::initializer_list<const char*> known) const {
        if (!at.value.is_object()) {
            Fail(at.pointer, "expected an object, not " + Shown(at.value));
        }
        for (auto member = at.value.begin(); member != at.value.end(); ++member) {
            bool listed = false;
            for (const char* key : known) {
                listed = listed || member.key() == key;
            }
            if (!listed) {
                std::string names;
                for (const char* key : known) {
                    names += std::string(names.empty() ? "" : ", ") + key;
                }
                Fail(JsonChild(at, member.key()), "unknown member (known: " + names + ")");
            }
        }
    }

    void ExpectArray(const At& at) const {
        if (!at.value.is_array()) {
            Fail(at.pointer, "expected an array, not " + Shown(at.value));
        }
    }

    static std::string JsonChild(const At& at, const std::string& key) {
        return CJsonLineIndex::Child(at.pointer, key);
    }

    std::optional<At> Find(const At& object, const char* key) const {
        const auto found = object.value.find(key);
        if (found == object.value.end()) {
            return std::nullopt;
        }
        return At{*found, JsonChild(object, key)};
    }

    At Need(const At& object, const char* key) const {
        std::optional<At> found = Find(object, key);
        if (!found) {
            Fail(JsonChild(object, key), "missing");
        }
        return *found;
    }

    At Element(const At& array, size_t index) const {
        return At{array.value[index], CJsonLineIndex::Child(array.pointer, index)};
    }

    std::string Text(const At& at) const {
        if (!at.value.is_string()) {
            Fail(at.pointer, "expected a string, not " + Shown(at.value));
        }
        const std::string& text = at.value.get_ref<const std::string&>();
        if (text.find('\0') != std::string::npos) {
            Fail(at.pointer, "must not contain a NUL character");
        }
        return text;
    }

    std::string NonEmptyText(const At& at) const {
        std::string text = Text(at);
        if (text.empty()) {
            Fail(at.pointer, "must not be empty");
        }
        return text;
    }

    double NumberOf(const At& at) const {
        if (!at.value.is_number()) {
            Fail(at.pointer, "expected a number, not " + Shown(at.value));
        }
        return at.value.get<double>();
    }

    double NumberIn(const At& at, double low, double high, const std::string& unit) const {
        const double value = NumberOf(at);
        if (!(value >= low && value <= high)) {
            Fail(at.pointer, "must be from " + Number(low) + " to " + Number(high) + " " + unit +
                                 ", not " + Shown(at.value));
        }
        return value;
    }

    // A whole number, or a string of hexadecimal digits after "0x".
    uint32_t Unsigned(const At& at, uint32_t maximum) const {
        const std::string range = "from 0 to " + std::to_string(maximum);
        if (at.value.is_string()) {
            const std::string& text = at.value.get_ref<const std::string&>();
            const bool hex =
                text.size() > 2 && text.size() <= 10 && text[0] == '0' &&
                (text[1] == 'x' || text[1] == 'X') &&
                text.find_first_not_of("0123456789abcdefABCDEF", 2) == std::string::npos;
            const unsigned long long value = hex ? std::strtoull(text.c_str() + 2, nullptr, 16) : 0;
            if (!hex || value > maximum) {
                Fail(at.pointer, "expected a whole number " + range +
                                     " or a hexadecimal \"0x...\", not " + Shown(at.value));
            }
            return static_cast<uint32_t>(value);
        }
        if (!at.value.is_number()) {
            Fail(at.pointer, "expected a whole number, not " + Shown(at.value));
        }
        const double value = at.value.get<double>();
        if (!(value >= 0 && value <= maximum) || value != std::floor(value)) {
            Fail(at.pointer, "expected a whole number " + range + ", not " + Shown(at.value));
        }
        return static_cast<uint32_t>(value);
    }

    // An SMBIOS word from a value in the file's unit: absent or null is
    // unknown.
    std::optional<uint16_t> Word(const At& object, const char* key, double scale,
                                 const std::string& unit) const {
        std::optional<At> at = Find(object, key);
        if (!at || at->value.is_null()) {
            return std::nullopt;
        }
        const double value = NumberIn(*at, 0, kMaxWord / scale, unit);
        return static_cast<uint16_t>(std::lround(value * scale));
    }

    // --- Parts of the machine ------------------------------------------------------

    void ReadTable(const At& at, MachineDescription& machine) const {
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

    void ReadBios(const At& at, BiosDescription& bios) const {
        ExpectObject(at, {"vendor", "version", "date"});
        bios.version = NonEmptyText(Need(at, "version"));
        if (auto vendor = Find(at, "vendor")) {
            bios.vendor = Text(*vendor);
        }
        if (auto date = Find(at, "date")) {
            bios.date = Text(*date);
        }
    }

    void ReadDevice(const At& at, ManagementDeviceDescription& device,
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

    void ReadHysteresis(const At& at, MachineDescription& machine) const {
        ExpectObject(at, {"voltage", "fan", "temperature"});
        for (SensorKind kind : kAllSensorKinds) {
            if (auto margin = Find(at, KindName(kind))) {
                const KindUnits units = UnitsOf(kind);
                const double value =
                    NumberIn(*margin, 0, units.wireMaximum / units.valueScale, units.unit);
                machine.hysteresis[static_cast<size_t>(kind)] =
                    static_cast<int32_t>(std::lround(value * units.valueScale));
            }
        }
    }

    SensorKind ReadKind(const At& at) const {
        const std::string kind = Text(at);
        for (SensorKind candidate : kAllSensorKinds) {
            if (kind == KindName(candidate)) {
                return candidate;
            }
        }
        Fail(at.pointer,
             "expected \"voltage\", \"fan\" or \"temperature\", not " + Shown(at.value));
    }

    void ReadSensors(const At& at, MachineDescription& machine) const {
        ExpectArray(at);
        std::map<std::pair<SensorKind, size_t>, std::string> taken;
        for (size_t i = 0; i < at.value.size(); ++i) {
            const At entry = Element(at, i);
            SensorDescription sensor = ReadSensor(entry);
            const std::string indexPointer = JsonChild(entry, "index");
            const auto inserted =
                taken.emplace(std::make_pair(sensor.kind, sensor.index), entry.pointer);
            if (!inserted.second) {
                Fail(indexPointer, std::string(KindName(sensor.kind)) + " index " +
                                       std::to_string(sensor.index) + " is taken by " +
                                       inserted.first->second);
            }
            machine.sensors.push_back(std::move(sensor));
        }
    }

    SensorDescription ReadSensor(const At& at) const {
        ExpectObject(at, {"kind", "index", "description", "limits", "resolution", "accuracy",
                          "nominal", "thresholds", "behaviour"});
        SensorDescription sensor;
        sensor.kind = ReadKind(Need(at, "kind"));
        const size_t count = MaxSensors(sensor.kind);
        const At index = Need(at, "index");
        sensor.index = Unsigned(index, 0xFFFF);
        if (sensor.index >= count) {
            Fail(index.pointer, "must be from 0 to " + std::to_string(count - 1) + ": a " +
                                    KindName(sensor.kind) + " report carries " +
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

    void ReadBehaviour(const At& at, const KindUnits& units, Behaviour& behaviour) const {
        ExpectObject(at, {"base", "noise", "script"});
        const double maximum = units.wireMaximum / units.valueScale;
        auto value = [&](const At& number) {
            return NumberIn(number, 0, maximum, units.unit) * units.valueScale;
        };
        if (auto base = Find(at, "base")) {
            behaviour.base = value(*base);
        }
        if (auto noise = Find(at, "noise")) {
            behaviour.noise = value(*noise);
        }
        std::optional<At> script = Find(at, "script");
        if (!script) {
            return;
        }
        ExpectArray(*script);
        for (size_t i = 0; i < script->value.size(); ++i) {
            const At entry = Element(*script, i);
            ExpectObject(entry, {"at", "value", "ramp"});
            ScriptStep step;
            const At when = Need(entry, "at");
            step.at = NumberIn(when, 0, kMaxSeconds, "s");
            if (!behaviour.script.empty() && step.at < behaviour.script.back().at) {
                Fail(when.pointer, "must not be earlier than the step before it (" +
                                       Number(behaviour.script.back().at) + " s)");
            }
            step.value = value(Need(entry, "value"));
            if (auto ramp = Find(entry, "ramp")) {
                step.ramp = NumberIn(*ramp, 0, kMaxSeconds, "s");
            }
            behaviour.script.push_back(step);
        }
    }

    void ReadLeds(const At& at, MachineDescription& machine) const {
        ExpectArray(at);
        // An LED's handle is its bit map: two LEDs cannot share one.
        std::map<uint16_t, std::string> taken;
        for (size_t i = 0; i < at.value.size(); ++i) {
            const At entry = Element(at, i);
            ExpectObject(entry, {"bitMap", "description", "drive"});
            LedDescription led;
            const At bitMap = Need(entry, "bitMap");
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

    LedDrive ReadDrive(const At& at, const MachineDescription& machine) const {
        LedDrive drive;
        if (at.value.is_string()) {
            const std::string mode = Text(at);
            if (mode != "on" && mode != "off") {
                Fail(at.pointer,
                     "expected \"on\", \"off\", {\"blink\": seconds} or "
                     "{\"whileCritical\": sensors}, not " +
                         Shown(at.value));
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
        const At names = Need(at, "whileCritical");
        auto add = [&](const At& name) {
            std::string text = NonEmptyText(name);
            bool known = text == "*";
            for (const SensorDescription& sensor : machine.sensors) {
                known = known || sensor.description == text;
            }
            if (!known) {
                Fail(name.pointer, "no sensor is described " + Shown(name.value));
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

    const json& m_Document;
    const CJsonLineIndex m_Lines;  // a view of the text, which outlives the reader
    const std::string m_sOrigin;
    const std::string m_sBaseDirectory;
};

// "file:line:column: not JSON: <what the parser says>".
std::string ParseErrorText(const json::parse_error& e, const std::string& text,
                           const std::string& origin) {
    const size_t end = std::min<size_t>(e.byte == 0 ? 0 : e.byte - 1, text.size());
    int line = 1;
    size_t lineStart = 0;
    for (size_t i = 0; i < end; ++i) {
        if (text[i] == '\n') {
            ++line;
            lineStart = i + 1;
        }
    }
    std::string what = e.what();
    const size_t column = what.find("column");
    const size_t colon = column == std::string::npos ? column : what.find(": ", column);
    if (colon != std::string::npos) {
        what = what.substr(colon + 2);
    }
    return origin + ":" + std::to_string(line) + ":" + std::to_string(end - lineStart + 1) +
           ": not valid JSON: " + what;
}

}  // namespace

const char* KindName(SensorKind kind) {
    switch (kind) {
        case SensorKind::Voltage:
            return "voltage";
        case SensorKind::Fan:
            return "fan";
        case SensorKind::Temperature:
            return "temperature";
    }
    return "unknown";
}

namespace {

// Thrown from the parser's callback to stop at the first container too
// deep: before it is built, so that the tree never grows past the limit.
struct TooDeep {};

bool Parse(const std::string& text, const std::string& origin, const std::string& baseDirectory,
           MachineDescription* machine, std::string* error) {
    json document;
    try {
        // The callback's depth is the number of containers around the one
        // starting.
        document = json::parse(text, [](int depth, json::parse_event_t event, json&) {
            if ((event == json::parse_event_t::object_start ||
                 event == json::parse_event_t::array_start) &&
                depth >= static_cast<int>(kMaxDescriptionDepth)) {
                throw TooDeep();
            }
            return true;
        });
    } catch (const TooDeep&) {
        std::string pointer;
        int line = 0;
        CJsonLineIndex(text).FindDeeperThan(kMaxDescriptionDepth, &pointer, &line);
        *error = origin + ":" + std::to_string(line) + ": " + ShownPointer(pointer) +
                 ": nested more than " + std::to_string(kMaxDescriptionDepth) + " levels deep";
        return false;
    } catch (const json::parse_error& e) {
        *error = ParseErrorText(e, text, origin);
        return false;
    } catch (const json::exception& e) {
        *error = origin + ": not valid JSON: " + e.what();
        return false;
    }
    try {
        *machine = MachineDescription();
        Reader(document, text, origin, baseDirectory).Read(*machine);
    } catch (const DescriptionError& e) {
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
