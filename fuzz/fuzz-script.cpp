// Fuzz target: arbitrary bytes as an installation script, loaded from disk and run through
// the interpreter with every keyword of the table registered to a handler that reads its
// fields with the table's capacities into buffers of exactly that size; a field that holds
// a public key is parsed into a blob of exactly its capacity. No read or write may leave
// the script's buffer or a field's buffer, and everything is released.
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
#include "vacate/signature.h"

static char gPath[64];

static void AtExit() {
    KeywordsRelease();
    remove(gPath);
}

// A key that parses is a whole blob of its modulus's size; one that does not has a reason.
static void ParseKey(const char* text) {
    std::unique_ptr<uint8_t[]> blob(new uint8_t[SIGNATURE_BLOB_MAX]);
    int32_t length = -1;
    int32_t modulusBytes = -1;
    const char* why = nullptr;
    if (SignatureKeyParse(text, blob.get(), &length, &modulusBytes, &why)
            ? length != SIGNATURE_HEADER_SIZE + modulusBytes || modulusBytes <= 0
            : why == nullptr || length != 0 || modulusBytes != 0)
        abort();
}

static int ReadByShape(const KeywordSpec& entry, ScriptContext* context, const char* data,
                       int32_t* consumed) {
    switch (entry.shape) {
        case KW_FIELDS:
            for (int i = 0; i < entry.fieldCount; ++i) {
                std::unique_ptr<char[]> field(new char[entry.capacity[i]]);
                ScriptReadField(context, data, consumed, field.get(), entry.capacity[i]);
                if (strlen(field.get()) >= static_cast<size_t>(entry.capacity[i])) abort();
                if (entry.publicKey >> i & 1) ParseKey(field.get());
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
