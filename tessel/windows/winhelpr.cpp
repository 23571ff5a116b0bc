// Window helpers, Win32 part: well-known folders, COM and common-control start-up, font
// removal, dialog-control wrappers, the message pump, window placement, the notification-area
// icon, the top-level window search and the single-instance guard. Everything runs on the
// calling GUI thread.

#include "tessel/winhelpr.h"

#include <commctrl.h>
#include <objbase.h>
#include <ole2.h>
#include <shellapi.h>
#include <shlobj.h>
#include <stdarg.h>
#include <stddef.h>

#include "tessel/platform.h"
#include "tessel/tsl-core.h"
#include "tessel/tsl-str.h"

static const char kSrc[] = "winhelpr";

// Wide paths the system hands over; longer ones are refused rather than cut.
static const int kWidePath = 2048;

// ---------------------------------------------------------------------------
// Folders
// ---------------------------------------------------------------------------

// Two wide texts with the same characters, compared code by code (no linguistic rules).
static int SameWide(const wchar_t* a, const wchar_t* b) {
    while (*a != L'\0' && *a == *b) {
        a++;
        b++;
    }
    return *a == *b;
}

// The 8-bit text of a wide path where the ANSI code page holds every character of it
// exactly (no best-fit look-alike, no default character: the text converts back to the same
// wide path). 0 with an empty buffer otherwise, or when it does not fit. UTF-8 as the ANSI
// code page (a setting of Windows 10 and later) takes neither the no-best-fit flag nor the
// default-character report; its conversion is exact by nature, and the round trip still
// catches what it cannot hold.
static int AnsiExact(const wchar_t* wide, char* buffer, int size) {
    BOOL usedDefault = FALSE;
    const int utf8 = GetACP() == CP_UTF8;
    int n = WideCharToMultiByte(CP_ACP, utf8 ? 0 : WC_NO_BEST_FIT_CHARS, wide, -1, buffer, size,
                                nullptr, utf8 ? nullptr : &usedDefault);
    if (n > 0 && !usedDefault) {
        wchar_t back[kWidePath];
        int m = MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, buffer, -1, back, kWidePath);
        if (m > 0 && SameWide(back, wide)) return 1;
    }
    buffer[0] = '\0';
    return 0;
}

int WinPathToAnsi(const wchar_t* path, char* buffer, int size) {
    TSL_NOT_NULL(kSrc, path);
    TSL_NOT_NULL(kSrc, buffer);
    if (size <= 0) return 0;
    if (AnsiExact(path, buffer, size)) return 1;
    wchar_t shortPath[kWidePath];
    DWORD n = GetShortPathNameW(path, shortPath, kWidePath);
    if (n > 0 && n < kWidePath && AnsiExact(shortPath, buffer, size)) return 1;
    buffer[0] = '\0';
    return 0;
}

int WinFitAnsiPath(const char* path, char* buffer, int size) {
    TSL_NOT_NULL(kSrc, path);
    TSL_NOT_NULL(kSrc, buffer);
    if (size <= 0) return 0;
    buffer[0] = '\0';
    if (StrLen(path) < size) return StrCopy(buffer, path);
    const DWORD length = GetShortPathNameA(path, buffer, static_cast<DWORD>(size));
    if (length > 0 && length < static_cast<DWORD>(size)) return 1;
    buffer[0] = '\0';
    return 0;
}

// A path the 9x line gave in `path` of MAX_PATH bytes (`length` characters; 0 when it failed,
// MAX_PATH or more when it did not fit), as WinFitAnsiPath fits it into the buffer.
static int AnsiFit(const char* path, DWORD length, char* buffer, int size) {
    buffer[0] = '\0';
    if (length == 0 || length >= MAX_PATH) return 0;
    return WinFitAnsiPath(path, buffer, size);
}

// On the 9x line the system gives paths in their 8-bit form, which is its own; on the NT
// line the wide form is asked for and turned into its exact or short 8-bit form.
int WinModulePath(HMODULE module, char* buffer, int size) {
    TSL_NOT_NULL(kSrc, buffer);
    if (size <= 0) return 0;
    buffer[0] = '\0';
    if (!PlatformUnicode()) {
        // A name that filled the buffer was cut: it would name another file.
        char path[MAX_PATH] = {};
        return AnsiFit(path, GetModuleFileNameA(module, path, MAX_PATH), buffer, size);
    }
    wchar_t wide[kWidePath];
    DWORD length = GetModuleFileNameW(module, wide, kWidePath);
    if (length == 0 || length >= kWidePath) return 0;
    return WinPathToAnsi(wide, buffer, size);
}

int WinModuleDir(HMODULE module, char* buffer, int size) {
    TSL_NOT_NULL(kSrc, buffer);
    if (size <= 0) return 0;
    for (int i = 0; i < size; i++) buffer[i] = '\0';
    if (!WinModulePath(module, buffer, size)) return 0;
    return PathModuleDir(buffer, size);
}

int WinProgramDir(char* buffer, int size) {
    return WinModuleDir(nullptr, buffer, size);
}

// Finishes a folder in its 8-bit form in `buffer`: it ends in a backslash. A folder without
// its backslash needs room for one more character.
static int FolderFinish(char* buffer, int size) {
    int n = StrLen(buffer);
    if (n == 0 || (buffer[n - 1] != '\\' && n + 2 > size)) {
        buffer[0] = '\0';
        return 0;
    }
    return PathNormalize(buffer, 1);
}

// A folder the system gave in its 8-bit form into `path` of MAX_PATH bytes (`length`
// characters; 0 on failure, the size it would need when that was too small).
static int FolderResult(const char* path, DWORD length, char* buffer, int size) {
    if (!AnsiFit(path, length, buffer, size)) return 0;
    return FolderFinish(buffer, size);
}

// The same for a folder the system gave in its wide form.
static int FolderResult(const wchar_t* wide, DWORD length, char* buffer, int size) {
    buffer[0] = '\0';
    if (length == 0 || length >= kWidePath || !WinPathToAnsi(wide, buffer, size)) return 0;
    return FolderFinish(buffer, size);
}

int WinSystemDir(char* buffer, int size) {
    TSL_NOT_NULL(kSrc, buffer);
    if (size <= 0) return 0;
    if (!PlatformUnicode()) {
        char path[MAX_PATH] = {};
        return FolderResult(path, GetSystemDirectoryA(path, MAX_PATH), buffer, size);
    }
    wchar_t wide[kWidePath];
    return FolderResult(wide, GetSystemDirectoryW(wide, kWidePath), buffer, size);
}

int WinWindowsDir(char* buffer, int size) {
    TSL_NOT_NULL(kSrc, buffer);
    if (size <= 0) return 0;
    if (!PlatformUnicode()) {
        char path[MAX_PATH] = {};
        return FolderResult(path, GetWindowsDirectoryA(path, MAX_PATH), buffer, size);
    }
    wchar_t wide[kWidePath];
    return FolderResult(wide, GetWindowsDirectoryW(wide, kWidePath), buffer, size);
}

int WinTempDir(char* buffer, int size) {
    TSL_NOT_NULL(kSrc, buffer);
    if (size <= 0) return 0;
    if (!PlatformUnicode()) {
        char path[MAX_PATH] = {};
        return FolderResult(path, GetTempPathA(MAX_PATH, path), buffer, size);
    }
    wchar_t wide[kWidePath];
    return FolderResult(wide, GetTempPathW(kWidePath, wide), buffer, size);
}

int WinCurrentDir(char* buffer, int size) {
    TSL_NOT_NULL(kSrc, buffer);
    if (size <= 0) return 0;
    if (!PlatformUnicode()) {
        char path[MAX_PATH] = {};
        return FolderResult(path, GetCurrentDirectoryA(MAX_PATH, path), buffer, size);
    }
    wchar_t wide[kWidePath];
    return FolderResult(wide, GetCurrentDirectoryW(kWidePath, wide), buffer, size);
}

int WinShellFolder(int folder, char* buffer, int size) {
    TSL_NOT_NULL(kSrc, buffer);
    if (size <= 0) return 0;
    if (!PlatformShellFolder(folder, buffer, size)) return 0;
    return FolderFinish(buffer, size);
}

// ---------------------------------------------------------------------------
// Saving a whole file
// ---------------------------------------------------------------------------

namespace {

// Another program reading the old file at the moment it is replaced (a viewer, a backup, a
// virus scanner) keeps it from being replaced: a few more tries.
constexpr int kReplaceAttempts = 20;
constexpr DWORD kReplaceWaitMs = 50;
constexpr int kSavePathSize = 320;

// Writes all of `bytes` to a new file at `path`, through to the disk.
int WriteWholeFile(const char* path, const uint8_t* bytes, int32_t size) {
    HANDLE file = CreateFileA(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return 0;
    int ok = 1;
    int32_t done = 0;
    while (ok && done < size) {
        DWORD written = 0;
        ok = WriteFile(file, bytes + done, static_cast<DWORD>(size - done), &written, nullptr) &&
             written > 0;
        done += static_cast<int32_t>(written);
    }
    if (ok && !FlushFileBuffers(file)) ok = 0;
    if (!CloseHandle(file)) ok = 0;
    return ok;
}

}  // namespace

int WinSaveFile(const char* path, const void* bytes, int32_t size, HANDLE held) {
    TSL_NOT_NULL(kSrc, path);
    if (size > 0) TSL_NOT_NULL(kSrc, bytes);
    int ok = size >= 0 && StrLen(path) < kSavePathSize;
    // The new file gets a name of its own beside the old one, so that two saves at once never
    // write into each other's file.
    char folder[kSavePathSize];
    char fresh[MAX_PATH + 1] = {};
    if (ok) {
        StrCopy(folder, path);
        ok = PathModuleDir(folder, sizeof folder) &&
             GetTempFileNameA(folder, "new", 0, fresh) != 0;
    }
    if (ok && !WriteWholeFile(fresh, static_cast<const uint8_t*>(bytes), size)) {
        DeleteFileA(fresh);
        ok = 0;
    }
    if (held != nullptr && held != INVALID_HANDLE_VALUE) CloseHandle(held);
    for (int attempt = 1; ok; attempt++) {
        if (PlatformReplaceFile(fresh, path)) return 1;
        if (attempt == kReplaceAttempts) {
            DeleteFileA(fresh);
            ok = 0;
        } else {
            Sleep(kReplaceWaitMs);
        }
    }
    return 0;
}

// ---------------------------------------------------------------------------
// Library search
// ---------------------------------------------------------------------------

namespace {

// Windows 7 with its update and every later system narrow the library search with
// SetDefaultDllDirectories, which brings the LOAD_LIBRARY_SEARCH_* flags; XP SP1 and later
// can at least take the current folder out of it (SetDllDirectory). The 9x line has neither.
PlatformCall<BOOL(WINAPI*)(DWORD)> gDefaultDirectories("kernel32.dll", "SetDefaultDllDirectories",
                                                       PLATFORM_NT);
PlatformCall<BOOL(WINAPI*)(LPCSTR)> gDllDirectory("kernel32.dll", "SetDllDirectoryA", PLATFORM_NT);

}  // namespace

int WinRestrictLibrarySearch() {
    auto setDefault = gDefaultDirectories.Get();
    if (setDefault != nullptr && setDefault(LOAD_LIBRARY_SEARCH_SYSTEM32)) return 1;
    if (auto directory = gDllDirectory.Get()) directory("");
    return 0;
}

HMODULE WinLoadLibraryFrom(const char* fullPath) {
    TSL_NOT_NULL(kSrc, fullPath);
    // The library's own folder for the libraries it needs, then the system folder; where the
    // search cannot be narrowed, the altered search path, which starts in its folder too.
    if (gDefaultDirectories.Get() != nullptr)
        return LoadLibraryExA(fullPath, nullptr,
                              LOAD_LIBRARY_SEARCH_DLL_LOAD_DIR | LOAD_LIBRARY_SEARCH_SYSTEM32);
    return LoadLibraryExA(fullPath, nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
}

// ---------------------------------------------------------------------------
// Start-up and fonts
// ---------------------------------------------------------------------------

// The common controls are loaded here, not imported: their library's start-up reaches for
// the desktop (under Wine it starts the desktop's process), which a program that makes no
// window at all never needs. The manifest still selects version 6.
int WinInitCommonControls() {
    if (PlatformInitCommonControls()) return 1;
    LogPrint("Unable to initialise the common controls (0x%.8X)\n",
             static_cast<unsigned>(GetLastError()));
    return 0;
}

int WinInitCom() {
    int ok = 1;
    if (CoInitialize(nullptr) != 0) {
        LogPrint("Unable to initialize COM\n");
        ok = 0;
    }
    if (OleInitialize(nullptr) != 0) {
        LogPrint("Unable to initialize OLE\n");
        ok = 0;
    }
    return ok;
}

int WinUninitCom() {
    OleUninitialize();
    CoUninitialize();
    return 1;
}

int WinRemoveFont(const char* fontFile) {
    TSL_NOT_NULL(kSrc, fontFile);
    if (!RemoveFontResourceA(fontFile)) {
        LogPrint("Unable to remove font resource for '%s' (0x%.8X)\n", fontFile,
                 static_cast<unsigned>(GetLastError()));
        return 0;
    }
    // A hung window elsewhere must not hold the caller up: each window gets a second.
    SendMessageTimeoutA(HWND_BROADCAST, WM_FONTCHANGE, 0, 0, SMTO_ABORTIFHUNG, 1000, nullptr);
    return 1;
}

// ---------------------------------------------------------------------------
// Dialog controls
// ---------------------------------------------------------------------------

LRESULT DlgItemSend(HWND dialog, int id, UINT message, WPARAM wParam, LPARAM lParam) {
    return SendDlgItemMessageA(dialog, id, message, wParam, lParam);
}

int DlgSetText(HWND dialog, int id, const char* text, int limit) {
    TSL_NOT_NULL(kSrc, text);
    if (!SetDlgItemTextA(dialog, id, text)) return 0;
    DlgItemSend(dialog, id, EM_LIMITTEXT, static_cast<WPARAM>(limit), 0);
    DlgItemSend(dialog, id, EM_SETSEL, 0, -1);
    return 1;
}

int DlgGetText(HWND dialog, int id, char* buffer, int size) {
    TSL_NOT_NULL(kSrc, buffer);
    if (size <= 0) return 0;
    buffer[0] = '\0';
    if (GetDlgItem(dialog, id) == nullptr) return 0;
    GetDlgItemTextA(dialog, id, buffer, size);
    buffer[size - 1] = '\0';
    return 1;
}

int DlgSetInt(HWND dialog, int id, int32_t value, int limit) {
    char text[16];
    StrPrintf(text, sizeof text, "%d", value);
    return DlgSetText(dialog, id, text, limit);
}

int DlgGetInt(HWND dialog, int id, int32_t* value) {
    TSL_NOT_NULL(kSrc, value);
    BOOL number = FALSE;
    UINT read = GetDlgItemInt(dialog, id, &number, TRUE);
    *value = number ? static_cast<int32_t>(read) : 0;
    return number ? 1 : 0;
}

int DlgSetCheck(HWND dialog, int id, int state) {
    UINT check = state == 1 ? BST_CHECKED : state == 2 ? BST_INDETERMINATE : BST_UNCHECKED;
    return CheckDlgButton(dialog, id, check) ? 1 : 0;
}

int DlgGetCheck(HWND dialog, int id, int* state) {
    TSL_NOT_NULL(kSrc, state);
    *state = 0;
    if (GetDlgItem(dialog, id) == nullptr) return 0;
    UINT check = IsDlgButtonChecked(dialog, id);
    *state = check == BST_CHECKED ? 1 : check == BST_INDETERMINATE ? 2 : 0;
    return 1;
}

int DlgEnable(HWND dialog, int id, int flag) {
    HWND control = GetDlgItem(dialog, id);
    if (control == nullptr) return 0;
    EnableWindow(control, flag == 1 ? TRUE : FALSE);
    return 1;
}

// ---------------------------------------------------------------------------
// Combo boxes
// ---------------------------------------------------------------------------

int ComboReset(HWND dialog, int id) {
    if (GetDlgItem(dialog, id) == nullptr) return 0;
    return DlgItemSend(dialog, id, CB_RESETCONTENT, 0, 0) == CB_ERR ? 0 : 1;
}

int ComboAdd(HWND dialog, int id, int* index, const char* text) {
    TSL_NOT_NULL(kSrc, index);
    TSL_NOT_NULL(kSrc, text);
    *index = 0;
    if (GetDlgItem(dialog, id) == nullptr) return 0;
    LRESULT added = DlgItemSend(dialog, id, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text));
    if (added < 0) return 0;  // CB_ERR or CB_ERRSPACE
    *index = static_cast<int>(added);
    return 1;
}

int ComboDelete(HWND dialog, int id, int index) {
    if (GetDlgItem(dialog, id) == nullptr) return 0;
    return DlgItemSend(dialog, id, CB_DELETESTRING, static_cast<WPARAM>(index), 0) == CB_ERR ? 0
                                                                                             : 1;
}

int ComboCount(HWND dialog, int id, int* count) {
    TSL_NOT_NULL(kSrc, count);
    *count = 0;
    if (GetDlgItem(dialog, id) == nullptr) return 0;
    LRESULT n = DlgItemSend(dialog, id, CB_GETCOUNT, 0, 0);
    if (n == CB_ERR) return 0;
    *count = static_cast<int>(n);
    return 1;
}

int ComboGetSel(HWND dialog, int id, int* index) {
    TSL_NOT_NULL(kSrc, index);
    *index = 0;
    if (GetDlgItem(dialog, id) == nullptr) return 0;
    LRESULT selected = DlgItemSend(dialog, id, CB_GETCURSEL, 0, 0);
    if (selected == CB_ERR) return 0;
    *index = static_cast<int>(selected);
    return 1;
}

int ComboSetSel(HWND dialog, int id, int index) {
    if (GetDlgItem(dialog, id) == nullptr) return 0;
    return DlgItemSend(dialog, id, CB_SETCURSEL, static_cast<WPARAM>(index), 0) == index ? 1 : 0;
}

int ComboGetText(HWND dialog, int id, int index, char* buffer) {
    TSL_NOT_NULL(kSrc, buffer);
    buffer[0] = '\0';
    if (GetDlgItem(dialog, id) == nullptr) return 0;
    LRESULT length =
        DlgItemSend(dialog, id, CB_GETLBTEXT, static_cast<WPARAM>(index),
                    reinterpret_cast<LPARAM>(buffer));
    if (length == CB_ERR) {
        buffer[0] = '\0';
        return 0;
    }
    return 1;
}

int ComboGetText(HWND dialog, int id, int index, char* buffer, int size) {
    TSL_NOT_NULL(kSrc, buffer);
    if (size <= 0) return 0;
    buffer[0] = '\0';
    if (GetDlgItem(dialog, id) == nullptr) return 0;
    LRESULT length = DlgItemSend(dialog, id, CB_GETLBTEXTLEN, static_cast<WPARAM>(index), 0);
    if (length == CB_ERR || length >= size) return 0;
    return ComboGetText(dialog, id, index, buffer);
}

int ComboGetSelText(HWND dialog, int id, char* buffer) {
    TSL_NOT_NULL(kSrc, buffer);
    int index = 0;
    buffer[0] = '\0';
    if (!ComboGetSel(dialog, id, &index)) return 0;
    return ComboGetText(dialog, id, index, buffer);
}

int ComboGetSelText(HWND dialog, int id, char* buffer, int size) {
    TSL_NOT_NULL(kSrc, buffer);
    int index = 0;
    if (size > 0) buffer[0] = '\0';
    if (!ComboGetSel(dialog, id, &index)) return 0;
    return ComboGetText(dialog, id, index, buffer, size);
}

// Selects the item whose text equals `text` exactly (case-sensitive). The control's own
// search only finds items that begin with the text, ignoring case, so it serves to give up
// early; the items are then compared one by one. When there is no exact match the selection
// is left as it was rather than on some item that merely begins with the text.
int ComboSelectExact(HWND dialog, int id, const char* text) {
    TSL_NOT_NULL(kSrc, text);
    if (GetDlgItem(dialog, id) == nullptr) return 0;
    if (DlgItemSend(dialog, id, CB_FINDSTRING, static_cast<WPARAM>(-1),
                    reinterpret_cast<LPARAM>(text)) == CB_ERR)
        return 0;
    int wanted = StrLen(text);
    for (int i = 0;; i++) {
        LRESULT length = DlgItemSend(dialog, id, CB_GETLBTEXTLEN, static_cast<WPARAM>(i), 0);
        if (length == CB_ERR) return 0;  // past the last item
        if (length != wanted) continue;
        char* item = static_cast<char*>(MemAlloc(wanted + 1, MEM_DEFAULT, kSrc, __LINE__));
        int same = ComboGetText(dialog, id, i, item, wanted + 1) && StrEqual(item, text);
        MemFree(item, wanted + 1, MEM_DEFAULT, kSrc, __LINE__);
        if (same) return ComboSetSel(dialog, id, i);
    }
}

int ComboFill(HWND dialog, int id, ...) {
    HWND TempHWND = GetDlgItem(dialog, id);
    if (TempHWND == nullptr)
        TSL_FAIL(kSrc, "Assertion failed ((TempHWND != NULL))\nTempHWND is NULL\n");
    if (!ComboReset(dialog, id)) return 0;
    va_list texts;
    va_start(texts, id);
    for (const char* text = va_arg(texts, const char*); text != nullptr;
         text = va_arg(texts, const char*)) {
        int index = 0;
        if (!ComboAdd(dialog, id, &index, text)) break;
    }
    va_end(texts);
    return ComboSetSel(dialog, id, 0);
}

// ---------------------------------------------------------------------------
// Sliders and progress bars
// ---------------------------------------------------------------------------

int TrackSetRange(HWND dialog, int id, int minimum, int maximum) {
    if (GetDlgItem(dialog, id) == nullptr) return 0;
    DlgItemSend(dialog, id, TBM_SETRANGEMIN, FALSE, minimum);
    DlgItemSend(dialog, id, TBM_SETRANGEMAX, TRUE, maximum);
    return 1;
}

int TrackSetPos(HWND dialog, int id, int position) {
    if (GetDlgItem(dialog, id) == nullptr) return 0;
    DlgItemSend(dialog, id, TBM_SETPOS, TRUE, position);
    return 1;
}

int TrackGetPos(HWND dialog, int id, int* position) {
    TSL_NOT_NULL(kSrc, position);
    *position = 0;
    if (GetDlgItem(dialog, id) == nullptr) return 0;
    *position = static_cast<int>(DlgItemSend(dialog, id, TBM_GETPOS, 0, 0));
    return 1;
}

int TrackSetStep(HWND dialog, int id, int step) {
    if (GetDlgItem(dialog, id) == nullptr) return 0;
    DlgItemSend(dialog, id, TBM_SETPAGESIZE, 0, step);
    DlgItemSend(dialog, id, TBM_SETTICFREQ, static_cast<WPARAM>(step), 0);
    return 1;
}

static const int kProgressEnd = 2000;  // the bar's range: 20 steps per percent

int ProgressReset(HWND dialog, int id) {
    if (GetDlgItem(dialog, id) == nullptr) return 0;
    DlgItemSend(dialog, id, PBM_SETPOS, 0, 0);
    // The range fits the first progress bars' 16-bit message.
    DlgItemSend(dialog, id, PBM_SETRANGE, 0, MAKELPARAM(0, kProgressEnd));
    return 1;
}

int ProgressSetPercent(HWND dialog, int id, double percent) {
    if (GetDlgItem(dialog, id) == nullptr) return 0;
    DlgItemSend(dialog, id, PBM_SETPOS, static_cast<WPARAM>(ProgressPosition(percent)), 0);
    return 1;
}

// ---------------------------------------------------------------------------
// Messages and placement
// ---------------------------------------------------------------------------

// True when the window is a dialog (the system's dialog class).
static int IsDialogWindow(HWND window) {
    char name[16];
    return GetClassNameA(window, name, sizeof name) > 0 && StrEqual(name, "#32770");
}

int PumpMessages() {
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_NOREMOVE)) {
        if (message.message == WM_CLOSE || message.message == WM_QUIT) return 1;
        if (!PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) break;
        // Keys for a modeless dialog get the dialog's keyboard handling (Escape, Enter,
        // Tab), as the system's own dialog loop gives a modal one.
        HWND root = message.hwnd != nullptr ? PlatformRootWindow(message.hwnd) : nullptr;
        if (root != nullptr && IsDialogWindow(root) && IsDialogMessageA(root, &message)) continue;
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
    Sleep(0);
    return 1;
}

int WinGetRect(HWND window, int* x, int* y, int* width, int* height) {
    TSL_NOT_NULL(kSrc, x);
    TSL_NOT_NULL(kSrc, y);
    TSL_NOT_NULL(kSrc, width);
    TSL_NOT_NULL(kSrc, height);
    RECT rect;
    if (!GetWindowRect(window, &rect)) return 0;
    *x = rect.left;
    *y = rect.top;
    *width = rect.right - rect.left;
    *height = rect.bottom - rect.top;
    return 1;
}

int WinMoveOnScreen(HWND window, int x, int y, int width, int height) {
    int left = GetSystemMetrics(SM_XVIRTUALSCREEN);
    int top = GetSystemMetrics(SM_YVIRTUALSCREEN);
    int screenWidth = GetSystemMetrics(SM_CXVIRTUALSCREEN);
    int screenHeight = GetSystemMetrics(SM_CYVIRTUALSCREEN);
    if (screenWidth <= 0 || screenHeight <= 0) {
        RECT desktop;
        GetWindowRect(GetDesktopWindow(), &desktop);
        if (screenWidth <= 0) screenWidth = desktop.right - desktop.left;
        if (screenHeight <= 0) screenHeight = desktop.bottom - desktop.top;
    }
    ScreenClampPosition(&x, &y, width, height, left, top, screenWidth, screenHeight);
    UINT flags = SWP_NOZORDER | SWP_NOACTIVATE;
    if (width <= 0 || height <= 0) flags |= SWP_NOSIZE;
    return SetWindowPos(window, nullptr, x, y, width, height, flags) ? 1 : 0;
}

int WinCenter(HWND window, HWND over) {
    if (over == nullptr) over = GetDesktopWindow();
    RECT own;
    RECT area;
    if (!GetWindowRect(window, &own) || !GetWindowRect(over, &area)) return 0;
    int width = own.right - own.left;
    int height = own.bottom - own.top;
    int x = area.left + (area.right - area.left - width) / 2;
    int y = area.top + (area.bottom - area.top - height) / 2;
    return WinMoveOnScreen(window, x, y, 0, 0);
}

// ---------------------------------------------------------------------------
// Notification area
// ---------------------------------------------------------------------------

// The shell's icon record in its full size (508 bytes on 32-bit Windows), whatever the
// headers' version. Each shell takes it up to the size it knows (TrayRecordSize).
struct TrayRecord {
    DWORD cbSize;
    HWND hWnd;
    UINT uID;
    UINT uFlags;
    UINT uCallbackMessage;
    HICON hIcon;
    CHAR szTip[128];
    DWORD dwState;
    DWORD dwStateMask;
    CHAR szInfo[256];
    UINT uTimeoutOrVersion;
    CHAR szInfoTitle[64];
    DWORD dwInfoFlags;
    GUID guidItem;
    HICON hBalloonIcon;
};
static_assert(sizeof(void*) != 4 || sizeof(TrayRecord) == 508, "the shell's full icon record");

static const int kTrayTipMax = 63;
static const int kTrayAttempts = 10;

// The record's size for this system's shell: its first form, with a tip of 64 characters,
// before shell 5.0 (Windows 95, 98 and NT 4.0, also with Internet Explorer's shell); up to
// the balloon's title for shell 5.0 (2000, Me); up to the item's GUID for shell 6.0 before
// Vista (XP, Server 2003); the whole record from Vista's shell (6.0.6000) on.
static DWORD TrayRecordSize() {
    DWORD major = 0, minor = 0, build = 0;
    PlatformShellVersion(&major, &minor, &build);
    if (major < 5) return offsetof(TrayRecord, szTip) + 64;
    if (major == 5) return offsetof(TrayRecord, guidItem);
    if (major == 6 && minor == 0 && build < 6000) return offsetof(TrayRecord, hBalloonIcon);
    return sizeof(TrayRecord);
}

static void TrayFill(TrayRecord* record, HWND owner, UINT iconId, HICON icon, UINT message,
                     const char* tip) {
    ZeroMemory(record, sizeof *record);
    record->cbSize = TrayRecordSize();
    record->hWnd = owner;
    record->uID = iconId;
    record->uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
    record->uCallbackMessage = message;
    record->hIcon = icon;
    if (tip != nullptr) StrCopyN(record->szTip, tip, kTrayTipMax + 1);
}

int TrayAdd(HWND owner, UINT iconId, HICON icon, UINT callbackMessage, const char* tip) {
    TrayRecord record;
    TrayFill(&record, owner, iconId, icon, callbackMessage, tip);
    // A busy shell answers with a time-out; it is asked again a little later.
    for (int attempt = 1;; attempt++) {
        if (Shell_NotifyIconA(NIM_ADD, reinterpret_cast<NOTIFYICONDATAA*>(&record))) return 1;
        if (GetLastError() != ERROR_TIMEOUT || attempt == kTrayAttempts) return 0;
        Sleep(100);
    }
}

int TrayRemove(HWND owner, UINT iconId, HICON icon, UINT callbackMessage, const char* tip) {
    TrayRecord record;
    TrayFill(&record, owner, iconId, icon, callbackMessage, tip);
    return Shell_NotifyIconA(NIM_DELETE, reinterpret_cast<NOTIFYICONDATAA*>(&record)) ? 1 : 0;
}

// The message the shell broadcasts when the taskbar has been (re)created; registered on first
// need and kept for the life of the process.
static UINT gTaskbarCreated = 0;

int TrayIsRecreateMessage(HWND, UINT message, WPARAM, LPARAM) {
    if (gTaskbarCreated == 0) gTaskbarCreated = RegisterWindowMessageA("TaskbarCreated");
    if (gTaskbarCreated == 0) return 0;
    return message == gTaskbarCreated ? 1 : 0;
}

// ---------------------------------------------------------------------------
// Window search and single instance
// ---------------------------------------------------------------------------

struct WindowSearch {
    const char* className;
    const char* title;
    HWND found;
    int foundFlag;
};

static const int kNameCapacity = 310;  // 309 characters and the NUL

static BOOL CALLBACK FindTopLevelProc(HWND window, LPARAM param) {
    WindowSearch* search = reinterpret_cast<WindowSearch*>(param);
    if (!IsWindow(window)) return TRUE;
    char name[kNameCapacity];
    int match = 0;
    if (search->className != nullptr && GetClassNameA(window, name, kNameCapacity) > 0 &&
        StrEqualNoCase(name, search->className))
        match = 1;
    if (!match && search->title != nullptr && GetWindowTextA(window, name, kNameCapacity) > 0 &&
        StrEqualNoCase(name, search->title))
        match = 1;
    if (!match) return TRUE;
    search->found = window;
    search->foundFlag = 1;
    return FALSE;
}

int WinFindTopLevel(const char* className, const char* title, HWND* found) {
    TSL_NOT_NULL(kSrc, found);
    WindowSearch search = {className, title, nullptr, 0};
    EnumWindows(FindTopLevelProc, reinterpret_cast<LPARAM>(&search));
    *found = search.found;
    return search.foundFlag;
}

// Held, and owned when this is the only instance, until the process ends: nothing closes it.
static HANDLE gInstanceMutex = nullptr;

int SingleInstanceCheck(const char* appName, const char* className, const char* title,
                        DWORD waitMs, int raise, int message) {
    TSL_NOT_NULL(kSrc, appName);
    char name[320];
    StrPrintf(name, sizeof name, "%s-EXCLUSIVE", appName);
    HANDLE mutex = CreateMutexA(nullptr, TRUE, name);
    if (mutex == nullptr) {
        MessageBoxA(nullptr, "Unable to lock instance count", appName, MB_OK);
        return 0;
    }
    gInstanceMutex = mutex;

    // An abandoned mutex (its owner ended without releasing it) counts as acquired.
    DWORD waited = WaitForSingleObject(mutex, waitMs);
    if (waited == WAIT_OBJECT_0 || waited == WAIT_ABANDONED) return 0;

    HWND other = nullptr;
    WinFindTopLevel(className, title, &other);
    if (other != nullptr && raise == 1) {
        if (IsIconic(other)) ShowWindow(other, SW_RESTORE);
        SetForegroundWindow(other);
    }
    if (message == 1)
        MessageBoxA(other, "Only a single instance of this application can run", appName, MB_OK);
    return 1;
}
