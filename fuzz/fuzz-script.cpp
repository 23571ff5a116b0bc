// Fuzz target: arbitrary bytes as an installation script, loaded from disk and run through
// the interpreter with every keyword of the table registered to a handler that reads its
// fields with the table's capacities into buffers of exactly that size. No read or write
// may leave the script's buffer or a field's buffer, and everything is released.
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include <memory>

#include "tessel/tsl-core.h"
#include "vacate/command.h"
#include "vacate/keywords.h"
#include "vacate/script.h"

static char gPath[64];

static void AtExit() {
    KeywordsRelease();
    remove(gPath);
}

static int ReadByShape(const KeywordSpec& entry, ScriptContext* context, const char* data,
                       int32_t* consumed) {
    switch (entry.shape) {
        case KW_FIELDS:
            for (int i = 0; i < entry.fieldCount; ++i) {
                std::unique_ptr<char[]> field(new char[entry.capacity[i]]);
                ScriptReadField(context, data, consumed, field.get(), entry.capacity[i]);
                if (strlen(field.get()) >= static_cast<size_t>(entry.capacity[i])) abort();
            }
            break;
        case KW_LIST: {
            const char* cursor = nullptr;
            int32_t count = 0;
            ScriptReadList(context, data, consumed, &cursor, &count);
            std::unique_ptr<char[]> item(new char[SCRIPT_ITEM_SIZE]);
            for (int32_t i = 0; i < count; ++i) ScriptListItem(&cursor, item.get());
            break;
        }
        case KW_LINE:
            ScriptSkipLine(context, data, consumed);
            break;
        case KW_NONE:
            break;
    }
    return 1;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (gPath[0] == '\0') {
        MemInit(0x7FFFFFFF);
        KeywordsRegisterTable<ReadByShape>();
        strcpy(gPath, "/tmp/fuzz-script-XXXXXX");
        const int fd = mkstemp(gPath);
        if (fd < 0) abort();
        close(fd);
        atexit(AtExit);
    }
    FILE* file = fopen(gPath, "wb");
    if (file == nullptr) abort();
    if (size > 0) fwrite(data, 1, size, file);
    fclose(file);

    ScriptContext* context = nullptr;
    if (!ScriptLoad(&context, gPath, RUN_MODE_UPDATE)) abort();
    const int ran = ScriptRun(context, nullptr);
    // A finished run leaves the position at the end of the text, never beyond it.
    if (ran && context->position != context->script + context->scriptSize) abort();
    ScriptFree(&context);
    return 0;
}
