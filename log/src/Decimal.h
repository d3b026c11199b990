// Unsigned decimal digits into a caller's buffer, without allocating: the log
// writes from any thread at any moment, including when memory has run out.
#pragma once

namespace svcp::log {

// `value` in decimal at `out` (at most 20 characters, no terminator); the
// end of what was written.
inline char* PutDecimal(char* out, unsigned long long value) {
    char digits[24];
    int count = 0;
    do {
        digits[count++] = static_cast<char>('0' + value % 10);
        value /= 10;
    } while (value != 0);
    while (count > 0) {
        *out++ = digits[--count];
    }
    return out;
}

}  // namespace svcp::log
