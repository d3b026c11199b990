// The one UTF-8 encoder: code points at each length's bounds, UTF-16 with its
// surrogates, UTF-32, and wchar_t whichever its width.
#include "common/Utf8Encode.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

namespace {

using namespace svcp::utf8;

const std::string kReplacement = "\xEF\xBF\xBD";

template <typename Unit>
std::string Encoded(const std::vector<Unit>& units) {
    std::string out;
    if constexpr (sizeof(Unit) == 2) {
        AppendUtf16(out, units.data(), units.size());
    } else {
        AppendUtf32(out, units.data(), units.size());
    }
    return out;
}

TEST(Utf8Encode, CodePointsAtEachLengthsBoundsAndInvalidOnes) {
    const struct {
        char32_t codePoint;
        std::string utf8;
    } cases[] = {
        {0, std::string(1, '\0')},
        {0x7F, "\x7F"},
        {0x80, "\xC2\x80"},
        {0x7FF, "\xDF\xBF"},
        {0x800, "\xE0\xA0\x80"},
        {0xFFFF, "\xEF\xBF\xBF"},
        {0x10000, "\xF0\x90\x80\x80"},
        {0x10FFFF, "\xF4\x8F\xBF\xBF"},
        {0xD800, kReplacement},
        {0xDFFF, kReplacement},
        {0x110000, kReplacement},
        {0xFFFFFFFF, kReplacement},
    };
    for (const auto& c : cases) {
        std::string out;
        AppendCodePoint(out, c.codePoint);
        EXPECT_EQ(out, c.utf8) << std::hex << static_cast<uint32_t>(c.codePoint);
    }
}

TEST(Utf8Encode, Utf16JoinsPairsAndReplacesLoneSurrogates) {
    const struct {
        std::vector<char16_t> units;
        std::string utf8;
    } cases[] = {
        {{u'a', 0xD83D, 0xDE00, u'z'}, "a\xF0\x9F\x98\x80z"},
        {{0xDBFF, 0xDFFF}, "\xF4\x8F\xBF\xBF"},
        {{0x00E9, 0x4E2D}, "\xC3\xA9\xE4\xB8\xAD"},
        {{0xD83D}, kReplacement},
        {{0xD83D, u'a'}, kReplacement + "a"},
        {{0xDE00, u'a'}, kReplacement + "a"},
        {{u'x', 0xDC00}, "x" + kReplacement},
        {{0xDE00, 0xD83D}, kReplacement + kReplacement},
        {{0xD83D, 0xD83D, 0xDE00}, kReplacement + "\xF0\x9F\x98\x80"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Encoded(c.units), c.utf8) << c.units.size() << " units";
    }
    // A signed 16-bit unit is its unsigned value, not a sign-extended one.
    EXPECT_EQ(Encoded(std::vector<int16_t>{-1}), "\xEF\xBF\xBF");
    // A 32-bit value in UTF-16 is no unit at all.
    std::string out;
    const char32_t wide[] = {0x1F600};
    AppendUtf16(out, wide, 1);
    EXPECT_EQ(out, kReplacement);
}

TEST(Utf8Encode, Utf16ReadsNoFurtherThanItsLength) {
    const char16_t pair[] = {0xD83D, 0xDE00};
    std::string out;
    AppendUtf16(out, pair, 1);  // the low half lies outside the text
    EXPECT_EQ(out, kReplacement);
}

TEST(Utf8Encode, Utf32) {
    EXPECT_EQ(Encoded(std::vector<char32_t>{U'a', 0x1F600}), "a\xF0\x9F\x98\x80");
    EXPECT_EQ(Encoded(std::vector<char32_t>{0xD800, 0x110000}), kReplacement + kReplacement);
    EXPECT_EQ(Encoded(std::vector<int32_t>{-1}), kReplacement);
}

TEST(Utf8Encode, WideTextWhateverTheWidthOfWchar) {
    EXPECT_EQ(WideToUtf8(L"Fan 1 \u00b0C \u20ac"),
              "Fan 1 \xC2\xB0"
              "C \xE2\x82\xAC");
    EXPECT_EQ(WideToUtf8(std::wstring(1, L'\0')), std::string(1, '\0'));
    // U+1F321 (thermometer) as wchar_t holds it: one unit or a pair.
    std::wstring thermometer;
    if (sizeof(wchar_t) == 2) {
        thermometer = {static_cast<wchar_t>(0xD83C), static_cast<wchar_t>(0xDF21)};
    } else {
        thermometer = {static_cast<wchar_t>(0x1F321)};
    }
    EXPECT_EQ(WideToUtf8(thermometer), "\xF0\x9F\x8C\xA1");
    EXPECT_EQ(WideToUtf8({static_cast<wchar_t>(0xD800), L'x'}), kReplacement + "x");
}

}  // namespace
