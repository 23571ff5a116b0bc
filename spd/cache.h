// The preset store: named CacheSettings records in a list, in insertion order, kept in the
// file "spd.dat" beside the program. The list and the file's byte format are portable;
// reading and writing the file itself is the Win32 half (spd/windows/cache.cpp).
//
// "spd.dat" is a plain run of records without header, count or checksum. A record is a run
// of tagged items: 0x00 starts it, 0x01 flags, 0x02 name, 0x03..0x07 the five values, 0xFF
// ends it. The value items carry a length byte and that many payload bytes; numbers are
// signed 32-bit little-endian. As written a record with a name of n bytes takes 40 + n.
#pragma once

#include <stdint.h>

#include "spd/settings.h"

constexpr int32_t PRESET_RECORD_BYTES = 40;  // one written record without its name bytes

enum PresetTag : uint8_t {
    PRESET_TAG_START = 0x00,
    PRESET_TAG_FLAGS = 0x01,
    PRESET_TAG_NAME = 0x02,
    PRESET_TAG_MIN = 0x03,
    PRESET_TAG_MAX = 0x04,
    PRESET_TAG_CHUNK = 0x05,
    PRESET_TAG_NAMECACHE = 0x06,
    PRESET_TAG_PATHCACHE = 0x07,
    PRESET_TAG_END = 0xFF,
};

// The list. Records are the store's own heap blocks; callers copy out of them.
int PresetAdd(const CacheSettings* record);     // appends a copy; logs "Add -> [name]"
int PresetExists(const CacheSettings* record);  // by name, ignoring case
int PresetRemove(const CacheSettings* record);  // the first of that name; 0 when none
int PresetFirst(CacheSettings** first);         // the head (null when empty)
int PresetFind(const char* name, CacheSettings** found);  // the first of that name
int PresetFreeAll();                            // frees every record, empties the list

// The file's bytes. PresetEncodedSize gives the bytes of the whole list; PresetEncode writes
// them into `out` (0 when `size` is too small). PresetDecode appends the records it finds.
int32_t PresetEncodedSize();
int PresetEncode(uint8_t* out, int32_t size);
int PresetDecode(const uint8_t* data, int32_t size);

#ifdef _WIN32
// The file itself (Win32 side): the program folder + "spd.dat" in a buffer of 320; 0 with
// an empty path when the folder has no path that fits (never a name in the current folder).
constexpr int PRESET_PATH_SIZE = 320;
int PresetFilePath(char* path);
// Appends the file's records; 0 after logging when it cannot be opened. `replaceable` (may
// be null) is 1 when writing over the file loses nothing: it was read whole, or it is not
// there. A file held by another program, unreadable or too large gives 0.
int PresetLoadFile(const char* path, int* replaceable = nullptr);
int PresetSaveFile(const char* path);
// The store: opened by the program's entry (the file loaded), saved after each change and
// at close. Its path is empty where none beside the program can be named; its file is kept
// (replaced by saves) only when it was replaceable at open, else saves write nothing.
int PresetStoreOpen();
const char* PresetStorePath();
int PresetStoreKept();
int PresetStoreSave();
int PresetStoreClose();
#endif
