// printf-style formatting with the rules of the Windows C runtime, which the
// library's format texts were written for, whatever C library the host has.
//
// The differences from a C99 printf that matter here:
//   - %s and %c take the format's own character width (wide in a wide
//     format); %S and %C take the other width; h forces narrow, l and w wide.
//   - %p prints upper-case hex digits zero-padded to the pointer's width,
//     without a 0x prefix.
//   - A null string prints "(null)", precision applying to it.
//   - Length modifiers I, I32 and I64 are accepted.
//   - %n consumes its argument and writes nothing.
// The result is UTF-8: narrow text is copied byte for byte, wide text encoded.
// Unknown conversions are copied through literally.
#pragma once

#include <cstdarg>

namespace svcp::log {

class CTextBuffer;

// Appends the formatted text to `out`. Reads exactly the arguments the format
// names. Throws only std::bad_alloc.
void CrtFormat(CTextBuffer& out, const char* format, va_list args);
void CrtFormat(CTextBuffer& out, const wchar_t* format, va_list args);

}  // namespace svcp::log
