// UTF-8 encoding of wide text, UTF-16 (Windows' wchar_t) included.
#include <gtest/gtest.h>

#include <string>

#include "Utf8.h"

namespace {

using svcp::log::AppendCodePoint;
using svcp::log::AppendUtf16;
using svcp::log::AppendUtf32;

const std::string kReplacement = "\xEF\xBF\xBD";

std::string FromCodePoint(char32_t codePoint) {
    std::string out;
    AppendCodePoint(out, codePoint);
    return out;
}

std::string FromUtf16(const std::u16string& text) {
    std::string out;
    AppendUtf16(out, text.data(), text.size());
    return out;
}

std::string FromUtf32(const std::u32string& text) {
    std::string out;
    AppendUtf32(out, text.data(), text.size());
    return out;
}

TEST(LogUtf8, EncodesEachLengthAtItsBounds) {
    EXPECT_EQ(std::string(1, '\0'), FromCodePoint(0));
    EXPECT_EQ("\x7F", FromCodePoint(0x7F));
    EXPECT_EQ("\xC2\x80", FromCodePoint(0x80));
    EXPECT_EQ("\xDF\xBF", FromCodePoint(0x7FF));
    EXPECT_EQ("\xE0\xA0\x80", FromCodePoint(0x800));
    EXPECT_EQ("\xEF\xBF\xBF", FromCodePoint(0xFFFF));
    EXPECT_EQ("\xF0\x90\x80\x80", FromCodePoint(0x10000));
    EXPECT_EQ("\xF4\x8F\xBF\xBF", FromCodePoint(0x10FFFF));
}

TEST(LogUtf8, InvalidCodePointsBecomeReplacementCharacters) {
    EXPECT_EQ(kReplacement, FromCodePoint(0xD800));
    EXPECT_EQ(kReplacement, FromCodePoint(0xDFFF));
    EXPECT_EQ(kReplacement, FromCodePoint(0x110000));
    EXPECT_EQ(kReplacement, FromCodePoint(0xFFFFFFFF));
}

TEST(LogUtf8, Utf16SurrogatePairsJoin) {
    EXPECT_EQ("a\xF0\x9F\x98\x80z", FromUtf16(u"a\U0001F600z"));
    EXPECT_EQ("\xF4\x8F\xBF\xBF", FromUtf16(std::u16string{0xDBFF, 0xDFFF}));
    EXPECT_EQ("\xC3\xA9\xE4\xB8\xAD", FromUtf16(u"\u00E9\u4E2D"));
}

TEST(LogUtf8, Utf16LoneSurrogatesAreReplaced) {
    EXPECT_EQ(kReplacement, FromUtf16(std::u16string{0xD83D}));
    EXPECT_EQ(kReplacement + "a", FromUtf16(std::u16string{0xD83D, u'a'}));
    EXPECT_EQ(kReplacement + "a", FromUtf16(std::u16string{0xDE00, u'a'}));
    EXPECT_EQ(kReplacement + kReplacement, FromUtf16(std::u16string{0xDE00, 0xD83D}));
    EXPECT_EQ(kReplacement + "\xF0\x9F\x98\x80", FromUtf16(std::u16string{0xD83D, 0xD83D, 0xDE00}));
}

TEST(LogUtf8, Utf16ReadsNoFurtherThanItsLength) {
    const char16_t pair[] = {0xD83D, 0xDE00};
    std::string out;
    AppendUtf16(out, pair, 1);  // the low half lies outside the text
    EXPECT_EQ(kReplacement, out);
}

TEST(LogUtf8, Utf32) {
    EXPECT_EQ("a\xF0\x9F\x98\x80", FromUtf32(U"a\U0001F600"));
    EXPECT_EQ(kReplacement + kReplacement, FromUtf32(std::u32string{0xD800, 0x110000}));
}

}  // namespace
