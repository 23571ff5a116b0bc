// The installation script "install.dat" and the state of one loaded script.
// A command is the byte 0x16, a keyword up to ':' (at most 39 bytes), then its fields: runs
// of bytes 0x20..0x7F, each ended by one byte outside that range.
#pragma once

#include <stdint.h>

constexpr int RUN_MODE_CANCELLED = 0;
constexpr int RUN_MODE_UNINSTALL = 3;
constexpr int RUN_MODE_UPDATE = 7;

constexpr char SCRIPT_COMMAND = 0x16;
constexpr int SCRIPT_KEYWORD_MAX = 39;  // keyword bytes taken
constexpr int SCRIPT_TEXT_SIZE = 160;   // the context's text fields
constexpr int SCRIPT_PATH_SIZE = 320;   // translated paths
constexpr int SCRIPT_ITEM_SIZE = 260;   // list items
constexpr int SCRIPT_FONT_SIZE = 320;
constexpr int SCRIPT_KEY_SIZE = 1024;   // "UPDATE KEY": a public key as hex text

struct ScriptContext {
    void* owner;  // owner window, null for none
    int32_t runMode;
    char* script;        // the script text, followed by a 0 byte
    int32_t scriptSize;  // bytes of text (the buffer holds one more)
    int32_t fontCount;   // temporary fonts (filled on the installer side only)
    char (*fonts)[SCRIPT_FONT_SIZE];
    char text[SCRIPT_TEXT_SIZE];  // "TEXT", also the scratch message buffer
    char companyName[SCRIPT_TEXT_SIZE];
    // Which of the company (1) and product (2) names were cut to their fields: the
    // uninstall entry is named after both, and a cut name would name another entry.
    int32_t namesCut;
    char supportUrl[SCRIPT_TEXT_SIZE];
    char productName[SCRIPT_TEXT_SIZE];
    char productVersion[SCRIPT_TEXT_SIZE];
    char registryPath[SCRIPT_TEXT_SIZE];  // a key below HKEY_CURRENT_USER
    char systemMutex[SCRIPT_TEXT_SIZE];
    int32_t installSize;  // kilobytes
    char installPath[SCRIPT_TEXT_SIZE];
    char installDir[SCRIPT_TEXT_SIZE];  // kept with a trailing backslash
    char installName[SCRIPT_TEXT_SIZE];
    char uninstallName[SCRIPT_TEXT_SIZE];  // the installed uninstaller
    char updateUrl[SCRIPT_TEXT_SIZE];
    // "UPDATE KEY": once the script holds it, a downloaded installer runs only when its
    // signature checks out against this key (a key that cannot be read lets none run).
    int32_t signedUpdates;
    char updateKey[SCRIPT_KEY_SIZE];
    int32_t fileCount;
    const char* fileList;  // points into the script text
    int32_t tempCount;
    const char* tempList;  // points into the script text
    const char* position;  // where the next run continues
    char runAfter[SCRIPT_PATH_SIZE];  // remembered by "WINDOW", started by "DONE"
    // The first folder taken from the system that could not be used ("temporary folder"),
    // null while there is none; set by TranslatePath and the uninstall's checks.
    const char* folderProblem;
};

// Loads the stored file `name` from the archive (or disk) into a new context.
int ScriptLoad(ScriptContext** context, const char* name, int32_t runMode);
// Runs from the current position; 1 when the script ran to its end.
int ScriptRun(ScriptContext* context, void* owner);
int ScriptFree(ScriptContext** context);

// Field readers used by the keyword handlers. `data` is the command's data inside the
// context's script (data outside it is fatal) and `consumed` counts the bytes of it taken so far. No reader goes past
// the end of the script: at the end a field reads as empty and nothing more is consumed.
// A field longer than capacity - 1 is cut (and logged) but consumed whole, with the one
// byte that ended it; the reader then returns 0, so that a cut path is never acted on.
int ScriptReadField(const ScriptContext* context, const char* data, int32_t* consumed,
                    char* out, int capacity);
// A ','-separated list: remembers where it starts and counts its items (1 + the commas);
// the byte that ends the list is not consumed.
int ScriptReadList(const ScriptContext* context, const char* data, int32_t* consumed,
                   const char** list, int32_t* count);
// Takes the next item of a list into `item` (SCRIPT_ITEM_SIZE bytes; longer items are cut
// and logged, and 0 is returned) and moves the cursor behind it and its ','. At the end of
// the list the cursor stays put and the item is empty.
int ScriptListItem(const char** cursor, char* item);
// Consumes the data up to, not including, the first 0, line feed or carriage return.
int ScriptSkipLine(const ScriptContext* context, const char* data, int32_t* consumed);

// Where the path codes ("$" and one character each) in front of a script path end: the
// relative part follows (after one backslash, which TranslatePath leaves out). Pure.
const char* ScriptPathCodesEnd(const char* text);

// Expands the path variables "$0".."$7" and "$?" in front of a relative path into `out`
// (SCRIPT_PATH_SIZE bytes). 0 with an empty `out` when the result does not fit or a folder
// named cannot be used (then recorded in the context's folderProblem). Win32 side.
int TranslatePath(ScriptContext* context, const char* text, char* out, int* flags);
