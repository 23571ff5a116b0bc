// The uninstaller's entry. Started as installed (without "-Spawn") it copies itself into
// the temporary folder, starts the copy with "-Spawn" and the arguments it was given, queues
// the copy for deletion at the next reboot and exits. The copy opens the install archive
// appended to its own executable and runs the script "install.dat" in uninstall mode, or in
// update mode with "-Update". So the installed uninstaller is not running while the script
// deletes it with the rest of the product. With "-Quiet" (uninstall mode) neither shows a
// box or window: the installed one waits for the copy and ends with the copy's exit code.
#include <windows.h>

#include "tessel/socket.h"
#include "tessel/tsl-core.h"
#include "tessel/tsl-str.h"
#include "tessel/winhelpr.h"
#include "vacate/command.h"
#include "vacate/ffs.h"
#include "vacate/program.h"
#include "vacate/prompt.h"
#include "vacate/remove.h"
#include "vacate/script.h"
#include "vacate/shell.h"

static const char kSrc[] = "winmain";

static const char kLogPath[] = "C:\\debug.log";
static const int32_t kMemoryLimit = 0x7FFFFFFF;

namespace {

// The running executable's own path, which the command line starts with.
const char* OwnPath() {
    static char path[MAX_PATH];
    if (path[0] == '\0') GetModuleFileNameA(nullptr, path, sizeof path);
    return path;
}

// The program's switches count among its arguments only: an install folder such as
// "C:\Tools\re-spawn\" must not read as "-Spawn".
int HasOption(const char* commandLine, const char* option) {
    return CmdLineHasOption(commandLine, OwnPath(), option);
}

// The pass-on text: the command line from argument 1 on (a leading quote skipped), or
// none when there is no argument 1.
const char* PassOnText(const char* commandLine) {
    const char* start = CmdLineArguments(commandLine, OwnPath());
    if (*start == '"') ++start;
    return *start != '\0' ? start : nullptr;
}

// Starts the copy; in a quiet run waits for it and gives its exit code, else 0 at once.
int SpawnCopy(const char* passOn, int quiet) {
    char ownPath[MAX_PATH] = {};
    char tempDir[MAX_PATH] = {};
    char copyPath[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, ownPath, sizeof ownPath);
    WinTempDir(tempDir, sizeof tempDir);

    // A unique name in the temporary folder; the empty file made for it is removed and
    // the name's extension becomes ".exe".
    if (GetTempFileNameA(tempDir, "Del", 0, copyPath) == 0) {
        LogPrint("Failed to get a temporary name (%d) (0x%.8X)\n",
                 static_cast<int>(GetLastError()), static_cast<unsigned>(GetLastError()));
        return quiet ? EXIT_FAILED : 0;
    }
    DeleteFileA(copyPath);
    int length = StrLen(copyPath);
    if (length >= 4) StrCopy(copyPath + length - 4, ".exe");

    LogPrint("Copy: %s -> %s\n", ownPath, copyPath);
    if (!CopyFileA(ownPath, copyPath, FALSE))
        LogPrint("Failed to copy file (%d) (0x%.8X)\n", static_cast<int>(GetLastError()),
                 static_cast<unsigned>(GetLastError()));

    HANDLE self = OpenProcess(SYNCHRONIZE, TRUE, GetCurrentProcessId());

    char commandLine[512];
    if (passOn != nullptr && passOn[0] != '\0')
        StrPrintf(commandLine, sizeof commandLine, "\"%s\" -Spawn %s", copyPath, passOn);
    else
        StrPrintf(commandLine, sizeof commandLine, "\"%s\" -Spawn", copyPath);

    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    int exitCode = quiet ? EXIT_FAILED : 0;
    if (CreateProcessA(nullptr, commandLine, nullptr, nullptr, TRUE, 0, nullptr, nullptr,
                       &startup, &process)) {
        CloseHandle(process.hThread);
    } else {
        LogPrint("Failed to create process (%d) (0x%.8X)\n", static_cast<int>(GetLastError()),
                 static_cast<unsigned>(GetLastError()));
        process.hProcess = nullptr;
    }
    LogPrint("Exec: %s (0x%.8X)\n", commandLine,
             static_cast<unsigned>(reinterpret_cast<uintptr_t>(self)));
    if (self != nullptr) CloseHandle(self);

    if (!QueueDeleteOnReboot(copyPath)) LogPrint("Unable to queue '%s' for deletion\n", copyPath);

    if (process.hProcess != nullptr) {
        // The administrator's tool reads the outcome from this process: it ends with the
        // copy's exit code.
        DWORD code = 0;
        if (quiet && WaitForSingleObject(process.hProcess, INFINITE) == WAIT_OBJECT_0 &&
            GetExitCodeProcess(process.hProcess, &code)) {
            exitCode = static_cast<int>(code);
            LogPrint("Copy ended with %d\n", exitCode);
        } else if (quiet) {
            LogPrint("Failed to wait for the copy (0x%.8X)\n", static_cast<unsigned>(GetLastError()));
        }
        CloseHandle(process.hProcess);
    }
    return exitCode;
}

// Runs the script; gives the outcome a quiet run reports.
int RunScript(int32_t runMode) {
    WinInitCommonControls();
    WinInitCom();
    SocketStartup();
    KeywordsRegister();

    char ownPath[SCRIPT_PATH_SIZE] = {};
    GetModuleFileNameA(nullptr, ownPath, sizeof ownPath - 4);
    const char* found = nullptr;
    if (!StrFindNoCase(ownPath, ".exe", &found)) StrCat(ownPath, ".exe");

    GroupReset();
    if (!FfsOpen(ownPath)) {
        ShowProblem("The installation file has been damaged, please download a new copy.",
                    nullptr);
    } else {
        ProgressWindowCreate();
        ScriptContext* context = nullptr;
        if (!ScriptLoad(&context, "install.dat", runMode))
            TSL_FAIL(kSrc, "Couldn't load installation script.\n");
        if (!ScriptRun(context, nullptr)) {
            LogPrint("Script failed somewhere\n");
            OutcomeSet(EXIT_FAILED);
        }
        ScriptFree(&context);
        ProgressWindowDestroy();
    }

    FfsClose();
    KeywordsRelease();
    SocketCleanup();
    WinUninitCom();
    return OutcomeExitCode();
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR arguments, int) {
    // Before anything else: the copy runs elevated from the temporary folder, where a
    // library planted beside it must never be loaded.
    int restricted = WinRestrictLibrarySearch();
    uint32_t flags = 0;
    CoreParseOptions(&flags, arguments);
    CoreStartup(kLogPath, flags);
    MemInit(kMemoryLimit);
    if (restricted)
        LogPrint("Libraries are loaded from the system folder only\n");
    else
        LogPrint("Unable to keep libraries to the system folder\n");

    const char* commandLine = GetCommandLineA();
    LogPrint("%s Version %s (%s)\n", ProgramName, ProgramVersion, ProgramBuild);
    LogPrint("Cmdline '%s' '%s'\n", commandLine, arguments);

    int32_t runMode = HasOption(commandLine, "-Update") ? RUN_MODE_UPDATE : RUN_MODE_UNINSTALL;
    // "-Quiet" is for administrators' unattended uninstalls; an update check stays as it is.
    const int quiet = runMode == RUN_MODE_UNINSTALL && HasOption(commandLine, "-Quiet");
    if (quiet) {
        CoreSetQuiet(1, EXIT_FAILED);
        PromptSetQuiet(1);
        LogPrint("Quiet run: no boxes, the outcome is the exit code\n");
    }
    int exitCode = 0;
    if (HasOption(commandLine, "-Spawn")) {
        int outcome = RunScript(runMode);
        if (quiet) exitCode = outcome;
    } else {
        exitCode = SpawnCopy(PassOnText(commandLine), quiet);
    }

    MemShutdown();
    CoreShutdown();
    if (quiet) LogPrint("Exit code %d\n", exitCode);
    LogPrint("Successful Exit...\n");
    return exitCode;
}
