// The script interpreter: loads "install.dat" into a context, walks it command by command
// and hands each command's data to the handler registered for its keyword. The field
// readers the handlers use never leave the script's buffer, whatever bytes it holds.
#include "vacate/script.h"

#include <string.h>

#include "tessel/tsl-core.h"
#include "tessel/tsl-str.h"
#include "vacate/command.h"
#include "vacate/ffs.h"
#include "vacate/prompt.h"

#ifdef _WIN32
#include <windows.h>

#include "tessel/winhelpr.h"
#include "vacate/remove.h"

// Fonts are listed only on the installer side, and the removal lives in the Win32 part of
// the removal module; a build that never links it cannot have fonts to remove.
int RemoveTempFont(const char* path) __attribute__((weak));
#endif

static const char kSrc[] = "iscript";

// Field bytes are 0x20..0x7F; every other byte ends a field (0x80..0xFF included, as the
// bytes are compared as signed values).
static int InField(char c) {
    const unsigned char byte = static_cast<unsigned char>(c);
    return byte >= 0x20 && byte <= 0x7F;
}

// The end of the script's text: the address of the 0 byte that follows it.
static const char* ScriptEnd(const ScriptContext* context) {
    return context->script + context->scriptSize;
}

// Where the next read of a command's data starts, checked against the script's bounds.
static const char* ReadStart(const ScriptContext* context, const char* data,
                             const int32_t* consumed) {
    TSL_NOT_NULL(kSrc, context);
    TSL_NOT_NULL(kSrc, context->script);
    TSL_NOT_NULL(kSrc, data);
    TSL_NOT_NULL(kSrc, consumed);
    const char* end = ScriptEnd(context);
    if (data < context->script || data > end || *consumed < 0)
        TSL_FAIL(kSrc, "Script data out of bounds (0x%p + %d)\n", data, *consumed);
    return *consumed > end - data ? end : data + *consumed;
}

// Copies up to `length` bytes into a buffer of `capacity` bytes and terminates it;
// 1 when all of them fitted.
static int CopyCut(const char* from, int32_t length, char* out, int capacity, const char* what) {
    const int32_t room = capacity - 1;
    const int32_t taken = length < room ? length : room;
    memcpy(out, from, static_cast<size_t>(taken));
    out[taken] = '\0';
    if (taken == length) return 1;
    LogPrint("Script %s cut to %d of %d bytes '%s'\n", what, room, length, out);
    return 0;
}

int ScriptReadField(const ScriptContext* context, const char* data, int32_t* consumed,
                    char* out, int capacity) {
    TSL_NOT_NULL(kSrc, out);
    if (capacity < 1) TSL_FAIL(kSrc, "Invalid field capacity (%d)\n", capacity);
    const char* at = ReadStart(context, data, consumed);
    const char* end = ScriptEnd(context);
    int32_t length = 0;
    while (at + length < end && InField(at[length])) ++length;
    const int whole = CopyCut(at, length, out, capacity, "field");
    // The byte that ended the field goes with it, unless the script ended it.
    *consumed += length + (at + length < end ? 1 : 0);
    return whole;
}

int ScriptReadList(const ScriptContext* context, const char* data, int32_t* consumed,
                   const char** list, int32_t* count) {
    TSL_NOT_NULL(kSrc, list);
    TSL_NOT_NULL(kSrc, count);
    const char* at = ReadStart(context, data, consumed);
    const char* end = ScriptEnd(context);
    int32_t items = 1;
    int32_t length = 0;
    while (at + length < end && InField(at[length])) {
        if (at[length] == ',') ++items;
        ++length;
    }
    *list = at;
    *count = items;
    *consumed += length;
    return 1;
}

int ScriptListItem(const char** cursor, char* item) {
    TSL_NOT_NULL(kSrc, cursor);
    TSL_NOT_NULL(kSrc, *cursor);
    TSL_NOT_NULL(kSrc, item);
    // A list always ends at a byte outside the field range, at the latest at the 0 byte
    // behind the script, so this scan stays inside the script's buffer.
    const char* at = *cursor;
    int32_t length = 0;
    while (InField(at[length]) && at[length] != ',') ++length;
    const int whole = CopyCut(at, length, item, SCRIPT_ITEM_SIZE, "list item");
    at += length;
    if (*at == ',') ++at;
    *cursor = at;
    return whole;
}

int ScriptSkipLine(const ScriptContext* context, const char* data, int32_t* consumed) {
    const char* at = ReadStart(context, data, consumed);
    const char* end = ScriptEnd(context);
    int32_t length = 0;
    while (at + length < end && at[length] != '\0' && at[length] != '\n' && at[length] != '\r')
        ++length;
    *consumed += length;
    return 1;
}

const char* ScriptPathCodesEnd(const char* text) {
    TSL_NOT_NULL(kSrc, text);
    while (text[0] == '$' && text[1] != '\0') text += 2;
    return text;
}

int ScriptLoad(ScriptContext** context, const char* name, int32_t runMode) {
    TSL_NOT_NULL(kSrc, context);
    TSL_NOT_NULL(kSrc, name);
    *context = nullptr;
    int32_t size = 0;
    // FfsFileSize never reports a size that leaves no room for the terminator.
    if (!FfsFileSize(name, &size) || size < 0 || size == 0x7FFFFFFF) return 0;

    ScriptContext* loaded = TSL_NEW(ScriptContext, kSrc);
    loaded->script = static_cast<char*>(MemAlloc(size + 1, MEM_DEFAULT, kSrc, __LINE__));
    loaded->scriptSize = size;
    if (!FfsReadFile(name, loaded->script, size)) {
        ScriptFree(&loaded);
        return 0;
    }
    int32_t installSize = 0;
    FfsInstallSize(&installSize);
    loaded->installSize = installSize / 1024;
    LogPrint("Install size [%dk]\n", loaded->installSize);
    loaded->position = loaded->script;
    loaded->runMode = runMode;
    *context = loaded;
    return 1;
}

int ScriptRun(ScriptContext* context, void* owner) {
    TSL_NOT_NULL(kSrc, context);
    TSL_NOT_NULL(kSrc, context->script);
    context->owner = owner;
    const char* end = ScriptEnd(context);
    const char* p = context->position;
    if (p < context->script || p > end)
        TSL_FAIL(kSrc, "Script position out of bounds (0x%p)\n", p);

    while (p < end) {
        if (*p != SCRIPT_COMMAND) {
            ++p;
            continue;
        }
        context->position = p;

        // The keyword runs to ':', at most 39 bytes; the byte that ended it is passed over
        // (a 40th keyword byte as if it were the ':'). Data never starts past the end.
        char keyword[SCRIPT_KEYWORD_MAX + 1];
        int length = 0;
        const char* q = p + 1;
        while (q < end && *q != ':' && length < SCRIPT_KEYWORD_MAX) keyword[length++] = *q++;
        keyword[length] = '\0';
        if (length == SCRIPT_KEYWORD_MAX && q < end && *q != ':')
            LogPrint("Script keyword cut at %d bytes '%s'\n", SCRIPT_KEYWORD_MAX, keyword);
        const char* data = q < end ? q + 1 : end;

        if (!KeywordKnown(keyword)) {
            LogPrint("Unknown script command '%s'\n", keyword);
            ShowProblem("Installation script corrupted!", nullptr);
            return 0;
        }
        int32_t consumed = 0;
        if (!KeywordDispatch(keyword, context, data, &consumed)) {
            LogPrint("Command Failed '%s'\n", keyword);
            return 0;
        }
        if (consumed < 0 || consumed > end - data)
            TSL_FAIL(kSrc, "Command '%s' consumed %d of %d bytes\n", keyword, consumed,
                     static_cast<int>(end - data));
        // Behind the data one more byte is passed over (the line feed of a line end).
        p = data + consumed;
        if (p < end) ++p;
    }
    context->position = p;

    LogPrint("Company Name   : %s\n", context->companyName);
    LogPrint("Product Name   : %s\n", context->productName);
    LogPrint("File Count     : %d\n", context->fileCount);
    LogPrint("Install Path   : %s [%s]\n", context->installPath, context->installDir);
#ifdef _WIN32
    if (owner != nullptr) SendMessageA(static_cast<HWND>(owner), WM_DESTROY, 0, 0);
#endif
    return 1;
}

#ifdef _WIN32
// Removes one of the fonts the installer side copied to the temporary folder.
static void RemoveScriptFont(const ScriptContext* context, int index) {
    const char* name = context->fonts[index];
    char path[SCRIPT_FONT_SIZE];
    if (RemoveTempFont == nullptr) TSL_FAIL(kSrc, "Font removal is not linked in\n");
    if (WinTempDir(path, sizeof path) && StrLen(path) + StrLen(name) < SCRIPT_FONT_SIZE) {
        StrCat(path, name);
        if (RemoveTempFont(path)) return;
    }
    LogPrint("Unable to remove font '%d' '%s'\n", index, name);
}
#endif

int ScriptFree(ScriptContext** context) {
    TSL_NOT_NULL(kSrc, context);
    ScriptContext* freed = *context;
    TSL_NOT_NULL(kSrc, freed);
    if (freed->fontCount > 0) {
        TSL_NOT_NULL(kSrc, freed->fonts);
#ifdef _WIN32
        for (int i = 0; i < freed->fontCount; ++i) RemoveScriptFont(freed, i);
#endif
        MemFree(freed->fonts, freed->fontCount * SCRIPT_FONT_SIZE, MEM_DEFAULT, kSrc, __LINE__);
    }
    if (freed->script != nullptr)
        MemFree(freed->script, freed->scriptSize + 1, MEM_DEFAULT, kSrc, __LINE__);
    TSL_DELETE(freed, kSrc);
    *context = nullptr;
    return 1;
}
