// UTF-8 encoding of wide text. Log output is UTF-8 whatever the width of
// wchar_t: 16 bits (UTF-16) on Windows, 32 bits (UTF-32) elsewhere.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace svcp::log {

// Code point written in place of anything that is not valid Unicode.
constexpr char32_t kReplacementCharacter = 0xFFFD;

// Appends one code point; surrogates and values above U+10FFFF become U+FFFD.
void AppendCodePoint(std::string& out, char32_t codePoint);

// Appends `length` UTF-16 units. A surrogate pair becomes one code point; a
// lone surrogate becomes U+FFFD. Instantiated for char16_t and wchar_t.
template <typename Unit>
void AppendUtf16(std::string& out, const Unit* text, size_t length);

// Appends `length` UTF-32 units. Instantiated for char32_t and wchar_t.
template <typename Unit>
void AppendUtf32(std::string& out, const Unit* text, size_t length);

inline void AppendWide(std::string& out, const wchar_t* text, size_t length) {
    if constexpr (sizeof(wchar_t) == 2) {
        AppendUtf16(out, text, length);
    } else {
        AppendUtf32(out, text, length);
    }
}

}  // namespace svcp::log
