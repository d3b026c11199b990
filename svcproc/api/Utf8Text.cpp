#include "svcproc/api/Utf8Text.h"

#include <cstring>

bool CopyText(const std::string& text, char* buffer, size_t size, size_t* length) {
    if (length != nullptr) {
        *length = text.size();
    }
    if (buffer == nullptr) {
        return true;
    }
    if (size <= text.size()) {
        return false;
    }
    std::memcpy(buffer, text.c_str(), text.size() + 1);
    return true;
}
