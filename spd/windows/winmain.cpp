// The cache tuner's entry and its main window. The entry guards against a second instance,
// starts the library, opens the preset store and checks its own executable, then runs the
// main dialog: five rows of slider, number field and check box showing the working
// settings, the list of presets, Add, Remove, Apply with the system's restart prompt, the
// about box and the "Configure..." dialog, and minimising into the notification area,
// where a right click opens a menu of the presets that applies one directly.
#include <windows.h>
#include <commctrl.h>
#include <string.h>

#include "spd/cache.h"
#include "spd/config.h"
#include "spd/resource.h"
#include "spd/settings.h"
#include "tessel/maker.h"
#include "tessel/platform.h"
#include "tessel/qx-about.h"
#include "tessel/tsl-core.h"
#include "tessel/tsl-str.h"
#include "tessel/winhelpr.h"

static const char kSrc[] = "winmain";

static const char kProductName[] = "Spindrel";
static const char kProductVersion[] = "1.01";
static const char kProductBuild[] = "Release";
static const char kAboutLine[] = "Windows 95/98 Only";
static const char kClassName[] = "SpindrelGotClass";
static const char kLogName[] = "debug.log";
static const char kCurrentSettings[] = "* Current Settings";
static const char kNothingShown[] = "*Nothing!?!*";
static const char kBoxCaption[] = "Spindrel...";
static const int32_t kMemoryLimit = 0x7FFFFFFF;

static const UINT kTrayMessage = WM_USER + 1;
static const UINT kTrayIconId = IDI_SPD;
static const int kMenuFirst = 4000;
static const int kMenuLast = 4999;
static const int kFieldLimit = 6;
static const int kFieldTextSize = 320;

// ---------------------------------------------------------------------------
// Module state: one main window on one thread
// ---------------------------------------------------------------------------

struct MainState {
    HWND window;
    HINSTANCE instance;
    CacheSettings working;
    char lastSelection[CS_NAME_SIZE];
    int32_t cacheTop;    // the file cache's top from the memory snapshot (CacheFileCacheTop)
    AppConfig* config;
    HMENU presetMenu;
    HICON icon;
    int minimised;  // 1 after a minimise, 0 after a restore
    int inTray;     // hidden, with the icon in the notification area
    int showing;    // the program itself is showing or minimising the window
    int presetsTold;  // the user knows that changes to the presets cannot be kept
    int ceilingTold;  // the user knows that the tray held a file cache to the ceiling
};

static MainState gMain;

// One row of the window: slider, number field, the check box that governs it, its flag,
// its value in the record, and the slider's range and step (0: from P).
struct Row {
    int slider;
    int field;
    int check;
    uint32_t flag;
    int32_t CacheSettings::*value;
    CacheLimit limit;
};

static const Row kRows[] = {
    {IDC_MIN_SLIDER, IDC_MIN_FIELD, IDC_MIN_ACTIVE, CS_MIN_SET, &CacheSettings::minFileCache,
     {CS_FILE_CACHE_LOWER, 0, 0, 0}},
    {IDC_MAX_SLIDER, IDC_MAX_FIELD, IDC_MAX_ACTIVE, CS_MAX_SET, &CacheSettings::maxFileCache,
     {CS_FILE_CACHE_LOWER, 0, 0, 0}},
    {IDC_CHUNK_SLIDER, IDC_CHUNK_FIELD, IDC_CHUNK_ACTIVE, CS_CHUNK_SET,
     &CacheSettings::chunkSize, CS_CHUNK_LIMIT},
    {IDC_NAME_CACHE_SLIDER, IDC_NAME_CACHE_FIELD, IDC_TEMPLATE_ACTIVE, CS_TEMPLATE_ACTIVE,
     &CacheSettings::nameCache, CS_NAME_LIMIT},
    {IDC_PATH_CACHE_SLIDER, IDC_PATH_CACHE_FIELD, IDC_TEMPLATE_ACTIVE, CS_TEMPLATE_ACTIVE,
     &CacheSettings::pathCache, CS_PATH_LIMIT},
};

// ---------------------------------------------------------------------------
// Message boxes, all owned by the main window
// ---------------------------------------------------------------------------

static int AskYes(const char* question) {
    return MessageBoxA(gMain.window, question, kBoxCaption, MB_YESNO | MB_ICONQUESTION) ==
           IDYES;
}

static void Inform(const char* text) {
    MessageBoxA(gMain.window, text, kBoxCaption, MB_OK | MB_ICONINFORMATION);
}

// The system's restart prompt. It may end the session; its answer is logged.
static void RestartPrompt() {
    LogPrint("Restart prompt\n");
    int answer = PlatformRestartPrompt(gMain.window);
    LogPrint("Restart prompt answered %d\n", answer);
}

// Where the preset file cannot be kept, the user hears it once: at start when no file can
// be named beside the program, else at the first change to the presets that is not saved
// (the file could not be read at start, or it cannot be written now).
static void TellPresetsNotKept() {
    if (gMain.presetsTold) return;
    gMain.presetsTold = 1;
    const char* path = PresetStorePath();
    char text[PRESET_PATH_SIZE + 200];
    if (path[0] == '\0')
        StrPrintf(text, sizeof text,
                  "The path of Spindrel's folder is too long or cannot be given in this "
                  "system's code page, so Spindrel runs without presets: none are loaded, and "
                  "changes to the presets last only until it is closed.");
    else if (!PresetStoreKept())
        StrPrintf(text, sizeof text,
                  "The presets file\n%s\ncould not be read when Spindrel started, so it is "
                  "left as it is: changes to the presets last only until Spindrel is closed.",
                  path);
    else
        StrPrintf(text, sizeof text,
                  "The presets file\n%s\ncould not be saved (it may be read-only or in use, or "
                  "there is no room beside it), so it keeps what it held: changes to the "
                  "presets last only until Spindrel is closed.",
                  path);
    Inform(text);
}

// Saves the presets after a change (`changed` 0: nothing was changed).
static void SavePresets(int changed) {
    if (!PresetStoreSave() && changed) TellPresetsNotKept();
}

// ---------------------------------------------------------------------------
// The rows
// ---------------------------------------------------------------------------

// Enables or disables the number fields and sliders governed by a check box.
static void EnableRows(HWND dialog, int check) {
    int state = 0;
    DlgGetCheck(dialog, check, &state);
    for (const Row& row : kRows) {
        if (row.check != check) continue;
        DlgEnable(dialog, row.field, state);
        DlgEnable(dialog, row.slider, state);
    }
}

static void ShowRows(HWND dialog) {
    const int32_t p = gMain.cacheTop;
    for (const Row& row : kRows) {
        const int fromMemory = row.limit.upper == 0;
        TrackSetRange(dialog, row.slider, row.limit.lower, fromMemory ? p : row.limit.upper);
        TrackSetStep(dialog, row.slider, fromMemory ? p / 100 : row.limit.step);
        TrackSetPos(dialog, row.slider, gMain.working.*row.value);
        DlgSetInt(dialog, row.field, gMain.working.*row.value, kFieldLimit);
        DlgSetCheck(dialog, row.check, (gMain.working.flags & row.flag) ? 1 : 0);
    }
    for (const Row& row : kRows) EnableRows(dialog, row.check);
}

// Shows the selected list entry, unless it is the one shown last.
static void ShowSelection(HWND dialog) {
    char text[CS_NAME_SIZE] = "";
    ComboGetSelText(dialog, IDC_PRESETS, text, sizeof text);
    if (StrEqualNoCase(text, gMain.lastSelection)) return;
    StrCopy(gMain.lastSelection, text);
    LogPrint("Selected '%s'\n", text);
    CacheSettings* preset = nullptr;
    if (StrEqualNoCase(text, kCurrentSettings))
        CacheSettingsRead(&gMain.working);
    else if (PresetFind(text, &preset))
        gMain.working = *preset;
    CacheSettingsNormalise(&gMain.working, gMain.cacheTop);
    ShowRows(dialog);
}

// The window's controls into the working record: values exactly as typed, no limits.
static void Gather(HWND dialog) {
    memset(&gMain.working, 0, sizeof gMain.working);
    ComboGetSelText(dialog, IDC_PRESETS, gMain.working.name, sizeof gMain.working.name);
    for (const Row& row : kRows) {
        int state = 0;
        DlgGetCheck(dialog, row.check, &state);
        if (state == 1) gMain.working.flags |= row.flag;
        char text[kFieldTextSize];
        DlgGetText(dialog, row.field, text, sizeof text);
        CacheNumber(text, "a number field", &(gMain.working.*row.value));
    }
}

static const Row* RowOfSlider(int slider) {
    for (const Row& row : kRows)
        if (row.slider == slider) return &row;
    return nullptr;
}

// A slider moved: its value into the record and the row's field. The minimum and the
// maximum pull each other along so the minimum never stands above the maximum.
static void SliderMoved(HWND dialog, HWND slider) {
    const Row* row = RowOfSlider(GetDlgCtrlID(slider));
    if (row == nullptr) return;
    int position = 0;
    TrackGetPos(dialog, row->slider, &position);
    gMain.working.*row->value = position;
    DlgSetInt(dialog, row->field, position, kFieldLimit);
    const Row& minRow = kRows[0];
    const Row& maxRow = kRows[1];
    int other = 0;
    if (row == &minRow) {
        TrackGetPos(dialog, maxRow.slider, &other);
        if (position > other) {
            gMain.working.maxFileCache = position;
            TrackSetPos(dialog, maxRow.slider, position);
            DlgSetInt(dialog, maxRow.field, position, kFieldLimit);
        }
    } else if (row == &maxRow) {
        TrackGetPos(dialog, minRow.slider, &other);
        if (position < other) {
            gMain.working.minFileCache = position;
            TrackSetPos(dialog, minRow.slider, position);
            DlgSetInt(dialog, minRow.field, position, kFieldLimit);
        }
    }
}

// ---------------------------------------------------------------------------
// The list
// ---------------------------------------------------------------------------

// Selects the entry of that name, ignoring case; 0 when there is none.
static int SelectEntry(HWND dialog, const char* name) {
    LRESULT index = DlgItemSend(dialog, IDC_PRESETS, CB_FINDSTRINGEXACT, static_cast<WPARAM>(-1),
                                reinterpret_cast<LPARAM>(name));
    if (index == CB_ERR) return 0;
    return ComboSetSel(dialog, IDC_PRESETS, static_cast<int>(index));
}

// "* Current Settings" and every preset; a preset with the system's values is selected
// (the last of several).
static void FillList(HWND dialog) {
    MemoryStatusLog();
    gMain.cacheTop = CacheFileCacheTop(MemoryStatusBase());
    CacheSettingsRead(&gMain.working);
    int index = 0;
    ComboAdd(dialog, IDC_PRESETS, &index, kCurrentSettings);
    ComboSetSel(dialog, IDC_PRESETS, index);
    CacheSettings* preset = nullptr;
    int matched = 0;
    for (PresetFirst(&preset); preset != nullptr; preset = preset->next) {
        ComboAdd(dialog, IDC_PRESETS, &index, preset->name);
        if (CacheSettingsSameValues(preset, &gMain.working)) {
            StrCopy(gMain.working.name, preset->name);
            matched = 1;
        }
    }
    // The list sorts itself: the match is selected by its text once all are in.
    if (matched && !ComboSelectExact(dialog, IDC_PRESETS, gMain.working.name))
        SelectEntry(dialog, gMain.working.name);
}

// ---------------------------------------------------------------------------
// The name prompt
// ---------------------------------------------------------------------------

static INT_PTR CALLBACK NamePromptProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    CacheSettings* record =
        reinterpret_cast<CacheSettings*>(GetWindowLongPtrA(dialog, GWLP_USERDATA));
    switch (message) {
        case WM_INITDIALOG:
            SetWindowLongPtrA(dialog, GWLP_USERDATA, lParam);
            record = reinterpret_cast<CacheSettings*>(lParam);
            DlgSetText(dialog, IDC_NAME_FIELD, record->name, CS_NAME_INPUT);
            WinCenter(dialog, gMain.window);
            return TRUE;
        case WM_COMMAND:
            if (LOWORD(wParam) == IDOK) {
                DlgGetText(dialog, IDC_NAME_FIELD, record->name, CS_NAME_INPUT);
                EndDialog(dialog, record->name[0] != '\0' ? 1 : 0);
                return TRUE;
            }
            if (LOWORD(wParam) == IDCANCEL) {
                EndDialog(dialog, 0);
                return TRUE;
            }
            return FALSE;
        default:
            return FALSE;
    }
}

// ---------------------------------------------------------------------------
// Commands
// ---------------------------------------------------------------------------

static void AddPreset(HWND dialog) {
    Gather(dialog);
    INT_PTR named = DialogBoxParamA(gMain.instance, MAKEINTRESOURCEA(IDD_NAME), dialog,
                                    NamePromptProc, reinterpret_cast<LPARAM>(&gMain.working));
    if (named == 1) {
        if (PresetExists(&gMain.working)) {
            if (!AskYes("The name you have selected already exists; do you wish to overwrite "
                        "it?"))
                return;
            LogPrint("Delete\n");
            PresetRemove(&gMain.working);
        } else {
            int index = 0;
            ComboAdd(dialog, IDC_PRESETS, &index, gMain.working.name);
        }
        LogPrint("Add\n");
        PresetAdd(&gMain.working);
        // The entry selected now shows what the window holds: it counts as shown, so that
        // the list's next notification does not put the stored values over later edits.
        if (SelectEntry(dialog, gMain.working.name))
            ComboGetSelText(dialog, IDC_PRESETS, gMain.lastSelection, sizeof gMain.lastSelection);
    }
    SavePresets(named == 1);
}

static void RemovePreset(HWND dialog) {
    Gather(dialog);
    char question[CS_NAME_SIZE + 40];
    StrPrintf(question, sizeof question, "Remove '%s' from the settings?", gMain.working.name);
    if (!AskYes(question)) return;
    int count = 0;
    int removed = 0;
    ComboCount(dialog, IDC_PRESETS, &count);
    for (int i = 0; i < count; i++) {
        char text[CS_NAME_SIZE];
        if (!ComboGetText(dialog, IDC_PRESETS, i, text, sizeof text)) continue;
        if (!StrEqualNoCase(text, gMain.working.name)) continue;
        ComboDelete(dialog, IDC_PRESETS, i);
        removed = PresetRemove(&gMain.working);
        break;
    }
    if (!SelectEntry(dialog, kCurrentSettings))
        DlgItemSend(dialog, IDC_PRESETS, CB_SETCURSEL, static_cast<WPARAM>(-1), 0);
    ShowSelection(dialog);
    SavePresets(removed);
}

// A file cache typed above the ceiling goes out only on the user's word; No holds it there.
static void ConfirmAboveCeiling() {
    const int32_t above = CacheAboveCeiling(&gMain.working);
    if (above == 0) return;
    char question[400];
    StrPrintf(question, sizeof question,
              "A disk cache of %d Kb is above %d Kb (512 MB): with more memory than that, the "
              "disk cache of Windows 95, 98 and Me can take all of it, and Windows may then "
              "not start (\"Insufficient memory to initialize Windows\").\n\nWrite %d Kb "
              "anyway? No writes %d Kb.",
              above, CS_FILE_CACHE_CEILING, above, CS_FILE_CACHE_CEILING);
    if (AskYes(question)) {
        LogPrint("Disk cache of %d Kb above the ceiling written on the user's word\n", above);
        return;
    }
    CacheHoldToCeiling(&gMain.working);
    LogPrint("Disk cache held to %d Kb\n", CS_FILE_CACHE_CEILING);
}

static void ApplySettings(HWND dialog) {
    Gather(dialog);
    if (!AskYes("Apply the current settings?")) return;
    ConfirmAboveCeiling();
    CacheSettingsWrite(&gMain.working);
    LogPrint("Applied '%s'\n", gMain.working.name);
    if (gMain.config->askForReboot == 1) RestartPrompt();
}

// A preset chosen in the tray menu is written without a question.
static void ApplyTrayPreset(HWND dialog, int index) {
    if (!ComboSetSel(dialog, IDC_PRESETS, index)) {
        LogPrint("No list entry %d\n", index);
        return;
    }
    ShowSelection(dialog);
    Gather(dialog);
    // Applied without a question: a file cache above the ceiling is held to it, and the user
    // hears of it once.
    if (CacheAboveCeiling(&gMain.working) != 0) {
        CacheHoldToCeiling(&gMain.working);
        LogPrint("Disk cache held to %d Kb\n", CS_FILE_CACHE_CEILING);
        if (!gMain.ceilingTold) {
            gMain.ceilingTold = 1;
            char text[300];
            StrPrintf(text, sizeof text,
                      "A disk cache above %d Kb (512 MB) can keep Windows 95, 98 and Me from "
                      "starting: it was written as %d Kb.",
                      CS_FILE_CACHE_CEILING, CS_FILE_CACHE_CEILING);
            Inform(text);
        }
    }
    CacheSettingsWrite(&gMain.working);
    LogPrint("Applied '%s'\n", gMain.working.name);
    if (gMain.config->askForReboot == 1)
        RestartPrompt();
    else
        Inform("The new settings will be applied when the system reboots.");
}

static void ApplyStacking(HWND dialog) {
    HWND order = gMain.config->alwaysOnTop == 1 ? HWND_TOPMOST : HWND_NOTOPMOST;
    SetWindowPos(dialog, order, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
}

// ---------------------------------------------------------------------------
// Tray, minimise and restore
// ---------------------------------------------------------------------------

// The preset menu: every list entry but "* Current Settings", each inserted at the top, so
// the menu shows them in reverse list order.
static void BuildPresetMenu(HWND dialog) {
    while (GetMenuItemCount(gMain.presetMenu) > 0)
        DeleteMenu(gMain.presetMenu, 0, MF_BYPOSITION);
    int count = 0;
    ComboCount(dialog, IDC_PRESETS, &count);
    for (int i = 0; i < count && kMenuFirst + i <= kMenuLast; i++) {
        char text[CS_NAME_SIZE];
        if (!ComboGetText(dialog, IDC_PRESETS, i, text, sizeof text)) continue;
        if (StrEqualNoCase(text, kCurrentSettings)) continue;
        // The plain call: the extended item record of Windows 98 and 2000 is refused by
        // Windows 95 and NT 4.0.
        InsertMenuA(gMain.presetMenu, 0, MF_BYPOSITION | MF_STRING,
                    static_cast<UINT_PTR>(kMenuFirst + i), text);
    }
}

static int TrayIconAdd(HWND dialog) {
    return TrayAdd(dialog, kTrayIconId, gMain.icon, kTrayMessage, kProductName);
}

static void Minimise(HWND dialog) {
    if (gMain.config != nullptr && gMain.config->trayMinimize == 1) {
        BuildPresetMenu(dialog);
        if (TrayIconAdd(dialog)) {
            LogPrint("In the tray\n");
            gMain.inTray = 1;
            ShowWindow(dialog, SW_HIDE);
        } else {
            // Without a notification area the window would be lost: it is minimised.
            LogPrint("Unable to add the tray icon\n");
            gMain.showing = 1;
            ShowWindow(dialog, SW_MINIMIZE);
            gMain.showing = 0;
        }
    } else {
        ShowWindow(dialog, SW_MINIMIZE);
    }
    gMain.minimised = 1;
}

static void Restore(HWND dialog) {
    gMain.showing = 1;
    if (gMain.inTray) {
        gMain.inTray = 0;
        ShowWindow(dialog, SW_SHOWNORMAL);
        TrayRemove(dialog, kTrayIconId, gMain.icon, kTrayMessage, kProductName);
    } else {
        ShowWindow(dialog, SW_RESTORE);
    }
    gMain.showing = 0;
    SetForegroundWindow(dialog);
    gMain.minimised = 0;
}

static void TrayCallback(HWND dialog, LPARAM event) {
    if (event == WM_LBUTTONDBLCLK) {
        PostMessageA(dialog, WM_SYSCOMMAND, SC_RESTORE, 0);
    } else if (event == WM_RBUTTONDOWN) {
        SetForegroundWindow(dialog);
        POINT cursor = {};
        GetCursorPos(&cursor);
        TrackPopupMenu(gMain.presetMenu, TPM_BOTTOMALIGN | TPM_RIGHTALIGN, cursor.x, cursor.y, 0,
                       dialog, nullptr);
    }
}

// ---------------------------------------------------------------------------
// Opening and closing
// ---------------------------------------------------------------------------

static void OpenMainWindow(HWND dialog) {
    gMain.window = dialog;
    char title[160];
    StrPrintf(title, sizeof title, "%s %s (%s)", MakerName, kProductName, MakerWebHost);
    SetWindowTextA(dialog, title);
    gMain.icon = static_cast<HICON>(LoadImageA(gMain.instance, MAKEINTRESOURCEA(IDI_SPD),
                                               IMAGE_ICON, 0, 0, LR_DEFAULTSIZE));
    if (gMain.icon == nullptr)
        LogPrint("Unable to load the icon (%d)\n", static_cast<int>(GetLastError()));
    SendMessageA(dialog, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(gMain.icon));
    SendMessageA(dialog, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(gMain.icon));
    gMain.presetMenu = CreatePopupMenu();
    StrCopy(gMain.lastSelection, kNothingShown);

    ConfigCreate(&gMain.config);
    ConfigLoad(gMain.config, CONFIG_KEY);

    FillList(dialog);
    ShowSelection(dialog);
    // Where the system reads no "vcache" section the window says so, without a box that would
    // stand between the user and the window.
    if (!PlatformVcache())
        SetDlgItemTextA(dialog, IDC_PLATFORM_NOTE,
                        "This Windows does not read these settings: they take effect on Windows "
                        "95, 98 and Me only.");
    WinMoveOnScreen(dialog, gMain.config->dialogX, gMain.config->dialogY, gMain.config->dialogW,
                    gMain.config->dialogH);
    ApplyStacking(dialog);
    if (gMain.config->startMinimized == 1) {
        // Into the tray the window goes straight from hidden to hidden: never shown, not
        // even minimised for a moment.
        if (gMain.config->trayMinimize != 1) ShowWindow(dialog, SW_MINIMIZE);
        gMain.minimised = 1;
        PostMessageA(dialog, WM_SYSCOMMAND, SC_MINIMIZE, 0);
    }
    if (PresetStorePath()[0] == '\0') TellPresetsNotKept();
}

static void CloseMainWindow(HWND dialog) {
    if (gMain.config == nullptr) return;  // already closing
    int x = 0, y = 0, width = 0, height = 0;
    WinGetRect(dialog, &x, &y, &width, &height);
    if (IsIconic(dialog)) {
        // A minimised window stands off the screen: its place is the one it restores to.
        WINDOWPLACEMENT placement = {};
        placement.length = sizeof placement;
        if (GetWindowPlacement(dialog, &placement)) {
            x = placement.rcNormalPosition.left;
            y = placement.rcNormalPosition.top;
            width = placement.rcNormalPosition.right - placement.rcNormalPosition.left;
            height = placement.rcNormalPosition.bottom - placement.rcNormalPosition.top;
        }
    }
    gMain.config->dialogX = x;
    gMain.config->dialogY = y;
    gMain.config->dialogW = width;
    gMain.config->dialogH = height;
    ConfigSave(gMain.config, CONFIG_KEY);
    ConfigDestroy(&gMain.config);
    if (gMain.inTray) TrayRemove(dialog, kTrayIconId, gMain.icon, kTrayMessage, kProductName);
    DestroyMenu(gMain.presetMenu);
    gMain.presetMenu = nullptr;
    DestroyIcon(gMain.icon);
    gMain.icon = nullptr;
    PostQuitMessage(0);
}

static void Command(HWND dialog, int id) {
    switch (id) {
        case IDOK:
        case IDCANCEL: CloseMainWindow(dialog); return;
        case IDC_PRESETS: ShowSelection(dialog); return;
        case IDC_ABOUT:
            AboutBoxOpen(gMain.instance, dialog, kProductName, kProductVersion, kProductBuild,
                         kAboutLine, MakerWebAddress, gMain.icon);
            return;
        case IDC_CONFIGURE:
            ConfigDialog(gMain.config, gMain.instance, dialog);
            ApplyStacking(dialog);
            return;
        case IDC_ADD: AddPreset(dialog); return;
        case IDC_REMOVE: RemovePreset(dialog); return;
        case IDC_MIN_ACTIVE:
        case IDC_MAX_ACTIVE:
        case IDC_CHUNK_ACTIVE:
        case IDC_TEMPLATE_ACTIVE: EnableRows(dialog, id); return;
        case IDC_APPLY: ApplySettings(dialog); return;
        default:
            if (id >= kMenuFirst && id <= kMenuLast) ApplyTrayPreset(dialog, id - kMenuFirst);
            return;
    }
}

// Dialog procedures give most results through DWLP_MSGRESULT.
static INT_PTR Result(HWND dialog, LRESULT result) {
    SetWindowLongPtrA(dialog, DWLP_MSGRESULT, result);
    return TRUE;
}

static INT_PTR CALLBACK MainProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    if (TrayIsRecreateMessage(dialog, message, wParam, lParam)) {
        if (gMain.minimised == 1 && gMain.inTray == 1) TrayIconAdd(dialog);
        return FALSE;
    }
    switch (message) {
        case WM_INITDIALOG: OpenMainWindow(dialog); return TRUE;
        case WM_COMMAND:
            if (gMain.config == nullptr) return TRUE;  // closing
            Command(dialog, LOWORD(wParam));
            return TRUE;
        case WM_HSCROLL: SliderMoved(dialog, reinterpret_cast<HWND>(lParam)); return TRUE;
        case WM_SYSCOMMAND:
            if (wParam == SC_MINIMIZE) {
                Minimise(dialog);
                return Result(dialog, 0);
            }
            if (wParam == SC_RESTORE) {
                Restore(dialog);
                return Result(dialog, 0);
            }
            return FALSE;
        case WM_QUERYOPEN:
            // While minimised only the restore command opens the window again (the dialog
            // loop would show it once on its own).
            if (gMain.minimised == 1 && !gMain.showing) return Result(dialog, FALSE);
            return FALSE;
        case WM_WINDOWPOSCHANGING:
            if (gMain.minimised == 1 && !gMain.showing) {
                reinterpret_cast<WINDOWPOS*>(lParam)->flags &= ~SWP_SHOWWINDOW;
                return Result(dialog, 0);
            }
            return FALSE;
        case WM_QUERYDRAGICON: return reinterpret_cast<INT_PTR>(gMain.icon);
        default:
            // The tray callback shares its number with the dialog's own DM_SETDEFID: only a
            // message carrying the icon's id is the tray's.
            if (message == kTrayMessage && wParam == kTrayIconId) {
                TrayCallback(dialog, lParam);
                return TRUE;
            }
            return FALSE;
    }
}

// ---------------------------------------------------------------------------
// Self-check and entry
// ---------------------------------------------------------------------------

// The build seals the executable with a trailer of 12 bytes: "QSEL", the length of what
// it covers and the CRC-32 of those bytes (both little-endian). A changed, cut or
// unsealed file fails the check.
static const char kSealMagic[4] = {'Q', 'S', 'E', 'L'};
static const int kSealSize = 12;
static const int kCheckChunk = 65536;

static uint32_t LittleEndian32(const unsigned char* bytes) {
    return static_cast<uint32_t>(bytes[0]) | static_cast<uint32_t>(bytes[1]) << 8 |
           static_cast<uint32_t>(bytes[2]) << 16 | static_cast<uint32_t>(bytes[3]) << 24;
}

static int ExecutableIntact() {
    char path[MAX_PATH] = {};
    if (!WinModulePath(nullptr, path, sizeof path)) return 0;
    HANDLE file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | PlatformShareDelete(),
                              nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return 0;
    int intact = 0;
    unsigned char seal[kSealSize];
    DWORD got = 0;
    // The calls every system has: a size that needs more than 32 bits is no sealed program.
    DWORD high = 0;
    const DWORD size = GetFileSize(file, &high);
    if (size != INVALID_FILE_SIZE && high == 0 && size > kSealSize && size < 0x7FFFFFFF) {
        const uint32_t covered = size - kSealSize;
        if (SetFilePointer(file, static_cast<LONG>(covered), nullptr, FILE_BEGIN) == covered &&
            ReadFile(file, seal, kSealSize, &got, nullptr) && got == kSealSize &&
            memcmp(seal, kSealMagic, 4) == 0 && LittleEndian32(seal + 4) == covered) {
            SetFilePointer(file, 0, nullptr, FILE_BEGIN);
            unsigned char* chunk =
                static_cast<unsigned char*>(MemAlloc(kCheckChunk, MEM_DEFAULT, kSrc, __LINE__));
            uint32_t crc = 0;
            uint32_t done = 0;
            while (done < covered) {
                DWORD want = covered - done < static_cast<uint32_t>(kCheckChunk)
                                 ? covered - done
                                 : static_cast<DWORD>(kCheckChunk);
                if (!ReadFile(file, chunk, want, &got, nullptr) || got == 0) break;
                StrCrc32Update(&crc, chunk, static_cast<int32_t>(got));
                done += got;
            }
            MemFree(chunk, kCheckChunk, MEM_DEFAULT, kSrc, __LINE__);
            intact = done == covered && crc == LittleEndian32(seal + 8);
        }
    }
    CloseHandle(file);
    return intact;
}

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR arguments, int) {
    if (SingleInstanceCheck(kProductName, kClassName, nullptr, 0, 1, 1)) return 0;

    // The class is registered for the single-instance search; no window of it is made.
    WNDCLASSA windowClass = {};
    windowClass.style = CS_VREDRAW | CS_HREDRAW | CS_BYTEALIGNCLIENT | CS_BYTEALIGNWINDOW;
    windowClass.lpfnWndProc = DefWindowProcA;
    windowClass.hInstance = instance;
    windowClass.hCursor = LoadCursorA(nullptr, IDC_ARROW);
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    windowClass.lpszClassName = kClassName;
    if (!RegisterClassA(&windowClass)) return 0;

    uint32_t flags = 0;
    CoreParseOptions(&flags, arguments);
    CoreStartup(kLogName, flags);
    MemInit(kMemoryLimit);

    WinInitCommonControls();
    PresetStoreOpen();
    if (!ExecutableIntact())
        TSL_FAIL(kSrc, "%s has been corrupted, please re-install to correct the problem.\n",
                 kProductName);
    LogPrint("%s Version %s (%s)\n", kProductName, kProductVersion, kProductBuild);

    gMain.instance = instance;
    DialogBoxParamA(instance, MAKEINTRESOURCEA(IDD_MAIN), nullptr, MainProc, 0);

    PresetStoreClose();
    MemShutdown();
    CoreShutdown();
    UnregisterClassA(kClassName, instance);
    LogPrint("Successful Exit...\n");
    return 0;
}
