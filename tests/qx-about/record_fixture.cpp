// Stands in for a web browser: "<record file> <address>" writes the address it was asked to
// open into the record file (first under another name, so a reader never sees half of it).

#include <windows.h>

#include <string.h>

int main(int argc, char** argv) {
    if (argc < 3) return 2;
    char partial[MAX_PATH + 8];
    if (strlen(argv[1]) + 5 > MAX_PATH) return 2;
    strcpy(partial, argv[1]);
    strcat(partial, ".new");
    HANDLE file = CreateFileA(partial, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return 3;
    DWORD written = 0;
    WriteFile(file, argv[2], static_cast<DWORD>(strlen(argv[2])), &written, nullptr);
    CloseHandle(file);
    return MoveFileA(partial, argv[1]) ? 0 : 4;
}
