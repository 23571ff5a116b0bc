// The cache tuner's configuration: the main window's placement and four switches, kept for
// the current user under HKEY_CURRENT_USER "Software\Quorvex\Spindrel". The record, its
// defaults and the reduction of the switches are portable; loading, saving and the
// "Configure..." dialog are the Win32 half (spd/windows/config.cpp).
#pragma once

#include <stdint.h>

struct AppConfig {
    int32_t dialogX;         // "Dialog X", left edge of the main window
    int32_t dialogY;         // "Dialog Y", top edge
    int32_t dialogW;         // "Dialog W", width (0: the template's size)
    int32_t dialogH;         // "Dialog H", height (0: the template's size)
    int32_t alwaysOnTop;     // "Always On Top": the main window stays above the others
    int32_t trayMinimize;    // "Tray Minimize": minimising puts the window in the tray
    int32_t askForReboot;    // "Ask for reboot": offer the restart prompt after writing
    int32_t startMinimized;  // "Start Minimized": minimise right after opening
};

constexpr char CONFIG_KEY[] = "Software\\Quorvex\\Spindrel";

int ConfigCreate(AppConfig** holder);
int ConfigDestroy(AppConfig** holder);
int ConfigDefaults(AppConfig* config);

// A stored switch as 0 or 1: 1 or more counts as 1, anything else as 0.
int32_t ConfigSwitch(int32_t stored);
int ConfigReduceSwitches(AppConfig* config);

#ifdef _WIN32
#include <windows.h>

int ConfigLoad(AppConfig* config, const char* keyPath);
int ConfigSave(const AppConfig* config, const char* keyPath);
int ConfigDialog(AppConfig* config, HINSTANCE instance, HWND owner);
#endif
