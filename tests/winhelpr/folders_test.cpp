// Folder lookups, module folders, COM and common-control start-up and font removal, on the
// real system under Wine.

#include <gtest/gtest.h>
#include <objbase.h>
#include <ole2.h>
#include <windows.h>
#include <shlobj.h>

#include <fstream>
#include <iterator>
#include <string>

#include "fixtures/fixture-test.h"
#include "support/windriver.h"
#include "tessel/platform.h"
#include "tessel/winhelpr.h"
#include "winhelpr/gui_support.h"

namespace {

using FolderLookup = int (*)(char*, int);

std::string Folder(FolderLookup lookup, int size = MAX_PATH + 2) {
    std::string buffer(size, '#');
    int ok = lookup(&buffer[0], size);
    EXPECT_EQ(1, ok);
    return buffer.c_str();
}

bool SameNoCase(const std::string& a, const std::string& b) {
    return _stricmp(a.c_str(), b.c_str()) == 0;
}

std::string WithBackslash(std::string path) {
    if (path.empty() || path.back() != '\\') path += '\\';
    return path;
}

TEST(Folders, EachNamesItsSystemFolderWithABackslash) {
    char expected[MAX_PATH] = {};

    GetSystemDirectoryA(expected, MAX_PATH);
    EXPECT_EQ(WithBackslash(expected), Folder(WinSystemDir));

    GetWindowsDirectoryA(expected, MAX_PATH);
    EXPECT_EQ(WithBackslash(expected), Folder(WinWindowsDir));

    GetTempPathA(MAX_PATH, expected);
    std::string temp = Folder(WinTempDir);
    EXPECT_EQ(WithBackslash(expected), temp);
    EXPECT_EQ(temp.find("\\\\", 2), std::string::npos) << temp;

    EXPECT_EQ(windriver::BesideSelf(""), Folder(WinProgramDir));
}

// Where the shell has no call for its folders (Windows 95 and NT 4.0 without Internet
// Explorer 4's shell), the registry's "Shell Folders" values name the same folders; a folder
// without such a value is none.
TEST(Folders, TheShellsFoldersFromTheRegistryAreTheShellsOwn) {
    for (int csidl : {CSIDL_PROGRAMS, CSIDL_STARTMENU, CSIDL_DESKTOPDIRECTORY}) {
        SCOPED_TRACE(csidl);
        char shell[MAX_PATH] = {};
        char registry[MAX_PATH] = {};
        ASSERT_EQ(1, WinShellFolder(csidl, shell, sizeof shell));
        ASSERT_EQ(1, PlatformShellFolderFromRegistry(csidl, registry, sizeof registry));
        EXPECT_TRUE(SameNoCase(WithBackslash(registry), shell)) << registry << " " << shell;
    }
    char none[MAX_PATH] = "x";
    EXPECT_EQ(0, PlatformShellFolderFromRegistry(CSIDL_FONTS, none, sizeof none));
    EXPECT_STREQ("", none);
}

TEST(Folders, CurrentFolderInsideAndAtTheRoot) {
    char saved[MAX_PATH] = {};
    GetCurrentDirectoryA(MAX_PATH, saved);
    guitest::TempFolder folder;
    ASSERT_TRUE(SetCurrentDirectoryA(folder.Path().c_str()));
    EXPECT_TRUE(SameNoCase(folder.Path(), Folder(WinCurrentDir))) << Folder(WinCurrentDir);
    ASSERT_TRUE(SetCurrentDirectoryA("C:\\"));
    EXPECT_EQ("C:\\", Folder(WinCurrentDir));
    SetCurrentDirectoryA(saved);
}

TEST(Folders, ModuleFolders) {
    char buffer[MAX_PATH] = {};
    ASSERT_EQ(1, WinModuleDir(nullptr, buffer, sizeof buffer));
    EXPECT_EQ(windriver::BesideSelf(""), buffer);

    // A system library lives in the system folder.
    ASSERT_EQ(1, WinModuleDir(GetModuleHandleA("kernel32.dll"), buffer, sizeof buffer));
    EXPECT_TRUE(SameNoCase(Folder(WinSystemDir), buffer)) << buffer;

    // A handle that is no module gives nothing.
    EXPECT_EQ(0, WinModuleDir(reinterpret_cast<HMODULE>(0x10), buffer, sizeof buffer));
    EXPECT_STREQ("", buffer);
}

// Each lookup refuses a buffer without room for the folder and its backslash, writes
// nothing past the size it was given and leaves an empty text.
TEST(Folders, TooSmallBuffersAreRefusedWithoutOverrun) {
    struct Lookup {
        const char* name;
        FolderLookup lookup;
    };
    const Lookup lookups[] = {{"system", WinSystemDir},
                              {"windows", WinWindowsDir},
                              {"temp", WinTempDir},
                              {"current", WinCurrentDir}};
    for (const Lookup& l : lookups) {
        SCOPED_TRACE(l.name);
        std::string full = Folder(l.lookup);
        // Without a trailing backslash the system's text needs full.size() bytes; one
        // fewer than the whole result needs is refused.
        int needed = static_cast<int>(full.size()) + 1;
        std::string buffer(needed + 8, '#');
        EXPECT_EQ(0, l.lookup(&buffer[0], needed - 1));
        EXPECT_EQ('\0', buffer[0]);
        EXPECT_EQ(std::string(9, '#'), buffer.substr(needed - 1));
        EXPECT_EQ(1, l.lookup(&buffer[0], needed));
        EXPECT_EQ(full, buffer.c_str());
        EXPECT_EQ(0, l.lookup(&buffer[0], 0));
    }

    // The program's folder comes from its whole file name, which must fit: where the long
    // form does not, the short one names the same folder; where neither does, nothing.
    char self[MAX_PATH] = {};
    int length = static_cast<int>(GetModuleFileNameA(nullptr, self, MAX_PATH));
    std::string buffer(length + 8, '#');
    EXPECT_EQ(1, WinProgramDir(&buffer[0], length + 1));
    EXPECT_EQ(windriver::BesideSelf(""), buffer.c_str());
    buffer.assign(length + 8, '#');
    if (WinProgramDir(&buffer[0], length) == 1) {
        char longForm[MAX_PATH] = {};
        GetLongPathNameA(buffer.c_str(), longForm, MAX_PATH);
        EXPECT_TRUE(SameNoCase(windriver::BesideSelf(""), longForm)) << buffer.c_str();
    }
    EXPECT_EQ(std::string(8, '#'), buffer.substr(length));
    std::string tiny(16, '#');
    EXPECT_EQ(0, WinProgramDir(&tiny[0], 8));
    EXPECT_EQ('\0', tiny[0]);
    EXPECT_EQ(std::string(8, '#'), tiny.substr(8));
}

// A user whose folders are named outside the ANSI code page: every lookup gives the 8-bit
// form that reaches the real folder (its short name), never the look-alike the 8-bit calls
// make of it; a name with no short form (nothing there) gives nothing.
TEST(Folders, NamedOutsideTheCodePageGiveTheirShortForm) {
    fixture::ForeignFolder folder(fixture::TempFolder());
    ASSERT_FALSE(folder.path.empty()) << "no short name for the test folder";
    ASSERT_NE(folder.path, folder.ansiLookAlike);
    const std::string marker = folder.Make("marker.txt");

    char buffer[MAX_PATH] = {};
    ASSERT_EQ(1, WinPathToAnsi(folder.wide.c_str(), buffer, sizeof buffer));
    EXPECT_TRUE(SameNoCase(folder.path, buffer)) << buffer;
    EXPECT_EQ(1, WinPathToAnsi(L"C:\\plain\\not there", buffer, sizeof buffer));
    EXPECT_STREQ("C:\\plain\\not there", buffer);
    const std::wstring missing = folder.wide + L"\u03A9-not-there";
    EXPECT_EQ(0, WinPathToAnsi(missing.c_str(), buffer, sizeof buffer));
    EXPECT_STREQ("", buffer);

    char savedTemp[MAX_PATH] = {}, savedCurrent[MAX_PATH] = {};
    GetEnvironmentVariableA("TMP", savedTemp, MAX_PATH);
    GetCurrentDirectoryA(MAX_PATH, savedCurrent);
    ASSERT_TRUE(SetEnvironmentVariableW(L"TMP", folder.wide.c_str()));
    ASSERT_TRUE(SetCurrentDirectoryW(folder.wide.c_str()));
    for (FolderLookup lookup : {WinTempDir, WinCurrentDir}) {
        std::string found = Folder(lookup);
        EXPECT_TRUE(fixture::Exists(found + "marker.txt")) << found;
    }
    SetCurrentDirectoryA(savedCurrent);
    SetEnvironmentVariableA("TMP", savedTemp[0] != '\0' ? savedTemp : nullptr);
}

TEST(Startup, CommonControlsAndCom) {
    EXPECT_EQ(1, WinInitCommonControls());
    WNDCLASSA info;
    EXPECT_TRUE(GetClassInfoA(nullptr, "msctls_trackbar32", &info));
    EXPECT_TRUE(GetClassInfoA(nullptr, "msctls_progress32", &info));

    ASSERT_EQ(1, WinInitCom());
    // COM is up on this thread: asking again only counts.
    EXPECT_EQ(S_FALSE, CoInitialize(nullptr));
    CoUninitialize();
    EXPECT_EQ(std::string::npos, guitest::LogContent().find("Unable to initialize"));

    // A second start-up is not plain success: both are logged, and the caller goes on.
    EXPECT_EQ(0, WinInitCom());
    std::string log = guitest::LogContent();
    EXPECT_NE(std::string::npos, log.find("Unable to initialize COM\n"));
    EXPECT_NE(std::string::npos, log.find("Unable to initialize OLE\n"));

    EXPECT_EQ(1, WinUninitCom());
    EXPECT_EQ(1, WinUninitCom());
    // Both shut down in balance: a fresh start is plain success again.
    EXPECT_EQ(S_OK, CoInitialize(nullptr));
    CoUninitialize();
}

// Copies a TrueType font with a higher revision in its header table, so that the system
// takes the copy in place of the installed original instead of skipping it as a duplicate.
bool WriteNewerFont(const char* source, const std::string& target) {
    std::ifstream in(source, std::ios::binary);
    std::string data((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    auto be = [&](size_t at, int bytes) {
        uint32_t value = 0;
        for (int i = 0; i < bytes; i++) value = value << 8 | static_cast<uint8_t>(data[at + i]);
        return value;
    };
    if (data.size() < 12) return false;
    uint32_t tables = be(4, 2);
    for (uint32_t i = 0; i < tables && 12 + 16 * (i + 1) <= data.size(); i++) {
        size_t entry = 12 + 16 * i;
        if (data.compare(entry, 4, "head") != 0) continue;
        size_t head = be(entry + 8, 4);
        if (head + 8 > data.size()) return false;
        data.replace(head + 4, 4, std::string("\x7f\xff\x00\x00", 4));  // fontRevision
        std::ofstream out(target, std::ios::binary);
        out << data;
        return static_cast<bool>(out);
    }
    return false;
}

TEST(Fonts, RemovingAFontTellsTheWindows) {
    // A font of the host system serves as the font file (Z: is the host's root).
    const char* source = "Z:\\usr\\share\\fonts\\truetype\\dejavu\\DejaVuSans.ttf";
    if (GetFileAttributesA(source) == INVALID_FILE_ATTRIBUTES)
        GTEST_SKIP() << "no font file to add: " << source;
    guitest::TempFolder folder;
    std::string font = folder.Path() + "tsl-test-font.ttf";
    ASSERT_TRUE(WriteNewerFont(source, font));
    guitest::TestWindow listener("font listener", 0, 0, 100, 100);

    ASSERT_GT(AddFontResourceA(font.c_str()), 0);
    UINT before = guitest::TestWindow::fontChangesSeen;
    EXPECT_EQ(1, WinRemoveFont(font.c_str()));
    EXPECT_EQ(before + 1, guitest::TestWindow::fontChangesSeen);

    // Removed already: refused, logged with the file and the system's code, no notice.
    EXPECT_EQ(0, WinRemoveFont(font.c_str()));
    EXPECT_EQ(before + 1, guitest::TestWindow::fontChangesSeen);
    std::string line = "Unable to remove font resource for '" + font + "' (0x";
    EXPECT_NE(std::string::npos, guitest::LogContent().find(line)) << guitest::LogContent();
}

// A program that keeps its library search to the system folder loads no library by name
// from its own folder or the current folder, as the uninstaller's elevated copy in the
// temporary folder must not; the system's own libraries still load.
TEST(LibrarySearch, NeitherTheProgramsNorTheCurrentFolderOnceRestricted) {
    fixture::ScratchFolder own(fixture::TempFolder(), "libsearch-own");
    fixture::ScratchFolder current(fixture::TempFolder(), "libsearch-current");
    const std::string program = own.path + "winhelpr-libsearch.exe";
    ASSERT_TRUE(CopyFileA(windriver::BesideSelf("winhelpr-libsearch.exe").c_str(),
                          program.c_str(), FALSE));
    const std::string planted = fixture::FixturePath("fx-component-bare.dll");
    ASSERT_TRUE(CopyFileA(planted.c_str(), (own.path + "qx-own.dll").c_str(), FALSE));
    ASSERT_TRUE(CopyFileA(planted.c_str(), (current.path + "qx-current.dll").c_str(), FALSE));

    char previous[MAX_PATH] = {};
    GetCurrentDirectoryA(MAX_PATH, previous);
    SetCurrentDirectoryA(current.path.c_str());
    auto load = [&](const char* restrict, const char* library) {
        windriver::Process process;
        if (!process.Start("\"" + program + "\" " + restrict + " " + library)) return -2L;
        return process.Wait(20000);
    };
    EXPECT_EQ(load("0", "qx-own.dll"), 0);
    EXPECT_EQ(load("0", "qx-current.dll"), 0);
    EXPECT_EQ(load("1", "qx-own.dll"), 1);
    EXPECT_EQ(load("1", "qx-current.dll"), 1);
    EXPECT_EQ(load("1", "version.dll"), 0);
    SetCurrentDirectoryA(previous);
}

}  // namespace
