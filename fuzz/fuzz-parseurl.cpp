// Fuzz target for URL splitting: any text, with output capacities taken from the first
// bytes of the input. Every output lies in a heap block of exactly its capacity, so a write
// past it is caught by the address sanitizer; each must also come back terminated.
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include <string>
#include <vector>

#include "tessel/socket.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    constexpr size_t kOutputs = 6;
    int capacity[kOutputs];
    for (size_t i = 0; i < kOutputs; ++i) {
        // Capacities 1 to 64, or a larger one now and then.
        uint8_t b = i < size ? data[i] : 0;
        capacity[i] = (b & 0x80) ? 1 + (b & 0x7F) * 4 : 1 + (b & 0x3F);
    }
    size_t skip = size < kOutputs ? size : kOutputs;
    std::string url(reinterpret_cast<const char*>(data) + skip, size - skip);
    url = url.c_str();  // the text ends at its first NUL, as a C string does

    std::vector<char*> out(kOutputs);
    for (size_t i = 0; i < kOutputs; ++i) {
        out[i] = static_cast<char*>(malloc(capacity[i]));
        memset(out[i], 0x5A, capacity[i]);
    }
    int32_t port = -1;
    int result = ParseUrl(url.c_str(), out[0], capacity[0], out[1], capacity[1], &port, out[2],
                          capacity[2], out[3], capacity[3], out[4], capacity[4], out[5],
                          capacity[5]);
    if (result != 1 || port < 0 || port > 65535) abort();
    for (size_t i = 0; i < kOutputs; ++i) {
        if (memchr(out[i], '\0', capacity[i]) == nullptr) abort();
        free(out[i]);
    }
    return 0;
}
