#include "CrtFormat.h"

#include <climits>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cwchar>
#include <type_traits>

#include "Decimal.h"
#include "TextBuffer.h"
#include "common/Utf8Encode.h"

namespace svcp::log {

namespace {

// Field widths and numeric precisions are clamped to this: no real format
// asks for more, and a corrupt one must not make a line of gigabytes.
constexpr int kMaxField = 65536;

enum class Length {
    kNone,
    kChar,        // hh
    kShort,       // h
    kLong,        // l
    kLongLong,    // ll
    kLongDouble,  // L
    kInt32,       // I32
    kInt64,       // I64
    kPointer,     // I: the width of a pointer
    kSize,        // z
    kMax,         // j
    kPtrDiff,     // t
    kWide,        // w
};

struct Directive {
    bool left = false;
    bool plus = false;
    bool space = false;
    bool zero = false;
    bool alternate = false;
    int width = 0;
    int precision = -1;  // none given
    Length length = Length::kNone;
    char conversion = 0;
};

// The va_list travels by reference through the helpers; wrapping it makes that
// portable whether va_list is an array type or not.
struct Arguments {
    va_list list;
};

// wint_t is unsigned short on Windows, which variadic calls promote to int.
using PromotedWideChar = std::conditional_t<(sizeof(wint_t) < sizeof(int)), int, wint_t>;

template <typename CharT>
char Ascii(CharT c) {
    const auto value = static_cast<std::make_unsigned_t<CharT>>(c);
    return value < 0x80 ? static_cast<char>(value) : '\0';
}

void AppendLiteral(CTextBuffer& out, const char* text, size_t length) {
    out.append(text, length);
}

void AppendLiteral(CTextBuffer& out, const wchar_t* text, size_t length) {
    utf8::AppendWide(out, text, length);
}

template <typename CharT>
int ParseDigits(const CharT*& p) {
    int value = 0;
    while (*p >= '0' && *p <= '9') {
        const int digit = static_cast<int>(*p - '0');
        value = value > (INT_MAX - digit) / 10 ? INT_MAX : value * 10 + digit;
        ++p;
    }
    return value;
}

template <typename CharT>
void ParseFlags(const CharT*& p, Directive& directive) {
    for (;; ++p) {
        switch (Ascii(*p)) {
            case '-':
                directive.left = true;
                break;
            case '+':
                directive.plus = true;
                break;
            case ' ':
                directive.space = true;
                break;
            case '0':
                directive.zero = true;
                break;
            case '#':
                directive.alternate = true;
                break;
            default:
                return;
        }
    }
}

template <typename CharT>
void ParseWidthAndPrecision(const CharT*& p, Directive& directive, Arguments& args) {
    if (*p == '*') {
        ++p;
        const int width = va_arg(args.list, int);
        if (width < 0) {
            directive.left = true;
            directive.width = width == INT_MIN ? INT_MAX : -width;
        } else {
            directive.width = width;
        }
    } else {
        directive.width = ParseDigits(p);
    }
    if (*p == '.') {
        ++p;
        if (*p == '*') {
            ++p;
            const int precision = va_arg(args.list, int);
            directive.precision = precision < 0 ? -1 : precision;  // negative: as if omitted
        } else {
            directive.precision = ParseDigits(p);
        }
    }
}

template <typename CharT>
void ParseLength(const CharT*& p, Directive& directive) {
    switch (Ascii(*p)) {
        case 'h':
            ++p;
            directive.length = Length::kShort;
            if (*p == 'h') {
                ++p;
                directive.length = Length::kChar;
            }
            break;
        case 'l':
            ++p;
            directive.length = Length::kLong;
            if (*p == 'l') {
                ++p;
                directive.length = Length::kLongLong;
            }
            break;
        case 'I':
            ++p;
            directive.length = Length::kPointer;
            if (p[0] == '3' && p[1] == '2') {
                p += 2;
                directive.length = Length::kInt32;
            } else if (p[0] == '6' && p[1] == '4') {
                p += 2;
                directive.length = Length::kInt64;
            }
            break;
        case 'L':
            ++p;
            directive.length = Length::kLongDouble;
            break;
        case 'z':
            ++p;
            directive.length = Length::kSize;
            break;
        case 'j':
            ++p;
            directive.length = Length::kMax;
            break;
        case 't':
            ++p;
            directive.length = Length::kPtrDiff;
            break;
        case 'w':
            ++p;
            directive.length = Length::kWide;
            break;
        default:
            break;
    }
}

int Clamped(int value) {
    return value < kMaxField ? value : kMaxField;
}

// An integer conversion (d i u o x X) as C99 printf writes it, the same on
// every host: sign or 0x prefix, the zeros that the precision or the 0 flag
// ask for, the digits, and the padding to the field width. `precision` is
// negative for none; `signedConversion` says whether + and the space flag
// apply.
void AppendInteger(CTextBuffer& out, const Directive& directive, int precision,
                   bool signedConversion, bool negative, unsigned long long magnitude) {
    const char conversion = directive.conversion;
    const unsigned base = conversion == 'o'                          ? 8
                          : (conversion == 'x' || conversion == 'X') ? 16
                                                                     : 10;
    const char* const symbols = conversion == 'X' ? "0123456789ABCDEF" : "0123456789abcdef";

    // Written from the end, least significant first.
    char digits[24];  // 64 bits in octal: 22
    char* const digitsEnd = digits + sizeof digits;
    char* first = digitsEnd;
    if (magnitude != 0 || precision != 0) {
        do {
            *--first = symbols[magnitude % base];
            magnitude /= base;
        } while (magnitude != 0);
    }
    const auto count = static_cast<size_t>(digitsEnd - first);
    size_t zeros = precision > 0 && static_cast<size_t>(Clamped(precision)) > count
                       ? static_cast<size_t>(Clamped(precision)) - count
                       : 0;
    if (base == 8 && directive.alternate && zeros == 0 && (count == 0 || *first != '0')) {
        zeros = 1;  // # makes the first digit of an octal number a 0
    }
    char prefix[2] = {0, 0};
    size_t prefixLength = 0;
    if (signedConversion && negative) {
        prefix[prefixLength++] = '-';
    } else if (signedConversion && directive.plus) {
        prefix[prefixLength++] = '+';
    } else if (signedConversion && directive.space) {
        prefix[prefixLength++] = ' ';
    } else if (base == 16 && directive.alternate && count > 0 && !(count == 1 && *first == '0')) {
        prefix[prefixLength++] = '0';
        prefix[prefixLength++] = conversion;
    }
    const size_t width = static_cast<size_t>(Clamped(directive.width));
    const size_t length = prefixLength + zeros + count;
    size_t padding = width > length ? width - length : 0;
    if (padding > 0 && !directive.left && directive.zero && precision < 0) {
        zeros += padding;  // the 0 flag pads between the sign and the digits
        padding = 0;
    }
    if (!directive.left) {
        out.append(padding, ' ');
    }
    out.append(prefix, prefixLength);
    out.append(zeros, '0');
    out.append(first, count);
    if (directive.left) {
        out.append(padding, ' ');
    }
}

// Floating point, which the library's own lines never use, goes to the C
// library: the directive rebuilt as a C99 format, then one snprintf.
template <typename T>
void AppendFloating(CTextBuffer& out, const Directive& directive, bool longDouble, T value) {
    char cFormat[32];
    char* p = cFormat;
    *p++ = '%';
    if (directive.left)
        *p++ = '-';
    if (directive.plus)
        *p++ = '+';
    if (directive.space)
        *p++ = ' ';
    if (directive.zero)
        *p++ = '0';
    if (directive.alternate)
        *p++ = '#';
    // A width of 0 is left out: written as a digit it would read as the 0 flag.
    if (directive.width > 0) {
        p = PutDecimal(p, static_cast<unsigned>(Clamped(directive.width)));
    }
    if (directive.precision >= 0) {
        *p++ = '.';
        p = PutDecimal(p, static_cast<unsigned>(Clamped(directive.precision)));
    }
    if (longDouble) {
        *p++ = 'L';
    }
    *p++ = directive.conversion;
    *p = '\0';
    char buffer[128];
    const int length = std::snprintf(buffer, sizeof buffer, cFormat, value);
    if (length < 0) {
        return;
    }
    if (static_cast<size_t>(length) < sizeof buffer) {
        out.append(buffer, static_cast<size_t>(length));
        return;
    }
    out.Reserve(static_cast<size_t>(length) + 1);
    std::snprintf(out.End(), static_cast<size_t>(length) + 1, cFormat, value);
    out.Advance(static_cast<size_t>(length));
}

void FormatSigned(CTextBuffer& out, const Directive& directive, Arguments& args) {
    long long value = 0;
    switch (directive.length) {
        case Length::kChar:
            value = static_cast<signed char>(va_arg(args.list, int));
            break;
        case Length::kShort:
            value = static_cast<short>(va_arg(args.list, int));
            break;
        case Length::kLong:
            value = va_arg(args.list, long);
            break;
        case Length::kLongLong:
        case Length::kLongDouble:
            value = va_arg(args.list, long long);
            break;
        case Length::kInt32:
            value = va_arg(args.list, int32_t);
            break;
        case Length::kInt64:
            value = va_arg(args.list, int64_t);
            break;
        case Length::kPointer:
        case Length::kSize:
        case Length::kPtrDiff:
            value = va_arg(args.list, ptrdiff_t);
            break;
        case Length::kMax:
            value = va_arg(args.list, intmax_t);
            break;
        default:
            value = va_arg(args.list, int);
            break;
    }
    const bool negative = value < 0;
    const unsigned long long magnitude = negative ? 0ULL - static_cast<unsigned long long>(value)
                                                  : static_cast<unsigned long long>(value);
    AppendInteger(out, directive, directive.precision, true, negative, magnitude);
}

void FormatUnsigned(CTextBuffer& out, const Directive& directive, Arguments& args) {
    unsigned long long value = 0;
    switch (directive.length) {
        case Length::kChar:
            value = static_cast<unsigned char>(va_arg(args.list, int));
            break;
        case Length::kShort:
            value = static_cast<unsigned short>(va_arg(args.list, int));
            break;
        case Length::kLong:
            value = va_arg(args.list, unsigned long);
            break;
        case Length::kLongLong:
        case Length::kLongDouble:
            value = va_arg(args.list, unsigned long long);
            break;
        case Length::kInt32:
            value = va_arg(args.list, uint32_t);
            break;
        case Length::kInt64:
            value = va_arg(args.list, uint64_t);
            break;
        case Length::kPointer:
        case Length::kSize:
            value = va_arg(args.list, size_t);
            break;
        case Length::kPtrDiff:
            value = static_cast<unsigned long long>(va_arg(args.list, ptrdiff_t));
            break;
        case Length::kMax:
            value = va_arg(args.list, uintmax_t);
            break;
        default:
            value = va_arg(args.list, unsigned int);
            break;
    }
    AppendInteger(out, directive, directive.precision, false, false, value);
}

void FormatFloating(CTextBuffer& out, const Directive& directive, Arguments& args) {
    if (directive.length == Length::kLongDouble) {
        AppendFloating(out, directive, true, va_arg(args.list, long double));
    } else {
        AppendFloating(out, directive, false, va_arg(args.list, double));
    }
}

void FormatPointer(CTextBuffer& out, Directive directive, Arguments& args) {
    const auto value = reinterpret_cast<uintptr_t>(va_arg(args.list, void*));
    directive.conversion = 'X';
    AppendInteger(out, directive, static_cast<int>(2 * sizeof(void*)), false, false,
                  static_cast<unsigned long long>(value));
}

void AppendSpaces(CTextBuffer& out, size_t count) {
    out.append(count, ' ');
}

// Pads `text` (of `length` characters of the argument) to the field width.
template <typename Append>
void AppendPadded(CTextBuffer& out, const Directive& directive, size_t length, Append append) {
    const size_t width =
        static_cast<size_t>(directive.width < kMaxField ? directive.width : kMaxField);
    const size_t padding = width > length ? width - length : 0;
    if (!directive.left) {
        AppendSpaces(out, padding);
    }
    append();
    if (directive.left) {
        AppendSpaces(out, padding);
    }
}

// Length of a string argument, reading no further than `precision`
// characters: with a precision the argument need not be terminated.
template <typename CharT>
size_t BoundedLength(const CharT* text, int precision) {
    const size_t limit = precision < 0 ? SIZE_MAX : static_cast<size_t>(precision);
    size_t length = 0;
    while (length < limit && text[length] != 0) {
        ++length;
    }
    return length;
}

// Whether %s/%S/%c/%C takes a wide argument in a format of the given width.
bool TakesWide(const Directive& directive, bool wideFormat) {
    switch (directive.length) {
        case Length::kShort:
            return false;
        case Length::kLong:
        case Length::kWide:
            return true;
        default:
            break;
    }
    const bool upper = directive.conversion == 'S' || directive.conversion == 'C';
    return upper ? !wideFormat : wideFormat;
}

void FormatString(CTextBuffer& out, const Directive& directive, bool wideFormat, Arguments& args) {
    if (TakesWide(directive, wideFormat)) {
        const wchar_t* text = va_arg(args.list, const wchar_t*);
        if (text == nullptr) {
            text = L"(null)";
        }
        const size_t length = BoundedLength(text, directive.precision);
        AppendPadded(out, directive, length, [&] { utf8::AppendWide(out, text, length); });
    } else {
        const char* text = va_arg(args.list, const char*);
        if (text == nullptr) {
            text = "(null)";
        }
        const size_t length = BoundedLength(text, directive.precision);
        AppendPadded(out, directive, length, [&] { out.append(text, length); });
    }
}

void FormatChar(CTextBuffer& out, const Directive& directive, bool wideFormat, Arguments& args) {
    if (TakesWide(directive, wideFormat)) {
        const auto unit = static_cast<wchar_t>(va_arg(args.list, PromotedWideChar));
        AppendPadded(out, directive, 1, [&] { utf8::AppendWide(out, &unit, 1); });
    } else {
        const auto byte = static_cast<char>(va_arg(args.list, int));
        AppendPadded(out, directive, 1, [&] { out.push_back(byte); });
    }
}

// Formats the conversion in `directive`; false when the conversion is unknown.
bool FormatConversion(CTextBuffer& out, const Directive& directive, bool wideFormat,
                      Arguments& args) {
    switch (directive.conversion) {
        case 'd':
        case 'i':
            FormatSigned(out, directive, args);
            return true;
        case 'u':
        case 'o':
        case 'x':
        case 'X':
            FormatUnsigned(out, directive, args);
            return true;
        case 'e':
        case 'E':
        case 'f':
        case 'F':
        case 'g':
        case 'G':
        case 'a':
        case 'A':
            FormatFloating(out, directive, args);
            return true;
        case 'c':
        case 'C':
            FormatChar(out, directive, wideFormat, args);
            return true;
        case 's':
        case 'S':
            FormatString(out, directive, wideFormat, args);
            return true;
        case 'p':
            FormatPointer(out, directive, args);
            return true;
        case 'n':
            // The count is never stored: a format must not be able to write memory.
            static_cast<void>(va_arg(args.list, void*));
            return true;
        case '%':
            out.push_back('%');
            return true;
        default:
            return false;
    }
}

template <typename CharT>
void Format(CTextBuffer& out, const CharT* format, Arguments& args) {
    constexpr bool kWideFormat = std::is_same_v<CharT, wchar_t>;
    const CharT* p = format;
    while (*p != 0) {
        if (*p != '%') {
            const CharT* run = p;
            while (*p != 0 && *p != '%') {
                ++p;
            }
            AppendLiteral(out, run, static_cast<size_t>(p - run));
            continue;
        }
        const CharT* start = p++;
        Directive directive;
        ParseFlags(p, directive);
        ParseWidthAndPrecision(p, directive, args);
        ParseLength(p, directive);
        if (*p == 0) {
            // The format ends inside a directive: keep the text.
            AppendLiteral(out, start, static_cast<size_t>(p - start));
            break;
        }
        directive.conversion = Ascii(*p++);
        if (!FormatConversion(out, directive, kWideFormat, args)) {
            AppendLiteral(out, start, static_cast<size_t>(p - start));
        }
    }
}

template <typename CharT>
void FormatWithCopy(CTextBuffer& out, const CharT* format, va_list args) {
    Arguments arguments;
    va_copy(arguments.list, args);
    try {
        Format(out, format, arguments);
    } catch (...) {
        va_end(arguments.list);
        throw;
    }
    va_end(arguments.list);
}

}  // namespace

void CrtFormat(CTextBuffer& out, const char* format, va_list args) {
    FormatWithCopy(out, format, args);
}

void CrtFormat(CTextBuffer& out, const wchar_t* format, va_list args) {
    FormatWithCopy(out, format, args);
}

}  // namespace svcp::log
