// Fuzz target: command-line texts and the number and address parsers, which read text
// from outside the program. Checks that every pointer CmdLineArg returns lies inside the
// text and that no routine writes past its buffer (ASan) or misbehaves (UBSan).
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include <string>

#include "tessel/tsl-core.h"
#include "tessel/tsl-str.h"

namespace {

void Check(bool condition) {
    if (!condition) abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data),
                           strnlen(reinterpret_cast<const char*>(data), size));
    const char* line = text.c_str();
    const char* last = line + text.size();

    int count = 0;
    for (int index = 0; index < 8; ++index) {
        const char* start = nullptr;
        const char* end = nullptr;
        int found = CmdLineArg(line, index, &count, &start, &end);
        Check(start >= line && start <= last && end >= line && end <= last);
        if (found) Check(start <= end);
    }
    uint32_t flags = 0;
    CoreParseOptions(&flags, line);
    Check((flags & ~0x856Fu) == 0);  // only the option bits

    int64_t integer = 0;
    double real = 0;
    uint32_t address = 0;
    uint32_t crc = 0;
    StrToInt64(line, &integer);
    StrToReal(line, &real);
    StrToIPv4(line, &address);
    StrCrc32(line, 0, &crc);
    // The lenient parsers abort on runs of 70 characters by design; keep below that.
    const std::string head = text.substr(0, 60);
    AtoI(head.c_str());
    AtoF(head.c_str());

    char small[16];
    Check(StrPrintf(small, sizeof small, "[%-20s|%.*s]", line, 3, line) <= 15);
    if (text.size() < 260) {
        char name[260];
        const TslTime when{2026, 12, 7, 9, 5, 3};
        LogFileName(line, TSL_LOG_PERDAY | TSL_LOG_PERTHREAD, &when, 4294967295u, 0, name);
        Check(strlen(name) <= 259);
    }
    return 0;
}
