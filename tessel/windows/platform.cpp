// Tessel platform: which line of Windows this is, the functions that not every supported
// system exports (looked up by name at their first use), and the calls that differ between
// the lines, each with its fallback beside it.
#include "tessel/platform.h"

#include <commctrl.h>
#include <shlobj.h>
#include <stdlib.h>

#include "tessel/registry.h"
#include "tessel/tsl-core.h"
#include "tessel/tsl-str.h"
#include "tessel/winhelpr.h"

static const char kSrc[] = "platform";

namespace {

constexpr int kNameSize = 64;
constexpr int kPathSize = 320;

// Decided at the first question, then kept for the life of the process.
struct PlatformState {
    int decided;
    unsigned line;
    char name[kNameSize];
};
PlatformState gPlatform;

void Decide() {
    if (gPlatform.decided) return;
    OSVERSIONINFOA info = {};
    info.dwOSVersionInfoSize = sizeof info;
    if (!GetVersionExA(&info)) {
        // Every Win32 system has GetVersion: its top bit is set on the 9x line.
        const DWORD version = GetVersion();
        info.dwPlatformId = (version & 0x80000000u) ? VER_PLATFORM_WIN32_WINDOWS
                                                    : VER_PLATFORM_WIN32_NT;
        info.dwMajorVersion = LOBYTE(LOWORD(version));
        info.dwMinorVersion = HIBYTE(LOWORD(version));
    }
    if (info.dwPlatformId == VER_PLATFORM_WIN32_WINDOWS) {
        gPlatform.line = PLATFORM_9X;
        const char* release = info.dwMinorVersion >= 90   ? "Me"
                              : info.dwMinorVersion >= 10 ? "98"
                                                          : "95";
        StrPrintf(gPlatform.name, sizeof gPlatform.name, "Windows %s (%u.%u.%u)", release,
                  static_cast<unsigned>(info.dwMajorVersion),
                  static_cast<unsigned>(info.dwMinorVersion),
                  static_cast<unsigned>(LOWORD(info.dwBuildNumber)));
    } else {
        gPlatform.line = PLATFORM_NT;
        StrPrintf(gPlatform.name, sizeof gPlatform.name, "Windows NT %u.%u (%u)",
                  static_cast<unsigned>(info.dwMajorVersion),
                  static_cast<unsigned>(info.dwMinorVersion),
                  static_cast<unsigned>(info.dwBuildNumber));
    }
    gPlatform.decided = 1;
}

// A library that is not loaded yet, from the system folder by its full path. The common
// controls are asked for by name: the manifest's activation context then gives version 6.
HMODULE LoadSystemLibrary(const char* library) {
    if (StrEqualNoCase(library, "comctl32.dll")) return LoadLibraryA(library);
    char path[kPathSize];
    if (!WinSystemDir(path, sizeof path) || !StrAppend(path, sizeof path, library))
        return nullptr;
    return LoadLibraryA(path);
}

PlatformCall<BOOL(WINAPI*)(LPCSTR, LPCSTR, DWORD)> gMoveFileEx("kernel32.dll", "MoveFileExA",
                                                               PLATFORM_NT);

}  // namespace

unsigned PlatformLine() {
    Decide();
    return gPlatform.line;
}

const char* PlatformName() {
    Decide();
    return gPlatform.name;
}

int PlatformUnicode() { return PlatformLine() == PLATFORM_NT ? 1 : 0; }

DWORD PlatformShareDelete() { return PlatformLine() == PLATFORM_NT ? FILE_SHARE_DELETE : 0; }

int PlatformVcache() { return PlatformLine() == PLATFORM_9X ? 1 : 0; }

void* PlatformLookup(const char* library, const char* name, unsigned lines) {
    TSL_NOT_NULL(kSrc, library);
    TSL_NOT_NULL(kSrc, name);
    void* found = nullptr;
    if ((lines & PlatformLine()) != 0) {
        HMODULE module = GetModuleHandleA(library);
        if (module == nullptr) module = LoadSystemLibrary(library);
        if (module != nullptr)
            found = reinterpret_cast<void*>(GetProcAddress(module, name));
    }
    if (found == nullptr) LogPrint("No %s in %s here: its fallback stands in\n", name, library);
    return found;
}

// ---------------------------------------------------------------------------
// Windows
// ---------------------------------------------------------------------------

namespace {
PlatformCall<HWND(WINAPI*)(HWND, UINT)> gGetAncestor("user32.dll", "GetAncestor", PLATFORM_ANY);
}

HWND PlatformRootWindow(HWND window) {
    if (window == nullptr) return nullptr;
    if (auto getAncestor = gGetAncestor.Get()) return getAncestor(window, GA_ROOT);
    HWND root = window;
    while ((GetWindowLongA(root, GWL_STYLE) & WS_CHILD) != 0) {
        HWND parent = GetParent(root);
        if (parent == nullptr) break;
        root = parent;
    }
    return root;
}

// ---------------------------------------------------------------------------
// Shell folders
// ---------------------------------------------------------------------------

namespace {

PlatformCall<BOOL(WINAPI*)(HWND, LPSTR, int, BOOL)> gShellFolderA(
    "shell32.dll", "SHGetSpecialFolderPathA", PLATFORM_9X);
PlatformCall<BOOL(WINAPI*)(HWND, LPWSTR, int, BOOL)> gShellFolderW(
    "shell32.dll", "SHGetSpecialFolderPathW", PLATFORM_NT);

// The user's own folders that the registry names under "Shell Folders" on every system.
struct RegistryFolder {
    int csidl;
    const char* value;
};
constexpr RegistryFolder kRegistryFolders[] = {
    {CSIDL_PROGRAMS, "Programs"},
    {CSIDL_STARTMENU, "Start Menu"},
    {CSIDL_STARTUP, "Startup"},
    {CSIDL_DESKTOPDIRECTORY, "Desktop"},
};
constexpr char kShellFoldersKey[] =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";

}  // namespace

int PlatformShellFolderFromRegistry(int csidl, char* buffer, int size) {
    TSL_NOT_NULL(kSrc, buffer);
    if (size <= 0) return 0;
    buffer[0] = '\0';
    for (const RegistryFolder& folder : kRegistryFolders) {
        if (folder.csidl != csidl) continue;
        RegKey* key = nullptr;
        if (!RegKeyOpen(&key, REG_ROOT_CURRENT_USER, kShellFoldersKey)) return 0;
        const int read = RegGetPath(key, folder.value, buffer, size);
        RegKeyClose(&key);
        return read;
    }
    return 0;
}

int PlatformShellFolder(int csidl, char* buffer, int size) {
    TSL_NOT_NULL(kSrc, buffer);
    if (size <= 0) return 0;
    buffer[0] = '\0';
    if (auto wide = gShellFolderW.Get()) {
        wchar_t path[MAX_PATH + 1] = {};
        return wide(nullptr, path, csidl, FALSE) && WinPathToAnsi(path, buffer, size);
    }
    if (auto ansi = gShellFolderA.Get()) {
        char path[MAX_PATH + 1] = {};
        return ansi(nullptr, path, csidl, FALSE) && WinFitAnsiPath(path, buffer, size);
    }
    return PlatformShellFolderFromRegistry(csidl, buffer, size);
}

// ---------------------------------------------------------------------------
// Files
// ---------------------------------------------------------------------------

int PlatformReplaceFile(const char* from, const char* to) {
    TSL_NOT_NULL(kSrc, from);
    TSL_NOT_NULL(kSrc, to);
    if (auto moveFileEx = gMoveFileEx.Get())
        return moveFileEx(from, to, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) ? 1 : 0;
    // MoveFile never replaces a file: the old one steps aside under a name of its own first.
    if (GetFileAttributesA(to) == INVALID_FILE_ATTRIBUTES) return MoveFileA(from, to) ? 1 : 0;
    char folder[kPathSize];
    char aside[MAX_PATH + 1] = {};
    StrCopyN(folder, to, sizeof folder);
    if (!PathModuleDir(folder, sizeof folder) || GetTempFileNameA(folder, "old", 0, aside) == 0)
        return 0;
    DeleteFileA(aside);
    if (!MoveFileA(to, aside)) return 0;
    if (!MoveFileA(from, to)) {
        const DWORD error = GetLastError();
        MoveFileA(aside, to);
        SetLastError(error);
        return 0;
    }
    if (!DeleteFileA(aside)) LogPrint("Unable to delete the old file '%s'\n", aside);
    return 1;
}

int PlatformDeleteAtRestart(const char* path) {
    TSL_NOT_NULL(kSrc, path);
    auto moveFileEx = gMoveFileEx.Get();
    return moveFileEx != nullptr && moveFileEx(path, nullptr, MOVEFILE_DELAY_UNTIL_REBOOT) ? 1
                                                                                          : 0;
}

int PlatformRestartQueueName(const char* path, char* buffer, int size) {
    TSL_NOT_NULL(kSrc, path);
    TSL_NOT_NULL(kSrc, buffer);
    if (size <= 0) return 0;
    buffer[0] = '\0';
    if (PlatformLine() != PLATFORM_9X) return StrLen(path) < size ? StrCopy(buffer, path) : 0;
    const DWORD length = GetShortPathNameA(path, buffer, static_cast<DWORD>(size));
    if (length == 0 || length >= static_cast<DWORD>(size)) {
        buffer[0] = '\0';
        return 0;
    }
    return 1;
}

// ---------------------------------------------------------------------------
// Memory
// ---------------------------------------------------------------------------

namespace {
PlatformCall<BOOL(WINAPI*)(MEMORYSTATUSEX*)> gMemoryStatusEx("kernel32.dll", "GlobalMemoryStatusEx",
                                                             PLATFORM_NT);
constexpr char kMemoryVariable[] = "TSL_PHYSICAL_MEMORY";
}  // namespace

int PlatformMemoryStatus(PlatformMemory* memory) {
    TSL_NOT_NULL(kSrc, memory);
    *memory = PlatformMemory{};
    if (auto statusEx = gMemoryStatusEx.Get()) {
        MEMORYSTATUSEX status = {};
        status.dwLength = sizeof status;
        if (!statusEx(&status)) return 0;
        *memory = {status.dwMemoryLoad,         status.ullTotalPhys,     status.ullAvailPhys,
                   status.ullTotalPageFile,     status.ullAvailPageFile, status.ullTotalVirtual,
                   status.ullAvailVirtual};
    } else {
        MEMORYSTATUS status = {};
        status.dwLength = sizeof status;
        GlobalMemoryStatus(&status);
        *memory = {status.dwMemoryLoad,     status.dwTotalPhys,     status.dwAvailPhys,
                   status.dwTotalPageFile, status.dwAvailPageFile, status.dwTotalVirtual,
                   status.dwAvailVirtual};
    }
    const char* text = getenv(kMemoryVariable);
    int64_t bytes = 0;
    if (text != nullptr && AtoIChecked(text, &bytes) && bytes > 0) {
        memory->totalPhysical = static_cast<uint64_t>(bytes);
        if (memory->availablePhysical > memory->totalPhysical)
            memory->availablePhysical = memory->totalPhysical;
        LogPrint("Physical memory taken from %s: %s\n", kMemoryVariable, text);
    }
    return 1;
}

// ---------------------------------------------------------------------------
// Shell version, common controls, restart prompt
// ---------------------------------------------------------------------------

namespace {

// The shell's version record (DLLVERSIONINFO).
struct ShellVersionInfo {
    DWORD cbSize;
    DWORD major;
    DWORD minor;
    DWORD build;
    DWORD platform;
};
PlatformCall<HRESULT(CALLBACK*)(ShellVersionInfo*)> gShellVersion("shell32.dll", "DllGetVersion",
                                                                  PLATFORM_ANY);

PlatformCall<BOOL(WINAPI*)(const INITCOMMONCONTROLSEX*)> gInitControlsEx(
    "comctl32.dll", "InitCommonControlsEx", PLATFORM_ANY);
PlatformCall<void(WINAPI*)()> gInitControls("comctl32.dll", "InitCommonControls", PLATFORM_ANY);

PlatformCall<INT(WINAPI*)(void*, HWND, BOOL)> gPromptReboot("setupapi.dll", "SetupPromptReboot",
                                                            PLATFORM_ANY);
PlatformCall<BOOL(WINAPI*)(HANDLE, DWORD, HANDLE*)> gOpenToken("advapi32.dll", "OpenProcessToken",
                                                               PLATFORM_NT);
PlatformCall<BOOL(WINAPI*)(LPCSTR, LPCSTR, LUID*)> gPrivilegeValue(
    "advapi32.dll", "LookupPrivilegeValueA", PLATFORM_NT);
PlatformCall<BOOL(WINAPI*)(HANDLE, BOOL, TOKEN_PRIVILEGES*, DWORD, TOKEN_PRIVILEGES*, DWORD*)>
    gAdjustPrivileges("advapi32.dll", "AdjustTokenPrivileges", PLATFORM_NT);

constexpr int kRebootInProgress = 4;  // SPFILEQ_REBOOT_IN_PROGRESS

// On the NT line a process may end the session only with the shutdown privilege enabled.
void EnableShutdownPrivilege() {
    auto openToken = gOpenToken.Get();
    auto privilegeValue = gPrivilegeValue.Get();
    auto adjust = gAdjustPrivileges.Get();
    if (openToken == nullptr || privilegeValue == nullptr || adjust == nullptr) return;
    HANDLE token = nullptr;
    if (!openToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &token)) return;
    TOKEN_PRIVILEGES privileges = {};
    privileges.PrivilegeCount = 1;
    privileges.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
    if (privilegeValue(nullptr, "SeShutdownPrivilege", &privileges.Privileges[0].Luid))
        adjust(token, FALSE, &privileges, 0, nullptr, nullptr);
    CloseHandle(token);
}

}  // namespace

void PlatformShellVersion(DWORD* major, DWORD* minor, DWORD* build) {
    TSL_NOT_NULL(kSrc, major);
    TSL_NOT_NULL(kSrc, minor);
    TSL_NOT_NULL(kSrc, build);
    *major = 4;
    *minor = 0;
    *build = 0;
    ShellVersionInfo info = {};
    info.cbSize = sizeof info;
    auto version = gShellVersion.Get();
    if (version == nullptr || version(&info) < 0) return;
    *major = info.major;
    *minor = info.minor;
    *build = info.build;
}

int PlatformInitCommonControls() {
    if (auto initEx = gInitControlsEx.Get()) {
        INITCOMMONCONTROLSEX init;
        init.dwSize = sizeof init;
        init.dwICC = 0x1FFF;  // every class
        return initEx(&init) ? 1 : 0;
    }
    // The first common controls register every class they have at once.
    auto init = gInitControls.Get();
    if (init == nullptr) return 0;
    init();
    return 1;
}

int PlatformRestartPrompt(HWND owner) {
    if (auto prompt = gPromptReboot.Get()) return prompt(nullptr, owner, FALSE);
    const int answer =
        MessageBoxA(owner,
                    "You must restart your computer before the new settings will take "
                    "effect.\n\nDo you want to restart your computer now?",
                    "System Settings Change", MB_YESNO | MB_ICONQUESTION);
    if (answer == 0) return -1;
    if (answer != IDYES) return 0;
    EnableShutdownPrivilege();
    return ExitWindowsEx(EWX_REBOOT, 0) ? kRebootInProgress : -1;
}
