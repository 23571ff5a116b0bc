// The uninstaller's two message boxes, both without owner window.
#pragma once

// Yes/No question, system-modal, question icon; caption "Uninstall..." when none is given.
// True for every answer but No.
int AskYesNo(const char* text, const char* caption);

// Notice with an OK button, task-modal; caption "Uninstall problem..." when none is given.
// Always true.
int ShowProblem(const char* text, const char* caption);
