// Entry of the Win32 window-helper and about-box tests: the library runs with its log in a
// file of this run (tests read it), the allocator without limit.

#include <gtest/gtest.h>
#include <windows.h>

#include <string.h>

#include "tessel/tsl-core.h"
#include "tessel/tsl-str.h"

int main(int argc, char** argv) {
    // A death-test child ends through the abort path and could not remove its log: it
    // logs nothing.
    bool deathTestChild = false;
    for (int i = 1; i < argc; i++)
        if (strncmp(argv[i], "--gtest_internal_run_death_test", 31) == 0) deathTestChild = true;
    testing::InitGoogleTest(&argc, argv);
    char temp[MAX_PATH] = {};
    GetTempPathA(MAX_PATH, temp);
    char logPath[MAX_PATH] = {};
    StrPrintf(logPath, sizeof logPath, "%stsl-gui-test-%u.log", temp,
              static_cast<unsigned>(GetCurrentProcessId()));
    CoreStartup(logPath, deathTestChild ? 0 : TSL_LOG_FILE);
    MemInit(0x7FFFFFFF);
    int result = RUN_ALL_TESTS();
    MemShutdown();
    CoreShutdown();
    DeleteFileA(logPath);
    return result;
}
