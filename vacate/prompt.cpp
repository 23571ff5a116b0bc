// The uninstaller's Yes/No question and its notice, both without owner window, and the
// state of an unattended run.
#include "vacate/prompt.h"

#include "tessel/tsl-os.h"

static const char kSrc[] = "winmain";

namespace {
int gQuiet = 0;
int gOutcome = EXIT_FAILED;
}  // namespace

int AskYesNo(const char* text, const char* caption) {
    TSL_NOT_NULL(kSrc, text);
    if (caption == nullptr) caption = "Uninstall...";
    if (gQuiet) {
        LogPrint("Quiet: [%s] %s -> Yes\n", caption, text);
        return 1;
    }
    const int answer =
        OsMessageBox(text, caption, OS_MB_YESNO | OS_MB_ICONQUESTION | OS_MB_SYSTEMMODAL);
    return answer != OS_IDNO;
}

int ShowProblem(const char* text, const char* caption) {
    TSL_NOT_NULL(kSrc, text);
    if (caption == nullptr) caption = "Uninstall problem...";
    if (gQuiet) {
        LogPrint("Quiet: [%s] %s\n", caption, text);
        return 1;
    }
    OsMessageBox(text, caption, OS_MB_OK | OS_MB_TASKMODAL);
    return 1;
}

int PromptSetQuiet(int quiet) {
    gQuiet = quiet ? 1 : 0;
    return 1;
}

int PromptIsQuiet() { return gQuiet; }

int OutcomeSet(int exitCode) {
    gOutcome = exitCode;
    return 1;
}

int OutcomeExitCode() { return gOutcome; }
