// Message pump, window placement, the notification-area icon, the top-level window search
// and the single-instance guard across real processes.

#include <gtest/gtest.h>
#include <windows.h>
#include <shellapi.h>

#include <string>
#include <vector>

#include "support/windriver.h"
#include "tessel/winhelpr.h"
#include "winhelpr/gui_support.h"

namespace {

using guitest::TestWindow;

struct Rect {
    int x, y, width, height;
};

Rect RectOf(HWND window) {
    Rect r = {-1, -1, -1, -1};
    EXPECT_EQ(1, WinGetRect(window, &r.x, &r.y, &r.width, &r.height));
    return r;
}

// True when `upper` comes before `lower` in the z-order of top-level windows.
bool IsAbove(HWND upper, HWND lower) {
    for (HWND w = GetWindow(upper, GW_HWNDNEXT); w != nullptr; w = GetWindow(w, GW_HWNDNEXT))
        if (w == lower) return true;
    return false;
}

TEST(PumpMessages, DispatchesUntilACloseOrQuitWaits) {
    TestWindow window("pump", 0, 0, 100, 100);
    HWND w = window.Handle();
    UINT seen = TestWindow::messagesSeen;
    for (int i = 0; i < 3; i++) PostMessageA(w, WM_USER + 5, 0, 0);
    EXPECT_EQ(1, PumpMessages());
    EXPECT_EQ(seen + 3, TestWindow::messagesSeen);

    // A close request stops the pump and stays queued for the caller's own loop.
    PostMessageA(w, WM_USER + 5, 0, 0);
    PostMessageA(w, WM_CLOSE, 0, 0);
    PostMessageA(w, WM_USER + 5, 0, 0);
    EXPECT_EQ(1, PumpMessages());
    EXPECT_EQ(seen + 4, TestWindow::messagesSeen);
    MSG message;
    ASSERT_TRUE(PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE));
    EXPECT_EQ(static_cast<UINT>(WM_CLOSE), message.message);
    EXPECT_EQ(1, PumpMessages());
    EXPECT_EQ(seen + 5, TestWindow::messagesSeen);
    EXPECT_TRUE(IsWindow(w));

    PostQuitMessage(3);
    EXPECT_EQ(1, PumpMessages());
    ASSERT_TRUE(PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE));
    EXPECT_EQ(static_cast<UINT>(WM_QUIT), message.message);
    EXPECT_EQ(3u, message.wParam);
}

UINT gDialogCommand = 0;

INT_PTR CALLBACK CommandDialog(HWND, UINT message, WPARAM wParam, LPARAM) {
    if (message == WM_COMMAND) gDialogCommand = LOWORD(wParam);
    return FALSE;
}

// Keys typed into a modeless dialog get the dialog's handling: Escape is its cancel.
TEST(PumpMessages, ModelessDialogsGetTheirKeys) {
    guitest::DialogTemplate t("Keys", WS_POPUP | WS_CAPTION | WS_VISIBLE, 100, 50);
    t.Add(200, "Edit", "", WS_BORDER | WS_TABSTOP, 5, 5, 80, 12);
    HWND dialog = CreateDialogIndirectParamA(GetModuleHandleA(nullptr), t.Get(), nullptr,
                                             CommandDialog, 0);
    ASSERT_NE(nullptr, dialog);
    gDialogCommand = 0;
    PostMessageA(GetDlgItem(dialog, 200), WM_KEYDOWN, VK_ESCAPE, 0);
    PumpMessages();
    EXPECT_EQ(static_cast<UINT>(IDCANCEL), gDialogCommand);
    DestroyWindow(dialog);
}

TEST(Placement, MoveKeepsWindowsOnTheVirtualScreen) {
    const int left = GetSystemMetrics(SM_XVIRTUALSCREEN);
    const int top = GetSystemMetrics(SM_YVIRTUALSCREEN);
    const int width = GetSystemMetrics(SM_CXVIRTUALSCREEN);
    const int height = GetSystemMetrics(SM_CYVIRTUALSCREEN);
    ASSERT_GT(width, 600);
    ASSERT_GT(height, 400);
    TestWindow upper("upper", 100, 100, 300, 200, WS_OVERLAPPEDWINDOW | WS_VISIBLE);
    TestWindow lower("lower", 120, 120, 300, 200, WS_OVERLAPPEDWINDOW | WS_VISIBLE);
    HWND w = lower.Handle();
    SetWindowPos(upper.Handle(), HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
    ASSERT_TRUE(IsAbove(upper.Handle(), w));

    // A minimised-style position far off the left and top comes back to the origin; the
    // size stays when none is given.
    EXPECT_EQ(1, WinMoveOnScreen(w, -32000, -32000, 0, 0));
    Rect r = RectOf(w);
    EXPECT_EQ(left, r.x);
    EXPECT_EQ(top, r.y);
    EXPECT_EQ(300, r.width);
    EXPECT_EQ(200, r.height);

    // Beyond the right and bottom edges: pulled back so the far edges meet them.
    EXPECT_EQ(1, WinMoveOnScreen(w, 5000, 5000, 300, 200));
    r = RectOf(w);
    EXPECT_EQ(left + width - 300, r.x);
    EXPECT_EQ(top + height - 200, r.y);

    // On the screen: moved and sized as asked; a size with one part 0 is not applied.
    EXPECT_EQ(1, WinMoveOnScreen(w, 40, 50, 320, 240));
    r = RectOf(w);
    EXPECT_EQ(40, r.x);
    EXPECT_EQ(50, r.y);
    EXPECT_EQ(320, r.width);
    EXPECT_EQ(240, r.height);
    EXPECT_EQ(1, WinMoveOnScreen(w, 60, 70, 0, 500));
    r = RectOf(w);
    EXPECT_EQ(60, r.x);
    EXPECT_EQ(70, r.y);
    EXPECT_EQ(320, r.width);
    EXPECT_EQ(240, r.height);

    // The stacking order never changes.
    EXPECT_TRUE(IsAbove(upper.Handle(), w));
}

TEST(Placement, CenterOverAWindowOrTheDesktop) {
    // Pop-up windows take any size (overlapped ones have a minimum width).
    TestWindow over("over", 200, 100, 600, 400, WS_POPUP);
    TestWindow w("centred", 0, 0, 200, 100, WS_POPUP);
    EXPECT_EQ(1, WinCenter(w.Handle(), over.Handle()));
    Rect r = RectOf(w.Handle());
    EXPECT_EQ(400, r.x);
    EXPECT_EQ(250, r.y);
    EXPECT_EQ(200, r.width);

    // Odd differences: the half is cut toward zero, also when it is negative.
    TestWindow odd("odd", 0, 0, 201, 101, WS_POPUP);
    WinCenter(odd.Handle(), over.Handle());
    r = RectOf(odd.Handle());
    EXPECT_EQ(399, r.x);
    EXPECT_EQ(249, r.y);
    TestWindow small("small", 500, 500, 100, 100, WS_POPUP);
    TestWindow wide("wide", 0, 0, 301, 101, WS_POPUP);
    WinCenter(wide.Handle(), small.Handle());
    r = RectOf(wide.Handle());
    EXPECT_EQ(400, r.x);
    EXPECT_EQ(500, r.y);

    RECT desktop;
    GetWindowRect(GetDesktopWindow(), &desktop);
    EXPECT_EQ(1, WinCenter(w.Handle(), nullptr));
    r = RectOf(w.Handle());
    EXPECT_EQ(desktop.left + (desktop.right - desktop.left - 200) / 2, r.x);
    EXPECT_EQ(desktop.top + (desktop.bottom - desktop.top - 100) / 2, r.y);

    EXPECT_EQ(0, WinGetRect(nullptr, &r.x, &r.y, &r.width, &r.height));
}

TEST(Tray, RecreateMessageIsTheTaskbarMessage) {
    UINT created = RegisterWindowMessageA("TaskbarCreated");
    ASSERT_NE(0u, created);
    EXPECT_EQ(1, TrayIsRecreateMessage(nullptr, created, 0, 0));
    EXPECT_EQ(0, TrayIsRecreateMessage(nullptr, created + 1, 0, 0));
    EXPECT_EQ(0, TrayIsRecreateMessage(nullptr, WM_USER + 1, 0, 0));
}

// With a desktop shell the icon is added and removed for real. Wine's null display driver has
// no notification area: the shell then refuses at once (no time-out, so no retries).
TEST(Tray, AddAndRemoveWithTheSystemShell) {
    TestWindow owner("tray owner", 0, 0, 100, 100);
    HICON icon = LoadIconA(nullptr, IDI_APPLICATION);
    const char* tip = "Spindrel";
    if (FindWindowA("Shell_TrayWnd", nullptr) != nullptr) {
        EXPECT_EQ(1, TrayAdd(owner.Handle(), 300, icon, WM_USER + 1, tip));
        EXPECT_EQ(1, TrayRemove(owner.Handle(), 300, icon, WM_USER + 1, tip));
        EXPECT_EQ(0, TrayRemove(owner.Handle(), 300, icon, WM_USER + 1, tip));
        return;
    }
    EXPECT_EQ(0, TrayAdd(owner.Handle(), 300, icon, WM_USER + 1, tip));
    EXPECT_NE(static_cast<DWORD>(ERROR_TIMEOUT), GetLastError());
    EXPECT_EQ(0, TrayRemove(owner.Handle(), 300, icon, WM_USER + 1, tip));
}

// Where the shell is missing, a window of the shell's tray class stands in for it: the shell
// library sends it one WM_COPYDATA per request, and its answer is the request's result. The
// request's layout read here is that of Wine's shell library, the only one that can meet the
// stand-in (a desktop shell owns the class elsewhere).
struct TrayRequest {
    ULONG_PTR message;  // NIM_ADD, NIM_DELETE
    HWND owner;
    UINT id;
    UINT flags;
    UINT callback;
    std::string tip;
};
struct TrayStandIn {
    std::vector<TrayRequest> requests;
    int refuse = 0;  // this many requests are refused
};
TrayStandIn gTray;

LRESULT CALLBACK TrayStandInProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message != WM_COPYDATA) return DefWindowProcW(window, message, wParam, lParam);
    const COPYDATASTRUCT* copy = reinterpret_cast<const COPYDATASTRUCT*>(lParam);
    const UINT* fields = static_cast<const UINT*>(copy->lpData);
    TrayRequest request{copy->dwData, reinterpret_cast<HWND>(wParam), fields[1], fields[2],
                        fields[3], ""};
    for (const WCHAR* c = reinterpret_cast<const WCHAR*>(fields + 4); *c != 0; c++)
        request.tip += static_cast<char>(*c);
    gTray.requests.push_back(request);
    if (gTray.refuse > 0) {
        gTray.refuse--;
        return FALSE;
    }
    return TRUE;
}

TEST(Tray, RequestsReachTheShellsTrayWindow) {
    if (FindWindowA("Shell_TrayWnd", nullptr) != nullptr)
        GTEST_SKIP() << "a desktop shell runs; the test above covers it";
    // A Unicode window, as the shell's: the request reaches it without conversion.
    WNDCLASSW windowClass = {};
    windowClass.lpfnWndProc = TrayStandInProc;
    windowClass.hInstance = GetModuleHandleA(nullptr);
    windowClass.lpszClassName = L"Shell_TrayWnd";
    ASSERT_NE(0, RegisterClassW(&windowClass));
    TestWindow stand("", 0, 0, 10, 10, WS_POPUP, "Shell_TrayWnd");
    TestWindow owner("tray owner", 0, 0, 100, 100);
    HWND w = owner.Handle();
    HICON icon = LoadIconA(nullptr, IDI_APPLICATION);

    gTray = TrayStandIn();
    EXPECT_EQ(1, TrayAdd(w, 300, icon, WM_USER + 1, "Spindrel"));
    ASSERT_EQ(1u, gTray.requests.size());
    TrayRequest r = gTray.requests[0];
    EXPECT_EQ(static_cast<ULONG_PTR>(NIM_ADD), r.message);
    EXPECT_EQ(w, r.owner);
    EXPECT_EQ(300u, r.id);
    EXPECT_EQ(static_cast<UINT>(NIF_MESSAGE | NIF_ICON | NIF_TIP), r.flags);
    EXPECT_EQ(static_cast<UINT>(WM_USER + 1), r.callback);
    EXPECT_EQ("Spindrel", r.tip);

    EXPECT_EQ(1, TrayRemove(w, 300, icon, WM_USER + 1, "Spindrel"));
    ASSERT_EQ(2u, gTray.requests.size());
    EXPECT_EQ(static_cast<ULONG_PTR>(NIM_DELETE), gTray.requests[1].message);
    EXPECT_EQ(300u, gTray.requests[1].id);

    // The tip is cut to 63 characters; none at all is an empty tip.
    gTray = TrayStandIn();
    std::string longTip(500, 't');
    EXPECT_EQ(1, TrayAdd(w, 300, icon, WM_USER + 1, longTip.c_str()));
    EXPECT_EQ(1, TrayAdd(w, 301, icon, WM_USER + 1, nullptr));
    ASSERT_EQ(2u, gTray.requests.size());
    EXPECT_EQ(std::string(63, 't'), gTray.requests[0].tip);
    EXPECT_EQ("", gTray.requests[1].tip);

    // A refusal that is not a time-out is final: one request only. (Wine's shell library
    // reports every refusal as E_FAIL, never with the time-out code, so the retries that a
    // busy desktop shell provokes cannot be shown here.)
    gTray = TrayStandIn();
    gTray.refuse = 100;
    EXPECT_EQ(0, TrayAdd(w, 300, icon, WM_USER + 1, "Spindrel"));
    EXPECT_NE(static_cast<DWORD>(ERROR_TIMEOUT), GetLastError());
    EXPECT_EQ(1u, gTray.requests.size());
    EXPECT_EQ(0, TrayRemove(w, 300, icon, WM_USER + 1, "Spindrel"));

    DestroyWindow(stand.Handle());
    UnregisterClassW(L"Shell_TrayWnd", GetModuleHandleA(nullptr));
}

TEST(FindTopLevel, ByClassOrTitleIgnoringCase) {
    std::string className = guitest::UniqueName("TslFindClass");
    std::string title = guitest::UniqueName("Find me");
    TestWindow window(title.c_str(), 0, 0, 100, 100, 0, className.c_str());
    HWND found = nullptr;

    std::string upperClass = className;
    for (char& c : upperClass) c = static_cast<char>(toupper(static_cast<unsigned char>(c)));
    EXPECT_EQ(1, WinFindTopLevel(upperClass.c_str(), nullptr, &found));
    EXPECT_EQ(window.Handle(), found);

    std::string lowerTitle = title;
    for (char& c : lowerTitle) c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
    found = nullptr;
    EXPECT_EQ(1, WinFindTopLevel(nullptr, lowerTitle.c_str(), &found));
    EXPECT_EQ(window.Handle(), found);

    // Either criterion is enough.
    found = nullptr;
    EXPECT_EQ(1, WinFindTopLevel("NoSuchClassAnywhere", title.c_str(), &found));
    EXPECT_EQ(window.Handle(), found);

    found = window.Handle();
    EXPECT_EQ(0, WinFindTopLevel("NoSuchClassAnywhere", nullptr, &found));
    EXPECT_EQ(nullptr, found);
    EXPECT_EQ(0, WinFindTopLevel(nullptr, nullptr, &found));

    DestroyWindow(window.Handle());
    EXPECT_EQ(0, WinFindTopLevel(className.c_str(), title.c_str(), &found));
}

// The guard between two real processes: the first holds the instance, the second is told
// so, raises the first one's window and ends; once the first has gone, a third runs.
TEST(SingleInstance, SecondProcessIsToldAndRaisesTheFirst) {
    std::string app = guitest::UniqueName("TslInstance");
    std::string className = app + "-Class";
    std::string fixture = windriver::BesideSelf("winhelpr-instance.exe");
    std::string command = "\"" + fixture + "\" " + app + " " + className;

    windriver::Process first;
    ASSERT_TRUE(first.Start(command));
    HWND window = windriver::WaitForWindow(nullptr, className.c_str(), 10000, first.Pid());
    ASSERT_NE(nullptr, window);
    PostMessageA(window, WM_SYSCOMMAND, SC_MINIMIZE, 0);
    DWORD start = GetTickCount();
    while (!IsIconic(window) && GetTickCount() - start < 5000) Sleep(20);
    ASSERT_TRUE(IsIconic(window));

    windriver::Process second;
    ASSERT_TRUE(second.Start(command));
    HWND box = windriver::WaitForWindow(app.c_str(), "#32770", 10000, second.Pid());
    ASSERT_NE(nullptr, box);
    EXPECT_EQ("Only a single instance of this application can run",
              windriver::MessageBoxText(box));
    EXPECT_EQ(window, GetWindow(box, GW_OWNER));
    EXPECT_FALSE(IsIconic(window)) << "the first instance's window is restored";
    windriver::PressButton(box, IDOK);
    EXPECT_EQ(1, second.Wait(10000));

    PostMessageA(window, WM_CLOSE, 0, 0);
    EXPECT_EQ(0, first.Wait(10000));

    // The first ended while it owned the mutex: the next start takes it over.
    windriver::Process third;
    ASSERT_TRUE(third.Start(command));
    HWND again = windriver::WaitForWindow(nullptr, className.c_str(), 10000, third.Pid());
    ASSERT_NE(nullptr, again);
    PostMessageA(again, WM_CLOSE, 0, 0);
    EXPECT_EQ(0, third.Wait(10000));
}

TEST(SingleInstance, QuietSecondInstanceAndUnlockableName) {
    std::string app = guitest::UniqueName("TslInstance");
    std::string className = app + "-Class";
    std::string fixture = windriver::BesideSelf("winhelpr-instance.exe");
    windriver::Process first;
    ASSERT_TRUE(first.Start("\"" + fixture + "\" " + app + " " + className));
    HWND window = windriver::WaitForWindow(nullptr, className.c_str(), 10000, first.Pid());
    ASSERT_NE(nullptr, window);
    // Without the message flag the second instance just learns it is one, and the first
    // one's window comes to the foreground.
    TestWindow mine("mine", 0, 0, 200, 100, WS_OVERLAPPEDWINDOW | WS_VISIBLE);
    SetForegroundWindow(mine.Handle());
    ASSERT_EQ(mine.Handle(), GetForegroundWindow());
    windriver::Process quiet;
    ASSERT_TRUE(quiet.Start("\"" + fixture + "\" " + app + " " + className + " quiet"));
    EXPECT_EQ(1, quiet.Wait(10000));
    EXPECT_EQ(window, GetForegroundWindow());
    PostMessageA(window, WM_CLOSE, 0, 0);
    EXPECT_EQ(0, first.Wait(10000));

    // Another kind of object holds the name: the mutex cannot be made, the user is told and
    // the program goes on as the only instance.
    std::string blocked = guitest::UniqueName("TslBlocked");
    HANDLE event = CreateEventA(nullptr, TRUE, FALSE, (blocked + "-EXCLUSIVE").c_str());
    ASSERT_NE(nullptr, event);
    windriver::BoxAnswerer answer([&](const std::string& caption, const std::string&) {
        return caption == blocked ? IDOK : 0;
    });
    EXPECT_EQ(0, SingleInstanceCheck(blocked.c_str(), nullptr, nullptr, 0, 1, 1));
    ASSERT_TRUE(answer.WaitForAnswers(1, 5000));
    EXPECT_EQ("Unable to lock instance count", answer.Answers()[0].text);
    CloseHandle(event);
}

}  // namespace
