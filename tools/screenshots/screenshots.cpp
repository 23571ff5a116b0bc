// The Win32 side of scripts/screenshots: waits for each dialog of the two programs as a user
// meets it, brings it to the front, makes sure it is whole on the screen with no other window
// over it, and tells the script where to take its picture; once the script has taken it, it
// answers the dialog as a user would and waits for the next.
//
//   screenshots vacate-uninstall   the confirmation, the progress window part-way, the final
//                                  notice of the sample product's uninstall
//   screenshots vacate-damaged     the notice of an uninstaller whose archive is damaged
//   screenshots vacate-update      the update question, the new-version dialog (its download
//                                  chosen) and the result
//   screenshots spd                spd's main window with a preset selected, the name prompt,
//                                  "Configure...", the about box and the tray's preset menu
//
// The programs themselves are started by the script. For every picture one line goes to
// stdout, "shot <name> <left> <top> <width> <height>" in screen pixels, and the program waits
// for a line on stdin (the picture was taken); other lines are notes for the person running
// the script. The exit code is 0 when every picture of the run was taken, 1 when a dialog did
// not come within its time or another one came instead.
#include <windows.h>
#include <commctrl.h>
#include <tlhelp32.h>

#include <stdio.h>
#include <string.h>

#include <string>
#include <vector>

#include "spd/resource.h"
#include "support/windriver.h"
#include "vacate/resource.h"

namespace {

const DWORD kWaitMs = 60000;
const char kSpdTitle[] = "Quorvex Spindrel (www.quorvex.example)";
const UINT kSpdTrayMessage = WM_USER + 1;
const UINT kSpdTrayIcon = 300;
const LONG kTrayPictureWidth = 260;

void Note(const char* text) {
    printf("%s\n", text);
    fflush(stdout);
}

bool Fail(const std::string& text) {
    printf("screenshots: %s\n", text.c_str());
    fflush(stdout);
    return false;
}

bool Visible(HWND window) { return window != nullptr && IsWindowVisible(window); }

// Waits up to kWaitMs until `done` holds; false when it did not.
template <typename Condition>
bool WaitUntil(Condition done) {
    for (DWORD start = GetTickCount(); !done(); Sleep(30))
        if (GetTickCount() - start > kWaitMs) return false;
    return true;
}

bool Intersect(const RECT& a, const RECT& b) {
    RECT both;
    return IntersectRect(&both, &a, &b) != 0;
}

// Lets the window's thread work off what is queued and paint everything anew, then gives
// the display driver time to put it on the screen.
void Settle(HWND window) {
    DWORD_PTR ignored = 0;
    SendMessageTimeoutA(window, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 5000, &ignored);
    RedrawWindow(window, nullptr, nullptr,
                 RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN | RDW_UPDATENOW);
    SendMessageTimeoutA(window, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 5000, &ignored);
    Sleep(400);
}

// The visible top-level window above `window` in the z-order that overlaps `area`, if any.
HWND CoveredBy(HWND window, const RECT& area) {
    for (HWND above = GetWindow(window, GW_HWNDPREV); above != nullptr;
         above = GetWindow(above, GW_HWNDPREV)) {
        RECT rect;
        if (IsWindowVisible(above) && GetWindowRect(above, &rect) && Intersect(rect, area))
            return above;
    }
    return nullptr;
}

// Tells the script to take the picture of `area` and waits until it has.
bool TakePicture(const char* name, const RECT& area) {
    RECT screen = {0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
    RECT inside;
    if (!IntersectRect(&inside, &area, &screen) || !EqualRect(&inside, &area))
        return Fail(std::string(name) + ": not whole on the screen");
    printf("shot %s %ld %ld %ld %ld\n", name, static_cast<long>(area.left),
           static_cast<long>(area.top), static_cast<long>(area.right - area.left),
           static_cast<long>(area.bottom - area.top));
    fflush(stdout);
    char line[64];
    if (fgets(line, sizeof line, stdin) == nullptr) return Fail("the script went away");
    return true;
}

// Makes `window` the foreground window as a click on it would. The foreground first goes to
// the taskbar: Wine tells a window that is already its thread's active one nothing when its
// thread becomes the foreground, and would leave its caption drawn inactive.
bool BringToFront(HWND window) {
    HWND tray = FindWindowA("Shell_TrayWnd", nullptr);
    if (tray != nullptr && tray != window) {
        SetForegroundWindow(tray);
        for (int i = 0; i < 100 && GetForegroundWindow() != tray; ++i) Sleep(20);
    }
    SetForegroundWindow(window);
    SetWindowPos(window, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    for (int i = 0; i < 100 && GetForegroundWindow() != window; ++i) Sleep(20);
    return GetForegroundWindow() == window;
}

// The picture of one window: in front, painted, and nothing over it. `live` is false for a
// window whose program is held still, which can neither be raised nor repainted.
bool Shoot(const char* name, HWND window, bool live = true) {
    if (live) {
        if (!BringToFront(window))
            return Fail(std::string(name) + ": cannot bring it to the front");
        Settle(window);
    }
    RECT rect;
    if (!GetWindowRect(window, &rect)) return Fail(std::string(name) + ": the window went");
    HWND above = CoveredBy(window, rect);
    if (above != nullptr)
        return Fail(std::string(name) + ": covered by \"" + windriver::WindowText(above) +
                    "\" (" + windriver::ClassName(above) + ")");
    return TakePicture(name, rect);
}

// The windows seen so far, so that a dialog that is still going after its answer is not
// taken for the next one.
std::vector<HWND> seen;

bool Seen(HWND window) {
    for (HWND s : seen)
        if (s == window) return true;
    return false;
}

// The next visible dialog of any process that is not a plain window (a progress window has
// no text and no buttons of its own): a message box, or a dialog with the given button.
HWND NextDialog(int button) {
    HWND found = nullptr;
    WaitUntil([&] {
        for (HWND window : windriver::TopLevelWindows(0)) {
            if (windriver::ClassName(window) != "#32770" || !Visible(window) || Seen(window))
                continue;
            bool box = !windriver::MessageBoxText(window).empty();
            if (!box && (button == 0 || GetDlgItem(window, button) == nullptr)) continue;
            seen.push_back(window);
            found = window;
            return true;
        }
        return false;
    });
    return found;
}

// Waits for the next message box; it must show `expected` (a part of its text).
HWND NextBox(const char* expected) {
    HWND box = NextDialog(0);
    if (box == nullptr) {
        Fail(std::string("no dialog showing \"") + expected + "\"");
        return nullptr;
    }
    std::string text = windriver::MessageBoxText(box);
    if (text.find(expected) == std::string::npos) {
        Fail("\"" + windriver::WindowText(box) + "\": " + text + " came instead of \"" +
             expected + "\"");
        return nullptr;
    }
    printf("dialog \"%s\": %s\n", windriver::WindowText(box).c_str(), text.c_str());
    fflush(stdout);
    return box;
}

// Presses a button of the pictured dialog and waits until the dialog has gone.
bool Answer(const char* name, HWND dialog, int button) {
    windriver::PressButton(dialog, button);
    return windriver::WaitForWindowGone(dialog, kWaitMs) ||
           Fail(std::string(name) + ": not answered");
}

// Pictures a message box showing `expected` and answers it.
bool ShootBox(const char* name, const char* expected, int answer) {
    HWND box = NextBox(expected);
    return box != nullptr && Shoot(name, box) && Answer(name, box, answer);
}

// Holds every thread of a process still, or lets them go on.
bool HoldProcess(DWORD pid, bool hold) {
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
    if (snapshot == INVALID_HANDLE_VALUE) return false;
    int done = 0;
    THREADENTRY32 entry = {};
    entry.dwSize = sizeof entry;
    for (BOOL more = Thread32First(snapshot, &entry); more; more = Thread32Next(snapshot, &entry)) {
        if (entry.th32OwnerProcessID != pid) continue;
        HANDLE thread = OpenThread(THREAD_SUSPEND_RESUME, FALSE, entry.th32ThreadID);
        if (thread == nullptr) continue;
        DWORD result = hold ? SuspendThread(thread) : ResumeThread(thread);
        if (result != static_cast<DWORD>(-1)) ++done;
        CloseHandle(thread);
    }
    CloseHandle(snapshot);
    return done > 0;
}

void WaitForExit(HWND window) {
    DWORD pid = 0;
    GetWindowThreadProcessId(window, &pid);
    HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, pid);
    if (process == nullptr) return;
    WaitForSingleObject(process, kWaitMs);
    CloseHandle(process);
}

// The progress window while the files go: the picture is taken with the uninstaller held
// still once its bar is between a quarter and three quarters of the way.
bool ShootProgress() {
    DWORD start = GetTickCount();
    bool shown = false;
    while (GetTickCount() - start < kWaitMs) {
        HWND window = windriver::FindWindowOf("Please wait...", "#32770");
        HWND bar = window != nullptr ? GetDlgItem(window, IDC_PROGRESS_BAR) : nullptr;
        if (!Visible(window) || bar == nullptr) {
            if (shown) return Fail("the progress window went before its bar was part-way");
            Sleep(5);
            continue;
        }
        shown = true;
        DWORD_PTR position = 0;
        DWORD_PTR range = 0;
        if (!SendMessageTimeoutA(bar, PBM_GETPOS, 0, 0, SMTO_ABORTIFHUNG, 5000, &position) ||
            !SendMessageTimeoutA(bar, PBM_GETRANGE, FALSE, 0, SMTO_ABORTIFHUNG, 5000, &range) ||
            range == 0 || position * 4 < range || position * 4 > range * 3)
            continue;
        DWORD pid = 0;
        GetWindowThreadProcessId(window, &pid);
        printf("progress: %lu of %lu\n", static_cast<unsigned long>(position),
               static_cast<unsigned long>(range));
        fflush(stdout);
        if (!HoldProcess(pid, true)) return Fail("cannot hold the uninstaller still");
        // What the bar showed last has reached the screen before it was held.
        Sleep(300);
        bool taken = Shoot("vacate-progress", window, false);
        HoldProcess(pid, false);
        return taken;
    }
    return Fail("no progress window");
}

// Pictures the run's last notice, answers it and waits for its program to end.
bool ShootLastBox(const char* name, const char* expected) {
    HWND box = NextBox(expected);
    if (box == nullptr || !Shoot(name, box)) return false;
    windriver::PressButton(box, IDOK);
    WaitForExit(box);
    return true;
}

bool VacateUninstall() {
    return ShootBox("vacate-confirm", "Are you sure you want to uninstall", IDYES) &&
           ShootProgress() && ShootLastBox("vacate-done", "has been uninstalled!");
}

bool VacateDamaged() {
    return ShootLastBox("vacate-damaged", "The installation file has been damaged");
}

bool VacateUpdate() {
    if (!ShootBox("vacate-update-question", "Would you like to check for an update", IDYES))
        return false;
    HWND offer = NextDialog(IDC_UPDATE_DOWNLOAD);
    if (offer == nullptr) return Fail("no new-version dialog");
    if (!windriver::MessageBoxText(offer).empty())
        return Fail("\"" + windriver::MessageBoxText(offer) + "\" came instead of the offer");
    printf("dialog \"%s\": %s", windriver::WindowText(offer).c_str(),
           windriver::StaticTexts(offer).c_str());
    if (!Shoot("vacate-update-offer", offer)) return false;
    windriver::PressButton(offer, IDC_UPDATE_DOWNLOAD);
    return ShootLastBox("vacate-update-done", "Successfully updated");
}

// A dialog of spd's, opened by one of the main window's buttons.
HWND OpenSpdDialog(HWND main, int button, const char* caption) {
    DWORD pid = 0;
    GetWindowThreadProcessId(main, &pid);
    windriver::PressButton(main, button);
    HWND dialog = nullptr;
    if (WaitUntil([&] { return Visible(dialog = windriver::FindWindowOf(caption, nullptr, pid)); }))
        return dialog;
    Fail(std::string("no \"") + caption + "\" window");
    return nullptr;
}

bool ShootSpdDialog(HWND main, int button, const char* caption, const char* name, int close) {
    HWND dialog = OpenSpdDialog(main, button, caption);
    return dialog != nullptr && Shoot(name, dialog) && Answer(name, dialog, close);
}

// The preset menu of the notification area: spd minimised into it and the icon's right-button
// message sent with the pointer at the icon. The picture holds the menu and the end of the
// taskbar with the icon under it.
bool ShootSpdTray(HWND main) {
    HWND tray = FindWindowA("Shell_TrayWnd", nullptr);
    if (!Visible(tray)) {
        Note("spd-tray: the shell shows no taskbar, so there is no tray menu to picture");
        return true;
    }
    DWORD pid = 0;
    GetWindowThreadProcessId(main, &pid);
    PostMessageA(main, WM_SYSCOMMAND, SC_MINIMIZE, 0);
    if (!WaitUntil([&] { return !IsWindowVisible(main); }))
        return Fail("spd did not go into the tray");
    Settle(tray);

    RECT bar;
    GetWindowRect(tray, &bar);
    // The icon stands at the right end of the taskbar. The pointer goes just above it, so
    // that the menu opens there and the icon's tip does not come up over it.
    int height = bar.bottom - bar.top;
    SetCursorPos(bar.right - height / 2 - 2, bar.top - 2);
    PostMessageA(main, kSpdTrayMessage, kSpdTrayIcon, WM_RBUTTONDOWN);
    HWND menu = nullptr;
    if (!WaitUntil([&] { return Visible(menu = windriver::FindWindowOf(nullptr, "#32768", pid)); }))
        return Fail("no tray menu");
    Sleep(400);
    RECT rect;
    GetWindowRect(menu, &rect);
    // The menu and the end of the taskbar under it, a little wider than the menu so that
    // the taskbar is seen for one.
    RECT area = {rect.left - 8, rect.top - 8, bar.right, bar.bottom};
    if (area.left > bar.right - kTrayPictureWidth) area.left = bar.right - kTrayPictureWidth;
    if (area.left < bar.left) area.left = bar.left;
    for (HWND window : windriver::TopLevelWindows(0)) {
        RECT other;
        if (window != menu && window != tray && IsWindowVisible(window) &&
            GetWindowRect(window, &other) && Intersect(other, area))
            return Fail("spd-tray: another window in the picture, \"" +
                        windriver::WindowText(window) + "\" (" + windriver::ClassName(window) +
                        ")");
    }
    bool taken = TakePicture("spd-tray", area);
    windriver::PressKey(menu, VK_ESCAPE);
    windriver::WaitForWindowGone(menu, 5000);
    PostMessageA(main, kSpdTrayMessage, kSpdTrayIcon, WM_LBUTTONDBLCLK);
    if (!WaitUntil([&] { return IsWindowVisible(main) != 0; }))
        return Fail("spd did not come back from the tray");
    return taken;
}

bool Spd(const char* preset) {
    HWND main = nullptr;
    if (!WaitUntil([&] { return Visible(main = windriver::FindWindowOf(kSpdTitle, "#32770")); }))
        return Fail("no Spindrel window");
    if (!windriver::SelectComboText(main, IDC_PRESETS, preset))
        return Fail(std::string("no preset \"") + preset + "\"");
    if (!Shoot("spd-main", main)) return false;
    // The name prompt has no buttons: it is left with Escape, which adds no preset.
    if (!ShootSpdDialog(main, IDC_ADD, "Save Settings...", "spd-name", IDCANCEL)) return false;
    if (!ShootSpdDialog(main, IDC_CONFIGURE, "Configure...", "spd-configure", IDOK)) return false;
    if (!ShootSpdDialog(main, IDC_ABOUT, "About Spindrel...", "spd-about", IDCANCEL)) return false;
    if (!ShootSpdTray(main)) return false;
    windriver::PressButton(main, IDCANCEL);
    WaitForExit(main);
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    const char* run = argc >= 2 ? argv[1] : "";
    bool done = false;
    if (strcmp(run, "vacate-uninstall") == 0) {
        done = VacateUninstall();
    } else if (strcmp(run, "vacate-damaged") == 0) {
        done = VacateDamaged();
    } else if (strcmp(run, "vacate-update") == 0) {
        done = VacateUpdate();
    } else if (strcmp(run, "spd") == 0) {
        done = Spd(argc >= 3 ? argv[2] : "Gaming");
    } else {
        fprintf(stderr,
                "usage: screenshots vacate-uninstall | vacate-damaged | vacate-update | "
                "spd [preset]\n");
        return 2;
    }
    return done ? 0 : 1;
}
