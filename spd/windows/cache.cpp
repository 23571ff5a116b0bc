// The preset file "spd.dat" beside the program: read once at start, written after every
// addition or removal and at exit. A save goes to a new file beside the old one, which is
// replaced only when the whole new file is on disk, so a failed or interrupted save never
// loses the presets already stored.
#include <windows.h>

#include "spd/cache.h"
#include "tessel/tsl-core.h"
#include "tessel/tsl-str.h"
#include "tessel/winhelpr.h"

static const char kSrc[] = "cache";

static const char kFileName[] = "spd.dat";
static const int kProgramDirSize = 240;
// A preset takes at most 159 bytes; a larger file is read only this far.
static const DWORD kMaxFileBytes = 16 * 1024 * 1024;

int PresetFilePath(char* path) {
    TSL_NOT_NULL(kSrc, path);
    path[0] = '\0';
    if (!WinProgramDir(path, kProgramDirSize)) LogPrint("Unable to get the program folder\n");
    StrCat(path, kFileName);
    return 1;
}

int PresetLoadFile(const char* path) {
    TSL_NOT_NULL(kSrc, path);
    HANDLE file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        LogPrint("Unable to load file '%s'\n", path);
        return 0;
    }
    DWORD high = 0;
    DWORD size = GetFileSize(file, &high);
    if (size == INVALID_FILE_SIZE && GetLastError() != NO_ERROR) size = 0;
    if (high != 0 || size > kMaxFileBytes) {
        LogPrint("File '%s' too large, reading its first %u bytes\n", path,
                 static_cast<unsigned>(kMaxFileBytes));
        size = kMaxFileBytes;
    }
    const int32_t capacity = static_cast<int32_t>(size) + 1;
    uint8_t* bytes = static_cast<uint8_t*>(MemAlloc(capacity, MEM_DEFAULT, kSrc, __LINE__));
    DWORD total = 0;
    while (total < size) {
        DWORD got = 0;
        if (!ReadFile(file, bytes + total, size - total, &got, nullptr) || got == 0) break;
        total += got;
    }
    CloseHandle(file);
    PresetDecode(bytes, static_cast<int32_t>(total));
    MemFree(bytes, capacity, MEM_DEFAULT, kSrc, __LINE__);
    return 1;
}

int PresetSaveFile(const char* path) {
    TSL_NOT_NULL(kSrc, path);
    // A read-only file keeps its presets, whatever rights the account has over it.
    const DWORD attributes = GetFileAttributesA(path);
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY) != 0) {
        LogPrint("Unable to save file '%s' (read-only)\n", path);
        return 0;
    }
    const int32_t size = PresetEncodedSize();
    const int32_t capacity = size + 1;
    uint8_t* bytes = static_cast<uint8_t*>(MemAlloc(capacity, MEM_DEFAULT, kSrc, __LINE__));
    PresetEncode(bytes, size);
    const int ok = WinSaveFile(path, bytes, size);
    MemFree(bytes, capacity, MEM_DEFAULT, kSrc, __LINE__);
    if (!ok) LogPrint("Unable to save file '%s'\n", path);
    return ok;
}

int PresetStoreOpen() {
    PresetFreeAll();
    char path[PRESET_PATH_SIZE];
    PresetFilePath(path);
    PresetLoadFile(path);
    return 1;
}

int PresetStoreClose() {
    char path[PRESET_PATH_SIZE];
    PresetFilePath(path);
    PresetSaveFile(path);
    PresetFreeAll();
    return 1;
}
