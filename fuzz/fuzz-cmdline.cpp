// Fuzz target: command-line texts, the number and address parsers and the path tests and
// clean-up, which read text from outside the program. Checks that every pointer the
// command-line helpers return lies inside the text and that no routine writes past its
// buffer (ASan) or misbehaves (UBSan).
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include <string>
#include <vector>

#include "tessel/tsl-core.h"
#include "tessel/tsl-str.h"
#include "tessel/winhelpr.h"
#include "vacate/paths.h"
#include "vacate/script.h"

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
    // The program path: the text up to its first line feed, when it has one.
    const size_t feed = text.find('\n');
    const std::string own = feed == std::string::npos ? std::string() : text.substr(0, feed);
    for (const char* programPath : {static_cast<const char*>(nullptr), own.c_str()}) {
        const char* arguments = CmdLineArguments(line, programPath);
        Check(arguments >= line && arguments <= last);
        const int spawn = CmdLineHasOption(line, programPath, "-Spawn");
        const char* found = nullptr;
        Check(spawn == StrFindNoCase(arguments, "-Spawn", &found));
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
    // The lenient parsers abort on runs of 70 characters by design; keep below that. Their
    // checked forms take text from outside whole.
    const std::string head = text.substr(0, 60);
    AtoI(head.c_str());
    AtoF(head.c_str());
    AtoIChecked(line, &integer);
    AtoFChecked(line, &real);

    // Path clean-up in place (one byte of room for the backslash mode 1 may add); the
    // result is never longer than that.
    for (int mode = 0; mode < 2; ++mode) {
        std::vector<char> path(text.begin(), text.end());
        path.push_back('\0');
        path.push_back('\0');
        PathNormalize(path.data(), mode);
        Check(strlen(path.data()) <= text.size() + 1);
    }
    PathLeavesFolder(ScriptPathCodesEnd(line));
    PathIsAbsolute(line);
    PathIsRoot(line);
    char folder[64];
    PathFolderOf(line, folder, sizeof folder);
    std::vector<char> parent(text.begin(), text.end());
    parent.push_back('\0');
    PathParentFolder(parent.data());

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
