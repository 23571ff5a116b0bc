// The preset file "spd.dat" beside the program: read once at start, written after every
// addition or removal and at exit. A save goes to a new file beside the old one, which is
// replaced only when the whole new file is on disk, so a failed or interrupted save never
// loses the presets already stored. A file that is there but could not be read whole at
// start is never written over in that session, and where the program's folder has no path
// that can hold the file, the store keeps its presets in memory only.
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

// The store's file (empty: none can be named) and whether saves may replace it.
static char gStorePath[PRESET_PATH_SIZE];
static int gStoreKept = 0;

int PresetFilePath(char* path) {
    TSL_NOT_NULL(kSrc, path);
    path[0] = '\0';
    // Only ever beside the program: without its folder the name would be taken in the
    // current folder.
    if (!WinProgramDir(path, kProgramDirSize)) {
        LogPrint("Unable to get the program folder\n");
        return 0;
    }
    StrCat(path, kFileName);
    return 1;
}

int PresetLoadFile(const char* path, int* replaceable) {
    TSL_NOT_NULL(kSrc, path);
    int unused = 0;
    if (replaceable == nullptr) replaceable = &unused;
    *replaceable = 0;
    HANDLE file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        const DWORD error = GetLastError();
        *replaceable = error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
        LogPrint("Unable to load file '%s'\n", path);
        return 0;
    }
    DWORD high = 0;
    DWORD size = GetFileSize(file, &high);
    // Only a file read to its end may be written over later.
    int whole = 1;
    if (size == INVALID_FILE_SIZE && GetLastError() != NO_ERROR) {
        size = 0;
        whole = 0;
    }
    if (high != 0 || size > kMaxFileBytes) {
        LogPrint("File '%s' too large, reading its first %u bytes\n", path,
                 static_cast<unsigned>(kMaxFileBytes));
        size = kMaxFileBytes;
        whole = 0;
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
    *replaceable = whole && total == size;
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
    gStoreKept = 0;
    if (!PresetFilePath(gStorePath)) return 1;
    PresetLoadFile(gStorePath, &gStoreKept);
    if (!gStoreKept)
        LogPrint("File '%s' could not be read whole: it stays as it is\n", gStorePath);
    return 1;
}

const char* PresetStorePath() { return gStorePath; }

int PresetStoreKept() { return gStoreKept; }

int PresetStoreSave() {
    if (!gStoreKept) {
        LogPrint("Presets not saved: the file cannot be kept\n");
        return 0;
    }
    return PresetSaveFile(gStorePath);
}

int PresetStoreClose() {
    PresetStoreSave();
    PresetFreeAll();
    return 1;
}
