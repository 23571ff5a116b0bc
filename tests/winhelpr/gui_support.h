// Helpers shared by the Win32 window-helper and about-box tests.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace guitest {

// Everything the library has logged in this run so far.
std::string LogContent();

// A unique name for this process and call ("<prefix>-<pid>-<n>").
std::string UniqueName(const char* prefix);

// A folder of its own under the temporary folder, removed with its files at the end.
class TempFolder {
public:
    TempFolder();
    ~TempFolder();
    const std::string& Path() const { return path_; }  // ends in a backslash

private:
    std::string path_;
};

// Waits, pumping this thread's messages, until `done` is true or the time-out passes.
template <typename Done>
bool PumpUntil(Done done, DWORD timeoutMs) {
    DWORD start = GetTickCount();
    for (;;) {
        MSG message;
        while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&message);
            DispatchMessageA(&message);
        }
        if (done()) return true;
        if (GetTickCount() - start >= timeoutMs) return false;
        Sleep(10);
    }
}

// A plain top-level window of a class registered for tests; destroyed with the object.
class TestWindow {
public:
    TestWindow(const char* title, int x, int y, int width, int height, DWORD style = 0,
               const char* className = nullptr);
    ~TestWindow();
    HWND Handle() const { return window_; }

    static UINT messagesSeen;    // WM_USER + 5 messages received by any test window
    static UINT fontChangesSeen; // WM_FONTCHANGE received by any test window

private:
    HWND window_ = nullptr;
};

// Builds a dialog template in memory: header, then items, each DWORD aligned.
class DialogTemplate {
public:
    DialogTemplate(const char* title, DWORD style, short width, short height);
    void Add(int id, const char* className, const char* text, DWORD style, short x, short y,
             short width, short height);
    const DLGTEMPLATE* Get();

private:
    void Word(WORD w) { words_.push_back(w); }
    void Dword(DWORD d) {
        Word(LOWORD(d));
        Word(HIWORD(d));
    }
    void Text(const char* text);
    void Align();
    std::vector<WORD> words_;
};

}  // namespace guitest
