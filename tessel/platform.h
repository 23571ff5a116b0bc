// Tessel platform: the one place that knows which Windows runs the program and what differs
// between the systems the programs are made for, Windows 95, 98 and Me (the 9x line) and
// NT 4.0, 2000, XP and every later Windows (the NT line). Win32 only.
//
// The line is decided once, at the first question, from the platform id of the version
// information. On the 9x line the 8-bit calls are the system's own form of every call and
// are used directly: most wide calls exist there only as stubs that fail. On the NT line the
// wide calls are the system's own, and the library takes folders and paths in their wide
// form (WinPathToAnsi).
//
// A function that not every supported Windows exports is never imported, since the loader
// of a system without it would refuse to start the program. PlatformCall finds it by name
// at its first use, and only on the lines that may have it; where it is missing, the
// caller's fallback, written beside the call, stands in. Other modules never ask for the
// version themselves: they ask what the system can do (PlatformUnicode, ...), or call the
// forms below.
#pragma once

#ifdef _WIN32
#include <windows.h>

#include <stdint.h>

constexpr unsigned PLATFORM_9X = 1;  // Windows 95, 98 and Me
constexpr unsigned PLATFORM_NT = 2;  // NT 4.0, 2000, XP and later
constexpr unsigned PLATFORM_ANY = PLATFORM_9X | PLATFORM_NT;

// The line of this system (PLATFORM_9X or PLATFORM_NT).
unsigned PlatformLine();
// "Windows 98 (4.10.2222)", "Windows NT 5.0 (2195)": for the log.
const char* PlatformName();

// 1 where the wide (W) calls work: the NT line.
int PlatformUnicode();
// FILE_SHARE_DELETE where the system takes it in a sharing mode (the NT line; the 9x line
// refuses any open that asks for it), else 0.
DWORD PlatformShareDelete();
// 1 where the file system's cache takes its sizes from the "vcache" section of system.ini
// (the 9x line); the NT line ignores them.
int PlatformVcache();

// The address of `name` in the system library `library` ("kernel32.dll"), or null: where
// this system's line is not among `lines`, where the library cannot be loaded or where it
// does not export the name. A library not yet loaded is loaded from the system folder by its
// full path, never from the program's folder (the common controls by their name, so that the
// manifest chooses their version), and stays loaded.
void* PlatformLookup(const char* library, const char* name, unsigned lines);

// A system function found by name at its first use (see above): Get() gives it, or null where
// it is missing, and the caller's fallback stands in. Defined as a static object beside the
// call that uses it.
template <typename Fn>
class PlatformCall {
public:
    constexpr PlatformCall(const char* library, const char* name, unsigned lines)
        : library_(library), name_(name), lines_(lines) {}
    Fn Get() {
        if (!asked_) {
            function_ = reinterpret_cast<Fn>(PlatformLookup(library_, name_, lines_));
            asked_ = 1;
        }
        return function_;
    }

private:
    const char* library_;
    const char* name_;
    unsigned lines_;
    Fn function_ = nullptr;
    int asked_ = 0;
};

// The same lookup into a typed slot, for the calls a feature needs together (Windows Sockets,
// CryptoAPI, ...): 1 when `*slot` was found, else 0 with `*slot` null.
template <typename Fn>
int PlatformFind(const char* library, const char* name, unsigned lines, Fn* slot) {
    *slot = reinterpret_cast<Fn>(PlatformLookup(library, name, lines));
    return *slot != nullptr;
}

// The calls that differ, each with its fallback.

// The root window of a window (GetAncestor, GA_ROOT: Windows 98, NT 4.0 SP4); without it the
// window's parents are climbed while it is a child window.
HWND PlatformRootWindow(HWND window);

// A shell folder by its CSIDL number, in its 8-bit form as WinPathToAnsi gives it, without
// any clean-up (SHGetSpecialFolderPath: the shell of Internet Explorer 4 on Windows 95 and
// NT 4.0, every later system); without it, the folder's value under the "Shell Folders" key
// of the registry (PlatformShellFolderFromRegistry). 0 with an empty buffer when neither
// gives it or it does not fit.
int PlatformShellFolder(int csidl, char* buffer, int size);
// The fallback alone: the value for the CSIDL numbers that have one (the Start menu's
// programs and its own folder, the desktop, and their all-users forms).
int PlatformShellFolderFromRegistry(int csidl, char* buffer, int size);

// Puts the file `from` in place of `to`, replacing a file of that name. The NT line does it
// in one step (MoveFileEx). The 9x line has no such call: the old file is first renamed
// aside beside itself, the new one takes its name, and only then is the old one deleted, so
// an interruption leaves one of the two under the name and the other beside it, never
// neither. 0 with both files as they were when the new one cannot take the name.
int PlatformReplaceFile(const char* from, const char* to);

// Queues a file for deletion at the next start of Windows through the system's own facility
// (MoveFileEx with MOVEFILE_DELAY_UNTIL_REBOOT, the NT line). 0 where there is none (the
// 9x line, whose queue is "wininit.ini") or the system refuses.
int PlatformDeleteAtRestart(const char* path);
// The form of `path` that a line of "wininit.ini" must hold: the 9x line processes it before
// long file names are available, so there it is the path's short (8.3) form; elsewhere the
// path as it stands. 0 with an empty buffer when it has no such form or it does not fit.
int PlatformRestartQueueName(const char* path, char* buffer, int size);

// The version of the shell (DllGetVersion of shell32, from version 4.71 on); 4.0.0 where the
// shell has no such call (Windows 95 and NT 4.0 without Internet Explorer 4's shell).
void PlatformShellVersion(DWORD* major, DWORD* minor, DWORD* build);

// Initialises every class of the common controls (InitCommonControlsEx, version 4.70 of
// the common controls); the first Windows 95 has only InitCommonControls, which registers
// the classes the programs use. 0 when neither is there.
int PlatformInitCommonControls();

// The memory status, in bytes: GlobalMemoryStatusEx where the system has it (Windows 2000 and
// later), whose figures go beyond 4 GB; elsewhere GlobalMemoryStatus, whose fields cannot.
// A number of bytes in the environment variable TSL_PHYSICAL_MEMORY stands in for the total
// physical memory (the available part held within it), so that a test can show a program the
// machine it needs. 1, or 0 when the system gives no status.
struct PlatformMemory {
    uint32_t load;  // percent in use
    uint64_t totalPhysical;
    uint64_t availablePhysical;
    uint64_t totalPage;
    uint64_t availablePage;
    uint64_t totalVirtual;
    uint64_t availableVirtual;
};
int PlatformMemoryStatus(PlatformMemory* memory);

// The system's restart prompt (SetupPromptReboot of the setup library, which the first
// Windows 95 may lack). Without the library: a question in the same words, and on Yes the
// system restarts. Gives what the system's prompt gives: SPFILEQ_REBOOT_IN_PROGRESS (4) when
// the restart has begun, 0 when the user declined, -1 when no prompt could be shown.
int PlatformRestartPrompt(HWND owner);

#endif
