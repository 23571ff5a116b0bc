// The uninstaller as a user starts it: the real vacate.exe with a packed script, relocating
// itself into the temporary folder and running there, every dialog answered by the
// window-driving helper; with "-Update" against an update server of the test's own, and
// through the real proxy. The debug log "C:\debug.log" of both processes shows what
// happened between them.
#include <gtest/gtest.h>

#include <string>

#include "fixtures/fixture-test.h"
#include "product.h"
#include "tessel/socket.h"
#include "update/document.h"
#include "update/update-test.h"
#include "vacate/resource.h"

using product::Sample;
using windriver::BoxAnswerer;

namespace {

const char kDebugLog[] = "C:\\debug.log";

// Winsock for the test's own update server.
class SocketEnvironment : public ::testing::Environment {
public:
    void SetUp() override { SocketStartup(); }
    void TearDown() override { SocketCleanup(); }
};
const auto* const kSockets = ::testing::AddGlobalTestEnvironment(new SocketEnvironment);

std::string VacateExe() {
    return windriver::BesideSelf("..\\..\\vacate\\vacate.exe");
}

// A copy of vacate.exe at `path` with the script appended as its install archive.
void PackUninstaller(const std::string& path, const PackBytes& script) {
    PackBytes host;
    PackBytes packed;
    std::string error;
    ASSERT_TRUE(PackReadFile(VacateExe().c_str(), &host, &error)) << error;
    ASSERT_TRUE(PackArchive(host, script, &packed, &error)) << error;
    ASSERT_TRUE(PackWriteFile(path.c_str(), packed, &error)) << error;
}

int Count(const std::string& text, const std::string& what) {
    int n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
    return n;
}

// Waits until both processes have written their last line to the debug log.
bool WaitForBothExits(DWORD timeoutMs) {
    DWORD start = GetTickCount();
    while (Count(fixture::ReadAll(kDebugLog), "Successful Exit...") < 2) {
        if (GetTickCount() - start >= timeoutMs) return false;
        Sleep(50);
    }
    return true;
}

// The text of the log line that starts with `prefix`, up to its end.
std::string LineAfter(const std::string& log, const std::string& prefix) {
    size_t at = log.find(prefix);
    if (at == std::string::npos) return std::string();
    at += prefix.size();
    return log.substr(at, log.find('\r', at) - at);
}

// Removes the temporary copy that the relocation logged and its place in the reboot queue.
void ForgetRelocatedCopy() {
    std::string copy = LineAfter(fixture::ReadAll(kDebugLog), " -> ");
    if (copy.empty()) return;
    for (int i = 0; i < 50 && fixture::Exists(copy) && !DeleteFileA(copy.c_str()); ++i) Sleep(100);
    fixture::ForgetPendingDeletion(copy);
}

class Program : public ::testing::Test {
protected:
    void SetUp() override { DeleteFileA(kDebugLog); }
    void TearDown() override {
        ForgetRelocatedCopy();
        DeleteFileA(kDebugLog);
    }
};

TEST_F(Program, RelocatesIntoTheTemporaryFolderAndUninstalls) {
    Sample p;
    std::string files[] = {p.AddFile("app.exe"), p.AddFile("data\\a.txt")};
    p.Register();
    std::string uninstaller = p.folder + "uninstall.exe";
    PackUninstaller(uninstaller, product::Script(p.Header() +
                                                 "FILE LIST:app.exe,data\\a.txt\n"
                                                 "UNINSTALL NAME:uninstall.exe\n"
                                                 "INSTALL:\n"
                                                 "DONE:x\n"));

    windriver::Process first;
    // Questions wait until the first process has gone, as they would for a person.
    BoxAnswerer answerer(
        [&first](const std::string&, const std::string& text) {
            WaitForSingleObject(first.Handle(), 10000);
            return text.find('?') != std::string::npos ? IDYES : IDOK;
        },
        0);
    ASSERT_TRUE(first.Start("\"" + uninstaller + "\" -debug -append"));
    EXPECT_EQ(first.Wait(20000), 0);
    ASSERT_TRUE(answerer.WaitForAnswers(2, 30000));
    ASSERT_TRUE(WaitForBothExits(20000));

    std::string log = fixture::ReadAll(kDebugLog);
    std::string copy = LineAfter(log, "Copy: " + uninstaller + " -> ");
    std::string temp = fixture::TempFolder();
    // The copy bears a unique temporary name with the extension ".exe".
    ASSERT_EQ(copy.compare(0, temp.size() + 3, temp + "Del"), 0) << copy;
    EXPECT_EQ(copy.substr(copy.size() - 4), ".exe");
    EXPECT_NE(log.find("Exec: \"" + copy + "\" -Spawn -debug -append (0x"), std::string::npos);
    EXPECT_NE(log.find("Cmdline '\"" + copy + "\" -Spawn -debug -append'"), std::string::npos);
    EXPECT_TRUE(product::IsPendingDelete(copy));

    EXPECT_EQ(answerer.Answers()[1].text,
              std::string(product::kCompany) + " " + p.name + " has been uninstalled!");
    for (const std::string& f : files) EXPECT_FALSE(fixture::Exists(f)) << f;
    // The installed uninstaller went with the product: the copy was the one running.
    EXPECT_FALSE(fixture::Exists(uninstaller));
    EXPECT_FALSE(fixture::Exists(p.folder));
    EXPECT_FALSE(product::KeyExists(HKEY_CURRENT_USER, p.registryPath));
}

// "-Update" on a packaged product: the copy runs the script in update mode, and "DONE"
// asks, fetches the version document, offers the newer version, downloads the installer
// into the product's folder and runs it with "-Quiet"; once straight to the server, once
// through the real proxy. Nothing of the product is removed.
TEST_F(Program, UpdateOptionChecksDownloadsAndInstallsDirectlyAndThroughTheProxy) {
    const int proxyPort = updatetest::RealProxyPort();
    ASSERT_NE(0, proxyPort) << "the real proxy runs only when ctest starts this test";
    std::string installer = fixture::ReadAll(fixture::FixturePath("fx-installer.exe"));
    for (bool viaProxy : {false, true}) {
        SCOPED_TRACE(viaProxy ? "through the proxy" : "straight to the server");
        DeleteFileA(kDebugLog);
        Sample p;
        std::string file = p.AddFile("app.exe");
        p.Register();
        updatetest::HttpServer server;
        std::string key = std::string(product::kCompany) + " " + p.name;
        server.Serve({updatetest::Ok(updatetest::Record(key, "2.0", "http://p.example/",
                                                         server.Url("/files/setup.exe"))),
                      updatetest::Ok(installer, "application/octet-stream")});
        std::string uninstaller = p.folder + "uninstall.exe";
        PackUninstaller(uninstaller, product::Script(p.Header() + "UPDATE URL:" +
                                                     server.Url("/info.txt") +
                                                     "\nFILE LIST:app.exe\nINSTALL:\nDONE:x\n"));
        updatetest::ProxySetting proxy(viaProxy ? 1 : 0,
                                       "127.0.0.1:" + std::to_string(proxyPort));
        std::string record = p.folder + "installer-ran.txt";
        updatetest::InstallerWishes wishes(record, 1);

        BoxAnswerer answerer(
            [](const std::string&, const std::string& text) {
                return text.find('?') != std::string::npos ? IDYES : IDOK;
            },
            0,
            [](HWND dialog) {
                return GetDlgItem(dialog, IDC_UPDATE_DOWNLOAD) != nullptr ? IDC_UPDATE_DOWNLOAD : 0;
            });
        windriver::Process first;
        ASSERT_TRUE(first.Start("\"" + uninstaller + "\" -Update -debug -append"));
        EXPECT_EQ(first.Wait(20000), 0);
        ASSERT_TRUE(answerer.WaitForAnswers(3, 30000));
        ASSERT_TRUE(WaitForBothExits(20000));

        std::vector<windriver::Answer> answers = answerer.Answers();
        EXPECT_EQ(answers[0].text, "Would you like to check for an update to " + key +
                                       " electronically?");
        EXPECT_EQ(answers[1].text, "A new version of " + key +
                                       " is available!\nCurrent version 1.0 - New version 2.0\n");
        EXPECT_EQ(answers[2].text, "Successfully updated program to latest version!");
        for (const windriver::Answer& a : answers) EXPECT_EQ(a.caption, "Electronic Update...");
        EXPECT_EQ(fixture::ReadAll(p.folder + "setup.exe"), installer);
        EXPECT_EQ(updatetest::InstallerArguments(record), "-Quiet");

        std::string log = fixture::ReadAll(kDebugLog);
        EXPECT_NE(log.find("-Spawn -Update -debug -append'"), std::string::npos);
        EXPECT_EQ(log.find("Update on phase 1"), std::string::npos);
        std::vector<std::string> requests = server.Requests();
        ASSERT_EQ(requests.size(), 2u);
        if (viaProxy) {
            std::string proxyLog = fixture::ReadAll(updatetest::RealProxyFile("tinyproxy.log"));
            for (const char* path : {"/info.txt", "/files/setup.exe"})
                EXPECT_NE(proxyLog.find("GET " + server.Url(path) + " HTTP/1.0"), std::string::npos)
                    << path;
            EXPECT_NE(requests[1].find("\r\nVia: "), std::string::npos);
        } else {
            EXPECT_EQ(requests[1].find("\r\nVia: "), std::string::npos);
        }
        // An update removes nothing of the product.
        EXPECT_TRUE(fixture::Exists(file));
        EXPECT_TRUE(product::KeyExists(HKEY_CURRENT_USER, p.registryPath));
        ForgetRelocatedCopy();
    }
}

// Runs an executable as the relocated copy and returns the one notice it shows.
windriver::Answer RunCopyForNotice(const std::string& exe, long* exitCode) {
    BoxAnswerer answerer([](const std::string&, const std::string&) { return IDOK; }, 0);
    windriver::Process copy;
    EXPECT_TRUE(copy.Start("\"" + exe + "\" -Spawn"));
    EXPECT_TRUE(answerer.WaitForAnswers(1, 20000));
    *exitCode = copy.Wait(20000);
    std::vector<windriver::Answer> answers = answerer.Answers();
    EXPECT_EQ(answers.size(), 1u);
    return answers.empty() ? windriver::Answer{} : answers[0];
}

TEST_F(Program, DamagedArchiveOrScriptIsReportedAndTheProgramEndsCleanly) {
    fixture::ScratchFolder scratch(fixture::TempFolder(), "program");
    long exitCode = -1;

    // No archive at all.
    std::string plain = scratch.path + "plain.exe";
    ASSERT_TRUE(CopyFileA(VacateExe().c_str(), plain.c_str(), FALSE));
    windriver::Answer notice = RunCopyForNotice(plain, &exitCode);
    EXPECT_EQ(notice.caption, "Uninstall problem...");
    EXPECT_EQ(notice.text, "The installation file has been damaged, please download a new copy.");
    EXPECT_EQ(exitCode, 0);

    // An archive whose script holds a keyword the uninstaller does not know.
    std::string unknown = scratch.path + "unknown.exe";
    std::string script = "\x16" "COMPANY NAME:Q\r\n\x16NO SUCH KEYWORD:x\r\n";
    PackUninstaller(unknown, PackBytes(script.begin(), script.end()));
    notice = RunCopyForNotice(unknown, &exitCode);
    EXPECT_EQ(notice.caption, "Uninstall problem...");
    EXPECT_EQ(notice.text, "Installation script corrupted!");
    EXPECT_EQ(exitCode, 0);
}

}  // namespace
