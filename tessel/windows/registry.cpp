// Tessel registry: the type-tagged RegKey object over the Win32 registry.
//
// A RegKey is one tracked heap block holding an open key with full access. Its first field
// points at kSrc; every call compares that pointer by address, so a foreign object (or a
// stale copy of this module's name) is caught before its handle is used.

#include "tessel/registry.h"

#include "tessel/platform.h"
#include "tessel/tsl-core.h"
#include "tessel/tsl-str.h"
#include "tessel/winhelpr.h"

namespace {

// Source name for every abort and allocation of this module, and the RegKey type tag.
const char kSrc[] = "registry";

// Room for a key path, terminator included.
constexpr int kPathSize = 320;

const char kTypeString[] = "String";
const char kTypeInt32[] = "Int32";

// Aborts when the key is null or is not a RegKey of this module; `line` is the caller's.
void KeyCheck(const RegKey* key, int line) {
    if (key == nullptr) {
        LogWhere(kSrc, line);
        LogAbort("Pointer is NULL\n");
    }
    if (key->tag != kSrc) {
        LogWhere(kSrc, line);
        LogAbort("Struct mismatch pointer (0x%p:%s != %s)\n", static_cast<const void*>(key),
                 key->tag != nullptr ? key->tag : "(null)", kSrc);
    }
}

#define TSL_KEY_CHECK(key) KeyCheck((key), __LINE__)

int IsStringType(DWORD type) {
    return type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ;
}

// Wraps an open handle into a new RegKey in the holder.
int KeyAdopt(RegKey** holder, HKEY handle) {
    RegKey* key = TSL_NEW(RegKey, kSrc);
    key->tag = kSrc;
    key->report = 0;
    key->handle = handle;
    *holder = key;
    return 1;
}

// Opens a key with full access into the emptied holder; the system's error code goes to
// `error` (ERROR_SUCCESS on success).
int KeyOpen(RegKey** holder, int rootCode, const char* subkey, LONG* error) {
    *holder = nullptr;
    HKEY handle = nullptr;
    *error = RegOpenKeyExA(RegRootFromCode(rootCode), subkey, 0, KEY_ALL_ACCESS, &handle);
    if (*error != ERROR_SUCCESS) return 0;
    return KeyAdopt(holder, handle);
}

int WriteValue(RegKey* key, DWORD type, const char* typeWord, const char* valueName,
               const void* data, DWORD size) {
    LONG error = RegSetValueExA(key->handle, valueName, 0, type,
                                static_cast<const BYTE*>(data), size);
    if (error == ERROR_SUCCESS) return 1;
    if (key->report == 1) LogPrint("Unable to set registry '%s' %s\n", valueName, typeWord);
    return 0;
}

// Queries a value of the expected type into `buffer`; `delivered` (may be null) receives the
// bytes the query stored there (0 when it failed), also for a value of another type, which
// is checked only after its bytes are fetched, and `stored` (may be null) the value's type.
// A string result is always terminated inside the buffer: a stored string without its
// terminator gets one when there is room, and one that does not fit with its terminator is
// a failure.
int ReadValue(RegKey* key, DWORD expectedType, const char* typeWord, const char* valueName,
              void* buffer, int bufferSize, DWORD* delivered = nullptr,
              DWORD* stored = nullptr) {
    DWORD type = REG_NONE;
    DWORD size = static_cast<DWORD>(bufferSize);
    LONG error = RegQueryValueExA(key->handle, valueName, nullptr, &type,
                                  static_cast<BYTE*>(buffer), &size);
    if (delivered != nullptr) *delivered = error == ERROR_SUCCESS ? size : 0;
    if (stored != nullptr) *stored = error == ERROR_SUCCESS ? type : REG_NONE;
    if (error != ERROR_SUCCESS) {
        if (key->report == 1) LogPrint("Unable to get registry '%s' %s\n", valueName, typeWord);
        return 0;
    }
    if (type != expectedType) {
        if (key->report == 1)
            LogPrint("Bad type for '%s' [0x%.8X != 0x%.8X]\n", valueName,
                     static_cast<unsigned>(type), static_cast<unsigned>(expectedType));
        return 0;
    }
    if (IsStringType(type)) {
        char* text = static_cast<char*>(buffer);
        if (size > 0 && text[size - 1] != '\0') {
            // Stored without its terminator: add one, or refuse when it would not fit.
            if (size >= static_cast<DWORD>(bufferSize)) {
                if (key->report == 1)
                    LogPrint("Unable to get registry '%s' %s\n", valueName, typeWord);
                return 0;
            }
            text[size] = '\0';
        } else if (size == 0) {
            text[0] = '\0';
        }
    }
    return 1;
}

// Key names are at most 255 characters.
constexpr int kNameSize = 256;

// The registry calls of a key tree's deletion in the system's own form of names: wide on the
// NT line, where a subkey whose name has no form in the ANSI code page (read there as "??",
// which opens nothing) goes like any other; 8-bit on the 9x line, whose wide registry calls
// only fail.
LONG OpenKey(HKEY parent, const wchar_t* name, HKEY* key) {
    return RegOpenKeyExW(parent, name, 0, KEY_ALL_ACCESS, key);
}
LONG OpenKey(HKEY parent, const char* name, HKEY* key) {
    return RegOpenKeyExA(parent, name, 0, KEY_ALL_ACCESS, key);
}
LONG EnumKey(HKEY key, DWORD index, wchar_t* name, DWORD* length) {
    return RegEnumKeyExW(key, index, name, length, nullptr, nullptr, nullptr, nullptr);
}
LONG EnumKey(HKEY key, DWORD index, char* name, DWORD* length) {
    return RegEnumKeyExA(key, index, name, length, nullptr, nullptr, nullptr, nullptr);
}
LONG DeleteKey(HKEY parent, const wchar_t* name) { return RegDeleteKeyW(parent, name); }
LONG DeleteKey(HKEY parent, const char* name) { return RegDeleteKeyA(parent, name); }
void NameText(const wchar_t* name, char* text, int size) {
    WideCharToMultiByte(CP_ACP, 0, name, -1, text, size, nullptr, nullptr);
}
void NameText(const char* name, char* text, int size) { StrCopyN(text, name, size); }

// Deletes the subkey `name` of the open key `parent` with everything below it. Each subkey
// is opened from its parent's handle, so no path is built. A subkey that cannot be deleted
// is logged and passed over, never asked for again; the key itself then stays as well.
// `path` names the key in the log. A key that does not exist is already deleted.
template <typename Char>
int DeleteTree(HKEY parent, const Char* name, const char* path) {
    HKEY key = nullptr;
    LONG error = OpenKey(parent, name, &key);
    if (error == ERROR_FILE_NOT_FOUND) return 1;
    if (error != ERROR_SUCCESS) {
        LogPrint("Unable to delete key '%s'(0x%.8X)\n", path, static_cast<unsigned>(error));
        return 0;
    }
    DWORD index = 0;  // subkeys before it could not be deleted
    for (;;) {
        Char child[kNameSize];
        DWORD length = kNameSize;
        error = EnumKey(key, index, child, &length);
        if (error == ERROR_NO_MORE_ITEMS) break;
        if (error != ERROR_SUCCESS && error != ERROR_MORE_DATA) {
            LogPrint("Unable to list key '%s'(0x%.8X)\n", path, static_cast<unsigned>(error));
            break;
        }
        char childName[kNameSize * 2] = "?";
        if (error == ERROR_SUCCESS) NameText(child, childName, sizeof childName);
        char childPath[kPathSize];
        StrPrintf(childPath, kPathSize, "%s\\%s", path, childName);
        if (error == ERROR_MORE_DATA) {
            LogPrint("Unable to delete key '%s'(0x%.8X)\n", childPath,
                     static_cast<unsigned>(error));
            ++index;
        } else if (!DeleteTree(key, child, childPath)) {
            ++index;
        }
    }
    RegCloseKey(key);
    error = DeleteKey(parent, name);
    if (error != ERROR_SUCCESS) {
        LogPrint("Unable to delete key '%s'(0x%.8X)\n", path, static_cast<unsigned>(error));
        return 0;
    }
    return 1;
}

}  // namespace

HKEY RegRootFromCode(int rootCode) {
    switch (rootCode) {
        case REG_ROOT_DYN_DATA: return HKEY_DYN_DATA;
        case REG_ROOT_PERFORMANCE_DATA: return HKEY_PERFORMANCE_DATA;
        case REG_ROOT_LOCAL_MACHINE: return HKEY_LOCAL_MACHINE;
        case REG_ROOT_CLASSES_ROOT: return HKEY_CLASSES_ROOT;
        case REG_ROOT_CURRENT_CONFIG: return HKEY_CURRENT_CONFIG;
        default: return HKEY_CURRENT_USER;
    }
}

int RegKeyOpen(RegKey** holder, int rootCode, const char* subkey) {
    TSL_NOT_NULL(kSrc, holder);
    TSL_NOT_NULL(kSrc, subkey);
    LONG error = ERROR_SUCCESS;
    return KeyOpen(holder, rootCode, subkey, &error);
}

int RegKeyCreate(RegKey** holder, int rootCode, const char* subkey) {
    TSL_NOT_NULL(kSrc, holder);
    TSL_NOT_NULL(kSrc, subkey);
    *holder = nullptr;
    if (subkey[0] == '\\') subkey++;
    if (RegKeyOpen(holder, rootCode, subkey)) return 1;

    // Create the missing parents from the top down. Only the backslash separates keys: a
    // slash is an ordinary character of a key name.
    char parent[kPathSize];
    StrCopyN(parent, subkey, kPathSize);
    char* cut = nullptr;
    for (char* p = parent; *p != '\0'; p++)
        if (*p == '\\') cut = p;
    if (cut != nullptr && cut > parent) {
        *cut = '\0';
        RegKey* parentKey = nullptr;
        if (!RegKeyCreate(&parentKey, rootCode, parent)) return 0;
        RegKeyClose(&parentKey);
    }

    HKEY handle = nullptr;
    LONG error = RegCreateKeyExA(RegRootFromCode(rootCode), subkey, 0, nullptr,
                                 REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, nullptr, &handle,
                                 nullptr);
    if (error != ERROR_SUCCESS) {
        LogPrint("Create failed %d:[%s]:%d\n", rootCode, subkey, static_cast<int>(error));
        return 0;
    }
    return KeyAdopt(holder, handle);
}

int RegKeyClose(RegKey** holder) {
    TSL_NOT_NULL(kSrc, holder);
    RegKey* key = *holder;
    TSL_KEY_CHECK(key);
    RegCloseKey(key->handle);
    TSL_DELETE(key, kSrc);
    *holder = nullptr;
    return 1;
}

int RegKeyExists(int rootCode, const char* subkey) {
    TSL_NOT_NULL(kSrc, subkey);
    RegKey* key = nullptr;
    if (!RegKeyOpen(&key, rootCode, subkey)) return 0;
    RegKeyClose(&key);
    return 1;
}

int RegKeyEnumSubkey(RegKey* key, int index, char* name, int size) {
    TSL_KEY_CHECK(key);
    TSL_NOT_NULL(kSrc, name);
    if (size <= 0) return 0;
    name[0] = '\0';
    if (index < 0) return 0;
    DWORD length = static_cast<DWORD>(size);
    LONG error = RegEnumKeyExA(key->handle, static_cast<DWORD>(index), name, &length, nullptr,
                               nullptr, nullptr, nullptr);
    if (error != ERROR_SUCCESS) {
        name[0] = '\0';
        return 0;
    }
    return 1;
}

int RegKeyDeleteTree(int rootCode, const char* subkey) {
    TSL_NOT_NULL(kSrc, subkey);
    // An empty path names the root itself: deleting "its tree" would wipe the whole root.
    if (subkey[0] == '\0') {
        LogPrint("Unable to delete key '%s'(0x%.8X)\n", subkey,
                 static_cast<unsigned>(ERROR_INVALID_PARAMETER));
        return 0;
    }
    if (!PlatformUnicode()) return DeleteTree(RegRootFromCode(rootCode), subkey, subkey);
    wchar_t wide[kPathSize];
    if (MultiByteToWideChar(CP_ACP, 0, subkey, -1, wide, kPathSize) == 0) {
        LogPrint("Unable to delete key '%s'(0x%.8X)\n", subkey,
                 static_cast<unsigned>(GetLastError()));
        return 0;
    }
    return DeleteTree(RegRootFromCode(rootCode), wide, subkey);
}

int RegSetString(RegKey* key, const char* valueName, const char* text) {
    TSL_KEY_CHECK(key);
    TSL_NOT_NULL(kSrc, valueName);
    TSL_NOT_NULL(kSrc, text);
    return WriteValue(key, REG_SZ, kTypeString, valueName, text,
                      static_cast<DWORD>(StrLen(text) + 1));
}

int RegGetString(RegKey* key, const char* valueName, char* buffer, int size) {
    TSL_KEY_CHECK(key);
    TSL_NOT_NULL(kSrc, valueName);
    TSL_NOT_NULL(kSrc, buffer);
    if (size <= 0) return 0;
    // Read into a block of our own, so a failed read leaves the caller's text as it was
    // (callers keep a default there), then copy a good result over.
    char* work = static_cast<char*>(MemAlloc(size, MEM_DEFAULT, kSrc, __LINE__));
    int ok = ReadValue(key, REG_SZ, kTypeString, valueName, work, size);
    if (ok) StrCopy(buffer, work);  // terminated within `size` bytes
    buffer[size - 1] = '\0';
    MemFree(work, size, MEM_DEFAULT, kSrc, __LINE__);
    return ok;
}

int RegGetPath(RegKey* key, const char* valueName, char* buffer, int size) {
    TSL_KEY_CHECK(key);
    TSL_NOT_NULL(kSrc, valueName);
    TSL_NOT_NULL(kSrc, buffer);
    if (size <= 0) return 0;
    buffer[0] = '\0';
    // The 9x line keeps the value in the 8-bit form the programs use; a folder too long for
    // the buffer as it is named may fit in its short form.
    if (!PlatformUnicode()) {
        char named[kPathSize];
        if (!RegGetString(key, valueName, named, sizeof named)) return 0;
        if (WinFitAnsiPath(named, buffer, size)) return 1;
        LogPrint("No 8-bit form of the path in '%s' that fits %d bytes\n", valueName, size);
        return 0;
    }
    wchar_t name[kPathSize];
    wchar_t path[kPathSize + 1];
    DWORD type = REG_NONE;
    DWORD bytes = sizeof path - sizeof path[0];
    if (MultiByteToWideChar(CP_ACP, 0, valueName, -1, name, kPathSize) == 0 ||
        RegQueryValueExW(key->handle, name, nullptr, &type, reinterpret_cast<BYTE*>(path),
                         &bytes) != ERROR_SUCCESS ||
        type != REG_SZ) {
        if (key->report == 1) LogPrint("Unable to get registry '%s' %s\n", valueName, kTypeString);
        return 0;
    }
    // Stored with or without its terminator: the room for one more is kept above.
    path[bytes / sizeof path[0]] = L'\0';
    if (!WinPathToAnsi(path, buffer, size)) {
        LogPrint("No 8-bit form of the path in '%s'\n", valueName);
        return 0;
    }
    return 1;
}

int RegSetInt32(RegKey* key, const char* valueName, int32_t value) {
    TSL_KEY_CHECK(key);
    TSL_NOT_NULL(kSrc, valueName);
    DWORD data = static_cast<DWORD>(value);
    return WriteValue(key, REG_DWORD, kTypeInt32, valueName, &data, sizeof data);
}

int RegGetInt32(RegKey* key, const char* valueName, int32_t* value) {
    TSL_KEY_CHECK(key);
    TSL_NOT_NULL(kSrc, valueName);
    TSL_NOT_NULL(kSrc, value);
    // A number arrives: a REG_DWORD, or 4 bytes kept as a binary value (as older systems
    // keep some numbers); the result still says whether it was a REG_DWORD. Any other value,
    // 4 bytes of text among them, leaves the caller's number as it was.
    DWORD data = 0;
    DWORD delivered = 0;
    DWORD type = REG_NONE;
    int ok = ReadValue(key, REG_DWORD, kTypeInt32, valueName, &data, sizeof data, &delivered,
                       &type);
    if (delivered == sizeof data && (type == REG_DWORD || type == REG_BINARY))
        *value = static_cast<int32_t>(data);
    return ok;
}
