// The C interface's text conversion and its caller-buffer rule.
#include "svcproc/api/Utf8Text.h"

#include <gtest/gtest.h>

#include <cstring>

#include "svcproc/api/ServiceCodeText.h"

namespace {

TEST(WideToUtf8, EncodesEveryLength) {
    EXPECT_EQ(WideToUtf8(L"Fan 1"), "Fan 1");
    EXPECT_EQ(WideToUtf8(L"\u00b0C"),
              "\xC2\xB0"
              "C");
    EXPECT_EQ(WideToUtf8(L"\u20ac"), "\xE2\x82\xAC");
    EXPECT_EQ(WideToUtf8(std::wstring(1, L'\0')), std::string(1, '\0'));
}

TEST(WideToUtf8, JoinsSurrogatePairsAndReplacesLoneOnes) {
    // U+1F321 (thermometer) as wchar_t holds it: one unit or a pair.
    std::wstring thermometer;
    if (sizeof(wchar_t) == 2) {
        thermometer = {static_cast<wchar_t>(0xD83C), static_cast<wchar_t>(0xDF21)};
    } else {
        thermometer = {static_cast<wchar_t>(0x1F321)};
    }
    EXPECT_EQ(WideToUtf8(thermometer), "\xF0\x9F\x8C\xA1");
    const std::wstring lone = {static_cast<wchar_t>(0xD800), L'x'};
    EXPECT_EQ(WideToUtf8(lone), "\xEF\xBF\xBDx");
    const std::wstring trailing = {L'x', static_cast<wchar_t>(0xDC00)};
    EXPECT_EQ(WideToUtf8(trailing), "x\xEF\xBF\xBD");
}

TEST(CopyText, StoresTheLengthAndCopiesOnlyWhenItFits) {
    size_t length = 99;
    char buffer[8];
    std::memset(buffer, 'q', sizeof buffer);
    EXPECT_TRUE(CopyText("abc", nullptr, 0, &length));
    EXPECT_EQ(length, 3u);
    // Room for the text but not its zero: refused, buffer untouched.
    EXPECT_FALSE(CopyText("abc", buffer, 3, &length));
    EXPECT_EQ(length, 3u);
    EXPECT_EQ(buffer[0], 'q');
    EXPECT_TRUE(CopyText("abc", buffer, 4, nullptr));
    EXPECT_STREQ(buffer, "abc");
    EXPECT_EQ(buffer[4], 'q');
    EXPECT_TRUE(CopyText("", buffer, 1, &length));
    EXPECT_EQ(length, 0u);
    EXPECT_STREQ(buffer, "");
}

TEST(ServiceCodeText, NamesEveryCodeAndNothingElse) {
    EXPECT_STREQ(ServiceApi::ServiceCodeName(ServiceCode_Success), "Success");
    EXPECT_STREQ(ServiceApi::ServiceCodeName(ServiceCode_DriverUnavailable), "DriverUnavailable");
    EXPECT_STREQ(ServiceApi::ServiceCodeName(ServiceCode_InvalidHandle), "InvalidHandle");
    EXPECT_STREQ(ServiceApi::ServiceCodeName(10), "OutOfMemory");
    EXPECT_STREQ(ServiceApi::ServiceCodeName(11), "Unknown");
    for (unsigned long code = 0; code <= 11; ++code) {
        EXPECT_GT(std::strlen(ServiceApi::ServiceCodeMeaning(code)), 10u) << code;
    }
}

}  // namespace
