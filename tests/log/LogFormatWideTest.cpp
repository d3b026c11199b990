// WLog: wide formats, where %s is wide, and the UTF-8 they produce.
#include <cstdint>
#include <string>

#include "LogTestSupport.h"

namespace {

using logtest::Wide;

class LogFormatWide : public logtest::LogTest {};

TEST_F(LogFormatWide, LowerCaseStringIsWide) {
    EXPECT_EQ("[wide]", Wide(L"[%s]", L"wide"));
    EXPECT_EQ("[wide]", Wide(L"[%ls]", L"wide"));
    EXPECT_EQ("[wide]", Wide(L"[%ws]", L"wide"));
    EXPECT_EQ("[wide]", Wide(L"[%wS]", L"wide"));
}

TEST_F(LogFormatWide, UpperCaseAndShortStringsAreNarrow) {
    EXPECT_EQ("[narrow]", Wide(L"[%S]", "narrow"));
    EXPECT_EQ("[narrow]", Wide(L"[%hs]", "narrow"));
    EXPECT_EQ("[caf\xC3\xA9]", Wide(L"[%S]", "caf\xC3\xA9"));  // bytes copied
}

TEST_F(LogFormatWide, Characters) {
    EXPECT_EQ("[\xC3\xA9]", Wide(L"[%c]", static_cast<wint_t>(L'\u00E9')));
    EXPECT_EQ("[x]", Wide(L"[%C]", 'x'));
    EXPECT_EQ("[x]", Wide(L"[%hc]", 'x'));
    EXPECT_EQ("[  x]", Wide(L"[%3c]", static_cast<wint_t>(L'x')));
}

TEST_F(LogFormatWide, WidthAndPrecisionCountCharacters) {
    EXPECT_EQ("[ab    |  ab]", Wide(L"[%-6s|%4.2s]", L"ab", L"abcd"));
    EXPECT_EQ("[   \xC3\xA9t\xC3\xA9]", Wide(L"[%6s]", L"\u00E9t\u00E9"));
    const wchar_t unterminated[2] = {L'p', L'q'};
    EXPECT_EQ("pq", Wide(L"%.2s", unterminated));
}

TEST_F(LogFormatWide, NullStringsPrintNull) {
    EXPECT_EQ("(null)", Wide(L"%s", static_cast<const wchar_t*>(nullptr)));
    EXPECT_EQ("(null)", Wide(L"%S", static_cast<const char*>(nullptr)));
    EXPECT_EQ("(nu", Wide(L"%.3s", static_cast<const wchar_t*>(nullptr)));
}

TEST_F(LogFormatWide, NumbersAndPointers) {
    EXPECT_EQ("0x0000beef (-5) 0x7f", Wide(L"0x%08x (%d) 0x%02x", 0xBEEFu, -5, 0x7Fu));
    const auto* pointer = reinterpret_cast<const void*>(uintptr_t{0xAB});
    EXPECT_EQ("0x" + std::string(2 * sizeof(void*) - 2, '0') + "AB", Wide(L"0x%08p", pointer));
    EXPECT_EQ("1234567890123 ok", Wide(L"%I64d %s", int64_t{1234567890123}, L"ok"));
}

TEST_F(LogFormatWide, PercentUnknownAndCount) {
    int count = 99;
    EXPECT_EQ("50% %y ab", Wide(L"50%% %y a%nb", &count));
    EXPECT_EQ(99, count);
    EXPECT_EQ("%\xC3\xA9", Wide(L"%\u00E9"));  // unknown non-ASCII conversion, encoded
    EXPECT_EQ("end%", Wide(L"end%"));
}

TEST_F(LogFormatWide, LiteralTextIsEncodedAsUtf8) {
    EXPECT_EQ(
        "Gr\xC3\xBC\xC3\x9F"
        "e \xE2\x82\xAC \xF0\x9D\x84\x9E 5",
        Wide(L"Gr\u00FC\u00DFe \u20AC \U0001D11E %d", 5));
}

TEST_F(LogFormatWide, WideArgumentsAreEncodedAsUtf8) {
    EXPECT_EQ("\x41\xC3\xA9\xE4\xB8\xAD\xF0\x9F\x98\x80", Wide(L"%s", L"A\u00E9\u4E2D\U0001F600"));
    EXPECT_EQ("\xF0\x9F\x98\x80", logtest::Narrow("%S", L"\U0001F600"));
}

TEST_F(LogFormatWide, InvalidCodePointsBecomeReplacementCharacters) {
    const std::string replacement = "\xEF\xBF\xBD";
    if constexpr (sizeof(wchar_t) == 4) {
        const wchar_t text[] = {static_cast<wchar_t>(0xD800), L'a', static_cast<wchar_t>(0x110000),
                                static_cast<wchar_t>(-1), 0};
        EXPECT_EQ(replacement + "a" + replacement + replacement, Wide(L"%s", text));
    } else {
        const wchar_t text[] = {static_cast<wchar_t>(0xD800), L'a', static_cast<wchar_t>(0xDC00),
                                0};
        EXPECT_EQ(replacement + "a" + replacement, Wide(L"%s", text));
    }
    // In the format's own text too.
    const wchar_t format[] = {static_cast<wchar_t>(0xDFFF), L'b', 0};
    EXPECT_EQ(replacement + "b", Wide(format));
}

}  // namespace
