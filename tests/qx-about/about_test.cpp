// The about box, driven between message-pump calls of this thread (it is served by the
// opening thread's loop, as in the programs).

#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "fixtures/fixture-test.h"
#include "fixtures/url-scheme.h"
#include "support/windriver.h"
#include "tessel/qx-about.h"
#include "tessel/tsl-core.h"
#include "tessel/winhelpr.h"
#include "winhelpr/gui_support.h"

namespace {

const char kWebAddress[] = "http://www.quorvex.example/";

class AboutBox : public testing::Test {
protected:
    void TearDown() override {
        if (AboutBoxWindow() != nullptr) DestroyWindow(AboutBoxWindow());
        PumpMessages();
    }

    HWND Open(const char* product = "Spindrel", const char* address = kWebAddress) {
        EXPECT_EQ(1, AboutBoxOpen(GetModuleHandleA(nullptr), nullptr, product, "1.01", "Release",
                                  "Windows 95/98 Only", address, icon));
        PumpMessages();
        return AboutBoxWindow();
    }

    // Serves the box with the library's pump, as the programs' loops do, until it has gone;
    // false when it is still there after a while.
    static bool Gone(HWND box) {
        DWORD start = GetTickCount();
        while (IsWindow(box) || AboutBoxWindow() != nullptr) {
            if (GetTickCount() - start > 5000) return false;
            PumpMessages();
            Sleep(5);
        }
        return true;
    }

    HICON icon = LoadIconA(nullptr, IDI_INFORMATION);
};

TEST_F(AboutBox, ShowsProductVersionRightsAndWebsite) {
    MemStats before;
    MemGetStats(&before);
    HWND box = Open();
    ASSERT_NE(nullptr, box);
    // The in-memory template went back right after the window was made.
    MemStats after;
    MemGetStats(&after);
    EXPECT_EQ(before.blocks, after.blocks);
    EXPECT_EQ(before.bytes, after.bytes);

    EXPECT_EQ("About Spindrel...", windriver::WindowText(box));
    EXPECT_EQ("#32770", windriver::ClassName(box));
    EXPECT_EQ("Quorvex Spindrel - Windows 95/98 Only", windriver::ControlText(box, 2000));
    EXPECT_EQ("Version 1.01 - Release", windriver::ControlText(box, 2001));
    EXPECT_EQ("Copyright (C) 1996-2026 Quorvex", windriver::ControlText(box, 2002));
    EXPECT_EQ("For free software, music and more check out:", windriver::ControlText(box, 2003));
    EXPECT_EQ("Quorvex Website (www.quorvex.example)", windriver::ControlText(box, 2004));

    int frames = 0;
    for (const windriver::Control& c : windriver::ReadControls(box)) {
        LONG style = GetWindowLongA(c.hwnd, GWL_STYLE);
        if (c.id == 2004) {
            EXPECT_EQ("Button", c.className);
        } else {
            EXPECT_EQ("Static", c.className) << c.id;
        }
        if (c.id < 2000 && (style & SS_TYPEMASK) == SS_ETCHEDFRAME) frames++;
    }
    EXPECT_EQ(1, frames);

    HFONT font = reinterpret_cast<HFONT>(SendDlgItemMessageA(box, 2000, WM_GETFONT, 0, 0));
    ASSERT_NE(nullptr, font);
    for (int id = 2001; id <= 2004; id++)
        EXPECT_EQ(font, reinterpret_cast<HFONT>(SendDlgItemMessageA(box, id, WM_GETFONT, 0, 0)));
    LOGFONTA described = {};
    ASSERT_NE(0, GetObjectA(font, sizeof described, &described));
    EXPECT_STREQ("MS Sans Serif", described.lfFaceName);
    EXPECT_EQ(8, described.lfHeight);
    EXPECT_EQ(200, described.lfWeight);

    EXPECT_EQ(reinterpret_cast<LRESULT>(icon), SendMessageA(box, WM_GETICON, ICON_BIG, 0));
    EXPECT_EQ(reinterpret_cast<LRESULT>(icon), SendMessageA(box, WM_GETICON, ICON_SMALL, 0));

    // No parent and no owner, centred on the desktop.
    EXPECT_EQ(nullptr, GetParent(box));
    EXPECT_EQ(nullptr, GetWindow(box, GW_OWNER));
    EXPECT_TRUE(IsWindowVisible(box));
    RECT desktop;
    RECT own;
    GetWindowRect(GetDesktopWindow(), &desktop);
    GetWindowRect(box, &own);
    EXPECT_EQ((desktop.right - desktop.left - (own.right - own.left)) / 2, own.left);
    EXPECT_EQ((desktop.bottom - desktop.top - (own.bottom - own.top)) / 2, own.top);
}

TEST_F(AboutBox, OpeningTwiceGivesOneWindowBroughtToTheTop) {
    HWND box = Open();
    ASSERT_NE(nullptr, box);
    guitest::TestWindow other("other", 10, 10, 500, 400, WS_OVERLAPPEDWINDOW | WS_VISIBLE);
    SetWindowPos(other.Handle(), HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);

    EXPECT_EQ(box, Open("Other product"));
    int boxes = 0;
    for (HWND w : windriver::TopLevelWindows(GetCurrentProcessId()))
        if (windriver::ClassName(w) == "#32770" && IsWindow(w) &&
            windriver::WindowText(w).rfind("About ", 0) == 0)
            boxes++;
    EXPECT_EQ(1, boxes);
    EXPECT_EQ("About Spindrel...", windriver::WindowText(box));
    bool boxFirst = false;
    for (HWND w = GetTopWindow(nullptr); w != nullptr; w = GetWindow(w, GW_HWNDNEXT)) {
        if (w == box || w == other.Handle()) {
            boxFirst = w == box;
            break;
        }
    }
    EXPECT_TRUE(boxFirst) << "the open box is raised above the other window";
}

TEST_F(AboutBox, ClosesOnEscapeButtonsAndItsCloseBox) {
    // Escape in the box, as typed into whichever of its windows has the focus.
    HWND box = Open();
    ASSERT_NE(nullptr, box);
    HWND focus = GetFocus();
    if (focus == nullptr || (focus != box && !IsChild(box, focus))) focus = box;
    PostMessageA(focus, WM_KEYDOWN, VK_ESCAPE, 0);
    EXPECT_TRUE(Gone(box));

    // The close box of its caption.
    box = Open();
    ASSERT_NE(nullptr, box);
    PostMessageA(box, WM_SYSCOMMAND, SC_CLOSE, 0);
    EXPECT_TRUE(Gone(box));

    for (int id : {IDOK, IDCANCEL}) {
        box = Open();
        ASSERT_NE(nullptr, box);
        windriver::PressButton(box, id);
        EXPECT_TRUE(Gone(box)) << id;
    }

    // Destroyed by other means, it does not stay marked open.
    box = Open();
    ASSERT_NE(nullptr, box);
    DestroyWindow(box);
    EXPECT_EQ(nullptr, AboutBoxWindow());
    box = Open();
    EXPECT_NE(nullptr, box);
}

TEST_F(AboutBox, WebsiteButtonOpensTheAddressThroughTheShell) {
    guitest::TempFolder folder;
    std::string record = folder.Path() + "opened.txt";
    std::string scheme = "tslabout" + std::to_string(GetCurrentProcessId());
    std::string recorder = fixture::FixturePath("fx-browser.exe");
    fixture::UrlScheme registered(scheme, "\"" + recorder + "\" \"" + record + "\" \"%1\"");
    ASSERT_TRUE(registered.Registered());

    std::string address = scheme + ":quorvex/about?from=test";
    HWND box = Open("Spindrel", address.c_str());
    ASSERT_NE(nullptr, box);
    ASSERT_TRUE(windriver::PressButton(box, 2004));
    bool opened = guitest::PumpUntil(
        [&] { return GetFileAttributesA(record.c_str()) != INVALID_FILE_ATTRIBUTES; }, 10000);
    ASSERT_TRUE(opened) << "the recording program did not run";
    EXPECT_EQ(address, fixture::ReadAll(record));
    EXPECT_TRUE(IsWindow(box)) << "the box stays open";
}

}  // namespace
