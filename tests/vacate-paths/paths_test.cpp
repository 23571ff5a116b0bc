// The path tests and cuts shared by the removal code and the keyword handlers.
#include <gtest/gtest.h>

#include <string>

#include "vacate/paths.h"

namespace {

TEST(PathIsAbsolute, DriveAndShareFormsOnly) {
    for (const char* path : {"C:\\", "c:\\Program Files\\x.exe", "Z:/tmp/file", "\\\\srv\\share\\",
                             "\\\\srv\\share\\dir\\file.txt"})
        EXPECT_EQ(PathIsAbsolute(path), 1) << path;
    for (const char* path : {"", "x.lnk", "Group\\item.lnk", "\\Group\\item.lnk", "C:",
                             "C:item.lnk", "..\\..\\Windows\\x", "1:\\x", "\\\\srv",
                             "\\\\srv\\", "\\\\srv\\share", "\\\\\\share\\x"})
        EXPECT_EQ(PathIsAbsolute(path), 0) << path;
}

TEST(PathIsRoot, DriveRootsAndShareRootsButNoFolder) {
    for (const char* path : {"", "\\", "C:", "C:\\", "d:/", "\\\\srv\\share", "\\\\srv\\share\\",
                             "\\\\srv\\", "\\\\"})
        EXPECT_EQ(PathIsRoot(path), 1) << path;
    for (const char* path : {"C:\\a\\", "C:\\a", "\\\\srv\\share\\dir\\", "a\\"})
        EXPECT_EQ(PathIsRoot(path), 0) << path;
}

TEST(PathFolderOf, KeepsTheLastSeparatorAndRefusesWhatDoesNotFit) {
    char out[16];
    EXPECT_EQ(PathFolderOf("C:\\a\\b/c.txt", out, sizeof out), 1);
    EXPECT_STREQ(out, "C:\\a\\b/");
    EXPECT_EQ(PathFolderOf("c.txt", out, sizeof out), 0);
    EXPECT_STREQ(out, "");

    // The folder needs its length plus the terminator: 15 characters fit in 16 bytes,
    // 16 do not, and nothing is written past the buffer.
    char exact[17];
    EXPECT_EQ(PathFolderOf("C:\\0123456789a\\f", exact, 16), 1);
    EXPECT_STREQ(exact, "C:\\0123456789a\\");
    std::string guard(20, '#');
    EXPECT_EQ(PathFolderOf("C:\\0123456789ab\\f", &guard[0], 16), 0);
    EXPECT_EQ(guard.substr(1), std::string(19, '#'));
}

TEST(PathParentFolder, ClimbsOneLevelUntilNothingIsLeft) {
    char path[] = "C:\\a\\bb\\";
    ASSERT_EQ(PathParentFolder(path), 1);
    EXPECT_STREQ(path, "C:\\a\\");
    ASSERT_EQ(PathParentFolder(path), 1);
    EXPECT_STREQ(path, "C:\\");
    EXPECT_EQ(PathIsRoot(path), 1);

    char noTrailing[] = "C:\\a\\bb";
    ASSERT_EQ(PathParentFolder(noTrailing), 1);
    EXPECT_STREQ(noTrailing, "C:\\a\\");

    char alone[] = "name\\";
    EXPECT_EQ(PathParentFolder(alone), 0);
    EXPECT_STREQ(alone, "name\\");
    char empty[] = "";
    EXPECT_EQ(PathParentFolder(empty), 0);
}

}  // namespace

namespace {

TEST(PathLeavesFolder, PartsOfDotsAloneGoUpAndNamesWithDotsDoNot) {
    for (const char* path : {"..", "..\\outside.txt", "a\\..\\..\\b", "a/../b", "Group\\..",
                             "...\\x", ".. \\x", ". .\\x", "a\\ .."})
        EXPECT_EQ(PathLeavesFolder(path), 1) << path;
    for (const char* path : {"", ".", ".\\x", "a.b", "..x", "x..", "a\\.hidden\\b", "v1..2\\f",
                             "a\\.\\b", "a \\b", "C:\\Program Files\\App\\x.exe", "\\\\srv\\s\\f"})
        EXPECT_EQ(PathLeavesFolder(path), 0) << path;
    EXPECT_EQ(PathStaysInside("data\\a.txt"), 1);
    EXPECT_EQ(PathStaysInside("..\\a.txt"), 0);
}

}  // namespace
