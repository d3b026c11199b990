#include <algorithm>
#include <string>
#include <vector>

#include "Formats.h"
#include "ServiceCodeText.h"
#include "Units.h"

namespace {

const char* const kGreen = "\033[32m";
const char* const kRed = "\033[1;31m";
const char* const kReset = "\033[0m";

// Columns counted in characters, not bytes (descriptions and units are UTF-8).
size_t DisplayWidth(const std::string& text) {
    return static_cast<size_t>(std::count_if(text.begin(), text.end(), [](char c) {
        return (static_cast<unsigned char>(c) & 0xC0) != 0x80;
    }));
}

struct Cell {
    std::string text;
    const char* color = nullptr;  // wraps the padded text when colouring
    bool alignRight = false;
};

using Row = std::vector<Cell>;

std::string RenderRows(const std::vector<Row>& rows, bool color) {
    std::vector<size_t> widths;
    for (const Row& row : rows) {
        widths.resize(std::max(widths.size(), row.size()), 0);
        for (size_t i = 0; i < row.size(); ++i) {
            widths[i] = std::max(widths[i], DisplayWidth(row[i].text));
        }
    }
    std::string out;
    for (const Row& row : rows) {
        std::string line;
        for (size_t i = 0; i < row.size(); ++i) {
            const Cell& cell = row[i];
            const std::string padding(widths[i] - DisplayWidth(cell.text), ' ');
            std::string text = cell.alignRight ? padding + cell.text : cell.text + padding;
            if (color && cell.color != nullptr) {
                text = cell.color + text + kReset;
            }
            if (i != 0) {
                line += "  ";
            }
            line += text;
        }
        while (!line.empty() && line.back() == ' ') {
            line.pop_back();
        }
        out += line + '\n';
    }
    return out;
}

Row SensorRow(const SensorSnapshot& sensor) {
    const CSensorInformation& info = sensor.information;
    const bool ok = sensor.readResult == ServiceCode_Success;
    const bool critical = ok && sensor.reading.CurrentState != 0;
    Row row;
    row.push_back({FormatHandle(sensor.handle)});
    row.push_back({KindName(KindOfHandle(sensor.handle))});
    row.push_back({ToUtf8(info.Description)});
    row.push_back({ok ? FormatValue(sensor.reading.CurrentReading, info) : "error", nullptr, true});
    row.push_back(
        {ok ? (critical ? "Critical" : "Ok") : DescribeServiceCode(sensor.readResult).name,
         ok ? (critical ? kRed : kGreen) : kRed});
    for (int32_t threshold :
         {info.LowerThresholdFatal, info.LowerThresholdCritical, info.LowerThresholdNonCritical,
          info.UpperThresholdNonCritical, info.UpperThresholdCritical, info.UpperThresholdFatal}) {
        row.push_back({FormatThreshold(threshold, info), nullptr, true});
    }
    return row;
}

}  // namespace

std::string RenderTable(const Snapshot& snapshot, bool color) {
    if (snapshot.startup != ServiceCode_Success) {
        const ServiceCodeText text = DescribeServiceCode(snapshot.startup);
        return "svcproc start-up failed with " + std::to_string(snapshot.startup) + " (" +
               text.name + "): " + text.meaning + "\n" + text.advice + "\n";
    }
    std::vector<Row> sensors;
    sensors.push_back({{"ID"},
                       {"Kind"},
                       {"Description"},
                       {"Reading", nullptr, true},
                       {"State"},
                       {"LNR", nullptr, true},
                       {"LCR", nullptr, true},
                       {"LNC", nullptr, true},
                       {"UNC", nullptr, true},
                       {"UCR", nullptr, true},
                       {"UNR", nullptr, true}});
    for (const SensorSnapshot& sensor : snapshot.sensors) {
        sensors.push_back(SensorRow(sensor));
    }
    std::string out = RenderRows(sensors, color);

    if (!snapshot.leds.empty()) {
        std::vector<Row> leds;
        leds.push_back({{"ID"}, {"Kind"}, {"Description"}, {"Bit", nullptr, true}, {"State"}});
        for (const LedSnapshot& led : snapshot.leds) {
            char bit[8];
            std::snprintf(bit, sizeof bit, "0x%04x", led.information.BitMap);
            const bool ok = led.readResult == ServiceCode_Success;
            const bool on = ok && led.reading.State != 0;
            leds.push_back({{FormatHandle(led.handle)},
                            {"led"},
                            {ToUtf8(led.information.Description)},
                            {bit, nullptr, true},
                            {ok ? (on ? "on" : "off") : "error", on ? kGreen : nullptr}});
        }
        out += '\n' + RenderRows(leds, color);
    }
    return out;
}
