// The notification area for real: these tests run only through tests/support/version-run
// with --display, which gives them an Xvfb display, Wine's X11 driver (whose shell has a
// notification area) and a Wine prefix of their own. The preset menu of another process cannot be read, so it is driven with the
// keyboard, as a person would.
#include <windows.h>
#include <shellapi.h>

#include <gtest/gtest.h>
#include <stdlib.h>

#include "program.h"
#include "spd-core/preset_bytes.h"

using presetbytes::Named;
using presetbytes::Record;
using spdtest::Spindrel;

namespace {

const UINT kTrayMessage = WM_USER + 1;
const UINT kIconId = 300;

// True while the shell holds the program's icon: only an icon it has can be modified.
bool IconShown(HWND owner) {
    NOTIFYICONDATAA icon = {};
    icon.cbSize = sizeof icon;
    icon.hWnd = owner;
    icon.uID = kIconId;
    icon.uFlags = NIF_TIP;
    strcpy(icon.szTip, "Spindrel");
    return Shell_NotifyIconA(NIM_MODIFY, &icon) != 0;
}

void ForgetIcon(HWND owner) {
    NOTIFYICONDATAA icon = {};
    icon.cbSize = sizeof icon;
    icon.hWnd = owner;
    icon.uID = kIconId;
    Shell_NotifyIconA(NIM_DELETE, &icon);
}

class Tray : public ::testing::Test {
protected:
    void SetUp() override {
        if (getenv("SPD_TRAY_TESTS") == nullptr) GTEST_SKIP() << "needs version-run --display";
    }
    spdtest::SystemState state;
};

// Opens the preset menu with a right click on the icon, moves down `steps` items and
// chooses the one reached.
void ChooseFromMenu(const Spindrel& spd, int steps) {
    PostMessageA(spd.window, kTrayMessage, kIconId, WM_RBUTTONDOWN);
    HWND menu = nullptr;
    ASSERT_TRUE(spdtest::WaitFor([&] {
        menu = windriver::FindWindowOf(nullptr, "#32768", spd.process.Pid());
        return menu != nullptr && IsWindowVisible(menu);
    }));
    for (int i = 0; i < steps; ++i) windriver::PressKey(menu, VK_DOWN);
    windriver::PressKey(menu, VK_RETURN);
}

TEST_F(Tray, MinimisedIntoTheTrayWithAMenuOfThePresets) {
    ASSERT_NE(FindWindowA("Shell_TrayWnd", nullptr), nullptr);
    spdtest::SetVcache("1024", "8192", "512");
    spdtest::SetDword(HKEY_CURRENT_USER, spdtest::kConfigKey, "Ask for reboot", 0);
    Spindrel spd;
    CacheSettings alpha = Named("Alpha", CS_MIN_SET, 1111, 8000, 0, 0, 0);
    CacheSettings beta = Named("Beta", CS_MIN_SET, 2222, 8000, 0, 0, 0);
    CacheSettings gamma = Named("Gamma", CS_MIN_SET, 3333, 8000, 0, 0, 0);
    // Stored out of order: the menu follows the sorted list, not the file.
    fixture::WriteAll(spd.datPath, Record(beta) + Record(gamma) + Record(alpha));
    ASSERT_TRUE(spd.Start(spdtest::AnswerAll(IDNO)));
    EXPECT_FALSE(IconShown(spd.window));

    PostMessageA(spd.window, WM_SYSCOMMAND, SC_MINIMIZE, 0);
    ASSERT_TRUE(spd.WaitForLog("In the tray"));
    EXPECT_TRUE(spdtest::WaitFor([&] { return !IsWindowVisible(spd.window); }));
    EXPECT_TRUE(IconShown(spd.window));

    // The first item is the last list entry: the menu runs in reverse list order.
    ChooseFromMenu(spd, 1);
    ASSERT_TRUE(spd.WaitForAnswers(1));
    EXPECT_EQ(spd.Answers()[0].text, "The new settings will be applied when the system reboots.");
    EXPECT_EQ(spdtest::Vcache()["minfilecache"], "3333");
    EXPECT_EQ(spd.Selected(), "Gamma");
    // The third item is the first preset of the list.
    ChooseFromMenu(spd, 3);
    ASSERT_TRUE(spd.WaitForAnswers(2));
    EXPECT_EQ(spdtest::Vcache()["minfilecache"], "1111");
    EXPECT_FALSE(IsWindowVisible(spd.window));

    // When the shell's taskbar comes back, the icon is added again.
    ForgetIcon(spd.window);
    EXPECT_FALSE(IconShown(spd.window));
    PostMessageA(spd.window, RegisterWindowMessageA("TaskbarCreated"), 0, 0);
    EXPECT_TRUE(spdtest::WaitFor([&] { return IconShown(spd.window); }));

    // A double click restores the window and takes the icon away.
    PostMessageA(spd.window, kTrayMessage, kIconId, WM_LBUTTONDBLCLK);
    EXPECT_TRUE(spdtest::WaitFor([&] { return IsWindowVisible(spd.window) != 0; }));
    EXPECT_TRUE(spdtest::WaitFor([&] { return !IconShown(spd.window); }));
    EXPECT_EQ(spd.Exit(), 0);
}

TEST_F(Tray, StartMinimizedStaysInTheTrayUntilRestored) {
    spdtest::SetDword(HKEY_CURRENT_USER, spdtest::kConfigKey, "Start Minimized", 1);
    Spindrel spd;
    ASSERT_TRUE(spd.Start(nullptr, false));
    ASSERT_TRUE(spd.WaitForLog("In the tray"));
    // The dialog's own loop would show it once: it must stay hidden.
    for (int i = 0; i < 10; ++i) {
        EXPECT_FALSE(IsWindowVisible(spd.window));
        Sleep(100);
    }
    EXPECT_TRUE(IconShown(spd.window));
    PostMessageA(spd.window, kTrayMessage, kIconId, WM_LBUTTONDBLCLK);
    EXPECT_TRUE(spdtest::WaitFor([&] { return IsWindowVisible(spd.window) != 0; }));
    EXPECT_TRUE(spdtest::WaitFor([&] { return !IconShown(spd.window); }));
    EXPECT_EQ(spd.Exit(), 0);
}

}  // namespace
