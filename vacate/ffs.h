// The install archive appended to the uninstaller's executable: a tag "FFS?" at offset O,
// the scrambled payload behind it up to the end of the file, whose last four bytes hold O
// (little-endian). With no archive open, reads fall back to plain files on disk.
#pragma once

#include <stdint.h>

constexpr char FFS_TAG[4] = {'F', 'F', 'S', '?'};
constexpr char FFS_KEY[] = "SetupPlainWord";
constexpr int FFS_KEY_LENGTH = sizeof(FFS_KEY) - 1;

int FfsOpen(const char* path);
int FfsClose();
int FfsFileSize(const char* name, int32_t* size);
int FfsReadFile(const char* name, void* buffer, int32_t length);
int FfsInstallSize(int32_t* size);

// Scrambles or de-scrambles (the step is its own inverse) a payload in place; `data` is
// payload position 0.
void FfsScramble(uint8_t* data, uint32_t length);
