// The about box: a small modeless window naming the product, its version and build, an
// extra line, the maker's rights notice and a button to the maker's web site. It needs no
// resources: the window comes from a dialog template made in memory and its controls are
// created by hand. At most one is open at a time; it is served by whatever message loop the
// opening thread runs.

#include "tessel/qx-about.h"

#include <shellapi.h>

#include "tessel/maker.h"
#include "tessel/tsl-core.h"
#include "tessel/tsl-str.h"
#include "tessel/winhelpr.h"

static const char kSrc[] = "qx-about";

static const char kRightsNotice[] = "Copyright (C) 1996-2026 Quorvex";

// The template: style, extended style, item count, x, y, cx, cy, then empty menu, class and
// title, the font size 0 and an empty face name; the last two bytes stay zero.
static const int kTemplateSize = 30;
static const DWORD kAboutStyle = 0x94C80244;  // pop-up, visible, caption, system menu,
                                              // set foreground, set font, 3-D look
static const WORD kAboutWidth = 178;          // dialog units
static const WORD kAboutHeight = 66;

static const int kTextSize = 120;
static const int kTextLimit = 80;

enum AboutId { kIdProduct = 2000, kIdVersion, kIdRights, kIdPrompt, kIdWebsite };

struct AboutChild {
    int id;
    const char* className;
    DWORD style;
    int x, y, width, height;
};

static const AboutChild kChildren[] = {
    {-1, "Static", WS_CHILD | WS_VISIBLE | WS_GROUP | SS_ETCHEDFRAME, 5, 5, 345, 120},
    {kIdProduct, "Static", WS_CHILD | WS_VISIBLE | SS_CENTER, 10, 10, 335, 16},
    {kIdVersion, "Static", WS_CHILD | WS_VISIBLE | SS_CENTER, 10, 26, 335, 16},
    {kIdRights, "Static", WS_CHILD | WS_VISIBLE | SS_CENTER, 10, 42, 335, 16},
    {kIdPrompt, "Static", WS_CHILD | WS_VISIBLE, 15, 80, 325, 16},
    {kIdWebsite, "Button", WS_CHILD | WS_VISIBLE | BS_PUSHBUTTON, 15, 96, 325, 22},
};

// Set by each opening call, read by the window procedure. The caller keeps the texts alive
// while the box is open.
static const char* gProductName = nullptr;
static const char* gVersion = nullptr;
static const char* gBuildLabel = nullptr;
static const char* gExtraText = nullptr;
static const char* gWebAddress = nullptr;
static HICON gIcon = nullptr;
static HINSTANCE gInstance = nullptr;
static HWND gWindow = nullptr;
static HFONT gFont = nullptr;
static int gOpenCount = 0;

static void AboutCreateChildren(HWND dialog) {
    for (const AboutChild& child : kChildren) {
        HWND control = CreateWindowExA(0, child.className, "", child.style, child.x, child.y,
                                       child.width, child.height, dialog,
                                       reinterpret_cast<HMENU>(static_cast<INT_PTR>(child.id)),
                                       gInstance, nullptr);
        if (control == nullptr)
            LogPrint("Unable to create about control %d (0x%.8X)\n", child.id,
                     static_cast<unsigned>(GetLastError()));
    }

    char text[kTextSize];
    StrPrintf(text, sizeof text, "%s %s - %s", MakerName, gProductName, gExtraText);
    DlgSetText(dialog, kIdProduct, text, kTextLimit);
    StrPrintf(text, sizeof text, "Version %s - %s", gVersion, gBuildLabel);
    DlgSetText(dialog, kIdVersion, text, kTextLimit);
    StrPrintf(text, sizeof text, "%s", kRightsNotice);
    DlgSetText(dialog, kIdRights, text, kTextLimit);
    StrPrintf(text, sizeof text, "For free software, music and more check out:");
    DlgSetText(dialog, kIdPrompt, text, kTextLimit);
    StrPrintf(text, sizeof text, "%s Website (%s)", MakerName, MakerWebHost);
    DlgSetText(dialog, kIdWebsite, text, kTextLimit);
}

static void AboutInit(HWND dialog) {
    gWindow = dialog;
    char title[kTextSize];
    StrPrintf(title, sizeof title, "About %s...", gProductName);
    SetWindowTextA(dialog, title);

    AboutCreateChildren(dialog);

    // A new font for each opening; it is deleted when the window goes.
    gFont = CreateFontA(8, 0, 0, 0, 200, FALSE, FALSE, FALSE, 0, 0, 0, 0,
                        VARIABLE_PITCH | FF_SWISS, "MS Sans Serif");
    for (int id = kIdProduct; id <= kIdWebsite; id++)
        DlgItemSend(dialog, id, WM_SETFONT, reinterpret_cast<WPARAM>(gFont), TRUE);

    SendMessageA(dialog, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(gIcon));
    SendMessageA(dialog, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(gIcon));
    WinCenter(dialog, nullptr);
    gOpenCount++;
}

static INT_PTR CALLBACK AboutProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
    switch (message) {
    case WM_INITDIALOG:
        AboutInit(dialog);
        return TRUE;
    case WM_COMMAND:
        switch (LOWORD(wParam)) {
        case IDOK:
        case IDCANCEL:
            SendMessageA(dialog, WM_CLOSE, 0, 0);
            return TRUE;
        case kIdWebsite: {
            HINSTANCE shown =
                ShellExecuteA(dialog, "open", gWebAddress, nullptr, nullptr, SW_SHOWNORMAL);
            if (reinterpret_cast<INT_PTR>(shown) <= 32)
                LogPrint("Unable to open '%s' (%d)\n", gWebAddress,
                         static_cast<int>(reinterpret_cast<INT_PTR>(shown)));
            return TRUE;
        }
        }
        return FALSE;
    case WM_CLOSE:
        DestroyWindow(dialog);
        return TRUE;
    case WM_DESTROY:
        // Counted here rather than at the close request, so that a window destroyed any
        // other way does not leave the box marked open for good.
        if (gOpenCount > 0) gOpenCount--;
        gWindow = nullptr;
        if (gFont != nullptr) {
            DeleteObject(gFont);
            gFont = nullptr;
        }
        return TRUE;
    }
    return FALSE;
}

int AboutBoxOpen(HINSTANCE instance, HWND, const char* productName, const char* version,
                 const char* buildLabel, const char* extraText, const char* webAddress,
                 HICON icon) {
    TSL_NOT_NULL(kSrc, productName);
    TSL_NOT_NULL(kSrc, version);
    TSL_NOT_NULL(kSrc, buildLabel);
    TSL_NOT_NULL(kSrc, extraText);
    TSL_NOT_NULL(kSrc, webAddress);

    if (gOpenCount > 0) {
        BringWindowToTop(gWindow);
        return 1;
    }

    gInstance = instance;
    gProductName = productName;
    gVersion = version;
    gBuildLabel = buildLabel;
    gExtraText = extraText;
    gWebAddress = webAddress;
    gIcon = icon;

    WORD* words = static_cast<WORD*>(MemAlloc(kTemplateSize, MEM_DEFAULT, kSrc, __LINE__));
    words[0] = LOWORD(kAboutStyle);
    words[1] = HIWORD(kAboutStyle);
    words[7] = kAboutWidth;  // after the extended style (2 words), count, x and y
    words[8] = kAboutHeight;
    // Menu, class, title, font size and face name are all the zero words that follow.

    HWND window = CreateDialogIndirectParamA(instance, reinterpret_cast<LPCDLGTEMPLATEA>(words),
                                             nullptr, AboutProc, 0);
    if (window == nullptr) {
        DWORD error = GetLastError();
        LogPrint("Unable to open about dialog (%d 0x%.8X)\n", static_cast<int>(error),
                 static_cast<unsigned>(error));
    }
    MemFree(words, kTemplateSize, MEM_DEFAULT, kSrc, __LINE__);
    return 1;
}

HWND AboutBoxWindow() {
    return gOpenCount > 0 ? gWindow : nullptr;
}
