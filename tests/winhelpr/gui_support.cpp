#include "winhelpr/gui_support.h"

#include <fstream>
#include <sstream>

#include "tessel/tsl-core.h"

namespace guitest {

std::string LogContent() {
    std::ifstream in(LogBasePath(), std::ios::binary);
    std::stringstream read;
    read << in.rdbuf();
    // The log is a text-mode file: lines end in CR LF on disk.
    std::string text;
    for (char c : read.str())
        if (c != '\r') text += c;
    return text;
}

std::string UniqueName(const char* prefix) {
    static int counter = 0;
    return std::string(prefix) + "-" + std::to_string(GetCurrentProcessId()) + "-" +
           std::to_string(++counter);
}

TempFolder::TempFolder() {
    char temp[MAX_PATH] = {};
    GetTempPathA(MAX_PATH, temp);
    path_ = std::string(temp) + UniqueName("tsl-gui") + "\\";
    CreateDirectoryA(path_.c_str(), nullptr);
}

TempFolder::~TempFolder() {
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((path_ + "*").c_str(), &found);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
                DeleteFileA((path_ + found.cFileName).c_str());
        } while (FindNextFileA(search, &found));
        FindClose(search);
    }
    RemoveDirectoryA(path_.c_str());
}

UINT TestWindow::messagesSeen = 0;
UINT TestWindow::fontChangesSeen = 0;

static LRESULT CALLBACK TestWindowProc(HWND window, UINT message, WPARAM wParam,
                                       LPARAM lParam) {
    if (message == WM_USER + 5) {
        TestWindow::messagesSeen++;
        return 0;
    }
    if (message == WM_FONTCHANGE) TestWindow::fontChangesSeen++;
    return DefWindowProcA(window, message, wParam, lParam);
}

TestWindow::TestWindow(const char* title, int x, int y, int width, int height, DWORD style,
                       const char* className) {
    const char* name = className != nullptr ? className : "TslGuiTestWindow";
    WNDCLASSA windowClass = {};
    if (!GetClassInfoA(GetModuleHandleA(nullptr), name, &windowClass)) {
        windowClass.lpfnWndProc = TestWindowProc;
        windowClass.hInstance = GetModuleHandleA(nullptr);
        windowClass.lpszClassName = name;
        RegisterClassA(&windowClass);
    }
    window_ = CreateWindowExA(0, name, title, style != 0 ? style : WS_OVERLAPPEDWINDOW, x, y,
                              width, height, nullptr, nullptr, GetModuleHandleA(nullptr),
                              nullptr);
}

TestWindow::~TestWindow() {
    if (window_ != nullptr && IsWindow(window_)) DestroyWindow(window_);
}

DialogTemplate::DialogTemplate(const char* title, DWORD style, short width, short height) {
    Dword(style);
    Dword(0);  // extended style
    Word(0);   // item count, counted by Add
    Word(0);
    Word(0);
    Word(static_cast<WORD>(width));
    Word(static_cast<WORD>(height));
    Word(0);  // no menu
    Word(0);  // default class
    Text(title);
}

void DialogTemplate::Text(const char* text) {
    for (const char* p = text; *p != '\0'; p++) Word(static_cast<unsigned char>(*p));
    Word(0);
}

void DialogTemplate::Align() {
    if (words_.size() % 2 != 0) Word(0);
}

void DialogTemplate::Add(int id, const char* className, const char* text, DWORD style, short x,
                         short y, short width, short height) {
    Align();
    Dword(style | WS_CHILD | WS_VISIBLE);
    Dword(0);
    Word(static_cast<WORD>(x));
    Word(static_cast<WORD>(y));
    Word(static_cast<WORD>(width));
    Word(static_cast<WORD>(height));
    Word(static_cast<WORD>(id));
    Text(className);
    Text(text);
    Word(0);  // no creation data
    words_[4]++;
}

const DLGTEMPLATE* DialogTemplate::Get() {
    return reinterpret_cast<const DLGTEMPLATE*>(words_.data());
}

}  // namespace guitest
