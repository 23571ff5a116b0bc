// Start-menu items, the product's windows, programs, components and the progress window
// (Win32 side).
#pragma once

#include <stdint.h>

struct ScriptContext;

// The current Start-menu group ("CREATE GROUP"), empty at start.
int GroupReset();
const char* GroupCurrent();
// The Start-menu programs folder, then "\" and `name` when it is not empty. 0 (and `out`
// empty) when the folder cannot be found or the path does not fit.
int GroupPath(const char* name, char* out);       // out: 320 bytes
// GroupPath of the current group, then "\", the item name and ".lnk"; 0 as above.
int ItemPath(char* out, const char* itemName);    // out: 320 bytes
// "CREATE GROUP": remembers the group and logs its folder. Always 1.
int GroupSelect(const char* name);
// "ADD ITEM" in uninstall mode: deletes the item's shortcut (and the group's folder once
// empty). A path that is not a full one is logged and left alone. Always 1.
int ItemRemove(const char* itemName, const char* target, const char* arguments);

// "WINDOW": closes the matching top-level windows in up to ten attempts (closeMode 0
// close, 1 notify and stop, 2 ask before each), waiting a tenth of the time-out (1 s to
// 60 s, logged when cut) between them. 1 when none is left; 0 when the user
// declined, was notified, or windows remain. Clears context->runAfter unless windows were
// found and closed. `runAfter` is only logged.
int CloseWindows(ScriptContext* context, int closeMode, int timeoutMs, const char* title,
                 const char* className, const char* runAfter, const char* message);
// COM and OLE, which programs and components may need, are started for the first of them
// (most uninstalls run neither, and OLE's start-up makes a window) and stopped at the end.
int ComStart();
int ComStop();

// Starts `program` with the shell's "open" verb; with `wait`, processes this thread's
// messages until it ends and stores its exit code. `parameters` may be null (none) and
// `exitCode` may be null (not wanted); the exit code is 0 when not waited for. 1 when the
// program was started.
int RunProgram(const char* program, const char* parameters, int wait, uint32_t* exitCode);
// Starts the program file `program` itself with `parameters` (CreateProcess: never another
// program that the shell associates with its name) and waits for it as RunProgram does.
int RunProgramFile(const char* program, const char* parameters, uint32_t* exitCode);
// Calls "DllRegisterServer" (registerServer 1) or "DllUnregisterServer" of a component;
// 1 when it ran and did not report a failure.
int CallComponent(const char* libraryPath, int registerServer);

// The "Please wait..." window (dialog IDD_PROGRESS, bar 0..2000). Created hidden; the
// others return 0 when there is no window (never created, destroyed or closed).
int ProgressWindowCreate();
int ProgressWindowShow(int show);
int ProgressWindowSet(double percent);
int ProgressWindowDestroy();
// Shows (1) or hides (0) the window's Cancel button; either forgets an earlier press. Only a
// download offers it, so the uninstall's window has none.
int ProgressWindowOfferCancel(int offer);
// Passes the window's messages on (at most ten times a second), so that it stays answerable
// during a long wait; 1 once its Cancel has been pressed while offered.
int ProgressWindowPoll();
