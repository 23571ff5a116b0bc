// The keyword registry of the script interpreter: a list ordered by keyword length (longest
// first), looked up by length and case-folding CRC-32, never by comparing characters.
#pragma once

#include <stdint.h>

struct ScriptContext;

typedef int (*KeywordHandler)(ScriptContext* context, const char* data, int32_t* consumed);

struct KeywordEntry {
    char keyword[40];
    int32_t length;
    uint32_t checksum;
    KeywordHandler handler;
    KeywordEntry* next;
};

int KeywordAdd(const char* keyword, KeywordHandler handler);
int KeywordKnown(const char* keyword);
int KeywordDispatch(const char* keyword, ScriptContext* context, const char* data,
                    int32_t* consumed);
int KeywordsRelease();
// The first registered entry (the longest keyword), for reports and tests; null when empty.
const KeywordEntry* KeywordList();

// Registers the uninstaller's keyword table (Win32 side).
int KeywordsRegister();
