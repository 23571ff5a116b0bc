// Deleting files and the folders they leave empty, temporary fonts, and the reboot queue:
// the system's delayed delete and the "wininit.ini" fall-back, on real files under Wine.
#include <gtest/gtest.h>

#include <windows.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "fixtures/fixture-test.h"
#include "vacate/remove.h"

namespace {

using fixture::Exists;
using fixture::ScratchFolder;

using fixture::ForgetPendingDeletion;
using fixture::PendingDeletion;
using fixture::PendingEntries;

using fixture::WininitGuard;

// A path of `length` characters in the scratch folder: MoveFileEx refuses a path longer
// than MAX_PATH - 1 characters, so such a path goes to "wininit.ini".
std::string LongPath(const ScratchFolder& scratch, size_t length, const std::string& name = "") {
    std::string path = scratch.path + name;
    while (path.size() < length - 4) path += 'x';
    return path + ".dat";
}

TEST(RemoveFile, RemovesEmptiedFoldersUpToButNotIncludingTheDriveRoot) {
    ScratchFolder scratch("C:\\", "vacate-remove");
    std::string file = scratch.Make("Program\\Maker\\Product\\app.exe");
    std::string other = scratch.Make("Program\\Maker\\Product\\readme.txt");

    EXPECT_EQ(RemoveFile(file.c_str()), 1);
    EXPECT_FALSE(Exists(file));
    EXPECT_TRUE(Exists(scratch.path + "Program\\Maker\\Product\\")) << "still holds a file";

    EXPECT_EQ(RemoveFile(other.c_str()), 1);
    EXPECT_FALSE(Exists(scratch.path + "Program\\Maker\\Product\\"));
    EXPECT_FALSE(Exists(scratch.path + "Program\\"));
    EXPECT_FALSE(Exists(scratch.path)) << "the top folder was left empty too";
    EXPECT_TRUE(Exists("C:\\windows\\"));
    EXPECT_TRUE(fixture::LogHas("Deleting '" + scratch.path + "'"));
    EXPECT_FALSE(fixture::LogHas("Deleting 'C:\\'"));
}

TEST(RemoveFile, KeepsAFolderThatHoldsAnEmptyFolder) {
    ScratchFolder scratch("C:\\", "vacate-remove");
    scratch.Make("Product\\Data\\");
    std::string file = scratch.Make("Product\\app.exe");

    EXPECT_EQ(RemoveFile(file.c_str()), 1);
    EXPECT_FALSE(Exists(file));
    EXPECT_TRUE(Exists(scratch.path + "Product\\Data\\"));
    EXPECT_TRUE(Exists(scratch.path + "Product\\"));

    // Asked directly, the folder is still kept, and an empty one goes with its parents
    // (named with or without its closing separator).
    EXPECT_EQ(RemoveEmptyFolders((scratch.path + "Product\\").c_str()), 1);
    EXPECT_TRUE(Exists(scratch.path + "Product\\"));
    EXPECT_EQ(RemoveEmptyFolders((scratch.path + "Product\\Data").c_str()), 1);
    EXPECT_FALSE(Exists(scratch.path));
}

TEST(RemovalRun, TidiesEachFolderWhenItsRunOfFilesEnds) {
    ScratchFolder scratch("C:\\", "vacate-run");
    std::string a1 = scratch.Make("Product\\a\\1.dat");
    std::string a2 = scratch.Make("Product\\a\\2.dat");
    std::string b1 = scratch.Make("Product\\b\\1.dat");
    std::string kept = scratch.Make("Product\\c\\kept.dat");
    std::string c1 = scratch.Make("Product\\c\\1.dat");

    RemovalRun run;
    RemovalRunBegin(&run);
    for (const std::string& file : {a1, a2, b1, c1}) EXPECT_EQ(RemovalRunFile(&run, file.c_str()), 1);
    // The folders whose runs have ended are gone already; the last one waits for the end.
    EXPECT_FALSE(Exists(scratch.path + "Product\\a\\"));
    EXPECT_FALSE(Exists(scratch.path + "Product\\b\\"));
    EXPECT_EQ(RemovalRunEnd(&run), 1);
    // Same end as deleting one file at a time: a folder with a file left stays.
    for (const std::string& file : {a1, a2, b1, c1}) EXPECT_FALSE(Exists(file));
    EXPECT_TRUE(Exists(kept));
    EXPECT_TRUE(Exists(scratch.path + "Product\\"));

    // A run that comes back to a folder tidies it again, up to the top.
    RemovalRunBegin(&run);
    std::string again = scratch.Make("Product\\a\\3.dat");
    EXPECT_EQ(RemovalRunFile(&run, kept.c_str()), 1);
    EXPECT_EQ(RemovalRunFile(&run, again.c_str()), 1);
    EXPECT_EQ(RemovalRunEnd(&run), 1);
    EXPECT_FALSE(Exists(scratch.path));
}

TEST(RemoveFile, AFileAlreadyGoneIsNotQueuedAndItsFolderIsLeftAlone) {
    ScratchFolder scratch("C:\\", "vacate-remove");
    scratch.Make("Product\\");
    std::string gone = scratch.path + "Product\\gone.exe";

    EXPECT_EQ(RemoveFile(gone.c_str()), 1);
    EXPECT_LT(PendingDeletion(PendingEntries(), gone), 0);
    // Nothing was deleted from the folder, so it is not tidied: it may never have been the
    // product's.
    EXPECT_TRUE(Exists(scratch.path + "Product\\"));
    ForgetPendingDeletion(gone);

    // In a run, a missing file does not end the run of the folder before it either.
    std::string a = scratch.Make("a\\1.dat");
    RemovalRun run;
    RemovalRunBegin(&run);
    EXPECT_EQ(RemovalRunFile(&run, a.c_str()), 1);
    EXPECT_EQ(RemovalRunFile(&run, gone.c_str()), 1);
    EXPECT_TRUE(Exists(scratch.path + "a\\"));
    EXPECT_EQ(RemovalRunEnd(&run), 1);
    EXPECT_FALSE(Exists(scratch.path + "a\\"));
    EXPECT_TRUE(Exists(scratch.path + "Product\\"));
}

TEST(RemoveFile, QueuesALockedFileForTheRestart) {
    ScratchFolder scratch("C:\\", "vacate-remove");
    std::string file = scratch.Make("Product\\locked.dat");
    WininitGuard wininit;
    {
        fixture::Holding lock("fx-lock.exe", file);
        ASSERT_TRUE(lock.held());

        EXPECT_EQ(RemoveFile(file.c_str()), 1);
        EXPECT_TRUE(Exists(file));
        EXPECT_GE(PendingDeletion(PendingEntries(), file), 0);
        EXPECT_TRUE(Exists(scratch.path + "Product\\")) << "a folder with a queued file stays";
        EXPECT_EQ(Exists(wininit.path), wininit.existed) << "the system queue took it";
        if (wininit.existed) EXPECT_EQ(fixture::ReadAll(wininit.path), wininit.content);
        ForgetPendingDeletion(file);
    }
    EXPECT_LT(PendingDeletion(PendingEntries(), file), 0);
}

TEST(QueueDeleteOnReboot, FallsBackToWininitWhenTheDelayedDeleteIsRefused) {
    ScratchFolder scratch("C:\\", "vacate-remove");
    WininitGuard wininit;
    std::string first = LongPath(scratch, 280);
    std::string second = LongPath(scratch, 300);
    ASSERT_FALSE(MoveFileExA(first.c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT));

    // A missing file is created with the section and the one line.
    DeleteFileA(wininit.path.c_str());
    EXPECT_EQ(QueueDeleteOnReboot(first.c_str()), 1);
    EXPECT_EQ(fixture::ReadAll(wininit.path), "[Rename]\r\nNUL=" + first + "\r\n");

    // An existing section (any letter case) gets the new line right after its header;
    // everything else stays as it was.
    fixture::WriteAll(wininit.path, "[boot]\r\nshell=x\r\n[rename]\r\nNUL=C:\\old.dat\r\n");
    EXPECT_EQ(QueueDeleteOnReboot(second.c_str()), 1);
    EXPECT_EQ(fixture::ReadAll(wininit.path),
              "[boot]\r\nshell=x\r\n[rename]\r\nNUL=" + second + "\r\nNUL=C:\\old.dat\r\n");

    // Without a section, one is put first.
    fixture::WriteAll(wininit.path, "[boot]\r\nshell=x\r\n");
    EXPECT_EQ(QueueDeleteOnReboot(first.c_str()), 1);
    EXPECT_EQ(fixture::ReadAll(wininit.path),
              "[Rename]\r\nNUL=" + first + "\r\n[boot]\r\nshell=x\r\n");

    EXPECT_LT(PendingDeletion(PendingEntries(), first), 0);
}

// The queue file is never rewritten where it lies, where an interrupted write would lose
// what other programs queued: the new queue is written whole beside it and takes its place
// (another file than the old one, which stays whole until then).
TEST(QueueDeleteOnReboot, ReplacesWininitWithAWholeNewFile) {
    ScratchFolder scratch("C:\\", "vacate-remove");
    WininitGuard wininit;
    std::string path = LongPath(scratch, 280);
    fixture::WriteAll(wininit.path, "[Rename]\r\nNUL=C:\\old.dat\r\n");
    auto fileIndex = [&wininit] {
        BY_HANDLE_FILE_INFORMATION info = {};
        HANDLE file = CreateFileA(wininit.path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
        GetFileInformationByHandle(file, &info);
        CloseHandle(file);
        return (static_cast<uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
    };
    const uint64_t before = fileIndex();

    EXPECT_EQ(QueueDeleteOnReboot(path.c_str()), 1);
    EXPECT_NE(fileIndex(), before);
    EXPECT_EQ(fixture::ReadAll(wininit.path),
              "[Rename]\r\nNUL=" + path + "\r\nNUL=C:\\old.dat\r\n");
    EXPECT_FALSE(Exists(wininit.path + ".new"));
}

// Several uninstallers queuing at once (threads of one process here; processes take the same
// lock): each keeps its lines, and each call that reports success has its line in the file.
TEST(QueueDeleteOnReboot, NoQueuedLineIsLostWhenSeveralQueueAtOnce) {
    ScratchFolder scratch("C:\\", "vacate-remove");
    WininitGuard wininit;
    fixture::WriteAll(wininit.path, "[boot]\r\nshell=x\r\n");
    constexpr int kQueues = 4;
    constexpr int kPaths = 40;
    std::atomic<int> failed{0};
    std::vector<std::thread> queues;
    for (int q = 0; q < kQueues; ++q)
        queues.emplace_back([&, q] {
            for (int i = 0; i < kPaths; ++i) {
                const std::string name = std::to_string(q) + "-" + std::to_string(i) + "-";
                if (QueueDeleteOnReboot(LongPath(scratch, 280, name).c_str()) != 1) ++failed;
            }
        });
    for (std::thread& queue : queues) queue.join();

    EXPECT_EQ(failed.load(), 0);
    const std::string text = fixture::ReadAll(wininit.path);
    int lost = 0;
    for (int q = 0; q < kQueues; ++q)
        for (int i = 0; i < kPaths; ++i) {
            const std::string name = std::to_string(q) + "-" + std::to_string(i) + "-";
            if (text.find("NUL=" + LongPath(scratch, 280, name) + "\r\n") == std::string::npos)
                ++lost;
        }
    EXPECT_EQ(lost, 0) << "of " << kQueues * kPaths << " lines";
    EXPECT_EQ(text.find("[Rename]\r\n"), 0u);
    EXPECT_EQ(text.rfind("[Rename]\r\n"), 0u) << "one section";
    EXPECT_EQ(text.substr(text.size() - 17), "[boot]\r\nshell=x\r\n");
}

TEST(QueueDeleteOnReboot, FailsWhenWininitCannotBeOpenedAndLeavesItAlone) {
    ScratchFolder scratch("C:\\", "vacate-remove");
    WininitGuard wininit;
    std::string path = LongPath(scratch, 280);
    const std::string before = "[Rename]\r\nNUL=C:\\old.dat\r\n";
    fixture::WriteAll(wininit.path, before);
    {
        fixture::Holding lock("fx-lock.exe", wininit.path);
        ASSERT_TRUE(lock.held());
        EXPECT_EQ(QueueDeleteOnReboot(path.c_str()), 0);
    }
    EXPECT_EQ(fixture::ReadAll(wininit.path), before);
    EXPECT_TRUE(fixture::LogHas("Unable to open '" + wininit.path + "' in any capacity."));

    EXPECT_EQ(QueueDeleteOnReboot(""), 0);
}

TEST(RemoveFile, RefusesPathsLongerThanItsBuffersWithoutTouchingAnything) {
    ScratchFolder scratch("C:\\", "vacate-remove");
    WininitGuard wininit;
    std::string tooLong = LongPath(scratch, 400);
    std::vector<std::string> pendingBefore = PendingEntries();

    EXPECT_EQ(RemoveFile(tooLong.c_str()), 1);
    EXPECT_EQ(PendingEntries(), pendingBefore);
    EXPECT_EQ(Exists(wininit.path), wininit.existed);
    EXPECT_TRUE(fixture::LogHas("Path too long, not deleted '" + tooLong + "'"));

    std::string folder = tooLong.substr(0, 300) + "\\";
    EXPECT_EQ(RemoveEmptyFolders(folder.c_str()), 0);
    EXPECT_TRUE(Exists(scratch.path));
}

TEST(RemoveEmptyFolders, LeavesRelativePathsAndMissingFoldersAlone) {
    ScratchFolder scratch("C:\\", "vacate-remove");
    std::string name = scratch.path.substr(3);  // "vacate-remove-...\" below C:\ .
    ASSERT_TRUE(SetCurrentDirectoryA("C:\\"));
    EXPECT_EQ(RemoveEmptyFolders(name.c_str()), 0);
    EXPECT_TRUE(Exists(scratch.path));

    EXPECT_EQ(RemoveEmptyFolders((scratch.path + "missing\\").c_str()), 0);
    EXPECT_TRUE(fixture::LogHas("Error opening '" + scratch.path + "missing\\*.*'"));
    EXPECT_TRUE(Exists(scratch.path));

    EXPECT_EQ(RemoveEmptyFolders("C:\\"), 1);
}

// A copy of a TrueType font with the highest revision in its "head" table: the system
// takes it in place of the installed original instead of passing it over as a duplicate
// (which would make its removal fail).
bool WriteNewerFont(const char* source, const std::string& target) {
    std::string data = fixture::ReadAll(source);
    auto bigEndian = [&](size_t at, int bytes) {
        uint32_t value = 0;
        for (int i = 0; i < bytes; i++) value = value << 8 | static_cast<uint8_t>(data[at + i]);
        return value;
    };
    if (data.size() < 12) return false;
    uint32_t tables = bigEndian(4, 2);
    for (uint32_t i = 0; i < tables && 12 + 16 * (i + 1) <= data.size(); i++) {
        size_t entry = 12 + 16 * i;
        if (data.compare(entry, 4, "head") != 0) continue;
        size_t head = bigEndian(entry + 8, 4);
        if (head + 8 > data.size()) return false;
        data.replace(head + 4, 4, std::string("\x7f\xff\x00\x00", 4));
        return fixture::WriteAll(target, data);
    }
    return false;
}

TEST(RemoveTempFont, RemovesTheFontResourceAndThenItsFile) {
    // A font of the host system (Z: is the host's root) serves as the temporary font.
    const char* source = "Z:\\usr\\share\\fonts\\truetype\\dejavu\\DejaVuSans.ttf";
    if (!Exists(source)) GTEST_SKIP() << "no font file to add: " << source;
    ScratchFolder scratch(fixture::TempFolder(), "vacate-font");
    std::string font = scratch.path + "font.ttf";
    ASSERT_TRUE(WriteNewerFont(source, font));
    ASSERT_GT(AddFontResourceA(font.c_str()), 0);

    EXPECT_EQ(RemoveTempFont(font.c_str()), 1);
    EXPECT_FALSE(Exists(font));
    EXPECT_FALSE(RemoveFontResourceA(font.c_str())) << "the resource was still loaded";

    // A file that is no loaded font: nothing is removed and the file stays.
    std::string text = scratch.Make("not-a-font.ttf");
    EXPECT_EQ(RemoveTempFont(text.c_str()), 0);
    EXPECT_TRUE(Exists(text));
}

}  // namespace
