// The "wininit.ini" rewriting that queues a file for deletion at the next start of Windows.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>

#include "vacate/remove.h"

namespace {

const char kPath[] = "C:\\Program Files\\Quorvex\\spd.exe";
const std::string kLine = std::string("NUL=") + kPath + "\r\n";

// The rewritten text, or "<refused>".
std::string Rewrite(const std::string& old, int32_t outSize = -1) {
    const int32_t size =
        outSize >= 0 ? outSize : WininitRewriteSize(static_cast<int32_t>(old.size()), kPath);
    std::string out(static_cast<size_t>(size > 0 ? size : 1), '#');
    int32_t length = -1;
    if (!WininitRewrite(old.data(), static_cast<int32_t>(old.size()), kPath, &out[0], size,
                        &length))
        return "<refused>";
    EXPECT_LT(length, size);
    EXPECT_EQ(out[length], '\0');
    return out.substr(0, static_cast<size_t>(length));
}

TEST(Wininit, AnEmptyFileGetsTheHeaderAndOneLine) {
    EXPECT_EQ(Rewrite(""), "[Rename]\r\n" + kLine);
    // The size asked for is exactly what the new section needs.
    EXPECT_EQ(WininitRewriteSize(0, kPath), static_cast<int32_t>(10 + kLine.size() + 1));
}

TEST(Wininit, AFileWithoutTheSectionGetsItFirst) {
    const std::string old = "[boot]\r\nshell=Explorer.exe\r\n";
    EXPECT_EQ(Rewrite(old), "[Rename]\r\n" + kLine + old);
}

TEST(Wininit, TheLineGoesRightBehindAnExistingHeaderInAnyCase) {
    const std::string before = "; queued\r\n[boot]\r\na=1\r\n";
    const std::string after = "NUL=C:\\old.tmp\r\n[386Enh]\r\nb=2";
    for (const char* header : {"[Rename]\r\n", "[RENAME]\r\n", "[rEnAmE]\r\n"})
        EXPECT_EQ(Rewrite(before + header + after), before + header + kLine + after);
}

TEST(Wininit, OldContentIsKeptByteForByte) {
    // A 0 byte does not hide the section behind it, and nothing after it is lost.
    const std::string old = std::string("x\0y\r\n", 5) + "[rename]\r\n" + std::string("\0\xff", 2);
    EXPECT_EQ(Rewrite(old), std::string("x\0y\r\n", 5) + "[rename]\r\n" + kLine +
                                std::string("\0\xff", 2));
    // A header without its line end is no section header.
    EXPECT_EQ(Rewrite("[Rename]"), "[Rename]\r\n" + kLine + "[Rename]");
}

TEST(Wininit, RefusesAnOutputBufferTooSmall) {
    const std::string old = "[Rename]\r\n";
    EXPECT_EQ(Rewrite(old, WininitRewriteSize(10, kPath) - 1), "<refused>");
    EXPECT_EQ(Rewrite(old, 0), "<refused>");
}

}  // namespace
