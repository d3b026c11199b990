#include "snapshot/Units.h"

#include <cmath>
#include <cstdio>

#include "common/Utf8Encode.h"
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
    return svcp::utf8::WideToUtf8(text);
}

std::string FormatHandle(unsigned long handle) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%08lx", handle);
    return text;
}
