// Test program for the library search: "<restrict 0|1> <library name>". With 1 it first
// keeps the search to the system folder (WinRestrictLibrarySearch; exit code 3 when the
// system cannot), then loads the library by its name: exit code 0 when it loaded, 1 when it
// did not, 2 for a wrong command line.

#include <windows.h>

#include <string.h>

#include "tessel/winhelpr.h"

int main(int argc, char** argv) {
    if (argc != 3) return 2;
    if (strcmp(argv[1], "1") == 0 && !WinRestrictLibrarySearch()) return 3;
    return LoadLibraryA(argv[2]) != nullptr ? 0 : 1;
}
