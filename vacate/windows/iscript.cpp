// The Win32 side of the script interpreter: the path variables and the handler of every
// keyword an uninstaller script may hold. The handlers read their fields with the
// capacities of the keyword table, so the package builder checks against the same sizes.
#include <windows.h>

#include "tessel/registry.h"
#include "tessel/tsl-core.h"
#include "tessel/tsl-str.h"
#include "tessel/winhelpr.h"
#include "vacate/command.h"
#include "vacate/keywords.h"
#include "vacate/paths.h"
#include "vacate/prompt.h"
#include "vacate/remove.h"
#include "vacate/script.h"
#include "vacate/shell.h"
#include "vacate/signature.h"
#include "vacate/update.h"

static const char kSrc[] = "iscript";

static const char kWindowsKey[] = "Software\\Microsoft\\Windows\\CurrentVersion";
static const char kUninstallKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\%s %s";
static const char kNotFound[] = "Unable to find previous installation; files could not be removed.";

namespace {

constexpr bool SameText(const char* a, const char* b) {
    while (*a != '\0' && *a == *b) {
        ++a;
        ++b;
    }
    return *a == *b;
}

// The capacity of one field of a keyword, from the keyword table.
constexpr int Cap(const char* keyword, int field) {
    for (const KeywordSpec& entry : KEYWORD_TABLE)
        if (SameText(entry.keyword, keyword)) return entry.capacity[field];
    return 0;
}

static_assert(Cap("WINDOW", 4) == SCRIPT_PATH_SIZE, "run-after path capacity");
static_assert(Cap("COMPANY NAME", 0) == SCRIPT_TEXT_SIZE, "text field capacity");
static_assert(Cap("UPDATE KEY", 0) == SCRIPT_KEY_SIZE && SCRIPT_KEY_SIZE == SIGNATURE_TEXT_SIZE,
              "update key capacity");

bool IsUninstall(const ScriptContext* context) {
    return context->runMode == RUN_MODE_UNINSTALL;
}

// Copies a translated path into a smaller field; a path that does not fit is refused
// (emptied and logged) rather than cut, since a cut path names another file.
int CopyPath(char* field, int size, const char* path) {
    if (StrLen(path) >= size) {
        LogPrint("Path too long for its field (%d > %d) '%s'\n", StrLen(path), size - 1, path);
        field[0] = '\0';
        return 0;
    }
    StrCopy(field, path);
    return 1;
}

// Reads a registry value naming a folder into the field `value` of `size` bytes in the
// 8-bit form RegGetPath gives: the folder as it is named where that fits, else its short
// form. When it cannot be read, `foreign` tells whether it is a string all the same, whose
// folder has no 8-bit form: that folder cannot be used, where a value of another type or
// size names no folder, and a folder whose every form is too long names none the field
// can hold.
int ReadFolderValue(RegKey* key, const char* name, char* value, int size, int* foreign) {
    *foreign = 0;
    if (RegGetPath(key, name, value, size)) return 1;
    char wider[SCRIPT_PATH_SIZE];
    if (size < static_cast<int>(sizeof wider) && RegGetPath(key, name, wider, sizeof wider)) {
        LogPrint("Folder of '%s' too long for its field (%d > %d) '%s'\n", name, StrLen(wider),
                 size - 1, wider);
        return 0;
    }
    *foreign = RegGetString(key, name, wider, sizeof wider);
    return 0;
}

// The program-files folder into `out`; 0 when the system names one that cannot be used.
int ProgramFilesDir(char* out) {
    char system[SCRIPT_PATH_SIZE];
    if (!WinSystemDir(system, sizeof system)) return 0;
    StrCopyN(out, system, 4);  // the drive root, e.g. "C:\"
    StrCat(out, "Program Files\\");

    int usable = 1;
    RegKey* key = nullptr;
    if (RegKeyOpen(&key, REG_ROOT_LOCAL_MACHINE, kWindowsKey)) {
        char value[SCRIPT_PATH_SIZE];
        int foreign = 0;
        // Only a full folder path with room for its separator replaces the folder on the
        // system's drive: a relative one would make every "$0" path relative, and one
        // without its separator would run into the names behind it.
        if (ReadFolderValue(key, "ProgramFilesDir", value, sizeof value, &foreign) &&
            value[0] != '\0') {
            int length = StrLen(value);
            if (!PathIsAbsolute(value) ||
                (value[length - 1] != '\\' && length + 1 >= SCRIPT_PATH_SIZE)) {
                LogPrint("Unusable Program Files path '%s'\n", value);
            } else {
                StrCopy(out, value);
                if (out[length - 1] != '\\') StrCat(out, "\\");
            }
        }
        usable = !foreign;
        RegKeyClose(&key);
    } else {
        LogPrint("Unable to get Program Files path\n");
    }
    LogPrint("$0 Translates to '%s'\n", out);
    return usable;
}

// Whether a folder needs its closing backslash added: it is not empty and does not end in a
// separator.
int LacksSeparator(const char* folder) {
    const int length = StrLen(folder);
    return length > 0 && folder[length - 1] != '\\' && folder[length - 1] != '/';
}

// Reads the product key's "Install Path" into the install path; the install path is
// only replaced by a value that was read whole, and it always ends in a backslash, since
// every item is joined to it directly. The folder is taken in the form that fits the field
// with that backslash: as it is named, else its short form. `present` tells whether the key
// holds the value at all, whatever its type; `foreign` whether it names a folder that has
// no 8-bit form.
int ReadInstallPath(ScriptContext* context, RegKey* key, int* present, int* foreign) {
    *present = RegQueryValueExA(key->handle, "Install Path", nullptr, nullptr, nullptr,
                                nullptr) == ERROR_SUCCESS;
    char value[sizeof context->installPath];
    const int size = static_cast<int>(sizeof value);
    if (!ReadFolderValue(key, "Install Path", value, size, foreign)) return 0;
    // A folder that fills the field leaves no room for its backslash: one character less
    // takes its short form.
    if (LacksSeparator(value) && StrLen(value) + 1 >= size &&
        !ReadFolderValue(key, "Install Path", value, size - 1, foreign))
        return 0;
    if (LacksSeparator(value)) StrAppend(value, size, "\\");
    StrCopy(context->installPath, value);
    return 1;
}

// A name of the script that is about to be acted on: its part after the path codes must
// not climb out of the folder it is joined to.
int ScriptNameInside(const char* text) { return PathStaysInside(ScriptPathCodesEnd(text)); }

// A translated path the uninstaller is about to delete, copy, load or run: only an absolute
// one is used. A relative one (an empty install path leaves every item relative) would be
// looked up from the current folder or the program search path, which could be anywhere.
int IsFullPath(const char* path, const char* action) {
    if (PathIsAbsolute(path)) return 1;
    LogPrint("Not an absolute path, not %s '%s'\n", action, path);
    return 0;
}

// Deletes a file named by the script (as written: `item`) at its translated `path`; the
// installed uninstaller's own file (`own`) may be moved aside instead.
void RemoveScriptFile(RemovalRun* run, const char* item, const char* path, int own = 0) {
    if (!ScriptNameInside(item) || !IsFullPath(path, "deleted")) return;
    if (own)
        RemovalRunOwnFile(run, path);
    else
        RemovalRunFile(run, path);
}

double Percent(int32_t part, int32_t whole) {
    return whole > 0 ? static_cast<double>(part) / whole * 100.0 : 0.0;
}

// Marks the path codes '0'..'7' in front of a script name in `used`.
void MarkCodes(const char* text, int* used) {
    for (const char* end = ScriptPathCodesEnd(text); text < end; text += 2)
        if (text[1] >= '0' && text[1] <= '7') used[text[1] - '0'] = 1;
}

// Whether every folder the uninstall takes from the system can be used: the temporary
// folder, and each folder a path code of the file list, the temporary-file list or the
// uninstall name stands for. Without its 8-bit form the run would pass over a folder's files
// and report them gone; so it stops before anything is removed, naming the folder.
int FoldersUsable(ScriptContext* c) {
    char path[SCRIPT_PATH_SIZE];
    if (!WinTempDir(path, sizeof path) && c->folderProblem == nullptr)
        c->folderProblem = "temporary folder";
    int used[8] = {};
    MarkCodes(c->uninstallName, used);
    const char* const lists[] = {c->fileList, c->tempList};
    const int32_t counts[] = {c->fileCount, c->tempCount};
    for (int l = 0; l < 2; ++l) {
        const char* cursor = lists[l];
        for (int32_t i = 0; i < counts[l] && cursor != nullptr; ++i) {
            char item[SCRIPT_ITEM_SIZE];
            ScriptListItem(&cursor, item);
            MarkCodes(item, used);
        }
    }
    for (int code = 0; code < 8; ++code) {
        const char text[] = {'$', static_cast<char>('0' + code), '\0'};
        int flags = 0;
        if (used[code]) TranslatePath(c, text, path, &flags);
    }
    return c->folderProblem == nullptr;
}

// ---------------------------------------------------------------------------
// Keyword handlers
// ---------------------------------------------------------------------------

// A name or text field: a cut text is still shown cut.
int ReadName(ScriptContext* c, const char* d, int32_t* n, char* out, int capacity, int32_t bit) {
    if (ScriptReadField(c, d, n, out, capacity))
        c->namesCut &= ~bit;
    else
        c->namesCut |= bit;
    return 1;
}
int KwCompanyName(ScriptContext* c, const char* d, int32_t* n) {
    return ReadName(c, d, n, c->companyName, sizeof c->companyName, 1);
}
int KwSupportUrl(ScriptContext* c, const char* d, int32_t* n) {
    ScriptReadField(c, d, n, c->supportUrl, sizeof c->supportUrl);
    return 1;
}
int KwProductName(ScriptContext* c, const char* d, int32_t* n) {
    return ReadName(c, d, n, c->productName, sizeof c->productName, 2);
}
int KwProductVersion(ScriptContext* c, const char* d, int32_t* n) {
    ScriptReadField(c, d, n, c->productVersion, sizeof c->productVersion);
    return 1;
}
int KwText(ScriptContext* c, const char* d, int32_t* n) {
    ScriptReadField(c, d, n, c->text, sizeof c->text);
    return 1;
}
int KwInstallName(ScriptContext* c, const char* d, int32_t* n) {
    ScriptReadField(c, d, n, c->installName, sizeof c->installName);
    return 1;
}

// A field naming something to delete, run or contact: a cut one would name something
// else (a shorter registry path is a parent key), so it is emptied and nothing acts on it.
int ReadWholeField(ScriptContext* c, const char* d, int32_t* n, char* out, int capacity) {
    if (ScriptReadField(c, d, n, out, capacity)) return 1;
    out[0] = '\0';
    return 0;
}

int KwUpdateUrl(ScriptContext* c, const char* d, int32_t* n) {
    ReadWholeField(c, d, n, c->updateUrl, sizeof c->updateUrl);
    return 1;
}
// All modes: from here on a downloaded installer runs only with a signature that checks out
// against the key. A key that is cut or does not parse is kept as read (the download check
// refuses it), so that a broken key never lets an unsigned installer through.
int KwUpdateKey(ScriptContext* c, const char* d, int32_t* n) {
    c->signedUpdates = 1;
    ReadWholeField(c, d, n, c->updateKey, sizeof c->updateKey);
    uint8_t blob[SIGNATURE_BLOB_MAX];
    int32_t length = 0;
    int32_t modulusBytes = 0;
    const char* why = "";
    if (!SignatureKeyParse(c->updateKey, blob, &length, &modulusBytes, &why))
        LogPrint("Update key cannot be read (%s): no downloaded installer will run\n", why);
    return 1;
}
int KwRegistryPath(ScriptContext* c, const char* d, int32_t* n) {
    ReadWholeField(c, d, n, c->registryPath, sizeof c->registryPath);
    return 1;
}
int KwUninstallName(ScriptContext* c, const char* d, int32_t* n) {
    ReadWholeField(c, d, n, c->uninstallName, sizeof c->uninstallName);
    return 1;
}

int KwFileList(ScriptContext* c, const char* d, int32_t* n) {
    ScriptReadList(c, d, n, &c->fileList, &c->fileCount);
    return 1;
}
int KwTempList(ScriptContext* c, const char* d, int32_t* n) {
    ScriptReadList(c, d, n, &c->tempList, &c->tempCount);
    return 1;
}

int KwSkipLine(ScriptContext* c, const char* d, int32_t* n) {
    ScriptSkipLine(c, d, n);
    return 1;
}

int KwCreateGroup(ScriptContext* c, const char* d, int32_t* n) {
    char name[Cap("CREATE GROUP", 0)];
    ReadWholeField(c, d, n, name, sizeof name);
    return GroupSelect(name);
}

int KwAddItem(ScriptContext* c, const char* d, int32_t* n) {
    char number[Cap("ADD ITEM", 0)];
    char target[Cap("ADD ITEM", 1)];
    char arguments[Cap("ADD ITEM", 2)];
    char item[Cap("ADD ITEM", 3)];
    ReadWholeField(c, d, n, number, sizeof number);
    ReadWholeField(c, d, n, target, sizeof target);
    ReadWholeField(c, d, n, arguments, sizeof arguments);
    ReadWholeField(c, d, n, item, sizeof item);
    if (IsUninstall(c) && item[0] != '\0') ItemRemove(item, target, arguments);
    return 1;
}

int KwExecute(ScriptContext* c, const char* d, int32_t* n) {
    char switches[Cap("EXECUTE", 0)];
    char translation[Cap("EXECUTE", 1)];
    char wait[Cap("EXECUTE", 2)];
    char program[Cap("EXECUTE", 3)];
    char parameters[Cap("EXECUTE", 4)];
    ReadWholeField(c, d, n, switches, sizeof switches);
    ReadWholeField(c, d, n, translation, sizeof translation);
    ReadWholeField(c, d, n, wait, sizeof wait);
    ReadWholeField(c, d, n, program, sizeof program);
    ReadWholeField(c, d, n, parameters, sizeof parameters);
    // The switches' second character enables the command for the uninstaller.
    if (!IsUninstall(c) || StrLen(switches) < 2 || switches[1] != '1') return 1;
    if (!ScriptNameInside(program)) return 1;

    char translated[SCRIPT_PATH_SIZE];
    int flags = 0;
    if (translation[0] == '0' || translation[0] == '2') {
        TranslatePath(c, program, translated, &flags);
        CopyPath(program, sizeof program, translated);
    }
    if (translation[0] == '0' || translation[0] == '1') {
        TranslatePath(c, parameters, translated, &flags);
        CopyPath(parameters, sizeof parameters, translated);
    }
    if (program[0] != '\0' && !IsFullPath(program, "run")) return 1;
    uint32_t exitCode = 0;
    if (program[0] != '\0' && RunProgram(program, parameters, wait[0] == '1', &exitCode))
        LogPrint("Executed '%s' with a result of '%d'\n", program, static_cast<int>(exitCode));
    else
        LogPrint("Unable to execute '%s' '%s' '%s : %s'\n", program, parameters, translation, wait);
    return 1;
}

int KwWindow(ScriptContext* c, const char* d, int32_t* n) {
    char mode[Cap("WINDOW", 0)];
    char timeout[Cap("WINDOW", 1)];
    char title[Cap("WINDOW", 2)];
    char className[Cap("WINDOW", 3)];
    char runAfter[Cap("WINDOW", 4)];
    char message[Cap("WINDOW", 5)];
    ReadWholeField(c, d, n, mode, sizeof mode);
    ReadWholeField(c, d, n, timeout, sizeof timeout);
    ReadWholeField(c, d, n, title, sizeof title);
    ReadWholeField(c, d, n, className, sizeof className);
    ReadWholeField(c, d, n, runAfter, sizeof runAfter);
    ReadWholeField(c, d, n, message, sizeof message);

    int closeMode = mode[0] == '1' ? 1 : mode[0] == '2' ? 2 : 0;
    // An empty field names no program; translating it would give the install folder.
    c->runAfter[0] = '\0';
    if (runAfter[0] != '\0' && ScriptNameInside(runAfter)) {
        int flags = 0;
        TranslatePath(c, runAfter, c->runAfter, &flags);
        if (c->runAfter[0] != '\0' && !IsFullPath(c->runAfter, "run")) c->runAfter[0] = '\0';
    }
    // The number is taken whole: cut to 32 bits it could be anything.
    const int64_t requested = AtoI(timeout);
    const int timeoutMs = requested > INT32_MAX ? INT32_MAX
                          : requested < 0       ? 0
                                                : static_cast<int>(requested);
    if (!CloseWindows(c, closeMode, timeoutMs, title, className, c->runAfter, message)) {
        LogPrint("Unable to close Window %d:'%s' '%s'\n", closeMode, title, className);
        return 0;
    }
    return 1;
}

int KwOle(ScriptContext* c, const char* d, int32_t* n) {
    char action[Cap("OLE", 0)];
    char library[Cap("OLE", 1)];
    ReadWholeField(c, d, n, action, sizeof action);
    ReadWholeField(c, d, n, library, sizeof library);
    if (!IsUninstall(c) || !ScriptNameInside(library)) return 1;

    char path[SCRIPT_PATH_SIZE];
    int flags = 0;
    TranslatePath(c, library, path, &flags);
    LogPrint("OLE: %s '%s'\n", action, path);
    if (path[0] == '\0' || !IsFullPath(path, "loaded")) return 1;
    CallComponent(path, 1);
    if (StrEqualNoCase(action, "REGISTER")) CallComponent(path, 0);
    return 1;
}

int KwSystemMutex(ScriptContext* c, const char* d, int32_t* n) {
    ReadWholeField(c, d, n, c->systemMutex, sizeof c->systemMutex);
    if (c->systemMutex[0] == '\0') return 1;
    HANDLE mutex = CreateMutexA(nullptr, FALSE, c->systemMutex);
    if (mutex == nullptr) return 1;
    int running = GetLastError() == ERROR_ALREADY_EXISTS;
    CloseHandle(mutex);
    if (running) {
        char message[1024];
        StrPrintf(message, sizeof message,
                  "%s is currently running!  You must exit the program before you can "
                  "uninstall the existing version.",
                  c->productName);
        ShowProblem(message, nullptr);
        return 0;
    }
    return 1;
}

int KwInstallSize(ScriptContext* c, const char* d, int32_t* n) {
    char size[Cap("INSTALL SIZE", 0)];
    ReadWholeField(c, d, n, size, sizeof size);
    int64_t value = 0;
    if (!AtoIChecked(size, &value)) LogPrint("Install size not a number '%s'\n", size);
    c->installSize = static_cast<int32_t>(value);
    return 1;
}

int KwInstallDir(ScriptContext* c, const char* d, int32_t* n) {
    ReadWholeField(c, d, n, c->installDir, sizeof c->installDir);
    int length = StrLen(c->installDir);
    if (length > 0 && c->installDir[length - 1] != '\\' &&
        !StrAppend(c->installDir, sizeof c->installDir, "\\")) {
        LogPrint("Install folder too long '%s'\n", c->installDir);
        c->installDir[0] = '\0';
    }
    return 1;
}

int KwInstallPath(ScriptContext* c, const char* d, int32_t* n) {
    ReadWholeField(c, d, n, c->text, sizeof c->text);
    char path[SCRIPT_PATH_SIZE];
    int flags = 0;
    TranslatePath(c, "$0", path, &flags);
    CopyPath(c->installPath, sizeof c->installPath, path);
    // The product's folder below the program-files folder: one that climbs out of it would
    // make every item a file of another folder, so there is no install path at all then.
    if (ScriptNameInside(c->installDir)) {
        TranslatePath(c, c->installDir, path, &flags);
        CopyPath(c->installPath, sizeof c->installPath, path);
    } else {
        c->installPath[0] = '\0';
    }

    RegKey* key = nullptr;
    if (c->registryPath[0] != '\0' && RegKeyOpen(&key, REG_ROOT_CURRENT_USER, c->registryPath)) {
        int present = 0;
        int foreign = 0;
        if (!ReadInstallPath(c, key, &present, &foreign) && present)
            LogPrint("Install Path of '%s' cannot be read\n", c->registryPath);
        RegKeyClose(&key);
    }
    c->text[0] = '\0';
    return 1;
}

int KwInstall(ScriptContext* c, const char*, int32_t*) {
    if (!IsUninstall(c)) return 1;
    c->folderProblem = nullptr;

    char question[260];
    StrPrintf(question, sizeof question, "Are you sure you want to uninstall %s %s?",
              c->companyName, c->productName);
    if (!AskYesNo(question, nullptr)) {
        c->runMode = RUN_MODE_CANCELLED;
        return 1;
    }

    if (c->registryPath[0] != '\0') {
        if (!RegKeyExists(REG_ROOT_CURRENT_USER, c->registryPath)) {
            ShowProblem(kNotFound, nullptr);
            OutcomeSet(EXIT_NOT_FOUND);
            c->runMode = RUN_MODE_CANCELLED;
            return 1;
        }
        RegKey* key = nullptr;
        if (!RegKeyOpen(&key, REG_ROOT_CURRENT_USER, c->registryPath))
            TSL_FAIL(kSrc, "Unable to open key '%s'\n", c->registryPath);
        int present = 0;
        int foreign = 0;
        int read = ReadInstallPath(c, key, &present, &foreign);
        RegKeyClose(&key);
        // A value that is there but names no folder (of another type, too long for the
        // install path in every form, empty or relative) leaves nothing to remove by: the
        // run stops before anything goes, and the keys stay for a second attempt. The
        // product is there all the same: a failure, not a product that was not found.
        if (foreign) {
            c->folderProblem = "install folder";
        } else if (present && (!read || !PathIsAbsolute(c->installPath))) {
            LogPrint("Install Path of '%s' names no folder\n", c->registryPath);
            ShowProblem(kNotFound, nullptr);
            OutcomeSet(EXIT_FAILED);
            c->runMode = RUN_MODE_CANCELLED;
            return 1;
        }
    }

    if (!FoldersUsable(c)) {
        char problem[SCRIPT_PATH_SIZE];
        StrPrintf(problem, sizeof problem, FOLDER_UNUSABLE, c->folderProblem);
        char message[2 * SCRIPT_TEXT_SIZE + SCRIPT_PATH_SIZE];
        StrPrintf(message, sizeof message,
                  "%s %s cannot be uninstalled: %s. Nothing has been removed.", c->companyName,
                  c->productName, problem);
        ShowProblem(message, nullptr);
        OutcomeSet(EXIT_FAILED);
        c->runMode = RUN_MODE_CANCELLED;
        return 1;
    }
    RemovalCountsReset();
    ProgressWindowShow(1);

    char temp[SCRIPT_PATH_SIZE];
    WinTempDir(temp, sizeof temp);  // usable: checked above
    const char* cursor = c->tempList;
    for (int32_t i = 0; i < c->tempCount && cursor != nullptr; ++i) {
        char item[SCRIPT_ITEM_SIZE];
        int whole = ScriptListItem(&cursor, item);
        ProgressWindowSet(Percent(i, c->fileCount + c->tempCount));
        // The item names both the product's file and its copy in the temporary folder.
        if (!whole || !ScriptNameInside(item)) continue;

        char source[SCRIPT_PATH_SIZE];
        char destination[SCRIPT_PATH_SIZE];
        int flags = 0;
        TranslatePath(c, item, source, &flags);
        if (source[0] != '\0' && !IsFullPath(source, "copied")) continue;
        StrCopy(destination, temp);
        if (source[0] == '\0' || !StrAppend(destination, sizeof destination, item)) {
            LogPrint("Unable to copy temporary file '%s'\n", item);
            continue;
        }
        if (!CopyFileA(source, destination, FALSE)) {
            LogPrint("Unable to copy '%s' to '%s' (%d)\n", source, destination,
                     static_cast<int>(GetLastError()));
            continue;
        }
        if (!QueueDeleteOnReboot(destination))
            LogPrint("Unable to queue '%s' for deletion\n", destination);
    }
    return 1;
}

int KwDone(ScriptContext* c, const char* d, int32_t* n) {
    if (IsUninstall(c)) {
        char path[SCRIPT_PATH_SIZE];
        int flags = 0;
        RemovalRun run;
        RemovalRunBegin(&run);
        const char* cursor = c->fileList;
        for (int32_t i = 0; i < c->fileCount && cursor != nullptr; ++i) {
            char item[SCRIPT_ITEM_SIZE];
            int whole = ScriptListItem(&cursor, item);
            ProgressWindowSet(Percent(i + c->tempCount, c->tempCount + c->fileCount));
            if (whole && TranslatePath(c, item, path, &flags)) RemoveScriptFile(&run, item, path);
        }
        // What an update check that died during its download left goes with the product.
        UpdateRemoveStaged(c, &run);
        // While a file of the product is left, the installed uninstaller stays with it, so
        // that a second run can be started.
        if (c->uninstallName[0] != '\0' && RemovalLeftCount() > 0)
            LogPrint("Files are left: '%s' is kept for a second run\n", c->uninstallName);
        else if (c->uninstallName[0] != '\0' && TranslatePath(c, c->uninstallName, path, &flags))
            RemoveScriptFile(&run, c->uninstallName, path, PromptIsQuiet());
        RemovalRunEnd(&run);
        c->runAfter[0] = '\0';
        ProgressWindowShow(0);
        // A file that could be neither deleted nor queued is still there: no success.
        OutcomeSet(RemovalLeftCount() > 0     ? EXIT_FAILED
                   : RemovalQueuedCount() > 0 ? EXIT_REBOOT_NEEDED
                                              : EXIT_UNINSTALLED);

        char unused[Cap("DONE", 0)];
        ReadWholeField(c, d, n, unused, sizeof unused);

        if (RemovalLeftCount() > 0) {
            // The product is still there in part: its key and its uninstall entry stay, so
            // that it is still listed and a second run finds it and tries again.
            char message[2 * SCRIPT_TEXT_SIZE + SCRIPT_PATH_SIZE + 100];
            StrPrintf(message, sizeof message,
                      "%s %s could not be removed completely: '%s' could be neither deleted "
                      "nor queued for deletion at the next restart.",
                      c->companyName, c->productName, RemovalFirstLeft());
            ShowProblem(message, nullptr);
        } else {
            if (c->uninstallName[0] != '\0') {
                // Formatted with room to spare, so that a name too long for the key buffer
                // is seen whole: cut, it would name another entry.
                char key[2 * SCRIPT_PATH_SIZE];
                StrPrintf(key, sizeof key, kUninstallKey, c->companyName, c->productName);
                if (StrLen(key) >= SCRIPT_PATH_SIZE)
                    LogPrint("Uninstall entry name too long, not removed '%s'\n", key);
                else if (c->namesCut != 0)
                    LogPrint("Uninstall entry named after a cut name, not removed '%s'\n", key);
                else if (RegKeyExists(REG_ROOT_LOCAL_MACHINE, key))
                    RegKeyDeleteTree(REG_ROOT_LOCAL_MACHINE, key);
            }

            StrPrintf(c->text, sizeof c->text, "%s %s has been uninstalled!", c->companyName,
                      c->productName);
            ShowProblem(c->text, "Uninstaller...");
            c->text[0] = '\0';

            if (c->registryPath[0] != '\0' &&
                RegKeyExists(REG_ROOT_CURRENT_USER, c->registryPath))
                RegKeyDeleteTree(REG_ROOT_CURRENT_USER, c->registryPath);
        }
    } else if (c->runMode == RUN_MODE_UPDATE) {
        UpdateCheck(c);
    }

    if (c->runAfter[0] != '\0') {
        uint32_t exitCode = 0;
        RunProgram(c->runAfter, "", 0, &exitCode);
    }
    return 1;
}

struct HandlerEntry {
    const char* keyword;
    KeywordHandler handler;
};

// In registration order; the same order and names as the keyword table.
constexpr HandlerEntry HANDLERS[] = {
    {"COMPANY NAME", KwCompanyName},   {"SUPPORT URL", KwSupportUrl},
    {"PRODUCT NAME", KwProductName},   {"PRODUCT VERSION", KwProductVersion},
    {"TEXT", KwText},                  {"FILE LIST", KwFileList},
    {"TEMP LIST", KwTempList},         {"FONT", KwSkipLine},
    {"STRING", KwSkipLine},            {"REFRESH", KwSkipLine},
    {"CREATE GROUP", KwCreateGroup},   {"ADD ITEM", KwAddItem},
    {"EXECUTE", KwExecute},            {"WINDOW", KwWindow},
    {"OLE", KwOle},                    {"AGREEMENT", KwSkipLine},
    {"MESSAGE", KwSkipLine},           {"BREAK", KwSkipLine},
    {"UPDATE URL", KwUpdateUrl},       {"INSTALL", KwInstall},
    {"DONE", KwDone},                  {"REGISTRY PATH", KwRegistryPath},
    {"SYSTEM MUTEX", KwSystemMutex},   {"INSTALL SIZE", KwInstallSize},
    {"INSTALL DIR", KwInstallDir},     {"INSTALL PATH", KwInstallPath},
    {"INSTALL NAME", KwInstallName},   {"UNINSTALL NAME", KwUninstallName},
    {"LICENSE", KwSkipLine},           {"README", KwSkipLine},
    {"BACKGROUND", KwSkipLine},        {"DISK CHECK", KwSkipLine},
    {"UPDATE KEY", KwUpdateKey},
};

constexpr bool HandlersMatchTable() {
    if (sizeof HANDLERS / sizeof HANDLERS[0] != KEYWORD_COUNT) return false;
    for (int i = 0; i < KEYWORD_COUNT; ++i)
        if (!SameText(HANDLERS[i].keyword, KEYWORD_TABLE[i].keyword)) return false;
    return true;
}
static_assert(HandlersMatchTable(), "every keyword of the table has its handler, in order");

}  // namespace

int KeywordsRegister() {
    for (const HandlerEntry& entry : HANDLERS) KeywordAdd(entry.keyword, entry.handler);
    return 1;
}

int TranslatePath(ScriptContext* context, const char* text, char* out, int* flags) {
    TSL_NOT_NULL(kSrc, context);
    TSL_NOT_NULL(kSrc, text);
    TSL_NOT_NULL(kSrc, out);
    TSL_NOT_NULL(kSrc, flags);

    StrCopy(out, context->installPath);
    *flags = 0;
    for (const char* codesEnd = ScriptPathCodesEnd(text); text < codesEnd; text += 2) {
        char code = text[1];
        const char* folder = nullptr;  // the folder the code names, when it cannot be used
        switch (code) {
            case '0':
                if (!ProgramFilesDir(out)) folder = "Program Files folder";
                break;
            case '1':
                if (!WinWindowsDir(out, SCRIPT_PATH_SIZE)) folder = "Windows folder";
                break;
            case '2':
                if (!WinSystemDir(out, SCRIPT_PATH_SIZE)) folder = "system folder";
                break;
            case '3':
                if (!WinProgramDir(out, SCRIPT_PATH_SIZE)) folder = "uninstaller's folder";
                break;
            case '4':
                if (!WinTempDir(out, SCRIPT_PATH_SIZE)) folder = "temporary folder";
                break;
            case '5':
                if (!WinCurrentDir(out, SCRIPT_PATH_SIZE)) folder = "current folder";
                break;
            case '6':
                if (IsUninstall(context) && !WinTempDir(out, SCRIPT_PATH_SIZE))
                    folder = "temporary folder";
                break;
            case '7': break;
            case '?': *flags |= 1; break;
            default: LogPrint("Unknown command '%c'\n", code); break;
        }
        if (folder != nullptr) {
            // Without the folder the rest would be a relative path, or another file.
            LogPrint("Unable to use the %s for '%s'\n", folder, text);
            if (context->folderProblem == nullptr) context->folderProblem = folder;
            out[0] = '\0';
            return 0;
        }
    }
    if (text[0] == '\\') ++text;
    if (!StrAppend(out, SCRIPT_PATH_SIZE, text)) {
        // A cut path would name another file: give none.
        LogPrint("Translated path too long '%s' + '%s'\n", out, text);
        out[0] = '\0';
        return 0;
    }
    return 1;
}
