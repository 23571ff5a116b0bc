// The preset list and the byte format of "spd.dat" (portable).
#include "spd/cache.h"

#include <string.h>

#include "tessel/tsl-core.h"
#include "tessel/tsl-str.h"

static const char kSrc[] = "cache";

static CacheSettings* gHead = nullptr;

int PresetAdd(const CacheSettings* record) {
    TSL_NOT_NULL(kSrc, record);
    LogPrint("Add -> [%s]\n", record->name);
    CacheSettings* added = TSL_NEW(CacheSettings, kSrc);
    *added = *record;
    added->next = nullptr;
    CacheSettings** link = &gHead;
    while (*link != nullptr) link = &(*link)->next;
    *link = added;
    return 1;
}

int PresetFind(const char* name, CacheSettings** found) {
    TSL_NOT_NULL(kSrc, name);
    TSL_NOT_NULL(kSrc, found);
    for (CacheSettings* p = gHead; p != nullptr; p = p->next) {
        if (StrEqualNoCase(p->name, name)) {
            *found = p;
            return 1;
        }
    }
    *found = nullptr;
    return 0;
}

int PresetExists(const CacheSettings* record) {
    TSL_NOT_NULL(kSrc, record);
    CacheSettings* found = nullptr;
    return PresetFind(record->name, &found);
}

int PresetRemove(const CacheSettings* record) {
    TSL_NOT_NULL(kSrc, record);
    for (CacheSettings** link = &gHead; *link != nullptr; link = &(*link)->next) {
        if (StrEqualNoCase((*link)->name, record->name)) {
            CacheSettings* gone = *link;
            *link = gone->next;
            TSL_DELETE(gone, kSrc);
            return 1;
        }
    }
    LogPrint("Couldn't find [%s]\n", record->name);
    return 0;
}

int PresetFirst(CacheSettings** first) {
    TSL_NOT_NULL(kSrc, first);
    *first = gHead;
    return 1;
}

int PresetFreeAll() {
    while (gHead != nullptr) {
        CacheSettings* gone = gHead;
        gHead = gone->next;
        TSL_DELETE(gone, kSrc);
    }
    return 1;
}

// ---------------------------------------------------------------------------
// Bytes of "spd.dat"
// ---------------------------------------------------------------------------

// A stored name never exceeds the field; the byte that holds its length fits it.
static int NameLength(const CacheSettings* record) {
    int length = 0;
    while (length < CS_NAME_SIZE - 1 && record->name[length] != '\0') ++length;
    return length;
}

int32_t PresetEncodedSize() {
    int32_t size = 0;
    for (const CacheSettings* p = gHead; p != nullptr; p = p->next)
        size += PRESET_RECORD_BYTES + NameLength(p);
    return size;
}

static uint8_t* PutNumber(uint8_t* out, uint8_t tag, uint32_t value) {
    *out++ = tag;
    *out++ = 4;
    for (int i = 0; i < 4; ++i) *out++ = static_cast<uint8_t>(value >> (8 * i));
    return out;
}

int PresetEncode(uint8_t* out, int32_t size) {
    if (size > 0) TSL_NOT_NULL(kSrc, out);
    if (size < PresetEncodedSize()) return 0;
    for (const CacheSettings* p = gHead; p != nullptr; p = p->next) {
        *out++ = PRESET_TAG_START;
        out = PutNumber(out, PRESET_TAG_FLAGS, p->flags);
        const int n = NameLength(p);
        *out++ = PRESET_TAG_NAME;
        *out++ = static_cast<uint8_t>(n);
        memcpy(out, p->name, static_cast<size_t>(n));
        out += n;
        out = PutNumber(out, PRESET_TAG_MIN, static_cast<uint32_t>(p->minFileCache));
        out = PutNumber(out, PRESET_TAG_MAX, static_cast<uint32_t>(p->maxFileCache));
        out = PutNumber(out, PRESET_TAG_CHUNK, static_cast<uint32_t>(p->chunkSize));
        out = PutNumber(out, PRESET_TAG_NAMECACHE, static_cast<uint32_t>(p->nameCache));
        out = PutNumber(out, PRESET_TAG_PATHCACHE, static_cast<uint32_t>(p->pathCache));
        *out++ = PRESET_TAG_END;
    }
    return 1;
}

// The field a number tag fills, or null for a tag that is no number.
static void* NumberField(CacheSettings* record, uint8_t tag) {
    switch (tag) {
        case PRESET_TAG_FLAGS: return &record->flags;
        case PRESET_TAG_MIN: return &record->minFileCache;
        case PRESET_TAG_MAX: return &record->maxFileCache;
        case PRESET_TAG_CHUNK: return &record->chunkSize;
        case PRESET_TAG_NAMECACHE: return &record->nameCache;
        case PRESET_TAG_PATHCACHE: return &record->pathCache;
        default: return nullptr;
    }
}

// Reads tag by tag into one record under construction. It is cleared only by 0x00, so a
// record without its own start begins from the previous record's values. A number item
// whose length byte is not 4 has no payload: what follows is read as tags. A name fills the
// field from its first byte and at most up to its last but one, which stays the terminator;
// the bytes of a longer name are passed over as part of the item. A file that ends inside a
// record drops that record.
int PresetDecode(const uint8_t* data, int32_t size) {
    if (size > 0) TSL_NOT_NULL(kSrc, data);
    CacheSettings record;
    memset(&record, 0, sizeof record);
    int32_t at = 0;
    while (at < size) {
        const uint8_t tag = data[at++];
        if (tag == PRESET_TAG_START) {
            memset(&record, 0, sizeof record);
        } else if (tag == PRESET_TAG_END) {
            PresetAdd(&record);
        } else if (tag == PRESET_TAG_NAME) {
            if (at >= size) break;
            int32_t n = data[at++];
            int32_t available = size - at < n ? size - at : n;
            int32_t kept = available < CS_NAME_SIZE - 1 ? available : CS_NAME_SIZE - 1;
            memcpy(record.name, data + at, static_cast<size_t>(kept));
            at += available;
        } else if (void* field = NumberField(&record, tag)) {
            if (at >= size) break;
            if (data[at++] != 4) continue;
            // Little-endian; a payload cut by the end of the file stores what it has.
            uint32_t value = 0;
            memcpy(&value, field, 4);
            for (int i = 0; i < 4 && at < size; ++i, ++at) {
                value &= ~(0xFFu << (8 * i));
                value |= static_cast<uint32_t>(data[at]) << (8 * i);
            }
            memcpy(field, &value, 4);
        }
    }
    return 1;
}
