// The operating-system services of the Tessel core on POSIX: a recursive pthread mutex,
// plain file descriptors, standard output as the console, standard error as the message
// box, and the process's own path and command line from /proc.
#include "tessel/tsl-os.h"

#include <errno.h>
#include <fcntl.h>
#include <pthread.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <time.h>
#include <unistd.h>

namespace {

// Descriptor 0 means "no file" to the log: a descriptor that comes back as 0 (standard
// input closed) is moved above it.
int AboveZero(int fd) {
    if (fd != 0) return fd;
    int moved = fcntl(0, F_DUPFD, 1);
    close(0);
    return moved;
}

// One write(2) may store less than asked; the entry is written whole.
int WriteAll(int fd, const void* data, int length) {
    const char* p = static_cast<const char*>(data);
    while (length > 0) {
        ssize_t n = write(fd, p, static_cast<size_t>(length));
        if (n < 0) {
            if (errno == EINTR) continue;
            return 0;
        }
        p += n;
        length -= static_cast<int>(n);
    }
    return 1;
}

int g_consoleOpen = 0;

}  // namespace

void* OsMutexCreate() {
    auto* mutex = static_cast<pthread_mutex_t*>(malloc(sizeof(pthread_mutex_t)));
    if (mutex == nullptr) return nullptr;
    pthread_mutexattr_t attributes;
    pthread_mutexattr_init(&attributes);
    pthread_mutexattr_settype(&attributes, PTHREAD_MUTEX_RECURSIVE);
    int result = pthread_mutex_init(mutex, &attributes);
    pthread_mutexattr_destroy(&attributes);
    if (result != 0) {
        free(mutex);
        return nullptr;
    }
    return mutex;
}

int OsMutexLock(void* mutex) {
    return pthread_mutex_lock(static_cast<pthread_mutex_t*>(mutex)) == 0 ? 1 : 0;
}

int OsMutexUnlock(void* mutex) {
    return pthread_mutex_unlock(static_cast<pthread_mutex_t*>(mutex)) == 0 ? 1 : 0;
}

int OsMutexClose(void* mutex) {
    pthread_mutex_destroy(static_cast<pthread_mutex_t*>(mutex));
    free(mutex);
    return 1;
}

int OsFileOpenLog(const char* path, int append, int* errorOut) {
    int flags = O_WRONLY | O_CREAT | (append ? O_APPEND : O_TRUNC);
    int fd = open(path, flags, S_IRUSR | S_IWUSR | S_IRGRP | S_IROTH);
    if (fd < 0) {
        if (errorOut != nullptr) *errorOut = errno;
        return 0;
    }
    fd = AboveZero(fd);
    if (fd < 0) {
        if (errorOut != nullptr) *errorOut = errno;
        return 0;
    }
    return fd;
}

int OsFileWrite(int fd, const void* data, int length) { return WriteAll(fd, data, length); }

int OsFileCommit(int fd) { return fsync(fd) == 0 ? 1 : 0; }

int OsFileClose(int fd) { return close(fd) == 0 ? 1 : 0; }

int OsConsoleOpen(const char* /*title*/) {
    g_consoleOpen = 1;
    return 1;
}

int OsConsoleWrite(const char* text, int length) {
    return g_consoleOpen ? WriteAll(STDOUT_FILENO, text, length) : 0;
}

int OsMessageBox(const char* text, const char* caption, unsigned style) {
    fprintf(stderr, "%s\n%s\n", caption != nullptr ? caption : "", text != nullptr ? text : "");
    fflush(stderr);
    return (style & OS_MB_YESNO) ? OS_IDYES : OS_IDOK;
}

int OsLocalTime(TslTime* out) {
    time_t now = time(nullptr);
    struct tm parts;
    if (localtime_r(&now, &parts) == nullptr) return 0;
    out->year = parts.tm_year + 1900;
    out->month = parts.tm_mon + 1;
    out->day = parts.tm_mday;
    out->hour = parts.tm_hour;
    out->minute = parts.tm_min;
    out->second = parts.tm_sec;
    return 1;
}

unsigned OsThreadId() { return static_cast<unsigned>(syscall(SYS_gettid)); }

void OsSleep(unsigned milliseconds) {
    struct timespec delay;
    delay.tv_sec = milliseconds / 1000;
    delay.tv_nsec = static_cast<long>(milliseconds % 1000) * 1000000L;
    while (nanosleep(&delay, &delay) != 0 && errno == EINTR) {
    }
}

int OsModulePath(char* buffer, int size) {
    if (size < 1) return 0;
    ssize_t n = readlink("/proc/self/exe", buffer, static_cast<size_t>(size));
    if (n < 0 || n >= size) {
        buffer[0] = 0;
        return 0;
    }
    buffer[n] = 0;
    return 1;
}

const char* OsCommandLine() {
    // Rebuilt once from the NUL-separated arguments; arguments with blanks are quoted.
    static char line[32768];
    static int ready = 0;
    if (ready) return line;
    int fd = open("/proc/self/cmdline", O_RDONLY);
    if (fd < 0) return nullptr;
    static char raw[32768];
    int length = 0;
    for (;;) {
        ssize_t n = read(fd, raw + length, sizeof raw - 1 - static_cast<size_t>(length));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        length += static_cast<int>(n);
    }
    close(fd);
    int out = 0;
    const int room = static_cast<int>(sizeof line) - 3;
    for (int start = 0; start < length && out < room;) {
        const char* arg = raw + start;
        int argLength = static_cast<int>(strnlen(arg, static_cast<size_t>(length - start)));
        bool quote = argLength == 0 || memchr(arg, ' ', static_cast<size_t>(argLength)) != nullptr;
        if (out != 0) line[out++] = ' ';
        if (quote && out < room) line[out++] = '"';
        for (int i = 0; i < argLength && out < room; ++i) line[out++] = arg[i];
        if (quote && out < room) line[out++] = '"';
        start += argLength + 1;
    }
    line[out] = 0;
    ready = 1;
    return line;
}

void* OsLocalAlloc(int32_t size) {
    return size > 0 ? calloc(1, static_cast<size_t>(size)) : nullptr;
}

void OsLocalFree(void* block) { free(block); }

void OsExit(int code) { exit(code); }
