// The operating-system services of the Tessel core on Win32: an unnamed mutex, the C
// runtime's low-level files in text mode, a console window of the process, owner-less
// message boxes, and the process's module path and command line.
#include "tessel/tsl-os.h"

#include <errno.h>
#include <fcntl.h>
#include <io.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <windows.h>

#include "tessel/winhelpr.h"

namespace {

HANDLE g_console = nullptr;

// Descriptor 0 means "no file" to the log: a descriptor that comes back as 0 is moved.
int AboveZero(int fd) {
    if (fd != 0) return fd;
    int moved = _dup(0);
    _close(0);
    return moved;
}

}  // namespace

void* OsMutexCreate() { return CreateMutexA(nullptr, FALSE, nullptr); }

int OsMutexLock(void* mutex) {
    DWORD result = WaitForSingleObject(static_cast<HANDLE>(mutex), INFINITE);
    return (result == WAIT_OBJECT_0 || result == WAIT_ABANDONED) ? 1 : 0;
}

int OsMutexUnlock(void* mutex) { return ReleaseMutex(static_cast<HANDLE>(mutex)) ? 1 : 0; }

int OsMutexClose(void* mutex) { return CloseHandle(static_cast<HANDLE>(mutex)) ? 1 : 0; }

int OsFileOpenLog(const char* path, int append, int* errorOut) {
    int flags = _O_WRONLY | _O_CREAT | _O_TEXT | (append ? _O_APPEND : _O_TRUNC);
    int fd = _open(path, flags, _S_IREAD | _S_IWRITE);
    if (fd >= 0) fd = AboveZero(fd);
    if (fd < 0) {
        if (errorOut != nullptr) *errorOut = errno;
        return 0;
    }
    return fd;
}

int OsFileWrite(int fd, const void* data, int length) {
    return _write(fd, data, static_cast<unsigned>(length)) >= 0 ? 1 : 0;
}

int OsFileCommit(int fd) { return _commit(fd) == 0 ? 1 : 0; }

int OsFileClose(int fd) { return _close(fd) == 0 ? 1 : 0; }

int OsConsoleOpen(const char* title) {
    // A console program already has one; AllocConsole then fails and its own is used.
    AllocConsole();
    HANDLE output = GetStdHandle(STD_OUTPUT_HANDLE);
    if (output == nullptr || output == INVALID_HANDLE_VALUE) return 0;
    g_console = output;
    if (title != nullptr) SetConsoleTitleA(title);
    return 1;
}

int OsConsoleWrite(const char* text, int length) {
    if (g_console == nullptr) return 0;
    DWORD written = 0;
    return WriteFile(g_console, text, static_cast<DWORD>(length), &written, nullptr) ? 1 : 0;
}

int OsMessageBox(const char* text, const char* caption, unsigned style) {
    return MessageBoxA(nullptr, text, caption, style);
}

int OsLocalTime(TslTime* out) {
    SYSTEMTIME now;
    GetLocalTime(&now);
    out->year = now.wYear;
    out->month = now.wMonth;
    out->day = now.wDay;
    out->hour = now.wHour;
    out->minute = now.wMinute;
    out->second = now.wSecond;
    return 1;
}

unsigned OsThreadId() { return GetCurrentThreadId(); }

void OsSleep(unsigned milliseconds) { Sleep(milliseconds); }

int OsModulePath(char* buffer, int size) {
    if (size < 1) return 0;
    return WinModulePath(nullptr, buffer, size);
}

const char* OsCommandLine() { return GetCommandLineA(); }

void* OsLocalAlloc(int32_t size) {
    return size > 0 ? LocalAlloc(LMEM_FIXED | LMEM_ZEROINIT, static_cast<SIZE_T>(size)) : nullptr;
}

void OsLocalFree(void* block) { LocalFree(block); }

void OsExit(int code) { exit(code); }
