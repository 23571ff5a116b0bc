// Start-menu items, closing the product's windows, running programs, calling components
// and the progress window, against real windows, processes, libraries and folders under
// Wine.
#include <gtest/gtest.h>

#include <windows.h>

#include <commctrl.h>
#include <shlobj.h>

#include <string>

#include "fixtures/fixture-test.h"
#include "vacate/resource.h"
#include "vacate/script.h"
#include "vacate/shell.h"

namespace {

using fixture::Exists;
using fixture::ScratchFolder;

std::string ProgramsFolder() {
    char folder[MAX_PATH] = {};
    SHGetSpecialFolderPathA(nullptr, folder, CSIDL_PROGRAMS, FALSE);
    return folder;
}

std::string Lower(std::string text) {
    for (char& c : text)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return text;
}

// ---------------------------------------------------------------------------
// Start-menu group and items
// ---------------------------------------------------------------------------

TEST(Group, PathsFollowTheCurrentGroup) {
    GroupReset();
    EXPECT_STREQ(GroupCurrent(), "");
    const std::string programs = ProgramsFolder();
    ASSERT_FALSE(programs.empty());

    char path[320];
    ASSERT_EQ(GroupPath("", path), 1);
    EXPECT_EQ(path, programs);
    ASSERT_EQ(GroupPath("Maker\\Product", path), 1);
    EXPECT_EQ(path, programs + "\\Maker\\Product");
    ASSERT_EQ(ItemPath(path, "Readme"), 1);
    EXPECT_EQ(path, programs + "\\Readme.lnk");

    ASSERT_EQ(GroupSelect("Product Group"), 1);
    EXPECT_STREQ(GroupCurrent(), "Product Group");
    EXPECT_TRUE(fixture::LogHas("Delete Group = '" + programs + "\\Product Group'"));
    ASSERT_EQ(ItemPath(path, "Product"), 1);
    EXPECT_EQ(path, programs + "\\Product Group\\Product.lnk");

    // A name that does not fit the buffers gives no path and no group to look in.
    std::string huge(300, 'g');
    EXPECT_EQ(GroupPath(huge.c_str(), path), 0);
    EXPECT_STREQ(path, "");
    GroupSelect(huge.c_str());
    EXPECT_EQ(ItemPath(path, "Product"), 0);
    GroupReset();
}

TEST(ItemRemove, DeletesTheShortcutsAndThenTheEmptiedGroup) {
    ScratchFolder group(ProgramsFolder() + "\\", "vacate-group");
    std::string name = group.path.substr(ProgramsFolder().size() + 1);
    name.pop_back();
    group.Make("Product.lnk");
    group.Make("Uninstall Product.lnk");

    GroupReset();
    GroupSelect(name.c_str());
    EXPECT_EQ(ItemRemove("Product", "$0Product\\app.exe", ""), 1);
    EXPECT_FALSE(Exists(group.path + "Product.lnk"));
    EXPECT_TRUE(Exists(group.path));

    EXPECT_EQ(ItemRemove("Uninstall Product", "$0Product\\vacate.exe", "-x"), 1);
    EXPECT_FALSE(Exists(group.path));
    EXPECT_TRUE(Exists(ProgramsFolder())) << "the Start-menu folder itself still holds items";
    EXPECT_TRUE(fixture::LogHas("Delete Item = '" + name +
                                "' : 'Uninstall Product' ('$0Product\\vacate.exe' / '-x')"));
    GroupReset();
}

// Points the user's Start-menu programs folder somewhere else for one test.
class ProgramsFolderOverride {
public:
    explicit ProgramsFolderOverride(const std::string& value) {
        RegOpenKeyExA(HKEY_CURRENT_USER,
                      "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders",
                      0, KEY_ALL_ACCESS, &key_);
        size_ = sizeof old_;
        had_ = RegQueryValueExA(key_, "Programs", nullptr, &type_, reinterpret_cast<BYTE*>(old_),
                                &size_) == ERROR_SUCCESS;
        RegSetValueExA(key_, "Programs", 0, REG_EXPAND_SZ,
                       reinterpret_cast<const BYTE*>(value.c_str()),
                       static_cast<DWORD>(value.size() + 1));
    }
    ~ProgramsFolderOverride() {
        if (had_)
            RegSetValueExA(key_, "Programs", 0, type_, reinterpret_cast<const BYTE*>(old_), size_);
        else
            RegDeleteValueA(key_, "Programs");
        RegCloseKey(key_);
    }

private:
    HKEY key_ = nullptr;
    char old_[1024] = {};
    DWORD size_ = 0;
    DWORD type_ = 0;
    bool had_ = false;
};

TEST(ItemRemove, NeverDeletesByAPathThatIsNotAFullOne) {
    // Files a shortcut path without its Start-menu folder would reach: below the drive
    // root and below the current folder.
    std::string group = fixture::UniqueName("vacate-relative");
    ScratchFolder rooted("C:\\", "vacate-cwd");
    std::string atRoot = "C:\\" + group + "\\Product.lnk";
    CreateDirectoryA(("C:\\" + group).c_str(), nullptr);
    fixture::WriteAll(atRoot, "keep");
    std::string atCurrent = rooted.Make(group + "\\Product.lnk", "keep");
    ASSERT_TRUE(SetCurrentDirectoryA(rooted.path.c_str()));

    {
        ProgramsFolderOverride relative(fixture::UniqueName("relative-programs"));
        GroupReset();
        GroupSelect(group.c_str());
        EXPECT_EQ(ItemRemove("Product", "", ""), 1);
    }
    SetCurrentDirectoryA("C:\\");
    EXPECT_TRUE(Exists(atRoot));
    EXPECT_TRUE(Exists(atCurrent));
    fixture::RemoveTree("C:\\" + group);
    EXPECT_FALSE(ProgramsFolder().empty()) << "the Start-menu folder was not restored";
    GroupReset();
}

// ---------------------------------------------------------------------------
// The product's windows
// ---------------------------------------------------------------------------

// A running fx-window: its class and title are unique to the test.
class ProductWindow {
public:
    ProductWindow(const ScratchFolder& scratch, int closeAfter)
        : className(fixture::UniqueName("VacateFxClass")),
          title(fixture::UniqueName("Product Main Window")),
          countFile(scratch.path + className + ".count") {
        started = process.Start("\"" + fixture::FixturePath("fx-window.exe") + "\" \"" +
                                className + "\" \"" + title + "\" " +
                                std::to_string(closeAfter) + " \"" + countFile + "\"");
        window = started ? windriver::WaitForWindow(title.c_str(), className.c_str(), 10000,
                                                    process.Pid())
                         : nullptr;
    }
    // WM_CLOSE requests the window received.
    std::string Closes() const {
        return Exists(countFile) ? fixture::ReadAll(countFile) : "0";
    }
    bool Ended() { return process.Wait(10000) == 0; }
    // Waits until the window has received `count` close requests (they arrive posted).
    bool WaitForCloses(const std::string& count) const {
        for (int i = 0; i < 250 && Closes() != count; i++) Sleep(20);
        return Closes() == count;
    }

    std::string className;
    std::string title;
    std::string countFile;
    windriver::Process process;
    bool started = false;
    HWND window = nullptr;
};

struct Context {
    Context() { StrCopyRunAfter("C:\\Product\\restart.exe"); }
    void StrCopyRunAfter(const char* text) { lstrcpynA(context.runAfter, text, 320); }
    ScriptContext context = {};
};

TEST(CloseWindows, ClosesTheProductWindowsAndKeepsTheProgramToRunAfter) {
    ScratchFolder scratch(fixture::TempFolder(), "vacate-shell");
    ProductWindow product(scratch, 1);
    ASSERT_NE(product.window, nullptr);
    Context c;

    // The title as written in the script differs in letter case.
    EXPECT_EQ(CloseWindows(&c.context, 0, 3000, Lower(product.title).c_str(), "",
                           "C:\\Product\\restart.exe", "Please close the product"),
              1);
    EXPECT_TRUE(product.Ended());
    EXPECT_EQ(product.Closes(), "1");
    EXPECT_STREQ(c.context.runAfter, "C:\\Product\\restart.exe");
}

TEST(CloseWindows, MatchesByClassAndByBothCriteria) {
    ScratchFolder scratch(fixture::TempFolder(), "vacate-shell");
    ProductWindow product(scratch, 1);
    ASSERT_NE(product.window, nullptr);
    Context c;

    // The class matches but the title does not: not the product's window.
    EXPECT_EQ(CloseWindows(&c.context, 0, 0, "Some Other Title", product.className.c_str(), "",
                           ""),
              1);
    EXPECT_TRUE(IsWindow(product.window));
    EXPECT_STREQ(c.context.runAfter, "") << "nothing was running, nothing to run after";

    c.StrCopyRunAfter("C:\\Product\\restart.exe");
    EXPECT_EQ(CloseWindows(&c.context, 0, 3000, "", Lower(product.className).c_str(), "", ""),
              1);
    EXPECT_TRUE(product.Ended());
    EXPECT_STREQ(c.context.runAfter, "C:\\Product\\restart.exe");
}

TEST(CloseWindows, NothingRunningSucceedsAndForgetsTheProgramToRunAfter) {
    Context c;
    std::string title = fixture::UniqueName("No Such Window");
    EXPECT_EQ(CloseWindows(&c.context, 2, 5000, title.c_str(), "", "", "never asked"), 1);
    EXPECT_STREQ(c.context.runAfter, "");

    // With neither class nor title nothing matches.
    c.StrCopyRunAfter("x.exe");
    EXPECT_EQ(CloseWindows(&c.context, 0, 0, "", "", "", ""), 1);
    EXPECT_STREQ(c.context.runAfter, "");
}

TEST(CloseWindows, AWindowThatClosesOnALaterAttempt) {
    ScratchFolder scratch(fixture::TempFolder(), "vacate-shell");
    ProductWindow product(scratch, 3);
    ASSERT_NE(product.window, nullptr);
    Context c;

    EXPECT_EQ(CloseWindows(&c.context, 0, 3000, product.title.c_str(),
                           product.className.c_str(), "", ""),
              1);
    EXPECT_TRUE(product.Ended());
    EXPECT_EQ(product.Closes(), "3");
    EXPECT_STREQ(c.context.runAfter, "C:\\Product\\restart.exe");
}

TEST(CloseWindows, AWindowThatNeverClosesFailsAfterTenAttempts) {
    ScratchFolder scratch(fixture::TempFolder(), "vacate-shell");
    ProductWindow product(scratch, 0);
    ASSERT_NE(product.window, nullptr);
    Context c;

    EXPECT_EQ(CloseWindows(&c.context, 0, 0, product.title.c_str(), "", "", ""), 0);
    EXPECT_TRUE(product.WaitForCloses("10"));
    EXPECT_TRUE(IsWindow(product.window));
    EXPECT_STREQ(c.context.runAfter, "");
}

TEST(CloseWindows, NotifyModeShowsTheMessageAndStops) {
    ScratchFolder scratch(fixture::TempFolder(), "vacate-shell");
    ProductWindow product(scratch, 1);
    ASSERT_NE(product.window, nullptr);
    Context c;
    windriver::BoxAnswerer answerer([](const std::string&, const std::string&) { return IDOK; });

    EXPECT_EQ(CloseWindows(&c.context, 1, 0, product.title.c_str(), "", "",
                           "Please exit the product first."),
              0);
    answerer.WaitForAnswers(1, 5000);
    auto answers = answerer.Answers();
    ASSERT_EQ(answers.size(), 1u);
    EXPECT_EQ(answers[0].caption, "Uninstall problem...");
    EXPECT_EQ(answers[0].text, "Please exit the product first.");
    EXPECT_EQ(product.Closes(), "0");
    EXPECT_TRUE(IsWindow(product.window));
    EXPECT_STREQ(c.context.runAfter, "");
}

TEST(CloseWindows, AskModeClosesOnYesOnEveryAttempt) {
    ScratchFolder scratch(fixture::TempFolder(), "vacate-shell");
    ProductWindow product(scratch, 2);
    ASSERT_NE(product.window, nullptr);
    Context c;
    windriver::BoxAnswerer answerer([](const std::string&, const std::string&) { return IDYES; });

    EXPECT_EQ(CloseWindows(&c.context, 2, 3000, product.title.c_str(), "", "",
                           "Close the product now?"),
              1);
    EXPECT_TRUE(product.Ended());
    answerer.WaitForAnswers(2, 5000);
    auto answers = answerer.Answers();
    ASSERT_EQ(answers.size(), 2u);
    EXPECT_EQ(answers[0].caption, "Attempt #1");
    EXPECT_EQ(answers[1].caption, "Attempt #2");
    EXPECT_EQ(answers[0].text, "Close the product now?");
    EXPECT_STREQ(c.context.runAfter, "C:\\Product\\restart.exe");
}

TEST(CloseWindows, AskModeStopsOnNo) {
    ScratchFolder scratch(fixture::TempFolder(), "vacate-shell");
    ProductWindow product(scratch, 1);
    ASSERT_NE(product.window, nullptr);
    Context c;
    windriver::BoxAnswerer answerer([](const std::string&, const std::string&) { return IDNO; });

    EXPECT_EQ(CloseWindows(&c.context, 2, 0, product.title.c_str(), "", "", "Close it?"), 0);
    answerer.WaitForAnswers(1, 5000);
    ASSERT_EQ(answerer.Answers().size(), 1u);
    EXPECT_EQ(answerer.Answers()[0].caption, "Attempt #1");
    EXPECT_EQ(product.Closes(), "0");
    EXPECT_TRUE(IsWindow(product.window));
    EXPECT_STREQ(c.context.runAfter, "");
}

// ---------------------------------------------------------------------------
// Programs
// ---------------------------------------------------------------------------

TEST(RunProgram, WaitsAndReportsTheExitCodeAndArguments) {
    ScratchFolder scratch(fixture::TempFolder(), "vacate-shell");
    std::string record = scratch.path + "args.txt";
    std::string program = fixture::FixturePath("fx-args.exe");
    std::string parameters = "\"" + record + "\" 7 - \"two words\" third";

    uint32_t code = 99;
    ASSERT_EQ(RunProgram(program.c_str(), parameters.c_str(), 1, &code), 1);
    EXPECT_EQ(code, 7u);
    EXPECT_EQ(fixture::ReadAll(record), record + "\r\n7\r\n-\r\ntwo words\r\nthird\r\n");
}

TEST(RunProgram, WithoutWaitingReturnsWhileTheProgramRuns) {
    ScratchFolder scratch(fixture::TempFolder(), "vacate-shell");
    std::string record = scratch.path + "args.txt";
    std::string go = scratch.path + "go";
    std::string program = fixture::FixturePath("fx-args.exe");
    std::string parameters = "\"" + record + "\" 5 \"" + go + "\"";

    uint32_t code = 99;
    ASSERT_EQ(RunProgram(program.c_str(), parameters.c_str(), 0, &code), 1);
    EXPECT_EQ(code, 0u);
    // The program waits for the go file, so it cannot have recorded anything yet.
    EXPECT_FALSE(Exists(record));
    fixture::WriteAll(go, "go");
    ASSERT_TRUE(fixture::WaitForFile(record, 20000));
    EXPECT_EQ(fixture::ReadAll(record), record + "\r\n5\r\n" + go + "\r\n");
    Sleep(200);  // let the program end before its folder goes
}

TEST(RunProgram, AMissingProgramIsReportedInTheLogOnly) {
    // Any box that shows up is closed and counted: the user is told nothing here.
    windriver::BoxAnswerer boxes([](const std::string&, const std::string&) { return IDOK; });
    uint32_t code = 99;
    std::string missing = fixture::TempFolder() + fixture::UniqueName("missing") + ".exe";
    EXPECT_EQ(RunProgram(missing.c_str(), "", 1, &code), 0);
    EXPECT_EQ(code, 0u);
    EXPECT_TRUE(fixture::LogHas("Unable to execute '" + missing + "' ''"));
    EXPECT_TRUE(boxes.Answers().empty());
}

// ---------------------------------------------------------------------------
// Components
// ---------------------------------------------------------------------------

// Sets the fixture component's variables for one test.
class ComponentEnvironment {
public:
    explicit ComponentEnvironment(const std::string& log) {
        SetEnvironmentVariableA("FX_COMPONENT_LOG", log.c_str());
    }
    ~ComponentEnvironment() {
        SetEnvironmentVariableA("FX_COMPONENT_LOG", nullptr);
        SetEnvironmentVariableA("FX_COMPONENT_REGISTER_RESULT", nullptr);
        SetEnvironmentVariableA("FX_COMPONENT_UNREGISTER_RESULT", nullptr);
    }
};

TEST(CallComponent, CallsTheEntryPointsInTheOrderAsked) {
    ScratchFolder scratch(fixture::TempFolder(), "vacate-shell");
    std::string log = scratch.path + "calls.txt";
    ComponentEnvironment environment(log);
    std::string library = fixture::FixturePath("fx-component.dll");

    EXPECT_EQ(CallComponent(library.c_str(), 1), 1);
    EXPECT_EQ(CallComponent(library.c_str(), 0), 1);
    EXPECT_EQ(fixture::ReadAll(log), "DllRegisterServer\r\nDllUnregisterServer\r\n");
    EXPECT_EQ(GetModuleHandleA(library.c_str()), nullptr) << "the library was not released";
}

TEST(CallComponent, AFailingEntryPointIsAFailure) {
    ScratchFolder scratch(fixture::TempFolder(), "vacate-shell");
    std::string log = scratch.path + "calls.txt";
    ComponentEnvironment environment(log);
    SetEnvironmentVariableA("FX_COMPONENT_UNREGISTER_RESULT", "0x80004005");
    SetEnvironmentVariableA("FX_COMPONENT_REGISTER_RESULT", "1");  // S_FALSE still succeeds
    std::string library = fixture::FixturePath("fx-component.dll");

    EXPECT_EQ(CallComponent(library.c_str(), 0), 0);
    EXPECT_EQ(CallComponent(library.c_str(), 1), 1);
    EXPECT_EQ(fixture::ReadAll(log), "DllUnregisterServer\r\nDllRegisterServer\r\n");
    EXPECT_TRUE(fixture::LogHas("Failed in executing entry point from '" + library + "'"));
}

TEST(CallComponent, MissingLibrariesAndEntryPointsAreFailures) {
    std::string bare = fixture::FixturePath("fx-component-bare.dll");
    EXPECT_EQ(CallComponent(bare.c_str(), 1), 0);
    EXPECT_TRUE(fixture::LogHas("Couldn't get entry point from '" + bare + "'"));
    EXPECT_EQ(GetModuleHandleA(bare.c_str()), nullptr);

    std::string missing = fixture::TempFolder() + fixture::UniqueName("missing") + ".dll";
    EXPECT_EQ(CallComponent(missing.c_str(), 0), 0);
    EXPECT_TRUE(fixture::LogHas("Error attempting to load '" + missing + "'"));
}

// ---------------------------------------------------------------------------
// The progress window
// ---------------------------------------------------------------------------

HWND ProgressWindow() {
    return windriver::FindWindowOf("Please wait...", "#32770", GetCurrentProcessId());
}

TEST(ProgressWindow, ShowsItsBarAndFollowsThePercentage) {
    ASSERT_EQ(ProgressWindowCreate(), 1);
    HWND window = ProgressWindow();
    ASSERT_NE(window, nullptr);
    EXPECT_FALSE(IsWindowVisible(window));
    HWND bar = GetDlgItem(window, IDC_PROGRESS_BAR);
    ASSERT_NE(bar, nullptr);
    EXPECT_EQ(windriver::ClassName(bar), PROGRESS_CLASSA);
    PBRANGE range = {};
    SendMessageA(bar, PBM_GETRANGE, FALSE, reinterpret_cast<LPARAM>(&range));
    EXPECT_EQ(range.iLow, 0);
    EXPECT_EQ(range.iHigh, 2000);
    EXPECT_EQ(SendMessageA(bar, PBM_GETPOS, 0, 0), 0);

    ASSERT_EQ(ProgressWindowShow(1), 1);
    EXPECT_TRUE(IsWindowVisible(window));
    RECT box = {};
    RECT desktop = {};
    GetWindowRect(window, &box);
    GetWindowRect(GetDesktopWindow(), &desktop);
    EXPECT_NEAR((box.left + box.right) / 2, (desktop.left + desktop.right) / 2, 1);
    EXPECT_NEAR((box.top + box.bottom) / 2, (desktop.top + desktop.bottom) / 2, 1);

    EXPECT_EQ(ProgressWindowSet(37.5), 1);
    EXPECT_EQ(SendMessageA(bar, PBM_GETPOS, 0, 0), 750);
    EXPECT_EQ(ProgressWindowSet(150.0), 1);
    EXPECT_EQ(SendMessageA(bar, PBM_GETPOS, 0, 0), 2000);

    // Its Cancel shows, in a row of its own, only while a download offers it; a press (or
    // Escape) at any other time does nothing.
    HWND cancel = GetDlgItem(window, IDC_PROGRESS_CANCEL);
    ASSERT_NE(cancel, nullptr);
    auto pressed = [window](bool press) {
        if (press) windriver::PressButton(window, IDC_PROGRESS_CANCEL);
        for (int i = 0; i < 30 && ProgressWindowPoll() == 0; ++i) Sleep(20);
        return ProgressWindowPoll();
    };
    EXPECT_FALSE(IsWindowVisible(cancel));
    EXPECT_EQ(pressed(true), 0);
    ASSERT_EQ(ProgressWindowOfferCancel(1), 1);
    RECT offered = {};
    GetWindowRect(window, &offered);
    EXPECT_TRUE(IsWindowVisible(cancel));
    EXPECT_GT(offered.bottom - offered.top, box.bottom - box.top);
    EXPECT_EQ(pressed(true), 1);
    ASSERT_EQ(ProgressWindowOfferCancel(0), 1);
    EXPECT_FALSE(IsWindowVisible(cancel));
    EXPECT_EQ(pressed(false), 0);
    EXPECT_EQ(pressed(true), 0);
    RECT after = {};
    GetWindowRect(window, &after);
    EXPECT_EQ(after.bottom - after.top, box.bottom - box.top);

    ASSERT_EQ(ProgressWindowShow(0), 1);
    EXPECT_FALSE(IsWindowVisible(window));
    ASSERT_EQ(ProgressWindowDestroy(), 1);
    EXPECT_FALSE(IsWindow(window));
    EXPECT_EQ(ProgressWindowSet(10.0), 0);
    EXPECT_EQ(ProgressWindowShow(1), 0);
}

TEST(ProgressWindow, ACloseRequestEndsIt) {
    ASSERT_EQ(ProgressWindowCreate(), 1);
    HWND window = ProgressWindow();
    ASSERT_NE(window, nullptr);
    PostMessageA(window, WM_CLOSE, 0, 0);
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&message);
    EXPECT_FALSE(IsWindow(window));
    EXPECT_EQ(ProgressWindowSet(50.0), 0);
    EXPECT_EQ(ProgressWindowDestroy(), 0);
}

}  // namespace
