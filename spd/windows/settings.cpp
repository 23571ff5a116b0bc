// The cache settings of the running system: the "vcache" section of system.ini in the
// Windows folder, read and written through the private-profile calls, and the file-system
// performance templates under HKEY_LOCAL_MACHINE. Also the memory snapshot that the percent
// conversion and the slider ranges depend on.
#include <windows.h>

#include <string.h>

#include "spd/settings.h"
#include "tessel/platform.h"
#include "tessel/registry.h"
#include "tessel/tsl-core.h"
#include "tessel/tsl-str.h"
#include "tessel/winhelpr.h"

static const char kSrc[] = "settings";

static const char kIniSection[] = "vcache";
static const char kOwnTemplate[] = "Spindrel";
static const char kRestoredTemplate[] = "Desktop";
static const int kTextSize = 300;
static const int kKeySize = 320;

struct IniEntry {
    const char* key;
    const char* logLine;
    uint32_t flag;
    int32_t CacheSettings::*value;
};

static const IniEntry kIniEntries[] = {
    {"minfilecache", "Min File Cache : %s\n", CS_MIN_SET, &CacheSettings::minFileCache},
    {"maxfilecache", "Max File Cache : %s\n", CS_MAX_SET, &CacheSettings::maxFileCache},
    {"chunksize", "Chunk Size     : %s\n", CS_CHUNK_SET, &CacheSettings::chunkSize},
};

int CacheIniPath(char* path) {
    TSL_NOT_NULL(kSrc, path);
    path[0] = '\0';
    if (!WinWindowsDir(path, kTextSize)) return 0;
    StrCat(path, "system.ini");
    return 1;
}

// One template value: a missing value, or one that is no number (text among them), leaves
// 0; 4 binary bytes, as Windows 98 keeps the template's values, arrive as a number.
static void ReadTemplateValue(RegKey* key, const char* name, const char* failure,
                              const char* logLine, int32_t* field) {
    int32_t value = 0;
    if (!RegGetInt32(key, name, &value)) LogPrint(failure);
    LogPrint(logLine, value);
    *field = value;
}

int CacheSettingsRead(CacheSettings* record) {
    TSL_NOT_NULL(kSrc, record);
    memset(record, 0, sizeof *record);
    char iniPath[CACHE_INI_PATH_SIZE];
    CacheIniPath(iniPath);
    for (const IniEntry& entry : kIniEntries) {
        char text[kTextSize];
        GetPrivateProfileStringA(kIniSection, entry.key, "", text, sizeof text, iniPath);
        text[sizeof text - 1] = '\0';
        LogPrint(entry.logLine, text);
        if (text[0] == '\0') continue;
        record->flags |= entry.flag;
        CacheNumber(text, entry.key, &(record->*entry.value));
    }

    RegKey* key = nullptr;
    if (!RegKeyOpen(&key, REG_ROOT_LOCAL_MACHINE, CACHE_TEMPLATES_KEY)) return 1;
    char inForce[kKeySize];
    if (!RegGetString(key, "", inForce, sizeof inForce)) {
        LogPrint("Unable to get Default templace\n");
        RegKeyClose(&key);
        return 1;
    }
    if (StrEqualNoCase(inForce, kOwnTemplate)) record->flags |= CS_TEMPLATE_ACTIVE;
    LogPrint("Config         : %s\n", inForce);
    RegKeyClose(&key);

    char path[kKeySize];
    StrPrintf(path, sizeof path, "%s\\%s", CACHE_TEMPLATES_KEY, inForce);
    if (!RegKeyOpen(&key, REG_ROOT_LOCAL_MACHINE, path)) return 1;
    ReadTemplateValue(key, "NameCache", "Unable to get NameCache\n", "Name Cache     : %d\n",
                      &record->nameCache);
    ReadTemplateValue(key, "PathCache", "Unable to get PathCache\n", "Path Cache     : %d\n",
                      &record->pathCache);
    RegKeyClose(&key);
    return 1;
}

// The own template "Spindrel" in force with the record's two values; its key is made when
// it is missing.
static void WriteOwnTemplate(RegKey** key, const CacheSettings* record) {
    if (!RegSetString(*key, "", kOwnTemplate)) {
        LogPrint("Unable to set Default templace\n");
        return;
    }
    RegKeyClose(key);
    char path[kKeySize];
    StrPrintf(path, sizeof path, "%s\\%s", CACHE_TEMPLATES_KEY, kOwnTemplate);
    if (RegKeyExists(REG_ROOT_LOCAL_MACHINE, path)) {
        if (!RegKeyOpen(key, REG_ROOT_LOCAL_MACHINE, path)) {
            LogPrint("Unable to open key '%s'\n", path);
            return;
        }
    } else if (!RegKeyCreate(key, REG_ROOT_LOCAL_MACHINE, path)) {
        LogPrint("Unable to create key '%s'\n", path);
        return;
    }
    if (!RegSetString(*key, "", kOwnTemplate)) LogPrint("Unable to set name\n");
    if (!RegSetInt32(*key, "NameCache", record->nameCache)) LogPrint("Unable to set NameCache\n");
    if (!RegSetInt32(*key, "PathCache", record->pathCache)) LogPrint("Unable to set PathCache\n");
}

int CacheSettingsWrite(const CacheSettings* record) {
    TSL_NOT_NULL(kSrc, record);
    char iniPath[CACHE_INI_PATH_SIZE];
    CacheIniPath(iniPath);
    // A read-only system.ini is left alone, as the system itself would refuse the writes
    // (an administrator's account may not be refused by the file system).
    const DWORD attributes = GetFileAttributesA(iniPath);
    const int readOnly =
        attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY) != 0;
    if (readOnly) LogPrint("Unable to write '%s': the file is read-only\n", iniPath);
    for (const IniEntry& entry : kIniEntries) {
        if (readOnly) break;
        char text[16];
        StrPrintf(text, sizeof text, "%d", record->*entry.value);
        // An entry without a value is removed from the section. A file that cannot be
        // written (read-only, no rights) keeps its entries; the log says so.
        if (!WritePrivateProfileStringA(kIniSection, entry.key,
                                        (record->flags & entry.flag) ? text : nullptr, iniPath))
            LogPrint("Unable to write '%s' to '%s' (%d)\n", entry.key, iniPath,
                     static_cast<int>(GetLastError()));
    }
    // Written through to the file at once, for the system and for other programs.
    if (!readOnly && !WritePrivateProfileStringA(nullptr, nullptr, nullptr, iniPath))
        LogPrint("Unable to write '%s' (%d)\n", iniPath, static_cast<int>(GetLastError()));

    RegKey* key = nullptr;
    if (!RegKeyOpen(&key, REG_ROOT_LOCAL_MACHINE, CACHE_TEMPLATES_KEY)) return 1;
    if (record->flags & CS_TEMPLATE_ACTIVE) {
        WriteOwnTemplate(&key, record);
    } else if (!RegSetString(key, "", kRestoredTemplate)) {
        // The own template's key stays with its last values.
        LogPrint("Unable to set Default templace\n");
    }
    if (key != nullptr) RegKeyClose(&key);
    return 1;
}

// ---------------------------------------------------------------------------
// Memory snapshot
// ---------------------------------------------------------------------------

static PlatformMemory gMemory;

int MemoryStatusLog() {
    if (!PlatformMemoryStatus(&gMemory)) LogPrint("Unable to get the memory status\n");
    LogPrint("Memory Load    : %d\n", static_cast<int>(gMemory.load));
    const struct {
        const char* line;
        uint64_t bytes;
    } lines[] = {
        {"Total Physical : %I64d [%I64dk]\n", gMemory.totalPhysical},
        {"Avail Physical : %I64d [%I64dk]\n", gMemory.availablePhysical},
        {"Total Page     : %I64d [%I64dk]\n", gMemory.totalPage},
        {"Avail Page     : %I64d [%I64dk]\n", gMemory.availablePage},
        {"Total Virtual  : %I64d [%I64dk]\n", gMemory.totalVirtual},
        {"Avail Virtual  : %I64d [%I64dk]\n", gMemory.availableVirtual},
    };
    for (const auto& l : lines)
        LogPrint(l.line, static_cast<long long>(l.bytes), static_cast<long long>(l.bytes >> 10));
    return 1;
}

int32_t MemoryStatusBase() {
    return CacheMemoryBase(gMemory.totalPhysical);
}
