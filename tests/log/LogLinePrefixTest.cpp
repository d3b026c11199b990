// The prefix of written lines: UTC time without the C library, thread number.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <ctime>
#include <random>
#include <string>
#include <thread>

#include "LinePrefix.h"

namespace {

using svcp::log::AppendUtcTimestamp;
using svcp::log::CurrentThreadNumber;

std::string Timestamp(int64_t milliseconds) {
    std::string out;
    AppendUtcTimestamp(out, milliseconds);
    return out;
}

TEST(LogLinePrefix, KnownTimes) {
    EXPECT_EQ("1970-01-01T00:00:00.000Z", Timestamp(0));
    EXPECT_EQ("1969-12-31T23:59:59.999Z", Timestamp(-1));
    EXPECT_EQ("2000-02-29T00:00:00.000Z", Timestamp(951782400000));
    EXPECT_EQ("2024-02-29T23:59:59.999Z", Timestamp(1709251199999));
    EXPECT_EQ("2038-01-19T03:14:08.000Z", Timestamp(int64_t{2147483648} * 1000));
    EXPECT_EQ("2100-03-01T00:00:00.000Z", Timestamp(4107542400000));  // 2100: no leap day
}

// Compared with the C library over a wide range of times.
TEST(LogLinePrefix, AgreesWithGmtime) {
    std::mt19937_64 random(20240229);
    std::uniform_int_distribution<int64_t> seconds(-2208988800, 7258118400);  // 1900..2200
    for (int i = 0; i < 20000; ++i) {
        const int64_t second = seconds(random);
        const int milliseconds = static_cast<int>(random() % 1000);
        const time_t time = static_cast<time_t>(second);
        struct tm parts {};
        ASSERT_NE(nullptr, gmtime_r(&time, &parts));
        char expected[40];
        std::strftime(expected, sizeof expected, "%Y-%m-%dT%H:%M:%S", &parts);
        char withMilliseconds[48];
        std::snprintf(withMilliseconds, sizeof withMilliseconds, "%s.%03dZ", expected,
                      milliseconds);
        ASSERT_EQ(withMilliseconds, Timestamp(second * 1000 + milliseconds)) << second;
    }
}

TEST(LogLinePrefix, ThreadNumbersAreStableAndDistinct) {
    const unsigned mine = CurrentThreadNumber();
    EXPECT_NE(0u, mine);
    EXPECT_EQ(mine, CurrentThreadNumber());
    unsigned other = 0;
    std::thread([&] { other = CurrentThreadNumber(); }).join();
    EXPECT_NE(0u, other);
    EXPECT_NE(mine, other);
}

TEST(LogLinePrefix, PrefixShape) {
    std::string out;
    svcp::log::AppendLinePrefix(out, 3);
    const std::string expectedTail = " [" + std::to_string(CurrentThreadNumber()) + "] L3 ";
    ASSERT_EQ(24 + expectedTail.size(), out.size()) << out;
    EXPECT_EQ(expectedTail, out.substr(24));
    EXPECT_EQ('Z', out[23]);
}

}  // namespace
