// Path clean-up, the folder of a module file name and the on-screen placement rule: pure
// code, run natively and on Win32.

#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "tessel/winhelpr.h"

namespace {

std::string Normalized(const char* path, int mode) {
    char buffer[300] = {};
    std::string(path).copy(buffer, sizeof buffer - 2);
    EXPECT_EQ(1, PathNormalize(buffer, mode));
    return buffer;
}

std::string ModuleDir(const char* path, int size = 300) {
    char buffer[300] = {};
    std::string(path).copy(buffer, sizeof buffer - 1);
    int ok = PathModuleDir(buffer, size);
    return (ok ? "" : "!") + std::string(buffer);
}

TEST(ProgressPosition, TwentyStepsPerPercentClamped) {
    EXPECT_EQ(ProgressPosition(37.5), 750);
    EXPECT_EQ(ProgressPosition(0.049), 0);
    EXPECT_EQ(ProgressPosition(99.99), 1999);
    EXPECT_EQ(ProgressPosition(150), 2000);
    EXPECT_EQ(ProgressPosition(-3), 0);
    EXPECT_EQ(ProgressPosition(std::nan("")), 0);
    EXPECT_EQ(ProgressPosition(1e300), 2000);
}

TEST(PathNormalize, SlashesParentsAndTrailingBackslash) {
    EXPECT_EQ("C:\\a\\c", Normalized("C:/a/b/../c/", 0));
    EXPECT_EQ("C:\\a\\c\\", Normalized("C:/a/b/../c/", 1));
    EXPECT_EQ("C:\\a\\c\\", Normalized("C:\\a\\c", 1));
    EXPECT_EQ("C:\\a\\c", Normalized("C:\\a\\c", 0));
    EXPECT_EQ("C:\\Program Files\\App", Normalized("C:\\Program Files\\App\\x\\y\\..\\..", 0));
    EXPECT_EQ("C:\\d\\", Normalized("C:\\a\\b\\..\\..\\d\\", 1));
}

TEST(PathNormalize, DotComponentsGo) {
    EXPECT_EQ("x\\y", Normalized("x\\.\\y", 0));
    EXPECT_EQ("x\\y", Normalized(".\\x\\.\\.\\y\\.", 0));
    EXPECT_EQ("C:\\a\\", Normalized("C:\\a\\.\\", 1));
    EXPECT_EQ("C:\\a", Normalized("C:\\a\\.\\", 0));
}

// A dot is only special as a whole component: names that end in or begin with dots are
// names, and two components are never run together.
TEST(PathNormalize, DotsInsideNamesStay) {
    EXPECT_EQ("a.\\b", Normalized("a.\\b", 0));
    EXPECT_EQ("C:\\App v1.\\data\\", Normalized("C:\\App v1.\\data", 1));
    EXPECT_EQ("C:\\x..\\y", Normalized("C:\\x..\\y", 0));
    EXPECT_EQ("C:\\a\\...\\b", Normalized("C:\\a\\...\\b", 0));
    EXPECT_EQ("C:\\a\\.config\\..hidden", Normalized("C:\\a\\.config\\..hidden", 0));
}

// ".." removes one folder, never a drive or root, and is kept where there is nothing
// known to go up from.
TEST(PathNormalize, ParentsStopAtRoots) {
    EXPECT_EQ("C:\\x", Normalized("C:\\..\\x", 0));
    EXPECT_EQ("C:\\x", Normalized("C:\\a\\..\\..\\..\\x", 0));
    EXPECT_EQ("\\x", Normalized("\\..\\x", 0));
    EXPECT_EQ("b", Normalized("a\\..\\b", 0));
    EXPECT_EQ("..\\..\\x", Normalized("..\\..\\x", 0));
    EXPECT_EQ("..\\y", Normalized("a\\..\\..\\y", 0));
    EXPECT_EQ("\\\\server\\share\\b", Normalized("\\\\server\\share\\a\\..\\b", 0));
    EXPECT_EQ(".", Normalized("a\\..", 0));
    EXPECT_EQ(".\\", Normalized(".", 1));
}

// A share root stops ".." as a drive root does: climbing above it would name another
// share, or a server.
TEST(PathNormalize, ParentsStopAtShareRoots) {
    EXPECT_EQ("\\\\server\\share\\x", Normalized("\\\\server\\share\\..\\..\\x", 0));
    EXPECT_EQ("\\\\server\\share\\b", Normalized("\\\\server\\share\\a\\..\\..\\b", 0));
    EXPECT_EQ("\\\\server\\share\\x\\", Normalized("//server/share/../x", 1));
    EXPECT_EQ("\\\\server\\share", Normalized("\\\\server\\share\\..", 0));
    EXPECT_EQ("\\\\server\\share\\", Normalized("\\\\server\\share\\.\\..\\", 1));
    EXPECT_EQ("\\\\?\\UNC\\server\\share\\x",
              Normalized("\\\\?\\UNC\\server\\share\\..\\x", 0));
    EXPECT_EQ("\\\\server\\share", Normalized("\\\\server\\share", 0));
    EXPECT_EQ("\\\\server\\", Normalized("\\\\server", 1));
}

TEST(PathNormalize, EmptyAndNamespacePrefixes) {
    EXPECT_EQ("", Normalized("", 1));
    EXPECT_EQ("", Normalized("", 0));
    EXPECT_EQ("\\\\.\\pipe\\x", Normalized("\\\\.\\pipe\\x", 0));
    EXPECT_EQ("\\\\?\\C:\\b", Normalized("\\\\?\\C:\\a\\..\\b\\", 0));
}

TEST(PathModuleDir, CutsToTheFolder) {
    EXPECT_EQ("C:\\Tools\\", ModuleDir("C:\\Tools\\spd.exe"));
    EXPECT_EQ("C:\\Tools\\", ModuleDir("\\\\?\\C:\\Tools\\spd.exe"));
    EXPECT_EQ("c:\\Tools\\", ModuleDir("\\\\?\\c:\\tools\\..\\Tools\\spd.exe"));
    EXPECT_EQ("\\\\server\\share\\app\\", ModuleDir("\\\\?\\UNC\\server\\share\\app\\spd.exe"));
    EXPECT_EQ("\\\\server\\share\\app\\", ModuleDir("\\\\?\\unc\\server\\share\\app\\spd.exe"));
    EXPECT_EQ("C:\\a\\", ModuleDir("C:/a/b/../spd.exe"));
    EXPECT_EQ("Z:\\", ModuleDir("Z:\\spd.exe"));
}

TEST(PathModuleDir, DriveOnlyBareNameAndNoRoom) {
    EXPECT_EQ("C:\\", ModuleDir("C:spd.exe"));
    EXPECT_EQ(".\\", ModuleDir("spd.exe"));
    EXPECT_EQ("!", ModuleDir(""));
    // "C:" in a buffer of 3 bytes has no room for the backslash: refused, not overrun.
    char exact[4] = {'C', ':', '\0', '#'};
    EXPECT_EQ(0, PathModuleDir(exact, 3));
    EXPECT_EQ('\0', exact[0]);
    EXPECT_EQ('#', exact[3]);
    char room[4] = {'C', ':', '\0', '#'};
    EXPECT_EQ(1, PathModuleDir(room, 4));
    EXPECT_STREQ("C:\\", room);
    // A bare name of one character in a buffer of 2 bytes cannot become ".\".
    char tiny[3] = {'a', '\0', '#'};
    EXPECT_EQ(0, PathModuleDir(tiny, 2));
    EXPECT_EQ('#', tiny[2]);
}

struct Placed {
    int x, y;
};

Placed Clamp(int x, int y, int width, int height, int left, int top, int w, int h) {
    EXPECT_EQ(1, ScreenClampPosition(&x, &y, width, height, left, top, w, h));
    return {x, y};
}

TEST(ScreenClampPosition, SingleScreen) {
    Placed p = Clamp(-32000, -32000, 300, 200, 0, 0, 1024, 768);
    EXPECT_EQ(0, p.x);
    EXPECT_EQ(0, p.y);
    p = Clamp(5000, 900, 300, 200, 0, 0, 1024, 768);
    EXPECT_EQ(724, p.x);
    EXPECT_EQ(568, p.y);
    // A window that starts on the screen stays where it is, even when it reaches past
    // the edge; the edges themselves count as on the screen.
    p = Clamp(1000, 768, 300, 200, 0, 0, 1024, 768);
    EXPECT_EQ(1000, p.x);
    EXPECT_EQ(768, p.y);
    // Position only (no size): pulled back to the very edge.
    p = Clamp(5000, 5000, 0, 0, 0, 0, 1024, 768);
    EXPECT_EQ(1024, p.x);
    EXPECT_EQ(768, p.y);
}

// A second monitor left of and above the primary one gives a negative origin: the right
// edge is the origin plus the width.
TEST(ScreenClampPosition, VirtualScreenWithNegativeOrigin) {
    Placed p = Clamp(1500, 100, 300, 200, -1280, -200, 2304, 1024);
    EXPECT_EQ(724, p.x);
    EXPECT_EQ(100, p.y);
    p = Clamp(-5000, 1000, 300, 200, -1280, -200, 2304, 1024);
    EXPECT_EQ(-1280, p.x);
    EXPECT_EQ(624, p.y);
    // Wider than the screen: the left edge wins, so the caption stays reachable.
    p = Clamp(5000, 0, 3000, 200, -1280, -200, 2304, 1024);
    EXPECT_EQ(-1280, p.x);
}

}  // namespace
