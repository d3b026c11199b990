#include "Utf8.h"

namespace svcp::log {

namespace {

bool IsHighSurrogate(uint32_t unit) {
    return unit >= 0xD800 && unit <= 0xDBFF;
}
bool IsLowSurrogate(uint32_t unit) {
    return unit >= 0xDC00 && unit <= 0xDFFF;
}

// wchar_t is signed on some hosts: go through the unsigned type of the same
// width so that a negative unit turns into a large (invalid) value rather
// than a sign-extended one that could wrap into range.
template <typename Unit>
uint32_t UnitValue(Unit unit) {
    if constexpr (sizeof(Unit) == 2) {
        return static_cast<uint16_t>(unit);
    } else {
        return static_cast<uint32_t>(unit);
    }
}

}  // namespace

void AppendCodePoint(std::string& out, char32_t codePoint) {
    uint32_t cp = codePoint;
    if (cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
        cp = kReplacementCharacter;
    }
    if (cp < 0x80) {
        out.push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
}

template <typename Unit>
void AppendUtf16(std::string& out, const Unit* text, size_t length) {
    for (size_t i = 0; i < length; ++i) {
        const uint32_t unit = UnitValue(text[i]);
        if (unit > 0xFFFF) {
            AppendCodePoint(out, kReplacementCharacter);
        } else if (IsHighSurrogate(unit) && i + 1 < length &&
                   IsLowSurrogate(UnitValue(text[i + 1]))) {
            const uint32_t low = UnitValue(text[++i]);
            AppendCodePoint(out, 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00));
        } else {
            // A lone surrogate is rejected by AppendCodePoint.
            AppendCodePoint(out, unit);
        }
    }
}

template <typename Unit>
void AppendUtf32(std::string& out, const Unit* text, size_t length) {
    for (size_t i = 0; i < length; ++i) {
        AppendCodePoint(out, UnitValue(text[i]));
    }
}

template void AppendUtf16<char16_t>(std::string&, const char16_t*, size_t);
template void AppendUtf16<wchar_t>(std::string&, const wchar_t*, size_t);
template void AppendUtf32<char32_t>(std::string&, const char32_t*, size_t);
template void AppendUtf32<wchar_t>(std::string&, const wchar_t*, size_t);

}  // namespace svcp::log
