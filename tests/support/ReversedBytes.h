// What the test drivers answer: the request's bytes in reverse order, as
// many as both buffers hold (the buffers may be one and the same).
#pragma once

#include <cstdint>
#include <vector>

template <class Size>
Size ReverseInto(const void* input, Size inputSize, void* output, Size outputSize) {
    const auto* bytes = static_cast<const uint8_t*>(input);
    const std::vector<uint8_t> request(bytes, bytes + inputSize);
    const Size n = inputSize < outputSize ? inputSize : outputSize;
    for (Size i = 0; i < n; ++i) {
        static_cast<uint8_t*>(output)[i] = request[inputSize - 1 - i];
    }
    return n;
}
