// The C interface's caller-buffer rule and result texts (the encoder has its
// own test in tests/library/common).
#include "svcproc/api/Utf8Text.h"

#include <gtest/gtest.h>

#include <cstring>

#include "svcproc/api/ServiceCodeText.h"

namespace {

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
