// Answers the uninstaller's dialogs in the demo when no person is there to do it: waits for
// message boxes of any process, prints each one's caption, text and the button pressed, and
// answers Yes to questions and OK to notices. With -watch it only prints what appears and
// leaves the answering to the person at the display.
//
//   demo-answer [-watch] [-timeout seconds]
//
// It ends when the box saying the product "has been uninstalled!" was answered and the
// process that showed it has exited, or after the time-out (exit code 1).
#include <windows.h>

#include <stdio.h>
#include <string.h>

#include <string>
#include <vector>

#include "support/windriver.h"

namespace {

const char* ButtonName(int id) {
    switch (id) {
        case IDOK: return "OK";
        case IDYES: return "Yes";
        case IDNO: return "No";
        case IDCANCEL: return "Cancel";
        default: return "?";
    }
}

bool HasButton(HWND box, int id) { return GetDlgItem(box, id) != nullptr; }

}  // namespace

int main(int argc, char** argv) {
    bool watch = false;
    DWORD timeoutMs = 120000;
    for (int i = 1; i < argc; ++i) {
        if (strcmp(argv[i], "-watch") == 0) watch = true;
        if (strcmp(argv[i], "-timeout") == 0 && i + 1 < argc) timeoutMs = atoi(argv[++i]) * 1000;
    }

    std::vector<HWND> seen;
    DWORD start = GetTickCount();
    DWORD finalPid = 0;
    while (GetTickCount() - start < timeoutMs) {
        for (HWND window : windriver::TopLevelWindows(0)) {
            if (windriver::ClassName(window) != "#32770" || !IsWindowVisible(window)) continue;
            bool known = false;
            for (HWND s : seen) known = known || s == window;
            std::string text = windriver::MessageBoxText(window);
            if (known || text.empty()) continue;
            seen.push_back(window);

            std::string caption = windriver::WindowText(window);
            int button = HasButton(window, IDYES) ? IDYES : IDOK;
            if (watch) {
                printf("dialog \"%s\": %s\n", caption.c_str(), text.c_str());
            } else {
                printf("dialog \"%s\": %s\n  -> %s\n", caption.c_str(), text.c_str(),
                       ButtonName(button));
            }
            fflush(stdout);
            if (text.find("has been uninstalled!") != std::string::npos)
                GetWindowThreadProcessId(window, &finalPid);
            if (!watch) {
                Sleep(300);  // let a person watching the log see it
                windriver::PressButton(window, button);
            }
        }
        if (finalPid != 0) {
            HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, finalPid);
            if (process != nullptr) {
                WaitForSingleObject(process, timeoutMs);
                CloseHandle(process);
            }
            return 0;
        }
        Sleep(50);
    }
    printf("demo-answer: no final notice within %lu s\n", timeoutMs / 1000);
    return 1;
}
