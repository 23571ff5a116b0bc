// Tests of the Tessel core: options and command line, log file naming and writing, the
// library lock, the tracked allocator and the fatal-error path.
#include <gtest/gtest.h>

#include <stdio.h>
#include <string.h>

#include <string>
#include <thread>
#include <vector>

#include "tessel/tsl-core.h"
#include "tessel/tsl-os.h"
#include "tessel/tsl-str.h"
#include "tsl-core/temp-log.h"

namespace {

using tsltest::TempDir;
using tsltest::TempLog;

const TslTime kDecember7{2026, 12, 7, 9, 5, 3};

std::string Arg(const char* line, int index, int* result, int* count = nullptr) {
    const char* start = nullptr;
    const char* end = nullptr;
    *result = CmdLineArg(line, index, count, &start, &end);
    return std::string(start, static_cast<size_t>(end - start + 1));
}

bool StartsWithStamp(const std::string& line) {
    // "MM/DD/YYYY hh:mm:ss "
    const char* pattern = "00/00/0000 00:00:00 ";
    if (line.size() < strlen(pattern)) return false;
    for (size_t i = 0; pattern[i] != 0; ++i) {
        bool digit = line[i] >= '0' && line[i] <= '9';
        if (pattern[i] == '0' ? !digit : line[i] != pattern[i]) return false;
    }
    return true;
}

TEST(Options, KeywordsGiveTheirBits) {
    uint32_t flags = 1234;
    struct Case {
        const char* line;
        uint32_t flags;
    };
    const Case cases[] = {
        {"-debug -timestamp", 0x0026},
        {"/UNIQUE", 0x004E},
        {"-uniqueX unique x-unique- -", 0},
        {"-perthread", 0x0108},
        {"-Debug -window", 0x0007},
        {"/cachewrites /append -externalprint", 0x8408},
        {"", 0},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(CoreParseOptions(&flags, c.line), 1);
        EXPECT_EQ(flags, c.flags) << c.line;
    }
    EXPECT_EQ(CmdLineHasSwitch("-debugger -debug", "debug"), 1);  // second occurrence
    EXPECT_EQ(CmdLineHasSwitch("-debug\t", "debug"), 0);
    EXPECT_EQ(CmdLineHasSwitch("-Spawn", ""), 0);
}

TEST(CommandLine, Arguments) {
    const char* line = "prog  \"my file.txt\" word";
    int result = 0, count = 0;
    EXPECT_EQ(Arg(line, 0, &result, &count), "prog");
    EXPECT_EQ(result, 1);
    EXPECT_EQ(count, 2);
    EXPECT_EQ(Arg(line, 1, &result), "my file.txt");
    EXPECT_EQ(result, 1);
    EXPECT_EQ(Arg(line, 2, &result), "word");
    EXPECT_EQ(result, 1);
    Arg(line, 3, &result, &count);
    EXPECT_EQ(result, 0);
    EXPECT_EQ(count, 3);

    EXPECT_EQ(Arg("\"C:\\Program Files\\a.exe\" -Spawn x", 0, &result), "C:\\Program Files\\a.exe");
    EXPECT_EQ(Arg("a b\"\"c d", 1, &result), "b\"\"c");  // a doubled quote is text
    EXPECT_EQ(Arg("a\240b", 1, &result), "b");  // bytes above 127 separate
    EXPECT_EQ(result, 1);
    // Trailing blanks start no further argument; blanks alone hold none.
    EXPECT_EQ(Arg("prog -Spawn ", 1, &result, &count), "-Spawn");
    EXPECT_EQ(result, 1);
    Arg("prog -Spawn ", 2, &result, &count);
    EXPECT_EQ(result, 0);
    EXPECT_EQ(count, 2);
    const char* start = nullptr;
    EXPECT_EQ(CmdLineArg("   ", 0, &count, &start, &start), 0);
    EXPECT_EQ(count, 0);
    EXPECT_EQ(CmdLineArgStart("a bc", 1, &start), 1);
    EXPECT_STREQ(start, "bc");
}

// A program's own switches are looked for among its arguments only: its path can hold the
// same letters ("C:\Tools\re-spawn\"), quoted or not, even with blanks in it.
TEST(CommandLine, OptionsAfterTheProgramPath) {
    const char* own = "C:\\Program Files\\re-spawn\\uninstall.exe";
    EXPECT_STREQ(CmdLineArguments("\"C:\\Tools\\re-spawn\\u.exe\"  -debug -Spawn", nullptr),
                 "-debug -Spawn");
    EXPECT_STREQ(CmdLineArguments("C:\\Program Files\\re-spawn\\uninstall.exe -x", own), "-x");
    EXPECT_STREQ(CmdLineArguments("c:\\program files\\RE-SPAWN\\uninstall -x", own), "-x");
    EXPECT_STREQ(CmdLineArguments("\"C:\\Program Files\\re-spawn\\uninstall.exe\"-x", own), "-x");
    // Another spelling of the program is cut where its first argument would end.
    EXPECT_STREQ(CmdLineArguments("C:\\PROGRA~1\\RE-SPA~1\\UNINST~1.EXE -y", own), "-y");
    EXPECT_STREQ(CmdLineArguments("prog", own), "");
    EXPECT_STREQ(CmdLineArguments("  ", own), "");
    EXPECT_STREQ(CmdLineArguments("", nullptr), "");
    const char lone[] = "\xA2\xF1 \"";  // separators and a lone quotation mark
    EXPECT_EQ(CmdLineArguments(lone, nullptr), lone + sizeof lone - 1);

    EXPECT_EQ(CmdLineHasOption("\"C:\\Tools\\re-spawn\\u.exe\"", nullptr, "-Spawn"), 0);
    EXPECT_EQ(CmdLineHasOption("C:\\Program Files\\re-spawn\\uninstall.exe", own, "-Spawn"), 0);
    EXPECT_EQ(CmdLineHasOption("C:\\Program Files\\re-spawn\\uninstall.exe -x", own, "-Spawn"),
              0);
    EXPECT_EQ(CmdLineHasOption("\"D:\\x-update\\u.exe\" -debug", nullptr, "-Update"), 0);
    // Among the arguments anywhere, inside a longer word too, in any letter case.
    EXPECT_EQ(CmdLineHasOption("u.exe -debug -SPAWN", nullptr, "-Spawn"), 1);
    EXPECT_EQ(CmdLineHasOption("u.exe /x-spawnit", nullptr, "-Spawn"), 1);
    EXPECT_EQ(CmdLineHasOption("u.exe -Spawn", nullptr, "-Update"), 0);
}

TEST(LogNames, PerDayAndPerThread) {
    char out[260];
    LogFileName("C:\\debug.log", TSL_LOG_PERDAY, &kDecember7, 1234, 1, out);
    EXPECT_STREQ(out, "C:\\debug-120726.log");
    LogFileName("C:\\debug.log", TSL_LOG_PERTHREAD | TSL_LOG_APPEND, &kDecember7, 1234, 0, out);
    EXPECT_STREQ(out, "C:\\debug-1234.log");
    LogFileName("C:\\debug.log", TSL_LOG_PERTHREAD | TSL_LOG_PERDAY, &kDecember7, 1234, 0, out);
    EXPECT_STREQ(out, "C:\\debug-120726-1234.log");
    LogFileName("C:\\debug.log", TSL_LOG_PERTHREAD | TSL_LOG_PERDAY, &kDecember7, 1234, 1, out);
    EXPECT_STREQ(out, "C:\\debug-120726.log");
    LogFileName("C:\\logs\\trace", TSL_LOG_PERDAY, &kDecember7, 1, 1, out);
    EXPECT_STREQ(out, "C:\\logs\\trace-120726.log");
    // A dot in a folder name is no extension.
    LogFileName("C:\\my.dir\\trace", TSL_LOG_PERDAY, &kDecember7, 1, 1, out);
    EXPECT_STREQ(out, "C:\\my.dir\\trace-120726.log");
    const TslTime y2000{2000, 1, 2, 0, 0, 0};
    LogFileName("/tmp/x.txt", TSL_LOG_PERDAY, &y2000, 1, 1, out);
    EXPECT_STREQ(out, "/tmp/x-010200.txt");
    LogFileName("a.0123456789abcdefghij", TSL_LOG_PERDAY, &kDecember7, 1, 1, out);
    EXPECT_STREQ(out, "a-120726.0123456789abcdefg");
    // A full-length path keeps its suffix and stays within 259 characters.
    std::string longPath = "C:\\" + std::string(252, 'x') + ".log";
    LogFileName(longPath.c_str(), TSL_LOG_PERDAY, &kDecember7, 1, 1, out);
    EXPECT_EQ(strlen(out), 259u);
    EXPECT_STREQ(out + 259 - 11, "-120726.log");

    LogTimestamp(&kDecember7, out);
    EXPECT_STREQ(out, "12/07/2026 09:05:03 ");
}

TEST(LogNames, LongPrefixAndLogPath) {
    char path[260], out[260];
    StrCopy(path, "\\\\?\\UNC\\server\\share\\app\\spd.exe");
    PathStripLongPrefix(path);
    EXPECT_STREQ(path, "\\\\server\\share\\app\\spd.exe");
    LogPathFor(path, "debug.log", out);
    EXPECT_STREQ(out, "\\\\server\\share\\app\\debug.log");
    StrCopy(path, "\\\\?\\c:\\app\\spd.exe");
    PathStripLongPrefix(path);
    EXPECT_STREQ(path, "c:\\app\\spd.exe");
    StrCopy(path, "\\\\?\\unc\\s\\x");
    PathStripLongPrefix(path);
    EXPECT_STREQ(path, "\\\\s\\x");
    StrCopy(path, "D:\\Tools\\spd.exe");
    PathStripLongPrefix(path);
    EXPECT_STREQ(path, "D:\\Tools\\spd.exe");

    LogPathFor("D:\\Tools\\spd.exe", "debug.log", out);
    EXPECT_STREQ(out, "D:\\Tools\\debug.log");
    LogPathFor("D:\\Tools\\vacate.exe", "C:\\debug.log", out);
    EXPECT_STREQ(out, "C:\\debug.log");
    LogPathFor("/opt/app/spd", "/var/log/x.log", out);
    EXPECT_STREQ(out, "/var/log/x.log");
    LogPathFor("/opt/app/spd", "x", out);
    EXPECT_STREQ(out, "/opt/app/debug.log");
    // Only ever beside the executable: a path without a folder (none was known) or with no
    // room for the name after its folder gives no log path, never one in the current
    // folder or a cut one.
    const std::string fits = "C:\\" + std::string(246, 'd') + "\\spd.exe";
    EXPECT_EQ(LogPathFor(fits.c_str(), "debug.log", out), 1);
    EXPECT_EQ(strlen(out), 259u);
    for (const std::string& exe : {std::string("spd.exe"), std::string(),
                                   "C:\\" + std::string(247, 'd') + "\\spd.exe"}) {
        EXPECT_EQ(LogPathFor(exe.c_str(), nullptr, out), 0) << exe;
        EXPECT_STREQ(out, "") << exe;
    }
}

TEST(Log, NothingWithoutKeyword) {
    TempLog log(0);
    LogPrint("invisible\n");
    LogBanner("x");
    EXPECT_FALSE(tsltest::FileExists(log.Path()));
    EXPECT_EQ(LogFlags(), 0u);
}

TEST(Log, DebugFileVersionLineAndShutdown) {
    TempLog log(TSL_LOG_FILE | TSL_LOG_VERBOSE);
    EXPECT_STREQ(LogBasePath(), log.Path().c_str());
    LogPrint("value %d\n", 42);
    LogBanner("Memory Init");
    LogBanner(std::string(100, 't').c_str());
    LogBanner(nullptr);
    log.Stop();
    LogPrint("Successful Exit...\n");  // after shutdown: appended to the same file
    std::string version = TslBuildLabel[0] == '?'
                              ? std::string("Tessel v0.50\n")
                              : "Tessel v0.50 (rev: " + std::string(TslBuildLabel) + ")\n";
    EXPECT_EQ(log.Text(), version + "value 42\n" + "====[Memory Init]" + std::string(62, '=') +
                              "\n" + "====[" + std::string(74, 't') + "\n" + std::string(79, '=') +
                              "\n" + "Successful Exit...\n");
}

TEST(Log, TruncateOrAppend) {
    TempDir dir;
    const std::string path = dir.File("debug.log");
    tsltest::WriteFile(path, "old run\n");
    {
        CoreStartup(path.c_str(), TSL_LOG_FILE);
        LogPrint("one\n");
        LogPrint("two\n");  // the open file keeps growing
        CoreShutdown();
    }
    EXPECT_EQ(tsltest::ReadText(path), "one\ntwo\n");
    {
        CoreStartup(path.c_str(), TSL_LOG_FILE | TSL_LOG_APPEND);
        LogPrint("three\n");
        CoreShutdown();
    }
    LogConfigure(nullptr, 0);
    EXPECT_EQ(tsltest::ReadText(path), "one\ntwo\nthree\n");
}

TEST(Log, TimestampPrefixInFileOnly) {
    TempLog log(TSL_LOG_FILE | TSL_LOG_TIMESTAMP);
    LogPrint("first\n");
    LogPrint("second\n");
    log.Stop();
    std::string text = log.Text();
    ASSERT_EQ(text.size(), 2 * 20 + 13u) << text;
    EXPECT_TRUE(StartsWithStamp(text)) << text;
    EXPECT_EQ(text.substr(20, 6), "first\n");
    EXPECT_TRUE(StartsWithStamp(text.substr(26))) << text;
    EXPECT_EQ(text.substr(46), "second\n");
}

TEST(Log, PerDayFileCarriesTheDate) {
    TempLog log(TSL_LOG_FILE | TSL_LOG_PERDAY | TSL_LOG_APPEND, "trace");
    TslTime now{};
    OsLocalTime(&now);
    LogPrint("dated\n");
    log.Stop();
    char expected[260];
    LogFileName(log.Path().c_str(), TSL_LOG_PERDAY, &now, 0, 1, expected);
    EXPECT_EQ(tsltest::ReadText(expected), "dated\n");
    EXPECT_FALSE(tsltest::FileExists(log.Path()));
}

TEST(Log, PerThreadFiles) {
    TempLog log(TSL_LOG_FILE | TSL_LOG_PERTHREAD | TSL_LOG_APPEND);
    unsigned other = 0;
    LogPrint("main 1\n");
    std::thread([&other] {
        other = OsThreadId();
        LogPrint("other\n");
    }).join();
    LogPrint("main 2\n");
    log.Stop();
    EXPECT_EQ(log.Text(), "main 1\nmain 2\n");
    EXPECT_EQ(tsltest::ReadText(log.Dir().File("debug-" + std::to_string(other) + ".log")),
              "other\n");
}

TEST(Log, OversizedMessage) {
    TempLog log(TSL_LOG_FILE);
    std::string big(5000, 'm');
    LogPrint("%s", big.c_str());
    log.Stop();
    EXPECT_EQ(log.Text(), "\n\nERROR: The next string overran the print buffer!\nLINE: %s" +
                              std::string(4095, 'm') +
                              "\n\n***** Last string too large for debug buffer\n\n");
}

TEST(Log, EntriesOfThreadsNeverInterleave) {
    TempLog log(TSL_LOG_FILE | TSL_LOG_CACHEWRITES);
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([t] {
            for (int i = 0; i < 200; ++i) {
                LogPrint("%c%c%c%c%c%c%c%c\n", 'a' + t, 'a' + t, 'a' + t, 'a' + t, 'a' + t, 'a' + t,
                         'a' + t, 'a' + t);
                MemFree(MemAlloc(16 + i, MEM_DEFAULT, "test", __LINE__), 16 + i, MEM_DEFAULT,
                        "test", __LINE__);
            }
        });
    for (std::thread& t : threads) t.join();
    log.Stop();
    std::string text = log.Text();
    ASSERT_EQ(text.size(), 4 * 200 * 9u);
    for (size_t at = 0; at < text.size(); at += 9)
        EXPECT_EQ(text.substr(at, 9), std::string(8, text[at]) + "\n") << at;
    MemStats stats{};
    MemGetStats(&stats);
    EXPECT_EQ(stats.blocks, 0);
    EXPECT_EQ(stats.bytes, 0);
}

TEST(Memory, GrossSizesZeroingAndPeaks) {
    MemInit(0x7FFFFFFF);
    MemStats stats{};
    struct Case {
        int32_t size, gross;
    };
    for (Case c : {Case{1, 12}, Case{4, 12}, Case{5, 16}, Case{8, 16}, Case{100, 108}}) {
        for (uint32_t flags : {MEM_DEFAULT, MEM_LOCAL}) {
            auto* p = static_cast<unsigned char*>(MemAlloc(c.size, flags, "test", __LINE__));
            // Blocks hold records with pointers: aligned for them on every target.
            EXPECT_EQ(reinterpret_cast<uintptr_t>(p) % alignof(void*), 0u);
            MemGetStats(&stats);
            EXPECT_EQ(stats.bytes, c.gross) << c.size;
            EXPECT_EQ(stats.blocks, 1);
            for (int i = 0; i < c.gross - 8; ++i) EXPECT_EQ(p[i], 0);
            memset(p, 0xAB, static_cast<size_t>(c.gross - 8));  // rounding bytes: no guard
            EXPECT_EQ(MemFree(p, c.size, flags, "test", __LINE__), nullptr);
        }
    }
    // Another size with the same gross size passes unnoticed.
    void* five = MemAlloc(5, MEM_DEFAULT, "test", __LINE__);
    void* more = MemAlloc(600, MEM_DEFAULT, "test", __LINE__);
    MemFree(five, 8, MEM_DEFAULT, "test", __LINE__);
    MemGetStats(&stats);
    EXPECT_EQ(stats.bytes, 608);
    MemFree(more, 600, MEM_DEFAULT, "test", __LINE__);
    MemGetStats(&stats);
    EXPECT_EQ(stats.blocks, 0);
    EXPECT_EQ(stats.bytes, 0);
    EXPECT_EQ(stats.peakBlocks, 2);
    EXPECT_EQ(stats.peakBytes, 624);
    MemInit(0x7FFFFFFF);
    MemGetStats(&stats);
    EXPECT_EQ(stats.peakBytes, 0);
}

TEST(Memory, ReportsAndLeaks) {
    TempLog log(TSL_LOG_FILE | TSL_LOG_VERBOSE);
    MemInit(0x7FFFFFFF);
    void* small = MemAlloc(100, MEM_DEFAULT, "test", __LINE__);
    MemShutdown();
    void* large = MemAlloc(3000, MEM_DEFAULT, "test", __LINE__);
    MemShutdown();
    MemFree(small, 100, MEM_DEFAULT, "test", __LINE__);
    MemFree(large, 3000, MEM_DEFAULT, "test", __LINE__);
    MemInit(4096);
    log.Stop();
    std::string text = log.Text();
    const std::string rule(79, '=');
    EXPECT_NE(text.find("====[Memory Init]" + std::string(62, '=') +
                        "\nMemory Initialized (Maximum)\n" + rule + "\n"),
              std::string::npos)
        << text;
    EXPECT_NE(
        text.find("Maximum Memory in use (1 / 0k)\nNot all memory was free'd (1 / 108b)\n" + rule),
        std::string::npos)
        << text;
    EXPECT_NE(text.find("Maximum Memory in use (2 / 3k)\nNot all memory was free'd (2 / 3k)\n"),
              std::string::npos)
        << text;
    EXPECT_NE(text.find("Memory Initialized (limit 4k)\n"), std::string::npos) << text;
    MemInit(0x7FFFFFFF);
}

#ifndef _WIN32
// The fatal paths. Each runs in a child process; where the child had a log file, the
// parent reads what it wrote.
class CoreDeathTest : public testing::Test {
protected:
    TempDir dir_;
    std::string log_ = dir_.File("debug.log");
    void Start(uint32_t flags) { CoreStartup(log_.c_str(), flags); }
    std::string Text() const { return tsltest::ReadText(log_); }
};

TEST_F(CoreDeathTest, AbortBeforeStartupStillShowsTheBox) {
    EXPECT_EXIT((LogWhere("where", 5), LogAbort("boom %d\n", 7)), testing::ExitedWithCode(1),
                "Internal error...\nABORT: boom 7\n       \\(where/5\\)");
}

TEST_F(CoreDeathTest, AbortEntryInTheLog) {
    EXPECT_EXIT(
        {
            Start(TSL_LOG_FILE);
            TSL_NOT_NULL("winmain", static_cast<char*>(nullptr));
        },
        testing::ExitedWithCode(1), "ABORT: Pointer is NULL");
    EXPECT_NE(Text().find("\n\nABORT: Pointer is NULL\n       (winmain/"), std::string::npos)
        << Text();
}

// Unattended: the abort is still logged, shows no box (on the host the box is the text on
// standard error) and ends with the exit code asked for (one that fits a POSIX exit status).
TEST_F(CoreDeathTest, QuietAbortIsLoggedWithoutTheBoxAndEndsWithItsCode) {
    EXPECT_EXIT(
        {
            Start(TSL_LOG_FILE);
            CoreSetQuiet(1, 99);
            fprintf(stderr, "before\n");
            TSL_NOT_NULL("winmain", static_cast<char*>(nullptr));
        },
        testing::ExitedWithCode(99), "^before\n$");
    EXPECT_NE(Text().find("\n\nABORT: Pointer is NULL\n       (winmain/"), std::string::npos)
        << Text();
}

TEST_F(CoreDeathTest, StartupMisuse) {
    EXPECT_EXIT((Start(0), Start(0)), testing::ExitedWithCode(1), "Tessel already initialized");
    EXPECT_EXIT(Start(TSL_LOG_FILE | TSL_LOG_PERTHREAD), testing::ExitedWithCode(1),
                "Threaded logging requires append to be on\n       \\(tsl-core/");
    const char* start;
    EXPECT_EXIT(CmdLineArg(nullptr, 0, nullptr, &start, &start), testing::ExitedWithCode(1),
                "Pointer is NULL");
    EXPECT_EXIT(CmdLineHasSwitch(nullptr, "x"), testing::ExitedWithCode(1), "Pointer is NULL");
}

TEST_F(CoreDeathTest, UnwritableLogFileIsReported) {
    testing::internal::CaptureStderr();
    CoreStartup(dir_.File("missing/debug.log").c_str(), TSL_LOG_FILE);
    LogPrint("lost %d\n", 1);
    CoreShutdown();
    LogConfigure(nullptr, 0);
    std::string box = testing::internal::GetCapturedStderr();
    EXPECT_NE(
        box.find("Internal error...\nUnable to create log file [" + dir_.File("missing/debug.log") +
                 "] due to error [2]\n -- String [lost 1\n]"),
        std::string::npos)
        << box;
}

TEST_F(CoreDeathTest, GuardDamageBeforeTheBlock) {
    EXPECT_EXIT(
        {
            Start(TSL_LOG_FILE);
            auto* p = static_cast<unsigned char*>(MemAlloc(8, MEM_DEFAULT, "registry", 77));
            p[-1] ^= 0xFF;
            MemFree(p, 8, MEM_DEFAULT, "registry", 88);
        },
        testing::ExitedWithCode(1),
        "Memory corrupt \\(8\\) <Addr:0x[0-9A-F]+ Before:1 After:0 Max:4>");
    std::string text = Text();
    EXPECT_NE(text.find("Before:1 After:0 Max:4>\nExpected: "), std::string::npos) << text;
    EXPECT_NE(text.find("\nPrior corruption: "), std::string::npos) << text;
    EXPECT_EQ(text.find("After corruption:"), std::string::npos) << text;
    EXPECT_NE(text.find("       (registry/88)\n"), std::string::npos) << text;
}

TEST_F(CoreDeathTest, GuardDamageAfterTheBlock) {
    EXPECT_EXIT(
        {
            Start(TSL_LOG_FILE);
            auto* p = static_cast<unsigned char*>(MemAlloc(5, MEM_LOCAL, "socket", 1));
            p[8] = 0;
            p[9] ^= 0xFF;
            MemFree(p, 5, MEM_LOCAL, "socket", 2);
        },
        testing::ExitedWithCode(1), "Before:0 After:[12] Max:4");
    std::string text = Text();
    EXPECT_NE(text.find("\nAfter corruption: "), std::string::npos) << text;
    EXPECT_EQ(text.find("Prior corruption:"), std::string::npos) << text;
}

TEST_F(CoreDeathTest, BadRequests) {
    auto exited = testing::ExitedWithCode(1);
    EXPECT_EXIT(
        {
            MemInit(1000);
            MemAlloc(600, MEM_DEFAULT, "cache", 1);
            MemAlloc(600, MEM_DEFAULT, "cache", 2);
        },
        exited, "Memory exceeds limit \\(\\(608 \\+ 608\\) / 1000\\)\n       \\(cache/2\\)");
    EXPECT_EXIT(MemAlloc(0, MEM_DEFAULT, "ffs", 3), exited, "Invalid Memory Size \\(0\\)");
    EXPECT_EXIT(MemAlloc(-5, MEM_DEFAULT, "ffs", 3), exited, "Invalid Memory Size \\(-5\\)");
    EXPECT_EXIT(MemFree(nullptr, 8, MEM_DEFAULT, "ffs", 4), exited,
                "No Memory address to free \\(8 / 16\\)\n       \\(ffs/4\\)");
    int local = 0;
    EXPECT_EXIT(
        {
            MemFree(MemAlloc(8, MEM_DEFAULT, "ffs", 5), 8, MEM_DEFAULT, "ffs", 5);
            MemFree(&local, 4, MEM_DEFAULT, "ffs", 6);
        },
        exited, "Invalid memory address \\(4\\) <From:0x[0-9A-F]+ To:0x[0-9A-F]+>");
}
#endif

}  // namespace
