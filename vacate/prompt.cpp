// The uninstaller's Yes/No question and its notice, both without owner window.
#include "vacate/prompt.h"

#include "tessel/tsl-os.h"

static const char kSrc[] = "winmain";

int AskYesNo(const char* text, const char* caption) {
    TSL_NOT_NULL(kSrc, text);
    if (caption == nullptr) caption = "Uninstall...";
    const int answer =
        OsMessageBox(text, caption, OS_MB_YESNO | OS_MB_ICONQUESTION | OS_MB_SYSTEMMODAL);
    return answer != OS_IDNO;
}

int ShowProblem(const char* text, const char* caption) {
    TSL_NOT_NULL(kSrc, text);
    if (caption == nullptr) caption = "Uninstall problem...";
    OsMessageBox(text, caption, OS_MB_OK | OS_MB_TASKMODAL);
    return 1;
}
