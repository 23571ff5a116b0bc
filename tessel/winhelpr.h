// Tessel window helpers: folders, path clean-up, COM and common controls, fonts, dialog
// controls, message pump, window placement, tray icon, window search, single instance.
// PathNormalize is portable; everything else is Win32 only.
#pragma once

#include <stdint.h>

// Path clean-up in place: '/' becomes '\', "." and ".." components are resolved (a ".." never
// climbs above a root, a drive or a share "\\server\share\"); mode 1 ensures a trailing backslash, any other mode removes
// one. The result is never longer than the path, except that mode 1 may add one character:
// the buffer must have room for it. A path that resolves to nothing becomes ".".
int PathNormalize(char* path, int mode);

// Cuts a file name (a module's, or any other; in a buffer of `size` bytes) down to its folder,
// ending in a backslash, after removing a leading "\\?\" ("\\?\UNC\" becomes "\\") and
// normalising it. "C:name" gives "C:\"; a bare name without '\' or ':' gives ".\" (the
// current folder, where such a name is looked up). 0 with an empty buffer for an empty name
// or no room. Pure; WinModuleDir, WinSaveFile and PlatformReplaceFile use it.
int PathModuleDir(char* path, int size);

// Keeps a window position on the virtual screen (origin left, top; size screenWidth,
// screenHeight): a window starting beyond the right or bottom edge is pulled back so its far
// edge meets it, and no position stays left of or above the origin. Pure; WinMoveOnScreen
// uses it.
int ScreenClampPosition(int* x, int* y, int width, int height, int left, int top,
                        int screenWidth, int screenHeight);

// The position of a progress bar of range 0..2000 for a percentage: percent x 20 truncated
// toward zero, clamped to 0..2000 (NaN gives 0). Pure; ProgressSetPercent uses it.
int ProgressPosition(double percent);

#ifdef _WIN32
#include <windows.h>

// The 8-bit form of a path the system gives in its wide form, for the 8-bit calls: the path
// itself where the ANSI code page holds every character exactly, else its short (8.3) form
// where that one does (a user's folder "C:\users\<Greek name>\Temp" becomes
// "C:\users\_MEG~MCN\Temp"). 0 with an empty buffer where neither does (no such file, no
// short name on its volume) or the result does not fit. Never a look-alike of the name.
// Every folder lookup below goes through it.
int WinPathToAnsi(const wchar_t* path, char* buffer, int size);

// The same for a path in the 8-bit form the 9x line gives: the path itself where it fits
// the buffer, else its short (8.3) form where that one does; 0 with an empty buffer else.
int WinFitAnsiPath(const char* path, char* buffer, int size);

// The full path of a module's file (null: the running program), in the form above.
int WinModulePath(HMODULE module, char* buffer, int size);
int WinModuleDir(HMODULE module, char* buffer, int size);
int WinProgramDir(char* buffer, int size);
int WinSystemDir(char* buffer, int size);
int WinWindowsDir(char* buffer, int size);
int WinTempDir(char* buffer, int size);
int WinCurrentDir(char* buffer, int size);
// A shell folder by its CSIDL number (CSIDL_PROGRAMS: the Start menu's programs folder).
int WinShellFolder(int folder, char* buffer, int size);

// Saves a whole file: the bytes go to a new file of a unique name beside it, through to the
// disk, which replaces the old one only once complete; so a failed or interrupted save never
// loses what the file held. 0 on failure, the old file then as it was. `held`: a handle the
// caller keeps open on the old file so that nobody changes it while the new one is made;
// it is closed here in every case, just before the replacement, which a file that is open
// would stop.
int WinSaveFile(const char* path, const void* bytes, int32_t size,
                HANDLE held = INVALID_HANDLE_VALUE);

// Keeps every library the process loads by name to the system folder: neither the
// program's own folder (for the uninstaller's elevated copy the temporary folder, which the
// user can write to without elevation) nor the current folder is searched any more. Done
// with SetDefaultDllDirectories where the system has it; elsewhere only the current folder
// is taken out of the search. 1 when the search is down to the system folder.
int WinRestrictLibrarySearch();
// Loads a library by its full path; the libraries it needs come from its own folder and
// then the system folder. Null when it cannot be loaded.
HMODULE WinLoadLibraryFrom(const char* fullPath);

int WinInitCommonControls();
int WinInitCom();
int WinUninitCom();
int WinRemoveFont(const char* fontFile);

LRESULT DlgItemSend(HWND dialog, int id, UINT message, WPARAM wParam, LPARAM lParam);
int DlgSetText(HWND dialog, int id, const char* text, int limit);
int DlgGetText(HWND dialog, int id, char* buffer, int size);
int DlgSetInt(HWND dialog, int id, int32_t value, int limit);
int DlgGetInt(HWND dialog, int id, int32_t* value);
int DlgSetCheck(HWND dialog, int id, int state);
int DlgGetCheck(HWND dialog, int id, int* state);
int DlgEnable(HWND dialog, int id, int flag);

int ComboReset(HWND dialog, int id);
int ComboAdd(HWND dialog, int id, int* index, const char* text);
int ComboDelete(HWND dialog, int id, int index);
int ComboCount(HWND dialog, int id, int* count);
int ComboGetSel(HWND dialog, int id, int* index);
int ComboSetSel(HWND dialog, int id, int index);
// The item's text; the buffer must hold it. The forms with a size refuse (0, empty buffer) an
// item that does not fit.
int ComboGetText(HWND dialog, int id, int index, char* buffer);
int ComboGetText(HWND dialog, int id, int index, char* buffer, int size);
int ComboGetSelText(HWND dialog, int id, char* buffer);
int ComboGetSelText(HWND dialog, int id, char* buffer, int size);
int ComboSelectExact(HWND dialog, int id, const char* text);
int ComboFill(HWND dialog, int id, ...);  // texts, ending in a null pointer

int TrackSetRange(HWND dialog, int id, int minimum, int maximum);
int TrackSetPos(HWND dialog, int id, int position);
int TrackGetPos(HWND dialog, int id, int* position);
int TrackSetStep(HWND dialog, int id, int step);
int ProgressReset(HWND dialog, int id);
int ProgressSetPercent(HWND dialog, int id, double percent);

int PumpMessages();
int WinGetRect(HWND window, int* x, int* y, int* width, int* height);
int WinMoveOnScreen(HWND window, int x, int y, int width, int height);
int WinCenter(HWND window, HWND over);

int TrayAdd(HWND owner, UINT iconId, HICON icon, UINT callbackMessage, const char* tip);
int TrayRemove(HWND owner, UINT iconId, HICON icon, UINT callbackMessage, const char* tip);
int TrayIsRecreateMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

int WinFindTopLevel(const char* className, const char* title, HWND* found);
int SingleInstanceCheck(const char* appName, const char* className, const char* title,
                        DWORD waitMs, int raise, int message);
#endif
