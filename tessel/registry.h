// Tessel registry: the type-tagged RegKey object over the Win32 registry (Win32 only).
// Roots are chosen by a small code: 1 HKEY_CURRENT_USER, 2 HKEY_DYN_DATA,
// 3 HKEY_PERFORMANCE_DATA, 4 HKEY_LOCAL_MACHINE, 5 HKEY_CLASSES_ROOT, 6 HKEY_CURRENT_CONFIG;
// any other code means HKEY_CURRENT_USER.
#pragma once

#include <windows.h>
#include <stdint.h>

constexpr int REG_ROOT_CURRENT_USER = 1;
constexpr int REG_ROOT_DYN_DATA = 2;
constexpr int REG_ROOT_PERFORMANCE_DATA = 3;
constexpr int REG_ROOT_LOCAL_MACHINE = 4;
constexpr int REG_ROOT_CLASSES_ROOT = 5;
constexpr int REG_ROOT_CURRENT_CONFIG = 6;

struct RegKey {
    const char* tag;  // the registry module's source-name constant, compared by address
    int32_t report;   // 1: failed value reads and writes are logged
    HKEY handle;      // the open key, full access
};

HKEY RegRootFromCode(int rootCode);

int RegKeyOpen(RegKey** holder, int rootCode, const char* subkey);
int RegKeyCreate(RegKey** holder, int rootCode, const char* subkey);
int RegKeyClose(RegKey** holder);
int RegKeyExists(int rootCode, const char* subkey);
int RegKeyEnumSubkey(RegKey* key, int index, char* name, int size);
int RegKeyDeleteTree(int rootCode, const char* subkey);

int RegSetString(RegKey* key, const char* valueName, const char* text);
int RegGetString(RegKey* key, const char* valueName, char* buffer, int size);
// A string value naming a file or folder, read in its wide form and given in the 8-bit form
// WinPathToAnsi makes of it: its short form where the ANSI code page cannot hold the name or
// where the name as it stands does not fit the buffer (on the 9x line, where the value is
// kept in its 8-bit form, the same). 0 with an empty buffer when the value is missing, of
// another type, longer than a path, or has no 8-bit form that fits.
int RegGetPath(RegKey* key, const char* valueName, char* buffer, int size);
int RegSetInt32(RegKey* key, const char* valueName, int32_t value);
// A number arrives in `value`: a REG_DWORD, or a REG_BINARY of exactly 4 bytes (older
// systems keep some numbers so); the result is 1 only for a REG_DWORD. Other values, 4 bytes
// of text among them, leave `value` as it was.
int RegGetInt32(RegKey* key, const char* valueName, int32_t* value);
