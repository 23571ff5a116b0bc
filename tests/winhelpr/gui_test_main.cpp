// Entry of the Win32 window-helper and about-box tests: the library runs with its log in a
// file of this run (tests read it), the allocator without limit.

#include <gtest/gtest.h>
#include <windows.h>

#include "tessel/tsl-core.h"
#include "tessel/tsl-str.h"

int main(int argc, char** argv) {
    testing::InitGoogleTest(&argc, argv);
    char temp[MAX_PATH] = {};
    GetTempPathA(MAX_PATH, temp);
    char logPath[MAX_PATH] = {};
    StrPrintf(logPath, sizeof logPath, "%stsl-gui-test-%u.log", temp,
              static_cast<unsigned>(GetCurrentProcessId()));
    CoreStartup(logPath, TSL_LOG_FILE);
    MemInit(0x7FFFFFFF);
    int result = RUN_ALL_TESTS();
    MemShutdown();
    CoreShutdown();
    DeleteFileA(logPath);
    return result;
}
