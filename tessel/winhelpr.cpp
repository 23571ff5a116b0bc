// Window helpers, portable part: path clean-up, the folder of a module file name and the
// placement rule that keeps a window on the screen. No system calls here, so these build
// and are tested on the host as well; tessel/windows/winhelpr.cpp applies them.

#include "tessel/winhelpr.h"

#include "tessel/tsl-core.h"
#include "tessel/tsl-str.h"

static const char kSrc[] = "winhelpr";

// True when the component that starts at path[i] is exactly `dots` dots: it must begin the
// path or follow a backslash, and end the path or stand before a backslash.
static int IsDotComponent(const char* path, int i, int dots) {
    if (i > 0 && path[i - 1] != '\\') return 0;
    for (int k = 0; k < dots; k++)
        if (path[i + k] != '.') return 0;
    return path[i + dots] == '\\' || path[i + dots] == '\0';
}

// What a ".." component does to the result written so far (`out`, length n, ending in a
// backslash unless empty).
enum ParentStep { kParentKeep, kParentAboveRoot, kParentRemove };

static ParentStep ParentOf(const char* out, int n, int* cut) {
    if (n == 0) return kParentKeep;  // a relative path that starts by going up
    int end = n - 1;                 // the backslash that closes the last component
    int start = end;
    while (start > 0 && out[start - 1] != '\\') start--;
    int length = end - start;
    if (length == 0 || out[end - 1] == ':') return kParentAboveRoot;  // "\", "C:\"
    if (length == 2 && out[start] == '.' && out[start + 1] == '.') return kParentKeep;
    *cut = start;
    return kParentRemove;
}

// The end of the share root "\\server\share\" (its closing backslash included) of a path
// whose server name starts at `server`.
static int ShareRootEnd(const char* path, int server) {
    int i = server;
    while (path[i] != '\0' && path[i] != '\\') i++;
    if (path[i] == '\0') return i;
    i++;
    while (path[i] != '\0' && path[i] != '\\') i++;
    if (path[i] == '\\') i++;
    return i;
}

int PathNormalize(char* path, int mode) {
    TSL_NOT_NULL(kSrc, path);
    if (path[0] == '\0') return 1;

    for (char* p = path; *p != '\0'; p++)
        if (*p == '/') *p = '\\';

    // "." and ".." count only as whole components, so names such as "v1." or "..x" stay as
    // they are. The result is never longer than the path, so it is written in place; a
    // "\\?\" or "\\.\" prefix names a namespace, not a folder, and is kept.
    int n = 0;
    int i = 0;
    int share = 0;  // where the server name of a share root starts
    if (path[0] == '\\' && path[1] == '\\' && (path[2] == '?' || path[2] == '.') &&
        path[3] == '\\') {
        n = i = 4;
        if (StrStartsWithNoCase(path + 4, "UNC\\")) share = 8;
    } else if (path[0] == '\\' && path[1] == '\\') {
        share = 2;
    }
    // A share root is kept as it is, and a ".." never climbs above it, as above a drive.
    if (share > 0) n = i = ShareRootEnd(path, share);
    int start = n;
    while (path[i] != '\0') {
        if (IsDotComponent(path, i, 1)) {
            i += path[i + 1] == '\\' ? 2 : 1;
            continue;
        }
        if (IsDotComponent(path, i, 2)) {
            int cut = n;
            ParentStep step = share > 0 && n == start ? kParentAboveRoot
                                                      : ParentOf(path + start, n - start, &cut);
            if (step != kParentKeep) {
                if (step == kParentRemove) n = start + cut;
                i += path[i + 2] == '\\' ? 3 : 2;
                continue;
            }
        }
        path[n++] = path[i++];
    }
    // Everything resolved away: what is left is the current folder.
    if (n == 0) path[n++] = '.';
    path[n] = '\0';

    if (mode == 1) {
        if (path[n - 1] != '\\') {
            path[n++] = '\\';
            path[n] = '\0';
        }
    } else if (n > 1 && path[n - 1] == '\\') {
        path[--n] = '\0';
    }
    return 1;
}

int PathModuleDir(char* path, int size) {
    TSL_NOT_NULL(kSrc, path);
    if (size < 3 || path[0] == '\0') {
        if (size > 0) path[0] = '\0';
        return 0;
    }
    PathStripLongPrefix(path);
    PathNormalize(path, 0);

    int n = StrLen(path);
    int i = n - 1;
    while (i >= 0 && path[i] != '\\' && path[i] != ':') i--;
    if (i < 0) {
        // A bare file name is looked up in the current folder.
        StrCopyN(path, ".\\", size);
        return 1;
    }
    if (path[i] == '\\') {
        path[i + 1] = '\0';
        return 1;
    }
    // "C:name": the folder is the drive; one more character is needed for the backslash.
    if (i + 2 >= size) {
        path[0] = '\0';
        return 0;
    }
    path[i + 1] = '\\';
    path[i + 2] = '\0';
    return 1;
}

int ScreenClampPosition(int* x, int* y, int width, int height, int left, int top,
                        int screenWidth, int screenHeight) {
    TSL_NOT_NULL(kSrc, x);
    TSL_NOT_NULL(kSrc, y);
    // The right and bottom edges of the virtual screen are its origin plus its size; a
    // window that starts beyond them is pulled back so that its far edge meets them, and
    // nothing ever ends up left of or above the origin.
    int right = left + screenWidth;
    int bottom = top + screenHeight;
    if (*x > right) *x = right - width;
    if (*x < left) *x = left;
    if (*y > bottom) *y = bottom - height;
    if (*y < top) *y = top;
    return 1;
}

int ProgressPosition(double percent) {
    // Clamped before the conversion, so a huge value or NaN never reaches the integer.
    const double steps = percent * 20.0;
    if (steps >= 2000.0) return 2000;
    if (steps > 0) return static_cast<int>(steps);
    return 0;
}
