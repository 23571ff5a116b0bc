// Start-menu items, the product's windows, programs, components and the progress window
// (Win32 side).
#pragma once

#include <stdint.h>

struct ScriptContext;

// The current Start-menu group ("CREATE GROUP"), empty at start.
int GroupReset();
const char* GroupCurrent();
int GroupPath(const char* name, char* out);       // out: 320 bytes
int ItemPath(char* out, const char* itemName);    // out: 320 bytes
int GroupSelect(const char* name);
int ItemRemove(const char* itemName, const char* target, const char* arguments);

int CloseWindows(ScriptContext* context, int closeMode, int timeoutMs, const char* title,
                 const char* className, const char* runAfter, const char* message);
int RunProgram(const char* program, const char* parameters, int wait, uint32_t* exitCode);
int CallComponent(const char* libraryPath, int registerServer);

int ProgressWindowCreate();
int ProgressWindowShow(int show);
int ProgressWindowSet(double percent);
int ProgressWindowDestroy();
