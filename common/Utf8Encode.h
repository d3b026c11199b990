// UTF-8 encoding of wide text, the one encoder of the tree: the logging
// library's output, the C interface's strings and the monitor's text all go
// through it. wchar_t is 16 bits (UTF-16) on Windows, 32 bits (UTF-32)
// elsewhere; surrogate pairs join, anything that is not valid Unicode becomes
// U+FFFD.
//
// Header-only and on the standard library alone, so that each library and
// tool compiles it into itself and none depends on another for it (the
// logging library is a DLL of its own). `Out` is std::string or anything with
// push_back(char); the common case, ASCII, costs a test and a store.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace svcp::utf8 {

// Code point written in place of anything that is not valid Unicode.
constexpr char32_t kReplacementCharacter = 0xFFFD;

namespace detail {

inline bool IsHighSurrogate(uint32_t unit) {
    return unit >= 0xD800 && unit <= 0xDBFF;
}
inline bool IsLowSurrogate(uint32_t unit) {
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

}  // namespace detail

// Appends one code point; surrogates and values above U+10FFFF become U+FFFD.
template <typename Out>
void AppendCodePoint(Out& out, char32_t codePoint) {
    uint32_t cp = codePoint;
    if (cp < 0x80) {
        out.push_back(static_cast<char>(cp));
        return;
    }
    if (cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
        cp = kReplacementCharacter;
    }
    if (cp < 0x800) {
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

// Appends `length` UTF-16 units. A surrogate pair becomes one code point; a
// lone surrogate becomes U+FFFD.
template <typename Out, typename Unit>
void AppendUtf16(Out& out, const Unit* text, size_t length) {
    using detail::IsHighSurrogate;
    using detail::IsLowSurrogate;
    using detail::UnitValue;
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

// Appends `length` UTF-32 units.
template <typename Out, typename Unit>
void AppendUtf32(Out& out, const Unit* text, size_t length) {
    for (size_t i = 0; i < length; ++i) {
        AppendCodePoint(out, detail::UnitValue(text[i]));
    }
}

// Appends `length` wchar_t units, UTF-16 or UTF-32 by the width of wchar_t.
template <typename Out>
void AppendWide(Out& out, const wchar_t* text, size_t length) {
    if constexpr (sizeof(wchar_t) == 2) {
        AppendUtf16(out, text, length);
    } else {
        AppendUtf32(out, text, length);
    }
}

// The whole of `text` as UTF-8. Throws std::bad_alloc.
inline std::string WideToUtf8(const std::wstring& text) {
    std::string out;
    out.reserve(text.size());
    AppendWide(out, text.data(), text.size());
    return out;
}

}  // namespace svcp::utf8
