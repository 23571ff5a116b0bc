// Window-driving helper for Win32 tests: finds top-level windows (message boxes, dialogs,
// program windows) by caption and/or class, reads the texts of their controls, presses
// buttons and sets controls, and starts and waits for processes. Works headless under
// Wine's null display driver as on a desktop.
#pragma once

#include <windows.h>

#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace windriver {

struct Control {
    HWND hwnd;
    int id;
    std::string className;
    std::string text;
};

// Waits up to timeoutMs for a visible-or-not top-level window whose caption and class
// equal the given ones (a null or empty criterion is not tested). When pid is not 0 only
// windows of that process count. Returns null after the time-out.
HWND WaitForWindow(const char* caption, const char* className, DWORD timeoutMs, DWORD pid = 0);

// Finds such a window at once (null when there is none).
HWND FindWindowOf(const char* caption, const char* className, DWORD pid = 0);

// All top-level windows of a process (pid 0: every process).
std::vector<HWND> TopLevelWindows(DWORD pid = 0);

// Waits until the window no longer exists; true when it went within the time-out.
bool WaitForWindowGone(HWND window, DWORD timeoutMs);

std::string WindowText(HWND window);
std::string ClassName(HWND window);

// The direct child controls of a window, in z-order.
std::vector<Control> ReadControls(HWND window);

// The text of the child control with that id ("" when there is none).
std::string ControlText(HWND window, int id);

// The text shown by a message box (its static text control).
std::string MessageBoxText(HWND box);

// The texts of a dialog's static controls, in z-order, each followed by "\n".
std::string StaticTexts(HWND dialog);

// Presses a button as a click would: WM_COMMAND with BN_CLICKED, posted to the window.
bool PressButton(HWND window, int id);

// Presses the button whose text equals `text`, '&' mnemonics ignored.
bool PressButtonByText(HWND window, const char* text);

bool SetControlText(HWND window, int id, const char* text);

// Moves a slider (trackbar) and tells its parent as a user's drag would.
bool SetSliderPos(HWND window, int id, int position);

// A slider's position, range and page size (all 0 when there is no such control).
struct Slider {
    int position;
    int minimum;
    int maximum;
    int page;
};
Slider SliderOf(HWND window, int id);

// Presses a key in a window as the keyboard would (key down and up, posted): a dialog's own
// loop turns Enter and Escape into its commands.
bool PressKey(HWND window, UINT virtualKey);

// Clicks a button as the mouse would (BM_CLICK, sent): a check box changes its state and
// its parent hears of it.
bool ClickButton(HWND window, int id);

// Check state of a button (BST_CHECKED 1, BST_UNCHECKED 0) and whether a control is enabled.
int CheckState(HWND window, int id);
bool IsControlEnabled(HWND window, int id);

// The items of a combo box, also of another process (read in the wide form, which crosses
// processes intact), and the selected index (-1: none).
std::vector<std::string> ComboItems(HWND window, int id);
int ComboSelection(HWND window, int id);
// The selected item's text ("" when none).
std::string ComboSelectedText(HWND window, int id);

// Selects an item of a combo box and tells the parent as a user's choice would
// (CBN_SELCHANGE); false when there is no such item.
bool SelectComboItem(HWND window, int id, int index);
bool SelectComboText(HWND window, int id, const std::string& text);

// One answered message box or dialog: what it showed and which button was pressed.
struct Answer {
    std::string caption;
    std::string text;
    int button;
};

// Answers message boxes (dialogs showing a message text) of the current process on a
// background thread while it lives: every box gets the button that `choose` returns for
// its caption and text (0: leave it for now). Other dialogs are left alone, unless
// `chooseDialog` is given: it is asked about each one (it may press buttons itself) and
// the button it returns is pressed (0: leave it for now). Everything answered is recorded
// in order; a dialog's text is StaticTexts of it.
class BoxAnswerer {
public:
    using Chooser = std::function<int(const std::string& caption, const std::string& text)>;
    using DialogChooser = std::function<int(HWND dialog)>;
    explicit BoxAnswerer(Chooser choose, DWORD pid = GetCurrentProcessId(),
                         DialogChooser chooseDialog = nullptr);
    ~BoxAnswerer();
    std::vector<Answer> Answers();
    // Waits until at least n boxes were answered; false after the time-out.
    bool WaitForAnswers(size_t n, DWORD timeoutMs);

private:
    void Run();
    Chooser choose_;
    DWORD pid_;
    DialogChooser chooseDialog_;
    std::mutex lock_;
    std::vector<Answer> answers_;
    std::vector<HWND> handled_;
    volatile bool stop_ = false;
    std::thread thread_;
};

// A started child process.
class Process {
public:
    Process() = default;
    ~Process();
    Process(const Process&) = delete;
    Process& operator=(const Process&) = delete;
    // Starts a command line; false when it could not be started.
    bool Start(const std::string& commandLine);
    // The same with the program's standard output and error written into new files.
    bool StartWithOutput(const std::string& commandLine, const std::string& outputPath,
                         const std::string& errorPath);
    DWORD Pid() const { return pid_; }
    HANDLE Handle() const { return process_; }
    // Waits for the exit; returns the exit code, or -1 after the time-out.
    long Wait(DWORD timeoutMs);
    void Kill();

private:
    HANDLE process_ = nullptr;
    DWORD pid_ = 0;
};

// Path of a file beside the running test executable.
std::string BesideSelf(const char* fileName);

}  // namespace windriver
