// Tessel core: the log with its recursive library lock, console and debug log file, the
// fatal-error path, the tracked allocator with guards, peaks and leak report, library
// start-up and shutdown, the diagnostic options and the command-line helpers.
#include "tessel/tsl-core.h"

#include <stdlib.h>
#include <string.h>

#include "tessel/tsl-os.h"
#include "tessel/tsl-str.h"

#ifndef TSL_BUILD_LABEL
#define TSL_BUILD_LABEL "?"
#endif

const char TslVersion[] = "0.50";
const char TslBuildLabel[] = TSL_BUILD_LABEL;

namespace {

const char kSrc[] = "tsl-core";
const char kBoxCaption[] = "Internal error...";
const char kTooLarge[] = "\n\n***** Last string too large for debug buffer\n\n";

constexpr int kPathSize = 260;
constexpr int kFormatSize = 4096;
constexpr int kTooLargeAbove = 4086;  // composed entries longer than this get the notice
constexpr int kStampSize = 80;
constexpr int kExtensionSize = 18;
constexpr int kBannerWidth = 79;
constexpr int kOpenAttempts = 10;
constexpr unsigned kOpenRetryMs = 100;

// The log's state, one per process, guarded by the library mutex.
struct LogState {
    uint32_t flags = 0;
    char basePath[kPathSize] = {};
    char openPath[kPathSize] = {};
    int fd = 0;  // 0: no file open
    int consoleOpen = 0;
    unsigned mainThread = 0;
    char format[kFormatSize] = {};
    const char* whereFile = nullptr;
    int whereLine = 0;
    void* mutex = nullptr;
    int bypass = 1;  // nothing is locked before start-up and after shutdown
    // An unattended run: no box from the library, and the exit code a fatal error ends
    // the process with.
    int quiet = 0;
    int abortExitCode = 1;
};

LogState g_log;

// The allocator's state, guarded by the library mutex as well.
struct MemState {
    int32_t blocks = 0;
    int32_t bytes = 0;
    int32_t limit = 0x7FFFFFFF;
    int32_t peakBlocks = 0;
    int32_t peakBytes = 0;
    uintptr_t lowest = UINTPTR_MAX;
    uintptr_t highest = 0;
};

MemState g_mem;

// Appends `text` to `out` (capacity `size`) as far as it fits; 0 when it was cut. Used
// where the formatter's overrun report would re-enter the log.
int AppendBounded(char* out, int size, const char* text) {
    int used = StrLen(out);
    while (*text != 0 && used < size - 1) out[used++] = *text++;
    out[used] = 0;
    return *text == 0 ? 1 : 0;
}

// Splits a file name at the '.' of its extension: the name part of `work` is cut at
// the dot and the extension (at most 17 characters, "log" when there is none) goes to
// `extension`. Only the last path component is searched, so a dotted folder name is
// never mistaken for an extension.
void SplitExtension(char* work, char* extension) {
    int length = StrLen(work);
    for (int i = length - 1; i >= 1; --i) {
        if (work[i] == '\\' || work[i] == '/') break;
        if (work[i] == '.') {
            StrCopyN(extension, work + i + 1, kExtensionSize);
            work[i] = 0;
            return;
        }
    }
    StrCopy(extension, "log");
}

// Puts a suffix such as "-120726.log" after the name, cutting the name if the whole path
// would not fit.
void AppendSuffix(char* work, const char* suffix) {
    int room = kPathSize - 1 - StrLen(suffix);
    if (room < 0) room = 0;
    if (StrLen(work) > room) work[room] = 0;
    AppendBounded(work, kPathSize, suffix);
}

void EmitOrdinary(const char* format, va_list arguments) {
    int length = StrVPrintf(g_log.format, kFormatSize, format, arguments);
    LogEmit(g_log.format, 0);
    if (length > kTooLargeAbove) LogEmit(kTooLarge, 0);
}

}  // namespace

// ---------------------------------------------------------------------------
// Pure helpers
// ---------------------------------------------------------------------------

int LogTimestamp(const TslTime* now, char* out) {
    TSL_NOT_NULL(kSrc, now);
    TSL_NOT_NULL(kSrc, out);
    StrPrintf(out, kStampSize, "%.2d/%.2d/%.4d %.2d:%.2d:%.2d ", now->month, now->day, now->year,
              now->hour, now->minute, now->second);
    return 1;
}

int LogFileName(const char* basePath, uint32_t flags, const TslTime* now, unsigned threadId,
                int isMainThread, char* out) {
    TSL_NOT_NULL(kSrc, basePath);
    TSL_NOT_NULL(kSrc, now);
    TSL_NOT_NULL(kSrc, out);
    StrCopyN(out, basePath, kPathSize);
    char extension[kExtensionSize];
    char suffix[48];
    if (flags & TSL_LOG_PERDAY) {
        SplitExtension(out, extension);
        // Two-digit year from the four-digit one, so that 2000 gives 00 and not 100.
        StrPrintf(suffix, sizeof suffix, "-%.2d%.2d%.2d.%s", now->month, now->day, now->year % 100,
                  extension);
        AppendSuffix(out, suffix);
    }
    if ((flags & TSL_LOG_PERTHREAD) && !isMainThread) {
        SplitExtension(out, extension);
        StrPrintf(suffix, sizeof suffix, "-%u.%s", threadId, extension);
        AppendSuffix(out, suffix);
    }
    return 1;
}

int PathStripLongPrefix(char* path) {
    TSL_NOT_NULL(kSrc, path);
    if (StrStartsWithNoCase(path, "\\\\?\\UNC\\")) {
        // "\\?\UNC\server\share" -> "\\server\share": keep two backslashes.
        memmove(path + 2, path + 8, strlen(path + 8) + 1);
    } else if (StrStartsWithNoCase(path, "\\\\?\\")) {
        memmove(path, path + 4, strlen(path + 4) + 1);
    }
    return 1;
}

int LogPathFor(const char* exePath, const char* logName, char* out) {
    TSL_NOT_NULL(kSrc, exePath);
    TSL_NOT_NULL(kSrc, out);
    const char* name = logName != nullptr ? logName : "";
    if ((name[0] != 0 && name[1] == ':') || name[0] == '/' || name[0] == '\\') {
        StrCopyN(out, name, kPathSize);
        return 1;
    }
    if (StrLen(name) < 2) name = "debug.log";
    int directory = 0;  // length up to and including the last separator
    for (int i = 0; exePath[i] != 0; ++i)
        if (exePath[i] == '\\' || exePath[i] == '/') directory = i + 1;
    // Beside the executable or nowhere: without its folder the name would be taken in the
    // current folder, and cut it would name another file.
    out[0] = 0;
    if (directory == 0 || directory + StrLen(name) > kPathSize - 1) return 0;
    memcpy(out, exePath, static_cast<size_t>(directory));
    out[directory] = 0;
    AppendBounded(out, kPathSize, name);
    return 1;
}

// ---------------------------------------------------------------------------
// Lock and log
// ---------------------------------------------------------------------------

int LogLock() {
    if (g_log.bypass || g_log.mutex == nullptr) return 1;
    return OsMutexLock(g_log.mutex);
}

int LogUnlock() {
    if (g_log.bypass || g_log.mutex == nullptr) return 1;
    return OsMutexUnlock(g_log.mutex);
}

uint32_t LogFlags() { return g_log.flags; }

const char* LogBasePath() { return g_log.basePath; }

int LogEmit(const char* text, int isAbort) {
    if (text == nullptr) return 0;
    const uint32_t flags = g_log.flags;
    const int length = StrLen(text);
    const unsigned thread = OsThreadId();
    const int isMain = thread == g_log.mainThread ? 1 : 0;

    if ((flags & TSL_LOG_WINDOW) && g_log.consoleOpen && (!(flags & TSL_LOG_PERTHREAD) || isMain))
        OsConsoleWrite(text, length);
    if (!(flags & TSL_LOG_FILE)) return 1;
    // No path for the file (CoreStartup has said so once).
    if (g_log.basePath[0] == 0) return 0;

    TslTime now{};
    char stamp[kStampSize];
    stamp[0] = 0;
    if (flags & (TSL_LOG_TIMESTAMP | TSL_LOG_PERDAY)) OsLocalTime(&now);
    if (flags & TSL_LOG_TIMESTAMP) LogTimestamp(&now, stamp);

    char work[kPathSize];
    LogFileName(g_log.basePath, flags, &now, thread, isMain, work);
    if (!StrEqualNoCase(work, g_log.openPath)) {
        StrCopy(g_log.openPath, work);
        if (g_log.fd != 0) OsFileClose(g_log.fd);
        g_log.fd = 0;
    }
    if (g_log.fd == 0) {
        int error = 0;
        for (int attempt = 0; attempt < kOpenAttempts && g_log.fd == 0; ++attempt) {
            if (attempt != 0) OsSleep(kOpenRetryMs);
            g_log.fd = OsFileOpenLog(g_log.openPath, (flags & TSL_LOG_APPEND) ? 1 : 0, &error);
        }
        if (g_log.fd == 0) {
            // The entry is bounded so that this message never overruns (an overrun
            // report would come back here).
            char message[kFormatSize + kPathSize + 128];
            StrPrintf(message, sizeof message,
                      "Unable to create log file [%s] due to error [%d]\n -- String [%.4095s]",
                      g_log.openPath, error, text);
            if (!g_log.quiet) OsMessageBox(message, kBoxCaption, OS_MB_OK | OS_MB_ICONERROR);
            return 0;
        }
    }
    if (stamp[0] != 0) OsFileWrite(g_log.fd, stamp, StrLen(stamp));
    OsFileWrite(g_log.fd, text, length);
    if (!(flags & TSL_LOG_CACHEWRITES) || isAbort) OsFileCommit(g_log.fd);
    return 1;
}

int LogPrint(const char* format, ...) {
    const uint32_t flags = g_log.flags;
    if (!(flags & (TSL_LOG_WINDOW | TSL_LOG_FILE | TSL_LOG_EXTERNALPRINT))) return 1;
    LogLock();
    va_list arguments;
    va_start(arguments, format);
    EmitOrdinary(format, arguments);
    va_end(arguments);
    LogUnlock();
    return 1;
}

int LogPrintLocked(const char* format, ...) {
    va_list arguments;
    va_start(arguments, format);
    EmitOrdinary(format, arguments);
    va_end(arguments);
    return 1;
}

int LogText(const char* text) {
    if (g_log.flags == 0) return 1;
    LogLock();
    LogEmit(text, 0);
    LogUnlock();
    return 1;
}

int LogBanner(const char* title) {
    if (g_log.flags == 0) return 1;
    LogLock();
    char* line = g_log.format;
    line[0] = 0;
    if (title != nullptr) {
        AppendBounded(line, kBannerWidth + 1, "====[");
        AppendBounded(line, kBannerWidth + 1, title);
        AppendBounded(line, kBannerWidth + 1, "]");
    } else {
        AppendBounded(line, kBannerWidth + 1, "====");
    }
    int used = StrLen(line);
    memset(line + used, '=', static_cast<size_t>(kBannerWidth - used));
    line[kBannerWidth] = '\n';
    line[kBannerWidth + 1] = 0;
    LogEmit(line, 0);
    LogUnlock();
    return 1;
}

int LogWhere(const char* file, int line) {
    LogLock();
    return LogWhereLocked(file, line);
}

int LogWhereLocked(const char* file, int line) {
    g_log.whereFile = file;
    g_log.whereLine = line;
    return 1;
}

void LogAbort(const char* format, ...) {
    const char* file = g_log.whereFile != nullptr ? g_log.whereFile : "Unknown";
    const int line = g_log.whereLine;
    char* text = g_log.format;
    int length = StrPrintf(text, kFormatSize, "\n\n%s", "ABORT: ");
    if (format != nullptr) {
        va_list arguments;
        va_start(arguments, format);
        length += StrVPrintf(text + length, kFormatSize - length, format, arguments);
        va_end(arguments);
    }
    length += StrPrintf(text + length, kFormatSize - length, "       (%s/%d)\n", file, line);
    LogEmit(text, 1);
    if (!g_log.quiet) OsMessageBox(text + 2, kBoxCaption, OS_MB_OK | OS_MB_ICONERROR);
    if (length > kTooLargeAbove) LogEmit(kTooLarge, 0);
    LogUnlock();
    OsExit(g_log.abortExitCode);
}

int CoreSetQuiet(int quiet, int abortExitCode) {
    g_log.quiet = quiet ? 1 : 0;
    g_log.abortExitCode = quiet ? abortExitCode : 1;
    return 1;
}

// ---------------------------------------------------------------------------
// Tracked allocator
// ---------------------------------------------------------------------------

namespace {

constexpr int kGuard = 4;

// The caller's area starts 4 bytes into the block. On a 64-bit host that would leave it
// misaligned for pointers; a pad in front of the block keeps it on a 16-byte boundary
// there, as the C heap's own blocks are. The pad is not counted in the block's sizes.
constexpr int kPad = sizeof(void*) == 8 ? 16 - kGuard : 0;

inline unsigned char GuardByte(uintptr_t blockStart, int k) {
    return static_cast<unsigned char>(((blockStart >> k) & 0xFF) ^ 0xCC);
}

inline int32_t GrossSize(int32_t size) {
    return static_cast<int32_t>((static_cast<int64_t>(size) + 11) & ~static_cast<int64_t>(3));
}

void WriteGuard(unsigned char* at, uintptr_t blockStart) {
    for (int k = 0; k < kGuard; ++k) at[k] = GuardByte(blockStart, k);
}

int CountDamaged(const unsigned char* at, uintptr_t blockStart) {
    int damaged = 0;
    for (int k = 0; k < kGuard; ++k)
        if (at[k] != GuardByte(blockStart, k)) ++damaged;
    return damaged;
}

// Checks a block about to be released; an implausible address or a damaged guard is
// reported and ends the process, naming the caller's position. Runs under the lock.
void VerifyBlock(void* pointer, int32_t size, int32_t gross, const char* file, int line) {
    const uintptr_t start = reinterpret_cast<uintptr_t>(pointer) - kGuard;
    const uintptr_t startPlusSize = start + static_cast<uintptr_t>(size);
    if (start < g_mem.lowest || start > g_mem.highest || startPlusSize < g_mem.lowest ||
        startPlusSize > g_mem.highest || start + static_cast<uintptr_t>(gross) > g_mem.highest) {
        LogWhereLocked(file, line);
        LogAbort("Invalid memory address (%d) <From:0x%p To:0x%p>\n", size,
                 reinterpret_cast<void*>(start), reinterpret_cast<void*>(startPlusSize));
    }
    const unsigned char* block = reinterpret_cast<const unsigned char*>(start);
    const unsigned char* trailing = block + gross - kGuard;
    const int before = CountDamaged(block, start);
    const int after = CountDamaged(trailing, start);
    if (before == 0 && after == 0) return;

    static const char kCorrupt[] = "Memory corrupt (%d) <Addr:0x%p Before:%d After:%d Max:%d>\n";
    LogPrintLocked(kCorrupt, size, pointer, before, after, kGuard);
    LogPrintLocked("Expected: %.2X %.2X %.2X %.2X\n", GuardByte(start, 0), GuardByte(start, 1),
                   GuardByte(start, 2), GuardByte(start, 3));
    if (before != 0)
        LogPrintLocked("Prior corruption: %.2X %.2X %.2X %.2X %.2X %.2X %.2X %.2X\n", block[0],
                       block[1], block[2], block[3], block[4], block[5], block[6], block[7]);
    if (after != 0)
        LogPrintLocked("After corruption: %.2X %.2X %.2X %.2X\n", trailing[0], trailing[1],
                       trailing[2], trailing[3]);
    LogWhereLocked(file, line);
    LogAbort(kCorrupt, size, pointer, before, after, kGuard);
}

}  // namespace

int MemInit(int32_t limit) {
    LogLock();
    g_mem.blocks = 0;
    g_mem.bytes = 0;
    g_mem.peakBlocks = 0;
    g_mem.peakBytes = 0;
    g_mem.limit = limit;
    LogUnlock();
    if (g_log.flags & TSL_LOG_VERBOSE) {
        LogBanner("Memory Init");
        if (limit == 0x7FFFFFFF)
            LogPrint("Memory Initialized (Maximum)\n");
        else
            LogPrint("Memory Initialized (limit %dk)\n", limit / 1024);
        LogBanner(nullptr);
    }
    return 1;
}

void* MemAlloc(int32_t size, uint32_t flags, const char* file, int line) {
    LogLock();
    if (size <= 0) {
        LogWhereLocked(file, line);
        LogAbort("Invalid Memory Size (%d)\n", size);
    }
    const int32_t gross = GrossSize(size);
    if (gross < 0 || static_cast<int64_t>(g_mem.bytes) + gross > g_mem.limit) {
        LogWhereLocked(file, line);
        LogAbort("Memory exceeds limit ((%d + %d) / %d)\n", g_mem.bytes, gross, g_mem.limit);
    }
    unsigned char* block;
    const int64_t raw = static_cast<int64_t>(gross) + kPad;
    if (flags & MEM_LOCAL) {
        block = raw > INT32_MAX ? nullptr
                                : static_cast<unsigned char*>(OsLocalAlloc(static_cast<int32_t>(raw)));
        if (block == nullptr) {
            LogWhereLocked(file, line);
            LogAbort("No Local Memory available (%d / %d)\n", size, gross);
        }
    } else {
        block = static_cast<unsigned char*>(malloc(static_cast<size_t>(raw)));
        if (block == nullptr) {
            LogWhereLocked(file, line);
            LogAbort("No Memory available (%d / %d)\n", size, gross);
        }
    }
    block += kPad;
    const uintptr_t start = reinterpret_cast<uintptr_t>(block);
    if (start < g_mem.lowest) g_mem.lowest = start;
    if (start + static_cast<uintptr_t>(gross) > g_mem.highest)
        g_mem.highest = start + static_cast<uintptr_t>(gross);
    WriteGuard(block, start);
    memset(block + kGuard, 0, static_cast<size_t>(gross - 2 * kGuard));
    WriteGuard(block + gross - kGuard, start);
    ++g_mem.blocks;
    g_mem.bytes += gross;
    if (g_mem.blocks > g_mem.peakBlocks) g_mem.peakBlocks = g_mem.blocks;
    if (g_mem.bytes > g_mem.peakBytes) g_mem.peakBytes = g_mem.bytes;
    LogUnlock();
    return block + kGuard;
}

void* MemFree(void* pointer, int32_t size, uint32_t flags, const char* file, int line) {
    LogLock();
    if (size <= 0) {
        LogWhereLocked(file, line);
        LogAbort("Invalid Memory Size (%d)\n", size);
    }
    const int32_t gross = GrossSize(size);
    if (pointer == nullptr) {
        LogWhereLocked(file, line);
        LogAbort("No Memory address to free (%d / %d)\n", size, gross);
    }
    VerifyBlock(pointer, size, gross, file, line);
    unsigned char* block = static_cast<unsigned char*>(pointer) - kGuard;
    memset(block, 0, static_cast<size_t>(gross));  // no stale data survives in the heap
    if (flags & MEM_LOCAL)
        OsLocalFree(block - kPad);
    else
        free(block - kPad);
    --g_mem.blocks;
    g_mem.bytes -= gross;
    LogUnlock();
    return nullptr;
}

int MemShutdown() {
    const bool verbose = (g_log.flags & TSL_LOG_VERBOSE) != 0;
    if (verbose) {
        LogBanner("Memory Remove");
        LogPrint("Maximum Memory in use (%d / %dk)\n", g_mem.peakBlocks, g_mem.peakBytes / 1024);
    }
    if (g_mem.bytes != 0) {
        if (g_mem.bytes >= 1024)
            LogPrint("Not all memory was free'd (%d / %dk)\n", g_mem.blocks, g_mem.bytes / 1024);
        else
            LogPrint("Not all memory was free'd (%d / %db)\n", g_mem.blocks, g_mem.bytes);
    }
    if (verbose) LogBanner(nullptr);
    return 1;
}

int MemGetStats(MemStats* out) {
    TSL_NOT_NULL(kSrc, out);
    LogLock();
    out->blocks = g_mem.blocks;
    out->bytes = g_mem.bytes;
    out->limit = g_mem.limit;
    out->peakBlocks = g_mem.peakBlocks;
    out->peakBytes = g_mem.peakBytes;
    LogUnlock();
    return 1;
}

// ---------------------------------------------------------------------------
// Start-up, options and command line
// ---------------------------------------------------------------------------

namespace {

struct OptionKeyword {
    const char* keyword;
    uint32_t bits;
};

constexpr OptionKeyword kOptions[] = {
    {"debug", TSL_LOG_FILE | TSL_LOG_VERBOSE},
    {"perthread", TSL_LOG_PERTHREAD | TSL_LOG_APPEND},
    {"unique", TSL_LOG_PERDAY | TSL_LOG_APPEND | TSL_LOG_FILE | TSL_LOG_VERBOSE},
    {"window", TSL_LOG_WINDOW},
    {"cachewrites", TSL_LOG_CACHEWRITES},
    {"timestamp", TSL_LOG_TIMESTAMP},
    {"append", TSL_LOG_APPEND},
    {"externalprint", TSL_LOG_EXTERNALPRINT},
};

// Command-line separators: every byte that, read as signed, is at most 32 (blanks,
// controls and the upper half of the code page).
inline bool IsSeparator(char c) { return static_cast<signed char>(c) <= 32 && c != 0; }

}  // namespace

int CoreParseOptions(uint32_t* flagsOut, const char* commandLine) {
    TSL_NOT_NULL(kSrc, flagsOut);
    TSL_NOT_NULL(kSrc, commandLine);
    uint32_t flags = 0;
    for (const OptionKeyword& option : kOptions)
        if (CmdLineHasSwitch(commandLine, option.keyword)) flags |= option.bits;
    *flagsOut = flags;
    return 1;
}

int CmdLineHasSwitch(const char* commandLine, const char* keyword) {
    TSL_NOT_NULL(kSrc, commandLine);
    TSL_NOT_NULL(kSrc, keyword);
    const int length = StrLen(keyword);
    if (length == 0) return 0;
    const char* at = commandLine;
    const char* found = nullptr;
    while (StrFindNoCase(at, keyword, &found)) {
        const char before = found == commandLine ? 0 : found[-1];
        const char after = found[length];
        if ((before == '-' || before == '/') && (after == ' ' || after == 0)) return 1;
        at = found + 1;
    }
    return 0;
}

int CmdLineArg(const char* commandLine, int index, int* countOut, const char** startOut,
               const char** endOut) {
    TSL_NOT_NULL(kSrc, commandLine);
    TSL_NOT_NULL(kSrc, startOut);
    TSL_NOT_NULL(kSrc, endOut);
    const char* p = commandLine;
    while (IsSeparator(*p)) ++p;
    const char* start = *p == '"' ? p + 1 : p;
    *startOut = start;
    *endOut = start;
    if (*p == 0) {
        // A command line of separators only holds no argument at all.
        if (countOut != nullptr) *countOut = 0;
        return 0;
    }
    int counter = 0;
    bool quoted = false;
    while (*p != 0) {
        if (p[0] == '"' && p[1] == '"') {  // a doubled quotation mark is ordinary text
            p += 2;
            continue;
        }
        if (*p == '"') quoted = !quoted;
        if (quoted || (!IsSeparator(*p) && *p != '"')) {
            ++p;
            continue;
        }
        // The end of an argument: a separator, or its closing quotation mark.
        if (*p == '"' && counter != index) ++p;
        while (IsSeparator(*p)) ++p;
        if (*p == 0) break;  // trailing separators start no further argument
        ++counter;
        if (counter == index) start = *p == '"' ? p + 1 : p;
        if (counter == index + 1) break;
    }
    // The last character: back over trailing separators and quotation marks, but keep
    // a doubled quotation mark and never pass the start.
    const char* end = p - 1;
    while (end > start && (IsSeparator(*end) || *end == '"') && !(*end == '"' && end[-1] == '"'))
        --end;
    if (end < start) end = start;
    if (countOut != nullptr) *countOut = counter + 1;
    *startOut = start;
    *endOut = end;
    return (counter == index + 1 || (counter == index && *p == 0)) ? 1 : 0;
}

int CmdLineArgStart(const char* commandLine, int index, const char** startOut) {
    const char* end = nullptr;
    return CmdLineArg(commandLine, index, nullptr, startOut, &end);
}

namespace {

const char* SkipSeparators(const char* p) {
    while (IsSeparator(*p)) ++p;
    return p;
}

// Behind the first `length` characters of `text` when they are `path` (letter case
// ignored) and a separator, a quotation mark or the end follows; else null.
const char* BehindPath(const char* text, const char* path, int length) {
    if (length == 0) return nullptr;
    for (int i = 0; i < length; ++i) {
        char a = text[i];
        char b = path[i];
        if (a >= 'a' && a <= 'z') a = static_cast<char>(a - 32);
        if (b >= 'a' && b <= 'z') b = static_cast<char>(b - 32);
        if (a == 0 || a != b) return nullptr;
    }
    const char after = text[length];
    return (after == 0 || after == '"' || IsSeparator(after)) ? text + length : nullptr;
}

}  // namespace

const char* CmdLineArguments(const char* commandLine, const char* programPath) {
    TSL_NOT_NULL(kSrc, commandLine);
    const char* p = SkipSeparators(commandLine);
    if (*p == 0) return p;
    const char* behind = nullptr;
    if (programPath != nullptr) {
        const char* name = *p == '"' ? p + 1 : p;
        int length = StrLen(programPath);
        behind = BehindPath(name, programPath, length);
        if (behind == nullptr && length > 4 && StrEqualNoCase(programPath + length - 4, ".exe"))
            behind = BehindPath(name, programPath, length - 4);
    }
    if (behind == nullptr) {
        const char* start = nullptr;
        const char* end = nullptr;
        CmdLineArg(commandLine, 0, nullptr, &start, &end);
        // The end is the argument's last character, or its terminator when it has none
        // (a lone quotation mark).
        behind = *end != 0 ? end + 1 : end;
    }
    if (*behind == '"') ++behind;
    return SkipSeparators(behind);
}

int CmdLineHasOption(const char* commandLine, const char* programPath, const char* option) {
    TSL_NOT_NULL(kSrc, option);
    const char* found = nullptr;
    return StrFindNoCase(CmdLineArguments(commandLine, programPath), option, &found);
}

int CoreStartup(const char* logName, uint32_t flags) {
    g_log.mainThread = OsThreadId();
    if (g_log.mutex != nullptr) TSL_FAIL(kSrc, "Tessel already initialized\n");
    g_log.mutex = OsMutexCreate();
    if (g_log.mutex == nullptr) TSL_FAIL(kSrc, "Unable to create the library lock\n");
    g_log.bypass = 0;
    if (OsCommandLine() == nullptr) TSL_FAIL(kSrc, "Unable to retrieve commandline!\n");
    char executable[kPathSize];
    if (!OsModulePath(executable, kPathSize)) executable[0] = 0;
    PathStripLongPrefix(executable);
    char logPath[kPathSize];
    if (!LogPathFor(executable, logName, logPath) && executable[0] != 0 &&
        OsModulePath(executable, StrLen(executable))) {
        // No room for the name beside the long form of the path: a buffer too small for
        // that form brings the short one, where the system has it.
        PathStripLongPrefix(executable);
        LogPathFor(executable, logName, logPath);
    }
    if (logPath[0] == 0 && (flags & TSL_LOG_FILE) && !g_log.quiet) {
        char message[kPathSize + 128];
        StrPrintf(message, sizeof message,
                  "Unable to create log file [%s] beside the program: the path of its folder "
                  "is too long or cannot be given in this system's code page",
                  logName != nullptr ? logName : "");
        OsMessageBox(message, kBoxCaption, OS_MB_OK | OS_MB_ICONERROR);
    }
    return LogConfigure(logPath, flags);
}

int LogConfigure(const char* logPath, uint32_t flags) {
    LogLock();
    g_log.flags = flags;
    if (logPath != nullptr) StrCopyN(g_log.basePath, logPath, kPathSize);
    if ((flags & TSL_LOG_PERTHREAD) && !(flags & TSL_LOG_APPEND)) {
        LogWhereLocked(kSrc, __LINE__);
        LogAbort("Threaded logging requires append to be on\n");
    }
    if (g_log.fd != 0) OsFileClose(g_log.fd);
    g_log.fd = 0;
    if (flags == 0) {
        LogUnlock();
        return 1;
    }
    if ((flags & TSL_LOG_WINDOW) && !g_log.consoleOpen)
        g_log.consoleOpen = OsConsoleOpen(g_log.basePath);
    LogUnlock();
    if (flags & TSL_LOG_VERBOSE) {
        if (TslBuildLabel[0] == '?')
            LogPrint("Tessel v%s\n", TslVersion);
        else
            LogPrint("Tessel v%s (rev: %s)\n", TslVersion, TslBuildLabel);
    }
    return 1;
}

int CoreShutdown() {
    LogLock();
    if (g_log.fd != 0) OsFileClose(g_log.fd);
    g_log.fd = 0;
    // Later entries (the programs' last "Successful Exit...") continue the file.
    if (g_log.flags != 0) g_log.flags |= TSL_LOG_APPEND;
    void* mutex = g_log.mutex;
    g_log.bypass = 1;
    g_log.mutex = nullptr;
    if (mutex != nullptr) {
        OsMutexUnlock(mutex);
        OsMutexClose(mutex);
    }
    return 1;
}
