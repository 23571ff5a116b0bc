// The system functions the shipped programs import, or look up at run time where a system
// has them, with the first release of each line of Windows that exports them: whether the 9x
// line exports a function only as a stub that fails, and what a Windows 95 needs added for
// it. tests/shipped checks every import of the programs against it; relay-check checks every
// call the programs make under a version of Wine against it.
//
// Each row cites the documentation it comes from. "MSDN Library 1998 <page> QuickInfo" is the
// function's page in the MSDN Library of June 1998 (mirrored at library.thedatadungeon.com/
// msdn-1998-06 and techshelps.github.io/MSDN), whose QuickInfo names the first Windows NT and
// the first Windows that have it, and says where a wide form exists on Windows NT only; the
// library's "Windows 95 General Limitations" says that Windows 95 exports such wide forms, and
// the security functions, as stubs that fail. Where no such page was found, the row says what
// was found instead, and a belief is named as one.
#pragma once

#include <string.h>

namespace api {

// Releases, numbered so that they order within their line: the 9x line by its version
// (Windows 95 4.00, 98 4.10, Me 4.90), the NT line by version and service pack.
constexpr int kNever = 0;
constexpr int k95 = 400;
constexpr int k98 = 410;
constexpr int kMe = 490;
constexpr int kNt31 = 3100;
constexpr int kNt35 = 3500;
constexpr int kNt351 = 3510;
constexpr int kNt4 = 4000;
constexpr int kNt4Sp4 = 4004;
constexpr int k2000 = 5000;
constexpr int kXp = 5100;
constexpr int kXpSp1 = 5101;
constexpr int kXpSp2 = 5102;
constexpr int kXpSp3 = 5103;
constexpr int kVista = 6000;
constexpr int k7 = 6100;
constexpr int k10 = 10000;

struct Row {
    const char* library;  // as an import table names it, upper case
    const char* name;
    int first9x;          // the first release of the 9x line that exports it, or kNever; k95
                          // with `needs95` when the first Windows 95 needs what that names
    bool stub9x;          // the 9x line exports it only as a stub that fails
    int firstNt;          // the first release of the NT line that exports it, or kNever
    const char* needs95;  // what a Windows 95 needs added for it ("" nothing)
};

// clang-format off
constexpr Row kRows[] = {
    // MSDN Library 1998 pdwbase/conchar_6smd QuickInfo
    {"KERNEL32.DLL", "AllocConsole", k95, false, kNt31, ""},
    // MSDN Library 1998 pdwbase/handobj_289x QuickInfo
    {"KERNEL32.DLL", "CloseHandle", k95, false, kNt31, ""},
    // MSDN Library 1998 pdwbase/filesio_0x9h QuickInfo
    {"KERNEL32.DLL", "CopyFileA", k95, false, kNt31, ""},
    // MSDN Library 1998 pdwbase/filesio_7wmd QuickInfo
    {"KERNEL32.DLL", "CreateFileA", k95, false, kNt31, ""},
    // MSDN Library 1998 pdwbase/synchro_1a2g QuickInfo
    {"KERNEL32.DLL", "CreateMutexA", k95, false, kNt31, ""},
    // MSDN Library 1998 pdwbase/prothred_9dpv QuickInfo
    {"KERNEL32.DLL", "CreateProcessA", k95, false, kNt31, ""},
    // MSDN Library 1998 pdwbase/synchro_931q QuickInfo
    {"KERNEL32.DLL", "DeleteCriticalSection", k95, false, kNt31, ""},
    // MSDN Library 1998 pdwbase/filesio_5n8l QuickInfo
    {"KERNEL32.DLL", "DeleteFileA", k95, false, kNt31, ""},
    // MSDN Library 1998 pdwbase/synchro_3xym QuickInfo
    {"KERNEL32.DLL", "EnterCriticalSection", k95, false, kNt31, ""},
    // MSDN Library 1998 pdwbase/filesio_45d1 QuickInfo
    {"KERNEL32.DLL", "FindClose", k95, false, kNt31, ""},
    // MSDN Library 1998 pdwbase/filesio_4qcl QuickInfo
    {"KERNEL32.DLL", "FindFirstFileA", k95, false, kNt31, ""},
    // MSDN Library 1998 pdwbase/filesio_4ndx QuickInfo
    {"KERNEL32.DLL", "FindNextFileA", k95, false, kNt31, ""},
    // MSDN Library 1998 pdwbase/filesio_8wvn QuickInfo
    {"KERNEL32.DLL", "FlushFileBuffers", k95, false, kNt31, ""},
    // MSDN Library 1998 pdwbase/dll_3cs9 QuickInfo
    {"KERNEL32.DLL", "FreeLibrary", k95, false, kNt31, ""},
    // no old page found; believed Windows 95 / NT 3.1, as CP_ACP of MultiByteToWideChar (MSDN 1998
    // pdwbase/unicode_17si)
    {"KERNEL32.DLL", "GetACP", k95, false, kNt31, ""},
    // MSDN Library 1998 pdwbase/prothred_0mzp QuickInfo
    {"KERNEL32.DLL", "GetCommandLineA", k95, false, kNt31, ""},
    // MSDN Library 1998 pdwbase/filesio_6g6x QuickInfo
    {"KERNEL32.DLL", "GetCurrentDirectoryA", k95, false, kNt31, ""},
    // MSDN Library 1998 pdwbase/prothred_58kz QuickInfo
    {"KERNEL32.DLL", "GetCurrentProcess", k95, false, kNt31, ""},
    // MSDN Library 1998 pdwbase/prothred_6nfo QuickInfo
    {"KERNEL32.DLL", "GetCurrentProcessId", k95, false, kNt31, ""},
    // MSDN Library 1998 pdwbase/prothred_4nfo QuickInfo
    {"KERNEL32.DLL", "GetCurrentThreadId", k95, false, kNt31, ""},
    // MSDN Library 1998 pdwbase/prothred_4k6r QuickInfo
    {"KERNEL32.DLL", "GetExitCodeProcess", k95, false, kNt31, ""},
    // MSDN Library 1998 pdwbase/filesio_9pgz QuickInfo
    {"KERNEL32.DLL", "GetFileAttributesA", k95, false, kNt31, ""},
    // MSDN Library 1998 pdwbase/filesio_2jtx QuickInfo
    {"KERNEL32.DLL", "GetFileInformationByHandle", k95, false, kNt31, ""},
    // MSDN Library 1998 pdwbase/filesio_05id QuickInfo
    {"KERNEL32.DLL", "GetFileSize", k95, false, kNt31, ""},
    // MSDN Library 1998 pdwbase/errors_3uwi QuickInfo
    {"KERNEL32.DLL", "GetLastError", k95, false, kNt31, ""},
    // MSDN Library 1998 pdwbase/time_7rj9 QuickInfo
    {"KERNEL32.DLL", "GetLocalTime", k95, false, kNt31, ""},
    // MSDN Library 1998 pdwbase/dll_0ysl QuickInfo
    {"KERNEL32.DLL", "GetModuleFileNameA", k95, false, kNt31, ""},
    // MSDN Library 1998 pdwbase/dll_5plx QuickInfo
    {"KERNEL32.DLL", "GetModuleHandleA", k95, false, kNt31, ""},
    // Win32 SDK help (winapi.freetechsecrets.com/win32/WIN32GetPrivateProfileString.htm): "Windows
    // NT Yes, Win95 Yes"
    {"KERNEL32.DLL", "GetPrivateProfileStringA", k95, false, kNt31, ""},
    // MSDN Library 1998 pdwbase/dll_0f8z QuickInfo
    {"KERNEL32.DLL", "GetProcAddress", k95, false, kNt31, ""},
    // MSDN Library 1998 pdwbase/prothred_2x9r QuickInfo
    {"KERNEL32.DLL", "GetStartupInfoA", k95, false, kNt31, ""},
    // MSDN Library 1998 pdwbase/conchar_7k9x QuickInfo
    {"KERNEL32.DLL", "GetStdHandle", k95, false, kNt31, ""},
    // MSDN Library 1998 pdsms/sysinfo_1unt QuickInfo
    {"KERNEL32.DLL", "GetSystemDirectoryA", k95, false, kNt31, ""},
    // MSDN Library 1998 pdwbase/filesio_72qt QuickInfo
    {"KERNEL32.DLL", "GetTempFileNameA", k95, false, kNt31, ""},
    // MSDN Library 1998 pdwbase/filesio_78fc QuickInfo
    {"KERNEL32.DLL", "GetTempPathA", k95, false, kNt31, ""},
    // MSDN Library 1998 pdwbase/time_8wz8 QuickInfo
    {"KERNEL32.DLL", "GetTickCount", k95, false, kNt31, ""},
    // Win32 SDK help, GetVersion (winapi.freetechsecrets.com/win32/WIN32GetVersion.htm): "Windows
    // NT Yes, Win95 Yes"
    {"KERNEL32.DLL", "GetVersion", k95, false, kNt31, ""},
    // MSDN Library 1998 pdsms/sysinfo_4k55 QuickInfo
    {"KERNEL32.DLL", "GetWindowsDirectoryA", k95, false, kNt31, ""},
    // MSDN Library 1998 pdwbase/memman_090z QuickInfo
    {"KERNEL32.DLL", "GlobalMemoryStatus", k95, false, kNt31, ""},
    // MSDN Library 1998 pdwbase/synchro_2dke QuickInfo
    {"KERNEL32.DLL", "InitializeCriticalSection", k95, false, kNt31, ""},
    // MSDN Library 1998 pdwbase/synchro_0uge QuickInfo
    {"KERNEL32.DLL", "LeaveCriticalSection", k95, false, kNt31, ""},
    // MSDN Library 1998 pdwbase/dll_1o8p QuickInfo
    {"KERNEL32.DLL", "LoadLibraryA", k95, false, kNt31, ""},
    // MSDN Library 1998 pdwbase/dll_4abc QuickInfo
    {"KERNEL32.DLL", "LoadLibraryExA", k95, false, kNt31, ""},
    // MSDN Library 1998 pdwbase/memman_2fxf QuickInfo
    {"KERNEL32.DLL", "LocalAlloc", k95, false, kNt31, ""},
    // MSDN Library 1998 pdwbase/memman_2339 QuickInfo
    {"KERNEL32.DLL", "LocalFree", k95, false, kNt31, ""},
    // MSDN Library 1998 pdwbase/filesio_4zqd QuickInfo
    {"KERNEL32.DLL", "MoveFileA", k95, false, kNt31, ""},
    // MSDN Library 1998 pdwbase/unicode_17si QuickInfo
    {"KERNEL32.DLL", "MultiByteToWideChar", k95, false, kNt31, ""},
    // MSDN Library 1998 pdwbase/prothred_478z QuickInfo
    {"KERNEL32.DLL", "OpenProcess", k95, false, kNt31, ""},
    // MSDN Library 1998 pdwbase/filesio_39id QuickInfo
    {"KERNEL32.DLL", "ReadFile", k95, false, kNt31, ""},
    // MSDN Library 1998 pdwbase/synchro_59o8 QuickInfo
    {"KERNEL32.DLL", "ReleaseMutex", k95, false, kNt31, ""},
    // MSDN Library 1998 pdwbase/filesio_6oe1 QuickInfo
    {"KERNEL32.DLL", "RemoveDirectoryA", k95, false, kNt31, ""},
    // MSDN Library 1998 pdwbase/conchar_2b1h QuickInfo
    {"KERNEL32.DLL", "SetConsoleTitleA", k95, false, kNt31, ""},
    // MSDN Library 1998 pdwbase/filesio_3fg9 QuickInfo
    {"KERNEL32.DLL", "SetCurrentDirectoryA", k95, false, kNt31, ""},
    // MSDN Library 1998 pdwbase/filesio_8iwi QuickInfo
    {"KERNEL32.DLL", "SetFilePointer", k95, false, kNt31, ""},
    // MSDN Library 1998 pdwbase/errors_48tu QuickInfo
    {"KERNEL32.DLL", "SetLastError", k95, false, kNt31, ""},
    // MSDN Library 1998 pdwbase/prothred_7jxs QuickInfo
    {"KERNEL32.DLL", "Sleep", k95, false, kNt31, ""},
    // MSDN Library 1998 pdwbase/prothred_6azp QuickInfo
    {"KERNEL32.DLL", "TlsGetValue", k95, false, kNt31, ""},
    // MSDN Library 1998 pdwbase/memman_30l0 QuickInfo
    {"KERNEL32.DLL", "VirtualProtect", k95, false, kNt31, ""},
    // MSDN Library 1998 pdwbase/memman_6v7d QuickInfo
    {"KERNEL32.DLL", "VirtualQuery", k95, false, kNt31, ""},
    // MSDN Library 1998 pdwbase/synchro_4ldg QuickInfo
    {"KERNEL32.DLL", "WaitForSingleObject", k95, false, kNt31, ""},
    // MSDN Library 1998 pdwbase/unicode_2bj9 QuickInfo
    {"KERNEL32.DLL", "WideCharToMultiByte", k95, false, kNt31, ""},
    // MSDN Library 1998 pdwbase/filesio_3kkl QuickInfo
    {"KERNEL32.DLL", "WriteFile", k95, false, kNt31, ""},
    // MSDN 1998 pdwbase/regapi_2jjb (no QuickInfo: its Windows 95 remarks); believed the same as
    // GetPrivateProfileStringA
    {"KERNEL32.DLL", "WritePrivateProfileStringA", k95, false, kNt31, ""},
    // MSDN Library 1998 pdwbase/filesio_0cyt QuickInfo
    {"KERNEL32.DLL", "GetShortPathNameA", k95, false, kNt35, ""},
    // MSDN Library 1998 pdsms/sysinfo_49iw QuickInfo
    {"KERNEL32.DLL", "GetVersionExA", k95, false, kNt35, ""},
    // MSDN Library 1998 pdwbase/structex_6oj6 QuickInfo
    {"KERNEL32.DLL", "SetUnhandledExceptionFilter", k95, false, kNt35, ""},
    // MSDN Library 1998 pdwbase/filesio_6g6x QuickInfo (wide form on NT only); stubs: "Windows 95
    // General Limitations"
    {"KERNEL32.DLL", "GetCurrentDirectoryW", k95, true, kNt31, ""},
    // MSDN Library 1998 pdwbase/dll_0ysl QuickInfo (wide form on NT only); stubs: "Windows 95
    // General Limitations"
    {"KERNEL32.DLL", "GetModuleFileNameW", k95, true, kNt31, ""},
    // MSDN Library 1998 pdsms/sysinfo_1unt QuickInfo (wide form on NT only); stubs: "Windows 95
    // General Limitations"
    {"KERNEL32.DLL", "GetSystemDirectoryW", k95, true, kNt31, ""},
    // MSDN Library 1998 pdwbase/filesio_78fc QuickInfo (wide form on NT only); stubs: "Windows 95
    // General Limitations"
    {"KERNEL32.DLL", "GetTempPathW", k95, true, kNt31, ""},
    // MSDN Library 1998 pdsms/sysinfo_4k55 QuickInfo (wide form on NT only); stubs: "Windows 95
    // General Limitations"
    {"KERNEL32.DLL", "GetWindowsDirectoryW", k95, true, kNt31, ""},
    // MSDN Library 1998 pdwbase/filesio_0cyt QuickInfo (wide form on NT only); stubs: "Windows 95
    // General Limitations"
    {"KERNEL32.DLL", "GetShortPathNameW", k95, true, kNt35, ""},
    // MSDN 1998 pdwbase/filesio_9oe0: "Windows: Unsupported", "Windows 95 and Windows 98: The
    // MoveFileEx function is not supported"; KB Q140570
    {"KERNEL32.DLL", "MoveFileExA", k95, true, kNt31, ""},
    // MSDN April 2000, MEMORYSTATUS (genlib/hh/winbase/memman_2fhu): Windows 2000, "use the
    // GlobalMemoryStatusEx function"; none on the 9x line (belief)
    {"KERNEL32.DLL", "GlobalMemoryStatusEx", kNever, false, k2000, ""},
    // MSDN 2007, SetDllDirectory (ms686203): "Requires Windows Vista or Windows XP SP1"
    {"KERNEL32.DLL", "SetDllDirectoryA", kNever, false, kXpSp1, ""},
    // learn.microsoft.com SetDefaultDllDirectories: Windows 8, Windows 7 with KB2533623 (belief
    // for 7)
    {"KERNEL32.DLL", "SetDefaultDllDirectories", kNever, false, k7, ""},
    // MSDN Library 1998 pdwbase/regapi_5fax QuickInfo
    {"ADVAPI32.DLL", "RegCloseKey", k95, false, kNt31, ""},
    // MSDN Library 1998 pdwbase/regapi_1woo QuickInfo
    {"ADVAPI32.DLL", "RegCreateKeyExA", k95, false, kNt31, ""},
    // MSDN Library 1998 pdwbase/regapi_1po9 QuickInfo
    {"ADVAPI32.DLL", "RegDeleteKeyA", k95, false, kNt31, ""},
    // MSDN Library 1998 pdwbase/regapi_9605 QuickInfo
    {"ADVAPI32.DLL", "RegDeleteValueA", k95, false, kNt31, ""},
    // MSDN Library 1998 pdwbase/regapi_4854 QuickInfo
    {"ADVAPI32.DLL", "RegEnumKeyExA", k95, false, kNt31, ""},
    // MSDN Library 1998 pdwbase/regapi_7yns QuickInfo
    {"ADVAPI32.DLL", "RegOpenKeyExA", k95, false, kNt31, ""},
    // MSDN Library 1998 pdwbase/regapi_3wzc QuickInfo
    {"ADVAPI32.DLL", "RegQueryValueExA", k95, false, kNt31, ""},
    // MSDN Library 1998 pdwbase/regapi_76bc QuickInfo
    {"ADVAPI32.DLL", "RegSetValueExA", k95, false, kNt31, ""},
    // MSDN Library 1998 pdwbase/regapi_1po9 QuickInfo (wide form on NT only); stubs: "Windows 95
    // General Limitations"
    {"ADVAPI32.DLL", "RegDeleteKeyW", k95, true, kNt31, ""},
    // MSDN Library 1998 pdwbase/regapi_4854 QuickInfo (wide form on NT only); stubs: "Windows 95
    // General Limitations"
    {"ADVAPI32.DLL", "RegEnumKeyExW", k95, true, kNt31, ""},
    // MSDN Library 1998 pdwbase/regapi_7yns QuickInfo (wide form on NT only); stubs: "Windows 95
    // General Limitations"
    {"ADVAPI32.DLL", "RegOpenKeyExW", k95, true, kNt31, ""},
    // MSDN Library 1998 pdwbase/regapi_3wzc QuickInfo (wide form on NT only); stubs: "Windows 95
    // General Limitations"
    {"ADVAPI32.DLL", "RegQueryValueExW", k95, true, kNt31, ""},
    // MSDN Library 1998 pdwbase/accctrl_0zam QuickInfo, "Windows: Unsupported"; stubs: "Windows 95
    // General Limitations"
    {"ADVAPI32.DLL", "OpenProcessToken", k95, true, kNt31, ""},
    // MSDN Library 1998 pdwbase/accctrl_3rj9 QuickInfo, "Windows: Unsupported"; stubs: "Windows 95
    // General Limitations"
    {"ADVAPI32.DLL", "LookupPrivilegeValueA", k95, true, kNt31, ""},
    // MSDN Library 1998 pdwbase/accctrl_6xbn QuickInfo, "Windows: Unsupported"; stubs: "Windows 95
    // General Limitations"
    {"ADVAPI32.DLL", "AdjustTokenPrivileges", k95, true, kNt31, ""},
    // MSDN Library 1998 pdwbase/acctrlow_6p7w QuickInfo, "Windows: Unsupported"; stubs: "Windows
    // 95 General Limitations"
    {"ADVAPI32.DLL", "InitializeAcl", k95, true, kNt31, ""},
    // MSDN Library 1998 pdwbase/acctrlow_4ntx QuickInfo, "Windows: Unsupported"; stubs: "Windows
    // 95 General Limitations"
    {"ADVAPI32.DLL", "AddAccessAllowedAce", k95, true, kNt31, ""},
    // MSDN Library 1998 pdwbase/acctrlow_5fw2 QuickInfo, "Windows: Unsupported"; stubs: "Windows
    // 95 General Limitations"
    {"ADVAPI32.DLL", "InitializeSecurityDescriptor", k95, true, kNt31, ""},
    // MSDN Library 1998 pdwbase/acctrlow_0fxo QuickInfo, "Windows: Unsupported"; stubs: "Windows
    // 95 General Limitations"
    {"ADVAPI32.DLL", "SetSecurityDescriptorDacl", k95, true, kNt31, ""},
    // MSDN Library 1998 pdwbase/acctrlow_2v09 QuickInfo, "Windows: Unsupported"; stubs: "Windows
    // 95 General Limitations"
    {"ADVAPI32.DLL", "GetKernelObjectSecurity", k95, true, kNt31, ""},
    // MSDN Library 1998 pdwbase/acctrlow_4nll QuickInfo, "Windows: Unsupported"; stubs: "Windows
    // 95 General Limitations"
    {"ADVAPI32.DLL", "SetKernelObjectSecurity", k95, true, kNt31, ""},
    // Geoff Chappell, CryptoAPI (geoffchappell.com/notes/windows/archive/cryptoapi): first in
    // Windows 95 OSR2 and Internet Explorer 3.02, NT 4.0
    {"ADVAPI32.DLL", "CryptAcquireContextA", k98, false, kNt4, "CryptoAPI (Windows 95 OSR2, Internet Explorer 3.02)"},
    {"ADVAPI32.DLL", "CryptReleaseContext", k98, false, kNt4, "CryptoAPI (Windows 95 OSR2, Internet Explorer 3.02)"},
    {"ADVAPI32.DLL", "CryptCreateHash", k98, false, kNt4, "CryptoAPI (Windows 95 OSR2, Internet Explorer 3.02)"},
    {"ADVAPI32.DLL", "CryptHashData", k98, false, kNt4, "CryptoAPI (Windows 95 OSR2, Internet Explorer 3.02)"},
    {"ADVAPI32.DLL", "CryptGetHashParam", k98, false, kNt4, "CryptoAPI (Windows 95 OSR2, Internet Explorer 3.02)"},
    {"ADVAPI32.DLL", "CryptSetHashParam", k98, false, kNt4, "CryptoAPI (Windows 95 OSR2, Internet Explorer 3.02)"},
    {"ADVAPI32.DLL", "CryptDestroyHash", k98, false, kNt4, "CryptoAPI (Windows 95 OSR2, Internet Explorer 3.02)"},
    {"ADVAPI32.DLL", "CryptImportKey", k98, false, kNt4, "CryptoAPI (Windows 95 OSR2, Internet Explorer 3.02)"},
    {"ADVAPI32.DLL", "CryptDestroyKey", k98, false, kNt4, "CryptoAPI (Windows 95 OSR2, Internet Explorer 3.02)"},
    {"ADVAPI32.DLL", "CryptVerifySignatureA", k98, false, kNt4, "CryptoAPI (Windows 95 OSR2, Internet Explorer 3.02)"},
    {"ADVAPI32.DLL", "CryptSignHashA", k98, false, kNt4, "CryptoAPI (Windows 95 OSR2, Internet Explorer 3.02)"},
    {"ADVAPI32.DLL", "CryptGenKey", k98, false, kNt4, "CryptoAPI (Windows 95 OSR2, Internet Explorer 3.02)"},
    {"ADVAPI32.DLL", "CryptExportKey", k98, false, kNt4, "CryptoAPI (Windows 95 OSR2, Internet Explorer 3.02)"},
    // no old page found; believed Windows 95 / NT 3.1 (from 16-bit Windows)
    {"SHELL32.DLL", "ShellExecuteA", k95, false, kNt31, ""},
    // Win32 SDK help (techshelps.github.io/Win32Api Documentation/html/28ru_hc.htm): "[Now
    // Supported on Windows NT]"; NT 4.0 believed
    {"SHELL32.DLL", "ShellExecuteExA", k95, false, kNt4, ""},
    // Win32 SDK help (techshelps.github.io/Win32Api Documentation/html/1nuv5vq.htm): "[Now
    // Supported on Windows NT]"; NT 4.0 believed
    {"SHELL32.DLL", "Shell_NotifyIconA", k95, false, kNt4, ""},
    // KB Q241733: "will only work on Windows 95 if Internet Explorer 4.0 is installed with the
    // desktop update" (NT 4.0 likewise)
    {"SHELL32.DLL", "SHGetSpecialFolderPathA", k98, false, k2000, "the shell of Internet Explorer 4 (shell32 4.71)"},
    // "Shell and Common Controls Versions" (bb776779): shell32 4.71 (Internet Explorer 4);
    // believed missing before
    {"SHELL32.DLL", "DllGetVersion", k98, false, k2000, "the shell of Internet Explorer 4 (shell32 4.71)"},
    // as SHGetSpecialFolderPathA (KB Q241733); a stub on the 9x line by "Windows 95 General
    // Limitations" (belief)
    {"SHELL32.DLL", "SHGetSpecialFolderPathW", k98, true, k2000, ""},
    // MSDN Library 1998 pdui/windows_2b00 QuickInfo
    {"USER32.DLL", "BringWindowToTop", k95, false, kNt31, ""},
    // Win32 SDK help (techshelps.github.io/Win32/html/1vzd_xa.htm); BM_SETCHECK, which it sends:
    // MSDN 1998 pdui/buttons_49pn, NT 3.1, Windows 95
    {"USER32.DLL", "CheckDlgButton", k95, false, kNt31, ""},
    // MSDN Library 1998 pdui/dlgboxes_8bhp QuickInfo
    {"USER32.DLL", "CreateDialogIndirectParamA", k95, false, kNt31, ""},
    // MSDN Library 1998 pdui/dlgboxes_20ml QuickInfo
    {"USER32.DLL", "CreateDialogParamA", k95, false, kNt31, ""},
    // MSDN Library 1998 pdui/newmenus_45md QuickInfo
    {"USER32.DLL", "CreatePopupMenu", k95, false, kNt31, ""},
    // MSDN Library 1998 pdui/windows_1w6w QuickInfo
    {"USER32.DLL", "CreateWindowExA", k95, false, kNt31, ""},
    // MSDN Library 1998 pdui/winprocs_10o3 QuickInfo
    {"USER32.DLL", "DefWindowProcA", k95, false, kNt31, ""},
    // MSDN Library 1998 pdui/newmenus_4mlx QuickInfo
    {"USER32.DLL", "DeleteMenu", k95, false, kNt31, ""},
    // MSDN Library 1998 pdui/icons_5kxa QuickInfo
    {"USER32.DLL", "DestroyIcon", k95, false, kNt31, ""},
    // MSDN Library 1998 pdui/newmenus_88ad QuickInfo
    {"USER32.DLL", "DestroyMenu", k95, false, kNt31, ""},
    // MSDN Library 1998 pdui/windows_856f QuickInfo
    {"USER32.DLL", "DestroyWindow", k95, false, kNt31, ""},
    // MSDN Library 1998 pdui/dlgboxes_4ib1 QuickInfo
    {"USER32.DLL", "DialogBoxParamA", k95, false, kNt31, ""},
    // MSDN Library 1998 pdui/messques_55b9 QuickInfo
    {"USER32.DLL", "DispatchMessageA", k95, false, kNt31, ""},
    // MSDN Library 1998 pdui/keybinpt_9m0n QuickInfo
    {"USER32.DLL", "EnableWindow", k95, false, kNt31, ""},
    // MSDN Library 1998 pdui/dlgboxes_9up3 QuickInfo
    {"USER32.DLL", "EndDialog", k95, false, kNt31, ""},
    // MSDN Library 1998 pdui/windows_7wvn QuickInfo
    {"USER32.DLL", "EnumWindows", k95, false, kNt31, ""},
    // MSDN Library 1998 pdsms/shutdown_3ago (NT: needs SE_SHUTDOWN_NAME); versions from copies of
    // the SDK help
    {"USER32.DLL", "ExitWindowsEx", k95, false, kNt31, ""},
    // MSDN Library 1998 pdui/winclass_0zdx QuickInfo
    {"USER32.DLL", "GetClassNameA", k95, false, kNt31, ""},
    // MSDN Library 1998 pdui/cursors_506r QuickInfo
    {"USER32.DLL", "GetCursorPos", k95, false, kNt31, ""},
    // MSDN Library 1998 pdui/windows_6uuv QuickInfo
    {"USER32.DLL", "GetDesktopWindow", k95, false, kNt31, ""},
    // MSDN Library 1998 pdui/dlgboxes_2zz8 QuickInfo
    {"USER32.DLL", "GetDlgCtrlID", k95, false, kNt31, ""},
    // MSDN Library 1998 pdui/dlgboxes_7k8d QuickInfo
    {"USER32.DLL", "GetDlgItem", k95, false, kNt31, ""},
    // MSDN Library 1998 pdui/dlgboxes_454k QuickInfo
    {"USER32.DLL", "GetDlgItemInt", k95, false, kNt31, ""},
    // MSDN Library 1998 pdui/dlgboxes_64xg QuickInfo
    {"USER32.DLL", "GetDlgItemTextA", k95, false, kNt31, ""},
    // MSDN Library 1998 pdui/newmenus_68z8 QuickInfo
    {"USER32.DLL", "GetMenuItemCount", k95, false, kNt31, ""},
    // MSDN Library 1998 pdui/windows_8ewk QuickInfo
    {"USER32.DLL", "GetParent", k95, false, kNt31, ""},
    // MSDN Library 1998 pdsms/sysinfo_8fjn QuickInfo
    {"USER32.DLL", "GetSystemMetrics", k95, false, kNt31, ""},
    // MSDN Library 1998 pdui/windows_0p87 QuickInfo
    {"USER32.DLL", "GetWindow", k95, false, kNt31, ""},
    // MSDN Library 1998 pdui/winclass_1dk7 QuickInfo
    {"USER32.DLL", "GetWindowLongA", k95, false, kNt31, ""},
    // MSDN Library 1998 pdui/windows_79bo QuickInfo
    {"USER32.DLL", "GetWindowPlacement", k95, false, kNt31, ""},
    // MSDN Library 1998 pdui/windows_471w QuickInfo
    {"USER32.DLL", "GetWindowRect", k95, false, kNt31, ""},
    // MSDN Library 1998 pdui/windows_5gms QuickInfo
    {"USER32.DLL", "GetWindowTextA", k95, false, kNt31, ""},
    // MSDN 1998 pdui/newmenus_9yid ("obsolete", no QuickInfo); believed Windows 95 / NT 3.1
    {"USER32.DLL", "InsertMenuA", k95, false, kNt31, ""},
    // MSDN Library 1998 pdui/dlgboxes_5t45 QuickInfo
    {"USER32.DLL", "IsDialogMessageA", k95, false, kNt31, ""},
    // Win32 SDK help (techshelps.github.io/Win32/html/1vzd_xa.htm); BM_GETCHECK, which it sends:
    // MSDN 1998 pdui/buttons_214b, NT 3.1, Windows 95
    {"USER32.DLL", "IsDlgButtonChecked", k95, false, kNt31, ""},
    // MSDN Library 1998 pdui/windows_1e77 QuickInfo
    {"USER32.DLL", "IsIconic", k95, false, kNt31, ""},
    // MSDN Library 1998 pdui/windows_8nuf QuickInfo
    {"USER32.DLL", "IsWindow", k95, false, kNt31, ""},
    // MSDN 1998 pdui/cursors_2sab ("obsolete", no QuickInfo); believed Windows 95 / NT 3.1
    {"USER32.DLL", "LoadCursorA", k95, false, kNt31, ""},
    // MSDN Library 1998 pdui/dlgboxes_76bc QuickInfo
    {"USER32.DLL", "MessageBoxA", k95, false, kNt31, ""},
    // MSDN Library 1998 pdui/messques_8085 QuickInfo
    {"USER32.DLL", "PeekMessageA", k95, false, kNt31, ""},
    // MSDN Library 1998 pdui/messques_87mt QuickInfo
    {"USER32.DLL", "PostMessageA", k95, false, kNt31, ""},
    // MSDN Library 1998 pdui/messques_0tgl QuickInfo
    {"USER32.DLL", "PostQuitMessage", k95, false, kNt31, ""},
    // MSDN Library 1998 pdui/winclass_70s3 QuickInfo
    {"USER32.DLL", "RegisterClassA", k95, false, kNt31, ""},
    // MSDN Library 1998 pdui/messques_10h1 QuickInfo
    {"USER32.DLL", "RegisterWindowMessageA", k95, false, kNt31, ""},
    // MSDN Library 1998 pdui/dlgboxes_7u05 QuickInfo
    {"USER32.DLL", "SendDlgItemMessageA", k95, false, kNt31, ""},
    // MSDN Library 1998 pdui/messques_8ht1 QuickInfo
    {"USER32.DLL", "SendMessageA", k95, false, kNt31, ""},
    // MSDN Library 1998 pdui/messques_9l4k QuickInfo
    {"USER32.DLL", "SendMessageTimeoutA", k95, false, kNt31, ""},
    // MSDN Library 1998 pdui/dlgboxes_0lis QuickInfo
    {"USER32.DLL", "SetDlgItemTextA", k95, false, kNt31, ""},
    // MSDN Library 1998 pdui/windows_1eev QuickInfo
    {"USER32.DLL", "SetForegroundWindow", k95, false, kNt31, ""},
    // MSDN Library 1998 pdui/winclass_64tj QuickInfo
    {"USER32.DLL", "SetWindowLongA", k95, false, kNt31, ""},
    // MSDN Library 1998 pdui/windows_2blf QuickInfo
    {"USER32.DLL", "SetWindowPos", k95, false, kNt31, ""},
    // MSDN Library 1998 pdui/windows_07w4 QuickInfo
    {"USER32.DLL", "SetWindowTextA", k95, false, kNt31, ""},
    // MSDN Library 1998 pdui/windows_2tdj QuickInfo
    {"USER32.DLL", "ShowWindow", k95, false, kNt31, ""},
    // MSDN Library 1998 pdui/newmenus_0hdi QuickInfo
    {"USER32.DLL", "TrackPopupMenu", k95, false, kNt31, ""},
    // MSDN Library 1998 pdui/messques_8vj9 QuickInfo
    {"USER32.DLL", "TranslateMessage", k95, false, kNt31, ""},
    // MSDN Library 1998 pdui/winclass_7bjn QuickInfo
    {"USER32.DLL", "UnregisterClassA", k95, false, kNt31, ""},
    // MSDN Library 1998 pdui/resource_9fhi QuickInfo
    {"USER32.DLL", "LoadImageA", k95, false, kNt4, ""},
    // MSDN Library 1998 pdui/dlgboxes_4hf8 QuickInfo
    {"USER32.DLL", "MapDialogRect", k95, false, kNt31, ""},
    // no old page found; believed Windows 98 and NT 4.0 SP4: looked up, with its fallback
    {"USER32.DLL", "GetAncestor", k98, false, kNt4Sp4, ""},
    // no QuickInfo found; KB Q166217: OLE32.DLL ships with Windows 95 (newer exports come with
    // DCOM); NT 3.5 believed
    {"OLE32.DLL", "CoInitialize", k95, false, kNt35, ""},
    {"OLE32.DLL", "CoUninitialize", k95, false, kNt35, ""},
    {"OLE32.DLL", "OleInitialize", k95, false, kNt35, ""},
    {"OLE32.DLL", "OleUninitialize", k95, false, kNt35, ""},
    // Win32 SDK help copy (sgr.info/dev/win32api/CreateFont.htm): "NT 3.1 or later; Windows 95 or
    // later"
    {"GDI32.DLL", "CreateFontA", k95, false, kNt31, ""},
    // no old page found; believed Windows 95 / NT 3.1 (GDI since Windows 1)
    {"GDI32.DLL", "DeleteObject", k95, false, kNt31, ""},
    // no old page found; believed Windows 95 / NT 3.1
    {"GDI32.DLL", "RemoveFontResourceA", k95, false, kNt31, ""},
    // Geoff Chappell, COMCTL32 history: 3.51 in NT 3.51, 4.00 in Windows 95 (belief for NT 3.51)
    {"COMCTL32.DLL", "InitCommonControls", k95, false, kNt351, ""},
    // Geoff Chappell, COMCTL32 4.00 exports (names400): not in 4.00; "Shell and Common Controls
    // Versions" (bb776779): 4.70, Internet Explorer 3
    {"COMCTL32.DLL", "InitCommonControlsEx", k98, false, kNt4, "the common controls 4.70 (Internet Explorer 3)"},
    // SDK help copy (allapi.mentalis.org/apilist/SetupPromptReboot.shtml): "NT 4.0 or later;
    // Windows 95 or later"; setupapi.dll not in the first Windows 95 (belief)
    {"SETUPAPI.DLL", "SetupPromptReboot", k98, false, kNt4, "the setup library (setupapi.dll), later releases"},
    // "Windows Sockets 2 for Windows 95" readme: ws2_32.dll is the Winsock 2 update of Windows 95;
    // in Windows 98 and NT 4.0
    {"WS2_32.DLL", "WSAStartup", k98, false, kNt4, "the Windows Sockets 2 update"},
    {"WS2_32.DLL", "WSACleanup", k98, false, kNt4, "the Windows Sockets 2 update"},
    {"WS2_32.DLL", "WSAGetLastError", k98, false, kNt4, "the Windows Sockets 2 update"},
    {"WS2_32.DLL", "socket", k98, false, kNt4, "the Windows Sockets 2 update"},
    {"WS2_32.DLL", "closesocket", k98, false, kNt4, "the Windows Sockets 2 update"},
    {"WS2_32.DLL", "shutdown", k98, false, kNt4, "the Windows Sockets 2 update"},
    {"WS2_32.DLL", "ioctlsocket", k98, false, kNt4, "the Windows Sockets 2 update"},
    {"WS2_32.DLL", "select", k98, false, kNt4, "the Windows Sockets 2 update"},
    {"WS2_32.DLL", "connect", k98, false, kNt4, "the Windows Sockets 2 update"},
    {"WS2_32.DLL", "send", k98, false, kNt4, "the Windows Sockets 2 update"},
    {"WS2_32.DLL", "recv", k98, false, kNt4, "the Windows Sockets 2 update"},
    {"WS2_32.DLL", "gethostbyname", k98, false, kNt4, "the Windows Sockets 2 update"},
    // Windows 95 ships Windows Sockets 1.1 (wsock32.dll); NT 3.5 believed (no source found)
    {"WSOCK32.DLL", "WSAStartup", k95, false, kNt35, ""},
    {"WSOCK32.DLL", "WSACleanup", k95, false, kNt35, ""},
    {"WSOCK32.DLL", "WSAGetLastError", k95, false, kNt35, ""},
    {"WSOCK32.DLL", "socket", k95, false, kNt35, ""},
    {"WSOCK32.DLL", "closesocket", k95, false, kNt35, ""},
    {"WSOCK32.DLL", "shutdown", k95, false, kNt35, ""},
    {"WSOCK32.DLL", "ioctlsocket", k95, false, kNt35, ""},
    {"WSOCK32.DLL", "select", k95, false, kNt35, ""},
    {"WSOCK32.DLL", "connect", k95, false, kNt35, ""},
    {"WSOCK32.DLL", "send", k95, false, kNt35, ""},
    {"WSOCK32.DLL", "recv", k95, false, kNt35, ""},
    {"WSOCK32.DLL", "gethostbyname", k95, false, kNt35, ""},
    // KB Q154591 (msvcrt.dll versions); not in the first Windows 95 releases (inferred from its
    // dates), in NT 4.0
    {"MSVCRT.DLL", "__getmainargs", k95, false, kNt4, "msvcrt.dll (not in its first releases)"},
    {"MSVCRT.DLL", "__initenv", k95, false, kNt4, "msvcrt.dll (not in its first releases)"},
    {"MSVCRT.DLL", "__p__acmdln", k95, false, kNt4, "msvcrt.dll (not in its first releases)"},
    {"MSVCRT.DLL", "__p__commode", k95, false, kNt4, "msvcrt.dll (not in its first releases)"},
    {"MSVCRT.DLL", "__p__fmode", k95, false, kNt4, "msvcrt.dll (not in its first releases)"},
    {"MSVCRT.DLL", "__set_app_type", k95, false, kNt4, "msvcrt.dll (not in its first releases)"},
    {"MSVCRT.DLL", "__setusermatherr", k95, false, kNt4, "msvcrt.dll (not in its first releases)"},
    {"MSVCRT.DLL", "_amsg_exit", k95, false, kNt4, "msvcrt.dll (not in its first releases)"},
    {"MSVCRT.DLL", "_cexit", k95, false, kNt4, "msvcrt.dll (not in its first releases)"},
    {"MSVCRT.DLL", "_dup", k95, false, kNt4, "msvcrt.dll (not in its first releases)"},
    {"MSVCRT.DLL", "_errno", k95, false, kNt4, "msvcrt.dll (not in its first releases)"},
    {"MSVCRT.DLL", "_close", k95, false, kNt4, "msvcrt.dll (not in its first releases)"},
    {"MSVCRT.DLL", "_commit", k95, false, kNt4, "msvcrt.dll (not in its first releases)"},
    {"MSVCRT.DLL", "_initterm", k95, false, kNt4, "msvcrt.dll (not in its first releases)"},
    {"MSVCRT.DLL", "_iob", k95, false, kNt4, "msvcrt.dll (not in its first releases)"},
    {"MSVCRT.DLL", "_onexit", k95, false, kNt4, "msvcrt.dll (not in its first releases)"},
    {"MSVCRT.DLL", "_open", k95, false, kNt4, "msvcrt.dll (not in its first releases)"},
    {"MSVCRT.DLL", "_write", k95, false, kNt4, "msvcrt.dll (not in its first releases)"},
    {"MSVCRT.DLL", "abort", k95, false, kNt4, "msvcrt.dll (not in its first releases)"},
    {"MSVCRT.DLL", "calloc", k95, false, kNt4, "msvcrt.dll (not in its first releases)"},
    {"MSVCRT.DLL", "exit", k95, false, kNt4, "msvcrt.dll (not in its first releases)"},
    {"MSVCRT.DLL", "fclose", k95, false, kNt4, "msvcrt.dll (not in its first releases)"},
    {"MSVCRT.DLL", "fopen", k95, false, kNt4, "msvcrt.dll (not in its first releases)"},
    {"MSVCRT.DLL", "fprintf", k95, false, kNt4, "msvcrt.dll (not in its first releases)"},
    {"MSVCRT.DLL", "fread", k95, false, kNt4, "msvcrt.dll (not in its first releases)"},
    {"MSVCRT.DLL", "free", k95, false, kNt4, "msvcrt.dll (not in its first releases)"},
    {"MSVCRT.DLL", "fseek", k95, false, kNt4, "msvcrt.dll (not in its first releases)"},
    {"MSVCRT.DLL", "ftell", k95, false, kNt4, "msvcrt.dll (not in its first releases)"},
    {"MSVCRT.DLL", "fwrite", k95, false, kNt4, "msvcrt.dll (not in its first releases)"},
    {"MSVCRT.DLL", "malloc", k95, false, kNt4, "msvcrt.dll (not in its first releases)"},
    {"MSVCRT.DLL", "memchr", k95, false, kNt4, "msvcrt.dll (not in its first releases)"},
    {"MSVCRT.DLL", "memcpy", k95, false, kNt4, "msvcrt.dll (not in its first releases)"},
    {"MSVCRT.DLL", "memmove", k95, false, kNt4, "msvcrt.dll (not in its first releases)"},
    {"MSVCRT.DLL", "memset", k95, false, kNt4, "msvcrt.dll (not in its first releases)"},
    {"MSVCRT.DLL", "signal", k95, false, kNt4, "msvcrt.dll (not in its first releases)"},
    {"MSVCRT.DLL", "strlen", k95, false, kNt4, "msvcrt.dll (not in its first releases)"},
    {"MSVCRT.DLL", "strncmp", k95, false, kNt4, "msvcrt.dll (not in its first releases)"},
    {"MSVCRT.DLL", "vfprintf", k95, false, kNt4, "msvcrt.dll (not in its first releases)"},
    {"MSVCRT.DLL", "_stat", k95, false, kNt4, "msvcrt.dll (not in its first releases)"},
    {"MSVCRT.DLL", "getenv", k95, false, kNt4, "msvcrt.dll (not in its first releases)"},
};
// clang-format on

// The systems the programs are made for, as Wine names them in a prefix's "Version" value.
struct System {
    const char* name;
    bool nineX;   // the 9x line
    int release;  // as the rows number it
};
constexpr System kSystems[] = {
    {"win95", true, k95},     {"win98", true, k98},    {"winme", true, kMe},
    {"nt40", false, kNt4},    {"win2k", false, k2000}, {"winxp", false, kXp},
    {"win7", false, k7},      {"win10", false, k10},
};

inline const System* FindSystem(const char* name) {
    for (const System& system : kSystems)
        if (strcmp(system.name, name) == 0) return &system;
    return nullptr;
}

// The row of a function: of that library where it has one, else of any library (calls reach
// a function through the library that implements it, kernel32's through kernelbase).
inline const Row* Find(const char* library, const char* name) {
    const Row* any = nullptr;
    for (const Row& row : kRows) {
        if (strcmp(row.name, name) != 0) continue;
        if (library != nullptr && strcmp(row.library, library) == 0) return &row;
        if (any == nullptr) any = &row;
    }
    return any;
}

// The system's loader finds the function: a program that imports it starts there (on
// Windows 95 once what `needs95` names is added).
inline bool Exports(const Row& row, const System& system) {
    const int first = system.nineX ? row.first9x : row.firstNt;
    return first != kNever && first <= system.release;
}

// A call to it works there: exported, and not only as a stub.
inline bool Works(const Row& row, const System& system) {
    return Exports(row, system) && !(system.nineX && row.stub9x);
}

}  // namespace api
