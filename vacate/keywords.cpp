// Lookup in the table of the keywords an uninstaller script may hold.
#include "vacate/keywords.h"

#include "tessel/tsl-core.h"
#include "tessel/tsl-str.h"

static const char kSrc[] = "command";

const KeywordSpec* KeywordSpecFind(const char* keyword) {
    TSL_NOT_NULL(kSrc, keyword);
    for (const KeywordSpec& entry : KEYWORD_TABLE)
        if (StrEqualNoCase(entry.keyword, keyword)) return &entry;
    return nullptr;
}
