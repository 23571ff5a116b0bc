// The package builder: the script bytes it writes, what it refuses (with the line named),
// the archive it appends and the build/dump round trip.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <string>

#include "support.h"
#include "tessel/tsl-os.h"
#include "tools/vacate-pack/packsign.h"
#include "update/signing.h"
#include "vacate/command.h"
#include "vacate/ffs.h"
#include "vacate/remove.h"
#include "vacate/script.h"
#include "vacate/signature.h"

using ::testing::HasSubstr;
using ::testing::StartsWith;
using signtest::Hex;
using signtest::PrivateBlob;
using signtest::PublicBlob;

namespace {

std::string Bytes(const PackBytes& bytes) {
    return std::string(bytes.begin(), bytes.end());
}

// The script bytes of a source, or "error: <message>".
std::string Script(const std::string& source) {
    PackBytes script;
    std::string error;
    if (!PackScript(source, "script.txt", &script, &error)) return "error: " + error;
    return Bytes(script);
}

const std::string kSource =
    "COMPANY NAME:Quorvex\n"
    "PRODUCT NAME:Spindrel\n"
    "PRODUCT VERSION:1.2\n"
    "REGISTRY PATH:Software\\Quorvex\\Spindrel\n"
    "INSTALL DIR:Quorvex\\Spindrel\n"
    "INSTALL PATH:\n"
    "FILE LIST:$0spd.exe,$0spd.dat\n"
    "CREATE GROUP:Spindrel\n"
    "ADD ITEM:1\tSpindrel\t$0spd.exe\t\n"
    "WINDOW:0\t0\tSpindrel\t\t$0spd.exe\t\n"
    "FONT:anything\tat all\n"
    "INSTALL:\n"
    "UPDATE KEY:" + Hex(PublicBlob(2048)) + "\n"
    "DONE:\n";

TEST(PackScript, WritesEachCommandWithItsSeparatorsAndLineEnd) {
    EXPECT_EQ(Script("# a comment\r\n\r\n  \ncompany name:Quorvex\r\nADD ITEM:1\tA\t\tC\n"
                     "FILE LIST:a,b\nINSTALL:\nFONT:x\ty\n"),
              "\x16" "company name:Quorvex\r\n\x16" "ADD ITEM:1\tA\t\tC\r\n"
              "\x16" "FILE LIST:a,b\r\n\x16INSTALL:\r\n\x16" "FONT:x\ty\r\n");
    EXPECT_EQ(Script(""), "");
}

TEST(PackScript, RefusesWhatTheUninstallerWouldMisreadNamingTheLine) {
    const std::string longest(159, 'n'), item(259, 'i');
    EXPECT_EQ(Script("TEXT:" + longest + "\nFILE LIST:" + item + "\n"),
              "\x16TEXT:" + longest + "\r\n\x16" "FILE LIST:" + item + "\r\n");
    struct Case {
        std::string source;
        std::string message;
    } cases[] = {
        {"TEXT:a\nCOMPANY:x\n", "script.txt:2: unknown keyword 'COMPANY'"},
        {"TEXT a\n", "script.txt:1: no ':' after the keyword"},
        {"\n\nADD ITEM:1\t2\t3\n", "script.txt:3: 'ADD ITEM' takes 4 field(s), found 3"},
        {"TEXT:a\tb\n", "script.txt:1: 'TEXT' takes 1 field(s), found 2"},
        {"INSTALL:now\n", "script.txt:1: 'INSTALL' takes no data"},
        {"TEXT:caf\xe9\n", "script.txt:1: byte 0xE9 in field 1 of 'TEXT' is outside 0x20..0x7F"},
        {"OLE:1\ta\x16" "b\n", "script.txt:1: byte 0x16 in field 2 of 'OLE'"},
        {"FONT:a\x01\n", "script.txt:1: byte 0x01 in the data of 'FONT'"},
        {"FILE LIST:a\x7f\x80\n", "script.txt:1: byte 0x80 in the list of 'FILE LIST'"},
        {"TEXT:" + longest + "n\n", "script.txt:1: field 1 of 'TEXT' is 160 bytes long, "
                                    "the uninstaller keeps 159"},
        {"ADD ITEM:123456789012345678901\ta\tb\tc\n",
         "script.txt:1: field 1 of 'ADD ITEM' is 21 bytes long, the uninstaller keeps 19"},
        {"TEMP LIST:a," + item + "i\n", "script.txt:1: item 2 of 'TEMP LIST' is 260 bytes long"},
        {"FILE LIST:\n", "script.txt:1: item 1 of 'FILE LIST' is empty"},
        {"FILE LIST:a,,b\n", "script.txt:1: item 2 of 'FILE LIST' is empty"},
        {"FILE LIST:a\tb\n", "script.txt:1: 'FILE LIST' takes one list field"},
        {"INSTALL PATH:\nINSTALL DIR:x\n", "script.txt:1: 'INSTALL PATH' comes before 'INSTALL DIR'"},
        {"TEXT:..\nFILE LIST:a,..\\x.txt\n",
         "script.txt:2: item 2 of 'FILE LIST' reaches outside its folder (a '..' part)"},
        {"TEMP LIST:$4..\\notes.txt\n", "script.txt:1: item 1 of 'TEMP LIST' reaches outside"},
        {"UNINSTALL NAME:a\\...\\u.exe\n", "script.txt:1: field 1 of 'UNINSTALL NAME' reaches"},
        {"CREATE GROUP:..\n", "script.txt:1: field 1 of 'CREATE GROUP' reaches outside"},
        {"ADD ITEM:..\t..\t..\t..\\App\n", "script.txt:1: field 4 of 'ADD ITEM' reaches outside"},
        {"EXECUTE:01\t0\t1\t$0..\\x.exe\t..\n", "script.txt:1: field 4 of 'EXECUTE' reaches"},
        {"WINDOW:0\t0\tT\t\t.. \\x.exe\t\n", "script.txt:1: field 5 of 'WINDOW' reaches outside"},
        {"OLE:REGISTER\tbin\\..\\..\\x.dll\n", "script.txt:1: field 2 of 'OLE' reaches outside"},
        {"INSTALL DIR:Maker\\..\\..\\Windows\n", "script.txt:1: field 1 of 'INSTALL DIR' reaches"},
        // The key for signed updates must parse: a public-key blob as hex text.
        {"TEXT:a\nUPDATE KEY:\n", "script.txt:2: field 1 of 'UPDATE KEY' is no public key (empty)"},
        {"UPDATE KEY:" + Hex(PublicBlob(2048)).substr(1) + "\n",
         "script.txt:1: field 1 of 'UPDATE KEY' is no public key (an odd number of digits)"},
        {"UPDATE KEY:" + Hex(PublicBlob(2048)).substr(0, 550) + "\n",
         "script.txt:1: field 1 of 'UPDATE KEY' is no public key (bit length and blob length "
         "disagree); give the text that 'vacate-pack keygen' printed"},
        {"\nUPDATE KEY:RSA1 key\n", "script.txt:2: field 1 of 'UPDATE KEY' is no public key "
                                     "(not hexadecimal)"},
        {"UPDATE KEY:" + Hex(PublicBlob(1024).replace(4, 2, "\x10\x66")) + "\n",
         "script.txt:1: field 1 of 'UPDATE KEY' is no public key (not an RSA key)"},
        {"DONE:x\nUPDATE KEY:" + Hex(PublicBlob(2048)) + "\n",
         "script.txt:2: 'UPDATE KEY' comes after 'DONE', whose update check would not know it"},
        {"UPDATE KEY:" + Hex(PrivateBlob(2048)) + "\n",
         "script.txt:1: field 1 of 'UPDATE KEY' is 2344 bytes long, the uninstaller keeps 1023"},
    };
    for (const Case& c : cases) EXPECT_THAT(Script(c.source), HasSubstr("error: " + c.message));
}

class PackFiles : public ::testing::Test {
protected:
    void SetUp() override { blocks_ = vt::BlocksInUse(); }
    void TearDown() override { EXPECT_EQ(vt::BlocksInUse(), blocks_); }
    vt::TempDir dir_;
    int32_t blocks_ = 0;
};

TEST_F(PackFiles, BuildThenDumpGivesTheSourceBack) {
    const std::string source = dir_.Path("script.txt"), host = dir_.Path("vacate.exe"),
                      out = dir_.Path("packed.exe");
    vt::WriteBytes(source, "# Spindrel\n" + kSource);
    const std::string hostBytes = "MZ" + std::string(1000, '\x90');
    vt::WriteBytes(host, hostBytes);
    std::string error, dumped;
    ASSERT_TRUE(PackBuildFiles(source.c_str(), host.c_str(), out.c_str(), &error)) << error;
    ASSERT_TRUE(PackDump(out.c_str(), &dumped, &error)) << error;
    EXPECT_EQ(dumped, kSource);
    EXPECT_EQ(vt::ReadBytes(out).substr(0, hostBytes.size() + 4), hostBytes + "FFS?");
    EXPECT_EQ(vt::ReadBytes(host), hostBytes);

    const std::string plain = dir_.Path("install.dat");
    ASSERT_TRUE(PackScriptFiles(source.c_str(), plain.c_str(), &error)) << error;
    EXPECT_EQ(vt::ReadBytes(plain), Script(kSource));
}

TEST_F(PackFiles, BuildRefusesABadSourceAndWritesNothing) {
    const std::string source = dir_.Path("bad.txt"), host = dir_.Path("vacate.exe"),
                      out = dir_.Path("packed.exe");
    vt::WriteBytes(source, "TEXT:a\nWINDOW:1\t2\n");
    vt::WriteBytes(host, "MZ");
    std::string error;
    EXPECT_FALSE(PackBuildFiles(source.c_str(), host.c_str(), out.c_str(), &error));
    EXPECT_EQ(error, source + ":2: 'WINDOW' takes 6 field(s), found 2");
    EXPECT_FALSE(std::filesystem::exists(out));
}

TEST_F(PackFiles, TheOutputMayNotBeAnInput) {
    const std::string source = dir_.Path("script.txt"), host = dir_.Path("vacate.exe");
    vt::WriteBytes(source, kSource);
    const std::string hostBytes = "MZ" + std::string(100, '\x90');
    vt::WriteBytes(host, hostBytes);
    // The same file, also under another spelling of its path.
    const std::string sameHost = (std::filesystem::path(host).parent_path() / "." /
                                  std::filesystem::path(host).filename()).string();
    std::string error;
    for (const std::string& out : {host, sameHost, source}) {
        EXPECT_FALSE(PackBuildFiles(source.c_str(), host.c_str(), out.c_str(), &error)) << out;
        EXPECT_EQ(error, out + ": is an input as well; the output must be another file");
    }
    EXPECT_FALSE(PackScriptFiles(source.c_str(), source.c_str(), &error));
    EXPECT_EQ(vt::ReadBytes(host), hostBytes);
    EXPECT_EQ(vt::ReadBytes(source), kSource);
}

TEST_F(PackFiles, AFailedWriteLeavesTheOldOutputAsItWas) {
    const std::string source = dir_.Path("script.txt"), host = dir_.Path("vacate.exe"),
                      out = dir_.Path("packed.exe");
    vt::WriteBytes(source, kSource);
    vt::WriteBytes(host, "MZ");
    vt::WriteBytes(out, "the old package");
    // The new file is written beside the output first; here that place is taken.
    std::filesystem::create_directory(out + ".part");
    std::string error;
    EXPECT_FALSE(PackBuildFiles(source.c_str(), host.c_str(), out.c_str(), &error));
    EXPECT_EQ(vt::ReadBytes(out), "the old package");
    std::filesystem::remove(out + ".part");

    // Complete, it replaces the old output and nothing is left beside it.
    ASSERT_TRUE(PackBuildFiles(source.c_str(), host.c_str(), out.c_str(), &error)) << error;
    EXPECT_EQ(vt::ReadBytes(out).substr(0, 6), "MZFFS?");
    EXPECT_FALSE(std::filesystem::exists(out + ".part"));
}

TEST_F(PackFiles, PaddingKeepsTheTrailerFromReadingAsACommand) {
    // Find executable sizes for which the trailer, de-scrambled in place right behind the
    // script, would hold the command byte 0x16.
    const std::string script = Script("TEXT:x\n");
    int clashing = 0;
    for (uint32_t hostSize = 1; hostSize < 3000 && clashing < 3; ++hostSize) {
        std::string payload = script;
        FfsScramble(reinterpret_cast<uint8_t*>(&payload[0]), static_cast<uint32_t>(payload.size()));
        for (int i = 0; i < 4; ++i) payload += static_cast<char>(hostSize >> (8 * i));
        FfsScramble(reinterpret_cast<uint8_t*>(&payload[0]), static_cast<uint32_t>(payload.size()));
        const bool clash = payload.find('\x16', script.size()) != std::string::npos;

        PackBytes packed;
        std::string error, dumped;
        ASSERT_TRUE(PackArchive(PackBytes(hostSize, 'x'),
                                PackBytes(script.begin(), script.end()), &packed, &error));
        // Padding only where it is needed.
        EXPECT_EQ(packed.size() > hostSize + 4 + script.size() + 4, clash) << hostSize;
        if (!clash) continue;
        ++clashing;
        const std::string path = dir_.Path("packed.exe");
        vt::WriteBytes(path, Bytes(packed));
        ASSERT_TRUE(PackDump(path.c_str(), &dumped, &error)) << hostSize << ": " << error;
        EXPECT_EQ(dumped, "TEXT:x\n");
    }
    EXPECT_EQ(clashing, 3);
}

TEST_F(PackFiles, DumpRefusesFilesWithoutArchiveAndUnknownCommands) {
    std::string error, dumped;
    const std::string plain = dir_.Path("plain.exe");
    vt::WriteBytes(plain, "MZ no archive here");
    EXPECT_FALSE(PackDump(plain.c_str(), &dumped, &error));
    EXPECT_THAT(error, HasSubstr("no install archive"));

    PackBytes packed;
    const std::string bad = "\x16TEXT:a\r\n\x16NOPE:b\r\n";
    ASSERT_TRUE(PackArchive(PackBytes(64, 'x'), PackBytes(bad.begin(), bad.end()), &packed, &error));
    const std::string path = dir_.Path("bad.exe");
    vt::WriteBytes(path, Bytes(packed));
    {
        vt::Boxes boxes(OS_IDOK);
        EXPECT_FALSE(PackDump(path.c_str(), &dumped, &error));
        EXPECT_THAT(boxes.Seen(1), HasSubstr("Installation script corrupted!"));
    }
    EXPECT_THAT(error, HasSubstr("stops at the command 'NOPE'"));
    EXPECT_EQ(KeywordList(), nullptr);

    EXPECT_FALSE(PackArchive(PackBytes(), PackBytes(), &packed, &error));
    EXPECT_EQ(error, "the executable is empty");
}

// The folder listing: real trees in the test's own folder.
namespace fs = std::filesystem;

// Makes each file (one byte) with the folders it lies in below `root`; a path ending in
// '/' makes an empty folder. Paths are UTF-8 with '/' between the parts.
void MakeTree(const std::string& root, std::initializer_list<std::string> paths) {
    for (const std::string& path : paths) {
        const fs::path full = fs::path(root) / fs::u8path(path);
        if (path.back() == '/') {
            fs::create_directories(full);
            continue;
        }
        fs::create_directories(full.parent_path());
        std::ofstream(full, std::ios::binary) << "x";
        ASSERT_TRUE(fs::is_regular_file(full)) << path;
    }
}

// The listed line, or "error: <message>"; a refusal leaves the line empty.
std::string List(const std::string& folder) {
    std::string line = "untouched", error;
    if (PackListFolder(folder.c_str(), &line, &error)) return line;
    EXPECT_EQ(line, "") << folder;
    return "error: " + error;
}

const char kListed[] =
    "FILE LIST:bin\\plug\\p.dll,bin\\a.dll,bin\\z.dll,data\\$x.dat,data\\x.dat,Zeta.txt,"
    "app.exe,readme.txt";

TEST_F(PackFiles, ListGroupsEachFoldersFilesAfterEverythingBelowIt) {
    const std::string root = dir_.Path("product");
    // Made out of order. A '$' that does not start an item is no path code.
    MakeTree(root, {"readme.txt", "bin/z.dll", "data/x.dat", "bin/plug/p.dll",
                    "app.exe", "bin/a.dll", "Zeta.txt", "data/$x.dat"});
    EXPECT_EQ(List(root), kListed);
    EXPECT_EQ(List(root + "/"), kListed);

    // `build` takes the line, and the uninstaller reads the same items back.
    const std::string source = dir_.Path("script.txt"), host = dir_.Path("vacate.exe"),
                      out = dir_.Path("packed.exe");
    vt::WriteBytes(source, std::string(kListed) + "\n");
    vt::WriteBytes(host, "MZ" + std::string(100, '\x90'));
    std::string error, dumped;
    ASSERT_TRUE(PackBuildFiles(source.c_str(), host.c_str(), out.c_str(), &error)) << error;
    ASSERT_TRUE(PackDump(out.c_str(), &dumped, &error)) << error;
    EXPECT_EQ(dumped, std::string(kListed) + "\n");
}

#ifdef _WIN32
// The uninstaller's removal, run over the listed items in their order, leaves nothing of
// the product's folder behind.
TEST_F(PackFiles, ListedFilesRemovedInTheirOrderTakeEveryFolderWithThem) {
    const std::string root = dir_.Path("product");
    MakeTree(root, {"readme.txt", "bin/a.dll", "bin/plug/deep/p.dll", "bin/plug/q.dll",
                    "data/x.dat"});
    const std::string line = List(root);
    ASSERT_EQ(line.rfind("FILE LIST:", 0), 0u) << line;
    RemovalRun run;
    RemovalRunBegin(&run);
    std::string items = line.substr(sizeof "FILE LIST:" - 1) + ",";
    for (size_t at = 0, comma; (comma = items.find(',', at)) != std::string::npos; at = comma + 1)
        RemovalRunFile(&run, (root + "\\" + items.substr(at, comma - at)).c_str());
    RemovalRunEnd(&run);
    EXPECT_FALSE(fs::exists(root));
}
#endif

TEST_F(PackFiles, ListRefusesNamesTheUninstallerWouldMisreadNamingTheFile) {
    struct Case {
        std::initializer_list<std::string> tree;
        std::string named;  // the entry the message names, below the listed folder
        std::string message;
    } cases[] = {
        {{"a.txt", "sub/b,c.txt"}, "sub/b,c.txt",
         "a ',' in its name would split it into two items of 'FILE LIST'"},
        {{"a.txt", "$0x.txt"}, "$0x.txt",
         "its name starts with '$', which the uninstaller reads as a path code"},
        {{"a.txt", "caf\xc3\xa9.txt"},
#ifdef _WIN32
         "caf?.txt",
#else
         "caf\xc3\xa9.txt",
#endif
         "its name holds a character outside 0x20..0x7F, where the uninstaller's list would end"},
#ifndef _WIN32
        // Names a Linux folder may hold and Windows may not.
        {{"tab\there.txt"}, "tab\there.txt", "its name holds a character outside 0x20..0x7F"},
        {{"a\\b.txt"}, "a\\b.txt", "a '\\' in its name cannot be in a Windows file name"},
        {{"x/a:b"}, "x/a:b", "a ':' in its name cannot be in a Windows file name"},
        {{"readme."}, "readme.", "its name ends in '.', which Windows drops, naming another file"},
        {{".../x.txt"}, "...",
         "its name reaches outside its folder (a '..' part), the uninstaller passes it over"},
        {{"bin/x.dll", "Bin/y.dll"}, "bin",
         "names the same file as 'Bin' on Windows, where letter case does not count"},
        // The longest item the uninstaller keeps is 259 bytes.
        {{std::string(200, 'd') + "/" + std::string(58, 'f'), "x/" + std::string(200, 'd') + "/" +
                                                                  std::string(57, 'f')},
         "x/" + std::string(200, 'd') + "/" + std::string(57, 'f'),
         "its item is 260 bytes long, the uninstaller keeps 259"},
#endif
    };
    int index = 0;
    for (const Case& c : cases) {
        const std::string root = dir_.Path("case" + std::to_string(index++));
        MakeTree(root, c.tree);
        EXPECT_THAT(List(root), StartsWith("error: " + root + "/" + c.named + ": " + c.message))
            << c.named;
    }
}

TEST_F(PackFiles, ListRefusesWhatIsNoFolderOrHoldsNoFiles) {
    const std::string root = dir_.Path("product");
    EXPECT_EQ(List(root), "error: " + root + ": no such folder");
    MakeTree(root, {"logs/", "cache/old/"});
    EXPECT_EQ(List(root), "error: " + root + ": holds no files, there is nothing to list");
    // An empty folder below files would survive the uninstall: it is named.
    MakeTree(root, {"cache/old/a.txt"});
    EXPECT_THAT(List(root), StartsWith("error: " + root + "/logs: an empty folder"));
    EXPECT_EQ(List(root + "/cache/old/a.txt"), "error: " + root + "/cache/old/a.txt: not a folder");
    fs::remove(root + "/logs");
    EXPECT_EQ(List(root), "FILE LIST:cache\\old\\a.txt");
}

#ifndef _WIN32
// Links are never followed: one to a file (or to nothing) is listed as the file the
// uninstaller deletes, one to a folder is refused, also one that leads back up the tree.
TEST_F(PackFiles, ListTakesLinksAsFilesAndRefusesLinksToFolders) {
    const std::string root = dir_.Path("product"), outside = dir_.Path("outside");
    MakeTree(outside, {"secret.txt", "more/x.txt"});
    MakeTree(root, {"bin/app.exe"});
    fs::create_symlink(outside + "/secret.txt", root + "/bin/secret.lnk");
    fs::create_symlink(root + "/gone.txt", root + "/dangling");
    EXPECT_EQ(List(root), "FILE LIST:bin\\app.exe,bin\\secret.lnk,dangling");

    fs::create_directory_symlink(outside, root + "/bin/more");
    EXPECT_THAT(List(root), StartsWith("error: " + root + "/bin/more: is a link to a folder"));
    fs::remove(root + "/bin/more");
    fs::create_directory_symlink(root, root + "/bin/loop");
    EXPECT_THAT(List(root), StartsWith("error: " + root + "/bin/loop: is a link to a folder"));
}
#endif

// The maker's side of signed updates: a key pair whose public text the builder takes, and
// signatures that the uninstaller's check accepts for the signed file only. The system's
// cryptography does it, so the host build refuses both.
TEST_F(PackFiles, KeygenAndSignMakeWhatTheUninstallerChecks) {
    const std::string key = dir_.Path("maker.key"), installer = dir_.Path("setup.exe");
    vt::WriteBytes(installer, "MZ the new installer " + std::string(100000, 'i'));
    std::string publicText, signature, error;
#ifdef _WIN32
    ASSERT_TRUE(PackKeygen(key.c_str(), &publicText, &error)) << error;
    EXPECT_EQ(Script("UPDATE KEY:" + publicText + "\n"),
              "\x16UPDATE KEY:" + publicText + "\r\n");
    EXPECT_EQ(552u, publicText.size());
    const std::string privateBlob = vt::ReadBytes(key);
    int32_t modulusBytes = 0;
    const char* why = "";
    EXPECT_TRUE(SignaturePrivateKeyCheck(reinterpret_cast<const uint8_t*>(privateBlob.data()),
                                         static_cast<int32_t>(privateBlob.size()), &modulusBytes,
                                         &why))
        << why;
    EXPECT_EQ(256, modulusBytes);

    // An existing private key is never overwritten.
    std::string again;
    EXPECT_FALSE(PackKeygen(key.c_str(), &again, &error));
    EXPECT_EQ(error, key + ": exists already; a private key is never overwritten");
    EXPECT_EQ(vt::ReadBytes(key), privateBlob);

    ASSERT_TRUE(PackSign(installer.c_str(), key.c_str(), "Demo Product", "2.05", &signature,
                         &error))
        << error;
    EXPECT_EQ(512u, signature.size());
    // It checks out for that product, version and installer only.
    std::vector<char> buffer(4096);
    auto checks = [&](const char* product, const char* version) {
        SignatureDigest digest;
        EXPECT_TRUE(SignatureFileDigest(installer.c_str(), buffer.data(),
                                        static_cast<int32_t>(buffer.size()), &digest, nullptr));
        const int good = SignatureCheck(&digest, publicText.c_str(), signature.c_str(), product,
                                        version);
        SignatureDigestEnd(&digest, nullptr);
        return good;
    };
    EXPECT_TRUE(checks("Demo Product", "2.05"));
    EXPECT_FALSE(checks("Demo Product", "2.5"));
    EXPECT_FALSE(checks("Other Product", "2.05"));
    vt::WriteBytes(installer, "MZ another installer");
    EXPECT_FALSE(checks("Demo Product", "2.05"));

    // Only a private key signs.
    EXPECT_FALSE(PackSign(installer.c_str(), installer.c_str(), "Demo Product", "2.05",
                          &signature, &error));
    EXPECT_EQ(error, installer + ": not a private key file (not a key blob of this kind)");
    EXPECT_FALSE(PackSign(dir_.Path("missing.exe").c_str(), key.c_str(), "Demo Product", "2.05",
                          &signature, &error));
    EXPECT_THAT(error, HasSubstr("Unable to open '" + dir_.Path("missing.exe") + "'"));
#else
    EXPECT_FALSE(PackKeygen(key.c_str(), &publicText, &error));
    EXPECT_THAT(error, HasSubstr("keygen needs the Windows build of vacate-pack"));
    EXPECT_FALSE(std::filesystem::exists(key));
    vt::WriteBytes(key, PrivateBlob(2048));
    EXPECT_FALSE(PackSign(installer.c_str(), key.c_str(), "Demo Product", "2.05", &signature,
                          &error));
    EXPECT_THAT(error, HasSubstr("sign needs the Windows build of vacate-pack"));
    EXPECT_EQ(signature, "");
#endif
    // A signature binds what the uninstaller reads: a name its script holds and a version
    // number as the record's '2' field starts, so anything else would never check out.
    struct Refused {
        std::string product, version;
        const char* named;
    };
    for (const Refused& r : {Refused{"", "2.0", "product name"},
                             Refused{std::string(160, 'p'), "2.0", "product name"},
                             Refused{"Tab\tName", "2.0", "product name"},
                             Refused{"Demo", "", "version"}, Refused{"Demo", "2.0 beta", "version"},
                             Refused{"Demo", "v2", "version"},
                             Refused{"Demo", std::string(80, '1'), "version"},
                             // Versions compare as real numbers: "1.7.5" would read as 17.5.
                             Refused{"Demo", "1.7.5", "version"}, Refused{"Demo", "2..0", "version"},
                             Refused{"Demo", ".5", "version"}, Refused{"Demo", "2.", "version"},
                             Refused{"Demo", "1234567890.123456", "version"}}) {
        EXPECT_FALSE(PackSign(installer.c_str(), key.c_str(), r.product.c_str(),
                              r.version.c_str(), &signature, &error))
            << r.product << "/" << r.version;
        EXPECT_THAT(error, StartsWith(std::string(r.named) + " '"));
    }
}

}  // namespace
