#include <algorithm>
#include <charconv>
#include <sstream>
#include <string>
#include <vector>

#include "render/Formats.h"
#include "render/Thresholds.h"
#include "snapshot/SensorLevel.h"
#include "snapshot/ServiceCodeAdvice.h"
#include "terminal/Terminal.h"
#include "snapshot/TimeText.h"
#include "snapshot/Units.h"

namespace {

const char* const kGreen = "\033[32m";
const char* const kYellow = "\033[33m";
const char* const kRed = "\033[1;31m";
const char* const kBright = "\033[1m";
const char* const kDim = "\033[2m";
const char* const kReset = "\033[0m";
const char* const kBanner = "\033[1;33m";

// Follows a reading that is the last received rather than a current one. It
// takes a column of the padding or of the gap after the cell, so the columns
// do not move when an outage begins.
const char* const kStaleMark = "*";

constexpr size_t kGap = 2;
constexpr size_t kMinDescription = 12;

struct Cell {
    std::string text;
    const char* color = nullptr;  // wraps the padded text when colouring
    bool stale = false;           // followed by kStaleMark
};

struct Column {
    std::string header;
    bool alignRight = false;
    size_t width = 0;  // fixed, or 0: as wide as the widest cell
    int dropRank = 0;  // 0: always shown; lower ranks are left out first
    bool shrinks = false;
    bool shown = true;
};

struct Table {
    std::vector<Column> columns;
    std::vector<std::vector<Cell>> rows;
};

// Cuts `text` to `width` columns, marking the cut.
std::string Shorten(const std::string& text, size_t width) {
    if (DisplayWidth(text) <= width) {
        return text;
    }
    std::string out;
    size_t used = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        const bool starts = (static_cast<unsigned char>(text[i]) & 0xC0) != 0x80;
        if (starts && ++used > width - 1) {
            break;
        }
        out += text[i];
    }
    return out + "\u2026";
}

size_t TotalWidth(const Table& table) {
    size_t total = 0;
    size_t shown = 0;
    for (const Column& column : table.columns) {
        if (column.shown) {
            total += column.width;
            ++shown;
        }
    }
    return total + (shown > 0 ? (shown - 1) * kGap : 0);
}

// Fixes the widths, then leaves out and shrinks columns until the table fits.
void Layout(Table& table, size_t maxWidth) {
    for (size_t i = 0; i < table.columns.size(); ++i) {
        Column& column = table.columns[i];
        size_t widest = DisplayWidth(column.header);
        for (const std::vector<Cell>& row : table.rows) {
            widest = std::max(widest, DisplayWidth(row[i].text));
        }
        column.width = std::max(column.width, widest);
    }
    if (maxWidth == 0) {
        return;
    }
    int maxRank = 0;
    for (const Column& column : table.columns) {
        maxRank = std::max(maxRank, column.dropRank);
    }
    for (int rank = 1; rank <= maxRank && TotalWidth(table) > maxWidth; ++rank) {
        for (Column& column : table.columns) {
            if (column.dropRank == rank) {
                column.shown = false;
            }
        }
        // Before the last columns go, the description gives way.
        if (rank + 1 >= maxRank) {
            for (Column& column : table.columns) {
                const size_t total = TotalWidth(table);
                if (column.shrinks && total > maxWidth) {
                    column.width = std::max(
                        kMinDescription, column.width - std::min(column.width, total - maxWidth));
                }
            }
        }
    }
}

std::string Render(const Table& table, bool color) {
    std::string out;
    auto line = [&](const std::vector<Cell>* row) {
        std::string text;
        bool first = true;
        size_t borrowed = 0;  // columns of the next gap the last cell's mark took
        for (size_t i = 0; i < table.columns.size(); ++i) {
            const Column& column = table.columns[i];
            if (!column.shown) {
                continue;
            }
            const Cell cell = row != nullptr ? (*row)[i] : Cell{column.header};
            const std::string shown = Shorten(cell.text, column.width);
            size_t padding = column.width - DisplayWidth(shown);
            std::string body = color && cell.color != nullptr ? cell.color + shown + kReset : shown;
            size_t taken = 0;
            if (cell.stale) {
                body += color ? std::string(kBanner) + kStaleMark + kReset : kStaleMark;
                if (!column.alignRight && padding > 0) {
                    --padding;
                } else {
                    taken = 1;
                }
            }
            const std::string spaces(padding, ' ');
            const std::string padded = column.alignRight ? spaces + body : body + spaces;
            text += (first ? "" : std::string(kGap - borrowed, ' ')) + padded;
            borrowed = taken;
            first = false;
        }
        while (!text.empty() && text.back() == ' ') {
            text.pop_back();
        }
        out += text + '\n';
    };
    line(nullptr);
    for (const std::vector<Cell>& row : table.rows) {
        line(&row);
    }
    return out;
}

std::vector<Cell> SensorRow(const SensorSnapshot& sensor, bool stale) {
    const CSensorInformation& info = sensor.information;
    const bool read = sensor.readResult == ServiceCode_Success;
    Cell state{"Error", kRed};
    if (read) {
        switch (LevelOf(sensor)) {
            case SensorLevel::Ok:
                state = {"Ok", kGreen};
                break;
            case SensorLevel::Warning:
                state = {"Warning", kYellow};
                break;
            case SensorLevel::Critical:
                state = {"Critical", kRed};
                break;
        }
    }
    std::vector<Cell> row = {{FormatHandle(sensor.handle)},
                             {ServiceApi::KindName(ServiceApi::HandleKind(sensor.handle))},
                             {ToUtf8(info.Description)},
                             {read ? FormatValue(sensor.reading.CurrentReading, info) : "error",
                              stale ? kDim : nullptr, stale},
                             state};
    for (const ThresholdField& field : kThresholdFields) {
        row.push_back({FormatThreshold(info.*field.member, info)});
    }
    return row;
}

Table SensorTable(const Snapshot& snapshot) {
    Table table;
    // Kind, ID, the non-critical and then the critical thresholds go, in
    // that order, after the non-recoverable ones (rank 1).
    table.columns = {
        {"ID", false, 10, 4}, {"Kind", false, 11, 2}, {"Description", false, 0, 0, true},
        {"Reading", true},    {"State", false, 8},    {"LNR", true, 0, 1},
        {"LCR", true, 0, 5},  {"LNC", true, 0, 3},    {"UNC", true, 0, 3},
        {"UCR", true, 0, 5},  {"UNR", true, 0, 1}};
    for (const SensorSnapshot& sensor : snapshot.sensors) {
        table.rows.push_back(SensorRow(sensor, Stale(snapshot, sensor.handle)));
    }
    // The reading and the thresholds share one width, so that a reading
    // moving between them does not shift the columns.
    size_t numbers = 0;
    for (const std::vector<Cell>& row : table.rows) {
        for (size_t i = 3; i < row.size(); ++i) {
            if (i != 4) {
                numbers = std::max(numbers, DisplayWidth(row[i].text));
            }
        }
    }
    for (size_t i = 3; i < table.columns.size(); ++i) {
        if (i != 4) {
            table.columns[i].width = numbers;
        }
    }
    return table;
}

Table LedTable(const Snapshot& snapshot) {
    Table table;
    table.columns = {{"ID", false, 10, 1},
                     {"Kind", false, 4, 1},
                     {"Description", false, 0, 0, true},
                     {"Bit", true, 6},
                     {"State", false, 5}};
    for (const LedSnapshot& led : snapshot.leds) {
        char bit[8];
        std::snprintf(bit, sizeof bit, "0x%04x", led.information.BitMap);
        Cell state{"error", kRed};
        if (led.readResult == ServiceCode_Success) {
            state = led.reading.State != 0 ? Cell{"on", kBright} : Cell{"off", kDim};
        }
        state.stale = Stale(snapshot, led.handle);
        table.rows.push_back({{FormatHandle(led.handle)},
                              {ServiceApi::KindName(ServiceApi::HandleKind(led.handle))},
                              {ToUtf8(led.information.Description)},
                              {bit},
                              state});
    }
    return table;
}

// Words flowed into lines of at most `width` columns (0: one line).
std::string Flow(const std::string& text, size_t width) {
    if (width == 0 || DisplayWidth(text) <= width) {
        return text + '\n';
    }
    std::string out;
    std::string line;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find(' ', start);
        if (end == std::string::npos) {
            end = text.size();
        }
        const std::string word = text.substr(start, end - start);
        if (!line.empty() && DisplayWidth(line) + 1 + DisplayWidth(word) > width) {
            out += line + '\n';
            line.clear();
        }
        line += (line.empty() ? "" : " ") + word;
        start = end + 1;
    }
    return out + line + '\n';
}

std::string SecondsText(double seconds) {
    char text[32];
    const std::to_chars_result result = std::to_chars(text, text + sizeof text, seconds);
    return std::string(text, result.ptr) + " s";
}

std::string StartupFailure(const Snapshot& snapshot, const TableStyle& style) {
    const ServiceCodeAdvice text = DescribeServiceCode(snapshot.startup);
    std::string out = Flow("svcproc start-up failed with " + std::to_string(snapshot.startup) +
                               " (" + text.name + "): " + text.meaning,
                           style.maxWidth) +
                      Flow(text.advice, style.maxWidth);
    if (style.retrySeconds > 0) {
        out += Flow("Retrying every " + SecondsText(style.retrySeconds) + "; next attempt at " +
                        FormatLocalClock(style.nextRetry) + ".",
                    style.maxWidth);
    }
    return out;
}

std::string OutageBanner(const OutageSnapshot& outage, const TableStyle& style) {
    const std::string since =
        outage.lastAnswer ? FormatLocalClock(*outage.lastAnswer) : std::string("start-up");
    const std::string text =
        Flow("service processor not answering since " + since + "; readings are the last received",
             style.maxWidth);
    if (!style.color) {
        return text;
    }
    std::string out;
    for (size_t start = 0, end = 0; start < text.size(); start = end + 1) {
        end = text.find('\n', start);
        out += kBanner + text.substr(start, end - start) + kReset + '\n';
    }
    return out;
}

}  // namespace

std::string RenderTable(const Snapshot& snapshot, const TableStyle& style) {
    if (snapshot.startup != ServiceCode_Success) {
        return StartupFailure(snapshot, style);
    }
    std::string out = snapshot.outage ? OutageBanner(*snapshot.outage, style) : "";
    Table sensors = SensorTable(snapshot);
    Layout(sensors, style.maxWidth);
    out += Render(sensors, style.color);
    if (!snapshot.leds.empty()) {
        Table leds = LedTable(snapshot);
        Layout(leds, style.maxWidth);
        out += '\n' + Render(leds, style.color);
    }
    return out;
}

std::string RenderTable(const Snapshot& snapshot, bool color) {
    TableStyle style;
    style.color = color;
    return RenderTable(snapshot, style);
}

std::vector<std::string> SplitLines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream stream(text);
    std::string line;
    while (std::getline(stream, line)) {
        lines.push_back(line);
    }
    return lines;
}
