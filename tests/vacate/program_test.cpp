// The uninstaller as a user starts it: the real vacate.exe with a packed script, relocating
// itself into the temporary folder and running there, every dialog answered by the
// window-driving helper; with "-Update" against an update server of the test's own, and
// through the real proxy. The debug log "C:\debug.log" of both processes shows what
// happened between them.
#include <gtest/gtest.h>
#include <windows.h>

#include <tlhelp32.h>

#include <algorithm>
#include <atomic>
#include <set>
#include <string>
#include <thread>

#include "fixtures/fixture-test.h"
#include "product.h"
#include "shipped/pe-image.h"
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

// Removes the temporary copy the last relocation made (the debug log names it), its place in
// the reboot queue, and the debug log.
void ForgetRelocation() {
    const std::string log = fixture::ReadAll(kDebugLog);
    // The copy, and the installed uninstaller a quiet run moved aside beside it.
    std::string aside = LineAfter(log, " aside to '");
    for (std::string copy : {LineAfter(log, " -> "), aside.substr(0, aside.size() - 1)}) {
        if (copy.empty()) continue;
        for (int i = 0; i < 50 && fixture::Exists(copy) && !DeleteFileA(copy.c_str()); ++i)
            Sleep(100);
        fixture::ForgetPendingDeletion(copy);
    }
    DeleteFileA(kDebugLog);
}

class Program : public ::testing::Test {
protected:
    void SetUp() override { DeleteFileA(kDebugLog); }
    void TearDown() override { ForgetRelocation(); }
};

// Starts the installed uninstaller with a command line, answers its question with Yes
// once it has gone (as a person would) and its notices with OK, and waits for both
// processes to end; gives what was answered.
std::vector<windriver::Answer> Uninstall(const std::string& commandLine) {
    windriver::Process first;
    BoxAnswerer answerer(
        [&first](const std::string&, const std::string& text) {
            WaitForSingleObject(first.Handle(), 10000);
            return text.find('?') != std::string::npos ? IDYES : IDOK;
        },
        0);
    EXPECT_TRUE(first.Start(commandLine));
    EXPECT_EQ(first.Wait(20000), 0);
    EXPECT_TRUE(answerer.WaitForAnswers(2, 30000));
    EXPECT_TRUE(WaitForBothExits(20000));
    return answerer.Answers();
}

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

    std::vector<windriver::Answer> answers = Uninstall("\"" + uninstaller + "\" -debug -append");
    ASSERT_EQ(answers.size(), 2u);

    std::string log = fixture::ReadAll(kDebugLog);
    std::string copy = LineAfter(log, "Copy: " + uninstaller + " -> ");
    std::string temp = fixture::TempFolder();
    // The copy bears a unique temporary name with the extension ".exe".
    ASSERT_EQ(copy.compare(0, temp.size() + 3, temp + "Del"), 0) << copy;
    EXPECT_EQ(copy.substr(copy.size() - 4), ".exe");
    EXPECT_NE(log.find("Exec: \"" + copy + "\" -Spawn -debug -append (0x"), std::string::npos);
    EXPECT_NE(log.find("Cmdline '\"" + copy + "\" -Spawn -debug -append'"), std::string::npos);
    EXPECT_TRUE(product::IsPendingDelete(copy));
    // Both processes keep the libraries they load by name to the system folder, where the
    // system can (not the 9x line), and say so either way.
    EXPECT_EQ(Count(log, fixture::NineX() ? "Unable to keep libraries to the system folder"
                                          : "Libraries are loaded from the system folder only"),
              2);

    EXPECT_EQ(answers[1].text,
              std::string(product::kCompany) + " " + p.name + " has been uninstalled!");
    for (const std::string& f : files) EXPECT_FALSE(fixture::Exists(f)) << f;
    // The installed uninstaller went with the product: the copy was the one running.
    EXPECT_FALSE(fixture::Exists(uninstaller));
    EXPECT_FALSE(fixture::Exists(p.folder));
    EXPECT_FALSE(product::KeyExists(HKEY_CURRENT_USER, p.registryPath));
}

TEST_F(Program, SwitchLettersInTheInstallFolderAreNoSwitches) {
    // Installed in a folder whose name holds "-spawn" and "-update" and a blank, and
    // started by its path with quotes and without: it still relocates and uninstalls.
    for (bool quoted : {true, false}) {
        SCOPED_TRACE(quoted ? "quoted" : "unquoted");
        Sample p;
        std::string file = p.AddFile("app.exe");
        std::string uninstaller = p.AddFile("my re-spawn-update\\uninstall.exe");
        p.Register();
        PackUninstaller(uninstaller,
                        product::Script(p.Header() + "FILE LIST:app.exe\nINSTALL:\nDONE:x\n"));

        std::vector<windriver::Answer> answers =
            Uninstall((quoted ? "\"" + uninstaller + "\"" : uninstaller) + " -debug -append");
        std::string log = fixture::ReadAll(kDebugLog);
        EXPECT_NE(log.find("Copy: " + uninstaller + " -> "), std::string::npos) << log;
        EXPECT_NE(log.find("\" -Spawn -debug -append (0x"), std::string::npos) << log;
        ASSERT_EQ(answers.size(), 2u);
        EXPECT_EQ(answers[1].text,
                  std::string(product::kCompany) + " " + p.name + " has been uninstalled!");
        EXPECT_FALSE(fixture::Exists(file));
        ForgetRelocation();
    }
}

// Answers an update check as a user would: Yes to the check, `retry` to trying the download
// again, the download in the new-version dialog and OK to notices.
class UpdateAnswerer : public BoxAnswerer {
public:
    explicit UpdateAnswerer(int retry = IDYES)
        : BoxAnswerer(
              [retry](const std::string&, const std::string& text) {
                  if (text.find("try again?") != std::string::npos) return retry;
                  return text.find('?') != std::string::npos ? IDYES : IDOK;
              },
              0, [](HWND dialog) {
                  return GetDlgItem(dialog, IDC_UPDATE_DOWNLOAD) != nullptr ? IDC_UPDATE_DOWNLOAD
                                                                            : 0;
              }) {}
};

// Starts the packaged uninstaller with "-Update" and answers it so; waits for `expected`
// answers and for both processes to end.
std::vector<windriver::Answer> RunUpdate(const std::string& uninstaller, size_t expected,
                                         int retry = IDYES) {
    UpdateAnswerer answerer(retry);
    windriver::Process first;
    EXPECT_TRUE(first.Start("\"" + uninstaller + "\" -Update -debug -append"));
    EXPECT_EQ(first.Wait(20000), 0);
    EXPECT_TRUE(answerer.WaitForAnswers(expected, 30000));
    EXPECT_TRUE(WaitForBothExits(20000));
    return answerer.Answers();
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

        std::vector<windriver::Answer> answers = RunUpdate(uninstaller, 3);
        ASSERT_EQ(answers.size(), 3u);
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
        ForgetRelocation();
    }
}

// The elevated copy runs from the temporary folder, where the user can plant a library
// without elevation. Every library it imports must be one the system always takes from its
// own folder (the common controls come from the system's assembly store through the
// manifest), never one looked for beside the program first, as wsock32 would be.
TEST(ProgramImage, ImportsOnlyLibrariesTheSystemLoadsFromItsOwnFolder) {
    const std::vector<std::string> known = {"ADVAPI32.DLL", "COMCTL32.DLL", "GDI32.DLL",
                                            "KERNEL32.DLL", "MSVCRT.DLL",   "OLE32.DLL",
                                            "SHELL32.DLL",  "USER32.DLL",   "WS2_32.DLL"};
    std::vector<std::string> imports = pe::Read(pe::ReadFile(VacateExe())).imports;
    ASSERT_FALSE(imports.empty());
    for (const std::string& name : imports)
        EXPECT_NE(std::find(known.begin(), known.end(), name), known.end()) << name;
}

// The Windows build of the package builder, run as a maker runs it: exit code and what it
// printed (line ends as the console wrote them).
struct PackRun {
    long exitCode;
    std::string out;
    std::string err;
};
PackRun RunPack(const std::string& arguments, const std::string& folder) {
    const std::string out = folder + "pack-out.txt", err = folder + "pack-err.txt";
    windriver::Process pack;
    EXPECT_TRUE(pack.StartWithOutput(
        "\"" + windriver::BesideSelf("..\\..\\tools\\vacate-pack\\vacate-pack.exe") + "\" " +
            arguments,
        out, err));
    PackRun run{pack.Wait(60000), fixture::ReadAll(out), fixture::ReadAll(err)};
    DeleteFileA(out.c_str());
    DeleteFileA(err.c_str());
    return run;
}

std::string FirstLine(const std::string& text) { return text.substr(0, text.find_first_of("\r\n")); }

// A maker's signed release end to end: "vacate-pack keygen" makes the key (and never
// overwrites it), the package carries its public text as "UPDATE KEY", "vacate-pack sign"
// gives the '5' field of the version record; the packaged uninstaller with "-Update" runs the
// signed installer, and one changed on the way is deleted and never run.
TEST_F(Program, AMakersSignedReleaseRunsAndAChangedOneDoesNot) {
    fixture::ScratchFolder maker(fixture::TempFolder(), "maker");
    const std::string privateKey = maker.path + "maker.key";
    PackRun keygen = RunPack("keygen \"" + privateKey + "\"", maker.path);
    ASSERT_EQ(keygen.exitCode, 0) << keygen.err;
    const std::string publicText = FirstLine(keygen.out);
    EXPECT_EQ(publicText.size(), 552u);
    const std::string privateBytes = fixture::ReadAll(privateKey);
    PackRun again = RunPack("keygen \"" + privateKey + "\"", maker.path);
    EXPECT_EQ(again.exitCode, 1);
    EXPECT_NE(again.err.find("exists already; a private key is never overwritten"), std::string::npos);
    EXPECT_EQ(fixture::ReadAll(privateKey), privateBytes);

    const std::string installer = fixture::ReadAll(fixture::FixturePath("fx-installer.exe"));
    std::string changed = installer;
    changed[changed.size() / 3] ^= 0x20;
    for (bool intact : {true, false}) {
        SCOPED_TRACE(intact ? "as signed" : "changed on the way");
        DeleteFileA(kDebugLog);
        Sample p;
        p.AddFile("app.exe");
        p.Register();
        // Signed for the product's name and the version its record offers.
        PackRun sign = RunPack("sign \"" + fixture::FixturePath("fx-installer.exe") + "\" \"" +
                                   privateKey + "\" \"" + p.name + "\" 2.0",
                               maker.path);
        ASSERT_EQ(sign.exitCode, 0) << sign.err;
        const std::string signature = FirstLine(sign.out);
        EXPECT_EQ(signature.size(), 512u);
        updatetest::HttpServer server;
        std::string key = std::string(product::kCompany) + " " + p.name;
        server.Serve({updatetest::Ok(updatetest::SignedRecord(key, "2.0", "http://p.example/",
                                                              server.Url("/files/setup.exe"),
                                                              signature)),
                      updatetest::Ok(intact ? installer : changed, "application/octet-stream")});
        std::string uninstaller = p.folder + "uninstall.exe";
        PackUninstaller(uninstaller, product::Script(p.Header() + "UPDATE URL:" +
                                                     server.Url("/info.txt") + "\nUPDATE KEY:" +
                                                     publicText + "\nFILE LIST:app.exe\nDONE:x\n"));
        updatetest::ProxySetting proxy(0, "");
        std::string record = p.folder + "installer-ran.txt";
        updatetest::InstallerWishes wishes(record, 1);

        // No to trying the download again.
        std::vector<windriver::Answer> answers = RunUpdate(uninstaller, intact ? 3 : 4, IDNO);
        std::string log = fixture::ReadAll(kDebugLog);
        if (intact) {
            ASSERT_EQ(answers.size(), 3u);
            EXPECT_EQ(answers[2].text, "Successfully updated program to latest version!");
            EXPECT_EQ(updatetest::InstallerArguments(record), "-Quiet");
            EXPECT_EQ(fixture::ReadAll(p.folder + "setup.exe"), installer);
            EXPECT_NE(log.find("Update signature checks out"), std::string::npos);
        } else {
            ASSERT_EQ(answers.size(), 4u);
            EXPECT_EQ(answers[2].text, "There was a problem downloading the update, would you "
                                       "like to try again?");
            EXPECT_EQ(answers[3].text, "Unable to contact the update server, please try again later.");
            EXPECT_FALSE(fixture::Exists(record));
            EXPECT_FALSE(fixture::Exists(p.folder + "setup.exe"));
            EXPECT_NE(log.find("Update signature does not match"), std::string::npos);
            EXPECT_EQ(log.find("Update signature checks out"), std::string::npos);
        }
        ForgetRelocation();
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

// The packed uninstaller cut at a sample of lengths (in the program, at the archive's tag,
// inside the payload, in its trailer) and started as the relocated copy: it shows the
// damaged-archive notice and ends with 0, or the system refuses to start what is left of
// the program; never a crash or a box of the abort path. Whole, it asks its question.
TEST_F(Program, ATruncatedUninstallerShowsTheDamagedNoticeOrDoesNotStart) {
    Sample p;
    p.AddFile("app.exe");
    p.Register();
    PackBytes host;
    PackBytes packed;
    std::string error;
    ASSERT_TRUE(PackReadFile(VacateExe().c_str(), &host, &error)) << error;
    ASSERT_TRUE(PackArchive(host, product::Script(p.Header() + "FILE LIST:app.exe\nINSTALL:\nDONE:x\n"),
                            &packed, &error))
        << error;
    fixture::ScratchFolder scratch(fixture::TempFolder(), "truncated");
    const size_t o = host.size();
    const size_t size = packed.size();
    for (size_t length : {o / 2, o - 1, o, o + 3, o + 4, o + 7, o + 8, (o + size) / 2, size - 5,
                          size - 4, size - 1, size}) {
        SCOPED_TRACE(length);
        std::string exe = scratch.path + "cut-" + std::to_string(length) + ".exe";
        ASSERT_TRUE(product::WriteBytes(exe, PackBytes(packed.begin(), packed.begin() + length)));
        BoxAnswerer answerer(
            [](const std::string&, const std::string& text) {
                return text.find('?') != std::string::npos ? IDNO : IDOK;
            },
            0);
        windriver::Process copy;
        if (!copy.Start("\"" + exe + "\" -Spawn")) {
            EXPECT_LT(length, o) << "a program with its archive cut must still start";
            continue;
        }
        EXPECT_EQ(copy.Wait(20000), 0);
        std::vector<windriver::Answer> answers = answerer.Answers();
        ASSERT_EQ(answers.size(), 1u);
        if (length == size) {
            EXPECT_EQ(answers[0].caption, "Uninstall...");
        } else {
            EXPECT_EQ(answers[0].caption, "Uninstall problem...");
            EXPECT_EQ(answers[0].text,
                      "The installation file has been damaged, please download a new copy.");
        }
    }
}

// With "-debug" and a debug log that cannot be opened (a folder of that name), every entry
// costs its retries and the log's own notice; the uninstall still runs to its end, and
// no box comes from the abort path.
TEST_F(Program, AnUnwritableDebugLogDoesNotStopTheUninstall) {
    Sample p;
    std::string file = p.AddFile("app.exe");
    p.Register();
    std::string uninstaller = p.folder + "uninstall.exe";
    PackUninstaller(uninstaller, product::Script(p.Header() + "FILE LIST:app.exe\nINSTALL:\nDONE:x\n"));
    ASSERT_TRUE(CreateDirectoryA(kDebugLog, nullptr));

    BoxAnswerer answerer(
        [](const std::string&, const std::string& text) {
            return text.find('?') != std::string::npos ? IDYES : IDOK;
        },
        0);
    windriver::Process copy;
    ASSERT_TRUE(copy.Start("\"" + uninstaller + "\" -Spawn -debug"));
    EXPECT_EQ(copy.Wait(120000), 0);
    RemoveDirectoryA(kDebugLog);

    int logNotices = 0;
    std::vector<std::string> others;
    for (const windriver::Answer& answer : answerer.Answers()) {
        if (answer.caption == "Internal error...") {
            EXPECT_EQ(answer.text.find("Unable to create log file [C:\\debug.log] due to error ["), 0u)
                << answer.text;
            ++logNotices;
        } else {
            others.push_back(answer.text);
        }
    }
    EXPECT_GT(logNotices, 5);
    ASSERT_EQ(others.size(), 2u);
    EXPECT_EQ(others[1], std::string(product::kCompany) + " " + p.name + " has been uninstalled!");
    EXPECT_FALSE(fixture::Exists(file));
    EXPECT_FALSE(product::KeyExists(HKEY_CURRENT_USER, p.registryPath));
}

// ---------------------------------------------------------------------------
// The quiet uninstall ("-Quiet")
// ---------------------------------------------------------------------------

// Watches a started uninstaller and the copy it starts (its child) for windows while it
// lives: every visible window and every dialog, hidden or not, is recorded. A box found is
// answered, so that a run that wrongly shows one still ends.
class WindowWatch {
public:
    explicit WindowWatch(const windriver::Process& first)
        : first_(first), thread_([this] { Run(); }) {}
    ~WindowWatch() {
        stop_ = true;
        thread_.join();
    }
    std::vector<std::string> Seen() {
        std::lock_guard<std::mutex> guard(lock_);
        return seen_;
    }

private:
    std::set<DWORD> Watched() const {
        std::set<DWORD> pids;
        if (first_.Pid() == 0) return pids;
        pids.insert(first_.Pid());
        HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
        if (snapshot == INVALID_HANDLE_VALUE) return pids;
        PROCESSENTRY32 entry = {};
        entry.dwSize = sizeof entry;
        for (BOOL more = Process32First(snapshot, &entry); more;
             more = Process32Next(snapshot, &entry))
            if (entry.th32ParentProcessID == first_.Pid()) pids.insert(entry.th32ProcessID);
        CloseHandle(snapshot);
        return pids;
    }
    void Run() {
        std::set<HWND> recorded;
        while (!stop_) {
            std::set<DWORD> pids = Watched();
            for (HWND window : windriver::TopLevelWindows(0)) {
                DWORD pid = 0;
                GetWindowThreadProcessId(window, &pid);
                if (pids.count(pid) == 0) continue;
                std::string className = windriver::ClassName(window);
                if (!IsWindowVisible(window) && className != "#32770") continue;
                if (recorded.insert(window).second) {
                    std::lock_guard<std::mutex> guard(lock_);
                    seen_.push_back(className + " '" + windriver::WindowText(window) + "' " +
                                    windriver::MessageBoxText(window));
                }
                windriver::PressButton(window, IDYES);
                windriver::PressButton(window, IDOK);
            }
            Sleep(10);
        }
    }

    const windriver::Process& first_;
    std::mutex lock_;
    std::vector<std::string> seen_;
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

// Starts the installed uninstaller quietly as a deployment tool would and gives its exit
// code once it and its copy (none when `relocates` is false) have ended; fails the test on
// any window of theirs. `folder`: the current folder it starts in.
long QuietUninstall(const std::string& uninstaller, const std::string& options = "-Quiet",
                    bool relocates = true, const std::string& folder = "") {
    windriver::Process first;
    long exitCode = -1;
    {
        WindowWatch watch(first);
        char ours[MAX_PATH] = {};
        GetCurrentDirectoryA(MAX_PATH, ours);
        if (!folder.empty()) SetCurrentDirectoryA(folder.c_str());
        EXPECT_TRUE(first.Start("\"" + uninstaller + "\" " + options + " -debug -append"));
        SetCurrentDirectoryA(ours);  // this process must not hold the folder either
        exitCode = first.Wait(60000);
        if (relocates) EXPECT_TRUE(WaitForBothExits(20000));
        Sleep(100);  // a last look for windows
        std::vector<std::string> seen = watch.Seen();
        EXPECT_TRUE(seen.empty()) << seen.size() << " window(s), the first: " << seen[0];
    }
    return exitCode;
}

TEST_F(Program, QuietUninstallShowsNothingAndEndsWithZero) {
    Sample p;
    std::string files[] = {p.AddFile("app.exe"), p.AddFile("data\\a.txt")};
    std::string shortcut = p.AddShortcut("App");
    p.Register();
    std::string uninstaller = p.folder + "uninstall.exe";
    PackUninstaller(uninstaller, product::Script(p.Header() +
                                                 "FILE LIST:app.exe,data\\a.txt\n"
                                                 "UNINSTALL NAME:uninstall.exe\n"
                                                 "INSTALL:\nCREATE GROUP:" + p.group +
                                                 "\nADD ITEM:0\tapp.exe\t\tApp\nDONE:x\n"));

    // Found in any letter case, also between other arguments.
    EXPECT_EQ(QuietUninstall(uninstaller, "-debug -qUIET"), 0);
    std::string log = fixture::ReadAll(kDebugLog);
    EXPECT_NE(log.find("Quiet: [Uninstall...] Are you sure you want to uninstall " +
                       std::string(product::kCompany) + " " + p.name + "? -> Yes"),
              std::string::npos)
        << log;
    EXPECT_NE(log.find("Quiet: [Uninstaller...] " + std::string(product::kCompany) + " " +
                       p.name + " has been uninstalled!"),
              std::string::npos);
    EXPECT_NE(log.find("Copy ended with 0"), std::string::npos);
    // The waiting uninstaller's file was moved aside into the temporary folder, where it
    // waits for the restart as the copy does.
    std::string aside = LineAfter(log, "Moved '" + uninstaller + "' aside to '");
    ASSERT_FALSE(aside.empty()) << log;
    aside.pop_back();
    EXPECT_TRUE(product::IsPendingDelete(aside)) << aside;
    for (const std::string& f : files) EXPECT_FALSE(fixture::Exists(f)) << f;
    EXPECT_FALSE(fixture::Exists(shortcut));
    // The waiting uninstaller's own file went too, and with it the product's folder.
    EXPECT_FALSE(fixture::Exists(uninstaller));
    EXPECT_FALSE(fixture::Exists(p.folder));
    EXPECT_FALSE(product::KeyExists(HKEY_CURRENT_USER, p.registryPath));
    EXPECT_FALSE(product::KeyExists(HKEY_LOCAL_MACHINE, p.uninstallKey));
}

// The product's uninstaller with the commands given before its file list and removal.
std::string PackForQuiet(const Sample& p, const std::string& before = "") {
    std::string uninstaller = p.folder + "uninstall.exe";
    PackUninstaller(uninstaller,
                    product::Script(p.Header() + before +
                                    "FILE LIST:app.exe\nUNINSTALL NAME:uninstall.exe\n"
                                    "INSTALL:\nDONE:x\n"));
    return uninstaller;
}

// Each exit code from its real cause, with no window in any case.
TEST_F(Program, QuietUninstallReportsEachOutcomeByItsExitCode) {
    {
        SCOPED_TRACE("a locked file waits for the restart: 3010");
        Sample p;
        std::string file = p.AddFile("app.exe");
        p.Register();
        std::string uninstaller = PackForQuiet(p);
        {
            fixture::Holding lock("fx-lock.exe", file);
            ASSERT_TRUE(lock.held());
            EXPECT_EQ(QuietUninstall(uninstaller), 3010);
            EXPECT_EQ(lock.Release(), 0);
        }
        EXPECT_TRUE(product::IsPendingDelete(file));
        fixture::ForgetPendingDeletion(file);
        EXPECT_FALSE(fixture::Exists(uninstaller));
        EXPECT_FALSE(product::KeyExists(HKEY_CURRENT_USER, p.registryPath));
        ForgetRelocation();
    }
    // Beyond MAX_PATH, which the 9x line has no names for.
    if (!fixture::NineX()) {
        SCOPED_TRACE("a file neither deleted nor queued: 1603, the product stays listed");
        Sample p;
        p.AddFile("app.exe");
        p.Register();
        // Beyond MAX_PATH: neither deleted nor queued by the system, and "wininit.ini" is
        // held by another program.
        const std::string item = std::string(180, 'd') + "\\" + std::string(40, 'f') + ".dat";
        const std::wstring wideFolder(p.folder.begin(), p.folder.end());
        const std::wstring deep = wideFolder + std::wstring(item.begin(), item.end());
        ASSERT_TRUE(CreateDirectoryW((wideFolder + std::wstring(180, L'd')).c_str(), nullptr));
        CloseHandle(CreateFileW(deep.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr));
        const std::string uninstaller = p.folder + "uninstall.exe";
        PackUninstaller(uninstaller, product::Script(p.Header() + "FILE LIST:" + item +
                                                     ",app.exe\nUNINSTALL NAME:uninstall.exe\n"
                                                     "INSTALL:\nDONE:x\n"));
        fixture::WininitGuard wininit;
        {
            fixture::Holding held("fx-lock.exe", wininit.path);
            ASSERT_TRUE(held.held());
            EXPECT_EQ(QuietUninstall(uninstaller), 1603);
            EXPECT_EQ(held.Release(), 0);
        }
        const std::string notice = "Quiet: [Uninstall problem...] " +
                                   std::string(product::kCompany) + " " + p.name +
                                   " could not be removed completely: '" + p.folder + item +
                                   "' could be neither deleted nor queued";
        EXPECT_NE(fixture::ReadAll(kDebugLog).find(notice), std::string::npos);
        EXPECT_FALSE(fixture::Exists(p.folder + "app.exe"));
        EXPECT_TRUE(fixture::Exists(uninstaller));
        EXPECT_TRUE(product::KeyExists(HKEY_CURRENT_USER, p.registryPath));
        EXPECT_TRUE(product::KeyExists(HKEY_LOCAL_MACHINE, p.uninstallKey));
        ForgetRelocation();
        // The second run finds the product; "wininit.ini" takes the file now.
        EXPECT_EQ(QuietUninstall(uninstaller), 3010);
        EXPECT_NE(fixture::ReadAll(wininit.path).find("NUL=" + p.folder + item), std::string::npos);
        EXPECT_FALSE(product::KeyExists(HKEY_CURRENT_USER, p.registryPath));
        DeleteFileW(deep.c_str());
        ForgetRelocation();
    }
    {
        SCOPED_TRACE("an install folder too long for its field as named: its short form, 0");
        Sample p;
        fixture::ScratchFolder parent(fixture::TempFolder(), "long");
        const std::string folder = parent.Make(std::string(163 - parent.path.size(), 'd') + "\\");
        const std::string file = parent.Make(folder.substr(parent.path.size()) + "app.exe");
        p.Register(folder.substr(0, folder.size() - 1));
        const std::string uninstaller = folder + "uninstall.exe";
        PackUninstaller(uninstaller, product::Script(p.Header() +
                                                     "FILE LIST:app.exe\nUNINSTALL NAME:"
                                                     "uninstall.exe\nINSTALL:\nDONE:x\n"));
        EXPECT_EQ(QuietUninstall(uninstaller), 0);
        EXPECT_FALSE(fixture::Exists(file));
        EXPECT_FALSE(fixture::Exists(uninstaller));
        EXPECT_FALSE(fixture::Exists(folder));
        EXPECT_FALSE(product::KeyExists(HKEY_CURRENT_USER, p.registryPath));
        EXPECT_FALSE(product::KeyExists(HKEY_LOCAL_MACHINE, p.uninstallKey));
        ForgetRelocation();
    }
    {
        SCOPED_TRACE("no product key: 1605");
        Sample p;
        std::string file = p.AddFile("app.exe");
        std::string uninstaller = PackForQuiet(p);
        EXPECT_EQ(QuietUninstall(uninstaller), 1605);
        EXPECT_NE(fixture::ReadAll(kDebugLog)
                      .find("Quiet: [Uninstall problem...] Unable to find previous installation; "
                            "files could not be removed."),
                  std::string::npos);
        EXPECT_TRUE(fixture::Exists(file));
        EXPECT_TRUE(fixture::Exists(uninstaller));
        ForgetRelocation();
    }
    {
        SCOPED_TRACE("the product running (its mutex held): 1603");
        Sample p;
        std::string file = p.AddFile("app.exe");
        p.Register();
        std::string mutex = p.name + "-mutex";
        std::string uninstaller = PackForQuiet(p, "SYSTEM MUTEX:" + mutex + "\n");
        {
            fixture::Holding running("fx-mutex.exe", mutex);
            ASSERT_TRUE(running.held());
            EXPECT_EQ(QuietUninstall(uninstaller), 1603);
            EXPECT_EQ(running.Release(), 0);
        }
        EXPECT_TRUE(fixture::Exists(file));
        EXPECT_TRUE(product::KeyExists(HKEY_CURRENT_USER, p.registryPath));
        ForgetRelocation();
    }
    {
        SCOPED_TRACE("a product window that would have to be closed by the user: 1603");
        Sample p;
        std::string file = p.AddFile("app.exe");
        p.Register();
        std::string windowClass = "QxQuiet" + std::to_string(GetCurrentProcessId());
        std::string uninstaller = PackForQuiet(
            p, "WINDOW:2\t100\t\t" + windowClass + "\t\tPlease close the product.\n");
        windriver::Process window;
        ASSERT_TRUE(window.Start("\"" + fixture::FixturePath("fx-window.exe") + "\" " +
                                 windowClass + " \"Quiet product\" 1"));
        ASSERT_NE(windriver::WaitForWindow("Quiet product", windowClass.c_str(), 10000), nullptr);
        EXPECT_EQ(QuietUninstall(uninstaller), 1603);
        // Nobody was asked, so the window was not closed either.
        EXPECT_EQ(window.Wait(200), -1);
        window.Kill();
        EXPECT_TRUE(fixture::Exists(file));
        EXPECT_TRUE(product::KeyExists(HKEY_CURRENT_USER, p.registryPath));
        ForgetRelocation();
    }
    {
        SCOPED_TRACE("a damaged archive: 1603");
        Sample p;
        p.Register();
        std::string uninstaller = p.folder + "uninstall.exe";
        ASSERT_TRUE(CopyFileA(VacateExe().c_str(), uninstaller.c_str(), FALSE));
        EXPECT_EQ(QuietUninstall(uninstaller), 1603);
        EXPECT_NE(fixture::ReadAll(kDebugLog)
                      .find("Quiet: [Uninstall problem...] The installation file has been "
                            "damaged, please download a new copy."),
                  std::string::npos);
        ForgetRelocation();
    }
}

// Points the temporary folder (TMP and TEMP, which the uninstaller started next inherits)
// and this user's Start-menu programs folder elsewhere while it lives.
class FolderSettings {
public:
    FolderSettings() {
        for (int i = 0; i < 2; ++i) {
            wchar_t value[MAX_PATH] = {};
            hadTemp_[i] = GetEnvironmentVariableW(kTempNames[i], value, MAX_PATH) > 0;
            temp_[i] = value;
        }
        HKEY key;
        if (RegOpenKeyExA(HKEY_CURRENT_USER, kShellFolders, 0, KEY_READ, &key) == ERROR_SUCCESS) {
            wchar_t value[MAX_PATH] = {};
            DWORD size = sizeof value - sizeof value[0];
            if (RegQueryValueExW(key, L"Programs", nullptr, nullptr,
                                 reinterpret_cast<BYTE*>(value), &size) == ERROR_SUCCESS)
                programs_ = value;
            RegCloseKey(key);
        }
    }
    ~FolderSettings() {
        for (int i = 0; i < 2; ++i)
            SetEnvironmentVariableW(kTempNames[i], hadTemp_[i] ? temp_[i].c_str() : nullptr);
        if (!programs_.empty()) Programs(programs_);
    }
    FolderSettings(const FolderSettings&) = delete;
    FolderSettings& operator=(const FolderSettings&) = delete;

    void Temp(const std::wstring& folder) {
        for (const wchar_t* name : kTempNames) SetEnvironmentVariableW(name, folder.c_str());
    }
    void Programs(const std::wstring& folder) {
        HKEY key;
        ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, kShellFolders, 0, KEY_SET_VALUE, &key),
                  ERROR_SUCCESS);
        RegSetValueExW(key, L"Programs", 0, REG_EXPAND_SZ,
                       reinterpret_cast<const BYTE*>(folder.c_str()),
                       static_cast<DWORD>((folder.size() + 1) * sizeof(wchar_t)));
        RegCloseKey(key);
    }

private:
    static constexpr const wchar_t* kTempNames[2] = {L"TMP", L"TEMP"};
    static constexpr const char* kShellFolders =
        "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders";
    bool hadTemp_[2] = {};
    std::wstring temp_[2];
    std::wstring programs_;
};

// A user whose temporary folder, Start-menu folder and install folder are named outside the
// ANSI code page (a Greek letter in a code page 1252 prefix): the uninstaller uses their
// short forms, and everything of the product goes. Also started from the product's folder:
// the waiting uninstaller does not keep that folder.
TEST_F(Program, FoldersNamedOutsideTheCodePageAndTheStartFolderAreNoObstacle) {
    if (fixture::NineX()) GTEST_SKIP() << "the 9x line has no names outside its code page";
    fixture::ForeignFolder temp(fixture::TempFolder(), "temp");
    fixture::ForeignFolder menu(fixture::TempFolder(), "menu");
    fixture::ForeignFolder install(fixture::TempFolder(), "install");
    ASSERT_FALSE(temp.path.empty() || menu.path.empty() || install.path.empty());
    Sample p;
    p.Register();
    // "Install Path" as the installer wrote it: the folder's real name.
    HKEY key;
    ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, p.registryPath.c_str(), 0, KEY_SET_VALUE, &key),
              ERROR_SUCCESS);
    RegSetValueExW(key, L"Install Path", 0, REG_SZ,
                   reinterpret_cast<const BYTE*>(install.wide.c_str()),
                   static_cast<DWORD>((install.wide.size() + 1) * sizeof(wchar_t)));
    RegCloseKey(key);
    const std::string files[] = {install.Make("app.exe"), install.Make("data\\a.txt"),
                                 menu.Make(p.group + "\\App.lnk")};
    const std::string otherShortcut = menu.Make("other.lnk");
    const std::string uninstaller = install.path + "uninstall.exe";
    PackUninstaller(uninstaller, product::Script(p.Header() +
                                                 "FILE LIST:app.exe,data\\a.txt\n"
                                                 "UNINSTALL NAME:uninstall.exe\nINSTALL:\n"
                                                 "CREATE GROUP:" + p.group +
                                                 "\nADD ITEM:0\tapp.exe\t\tApp\nDONE:x\n"));
    {
        FolderSettings settings;
        settings.Temp(temp.wide);
        settings.Programs(menu.wide);
        EXPECT_EQ(QuietUninstall(uninstaller, "-Quiet", true, install.path), 0);
    }
    EXPECT_NE(LineAfter(fixture::ReadAll(kDebugLog), "Copy: ").find(" -> " + temp.path),
              std::string::npos);
    for (const std::string& f : files) EXPECT_FALSE(fixture::Exists(f)) << f;
    EXPECT_FALSE(fixture::Exists(uninstaller));
    EXPECT_FALSE(fixture::Exists(install.path)) << "the product's folder";
    EXPECT_FALSE(fixture::Exists(menu.path + p.group));
    EXPECT_TRUE(fixture::Exists(otherShortcut));
    EXPECT_FALSE(product::KeyExists(HKEY_CURRENT_USER, p.registryPath));
    EXPECT_FALSE(product::KeyExists(HKEY_LOCAL_MACHINE, p.uninstallKey));
}

// A relocation that cannot be done is told, in a notice or (quiet) the log, and ends with
// 1603; nothing of the product is touched, and "-Quiet" never turns into a question.
TEST_F(Program, ARelocationThatFailsIsToldAndEndsWith1603) {
    fixture::ForeignFolder foreign(fixture::TempFolder(), "temp");
    const std::wstring missing = L"C:\\" + std::wstring(L"no-such-temp-") +
                                 std::to_wstring(GetCurrentProcessId()) + L"\\";
    const std::string longArgument = "-debug -append /log=" + std::string(470, 'l');
    struct Case {
        const char* what;
        std::wstring temp;  // empty: as it is
        std::string options;
        std::string notice;
    } cases[] = {
        {"no temporary folder", missing, "",
         "unable to make a temporary file in 'C:\\no-such-temp-"},
        {"a temporary folder outside the code page that does not exist",
         foreign.wide + L"\u03A9missing\\", "",
         "the temporary folder cannot be used: it does not exist, or its name holds characters"},
        {"a long argument before -Quiet", L"", longArgument + " -Quiet",
         "its arguments are too long ("},
        {"a long argument, interactive", L"", longArgument, "its arguments are too long ("},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        // The 9x line has no names outside its code page.
        if (fixture::NineX() && c.temp.find(L'\u03A9') != std::wstring::npos) continue;
        DeleteFileA(kDebugLog);
        Sample p;
        const std::string file = p.AddFile("app.exe");
        p.Register();
        const std::string uninstaller = PackForQuiet(p);
        const std::string notice = "The uninstall could not be started: " + c.notice;
        FolderSettings settings;
        if (!c.temp.empty()) settings.Temp(c.temp);
        if (c.options.find("-Quiet") != std::string::npos) {
            EXPECT_EQ(QuietUninstall(uninstaller, c.options, false), 1603);
            EXPECT_NE(fixture::ReadAll(kDebugLog).find("Quiet: [Uninstall problem...] " + notice),
                      std::string::npos);
            EXPECT_TRUE(fixture::Exists(file));
            continue;
        }
        BoxAnswerer answerer([](const std::string&, const std::string&) { return IDOK; }, 0);
        windriver::Process first;
        ASSERT_TRUE(first.Start("\"" + uninstaller + "\" " + c.options + " -debug -append"));
        EXPECT_EQ(first.Wait(20000), 1603);
        if (!answerer.WaitForAnswers(1, 10000)) {
            ADD_FAILURE() << "no notice";
            continue;
        }
        const windriver::Answer answer = answerer.Answers()[0];
        EXPECT_EQ(answer.caption, "Uninstall problem...");
        EXPECT_EQ(answer.text.rfind(notice, 0), 0u) << answer.text;
        EXPECT_TRUE(fixture::Exists(file));
        EXPECT_TRUE(product::KeyExists(HKEY_CURRENT_USER, p.registryPath));
    }
}

// An update check that dies during its download (killed while the body stalls) leaves the
// download's own file in the product's folder; the uninstall removes it, and the folder.
TEST_F(Program, AFileLeftByADownloadThatDiedGoesWithTheProduct) {
    Sample p;
    const std::string file = p.AddFile("app.exe");
    p.Register();
    updatetest::HttpServer server;
    const std::string key = std::string(product::kCompany) + " " + p.name;
    server.Serve({updatetest::Ok(updatetest::Record(key, "2.0", "http://p.example/",
                                                     server.Url("/setup.exe"))),
                  updatetest::Trickle("HTTP/1.0 200 OK\r\nContent-Length: 100000",
                                      std::string(60, 'x'), 1000)});
    const std::string uninstaller = PackForQuiet(p, "UPDATE URL:" + server.Url("/info.txt") + "\n");
    updatetest::ProxySetting proxy(0, "");
    std::string staged;
    {
        UpdateAnswerer answerer;
        windriver::Process first;
        ASSERT_TRUE(first.Start("\"" + uninstaller + "\" -Update -debug -append"));
        EXPECT_EQ(first.Wait(20000), 0);
        WIN32_FIND_DATAA found;
        for (int i = 0; i < 300 && staged.empty(); ++i, Sleep(100)) {
            HANDLE find = FindFirstFileA((p.folder + "~update-*.part").c_str(), &found);
            if (find == INVALID_HANDLE_VALUE) continue;
            staged = found.cFileName;
            FindClose(find);
        }
        ASSERT_FALSE(staged.empty()) << "no download started";
        // The name carries the process that writes it.
        const DWORD pid = std::stoul(staged.substr(8));
        HANDLE copy = OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, pid);
        ASSERT_NE(copy, nullptr) << staged;
        EXPECT_TRUE(TerminateProcess(copy, 1));
        EXPECT_EQ(WaitForSingleObject(copy, 10000), WAIT_OBJECT_0);
        CloseHandle(copy);
    }
    ASSERT_TRUE(fixture::Exists(p.folder + staged));
    ForgetRelocation();

    EXPECT_EQ(QuietUninstall(uninstaller), 0);
    EXPECT_FALSE(fixture::Exists(file));
    EXPECT_FALSE(fixture::Exists(p.folder + staged));
    EXPECT_FALSE(fixture::Exists(p.folder)) << "the product's folder";
}

// "-Quiet" is for uninstalls: an update check still asks its question.
TEST_F(Program, QuietChangesNothingInUpdateMode) {
    Sample p;
    p.Register();
    std::string uninstaller = p.folder + "uninstall.exe";
    PackUninstaller(uninstaller, product::Script(p.Header() +
                                                 "UPDATE URL:http://127.0.0.1:9/version.txt\n"
                                                 "DONE:x\n"));
    BoxAnswerer answerer([](const std::string&, const std::string&) { return IDNO; }, 0);
    windriver::Process first;
    ASSERT_TRUE(first.Start("\"" + uninstaller + "\" -Update -Quiet -debug -append"));
    EXPECT_EQ(first.Wait(20000), 0);
    ASSERT_TRUE(answerer.WaitForAnswers(1, 30000));
    EXPECT_TRUE(WaitForBothExits(20000));
    EXPECT_EQ(answerer.Answers()[0].caption, "Electronic Update...");
}

}  // namespace
