#include "snapshot/NumberText.h"

#include <charconv>
#include <cmath>
#include <system_error>

namespace {

constexpr int64_t kPlainExponentLimit = 30;

}  // namespace

std::string IntegerText(int64_t value) {
    char text[24];
    const std::to_chars_result end = std::to_chars(text, text + sizeof text, value);
    return std::string(text, end.ptr);
}

std::string IntegerText(uint64_t value) {
    char text[24];
    const std::to_chars_result end = std::to_chars(text, text + sizeof text, value);
    return std::string(text, end.ptr);
}

std::string DecimalText(int64_t value, int32_t exponent) {
    const bool negative = value < 0;
    // The magnitude of INT64_MIN does not fit in int64_t.
    const uint64_t magnitude =
        negative ? static_cast<uint64_t>(-(value + 1)) + 1 : static_cast<uint64_t>(value);
    if (magnitude == 0) {
        return "0";
    }
    std::string digits = IntegerText(magnitude);
    // Trailing zeros move into the exponent, so that the result is shortest
    // (in 64 bits: the exponent may be INT32_MAX already).
    int64_t power = exponent;
    while (digits.back() == '0') {
        digits.pop_back();
        ++power;
    }
    const std::string sign = negative ? "-" : "";
    if (power > kPlainExponentLimit || power < -kPlainExponentLimit) {
        return sign + digits + "e" + IntegerText(power);
    }
    if (power >= 0) {
        return sign + digits + std::string(static_cast<size_t>(power), '0');
    }
    const size_t decimals = static_cast<size_t>(-power);
    if (digits.size() <= decimals) {
        digits.insert(0, decimals + 1 - digits.size(), '0');
    }
    return sign + digits.substr(0, digits.size() - decimals) + "." +
           digits.substr(digits.size() - decimals);
}

double DecimalValue(int64_t value, int32_t exponent) {
    const std::string text = DecimalText(value, exponent);
    double result = 0;
    const std::from_chars_result end =
        std::from_chars(text.data(), text.data() + text.size(), result);
    if (end.ec == std::errc::result_out_of_range) {
        // Beyond what a double holds: infinity or zero, with the sign.
        const double magnitude = exponent > 0 ? HUGE_VAL : 0.0;
        return value < 0 ? -magnitude : magnitude;
    }
    return result;
}

std::string DoubleText(double value) {
    if (std::isnan(value)) {
        return "NaN";
    }
    if (std::isinf(value)) {
        return value > 0 ? "+Inf" : "-Inf";
    }
    char text[32];
    const std::to_chars_result end = std::to_chars(text, text + sizeof text, value);
    return std::string(text, end.ptr);
}
