// Answers the uninstaller's dialogs in the demo when no person is there to do it: waits for
// message boxes of any process, prints each one's caption, text and the button pressed, and
// answers Yes to questions and OK to notices; the update check's new-version dialog gets
// "Download and install new version". With -watch it only prints what appears and leaves
// the answering to the person at the display.
//
//   demo-answer [-watch] [-timeout seconds] [-final text]...
//
// It ends when a notice holding one of the -final texts (by default "has been
// uninstalled!") was answered and the process that showed it has exited, or after the
// time-out (exit code 1).
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

// The update check's dialog 100 and its download button.
const int kDownloadButton = 1015;

}  // namespace

int main(int argc, char** argv) {
    bool watch = false;
    DWORD timeoutMs = 120000;
    std::vector<std::string> finals;
    for (int i = 1; i < argc; ++i) {
        if (strcmp(argv[i], "-watch") == 0) watch = true;
        if (strcmp(argv[i], "-timeout") == 0 && i + 1 < argc) timeoutMs = atoi(argv[++i]) * 1000;
        if (strcmp(argv[i], "-final") == 0 && i + 1 < argc) finals.push_back(argv[++i]);
    }
    if (finals.empty()) finals.push_back("has been uninstalled!");

    std::vector<HWND> seen;
    DWORD start = GetTickCount();
    DWORD finalPid = 0;
    while (GetTickCount() - start < timeoutMs) {
        for (HWND window : windriver::TopLevelWindows(0)) {
            if (windriver::ClassName(window) != "#32770" || !IsWindowVisible(window)) continue;
            bool known = false;
            for (HWND s : seen) known = known || s == window;
            std::string text = windriver::MessageBoxText(window);
            const bool offer = text.empty() && HasButton(window, kDownloadButton);
            if (known || (text.empty() && !offer)) continue;
            seen.push_back(window);

            std::string caption = windriver::WindowText(window);
            int button = offer ? kDownloadButton : HasButton(window, IDYES) ? IDYES : IDOK;
            if (offer) {
                // The dialog's lines, the second and later ones indented under the first.
                std::string lines = windriver::StaticTexts(window);
                for (size_t at = 0, end; (end = lines.find('\n', at)) != std::string::npos;
                     at = end + 1)
                    text += (text.empty() ? "" : "\n    ") + lines.substr(at, end - at);
            }
            const char* pressed = offer ? "Download and install new version" : ButtonName(button);
            if (watch) {
                printf("dialog \"%s\": %s\n", caption.c_str(), text.c_str());
            } else {
                printf("dialog \"%s\": %s\n  -> %s\n", caption.c_str(), text.c_str(), pressed);
            }
            fflush(stdout);
            for (const std::string& final : finals)
                if (!offer && text.find(final) != std::string::npos)
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
