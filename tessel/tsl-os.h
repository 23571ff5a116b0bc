// The few operating-system services the portable library code needs. One side is built
// per target: tessel/windows/tsl-os.cpp (Win32) and tessel/unix/tsl-os.cpp (POSIX).
// Everything else in tessel/ that is portable calls the system only through here.
#pragma once

#include <stdint.h>

#include "tessel/tsl-core.h"

// Message-box styles and answers (the Win32 values).
constexpr unsigned OS_MB_OK = 0x0000;
constexpr unsigned OS_MB_YESNO = 0x0004;
constexpr unsigned OS_MB_ICONERROR = 0x0010;
constexpr unsigned OS_MB_ICONQUESTION = 0x0020;
constexpr unsigned OS_MB_TASKMODAL = 0x2000;
constexpr unsigned OS_MB_SYSTEMMODAL = 0x1000;
constexpr int OS_IDOK = 1;
constexpr int OS_IDYES = 6;
constexpr int OS_IDNO = 7;

// Recursive mutex (0 on failure).
void* OsMutexCreate();
int OsMutexLock(void* mutex);
int OsMutexUnlock(void* mutex);
int OsMutexClose(void* mutex);

// Low-level files for the log: text mode on Win32 ("\n" stored as CR LF).
// OsFileOpenLog returns a descriptor above 0, or 0 with the C runtime's error number.
int OsFileOpenLog(const char* path, int append, int* errorOut);
int OsFileWrite(int fd, const void* data, int length);
int OsFileCommit(int fd);
int OsFileClose(int fd);

// Console: opened once with a title; written with one call per entry.
int OsConsoleOpen(const char* title);
int OsConsoleWrite(const char* text, int length);

// Message box without owner window. On POSIX the caption and text go to standard
// error and the answer is OK (Yes for a Yes/No question).
int OsMessageBox(const char* text, const char* caption, unsigned style);

int OsLocalTime(TslTime* out);
unsigned OsThreadId();
void OsSleep(unsigned milliseconds);

// The running executable's full path (at most size - 1 characters, terminated); 0 with an
// empty buffer when it does not fit (never a cut path) or, on Win32, has no 8-bit form. On
// Win32 a path that does not fit or has no exact 8-bit form comes in its short form where
// that one does (WinModulePath).
int OsModulePath(char* buffer, int size);

// The process's command line as the system reports it, program name included
// (null when it cannot be obtained).
const char* OsCommandLine();

// Zeroed blocks from the system's local heap (MEM_LOCAL); the C heap on POSIX.
void* OsLocalAlloc(int32_t size);
void OsLocalFree(void* block);

[[noreturn]] void OsExit(int code);
