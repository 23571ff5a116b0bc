// The keyword registry: a singly linked list ordered by keyword length, longest first.
// A keyword is found by its length and its case-folding CRC-32 alone, so letter case is
// ignored and no two keywords are ever compared character by character; registering two
// keywords that the lookup could not tell apart is a fatal error of the keyword table.
#include "vacate/command.h"

#include "tessel/tsl-core.h"
#include "tessel/tsl-str.h"

static const char kSrc[] = "command";

static const int kKeywordCapacity = sizeof(KeywordEntry::keyword);

static KeywordEntry* gKeywords = nullptr;

static uint32_t KeywordChecksum(const char* keyword) {
    uint32_t crc = 0;
    StrCrc32(keyword, 0, &crc);
    return crc;
}

int KeywordAdd(const char* keyword, KeywordHandler handler) {
    TSL_NOT_NULL(kSrc, keyword);
    TSL_NOT_NULL(kSrc, handler);
    const int32_t length = StrLen(keyword);
    if (length > kKeywordCapacity - 1)
        TSL_FAIL(kSrc, "Command keyword too long (%s) (%d > %d)\n", keyword, length,
                 kKeywordCapacity);

    KeywordEntry* entry = TSL_NEW(KeywordEntry, kSrc);
    StrCopy(entry->keyword, keyword);
    entry->length = length;
    entry->checksum = KeywordChecksum(keyword);
    entry->handler = handler;

    for (KeywordEntry* old = gKeywords; old != nullptr; old = old->next) {
        if (old->checksum != entry->checksum) continue;
        LogPrint("Matching quick CRC's (%s) and (%s)\n", old->keyword, entry->keyword);
        if (old->length == entry->length) TSL_FAIL(kSrc, "Matching lengths failure (%d)\n", length);
    }

    // After all longer keywords, before older ones of the same length.
    KeywordEntry** link = &gKeywords;
    while (*link != nullptr && (*link)->length > length) link = &(*link)->next;
    entry->next = *link;
    *link = entry;
    return 1;
}

static const KeywordEntry* KeywordFind(const char* keyword) {
    TSL_NOT_NULL(kSrc, keyword);
    const int32_t length = StrLen(keyword);
    const uint32_t checksum = KeywordChecksum(keyword);
    for (const KeywordEntry* entry = gKeywords; entry != nullptr; entry = entry->next) {
        if (entry->length < length) break;  // only shorter keywords follow
        if (entry->length == length && entry->checksum == checksum) return entry;
    }
    return nullptr;
}

int KeywordKnown(const char* keyword) {
    return KeywordFind(keyword) != nullptr;
}

int KeywordDispatch(const char* keyword, ScriptContext* context, const char* data,
                    int32_t* consumed) {
    TSL_NOT_NULL(kSrc, context);
    TSL_NOT_NULL(kSrc, data);
    TSL_NOT_NULL(kSrc, consumed);
    const KeywordEntry* entry = KeywordFind(keyword);
    if (entry == nullptr) return 0;
    return entry->handler(context, data, consumed);
}

const KeywordEntry* KeywordList() {
    return gKeywords;
}

int KeywordsRelease() {
    while (gKeywords != nullptr) {
        KeywordEntry* next = gKeywords->next;
        TSL_DELETE(gKeywords, kSrc);
        gKeywords = next;
    }
    return 1;
}
