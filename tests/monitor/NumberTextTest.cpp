// Numbers for the machine-readable formats: exact decimals, shortest, and
// the double nearest them.
#include <cfloat>
#include <cmath>
#include <cstdint>
#include <limits>
#include <string>

#include <gtest/gtest.h>

#include "snapshot/NumberText.h"

namespace {

TEST(NumberText, DecimalsAreExactAndShortest) {
    const struct {
        int64_t value;
        int32_t exponent;
        const char* text;
    } cases[] = {
        {3050, -3, "3.05"},
        {3300, -3, "3.3"},
        {12000, -3, "12"},
        {5, -3, "0.005"},
        {-25, -1, "-2.5"},
        {-5, -3, "-0.005"},
        {1980, 0, "1980"},
        {0, -3, "0"},
        {0, 40, "0"},
        {12, 2, "1200"},
        {415, -1, "41.5"},
        {1, -30, "0.000000000000000000000000000001"},
        {1, 30, "1000000000000000000000000000000"},
        {1, -31, "1e-31"},
        {3050, -40, "305e-39"},
        {7, 31, "7e31"},
        {INT64_MIN, 0, "-9223372036854775808"},
        {INT64_MAX, -19, "0.9223372036854775807"},
        {10, INT32_MAX, "1e2147483648"},
        {-1, INT32_MIN, "-1e-2147483648"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(DecimalText(c.value, c.exponent), c.text) << c.value << "e" << c.exponent;
    }
}

TEST(NumberText, ValuesAreTheDoubleNearestTheDecimal) {
    EXPECT_EQ(DecimalValue(3050, -3), 3.05);  // 3050 * 1e-3 is 3.0500000000000003
    EXPECT_NE(3050 * std::pow(10.0, -3), 3.05) << "the fault this guards against";
    EXPECT_EQ(DecimalValue(1, -1), 0.1);
    EXPECT_EQ(DecimalValue(3465, -3), 3.465);
    EXPECT_EQ(DecimalValue(655350, 0), 655350.0);
    EXPECT_EQ(DecimalValue(-25, -1), -2.5);
    EXPECT_EQ(DecimalValue(1, 400), HUGE_VAL);
    EXPECT_EQ(DecimalValue(-1, 400), -HUGE_VAL);
    EXPECT_EQ(DecimalValue(1, -400), 0.0);
    // Every millivolt reading of a 16-bit raw value reads back as its decimal.
    for (int64_t millivolts = 0; millivolts <= 65535; ++millivolts) {
        ASSERT_EQ(DoubleText(DecimalValue(millivolts, -3)), DecimalText(millivolts, -3))
            << millivolts;
    }
}

TEST(NumberText, DoublesRoundTripAndSpecialValuesAsPrometheusWritesThem) {
    EXPECT_EQ(DoubleText(0.125), "0.125");
    EXPECT_EQ(DoubleText(0.1 + 0.2), "0.30000000000000004");
    EXPECT_EQ(DoubleText(0.0), "0");
    EXPECT_EQ(DoubleText(DBL_MAX), "1.7976931348623157e+308");
    EXPECT_EQ(DoubleText(std::numeric_limits<double>::quiet_NaN()), "NaN");
    EXPECT_EQ(DoubleText(HUGE_VAL), "+Inf");
    EXPECT_EQ(DoubleText(-HUGE_VAL), "-Inf");
    EXPECT_EQ(IntegerText(uint64_t{18446744073709551615u}), "18446744073709551615");
    EXPECT_EQ(IntegerText(int64_t{-42}), "-42");
}

}  // namespace
