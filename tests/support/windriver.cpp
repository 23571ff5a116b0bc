#include "support/windriver.h"

#include <commctrl.h>

#include <algorithm>

namespace windriver {

namespace {

struct Search {
    const char* caption;
    const char* className;
    DWORD pid;
    std::vector<HWND>* all;  // when given: collect every window of pid
    HWND found;
};

bool Matches(HWND window, const char* caption, const char* className, DWORD pid) {
    if (pid != 0) {
        DWORD owner = 0;
        GetWindowThreadProcessId(window, &owner);
        if (owner != pid) return false;
    }
    if (className != nullptr && className[0] != '\0' && ClassName(window) != className)
        return false;
    if (caption != nullptr && caption[0] != '\0' && WindowText(window) != caption) return false;
    return true;
}

BOOL CALLBACK EnumTop(HWND window, LPARAM param) {
    auto* s = reinterpret_cast<Search*>(param);
    if (s->all != nullptr) {
        if (Matches(window, nullptr, nullptr, s->pid)) s->all->push_back(window);
        return TRUE;
    }
    if (Matches(window, s->caption, s->className, s->pid)) {
        s->found = window;
        return FALSE;
    }
    return TRUE;
}

std::string StripMnemonic(const std::string& text) {
    std::string out;
    for (char c : text)
        if (c != '&') out += c;
    return out;
}

}  // namespace

std::string WindowText(HWND window) {
    char buffer[1024] = {};
    // WM_GETTEXT works across processes for standard controls.
    SendMessageTimeoutA(window, WM_GETTEXT, sizeof buffer, reinterpret_cast<LPARAM>(buffer),
                        SMTO_ABORTIFHUNG, 2000, nullptr);
    return buffer;
}

std::string ClassName(HWND window) {
    char buffer[256] = {};
    GetClassNameA(window, buffer, sizeof buffer);
    return buffer;
}

HWND FindWindowOf(const char* caption, const char* className, DWORD pid) {
    Search s{caption, className, pid, nullptr, nullptr};
    EnumWindows(EnumTop, reinterpret_cast<LPARAM>(&s));
    return s.found;
}

std::vector<HWND> TopLevelWindows(DWORD pid) {
    std::vector<HWND> all;
    Search s{nullptr, nullptr, pid, &all, nullptr};
    EnumWindows(EnumTop, reinterpret_cast<LPARAM>(&s));
    return all;
}

HWND WaitForWindow(const char* caption, const char* className, DWORD timeoutMs, DWORD pid) {
    DWORD start = GetTickCount();
    for (;;) {
        HWND found = FindWindowOf(caption, className, pid);
        if (found != nullptr) return found;
        if (GetTickCount() - start >= timeoutMs) return nullptr;
        Sleep(20);
    }
}

bool WaitForWindowGone(HWND window, DWORD timeoutMs) {
    DWORD start = GetTickCount();
    while (IsWindow(window)) {
        if (GetTickCount() - start >= timeoutMs) return false;
        Sleep(20);
    }
    return true;
}

std::vector<Control> ReadControls(HWND window) {
    std::vector<Control> controls;
    for (HWND child = GetWindow(window, GW_CHILD); child != nullptr;
         child = GetWindow(child, GW_HWNDNEXT)) {
        controls.push_back(
            Control{child, GetDlgCtrlID(child), ClassName(child), WindowText(child)});
    }
    return controls;
}

std::string ControlText(HWND window, int id) {
    HWND control = GetDlgItem(window, id);
    return control != nullptr ? WindowText(control) : std::string();
}

std::string MessageBoxText(HWND box) {
    // The message text is the static control with id 0xFFFF.
    for (const Control& c : ReadControls(box))
        if (c.id == 0xFFFF && _stricmp(c.className.c_str(), "Static") == 0) return c.text;
    return std::string();
}

std::string StaticTexts(HWND dialog) {
    std::string texts;
    for (const Control& c : ReadControls(dialog))
        if (_stricmp(c.className.c_str(), "Static") == 0) texts += c.text + "\n";
    return texts;
}

bool PressButton(HWND window, int id) {
    HWND button = GetDlgItem(window, id);
    return PostMessageA(window, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
                        reinterpret_cast<LPARAM>(button)) != 0;
}

bool PressButtonByText(HWND window, const char* text) {
    for (const Control& c : ReadControls(window)) {
        if (_stricmp(c.className.c_str(), "Button") == 0 &&
            StripMnemonic(c.text) == StripMnemonic(text))
            return PressButton(window, c.id);
    }
    return false;
}

bool SetControlText(HWND window, int id, const char* text) {
    HWND control = GetDlgItem(window, id);
    if (control == nullptr) return false;
    return SendMessageA(control, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text)) != 0;
}

bool SetSliderPos(HWND window, int id, int position) {
    HWND slider = GetDlgItem(window, id);
    if (slider == nullptr) return false;
    SendMessageA(slider, TBM_SETPOS, TRUE, position);
    LONG style = GetWindowLongA(slider, GWL_STYLE);
    UINT message = (style & TBS_VERT) ? WM_VSCROLL : WM_HSCROLL;
    SendMessageA(window, message, MAKEWPARAM(TB_THUMBPOSITION, position),
                 reinterpret_cast<LPARAM>(slider));
    SendMessageA(window, message, MAKEWPARAM(TB_ENDTRACK, 0), reinterpret_cast<LPARAM>(slider));
    return true;
}

Slider SliderOf(HWND window, int id) {
    HWND slider = GetDlgItem(window, id);
    if (slider == nullptr) return Slider{0, 0, 0, 0};
    return Slider{static_cast<int>(SendMessageA(slider, TBM_GETPOS, 0, 0)),
                  static_cast<int>(SendMessageA(slider, TBM_GETRANGEMIN, 0, 0)),
                  static_cast<int>(SendMessageA(slider, TBM_GETRANGEMAX, 0, 0)),
                  static_cast<int>(SendMessageA(slider, TBM_GETPAGESIZE, 0, 0))};
}

bool PressKey(HWND window, UINT virtualKey) {
    UINT scan = MapVirtualKeyA(virtualKey, 0);
    return PostMessageA(window, WM_KEYDOWN, virtualKey, 1 | (scan << 16)) != 0 &&
           PostMessageA(window, WM_KEYUP, virtualKey, 1 | (scan << 16) | 0xC0000000u) != 0;
}

bool ClickButton(HWND window, int id) {
    HWND button = GetDlgItem(window, id);
    if (button == nullptr) return false;
    SendMessageTimeoutA(button, BM_CLICK, 0, 0, SMTO_ABORTIFHUNG, 5000, nullptr);
    return true;
}

int CheckState(HWND window, int id) {
    HWND button = GetDlgItem(window, id);
    if (button == nullptr) return -1;
    return static_cast<int>(SendMessageA(button, BM_GETCHECK, 0, 0));
}

bool IsControlEnabled(HWND window, int id) {
    HWND control = GetDlgItem(window, id);
    return control != nullptr && IsWindowEnabled(control);
}

namespace {

// An item's text through the wide messages, narrowed to the ANSI code page.
std::string ComboItemText(HWND combo, int index) {
    LRESULT length = SendMessageW(combo, CB_GETLBTEXTLEN, static_cast<WPARAM>(index), 0);
    if (length == CB_ERR || length < 0) return std::string();
    std::vector<wchar_t> wide(static_cast<size_t>(length) + 1, L'\0');
    SendMessageW(combo, CB_GETLBTEXT, static_cast<WPARAM>(index),
                 reinterpret_cast<LPARAM>(wide.data()));
    int bytes = WideCharToMultiByte(CP_ACP, 0, wide.data(), -1, nullptr, 0, nullptr, nullptr);
    std::string text(static_cast<size_t>(bytes > 0 ? bytes : 1), '\0');
    WideCharToMultiByte(CP_ACP, 0, wide.data(), -1, &text[0], bytes, nullptr, nullptr);
    text.resize(text.size() - 1);
    return text;
}

}  // namespace

std::vector<std::string> ComboItems(HWND window, int id) {
    std::vector<std::string> items;
    HWND combo = GetDlgItem(window, id);
    if (combo == nullptr) return items;
    LRESULT count = SendMessageW(combo, CB_GETCOUNT, 0, 0);
    for (LRESULT i = 0; i < count; ++i) items.push_back(ComboItemText(combo, static_cast<int>(i)));
    return items;
}

int ComboSelection(HWND window, int id) {
    HWND combo = GetDlgItem(window, id);
    if (combo == nullptr) return -1;
    return static_cast<int>(SendMessageW(combo, CB_GETCURSEL, 0, 0));
}

std::string ComboSelectedText(HWND window, int id) {
    int index = ComboSelection(window, id);
    return index < 0 ? std::string() : ComboItemText(GetDlgItem(window, id), index);
}

bool SelectComboItem(HWND window, int id, int index) {
    HWND combo = GetDlgItem(window, id);
    if (combo == nullptr) return false;
    if (SendMessageW(combo, CB_SETCURSEL, static_cast<WPARAM>(index), 0) != index) return false;
    SendMessageTimeoutA(window, WM_COMMAND, MAKEWPARAM(id, CBN_SELCHANGE),
                        reinterpret_cast<LPARAM>(combo), SMTO_ABORTIFHUNG, 5000, nullptr);
    return true;
}

bool SelectComboText(HWND window, int id, const std::string& text) {
    std::vector<std::string> items = ComboItems(window, id);
    for (size_t i = 0; i < items.size(); ++i)
        if (items[i] == text) return SelectComboItem(window, id, static_cast<int>(i));
    return false;
}

BoxAnswerer::BoxAnswerer(Chooser choose, DWORD pid, DialogChooser chooseDialog)
    : choose_(std::move(choose)),
      pid_(pid),
      chooseDialog_(std::move(chooseDialog)),
      thread_([this] { Run(); }) {}

BoxAnswerer::~BoxAnswerer() {
    stop_ = true;
    thread_.join();
}

void BoxAnswerer::Run() {
    while (!stop_) {
        for (HWND window : TopLevelWindows(pid_)) {
            if (ClassName(window) != "#32770" || !IsWindowVisible(window)) continue;
            {
                std::lock_guard<std::mutex> guard(lock_);
                if (std::find(handled_.begin(), handled_.end(), window) != handled_.end())
                    continue;
            }
            // Other dialogs (a progress window) have no message text.
            std::string text = MessageBoxText(window);
            if (text.empty() && !chooseDialog_) continue;
            std::string caption = WindowText(window);
            int button = 0;
            if (!text.empty()) {
                button = choose_(caption, text);
            } else {
                text = StaticTexts(window);
                button = chooseDialog_(window);
            }
            if (button == 0) continue;
            // Recorded before the press: once the box has gone, whoever it held up may read
            // the answers at once, while this thread may not run again for a while.
            std::lock_guard<std::mutex> guard(lock_);
            handled_.push_back(window);
            answers_.push_back(Answer{caption, text, button});
            if (PressButton(window, button)) continue;
            handled_.pop_back();
            answers_.pop_back();
        }
        // A handle may be reused by a later box once the answered one is gone.
        {
            std::lock_guard<std::mutex> guard(lock_);
            handled_.erase(std::remove_if(handled_.begin(), handled_.end(),
                                          [](HWND w) { return !IsWindow(w); }),
                           handled_.end());
        }
        Sleep(15);
    }
}

std::vector<Answer> BoxAnswerer::Answers() {
    std::lock_guard<std::mutex> guard(lock_);
    return answers_;
}

bool BoxAnswerer::WaitForAnswers(size_t n, DWORD timeoutMs) {
    DWORD start = GetTickCount();
    for (;;) {
        {
            std::lock_guard<std::mutex> guard(lock_);
            if (answers_.size() >= n) return true;
        }
        if (GetTickCount() - start >= timeoutMs) return false;
        Sleep(15);
    }
}

Process::~Process() {
    if (process_ != nullptr) {
        if (WaitForSingleObject(process_, 0) == WAIT_TIMEOUT) TerminateProcess(process_, 99);
        CloseHandle(process_);
    }
}

namespace {

bool StartProcess(const std::string& commandLine, STARTUPINFOA* si, BOOL inherit,
                  PROCESS_INFORMATION* pi) {
    std::vector<char> line(commandLine.begin(), commandLine.end());
    line.push_back('\0');
    return CreateProcessA(nullptr, line.data(), nullptr, nullptr, inherit, 0, nullptr, nullptr,
                          si, pi) != 0;
}

HANDLE CreateInheritable(const std::string& path) {
    SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
    return CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit, CREATE_ALWAYS,
                       FILE_ATTRIBUTE_NORMAL, nullptr);
}

}  // namespace

bool Process::Start(const std::string& commandLine) {
    STARTUPINFOA si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    if (!StartProcess(commandLine, &si, FALSE, &pi)) return false;
    CloseHandle(pi.hThread);
    process_ = pi.hProcess;
    pid_ = pi.dwProcessId;
    return true;
}

bool Process::StartWithOutput(const std::string& commandLine, const std::string& outputPath,
                              const std::string& errorPath) {
    STARTUPINFOA si{};
    si.cb = sizeof si;
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdInput = INVALID_HANDLE_VALUE;
    si.hStdOutput = CreateInheritable(outputPath);
    si.hStdError = CreateInheritable(errorPath);
    PROCESS_INFORMATION pi{};
    const bool started = si.hStdOutput != INVALID_HANDLE_VALUE &&
                         si.hStdError != INVALID_HANDLE_VALUE &&
                         StartProcess(commandLine, &si, TRUE, &pi);
    if (si.hStdOutput != INVALID_HANDLE_VALUE) CloseHandle(si.hStdOutput);
    if (si.hStdError != INVALID_HANDLE_VALUE) CloseHandle(si.hStdError);
    if (!started) return false;
    CloseHandle(pi.hThread);
    process_ = pi.hProcess;
    pid_ = pi.dwProcessId;
    return true;
}

long Process::Wait(DWORD timeoutMs) {
    if (process_ == nullptr) return -1;
    if (WaitForSingleObject(process_, timeoutMs) != WAIT_OBJECT_0) return -1;
    DWORD code = 0;
    GetExitCodeProcess(process_, &code);
    return static_cast<long>(code);
}

void Process::Kill() {
    if (process_ != nullptr) TerminateProcess(process_, 99);
}

std::string BesideSelf(const char* fileName) {
    char path[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string dir(path);
    size_t cut = dir.find_last_of("\\/");
    dir = cut == std::string::npos ? std::string() : dir.substr(0, cut + 1);
    return dir + fileName;
}

}  // namespace windriver
