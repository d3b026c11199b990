// mbstowcs_s with the Windows runtime's contract.
#include <clocale>
#include <string>

#include <gtest/gtest.h>

#include "platform.h"

namespace {

TEST(Multibyte, ConvertsAndCountsTheTerminator) {
    wchar_t out[16];
    size_t converted = 0;
    EXPECT_EQ(mbstowcs_s(&converted, out, 16, "CPU Fan", _TRUNCATE), 0);
    EXPECT_EQ(std::wstring(out), L"CPU Fan");
    EXPECT_EQ(converted, 8u);
}

TEST(Multibyte, TruncatesAtTheBufferEndAndTerminates) {
    wchar_t out[4];
    size_t converted = 0;
    EXPECT_EQ(mbstowcs_s(&converted, out, 4, "abcdef", _TRUNCATE), STRUNCATE);
    EXPECT_EQ(std::wstring(out), L"abc");
    EXPECT_EQ(converted, 4u);
}

TEST(Multibyte, TooSmallWithoutTruncateIsARangeErrorWithEmptyOutput) {
    wchar_t out[4] = {L'x', L'x', L'x', L'x'};
    EXPECT_EQ(mbstowcs_s(nullptr, out, 4, "abcdef", 6), ERANGE);
    EXPECT_EQ(out[0], L'\0');
}

TEST(Multibyte, SingleByteLocaleMapsEveryByte) {
    // The "C" locale is single-byte, as on Windows: bytes above 0x7F convert.
    wchar_t out[8];
    EXPECT_EQ(mbstowcs_s(nullptr, out, 8,
                         "T\xB0"
                         "C",
                         _TRUNCATE),
              0);
    EXPECT_EQ(out[1], static_cast<wchar_t>(0xB0));
}

TEST(Multibyte, InvalidSequenceInUtf8LocaleGivesEmptyOutput) {
    const char* previous = std::setlocale(LC_CTYPE, nullptr);
    const std::string saved = previous ? previous : "C";
    if (std::setlocale(LC_CTYPE, "C.UTF-8") == nullptr) {
        GTEST_SKIP() << "no C.UTF-8 locale";
    }
    wchar_t out[8] = {L'x'};
    EXPECT_EQ(mbstowcs_s(nullptr, out, 8, "a\xFF", _TRUNCATE), EILSEQ);
    EXPECT_EQ(out[0], L'\0');
    EXPECT_EQ(mbstowcs_s(nullptr, out, 8,
                         "\xC2\xB0"
                         "C",
                         _TRUNCATE),
              0);
    EXPECT_EQ(std::wstring(out), L"\u00B0C");
    std::setlocale(LC_CTYPE, saved.c_str());
}

TEST(Multibyte, BadArgumentsAreRefused) {
    wchar_t out[4];
    EXPECT_EQ(mbstowcs_s(nullptr, out, 4, nullptr, _TRUNCATE), EINVAL);
    EXPECT_EQ(mbstowcs_s(nullptr, out, 0, "a", _TRUNCATE), EINVAL);
}

}  // namespace
