// The install archive appended to the uninstaller's executable. The whole payload is read
// and de-scrambled into memory when the archive is opened; every stored name is then served
// from it. With no archive open, the reads go to plain files on disk.
#include "vacate/ffs.h"

#include <stdio.h>
#include <string.h>
#include <sys/stat.h>

#include "tessel/tsl-core.h"

static const char kSrc[] = "ffs";

// The archive in memory: the de-scrambled payload (trailer included) and its length.
static uint8_t* gPayload = nullptr;
static int32_t gPayloadLength = 0;

// The smallest payload that can exist: the four trailer bytes lie inside it.
static const int32_t kTrailerSize = 4;

static void ReleasePayload() {
    if (gPayload != nullptr) {
        MemFree(gPayload, gPayloadLength, MEM_DEFAULT, kSrc, __LINE__);
        gPayload = nullptr;
    }
    gPayloadLength = 0;
}

void FfsScramble(uint8_t* data, uint32_t length) {
    TSL_NOT_NULL(kSrc, data);
    uint32_t k = 0;  // key position, restarts after the last key character
    for (uint32_t i = 0; i < length; ++i) {
        data[i] = static_cast<uint8_t>(data[i] ^ static_cast<uint8_t>(FFS_KEY[k]) ^ (i & 0xFF) ^ k);
        if (++k == FFS_KEY_LENGTH) k = 0;
    }
}

// Reads a little-endian 32-bit value at the current position; 0 when the read fails.
static uint32_t ReadUint32(FILE* file) {
    uint8_t bytes[4] = {};
    if (fread(bytes, 1, sizeof bytes, file) != sizeof bytes) return 0;
    return static_cast<uint32_t>(bytes[0]) | (static_cast<uint32_t>(bytes[1]) << 8) |
           (static_cast<uint32_t>(bytes[2]) << 16) | (static_cast<uint32_t>(bytes[3]) << 24);
}

int FfsOpen(const char* path) {
    TSL_NOT_NULL(kSrc, path);
    // A second open replaces the first archive instead of leaking its payload.
    ReleasePayload();

    FILE* file = fopen(path, "rb");
    if (file == nullptr) {
        LogPrint("Couldn't open flat file '%s'!\n", path);
        return 0;
    }

    // Sizes beyond 2 GB cannot be told by the C runtime here; such a file is no archive.
    long fileSize = -1;
    if (fseek(file, 0, SEEK_END) == 0) fileSize = ftell(file);
    uint32_t offset = 0;
    if (fileSize >= kTrailerSize && fseek(file, fileSize - kTrailerSize, SEEK_SET) == 0)
        offset = ReadUint32(file);
    const uint32_t size = fileSize > 0 ? static_cast<uint32_t>(fileSize) : 0;
    if (offset == 0 || offset >= size) {
        LogPrint("File '%s' doesn't contain FFS data!\n", path);
        fclose(file);
        return 0;
    }

    char tag[sizeof FFS_TAG] = {};
    size_t got = 0;
    if (fseek(file, static_cast<long>(offset), SEEK_SET) == 0) got = fread(tag, 1, sizeof tag, file);
    if (got != sizeof tag || tag[0] != FFS_TAG[0] || tag[1] != FFS_TAG[1] || tag[2] != FFS_TAG[2] ||
        tag[3] != FFS_TAG[3]) {
        LogPrint("FFS Does not contain proper tag (Read %d from %d)!!!\n", static_cast<int>(offset),
                 static_cast<int>(size - kTrailerSize));
        fclose(file);
        return 0;
    }

    // The payload runs from the tag's end to the end of the file, trailer included. A tag
    // that overlaps the trailer leaves no room for it: no archive was written that way, and
    // an empty payload would be an allocation of nothing.
    const int32_t length = static_cast<int32_t>(size - offset - sizeof tag);
    if (length < kTrailerSize) {
        LogPrint("FFS payload too short (%d bytes)!\n", length);
        fclose(file);
        return 0;
    }
    gPayload = static_cast<uint8_t*>(MemAlloc(length, MEM_DEFAULT, kSrc, __LINE__));
    gPayloadLength = length;
    if (fread(gPayload, 1, static_cast<size_t>(length), file) != static_cast<size_t>(length)) {
        // A half-read payload is never served as an archive.
        ReleasePayload();
        fclose(file);
        return 0;
    }
    FfsScramble(gPayload, static_cast<uint32_t>(length));

    LogPrint("Flat/Fast File System Initialized...\n");
    fclose(file);
    return 1;
}

int FfsClose() {
    ReleasePayload();
    LogPrint("Flat/Fast File System Removed...\n");
    return 1;
}

int FfsFileSize(const char* name, int32_t* size) {
    TSL_NOT_NULL(kSrc, name);
    TSL_NOT_NULL(kSrc, size);
    if (gPayload != nullptr) {
        *size = gPayloadLength;
        return 1;
    }
    struct stat status;
    if (stat(name, &status) != 0) return 0;
    // Readers add a terminator to what they read: leave room for it in 32 bits.
    if (status.st_size < 0 || status.st_size >= 0x7FFFFFFF) return 0;
    *size = static_cast<int32_t>(status.st_size);
    return 1;
}

int FfsReadFile(const char* name, void* buffer, int32_t length) {
    TSL_NOT_NULL(kSrc, name);
    TSL_NOT_NULL(kSrc, buffer);
    if (length < 0) {
        LogPrint("Unable to read %d bytes from '%s'\n", length, name);
        return 0;
    }
    if (gPayload != nullptr) {
        // Never copy more than the archive holds.
        if (length > gPayloadLength) {
            LogPrint("Unable to read %d bytes from '%s', the archive holds %d\n", length, name,
                     gPayloadLength);
            return 0;
        }
        memcpy(buffer, gPayload, static_cast<size_t>(length));
        return 1;
    }
    FILE* file = fopen(name, "rb");
    if (file == nullptr) return 0;
    const size_t got = fread(buffer, 1, static_cast<size_t>(length), file);
    fclose(file);
    if (got != static_cast<size_t>(length)) {
        LogPrint("Unable to read from file '%s'\n", name);
        return 0;
    }
    return 1;
}

int FfsInstallSize(int32_t* size) {
    TSL_NOT_NULL(kSrc, size);
    *size = 0;
    return 1;
}
