// The keywords an uninstaller script may hold and the fields each carries, in registration
// order. The handlers read their fields with these capacities, and the package builder
// checks scripts against the same table.
#pragma once

#include <stdint.h>

#include <utility>

#include "vacate/command.h"

enum KeywordShape : uint8_t {
    KW_FIELDS,  // a fixed number of fields with the capacities below
    KW_LIST,    // one ','-separated list field
    KW_LINE,    // the rest of the line is passed over
    KW_NONE,    // no data
};

struct KeywordSpec {
    const char* keyword;
    KeywordShape shape;
    int fieldCount;
    int capacity[6];  // bytes with the terminator, per field
    // Bit i: field i (for a list: its items) names a file, folder, program or component
    // below the folder it is joined to, which it may not climb out of (PathLeavesFolder).
    unsigned inside;
    // Bit i: field i is a public key for signed updates, which must parse
    // (SignatureKeyParse).
    unsigned publicKey = 0;
};

constexpr KeywordSpec KEYWORD_TABLE[] = {
    {"COMPANY NAME", KW_FIELDS, 1, {160}, 0},
    {"SUPPORT URL", KW_FIELDS, 1, {160}, 0},
    {"PRODUCT NAME", KW_FIELDS, 1, {160}, 0},
    {"PRODUCT VERSION", KW_FIELDS, 1, {160}, 0},
    {"TEXT", KW_FIELDS, 1, {160}, 0},
    {"FILE LIST", KW_LIST, 1, {260}, 0x1},
    {"TEMP LIST", KW_LIST, 1, {260}, 0x1},
    {"FONT", KW_LINE, 0, {}, 0},
    {"STRING", KW_LINE, 0, {}, 0},
    {"REFRESH", KW_LINE, 0, {}, 0},
    {"CREATE GROUP", KW_FIELDS, 1, {160}, 0x1},
    {"ADD ITEM", KW_FIELDS, 4, {20, 160, 160, 160}, 0x8},
    {"EXECUTE", KW_FIELDS, 5, {20, 20, 20, 260, 320}, 0x8},
    {"WINDOW", KW_FIELDS, 6, {20, 20, 120, 120, 320, 120}, 0x10},
    {"OLE", KW_FIELDS, 2, {40, 260}, 0x2},
    {"AGREEMENT", KW_LINE, 0, {}, 0},
    {"MESSAGE", KW_LINE, 0, {}, 0},
    {"BREAK", KW_LINE, 0, {}, 0},
    {"UPDATE URL", KW_FIELDS, 1, {160}, 0},
    {"INSTALL", KW_NONE, 0, {}, 0},
    {"DONE", KW_FIELDS, 1, {160}, 0},
    {"REGISTRY PATH", KW_FIELDS, 1, {160}, 0},
    {"SYSTEM MUTEX", KW_FIELDS, 1, {160}, 0},
    {"INSTALL SIZE", KW_FIELDS, 1, {160}, 0},
    {"INSTALL DIR", KW_FIELDS, 1, {160}, 1},
    {"INSTALL PATH", KW_FIELDS, 1, {160}, 0},
    {"INSTALL NAME", KW_FIELDS, 1, {160}, 0},
    {"UNINSTALL NAME", KW_FIELDS, 1, {160}, 0x1},
    // Installer-side steps the uninstaller accepts and passes over.
    {"LICENSE", KW_LINE, 0, {}, 0},
    {"README", KW_LINE, 0, {}, 0},
    {"BACKGROUND", KW_LINE, 0, {}, 0},
    {"DISK CHECK", KW_LINE, 0, {}, 0},
    // Signed updates: the maker's public key, which every downloaded installer's signature
    // must check out against.
    {"UPDATE KEY", KW_FIELDS, 1, {1024}, 0, 0x1},
};

constexpr int KEYWORD_COUNT = sizeof(KEYWORD_TABLE) / sizeof(KEYWORD_TABLE[0]);

// The table entry of a keyword (letter case ignored), or null.
const KeywordSpec* KeywordSpecFind(const char* keyword);

// A handler that is told which table entry its command belongs to.
typedef int (*KeywordSpecHandler)(const KeywordSpec& entry, ScriptContext* context,
                                  const char* data, int32_t* consumed);

namespace keywords_detail {
template <KeywordSpecHandler Handle, int I>
int Forward(ScriptContext* context, const char* data, int32_t* consumed) {
    return Handle(KEYWORD_TABLE[I], context, data, consumed);
}
template <KeywordSpecHandler Handle, int... I>
int RegisterAll(std::integer_sequence<int, I...>) {
    return (KeywordAdd(KEYWORD_TABLE[I].keyword, &Forward<Handle, I>) & ...);
}
}  // namespace keywords_detail

// Registers every keyword of the table with one handler that reads a command by its table
// entry: for the tools and tests that treat all keywords alike (the package builder's
// dump, the fuzz target). The uninstaller's own handlers come from KeywordsRegister.
template <KeywordSpecHandler Handle>
int KeywordsRegisterTable() {
    return keywords_detail::RegisterAll<Handle>(std::make_integer_sequence<int, KEYWORD_COUNT>());
}
