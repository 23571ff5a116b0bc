// The floor of the uninstall benchmark: deletes the product's files and folders with plain
// delete calls and nothing else.
//
//   bench-floor <product folder> <folders> <files per folder>
#include <windows.h>

#include <stdio.h>
#include <stdlib.h>

int main(int argc, char** argv) {
    if (argc != 4) return 2;
    int folders = atoi(argv[2]);
    int files = atoi(argv[3]);
    char path[MAX_PATH];
    for (int d = 0; d < folders; ++d) {
        for (int f = 0; f < files; ++f) {
            snprintf(path, sizeof path, "%s\\d%03d\\f%04d.dat", argv[1], d, f);
            DeleteFileA(path);
        }
        snprintf(path, sizeof path, "%s\\d%03d", argv[1], d);
        RemoveDirectoryA(path);
    }
    RemoveDirectoryA(argv[1]);
    return 0;
}
