// Removing files, emptied folders and temporary fonts, and the reboot queue for what is
// locked: the system's delayed delete, else the "[Rename]" section of "wininit.ini".
#pragma once

#include <stdint.h>

constexpr char WININIT_HEADER[] = "[Rename]\r\n";

// The new content of "wininit.ini" that queues `path` for deletion, from its old content
// (which may be empty): the "NUL=" line goes right after an existing "[Rename]" header
// (letter case ignored), or a new section goes first. Pure. `out` must hold
// WininitRewriteSize(oldLength, path) bytes; the result is terminated.
int32_t WininitRewriteSize(int32_t oldLength, const char* path);
int WininitRewrite(const char* old, int32_t oldLength, const char* path, char* out,
                   int32_t outSize, int32_t* outLength);

// Win32 side.
int QueueDeleteOnReboot(const char* path);
int RemoveFile(const char* path);

// Deleting many files in a row. Each file is deleted as RemoveFile deletes it, but the
// tidy-up of emptied folders waits until a file of another folder comes or the run ends:
// listing a folder costs time that grows with the files left in it, so a folder is listed
// once per run of its files instead of once per file. The folders removed in the end are
// the same.
struct RemovalRun {
    char folder[320];  // the folder whose tidy-up is due, or empty
};
int RemovalRunBegin(RemovalRun* run);
int RemovalRunFile(RemovalRun* run, const char* path);
int RemovalRunEnd(RemovalRun* run);
// The same for the installed uninstaller's own file, which the installed uninstaller holds
// while it waits for its copy in a quiet run: when it cannot be deleted it is moved into
// the temporary folder and queued for deletion there, like the temporary copy itself, and
// its folder is tidied as after a deletion.
int RemovalRunOwnFile(RemovalRun* run, const char* path);

// Files of the product this process could not delete: queued for deletion at the next
// restart, and those that could not even be queued (left where they are), counted from the
// last reset (an uninstall resets them when it starts removing); the first file left.
int RemovalQueuedCount();
int RemovalLeftCount();
const char* RemovalFirstLeft();
int RemovalCountsReset();

int RemoveEmptyFolders(const char* folder);
int RemoveTempFont(const char* path);
