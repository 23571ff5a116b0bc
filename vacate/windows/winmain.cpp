// The uninstaller's entry. Started as installed (without "-Spawn") it copies itself into
// the temporary folder, starts the copy with "-Spawn" and the arguments it was given, queues
// the copy for deletion at the next reboot and exits. The copy opens the install archive
// appended to its own executable and runs the script "install.dat" in uninstall mode, or in
// update mode with "-Update". So the installed uninstaller is not running while the script
// deletes it with the rest of the product. With "-Quiet" (uninstall mode) neither shows a
// box or window: the installed one waits for the copy and ends with the copy's exit code.
// A relocation that fails is told (a notice, or the log in a quiet run) and ends with
// EXIT_FAILED, never as a success.
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

// The running executable's own path, which the command line starts with (empty when it has
// no 8-bit form).
const char* OwnPath() {
    static char path[MAX_PATH];
    if (path[0] == '\0') WinModulePath(nullptr, path, sizeof path);
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

// Tells the user why the uninstall could not start (`why` completes the sentence) and gives
// the exit code of such a run.
int RelocationFailed(const char* why) {
    char text[2 * MAX_PATH + 200];
    StrPrintf(text, sizeof text, "The uninstall could not be started: %s.", why);
    ShowProblem(text, nullptr);
    return EXIT_FAILED;
}

int FolderFailed(const char* folder) {
    char why[MAX_PATH];
    StrPrintf(why, sizeof why, FOLDER_UNUSABLE, folder);
    return RelocationFailed(why);
}

int SystemFailed(const char* what, const char* path) {
    const DWORD error = GetLastError();
    LogPrint("Failed to %s '%s' (%d) (0x%.8X)\n", what, path, static_cast<int>(error),
             static_cast<unsigned>(error));
    char why[2 * MAX_PATH];
    StrPrintf(why, sizeof why, "unable to %s '%s' (error %d)", what, path,
              static_cast<int>(error));
    return RelocationFailed(why);
}

// Starts the copy; in a quiet run waits for it and gives its exit code, else 0 at once. A
// relocation that fails is told and ends with EXIT_FAILED: nothing has been removed.
int SpawnCopy(const char* passOn, int quiet) {
    char ownPath[MAX_PATH] = {};
    char tempDir[MAX_PATH] = {};
    char copyPath[MAX_PATH] = {};
    if (!WinModulePath(nullptr, ownPath, sizeof ownPath))
        return FolderFailed("uninstaller's own path");
    if (!WinTempDir(tempDir, sizeof tempDir)) return FolderFailed("temporary folder");

    // The folder this process was started in may be the product's, which cannot be removed
    // while a process has it as its current folder: the waiting uninstaller, and the copy
    // that inherits it, keep to the temporary folder instead.
    if (!SetCurrentDirectoryA(tempDir))
        LogPrint("Unable to make '%s' the current folder (%d)\n", tempDir,
                 static_cast<int>(GetLastError()));

    // A unique name in the temporary folder; the empty file made for it is removed and
    // the name's extension becomes ".exe".
    if (GetTempFileNameA(tempDir, "Del", 0, copyPath) == 0)
        return SystemFailed("make a temporary file in", tempDir);
    DeleteFileA(copyPath);
    int length = StrLen(copyPath);
    if (length >= 4) StrCopy(copyPath + length - 4, ".exe");

    // The copy's command line is never cut: a cut one could lose "-Quiet" or name another
    // file.
    char commandLine[512];
    const int hasPassOn = passOn != nullptr && passOn[0] != '\0';
    const int passOnLength = hasPassOn ? StrLen(passOn) : 0;
    const int room = static_cast<int>(sizeof commandLine) - 1 - StrLen(copyPath) -
                     StrLen("\"\" -Spawn ");
    if (passOnLength > room) {
        LogPrint("Arguments too long for the copy's command line (%d > %d)\n", passOnLength, room);
        char why[100];
        StrPrintf(why, sizeof why, "its arguments are too long (%d characters, at most %d fit)",
                  passOnLength, room);
        return RelocationFailed(why);
    }
    if (hasPassOn)
        StrPrintf(commandLine, sizeof commandLine, "\"%s\" -Spawn %s", copyPath, passOn);
    else
        StrPrintf(commandLine, sizeof commandLine, "\"%s\" -Spawn", copyPath);

    LogPrint("Copy: %s -> %s\n", ownPath, copyPath);
    if (!CopyFileA(ownPath, copyPath, FALSE)) {
        int code = SystemFailed("copy the uninstaller to", copyPath);
        DeleteFileA(copyPath);
        return code;
    }

    HANDLE self = OpenProcess(SYNCHRONIZE, TRUE, GetCurrentProcessId());
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    const int started = CreateProcessA(nullptr, commandLine, nullptr, nullptr, TRUE, 0, nullptr,
                                       nullptr, &startup, &process);
    int exitCode = 0;
    if (started) {
        CloseHandle(process.hThread);
        LogPrint("Exec: %s (0x%.8X)\n", commandLine,
                 static_cast<unsigned>(reinterpret_cast<uintptr_t>(self)));
    } else {
        exitCode = SystemFailed("start", copyPath);
    }
    if (self != nullptr) CloseHandle(self);

    if (!started) {
        DeleteFileA(copyPath);
    } else if (!QueueDeleteOnReboot(copyPath)) {
        LogPrint("Unable to queue '%s' for deletion\n", copyPath);
    }

    if (started) {
        // The administrator's tool reads the outcome from this process: it ends with the
        // copy's exit code.
        DWORD code = 0;
        if (quiet && WaitForSingleObject(process.hProcess, INFINITE) == WAIT_OBJECT_0 &&
            GetExitCodeProcess(process.hProcess, &code)) {
            exitCode = static_cast<int>(code);
            LogPrint("Copy ended with %d\n", exitCode);
        } else if (quiet) {
            exitCode = EXIT_FAILED;
            LogPrint("Failed to wait for the copy (0x%.8X)\n", static_cast<unsigned>(GetLastError()));
        }
        CloseHandle(process.hProcess);
    }
    return exitCode;
}

// Runs the script; gives the outcome a quiet run reports. Only what the run needs is
// started: the common controls for a window (none in a quiet run), COM and OLE for the
// first program or component (ComStart), the sockets for an update check.
int RunScript(int32_t runMode, int quiet) {
    if (!quiet) WinInitCommonControls();
    if (runMode == RUN_MODE_UPDATE) SocketStartup();
    KeywordsRegister();

    char ownPath[SCRIPT_PATH_SIZE] = {};
    const int ownPathRead = WinModulePath(nullptr, ownPath, sizeof ownPath - 4);
    const char* found = nullptr;
    if (!StrFindNoCase(ownPath, ".exe", &found)) StrCat(ownPath, ".exe");

    GroupReset();
    if (!ownPathRead) {
        FolderFailed("uninstaller's own path");
    } else if (!FfsOpen(ownPath)) {
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
    if (runMode == RUN_MODE_UPDATE) SocketCleanup();
    ComStop();
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
        int outcome = RunScript(runMode, quiet);
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
