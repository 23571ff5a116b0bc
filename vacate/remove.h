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
int RemoveEmptyFolders(const char* folder);
int RemoveTempFont(const char* path);
