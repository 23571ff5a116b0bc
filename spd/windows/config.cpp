// The configuration in the registry (HKEY_CURRENT_USER) and the "Configure..." dialog that
// edits the four switches. Changes made in the dialog reach the registry when the main
// window saves the record as it closes.
#include <windows.h>

#include "spd/config.h"
#include "spd/resource.h"
#include "tessel/registry.h"
#include "tessel/tsl-core.h"
#include "tessel/winhelpr.h"

static const char kSrc[] = "config";

struct ConfigValue {
    const char* name;
    int32_t AppConfig::*field;
};

// Stored and read in this order.
static const ConfigValue kValues[] = {
    {"Dialog X", &AppConfig::dialogX},
    {"Dialog Y", &AppConfig::dialogY},
    {"Dialog W", &AppConfig::dialogW},
    {"Dialog H", &AppConfig::dialogH},
    {"Always On Top", &AppConfig::alwaysOnTop},
    {"Tray Minimize", &AppConfig::trayMinimize},
    {"Ask for reboot", &AppConfig::askForReboot},
    {"Start Minimized", &AppConfig::startMinimized},
};

int ConfigSave(const AppConfig* config, const char* keyPath) {
    TSL_NOT_NULL(kSrc, config);
    TSL_NOT_NULL(kSrc, keyPath);
    RegKey* key = nullptr;
    if (RegKeyExists(REG_ROOT_CURRENT_USER, keyPath)) {
        if (!RegKeyOpen(&key, REG_ROOT_CURRENT_USER, keyPath))
            TSL_FAIL(kSrc, "Unable to open key '%s'\n", keyPath);
    } else if (!RegKeyCreate(&key, REG_ROOT_CURRENT_USER, keyPath)) {
        TSL_FAIL(kSrc, "Unable to create key '%s'\n", keyPath);
    }
    for (const ConfigValue& value : kValues) RegSetInt32(key, value.name, config->*value.field);
    RegKeyClose(&key);
    return 1;
}

int ConfigLoad(AppConfig* config, const char* keyPath) {
    TSL_NOT_NULL(kSrc, config);
    TSL_NOT_NULL(kSrc, keyPath);
    ConfigDefaults(config);
    if (!RegKeyExists(REG_ROOT_CURRENT_USER, keyPath)) ConfigSave(config, keyPath);
    RegKey* key = nullptr;
    if (!RegKeyOpen(&key, REG_ROOT_CURRENT_USER, keyPath))
        TSL_FAIL(kSrc, "Unable to open key '%s'\n", keyPath);
    for (const ConfigValue& value : kValues) {
        // Only a value stored as a number counts: 4 binary bytes arrive in `stored` all the
        // same, but the read reports them.
        int32_t stored = 0;
        if (RegGetInt32(key, value.name, &stored)) config->*value.field = stored;
    }
    RegKeyClose(&key);
    ConfigReduceSwitches(config);
    return 1;
}

// ---------------------------------------------------------------------------
// The "Configure..." dialog
// ---------------------------------------------------------------------------

struct ConfigButton {
    int id;
    int32_t AppConfig::*field;
};

static const ConfigButton kButtons[] = {
    {IDC_CONFIG_ON_TOP, &AppConfig::alwaysOnTop},
    {IDC_CONFIG_TRAY, &AppConfig::trayMinimize},
    {IDC_CONFIG_REBOOT, &AppConfig::askForReboot},
    {IDC_CONFIG_START_MIN, &AppConfig::startMinimized},
};

static const int kButtonTextLimit = 80;

static void ShowState(HWND dialog, int id) {
    int state = 0;
    DlgGetCheck(dialog, id, &state);
    DlgSetText(dialog, id, state == 1 ? "Enabled" : "Disabled", kButtonTextLimit);
}

static INT_PTR CALLBACK ConfigProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    AppConfig* config = reinterpret_cast<AppConfig*>(GetWindowLongPtrA(dialog, GWLP_USERDATA));
    switch (message) {
        case WM_INITDIALOG:
            config = reinterpret_cast<AppConfig*>(lParam);
            SetWindowLongPtrA(dialog, GWLP_USERDATA, lParam);
            for (const ConfigButton& button : kButtons) {
                DlgSetCheck(dialog, button.id, config->*button.field == 1 ? 1 : 0);
                ShowState(dialog, button.id);
            }
            WinCenter(dialog, GetWindow(dialog, GW_OWNER));
            return TRUE;
        case WM_COMMAND: {
            const int id = LOWORD(wParam);
            for (const ConfigButton& button : kButtons)
                if (id == button.id) ShowState(dialog, id);
            // Ok and Escape both keep what the buttons show.
            if (id == IDOK || id == IDCANCEL) {
                for (const ConfigButton& button : kButtons) {
                    int state = 0;
                    DlgGetCheck(dialog, button.id, &state);
                    config->*button.field = ConfigSwitch(state == 1 ? 1 : 0);
                }
                EndDialog(dialog, 1);
            }
            return TRUE;
        }
        case WM_CLOSE:
            // The close box keeps the previous values.
            EndDialog(dialog, 0);
            return TRUE;
        default:
            return FALSE;
    }
}

int ConfigDialog(AppConfig* config, HINSTANCE instance, HWND owner) {
    TSL_NOT_NULL(kSrc, config);
    INT_PTR result = DialogBoxParamA(instance, MAKEINTRESOURCEA(IDD_CONFIG), owner, ConfigProc,
                                     reinterpret_cast<LPARAM>(config));
    if (result == -1) LogPrint("Unable to open the configuration dialog\n");
    return result > 0 ? 1 : 0;
}
