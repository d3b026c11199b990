// Wide strings as UTF-8 for the C interface, and the copy into a caller's
// buffer with the length rule of svcproc_c.h.
#pragma once

#include <cstddef>
#include <string>

#include "common/Utf8Encode.h"

// wchar_t is UTF-16 where it is 16 bits (surrogate pairs are joined) and
// UTF-32 where it is 32. Unpaired surrogates and values past U+10FFFF
// become U+FFFD. Throws std::bad_alloc.
using svcp::utf8::WideToUtf8;

// Stores text's length in *length (when not null) and, when buffer is not
// null, text with its terminating zero in buffer[0..size-1]. False, with
// the buffer untouched, when buffer is not null and size is not above the
// length.
bool CopyText(const std::string& text, char* buffer, size_t size, size_t* length);
