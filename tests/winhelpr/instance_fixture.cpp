// Test program for the single-instance guard: "<app name> <class name> [quiet]". As the only
// instance it shows a window of the given class until that is closed (exit code 0); as a
// second instance it ends at once with exit code 1, after the guard's message when not quiet.

#include <windows.h>

#include <string.h>

#include "tessel/winhelpr.h"

static LRESULT CALLBACK FixtureProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_DESTROY) PostQuitMessage(0);
    return DefWindowProcA(window, message, wParam, lParam);
}

int main(int argc, char** argv) {
    if (argc < 3) return 2;
    int quiet = argc > 3 && strcmp(argv[3], "quiet") == 0;
    if (SingleInstanceCheck(argv[1], argv[2], nullptr, 0, 1, quiet ? 0 : 1)) return 1;

    WNDCLASSA windowClass = {};
    windowClass.lpfnWndProc = FixtureProc;
    windowClass.hInstance = GetModuleHandleA(nullptr);
    windowClass.lpszClassName = argv[2];
    RegisterClassA(&windowClass);
    HWND window = CreateWindowExA(0, argv[2], argv[1], WS_OVERLAPPEDWINDOW | WS_VISIBLE, 50, 50,
                                  300, 200, nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
    if (window == nullptr) return 3;
    MSG message;
    while (GetMessageA(&message, nullptr, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
    return 0;
}
