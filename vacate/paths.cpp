#include "vacate/paths.h"

#include "tessel/tsl-core.h"
#include "tessel/tsl-str.h"

namespace {

constexpr char SOURCE[] = "iscript";

bool IsSeparator(char c) { return c == '\\' || c == '/'; }

bool IsDriveLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

// Length of the "\\server\share" prefix of a UNC path (without the separator after the
// share), or 0 when the path does not start with a complete one.
int UncPrefixLength(const char* path) {
    if (!IsSeparator(path[0]) || !IsSeparator(path[1])) return 0;
    int i = 2;
    int start = i;
    while (path[i] != '\0' && !IsSeparator(path[i])) i++;
    if (i == start || path[i] == '\0') return 0;  // no server, or nothing after it
    i++;
    start = i;
    while (path[i] != '\0' && !IsSeparator(path[i])) i++;
    if (i == start) return 0;  // no share
    return i;
}

}  // namespace

int PathIsAbsolute(const char* path) {
    TSL_NOT_NULL(SOURCE, path);
    if (IsDriveLetter(path[0]) && path[1] == ':' && IsSeparator(path[2])) return 1;
    int unc = UncPrefixLength(path);
    return unc > 0 && IsSeparator(path[unc]) ? 1 : 0;
}

int PathIsRoot(const char* folder) {
    TSL_NOT_NULL(SOURCE, folder);
    if (folder[0] == '\0') return 1;
    if (IsSeparator(folder[0]) && folder[1] == '\0') return 1;
    if (IsDriveLetter(folder[0]) && folder[1] == ':') {
        if (folder[2] == '\0') return 1;
        if (IsSeparator(folder[2]) && folder[3] == '\0') return 1;
        return 0;
    }
    int unc = UncPrefixLength(folder);
    if (unc > 0) {
        if (folder[unc] == '\0') return 1;
        if (IsSeparator(folder[unc]) && folder[unc + 1] == '\0') return 1;
        return 0;
    }
    // A server alone ("\\server\") cannot be removed either.
    if (IsSeparator(folder[0]) && IsSeparator(folder[1])) {
        int i = 2;
        while (folder[i] != '\0' && !IsSeparator(folder[i])) i++;
        if (folder[i] == '\0' || folder[i + 1] == '\0') return 1;
    }
    return 0;
}

int PathFolderOf(const char* path, char* out, int size) {
    TSL_NOT_NULL(SOURCE, path);
    TSL_NOT_NULL(SOURCE, out);
    if (size < 1) return 0;
    out[0] = '\0';
    int cut = -1;
    for (int i = 0; path[i] != '\0'; i++)
        if (IsSeparator(path[i])) cut = i;
    if (cut < 0 || cut + 1 >= size) return 0;
    for (int i = 0; i <= cut; i++) out[i] = path[i];
    out[cut + 1] = '\0';
    return 1;
}

int PathParentFolder(char* folder) {
    TSL_NOT_NULL(SOURCE, folder);
    int length = StrLen(folder);
    // Start before the trailing separator, if there is one.
    int i = length - 1;
    if (i >= 0 && IsSeparator(folder[i])) i--;
    for (; i >= 0; i--) {
        if (IsSeparator(folder[i])) {
            folder[i + 1] = '\0';
            return 1;
        }
    }
    return 0;
}

int PathLeavesFolder(const char* path) {
    TSL_NOT_NULL(SOURCE, path);
    int i = 0;
    while (path[i] != '\0') {
        int dots = 0;
        int others = 0;
        for (; path[i] != '\0' && !IsSeparator(path[i]); i++) {
            if (path[i] == '.')
                dots++;
            else if (path[i] != ' ')
                others++;
        }
        if (dots >= 2 && others == 0) return 1;
        if (path[i] != '\0') i++;
    }
    return 0;
}

int PathStaysInside(const char* path) {
    if (!PathLeavesFolder(path)) return 1;
    LogPrint("Path reaches outside its folder, passed over '%s'\n", path);
    return 0;
}
