// The uninstaller's two message boxes, both without owner window, and the unattended run
// ("-Quiet") that shows none and reports its outcome as the exit code.
#pragma once

// Yes/No question, system-modal, question icon; caption "Uninstall..." when none is given.
// True for every answer but No. In a quiet run: logged, and true.
int AskYesNo(const char* text, const char* caption);

// Notice with an OK button, task-modal; caption "Uninstall problem..." when none is given.
// Always true. In a quiet run: only logged.
int ShowProblem(const char* text, const char* caption);

// What a notice says of a folder the run takes from the system and cannot use (its name
// goes in): the 8-bit calls would reach another folder or none.
constexpr char FOLDER_UNUSABLE[] =
    "the %s cannot be used: it does not exist, or its name holds characters outside this "
    "system's code page and it has no short (8.3) name";

// A quiet run shows no box and no window; whatever would ask the user to act (close the
// product's windows) counts as not done.
int PromptSetQuiet(int quiet);
int PromptIsQuiet();

// The exit codes of a quiet uninstall, as deployment tools read them.
constexpr int EXIT_UNINSTALLED = 0;
constexpr int EXIT_REBOOT_NEEDED = 3010;  // uninstalled, files wait for the next restart
constexpr int EXIT_NOT_FOUND = 1605;      // the product's installation was not found
constexpr int EXIT_FAILED = 1603;         // any other failure, a fatal error among them

// The outcome of the run so far: EXIT_FAILED until the run says otherwise.
int OutcomeSet(int exitCode);
int OutcomeExitCode();
