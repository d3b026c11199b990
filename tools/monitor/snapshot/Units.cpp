#include "snapshot/Units.h"

#include <cmath>
#include <cstdio>

#include "snapshot/NumberText.h"

const char* UnitSymbol(uint16_t baseUnits) {
    switch (baseUnits) {
        case 5:
            return "V";
        case 19:
            return "RPM";
        case 2:
            return "\u00B0C";
        default:
            return "";
    }
}

double ToBaseUnits(int64_t value, int32_t unitModifier) {
    // Not value * 10^modifier: 3050 * 0.001 is 3.0500000000000003.
    return DecimalValue(value, unitModifier);
}

std::string FormatValue(int64_t value, const CSensorInformation& information) {
    const int decimals = information.UnitModifier < 0 ? -information.UnitModifier : 0;
    const bool negative = value < 0;
    const uint64_t magnitude =
        negative ? static_cast<uint64_t>(-(value + 1)) + 1 : static_cast<uint64_t>(value);
    std::string digits = std::to_string(magnitude);
    if (information.UnitModifier > 0) {
        digits.append(static_cast<size_t>(information.UnitModifier), '0');
    }
    std::string fraction;
    if (decimals > 0) {
        if (digits.size() <= static_cast<size_t>(decimals)) {
            digits.insert(0, static_cast<size_t>(decimals) + 1 - digits.size(), '0');
        }
        fraction = digits.substr(digits.size() - static_cast<size_t>(decimals));
        digits.erase(digits.size() - static_cast<size_t>(decimals));
    }
    std::string text = negative ? "-" : "";
    text += digits;
    if (!fraction.empty()) {
        text += '.' + fraction;
    }
    const char* unit = UnitSymbol(information.BaseUnits);
    if (*unit != '\0') {
        text += ' ';
        text += unit;
    }
    return text;
}

std::string FormatThreshold(int32_t value, const CSensorInformation& information) {
    return IsKnown(value) ? FormatValue(value, information) : "na";
}

std::string ToUtf8(const std::wstring& text) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        uint32_t c = static_cast<uint32_t>(text[i]);
        if (sizeof(wchar_t) == 2 && c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size()) {
            const uint32_t low = static_cast<uint32_t>(text[i + 1]);
            if (low >= 0xDC00 && low <= 0xDFFF) {
                c = 0x10000 + ((c - 0xD800) << 10) + (low - 0xDC00);
                ++i;
            }
        }
        if ((c >= 0xD800 && c <= 0xDFFF) || c > 0x10FFFF) {
            c = 0xFFFD;
        }
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else if (c < 0x800) {
            out += static_cast<char>(0xC0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            out += static_cast<char>(0xE0 | (c >> 12));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | (c >> 18));
            out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return out;
}

std::string FormatHandle(unsigned long handle) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%08lx", handle);
    return text;
}
