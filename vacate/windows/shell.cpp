// Start-menu items, the product's windows, programs, component registration and the
// "Please wait..." progress window: the operations behind "CREATE GROUP", "ADD ITEM",
// "WINDOW", "EXECUTE" and "OLE".
#include <windows.h>

#include <commctrl.h>
#include <shellapi.h>
#include <shlobj.h>

#include "tessel/tsl-core.h"
#include "tessel/tsl-str.h"
#include "tessel/winhelpr.h"
#include "vacate/paths.h"
#include "vacate/prompt.h"
#include "vacate/remove.h"
#include "vacate/resource.h"
#include "vacate/script.h"
#include "vacate/shell.h"

namespace {

constexpr char SOURCE[] = "winhelpr";

constexpr int GROUP_NAME_SIZE = 260;
constexpr int SHELL_PATH_SIZE = 320;
constexpr int SEARCH_TEXT_SIZE = 120;
constexpr int WINDOW_TEXT_READ = 115;  // characters of a window's class or title compared
constexpr int CLOSE_ATTEMPTS = 10;
constexpr int CLOSE_MIN_TIMEOUT = 1000;
constexpr int CLOSE_MAX_TIMEOUT = 60000;  // ten waits of at most 6 s
constexpr DWORD PROGRAM_WAIT_SLICE = 500;

// The current Start-menu group; `groupRefused` is set when the last "CREATE GROUP" named
// a group that could not be kept, so that no item is looked for in another group.
char groupName[GROUP_NAME_SIZE];
int groupRefused;

// Whether ComStart has started COM and OLE for this run.
int comStarted;

HWND progressWindow;
int progressPosition;  // the bar's position as last set
DWORD progressTick;    // when it was set (0: not since the window was shown)
constexpr int kProgressEnd = 2000;
constexpr DWORD kProgressInterval = 100;  // milliseconds
// The Cancel button, shown (with a row of the window for it) only while a download offers it.
int cancelOffered;
int cancelPressed;
DWORD pollTick;                 // when ProgressWindowPoll last passed messages on
constexpr int kCancelRow = 16;  // dialog units the button's row adds to the window

// What one pass over the top-level windows looks for, and what it found.
struct WindowSearch {
    int32_t closeMode;  // 0 close, 1 notify, 2 ask
    int32_t attempt;    // from 0
    int32_t cancelled;
    int32_t matches;
    char message[SEARCH_TEXT_SIZE];
    char className[SEARCH_TEXT_SIZE];
    char title[SEARCH_TEXT_SIZE];
};

// Appends "\" (unless the folder already ends in one) and `part`; 0 when it does not fit.
int AppendToFolder(char* out, const char* part) {
    int length = StrLen(out);
    if (length > 0 && out[length - 1] != '\\' && !StrAppend(out, SHELL_PATH_SIZE, "\\"))
        return 0;
    return StrAppend(out, SHELL_PATH_SIZE, part);
}

BOOL CALLBACK MatchWindow(HWND window, LPARAM parameter) {
    WindowSearch* search = reinterpret_cast<WindowSearch*>(parameter);
    if (!IsWindow(window)) return TRUE;

    int tested = 0;
    if (search->className[0] != '\0') {
        char className[WINDOW_TEXT_READ + 1] = {};
        if (GetClassNameA(window, className, sizeof className) > 0) {
            LogPrint("Window CmpClass %d: [%s / %s]\n", search->closeMode, className,
                     search->className);
            if (!StrEqualNoCase(className, search->className)) return TRUE;
            tested = 1;
        }
    }
    if (search->title[0] != '\0') {
        char title[WINDOW_TEXT_READ + 1] = {};
        if (GetWindowTextA(window, title, sizeof title) > 0) {
            LogPrint("Window CmpName %d: [%s / %s]\n", search->closeMode, title, search->title);
            if (!StrEqualNoCase(title, search->title)) return TRUE;
            tested = 1;
        }
    }
    if (!tested) return TRUE;

    LogPrint("Window Match %d: [%s / %s]\n", search->closeMode, search->title,
             search->className);
    search->matches++;

    // Nobody is there to close the product in a quiet run: the window stays, and the run
    // does not go on as if it had closed.
    if (search->closeMode != 0 && PromptIsQuiet()) {
        LogPrint("Quiet: window left open [%s]\n", search->message);
        search->cancelled = 1;
        return FALSE;
    }
    if (search->closeMode == 1) {
        ShowProblem(search->message, nullptr);
        return FALSE;
    }
    if (search->closeMode == 2) {
        char caption[32];
        StrPrintf(caption, sizeof caption, "Attempt #%d", search->attempt + 1);
        LogPrint("Prompt [%s] [%s]\n", search->message, caption);
        if (!AskYesNo(search->message, caption)) {
            search->cancelled = 1;
            return FALSE;
        }
        LogPrint("Prompt True\n");
    }
    // Posted, not sent: a product that hangs must not hang the uninstaller with it.
    PostMessageA(window, WM_CLOSE, 0, 0);
    return TRUE;
}

INT_PTR CALLBACK ProgressProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
    switch (message) {
    case WM_INITDIALOG:
        ProgressReset(dialog, IDC_PROGRESS_BAR);
        progressPosition = 0;
        SetForegroundWindow(dialog);
        return TRUE;
    case WM_COMMAND:
        // Cancel (or Escape) does something only while a download offers it.
        if (LOWORD(wParam) != IDC_PROGRESS_CANCEL) return FALSE;
        if (cancelOffered) cancelPressed = 1;
        return TRUE;
    case WM_CLOSE:
        DestroyWindow(dialog);
        return TRUE;
    case WM_DESTROY:
        if (progressWindow == dialog) {
            progressWindow = nullptr;
            cancelOffered = 0;
            cancelPressed = 0;
        }
        return TRUE;
    default:
        return FALSE;
    }
}

// Processes this thread's messages until the process ends, then stores its exit code.
void WaitForProgram(HANDLE process, const char* program, uint32_t* exitCode) {
    for (;;) {
        PumpMessages();
        DWORD waited = WaitForSingleObject(process, PROGRAM_WAIT_SLICE);
        if (waited == WAIT_OBJECT_0) break;
        if (waited != WAIT_TIMEOUT) {
            LogPrint("Failed to wait for '%s' (0x%.8X)\n", program, GetLastError());
            break;
        }
    }
    DWORD code = 0;
    if (GetExitCodeProcess(process, &code)) {
        if (exitCode != nullptr) *exitCode = code;
    } else {
        DWORD error = GetLastError();
        LogPrint("Failed to get exit code (%d) (0x%.8X)\n", error, error);
    }
}

}  // namespace

// ---------------------------------------------------------------------------
// Start-menu group and items
// ---------------------------------------------------------------------------

int GroupReset() {
    groupName[0] = '\0';
    groupRefused = 0;
    return 1;
}

const char* GroupCurrent() { return groupName; }

int GroupPath(const char* name, char* out) {
    TSL_NOT_NULL(SOURCE, name);
    TSL_NOT_NULL(SOURCE, out);
    out[0] = '\0';
    if (!WinShellFolder(CSIDL_PROGRAMS, out, SHELL_PATH_SIZE)) {
        LogPrint("Unable to find the Start-menu programs folder\n");
        return 0;
    }
    out[StrLen(out) - 1] = '\0';  // the folder as the system names it, without its backslash
    if (name[0] == '\0') return 1;
    if (!AppendToFolder(out, name)) {
        LogPrint("Path too long for group '%s'\n", name);
        out[0] = '\0';
        return 0;
    }
    return 1;
}

int ItemPath(char* out, const char* itemName) {
    TSL_NOT_NULL(SOURCE, out);
    TSL_NOT_NULL(SOURCE, itemName);
    out[0] = '\0';
    if (groupRefused) {
        LogPrint("No usable group for item '%s'\n", itemName);
        return 0;
    }
    if (!GroupPath(groupName, out)) return 0;
    if (!AppendToFolder(out, itemName) || !StrAppend(out, SHELL_PATH_SIZE, ".lnk")) {
        LogPrint("Path too long for item '%s'\n", itemName);
        out[0] = '\0';
        return 0;
    }
    return 1;
}

int GroupSelect(const char* name) {
    TSL_NOT_NULL(SOURCE, name);
    char path[SHELL_PATH_SIZE];
    GroupPath(name, path);
    LogPrint("Delete Group = '%s'\n", path);
    if (StrLen(name) >= GROUP_NAME_SIZE) LogPrint("Group name too long '%s'\n", name);
    if (StrLen(name) >= GROUP_NAME_SIZE || !PathStaysInside(name)) {
        groupName[0] = '\0';
        groupRefused = 1;
        return 1;
    }
    StrCopy(groupName, name);
    groupRefused = 0;
    return 1;
}

int ItemRemove(const char* itemName, const char* target, const char* arguments) {
    TSL_NOT_NULL(SOURCE, itemName);
    TSL_NOT_NULL(SOURCE, target);
    TSL_NOT_NULL(SOURCE, arguments);
    LogPrint("Delete Item = '%s' : '%s' ('%s' / '%s')\n", groupName, itemName, target,
             arguments);
    char path[SHELL_PATH_SIZE];
    if (!PathStaysInside(itemName) || !ItemPath(path, itemName)) return 1;
    // A path that is not a full one would be taken from the current folder, which could
    // be anywhere: such a shortcut is left alone.
    if (!PathIsAbsolute(path)) {
        LogPrint("Not a full path, item kept '%s'\n", path);
        return 1;
    }
    RemoveFile(path);
    return 1;
}

// ---------------------------------------------------------------------------
// The product's windows
// ---------------------------------------------------------------------------

int CloseWindows(ScriptContext* context, int closeMode, int timeoutMs, const char* title,
                 const char* className, const char* runAfter, const char* message) {
    TSL_NOT_NULL(SOURCE, context);
    TSL_NOT_NULL(SOURCE, title);
    TSL_NOT_NULL(SOURCE, className);
    TSL_NOT_NULL(SOURCE, runAfter);
    TSL_NOT_NULL(SOURCE, message);

    if (timeoutMs < CLOSE_MIN_TIMEOUT) timeoutMs = CLOSE_MIN_TIMEOUT;
    // A script's number could make the waits last for days with nothing on screen.
    if (timeoutMs > CLOSE_MAX_TIMEOUT) {
        LogPrint("Window time-out of %d ms cut to %d ms\n", timeoutMs, CLOSE_MAX_TIMEOUT);
        timeoutMs = CLOSE_MAX_TIMEOUT;
    }
    LogPrint("Find [%d] Windows = '%s' / '%s' [%s]\n", closeMode, title, className, runAfter);

    for (int attempt = 0; attempt < CLOSE_ATTEMPTS; attempt++) {
        WindowSearch search = {};
        search.closeMode = closeMode;
        search.attempt = attempt;
        StrCopyN(search.message, message, sizeof search.message);
        StrCopyN(search.className, className, sizeof search.className);
        StrCopyN(search.title, title, sizeof search.title);
        EnumWindows(MatchWindow, reinterpret_cast<LPARAM>(&search));

        if (search.cancelled) {
            context->runAfter[0] = '\0';
            return 0;
        }
        if (search.matches == 0) {
            // Not running at all: there is nothing to start again afterwards.
            if (attempt == 0) context->runAfter[0] = '\0';
            return 1;
        }
        if (closeMode == 1) {
            context->runAfter[0] = '\0';
            return 0;
        }
        Sleep(static_cast<DWORD>(timeoutMs / 10));
    }
    context->runAfter[0] = '\0';
    return 0;
}

// ---------------------------------------------------------------------------
// Programs and components
// ---------------------------------------------------------------------------

int ComStart() {
    if (comStarted) return 1;
    comStarted = 1;
    return WinInitCom();
}

int ComStop() {
    if (comStarted) WinUninitCom();
    comStarted = 0;
    return 1;
}

int RunProgram(const char* program, const char* parameters, int wait, uint32_t* exitCode) {
    TSL_NOT_NULL(SOURCE, program);
    if (exitCode != nullptr) *exitCode = 0;
    ComStart();  // the shell may hand the program to a COM handler

    SHELLEXECUTEINFOA info = {};
    info.cbSize = sizeof info;
    // The shell's own error box stays away: a failure is logged and the uninstall goes on.
    info.fMask = SEE_MASK_NOCLOSEPROCESS | SEE_MASK_FLAG_NO_UI;
    info.lpVerb = "open";
    info.lpFile = program;
    info.lpParameters = parameters;
    info.nShow = SW_SHOWDEFAULT;
    if (!ShellExecuteExA(&info)) {
        LogPrint("Unable to execute '%s' '%s' 0x%.8X\n", program,
                 parameters != nullptr ? parameters : "", GetLastError());
        return 0;
    }
    // A document handed to a program that was already running has no process of its own.
    if (info.hProcess == nullptr) return 1;
    if (wait) WaitForProgram(info.hProcess, program, exitCode);
    CloseHandle(info.hProcess);
    return 1;
}

int RunProgramFile(const char* program, const char* parameters, uint32_t* exitCode) {
    TSL_NOT_NULL(SOURCE, program);
    TSL_NOT_NULL(SOURCE, parameters);
    if (exitCode != nullptr) *exitCode = 0;
    // The program's own quoted path first, as the program expects to find itself.
    char commandLine[2 * SHELL_PATH_SIZE];
    if (StrLen(program) + StrLen(parameters) + 4 > static_cast<int>(sizeof commandLine)) {
        LogPrint("Command line too long for '%s' '%s'\n", program, parameters);
        return 0;
    }
    StrPrintf(commandLine, sizeof commandLine, "\"%s\" %s", program, parameters);
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION started = {};
    if (!CreateProcessA(program, commandLine, nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &started)) {
        LogPrint("Unable to execute '%s' '%s' 0x%.8X\n", program, parameters, GetLastError());
        return 0;
    }
    CloseHandle(started.hThread);
    WaitForProgram(started.hProcess, program, exitCode);
    CloseHandle(started.hProcess);
    return 1;
}

int CallComponent(const char* libraryPath, int registerServer) {
    TSL_NOT_NULL(SOURCE, libraryPath);
    ComStart();
    // The component finds the libraries beside it, and the rest in the system folder only.
    HMODULE library = WinLoadLibraryFrom(libraryPath);
    if (library == nullptr) {
        LogPrint("Error attempting to load '%s' (0x%.8X)\n", libraryPath, GetLastError());
        return 0;
    }
    if (reinterpret_cast<uintptr_t>(library) < 32) {
        LogPrint("Failed to load '%s' (0x%.8X)\n", libraryPath, GetLastError());
        return 0;
    }

    typedef HRESULT(WINAPI * EntryPoint)();
    const char* name = registerServer ? "DllRegisterServer" : "DllUnregisterServer";
    EntryPoint entry = reinterpret_cast<EntryPoint>(
        reinterpret_cast<void*>(GetProcAddress(library, name)));
    if (entry == nullptr) {
        LogPrint("Couldn't get entry point from '%s'\n", libraryPath);
        FreeLibrary(library);
        return 0;
    }
    HRESULT result = entry();
    if (result < 0) LogPrint("Failed in executing entry point from '%s'\n", libraryPath);
    FreeLibrary(library);
    return result < 0 ? 0 : 1;
}

// ---------------------------------------------------------------------------
// The "Please wait..." progress window
// ---------------------------------------------------------------------------

int ProgressWindowCreate() {
    if (progressWindow != nullptr) return 1;
    // A quiet run shows no window at all, not even a hidden one for later.
    if (PromptIsQuiet()) return 0;
    WinInitCommonControls();
    HWND dialog = CreateDialogParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDD_PROGRESS),
                                     nullptr, ProgressProc, 0);
    if (dialog == nullptr) {
        LogPrint("Unable to create the progress window (0x%.8X)\n", GetLastError());
        return 0;
    }
    ShowWindow(dialog, SW_HIDE);
    progressWindow = dialog;
    return 1;
}

int ProgressWindowShow(int show) {
    if (progressWindow == nullptr) return 0;
    if (show) {
        WinCenter(progressWindow, nullptr);
        ShowWindow(progressWindow, SW_SHOW);
        progressTick = 0;  // the first move shows at once
    } else {
        ShowWindow(progressWindow, SW_HIDE);
    }
    return 1;
}

int ProgressWindowSet(double percent) {
    if (progressWindow == nullptr) return 0;
    // Moving the bar repaints it at once, which costs far more than deleting a file: during
    // long deletions the bar follows at most ten times a second (its ends always at once),
    // and the window's messages are passed on when it moves.
    int position = ProgressPosition(percent);
    if (position == progressPosition) return 1;
    DWORD now = GetTickCount();
    if (position != 0 && position != kProgressEnd && progressTick != 0 &&
        now - progressTick < kProgressInterval)
        return 1;
    progressPosition = position;
    progressTick = now != 0 ? now : 1;
    ProgressSetPercent(progressWindow, IDC_PROGRESS_BAR, percent);
    PumpMessages();
    return 1;
}

int ProgressWindowOfferCancel(int offer) {
    cancelPressed = 0;
    offer = offer != 0;
    if (progressWindow == nullptr) return 0;
    if (offer == cancelOffered) return 1;
    // The button's row is added below the bar while it shows, so that the uninstall's
    // window stays as it is.
    RECT row = {0, 0, 0, kCancelRow};
    MapDialogRect(progressWindow, &row);
    RECT frame;
    GetWindowRect(progressWindow, &frame);
    SetWindowPos(progressWindow, nullptr, 0, 0, frame.right - frame.left,
                 frame.bottom - frame.top + (offer ? row.bottom : -row.bottom),
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    ShowWindow(GetDlgItem(progressWindow, IDC_PROGRESS_CANCEL), offer ? SW_SHOW : SW_HIDE);
    WinCenter(progressWindow, nullptr);
    cancelOffered = offer;
    return 1;
}

int ProgressWindowPoll() {
    if (progressWindow == nullptr) return 0;
    const DWORD now = GetTickCount();
    if (now - pollTick >= kProgressInterval) {
        pollTick = now;
        PumpMessages();
    }
    return cancelPressed;
}

int ProgressWindowDestroy() {
    if (progressWindow == nullptr) return 0;
    HWND dialog = progressWindow;
    progressWindow = nullptr;
    DestroyWindow(dialog);
    return 1;
}
