// The bytes of "spd.dat" as tests expect them, built field by field, independently of the
// program's writer: shared by the host tests of the format and the program's tests.
#pragma once

#include <stdint.h>
#include <string.h>

#include <string>

#include "spd/settings.h"

namespace presetbytes {

using Bytes = std::string;

inline CacheSettings Named(const char* name, uint32_t flags, int32_t min, int32_t max,
                           int32_t chunk, int32_t nameCache, int32_t path) {
    CacheSettings r{};
    strncpy(r.name, name, sizeof r.name - 1);
    r.flags = flags;
    r.minFileCache = min;
    r.maxFileCache = max;
    r.chunkSize = chunk;
    r.nameCache = nameCache;
    r.pathCache = path;
    return r;
}

// One number item: tag, length 4, little-endian value.
inline Bytes Number(uint8_t tag, uint32_t value) {
    Bytes b;
    b += static_cast<char>(tag);
    b += '\x04';
    for (int i = 0; i < 4; ++i) b += static_cast<char>(value >> (8 * i));
    return b;
}

// One record as the writer emits it: 40 bytes and the name.
inline Bytes Record(const CacheSettings& r) {
    Bytes b(1, '\0');
    b += Number(0x01, r.flags);
    b += '\x02';
    b += static_cast<char>(strlen(r.name));
    b += r.name;
    b += Number(0x03, static_cast<uint32_t>(r.minFileCache));
    b += Number(0x04, static_cast<uint32_t>(r.maxFileCache));
    b += Number(0x05, static_cast<uint32_t>(r.chunkSize));
    b += Number(0x06, static_cast<uint32_t>(r.nameCache));
    b += Number(0x07, static_cast<uint32_t>(r.pathCache));
    b += '\xFF';
    return b;
}

}  // namespace presetbytes
