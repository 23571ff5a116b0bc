// Fuzz target: arbitrary bytes as a file opened as an install archive. Whatever the bytes,
// opening must not crash or leak, and an archive that opens must serve exactly its
// de-scrambled payload and refuse reads beyond it.
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include <vector>

#include "tessel/tsl-core.h"
#include "vacate/ffs.h"

static char gPath[64];

static void RemoveTempFile() {
    remove(gPath);
}

static void Check(bool holds) {
    if (!holds) abort();
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (gPath[0] == '\0') {
        MemInit(0x7FFFFFFF);
        strcpy(gPath, "/tmp/fuzz-ffs-XXXXXX");
        const int fd = mkstemp(gPath);
        if (fd < 0) abort();
        close(fd);
        atexit(RemoveTempFile);
    }
    FILE* file = fopen(gPath, "wb");
    if (file == nullptr) abort();
    if (size > 0) fwrite(data, 1, size, file);
    fclose(file);

    if (FfsOpen(gPath)) {
        // The payload runs from behind the tag to the end of the file.
        uint32_t offset = 0;
        memcpy(&offset, data + size - 4, 4);
        Check(offset + 4 < size);
        int32_t length = -1;
        Check(FfsFileSize("install.dat", &length) == 1);
        Check(static_cast<size_t>(length) == size - offset - 4);
        std::vector<uint8_t> payload(static_cast<size_t>(length) + 1);
        Check(FfsReadFile("any name", payload.data(), length) == 1);
        Check(FfsReadFile("install.dat", payload.data(), length + 1) == 0);
        FfsScramble(payload.data(), static_cast<uint32_t>(length));
        Check(memcmp(payload.data(), data + offset + 4, static_cast<size_t>(length)) == 0);
    }
    FfsClose();
    MemStats stats;
    MemGetStats(&stats);
    Check(stats.blocks == 0);
    return 0;
}
