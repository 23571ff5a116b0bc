// Tessel core: the log with its lock, the fatal-error path, the tracked allocator,
// library start-up with its diagnostic options, and command-line helpers.
#pragma once

#include <stdarg.h>
#include <stdint.h>

// ---------------------------------------------------------------------------
// Flags word (TesselFlags), set once by LogConfigure from the command-line options.
// ---------------------------------------------------------------------------
constexpr uint32_t TSL_LOG_WINDOW = 0x0001;        // entries go to the console window
constexpr uint32_t TSL_LOG_FILE = 0x0002;          // entries go to the log file
constexpr uint32_t TSL_LOG_VERBOSE = 0x0004;       // version line, allocator reports
constexpr uint32_t TSL_LOG_APPEND = 0x0008;        // continue an existing log file
constexpr uint32_t TSL_LOG_TIMESTAMP = 0x0020;     // date-and-time prefix on file entries
constexpr uint32_t TSL_LOG_PERDAY = 0x0040;        // the file name carries the date
constexpr uint32_t TSL_LOG_PERTHREAD = 0x0100;     // other threads write their own file
constexpr uint32_t TSL_LOG_EXTERNALPRINT = 0x0400; // LogPrint formats even with no output
constexpr uint32_t TSL_LOG_CACHEWRITES = 0x8000;   // no commit after each entry

// Library version and the build label fixed at build time ('?' first: no label).
extern const char TslVersion[];
extern const char TslBuildLabel[];

// ---------------------------------------------------------------------------
// Log (tsl-core)
// ---------------------------------------------------------------------------
int LogPrint(const char* format, ...);
int LogPrintLocked(const char* format, ...);
int LogText(const char* text);
int LogBanner(const char* title);
int LogWhere(const char* file, int line);
int LogWhereLocked(const char* file, int line);
[[noreturn]] void LogAbort(const char* format, ...);
int LogLock();
int LogUnlock();
int LogEmit(const char* text, int isAbort);

// An unattended run (quiet 1): the library shows no box (the fatal-error notice and the
// log's own error notice are only logged, where the log can be written) and a fatal
// error ends the process with `abortExitCode`. Quiet 0 restores the boxes and exit code 1.
int CoreSetQuiet(int quiet, int abortExitCode);

// The flags word in force (0: logging off).
uint32_t LogFlags();

// A broken-down local time, as the log uses it for names and prefixes.
struct TslTime {
    int year;   // four digits
    int month;  // 1..12
    int day;    // 1..31
    int hour;   // 0..23
    int minute;
    int second;
};

// Builds the name of the file an entry goes to from the base log path and the flags:
// the date for TSL_LOG_PERDAY, the thread id for TSL_LOG_PERTHREAD when the thread is not
// the main thread. `out` holds 260 bytes. Pure; LogEmit uses it with the current time.
int LogFileName(const char* basePath, uint32_t flags, const TslTime* now, unsigned threadId,
                int isMainThread, char* out);

// Formats the timestamp prefix "MM/DD/YYYY hh:mm:ss " into `out` (80 bytes).
int LogTimestamp(const TslTime* now, char* out);

// Records the source position, then aborts with the message: the library's one way of
// reporting a fatal error. Every call site names its own source file and line.
#define TSL_FAIL(file, ...) (LogWhere((file), __LINE__), LogAbort(__VA_ARGS__))

// Aborts with "Pointer is NULL\n" when `p` is null.
#define TSL_NOT_NULL(file, p)                   \
    do {                                        \
        if ((p) == nullptr) {                   \
            LogWhere((file), __LINE__);         \
            LogAbort("Pointer is NULL\n");      \
        }                                       \
    } while (0)

// ---------------------------------------------------------------------------
// Tracked allocator (tsl-core)
// ---------------------------------------------------------------------------
constexpr uint32_t MEM_DEFAULT = 0x1; // no effect; every caller passes it
constexpr uint32_t MEM_LOCAL = 0x2;   // block from the system local heap

int MemInit(int32_t limit);
void* MemAlloc(int32_t size, uint32_t flags, const char* file, int line);
void* MemFree(void* pointer, int32_t size, uint32_t flags, const char* file, int line);
int MemShutdown();

// Allocates a zeroed block for one object of type T, and frees it again.
#define TSL_NEW(T, file) static_cast<T*>(MemAlloc(sizeof(T), MEM_DEFAULT, (file), __LINE__))
#define TSL_DELETE(p, file) \
    (MemFree((p), sizeof(*(p)), MEM_DEFAULT, (file), __LINE__), (p) = nullptr)

// The allocator's counters, for reports and tests.
struct MemStats {
    int32_t blocks;
    int32_t bytes;
    int32_t limit;
    int32_t peakBlocks;
    int32_t peakBytes;
};
int MemGetStats(MemStats* out);

// ---------------------------------------------------------------------------
// Start-up, options and command line (tsl-core)
// ---------------------------------------------------------------------------
int CoreParseOptions(uint32_t* flagsOut, const char* commandLine);
int CoreStartup(const char* logName, uint32_t flags);
int LogConfigure(const char* logPath, uint32_t flags);
int CoreShutdown();

// The base log path in force (260 bytes), as CoreStartup built it.
const char* LogBasePath();

// Removes a leading "\\?\" from a path in place ("\\?\UNC\" becomes "\\").
int PathStripLongPrefix(char* path);

// Builds the log path from the executable's path and the name given to CoreStartup: an
// absolute name as it is, else the executable's folder followed by the name ("debug.log"
// when the name is shorter than 2 characters). `out` holds 260 bytes. 0 with an empty `out`
// when the executable's path has no folder or the name does not fit after it: the log is
// never written anywhere else (CoreStartup then says so once and logs to no file). Pure.
int LogPathFor(const char* exePath, const char* logName, char* out);

int CmdLineHasSwitch(const char* commandLine, const char* keyword);
int CmdLineArg(const char* commandLine, int index, int* countOut, const char** startOut,
               const char** endOut);
int CmdLineArgStart(const char* commandLine, int index, const char** startOut);

// The arguments of a command line: the text behind the program path, separators skipped
// (the empty text at its end when there are none). `programPath` (may be null) is the
// running program's own path: a command line that starts with it, or with it without its
// ".exe" (letter case ignored, quoted or not), is cut right behind it, which holds for an
// unquoted path with blanks too; any other program path ends where CmdLineArg ends
// argument 0.
const char* CmdLineArguments(const char* commandLine, const char* programPath);

// 1 when `option` occurs among the arguments of the command line (never in its program
// path), anywhere and in any letter case: the programs' own switches ("-Spawn", "-Update").
int CmdLineHasOption(const char* commandLine, const char* programPath, const char* option);
