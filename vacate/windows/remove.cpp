// Deleting the product's files, the folders they leave empty and temporary fonts, and the
// reboot queue for whatever is locked: the system's delayed delete where it exists, else
// the "[Rename]" section of "wininit.ini" in the Windows folder.
#include <windows.h>

#include "tessel/platform.h"
#include "tessel/tsl-core.h"
#include "tessel/tsl-str.h"
#include "tessel/winhelpr.h"
#include "vacate/paths.h"
#include "vacate/remove.h"

namespace {

constexpr char SOURCE[] = "winhelpr";

constexpr int DELETE_PATH_SIZE = 320;  // a file to delete
constexpr int LIST_PATH_SIZE = 260;    // a folder to list, with its "*.*"
constexpr int WININIT_PATH_SIZE = 320;

// A "wininit.ini" larger than this is not a real queue file; it is left alone.
constexpr DWORD WININIT_MAX_LENGTH = 16 * 1024 * 1024;

// The product's files this process queued for the next restart, or could not remove at all.
int gRemovalQueued = 0;
int gRemovalLeft = 0;
char gFirstLeft[DELETE_PATH_SIZE];  // the first of them, for the user

// A file of the product that stays where it is: neither deleted nor queued.
void Left(const char* path) {
    if (gRemovalLeft++ == 0) StrCopyN(gFirstLeft, path, sizeof gFirstLeft);
}

// Every uninstaller takes this lock around its read, change and replacement of
// "wininit.ini": two that both rewrote what they had read would lose the lines of the one
// that replaced the file first. Named, it holds across processes as across threads.
constexpr char WININIT_LOCK[] = "vacate wininit.ini queue";
// One rewrite takes milliseconds, its replacement at most a second of retries; a holder
// that keeps the lock far longer has hung, and the queueing fails rather than waits on.
constexpr DWORD WININIT_LOCK_WAIT_MS = 30000;

// Queues `path` in "wininit.ini" at `iniPath`: the whole file is read, the new line is put
// into it by WininitRewrite, and the result replaces the file only once it is written whole
// beside it (WinSaveFile): an interrupted write never loses the lines other programs
// queued. The old file is held without write or delete sharing until it is replaced, so no
// other program changes it meanwhile; the replacement itself needs it closed.
int RewriteWininit(const char* iniPath, const char* path) {
    // A missing file is an empty queue; one that exists but cannot be opened is left alone.
    HANDLE file = CreateFileA(iniPath, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    DWORD length = 0;
    if (file == INVALID_HANDLE_VALUE) {
        if (GetLastError() != ERROR_FILE_NOT_FOUND) {
            LogPrint("Unable to open '%s' in any capacity.\n", iniPath);
            return 0;
        }
    } else {
        DWORD high = 0;
        length = GetFileSize(file, &high);
        if (length == INVALID_FILE_SIZE || high != 0 || length > WININIT_MAX_LENGTH) {
            LogPrint("Unable to use '%s': unexpected size\n", iniPath);
            CloseHandle(file);
            return 0;
        }
    }

    int32_t oldLength = static_cast<int32_t>(length);
    int32_t oldSize = oldLength + 1;
    char* old = static_cast<char*>(MemAlloc(oldSize, MEM_DEFAULT, SOURCE, __LINE__));
    DWORD got = 0;
    int ok = 1;
    if (oldLength > 0 && (!ReadFile(file, old, length, &got, nullptr) || got != length)) {
        LogPrint("Unable to read '%s' (0x%.8X)\n", iniPath, GetLastError());
        ok = 0;
    }

    char* text = nullptr;
    int32_t textSize = 0;
    int32_t textLength = 0;
    // The system reads the queue before long file names are available on the 9x line: the
    // line names the file in the form it can take there.
    char queued[DELETE_PATH_SIZE];
    if (ok && !PlatformRestartQueueName(path, queued, sizeof queued)) {
        LogPrint("No short name for '%s' that '%s' could take\n", path, iniPath);
        ok = 0;
    }
    if (ok) {
        textSize = WininitRewriteSize(oldLength, queued);
        if (textSize > 0) {
            text = static_cast<char*>(MemAlloc(textSize, MEM_DEFAULT, SOURCE, __LINE__));
            ok = WininitRewrite(old, oldLength, queued, text, textSize, &textLength);
        } else {
            ok = 0;
        }
        if (!ok) LogPrint("Unable to compose '%s' for '%s'\n", iniPath, queued);
    }
    if (ok) {
        // The save lets go of the old file just before the new one takes its place.
        ok = WinSaveFile(iniPath, text, textLength, file);
        file = INVALID_HANDLE_VALUE;
        if (!ok) LogPrint("Unable to write '%s' (0x%.8X)\n", iniPath, GetLastError());
    }
    if (file != INVALID_HANDLE_VALUE) CloseHandle(file);

    if (text != nullptr) MemFree(text, textSize, MEM_DEFAULT, SOURCE, __LINE__);
    MemFree(old, oldSize, MEM_DEFAULT, SOURCE, __LINE__);
    return ok;
}

// Queues `path` in "wininit.ini" of the Windows folder, under the uninstallers' lock.
int QueueInWininit(const char* path) {
    char iniPath[WININIT_PATH_SIZE];
    if (!WinWindowsDir(iniPath, sizeof iniPath) ||
        StrLen(iniPath) + StrLen("wininit.ini") >= WININIT_PATH_SIZE) {
        LogPrint("Unable to find the Windows folder for '%s'\n", path);
        return 0;
    }
    StrCat(iniPath, "wininit.ini");

    HANDLE lock = CreateMutexA(nullptr, FALSE, WININIT_LOCK);
    if (lock == nullptr) {
        LogPrint("Unable to lock '%s' (%d)\n", iniPath, static_cast<int>(GetLastError()));
        return 0;
    }
    int ok = 0;
    // An abandoned lock was held by an uninstaller that ended in the middle: the file is
    // still whole, since it is only ever replaced by a whole new one.
    const DWORD waited = WaitForSingleObject(lock, WININIT_LOCK_WAIT_MS);
    if (waited == WAIT_OBJECT_0 || waited == WAIT_ABANDONED) {
        ok = RewriteWininit(iniPath, path);
        ReleaseMutex(lock);
    } else {
        LogPrint("Unable to lock '%s': another uninstaller keeps it\n", iniPath);
    }
    CloseHandle(lock);
    return ok;
}

}  // namespace

int QueueDeleteOnReboot(const char* path) {
    TSL_NOT_NULL(SOURCE, path);
    if (path[0] == '\0') {
        LogPrint("Nothing to queue for deletion\n");
        return 0;
    }
    if (PlatformDeleteAtRestart(path)) return 1;
    return QueueInWininit(path);
}

int RemovalQueuedCount() { return gRemovalQueued; }

int RemovalLeftCount() { return gRemovalLeft; }

const char* RemovalFirstLeft() { return gFirstLeft; }

int RemovalCountsReset() {
    gRemovalQueued = 0;
    gRemovalLeft = 0;
    gFirstLeft[0] = '\0';
    return 1;
}

int RemovalRunBegin(RemovalRun* run) {
    TSL_NOT_NULL(SOURCE, run);
    run->folder[0] = '\0';
    return 1;
}

namespace {

// Moves a file that cannot be deleted into the temporary folder under a name of its own and
// queues it there for deletion at the next restart, as the uninstaller's temporary copy is:
// its folder no longer holds it. 0 when it cannot be moved (another drive, say).
int MoveAside(const char* path) {
    char temp[MAX_PATH] = {};
    char aside[MAX_PATH] = {};
    if (!WinTempDir(temp, sizeof temp) || GetTempFileNameA(temp, "Del", 0, aside) == 0)
        return 0;
    // Without copying: a running program's file can be renamed on its drive, not copied
    // away and deleted.
    if (!PlatformReplaceFile(path, aside)) {
        LogPrint("Unable to move '%s' aside (%d)\n", path, static_cast<int>(GetLastError()));
        DeleteFileA(aside);
        return 0;
    }
    LogPrint("Moved '%s' aside to '%s'\n", path, aside);
    if (!QueueDeleteOnReboot(aside)) LogPrint("Unable to queue '%s' for deletion\n", aside);
    return 1;
}

int RunFile(RemovalRun* run, const char* path, int moveAside) {
    TSL_NOT_NULL(SOURCE, run);
    TSL_NOT_NULL(SOURCE, path);
    LogPrint("Delete file '%s'\n", path);
    if (StrLen(path) >= DELETE_PATH_SIZE) {
        LogPrint("Path too long, not deleted '%s'\n", path);
        Left(path);
        return 1;
    }

    if (!DeleteFileA(path)) {
        DWORD error = GetLastError();
        if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) {
            // Nothing to delete: a file queued now could be a new one of the same name by
            // the time the machine restarts. Nothing was taken from its folder either, so
            // the folder is not tidied: it may be an empty folder that was never the
            // product's.
            LogPrint("File '%s' is already gone\n", path);
            return 1;
        }
        if (!moveAside || !MoveAside(path)) {
            LogPrint("Unable to delete file '%s' - queue to delete on reboot\n", path);
            if (QueueDeleteOnReboot(path)) {
                ++gRemovalQueued;
            } else {
                LogPrint("Unable to queue '%s' for deletion\n", path);
                Left(path);
            }
            return 1;
        }
    }

    char folder[DELETE_PATH_SIZE];
    if (!PathFolderOf(path, folder, sizeof folder)) return 1;
    if (!StrEqualNoCase(folder, run->folder)) {
        RemovalRunEnd(run);
        StrCopy(run->folder, folder);
    }
    return 1;
}

}  // namespace

int RemovalRunFile(RemovalRun* run, const char* path) { return RunFile(run, path, 0); }

int RemovalRunOwnFile(RemovalRun* run, const char* path) { return RunFile(run, path, 1); }

int RemovalRunEnd(RemovalRun* run) {
    TSL_NOT_NULL(SOURCE, run);
    if (run->folder[0] != '\0') RemoveEmptyFolders(run->folder);
    run->folder[0] = '\0';
    return 1;
}

int RemoveFile(const char* path) {
    RemovalRun run;
    RemovalRunBegin(&run);
    RemovalRunFile(&run, path);
    return RemovalRunEnd(&run);
}

int RemoveEmptyFolders(const char* folder) {
    TSL_NOT_NULL(SOURCE, folder);
    // Only a full path names the same folder after the current folder has moved.
    if (!PathIsAbsolute(folder)) {
        LogPrint("Not a full path, folder kept '%s'\n", folder);
        return 0;
    }

    char path[LIST_PATH_SIZE];
    int length = StrLen(folder);
    int separated = length > 0 && (folder[length - 1] == '\\' || folder[length - 1] == '/');
    if (length + (separated ? 0 : 1) >= LIST_PATH_SIZE) {
        LogPrint("Path too long, folder kept '%s'\n", folder);
        return 0;
    }
    StrCopy(path, folder);
    if (!separated) StrCat(path, "\\");

    // Climbs from the folder to its parents while each is left empty; a root is never
    // removed.
    while (!PathIsRoot(path)) {
        // The current folder could hold the folder open; move it out of the way.
        SetCurrentDirectoryA("\\");

        char pattern[LIST_PATH_SIZE];
        if (StrLen(path) + 3 >= LIST_PATH_SIZE) {
            LogPrint("Path too long, folder kept '%s'\n", path);
            return 0;
        }
        StrCopy(pattern, path);
        StrCat(pattern, "*.*");

        WIN32_FIND_DATAA entry;
        HANDLE find = FindFirstFileA(pattern, &entry);
        if (find == INVALID_HANDLE_VALUE) {
            LogPrint("Error opening '%s'\n", pattern);
            return 0;
        }
        int entries = 0;
        do {
            if (!StrEqual(entry.cFileName, ".") && !StrEqual(entry.cFileName, "..")) entries++;
        } while (entries == 0 && FindNextFileA(find, &entry));
        FindClose(find);
        if (entries > 0) return 1;

        LogPrint("Deleting '%s'\n", path);
        if (!RemoveDirectoryA(path)) {
            LogPrint("Unable to delete dir '%s'\n", path);
            return 0;
        }
        if (!PathParentFolder(path)) return 1;
    }
    return 1;
}

int RemoveTempFont(const char* path) {
    TSL_NOT_NULL(SOURCE, path);
    if (!WinRemoveFont(path)) return 0;
    if (!DeleteFileA(path)) LogPrint("Non-fatal unable to delete file '%s'\n", path);
    return 1;
}
