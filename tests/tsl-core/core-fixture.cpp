// A small GUI program for the core's Win32 tests. Its arguments carry the diagnostic
// options and one of:
//   -abort  start the core and hand a null pointer to a library routine (abort box)
//   -quiet  with -abort: an unattended run, which aborts without the box with code 1603
//   -log    start the core, log a few entries, shut down as the programs do, exit 0
#include <windows.h>

#include "tessel/tsl-core.h"
#include "tessel/tsl-str.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    const char* arguments = "";
    CmdLineArgStart(GetCommandLineA(), 1, &arguments);
    uint32_t flags = 0;
    CoreParseOptions(&flags, arguments);
    CoreStartup("debug.log", flags);
    MemInit(0x7FFFFFFF);
    if (CmdLineHasSwitch(arguments, "quiet")) CoreSetQuiet(1, 1603);
    if (CmdLineHasSwitch(arguments, "abort")) {
        const char* none = nullptr;
        StrLen(none);
    }
    void* block = MemAlloc(100, MEM_DEFAULT, "fixture", __LINE__);
    LogPrint("first line\nsecond line %d\n", 2);
    MemFree(block, 100, MEM_DEFAULT, "fixture", __LINE__);
    MemShutdown();
    CoreShutdown();
    LogPrint("Successful Exit...\n");
    return 0;
}
