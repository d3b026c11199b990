// Log: narrow formats with the Windows C runtime's rules.
#include <climits>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

#include "LogTestSupport.h"

namespace {

using logtest::Narrow;

class LogFormatNarrow : public logtest::LogTest {};

// The pointer as the Windows runtime prints %p: upper-case hex, zero-padded
// to two digits per byte of a pointer.
std::string PointerDigits(const void* pointer) {
    auto value = reinterpret_cast<uintptr_t>(pointer);
    std::string digits(2 * sizeof(void*), '0');
    for (size_t i = digits.size(); i-- > 0; value >>= 4) {
        digits[i] = "0123456789ABCDEF"[value & 0xF];
    }
    return digits;
}

TEST_F(LogFormatNarrow, FormatsTheLibraryUses) {
    EXPECT_EQ("0x00001234", Narrow("0x%08x", 0x1234u));
    EXPECT_EQ("0xdeadbeef", Narrow("0x%08x", 0xDEADBEEFu));
    EXPECT_EQ("0x00ab", Narrow("0x%04x", 0xABu));
    EXPECT_EQ("0x12345", Narrow("0x%04x", 0x12345u));
    EXPECT_EQ("0x05", Narrow("0x%02x", 5u));
    EXPECT_EQ("0x1ff", Narrow("0x%02x", 0x1FFu));
    EXPECT_EQ("-42", Narrow("%d", -42));
    EXPECT_EQ("-2147483648", Narrow("%d", INT_MIN));
    EXPECT_EQ("2147483647", Narrow("%i", INT_MAX));
    EXPECT_EQ("deadbeef", Narrow("%x", 0xDEADBEEFu));
    EXPECT_EQ("text", Narrow("%s", "text"));
    EXPECT_EQ("0x0a, (-3)", Narrow("0x%02x, (%d)", 0x0Au, -3));
    EXPECT_EQ("4294967295", Narrow("%u", UINT_MAX));
}

TEST_F(LogFormatNarrow, FlagsWidthAndPrecisionOnIntegers) {
    EXPECT_EQ("[   42]", Narrow("[%5d]", 42));
    EXPECT_EQ("[42   ]", Narrow("[%-5d]", 42));
    EXPECT_EQ("[00042]", Narrow("[%05d]", 42));
    EXPECT_EQ("[-0042]", Narrow("[%05d]", -42));
    EXPECT_EQ("[42   ]", Narrow("[%-05d]", 42));
    EXPECT_EQ("[+42]", Narrow("[%+d]", 42));
    EXPECT_EQ("[ 42]", Narrow("[% d]", 42));
    EXPECT_EQ("[  042]", Narrow("[%5.3d]", 42));
    EXPECT_EQ("[  042]", Narrow("[%05.3d]", 42));  // 0 ignored with a precision
    EXPECT_EQ("[0xff]", Narrow("[%#x]", 0xFFu));
    EXPECT_EQ("[0XFF]", Narrow("[%#X]", 0xFFu));
    EXPECT_EQ("[017]", Narrow("[%#o]", 15u));
    EXPECT_EQ("[ABCDEF]", Narrow("[%X]", 0xABCDEFu));
    EXPECT_EQ("[0]", Narrow("[%d]", 0));
}

// The integers are formatted without the C library: on these conversions
// its rules and the Windows runtime's agree, so every combination of flags,
// width and precision must give what the host's snprintf gives.
TEST_F(LogFormatNarrow, IntegersAsTheCLibraryFormatsThem) {
    const long long signedValues[] = {0, 1, -1, 7, -8, 255, 4096, INT_MIN, LLONG_MAX, LLONG_MIN};
    const unsigned long long unsignedValues[] = {0, 1, 7, 8, 0xFF, 0xDEADBEEF, ULLONG_MAX};
    const char* const widths[] = {"", "1", "6", "25"};
    const char* const precisions[] = {"", ".", ".0", ".1", ".5", ".22"};
    const std::string flagSet = "-+ 0#";
    int compared = 0;
    for (const char conversion : std::string("diuoxX")) {
        const bool isSigned = conversion == 'd' || conversion == 'i';
        for (unsigned mask = 0; mask < 32; ++mask) {
            std::string flags;
            for (size_t bit = 0; bit < flagSet.size(); ++bit) {
                // '#' has no meaning for d and i.
                if ((mask & (1u << bit)) != 0 && !(isSigned && flagSet[bit] == '#')) {
                    flags += flagSet[bit];
                }
            }
            for (const char* width : widths) {
                for (const char* precision : precisions) {
                    const std::string format =
                        "[%" + flags + width + precision + "ll" + conversion + "]";
                    char expected[128];
                    if (isSigned) {
                        for (const long long value : signedValues) {
                            std::snprintf(expected, sizeof expected, format.c_str(), value);
                            ASSERT_EQ(expected, Narrow(format.c_str(), value)) << format;
                            ++compared;
                        }
                    } else {
                        for (const unsigned long long value : unsignedValues) {
                            std::snprintf(expected, sizeof expected, format.c_str(), value);
                            ASSERT_EQ(expected, Narrow(format.c_str(), value)) << format;
                            ++compared;
                        }
                    }
                }
            }
        }
    }
    EXPECT_GT(compared, 30000);
}

TEST_F(LogFormatNarrow, StarTakesWidthAndPrecisionFromArguments) {
    EXPECT_EQ("[   42]", Narrow("[%*d]", 5, 42));
    EXPECT_EQ("[42   ]", Narrow("[%*d]", -5, 42));  // negative width: left-aligned
    EXPECT_EQ("[00042]", Narrow("[%.*d]", 5, 42));
    EXPECT_EQ("[42]", Narrow("[%.*d]", -1, 42));  // negative precision: none
    EXPECT_EQ("[  abc]", Narrow("[%*.*s]", 5, 3, "abcdef"));
    EXPECT_EQ("[x 7]", Narrow("[%s %d]", "x", 7));
}

TEST_F(LogFormatNarrow, LengthModifiersReadTheRightWidth) {
    EXPECT_EQ("-1", Narrow("%hhd", 0x1FF));
    EXPECT_EQ("255", Narrow("%hhu", 0x1FF));
    EXPECT_EQ("4464", Narrow("%hd", 70000));
    EXPECT_EQ("1", Narrow("%hu", 65537));
    EXPECT_EQ("-9223372036854775808", Narrow("%lld", LLONG_MIN));
    EXPECT_EQ("18446744073709551615", Narrow("%llu", ULLONG_MAX));
    EXPECT_EQ(std::to_string(LONG_MIN), Narrow("%ld", LONG_MIN));
    EXPECT_EQ("-1234567890123", Narrow("%I64d", int64_t{-1234567890123}));
    EXPECT_EQ("123456789abcdef0", Narrow("%I64x", uint64_t{0x123456789ABCDEF0}));
    EXPECT_EQ("-7", Narrow("%I32d", int32_t{-7}));
    EXPECT_EQ("ffffffff", Narrow("%I32x", UINT32_MAX));
    EXPECT_EQ("-5", Narrow("%Id", ptrdiff_t{-5}));
    EXPECT_EQ(std::to_string(SIZE_MAX), Narrow("%Iu", SIZE_MAX));
    EXPECT_EQ(std::to_string(SIZE_MAX), Narrow("%zu", SIZE_MAX));
    EXPECT_EQ("-3", Narrow("%jd", intmax_t{-3}));
    EXPECT_EQ("-4", Narrow("%td", ptrdiff_t{-4}));
}

TEST_F(LogFormatNarrow, ArgumentsAfterWideIntegersStayInStep) {
    EXPECT_EQ("123456789abcdef0 5 x", Narrow("%I64x %d %s", uint64_t{0x123456789ABCDEF0}, 5, "x"));
    EXPECT_EQ("-1 2 3", Narrow("%lld %d %hd", -1LL, 2, 3));
    EXPECT_EQ("1.50 9", Narrow("%.2f %d", 1.5, 9));
}

// More arguments than registers, integers and doubles mixed: every one of
// them reaches the formatting as the caller passed it, through the va_list
// that Log and WLog hand on.
TEST_F(LogFormatNarrow, ArgumentsInRegistersAndOnTheStackArriveWhole) {
    EXPECT_EQ("1 2 3 4 5 6 7 8.5 9.5 ten 0.25 12",
              Narrow("%d %d %d %d %d %d %d %.1f %.1f %s %.2f %d", 1, 2, 3, 4, 5, 6, 7, 8.5, 9.5,
                     "ten", 0.25, 12));
    EXPECT_EQ("1.1 2.2 3.3 4.4 5.5 6.6 7.7 8.8 9.9 10",
              Narrow("%.1f %.1f %.1f %.1f %.1f %.1f %.1f %.1f %.1f %d", 1.1, 2.2, 3.3, 4.4, 5.5,
                     6.6, 7.7, 8.8, 9.9, 10));
    EXPECT_EQ("a b c d e f g",
              logtest::Wide(L"%S %S %S %S %S %S %S", "a", "b", "c", "d", "e", "f", "g"));
}

TEST_F(LogFormatNarrow, FloatingPoint) {
    EXPECT_EQ("3.14", Narrow("%.2f", 3.14159));
    EXPECT_EQ("[  3.1]", Narrow("[%5.1f]", 3.14159));
    EXPECT_EQ("1.500000e+02", Narrow("%e", 150.0));
    EXPECT_EQ("0.0001", Narrow("%g", 0.0001));
    EXPECT_EQ("2.50", Narrow("%.2Lf", 2.5L));
}

TEST_F(LogFormatNarrow, NarrowStrings) {
    EXPECT_EQ("[abc]", Narrow("[%s]", "abc"));
    EXPECT_EQ("[       abc]", Narrow("[%10s]", "abc"));
    EXPECT_EQ("[abc       ]", Narrow("[%-10s]", "abc"));
    EXPECT_EQ("[ab]", Narrow("[%.2s]", "abc"));
    EXPECT_EQ("[   ab]", Narrow("[%5.2s]", "abc"));
    EXPECT_EQ("[abc]", Narrow("[%1s]", "abc"));
    EXPECT_EQ("[]", Narrow("[%s]", ""));
    EXPECT_EQ("[x]", Narrow("[%hs]", "x"));
}

TEST_F(LogFormatNarrow, PrecisionBoundsTheStringRead) {
    // Not terminated: a read past the precision would be found by ASan.
    const char letters[3] = {'a', 'b', 'c'};
    EXPECT_EQ("abc", Narrow("%.3s", letters));
    EXPECT_EQ("ab", Narrow("%.*s", 2, letters));
    const wchar_t wide[2] = {L'x', L'y'};
    EXPECT_EQ("xy", Narrow("%.2S", wide));
}

TEST_F(LogFormatNarrow, UpperCaseAndLongStringsAreWide) {
    EXPECT_EQ("wide", Narrow("%S", L"wide"));
    EXPECT_EQ("wide", Narrow("%ls", L"wide"));
    EXPECT_EQ("wide", Narrow("%ws", L"wide"));
    EXPECT_EQ("narrow", Narrow("%hS", "narrow"));
    EXPECT_EQ("[  wi]", Narrow("[%4.2S]", L"wide"));
    EXPECT_EQ("caf\xC3\xA9", Narrow("%S", L"caf\u00E9"));
}

TEST_F(LogFormatNarrow, Characters) {
    EXPECT_EQ("[x]", Narrow("[%c]", 'x'));
    EXPECT_EQ("[  x]", Narrow("[%3c]", 'x'));
    EXPECT_EQ("[x  ]", Narrow("[%-3c]", 'x'));
    EXPECT_EQ("\xC3\xA9", Narrow("%C", static_cast<wint_t>(L'\u00E9')));
    EXPECT_EQ("\xE2\x82\xAC", Narrow("%lc", static_cast<wint_t>(L'\u20AC')));
    EXPECT_EQ("\xE2\x82\xAC", Narrow("%wc", static_cast<wint_t>(L'\u20AC')));
}

TEST_F(LogFormatNarrow, NullStringsPrintNull) {
    EXPECT_EQ("(null)", Narrow("%s", static_cast<const char*>(nullptr)));
    EXPECT_EQ("(null)", Narrow("%S", static_cast<const wchar_t*>(nullptr)));
    EXPECT_EQ("[  (null)]", Narrow("[%8s]", static_cast<const char*>(nullptr)));
    EXPECT_EQ("(nu", Narrow("%.3s", static_cast<const char*>(nullptr)));
    EXPECT_EQ("(null) 5", Narrow("%s %d", static_cast<const char*>(nullptr), 5));
}

TEST_F(LogFormatNarrow, PointerIsUpperCaseHexOfPointerWidth) {
    int object = 0;
    const void* pointer = &object;
    const std::string digits = PointerDigits(pointer);
    ASSERT_EQ(2 * sizeof(void*), digits.size());
    EXPECT_EQ(digits, Narrow("%p", pointer));
    EXPECT_EQ("0x" + digits, Narrow("0x%08p", pointer));
    EXPECT_EQ("0x" + digits, Narrow("0x%p", pointer));

    const auto* lettered = reinterpret_cast<const void*>(uintptr_t{0xABCDEF01});
    EXPECT_EQ(std::string(2 * sizeof(void*) - 8, '0') + "ABCDEF01", Narrow("%p", lettered));
    EXPECT_EQ(std::string(2 * sizeof(void*), '0'), Narrow("%p", static_cast<void*>(nullptr)));
}

TEST_F(LogFormatNarrow, PointerWidthPadsWithSpaces) {
    const auto* pointer = reinterpret_cast<const void*>(uintptr_t{0x1234});
    const std::string digits = PointerDigits(pointer);
    const std::string padding(4, ' ');
    const int width = static_cast<int>(digits.size()) + 4;
    EXPECT_EQ("[" + padding + digits + "]", Narrow("[%*p]", width, pointer));
    EXPECT_EQ("[" + digits + padding + "]", Narrow("[%-*p]", width, pointer));
    EXPECT_EQ("[" + padding + digits + "]", Narrow("[%0*p]", width, pointer));
}

TEST_F(LogFormatNarrow, PercentNWritesNothing) {
    int count = 12345;
    EXPECT_EQ("abcd 7", Narrow("ab%ncd %d", &count, 7));
    EXPECT_EQ(12345, count);
}

TEST_F(LogFormatNarrow, PercentAndUnknownConversions) {
    EXPECT_EQ("100%", Narrow("100%%"));
    EXPECT_EQ("%y|%5k", Narrow("%y|%5k"));
    EXPECT_EQ("1 %y 2", Narrow("%d %y %d", 1, 2));  // no argument taken by %y
    EXPECT_EQ("abc%", Narrow("abc%"));
    EXPECT_EQ("abc%-5", Narrow("abc%-5"));
    EXPECT_EQ("%\xC3\xA9", Narrow("%\xC3\xA9"));
}

TEST_F(LogFormatNarrow, NarrowBytesAreCopiedAsTheyAre) {
    EXPECT_EQ("caf\xC3\xA9 \xFF\xFE!", Narrow("caf\xC3\xA9 %s!", "\xFF\xFE"));
}

TEST_F(LogFormatNarrow, LongTextsAreWhole) {
    const std::string big(10000, 'x');
    EXPECT_EQ("<" + big + ">", Narrow("<%s>", big.c_str()));
    EXPECT_EQ(std::string(300, ' ') + "7", Narrow("%301d", 7));
}

}  // namespace
