// What the SMBIOS parser tests share: a raw table handed in through
// CRawSMBios, the captured log lines, and the address format of the logs.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <ostream>
#include <string>
#include <vector>

#include "LogControl.h"
#include "sim/smbios/SmbiosTableBuilder.h"
#include "support/SmbiosSamples.h"
#include "svcproc/logging/Log.h"
#include "svcproc/smbios/RawSMBios.h"

// Readable failure messages for captured lines.
inline void PrintTo(const LogLine& line, std::ostream* os) {
    *os << "{" << line.level << ", \"" << line.text << "\"}";
}

namespace smbios_test {

// "0x%08x" of an address, as the parsers log it.
inline std::string Hex8(const void* address) {
    char text[16];
    std::snprintf(text, sizeof(text), "0x%08x", LogAddress(address));
    return text;
}

// "0x%x" of an address, as the header dumps log it.
inline std::string Hex(const void* address) {
    char text[16];
    std::snprintf(text, sizeof(text), "0x%x", LogAddress(address));
    return text;
}

class ParserTest : public ::testing::Test {
protected:
    void SetUp() override {
        LogCaptureStart(4);
        LogCaptureClear();
    }
    void TearDown() override { LogCaptureStop(); }

    // The table the parsers will read; the bytes are copied into a buffer of
    // exactly their size, so a sanitizer sees any read past them.
    CRawSMBios* Table(const std::vector<uint8_t>& bytes) {
        m_raw.AssignForTesting(bytes.data(), bytes.size());
        LogCaptureClear();
        return &m_raw;
    }
    const uint8_t* Bytes() const { return m_raw.GetBytes(); }
    const uint8_t* End() const { return m_raw.GetBytes() + m_raw.GetLength(); }

    static std::vector<LogLine> Lines() { return LogCaptured(); }

    static std::vector<LogLine> LinesAt(int level) {
        std::vector<LogLine> selected;
        for (const LogLine& line : LogCaptured()) {
            if (line.level == level) {
                selected.push_back(line);
            }
        }
        return selected;
    }

    // The lines that follow the first line equal to `heading`, `count` of
    // them (fewer when the log ends first).
    static std::vector<std::string> After(const std::string& heading, size_t count) {
        const std::vector<LogLine> lines = LogCaptured();
        std::vector<std::string> texts;
        for (size_t i = 0; i < lines.size(); ++i) {
            if (lines[i].text == heading) {
                for (size_t j = i + 1; j < lines.size() && texts.size() < count; ++j) {
                    texts.push_back(lines[j].text);
                }
                break;
            }
        }
        return texts;
    }

    static bool Logged(const std::string& text) {
        for (const LogLine& line : LogCaptured()) {
            if (line.text == text) {
                return true;
            }
        }
        return false;
    }

    static bool Logged(int level, const std::string& text) {
        for (const LogLine& line : LogCaptured()) {
            if (line.level == level && line.text == text) {
                return true;
            }
        }
        return false;
    }

    CRawSMBios m_raw;
};

using smbios_sample::Bios;

}  // namespace smbios_test
