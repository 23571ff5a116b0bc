// The cache tuner's settings record: the three "vcache" entries of system.ini and the two
// values of the file-system performance template, as one preset or as the working record
// the main window shows. The portable half holds the record, its display rules (percent
// conversion and limits) and the reading of numbers from outside; the Win32 half
// (spd/windows/settings.cpp) reads and writes the running system.
#pragma once

#include <stdint.h>

constexpr uint32_t CS_MIN_SET = 0x00000001;          // "minfilecache" is present
constexpr uint32_t CS_MAX_SET = 0x00000002;          // "maxfilecache" is present
constexpr uint32_t CS_CHUNK_SET = 0x00000004;        // "chunksize" is present
constexpr uint32_t CS_TEMPLATE_ACTIVE = 0x00000008;  // the own template is in force
constexpr uint32_t CS_PERCENT = 0x10000000;          // the five values are percentages

constexpr int CS_NAME_SIZE = 120;  // 119 bytes and the terminator
constexpr int CS_NAME_INPUT = 80;  // names typed by the user: at most 79 characters

struct CacheSettings {
    uint32_t flags;
    char name[CS_NAME_SIZE];
    int32_t minFileCache;  // "minfilecache", Kb
    int32_t maxFileCache;  // "maxfilecache", Kb
    int32_t chunkSize;     // "chunksize", Kb
    int32_t nameCache;     // "NameCache" of the template
    int32_t pathCache;     // "PathCache" of the template
    CacheSettings* next;   // next preset of the store's list; never stored in a file
};

// Limits of the values that have fixed ones, with the slider step and the percent base.
// The two file-cache sizes range from 512 to the file cache's top (CacheFileCacheTop),
// step top / 100.
struct CacheLimit {
    int32_t lower;
    int32_t upper;
    int32_t step;
    int32_t percentBase;
};
constexpr int32_t CS_FILE_CACHE_LOWER = 512;
constexpr CacheLimit CS_CHUNK_LIMIT = {16, 4096, 40, 4096};
constexpr CacheLimit CS_NAME_LIMIT = {337, 6144, 100, 6144};
constexpr CacheLimit CS_PATH_LIMIT = {16, 128, 2, 128};

// P: half the physical memory in kilobytes (total bytes shifted right by 11); at most the
// largest int32.
int32_t CacheMemoryBase(uint64_t totalPhysicalBytes);

// The largest file cache the settings may hold, in kilobytes: the cache driver of Windows 95,
// 98 and Me may take all of the memory above it, and the machine then cannot start Windows
// after the restart ("Insufficient memory to initialize Windows"; Microsoft's advice for
// machines with more than 512 MB is a MaxFileCache of at most 524288).
constexpr int32_t CS_FILE_CACHE_CEILING = 524288;

// The top of the file-cache sliders, the upper clamp of a shown record and the base of
// percent presets: P, or the ceiling where P is above it.
int32_t CacheFileCacheTop(int32_t memoryBase);

// The larger of the file-cache sizes that a record would write (their flags set) above the
// ceiling, or 0 when none is.
int32_t CacheAboveCeiling(const CacheSettings* record);
// Holds the file-cache sizes to the ceiling, in place; 1 when one was above it.
int CacheHoldToCeiling(CacheSettings* record);

// Converts a percent record to absolute values and clamps every value for display, in
// place (see the limits above; `top` is the file cache's top, CacheFileCacheTop).
void CacheSettingsNormalise(CacheSettings* record, int32_t top);

// 1 when the five values (not the flags, not the name) are equal.
int CacheSettingsSameValues(const CacheSettings* a, const CacheSettings* b);

// A number read from outside (system.ini, a number field) as AtoI reads it. A digit run too
// long for AtoI, or a value outside 32 bits, counts as 0 and is logged with `what`; the
// result is then 0, else 1.
int CacheNumber(const char* text, const char* what, int32_t* value);

#ifdef _WIN32
// The running system's side (spd/windows/settings.cpp).
constexpr char CACHE_TEMPLATES_KEY[] =
    "Software\\Microsoft\\Windows\\CurrentVersion\\FS Templates";
constexpr int CACHE_INI_PATH_SIZE = 320;

// The Windows folder's system.ini, in a buffer of CACHE_INI_PATH_SIZE.
int CacheIniPath(char* path);

// Fills the record from system.ini and the template in force (HKEY_LOCAL_MACHINE).
int CacheSettingsRead(CacheSettings* record);
// Writes the record's values as they stand: the set entries to system.ini (a clear flag
// removes its entry) and the own template "Spindrel", or "Desktop" when it is off.
int CacheSettingsWrite(const CacheSettings* record);

// Takes the memory snapshot and logs it; MemoryStatusBase gives P from it.
int MemoryStatusLog();
int32_t MemoryStatusBase();
#endif
