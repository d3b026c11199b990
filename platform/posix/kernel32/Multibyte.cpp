// mbstowcs_s with the Windows runtime's contract, in the current C locale.
#include <cerrno>
#include <climits>
#include <clocale>
#include <cstdlib>
#include <cstdint>
#include <cstring>
#include <cwchar>

#include "win/crt.h"

namespace {

// Converts one character; returns the bytes it used (0 at the terminator) or
// -1 on an invalid or incomplete sequence. In a single-byte locale every byte
// is a character, as in the Windows "C" locale.
int ConvertOne(const char* source, size_t available, wchar_t* out, std::mbstate_t* state) {
    if (MB_CUR_MAX == 1) {
        *out = static_cast<wchar_t>(static_cast<unsigned char>(*source));
        return *source == '\0' ? 0 : 1;
    }
    const size_t used = std::mbrtowc(out, source, available, state);
    if (used == static_cast<size_t>(-1) || used == static_cast<size_t>(-2)) {
        return -1;
    }
    return static_cast<int>(used);
}

}  // namespace

extern "C" errno_t __cdecl mbstowcs_s(size_t* converted, wchar_t* destination, size_t sizeInWords,
                                      const char* source, size_t count) {
    if (converted != nullptr) {
        *converted = 0;
    }
    if (source == nullptr || (destination == nullptr && sizeInWords != 0) ||
        (destination != nullptr && sizeInWords == 0)) {
        if (destination != nullptr && sizeInWords != 0) {
            destination[0] = L'\0';
        }
        errno = EINVAL;
        return EINVAL;
    }

    // Characters to convert at most, besides the terminator.
    const bool truncate = count == _TRUNCATE;
    const size_t limit = truncate ? (destination == nullptr ? SIZE_MAX : sizeInWords - 1) : count;

    std::mbstate_t state{};
    size_t written = 0;
    const char* cursor = source;
    size_t remaining = std::strlen(source) + 1;
    bool cut = false;
    while (written < limit) {
        wchar_t wide = L'\0';
        const int used = ConvertOne(cursor, remaining, &wide, &state);
        if (used < 0) {
            if (destination != nullptr) {
                destination[0] = L'\0';
            }
            errno = EILSEQ;
            return EILSEQ;
        }
        if (used == 0) {
            break;
        }
        if (destination != nullptr) {
            if (written + 1 >= sizeInWords) {
                // No room for this character and the terminator.
                if (!truncate) {
                    destination[0] = L'\0';
                    errno = ERANGE;
                    return ERANGE;
                }
                cut = true;
                break;
            }
            destination[written] = wide;
        }
        ++written;
        cursor += used;
        remaining -= static_cast<size_t>(used);
    }
    if (truncate && written == limit && *cursor != '\0') {
        cut = true;
    }
    if (destination != nullptr) {
        destination[written] = L'\0';
    }
    if (converted != nullptr) {
        *converted = written + 1;
    }
    return cut ? STRUNCATE : 0;
}
