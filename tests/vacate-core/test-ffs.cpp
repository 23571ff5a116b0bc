// The install archive reader: the damaged-archive checks, the payload it serves and the
// disk fall-back.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "support.h"
#include "tessel/tsl-core.h"
#include "vacate/ffs.h"

using ::testing::HasSubstr;

namespace {

std::string Le32(uint32_t value) {
    std::string bytes(4, '\0');
    for (int i = 0; i < 4; ++i) bytes[i] = static_cast<char>(value >> (8 * i));
    return bytes;
}

std::string Scrambled(std::string bytes) {
    FfsScramble(reinterpret_cast<uint8_t*>(&bytes[0]), static_cast<uint32_t>(bytes.size()));
    return bytes;
}

const std::string kHost = "MZ" + std::string(62, '\x90');  // a 64-byte "executable"
const std::string kScript = "\x16TEXT:hello\r\n";

class Ffs : public ::testing::Test {
protected:
    void SetUp() override { blocks_ = vt::BlocksInUse(); }
    void TearDown() override {
        FfsClose();
        EXPECT_EQ(vt::BlocksInUse(), blocks_);
    }
    // Writes the file and opens it as an archive; what the reader logged goes to `log`.
    int Open(const std::string& bytes, std::string* log = nullptr) {
        vt::WriteBytes(path_, bytes);
        vt::LogTail tail;
        const int opened = FfsOpen(path_.c_str());
        if (log != nullptr) *log = tail.Text();
        return opened;
    }
    vt::TempDir dir_;
    std::string path_ = dir_.Path("vacate.exe");
    int32_t blocks_ = 0;
};

TEST(FfsScrambleStep, KeyRestartsAfterFourteenBytesWhilePositionRunsOn) {
    uint8_t bytes[300] = {};
    FfsScramble(bytes, sizeof bytes);
    EXPECT_EQ(bytes[0], 'S');
    EXPECT_EQ(bytes[13], 'd');                   // 'd' ^ 13 ^ 13
    EXPECT_EQ(bytes[14], 'S' ^ 14);              // key position 0, position term 14
    EXPECT_EQ(bytes[27], 'd' ^ 27 ^ 13);
    EXPECT_EQ(bytes[256], 'p' ^ 0 ^ 4);          // position term wraps at 256, key at 14
    EXPECT_EQ(bytes[299], 'P' ^ (299 & 0xFF) ^ 5);
    FfsScramble(bytes, sizeof bytes);            // its own inverse
    for (uint8_t byte : bytes) ASSERT_EQ(byte, 0);
}

TEST_F(Ffs, ServesTheDescrambledPayloadUnderEveryName) {
    const std::string trailer = Le32(static_cast<uint32_t>(kHost.size()));
    ASSERT_TRUE(Open(kHost + "FFS?" + Scrambled(kScript) + trailer));
    const int32_t n = static_cast<int32_t>(kScript.size() + 4);
    for (const char* name : {"install.dat", "readme.txt", ""}) {
        int32_t size = -1;
        EXPECT_TRUE(FfsFileSize(name, &size));
        EXPECT_EQ(size, n) << name;
    }
    std::string read(n, '\0');
    ASSERT_TRUE(FfsReadFile("other.dat", &read[0], n));
    EXPECT_EQ(read.substr(0, kScript.size()), kScript);
    // The trailer is part of the payload and comes out de-scrambled with it.
    EXPECT_EQ(read.substr(kScript.size()), Scrambled(kScript + trailer).substr(kScript.size()));
    // Never more than the payload holds.
    std::string more(n + 1, '\0');
    EXPECT_FALSE(FfsReadFile("install.dat", &more[0], n + 1));
    int32_t installed = -1;
    EXPECT_TRUE(FfsInstallSize(&installed));
    EXPECT_EQ(installed, 0);
}

TEST_F(Ffs, RefusesDamagedArchivesWithTheirReason) {
    const std::string payload = "FFS?" + Scrambled(kScript);
    const uint32_t size = static_cast<uint32_t>(kHost.size() + payload.size() + 4);
    struct Case {
        const char* what;
        std::string bytes;
        std::string logged;
    } cases[] = {
        {"trailer 0", kHost + payload + Le32(0), "doesn't contain FFS data!"},
        {"trailer at the end", kHost + payload + Le32(size), "doesn't contain FFS data!"},
        {"trailer past the end", kHost + payload + Le32(size + 100), "doesn't contain FFS data!"},
        {"shorter than a trailer", "\x01\x00\x00", "doesn't contain FFS data!"},
        {"empty file", "", "doesn't contain FFS data!"},
        {"wrong tag", kHost + "FFS!" + Scrambled(kScript) + Le32(64),
         "FFS Does not contain proper tag (Read 64 from " + std::to_string(size - 4) + ")!!!"},
        {"tag cut by the end", kHost + payload + Le32(size - 2), "proper tag"},
    };
    for (const Case& c : cases) {
        std::string log;
        EXPECT_FALSE(Open(c.bytes, &log)) << c.what;
        EXPECT_THAT(log, HasSubstr(c.logged)) << c.what;
        EXPECT_THAT(log, ::testing::Not(HasSubstr("Initialized"))) << c.what;
    }
    vt::LogTail tail;
    EXPECT_FALSE(FfsOpen(dir_.Path("missing.exe").c_str()));
    EXPECT_THAT(tail.Text(), HasSubstr("Couldn't open flat file '" + dir_.Path("missing.exe")));
}

TEST_F(Ffs, RefusesATagThatOverlapsTheTrailer) {
    // A tag 5 bytes before the end shares its last three bytes with the trailer: with
    // O = 0x003F5346 the trailer reads "FS?\0", so the tag matches and one payload byte
    // would remain, too few to hold the trailer.
    const uint32_t offset = 0x003F5346;
    std::string bytes(offset, 'x');
    bytes += "F" + Le32(offset);
    std::string log;
    EXPECT_FALSE(Open(bytes, &log));
    EXPECT_THAT(log, HasSubstr("FFS payload too short (1 bytes)!"));
}

TEST_F(Ffs, RefusesAnEmptyPayloadWithoutAllocatingIt) {
    // The tag is the trailer itself: O written little-endian reads "FFS?". The file is
    // sparse, so its gigabyte costs no disk.
    const uint32_t offset = 0x3F534646;
    vt::WriteBytes(path_, "");
    std::filesystem::resize_file(path_, offset);
    {
        std::FILE* file = std::fopen(path_.c_str(), "ab");
        ASSERT_NE(file, nullptr);
        std::fwrite("FFS?", 1, 4, file);
        std::fclose(file);
    }
    vt::LogTail tail;
    EXPECT_FALSE(FfsOpen(path_.c_str()));
    EXPECT_THAT(tail.Text(), HasSubstr("FFS payload too short (0 bytes)!"));
}

TEST_F(Ffs, ASecondOpenReplacesTheFirstAndAFailedOneLeavesNoArchive) {
    ASSERT_TRUE(Open(kHost + "FFS?" + Scrambled(kScript) + Le32(64)));
    ASSERT_TRUE(Open(kHost + "FFS?" + Scrambled("\x16X:y") + Le32(64)));
    int32_t size = 0;
    ASSERT_TRUE(FfsFileSize("install.dat", &size));
    EXPECT_EQ(size, 8);
    // After a failed open, names are files on disk again.
    EXPECT_FALSE(Open(kHost + "FFS!" + Le32(64)));
    EXPECT_FALSE(FfsFileSize(dir_.Path("install.dat").c_str(), &size));
}

TEST_F(Ffs, FallsBackToFilesOnDisk) {
    const std::string file = dir_.Path("install.dat");
    vt::WriteBytes(file, kScript);
    int32_t size = -1;
    ASSERT_TRUE(FfsFileSize(file.c_str(), &size));
    EXPECT_EQ(size, static_cast<int32_t>(kScript.size()));
    std::string read(size, '\0');
    ASSERT_TRUE(FfsReadFile(file.c_str(), &read[0], size));
    EXPECT_EQ(read, kScript);

    std::string more(size + 1, '\0');
    vt::LogTail tail;
    EXPECT_FALSE(FfsReadFile(file.c_str(), &more[0], size + 1));
    EXPECT_THAT(tail.Text(), HasSubstr("Unable to read from file '" + file + "'"));

    const std::string missing = dir_.Path("missing.dat");
    EXPECT_FALSE(FfsFileSize(missing.c_str(), &size));
    EXPECT_FALSE(FfsReadFile(missing.c_str(), &read[0], 1));
}

#ifndef _WIN32
TEST(FfsDeathTest, NullArgumentsAreFatal) {
    int32_t size = 0;
    EXPECT_EXIT(FfsOpen(nullptr), ::testing::ExitedWithCode(1), "Pointer is NULL");
    EXPECT_EXIT(FfsFileSize("x", nullptr), ::testing::ExitedWithCode(1), "Pointer is NULL");
    EXPECT_EXIT(FfsReadFile(nullptr, &size, 4), ::testing::ExitedWithCode(1), "Pointer is NULL");
}
#endif

}  // namespace
