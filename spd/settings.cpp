// The settings record's display rules and numbers from outside (portable).
#include "spd/settings.h"

#include "tessel/tsl-core.h"
#include "tessel/tsl-str.h"

static const char kSrc[] = "settings";

int32_t CacheMemoryBase(uint64_t totalPhysicalBytes) {
    uint64_t base = totalPhysicalBytes >> 11;
    return base > INT32_MAX ? INT32_MAX : static_cast<int32_t>(base);
}

int32_t CacheFileCacheTop(int32_t memoryBase) {
    return memoryBase < CS_FILE_CACHE_CEILING ? memoryBase : CS_FILE_CACHE_CEILING;
}

int32_t CacheAboveCeiling(const CacheSettings* record) {
    TSL_NOT_NULL(kSrc, record);
    int32_t above = 0;
    if ((record->flags & CS_MIN_SET) && record->minFileCache > CS_FILE_CACHE_CEILING)
        above = record->minFileCache;
    if ((record->flags & CS_MAX_SET) && record->maxFileCache > CS_FILE_CACHE_CEILING &&
        record->maxFileCache > above)
        above = record->maxFileCache;
    return above;
}

int CacheHoldToCeiling(CacheSettings* record) {
    TSL_NOT_NULL(kSrc, record);
    int held = 0;
    int32_t* const values[] = {&record->minFileCache, &record->maxFileCache};
    for (int32_t* value : values) {
        if (*value <= CS_FILE_CACHE_CEILING) continue;
        *value = CS_FILE_CACHE_CEILING;
        held = 1;
    }
    return held;
}

// value x base / 100 in double precision, truncated toward zero; a result beyond 32 bits
// (a stored percentage far above 100) stops at the largest value of its sign.
static int64_t PercentOf(int32_t value, int32_t base) {
    double result = static_cast<double>(value) * static_cast<double>(base) / 100.0;
    if (result >= 2147483647.0) return INT32_MAX;
    if (result <= -2147483648.0) return INT32_MIN;
    return static_cast<int64_t>(result);
}

// To the nearest multiple of 256: add 128 and clear the low 8 bits.
static int32_t RoundTo256(int64_t value) {
    int64_t rounded = (value + 128) & ~static_cast<int64_t>(0xFF);
    if (rounded > INT32_MAX) rounded = INT32_MAX & ~0xFF;
    return static_cast<int32_t>(rounded);
}

static int32_t Clamp(int32_t value, int32_t lower, int32_t upper) {
    if (value <= lower) return lower;
    if (value >= upper) return upper;
    return value;
}

void CacheSettingsNormalise(CacheSettings* record, int32_t top) {
    TSL_NOT_NULL(kSrc, record);
    const int32_t p = top;
    if (record->flags & CS_PERCENT) {
        record->minFileCache = RoundTo256(PercentOf(record->minFileCache, p));
        record->maxFileCache = RoundTo256(PercentOf(record->maxFileCache, p));
        record->chunkSize = RoundTo256(PercentOf(record->chunkSize, CS_CHUNK_LIMIT.percentBase));
        record->nameCache = static_cast<int32_t>(PercentOf(record->nameCache,
                                                           CS_NAME_LIMIT.percentBase));
        record->pathCache = static_cast<int32_t>(PercentOf(record->pathCache,
                                                           CS_PATH_LIMIT.percentBase));
        record->flags &= ~CS_PERCENT;
    }
    // The minimum stays below the maximum, the maximum below P; each upper limit wins.
    int32_t minimum = record->minFileCache > CS_FILE_CACHE_LOWER ? record->minFileCache
                                                                 : CS_FILE_CACHE_LOWER;
    if (minimum >= record->maxFileCache) minimum = record->maxFileCache;
    record->minFileCache = minimum;
    int32_t maximum = minimum > record->maxFileCache ? minimum : record->maxFileCache;
    if (maximum >= p) maximum = p;
    record->maxFileCache = maximum;
    // A minimum above P would stand above the maximum just pulled down to P, and beyond its
    // slider's range: it follows the maximum.
    if (record->minFileCache > maximum) record->minFileCache = maximum;
    record->chunkSize = Clamp(record->chunkSize, CS_CHUNK_LIMIT.lower, CS_CHUNK_LIMIT.upper);
    record->nameCache = Clamp(record->nameCache, CS_NAME_LIMIT.lower, CS_NAME_LIMIT.upper);
    record->pathCache = Clamp(record->pathCache, CS_PATH_LIMIT.lower, CS_PATH_LIMIT.upper);
}

int CacheSettingsSameValues(const CacheSettings* a, const CacheSettings* b) {
    TSL_NOT_NULL(kSrc, a);
    TSL_NOT_NULL(kSrc, b);
    return a->minFileCache == b->minFileCache && a->maxFileCache == b->maxFileCache &&
           a->chunkSize == b->chunkSize && a->nameCache == b->nameCache &&
           a->pathCache == b->pathCache;
}

// Digits of the number at the start of `text` after its sign, a "0x" and leading zeros: more
// than 15 could wrap the 64-bit reading.
static int SignificantDigits(const char* text) {
    const char* p = text;
    if (*p == '-' || *p == '+') ++p;
    bool hex = p[0] == '0' && (p[1] == 'x' || p[1] == 'X');
    if (hex) p += 2;
    while (*p == '0') ++p;
    int count = 0;
    for (; (*p >= '0' && *p <= '9') ||
           (hex && ((*p >= 'a' && *p <= 'f') || (*p >= 'A' && *p <= 'F')));
         ++p)
        ++count;
    return count;
}

int CacheNumber(const char* text, const char* what, int32_t* value) {
    TSL_NOT_NULL(kSrc, text);
    TSL_NOT_NULL(kSrc, what);
    TSL_NOT_NULL(kSrc, value);
    *value = 0;
    int64_t number = 0;
    if (!AtoIChecked(text, &number)) {
        LogPrint("Number too long for %s, taken as 0\n", what);
        return 0;
    }
    if (SignificantDigits(text) > 15 || number > INT32_MAX || number < INT32_MIN) {
        LogPrint("Number out of range for %s (%.20s), taken as 0\n", what, text);
        return 0;
    }
    *value = static_cast<int32_t>(number);
    return 1;
}
