// The uninstaller's keyword handlers at work on a real product: its files, registry keys,
// Start-menu group, windows, programs and components, with every dialog answered by the
// window-driving helper. Each test builds its script with the package builder and runs it
// through the interpreter as the uninstaller does.
#include <gtest/gtest.h>

#include <string>

#include "fixtures/fixture-test.h"
#include "tessel/tsl-core.h"
#include "tessel/tsl-str.h"
#include "vacate/command.h"
#include "run-script.h"
#include "update/signing.h"
#include "vacate/script.h"
#include "vacate/shell.h"

using product::Answering;
using product::FixtureCopy;
using product::Outcome;
using product::RunBytes;
using product::RunScript;
using product::Sample;
using product::Uninstalled;
using windriver::Answer;
using windriver::BoxAnswerer;

namespace {

class UninstallerEnvironment : public ::testing::Environment {
public:
    void SetUp() override {
        KeywordsRegister();
        ProgressWindowCreate();
    }
    void TearDown() override {
        ProgressWindowDestroy();
        KeywordsRelease();
    }
};

const auto* const kEnvironment = ::testing::AddGlobalTestEnvironment(new UninstallerEnvironment);

TEST(Uninstall, RemovesFilesFoldersGroupKeysAndQueuesTemporaryCopies) {
    Sample p;
    std::string files[] = {p.AddFile("app.exe"), p.AddFile("data\\a.txt"),
                           p.AddFile("data\\deep\\b.txt"), p.AddFile("docs\\readme.txt"),
                           p.AddFile("helper.dll"), p.AddFile("uninstall.exe")};
    std::string shortcuts[] = {p.AddShortcut("App"), p.AddShortcut("Read Me")};
    p.Register();
    std::string tempCopy = fixture::TempFolder() + "helper.dll";

    BoxAnswerer answerer(Answering());
    Outcome run = RunScript(p.Header() +
                            "FILE LIST:app.exe,data\\a.txt,data\\deep\\b.txt,docs\\readme.txt,"
                            "helper.dll\n"
                            "TEMP LIST:helper.dll\n"
                            "UNINSTALL NAME:uninstall.exe\n"
                            "INSTALL:\n"
                            "CREATE GROUP:" + p.group + "\n"
                            "ADD ITEM:0\tapp.exe\t\tApp\n"
                            "ADD ITEM:0\tdocs\\readme.txt\t\tRead Me\n"
                            "DONE:x\n",
                        RUN_MODE_UNINSTALL);

    EXPECT_EQ(run.ran, 1);
    ASSERT_TRUE(answerer.WaitForAnswers(2, 5000));
    std::vector<Answer> answers = answerer.Answers();
    EXPECT_EQ(answers[0].caption, "Uninstall...");
    EXPECT_EQ(answers[0].text,
              std::string("Are you sure you want to uninstall QuorvexTest ") + p.name + "?");
    EXPECT_EQ(answers[0].button, IDYES);
    EXPECT_EQ(answers[1].caption, "Uninstaller...");
    EXPECT_EQ(answers[1].text, Uninstalled(p));

    for (const std::string& f : files) EXPECT_FALSE(fixture::Exists(f)) << f;
    for (const std::string& s : shortcuts) EXPECT_FALSE(fixture::Exists(s)) << s;
    // Emptied folders go, the product's own folder included; the temporary folder stays.
    EXPECT_FALSE(fixture::Exists(p.folder));
    EXPECT_FALSE(fixture::Exists(product::ProgramsFolder() + p.group));
    EXPECT_TRUE(fixture::Exists(fixture::TempFolder()));
    EXPECT_FALSE(product::KeyExists(HKEY_CURRENT_USER, p.registryPath));
    EXPECT_FALSE(product::KeyExists(HKEY_LOCAL_MACHINE, p.uninstallKey));
    // The temporary-list file was copied away first and waits for the reboot.
    EXPECT_EQ(fixture::ReadAll(tempCopy), "data");
    EXPECT_TRUE(product::IsPendingDelete(tempCopy));
    fixture::ForgetPendingDeletion(tempCopy);
    DeleteFileA(tempCopy.c_str());
}

TEST(Uninstall, DeclinedConfirmationLeavesEverything) {
    Sample p;
    std::string file = p.AddFile("app.exe");
    std::string shortcut = p.AddShortcut("App");
    p.Register();

    BoxAnswerer answerer(Answering(IDNO));
    Outcome run = RunScript(p.Header() +
                            "FILE LIST:app.exe\n"
                            "INSTALL:\n"
                            "CREATE GROUP:" + p.group + "\n"
                            "ADD ITEM:0\tapp.exe\t\tApp\n"
                            "DONE:x\n",
                        RUN_MODE_UNINSTALL);

    // No ends the uninstall without a word more; the later commands run in mode 0.
    EXPECT_EQ(run.ran, 1);
    EXPECT_EQ(run.context.runMode, RUN_MODE_CANCELLED);
    std::vector<Answer> answers = answerer.Answers();
    ASSERT_EQ(answers.size(), 1u);
    EXPECT_EQ(answers[0].button, IDNO);
    EXPECT_TRUE(fixture::Exists(file));
    EXPECT_TRUE(fixture::Exists(shortcut));
    EXPECT_TRUE(product::KeyExists(HKEY_CURRENT_USER, p.registryPath));
    EXPECT_TRUE(product::KeyExists(HKEY_LOCAL_MACHINE, p.uninstallKey));
}

TEST(Uninstall, MissingProductKeyIsReportedAndNothingRemoved) {
    Sample p;
    std::string file = p.AddFile("app.exe");
    BoxAnswerer answerer(Answering(IDYES));
    Outcome run = RunScript(p.Header() + "FILE LIST:app.exe\nINSTALL:\nDONE:x\n", RUN_MODE_UNINSTALL);

    EXPECT_EQ(run.ran, 1);
    EXPECT_EQ(run.context.runMode, RUN_MODE_CANCELLED);
    ASSERT_TRUE(answerer.WaitForAnswers(2, 5000));
    std::vector<Answer> answers = answerer.Answers();
    ASSERT_EQ(answers.size(), 2u);
    EXPECT_EQ(answers[1].caption, "Uninstall problem...");
    EXPECT_EQ(answers[1].text, "Unable to find previous installation; files could not be removed.");
    EXPECT_TRUE(fixture::Exists(file));
}

TEST(Uninstall, RunningProductStopsTheScript) {
    Sample p;
    std::string file = p.AddFile("app.exe");
    p.Register();
    std::string mutex = p.name + "-mutex";
    fixture::ScratchFolder signals(fixture::TempFolder(), "signals");
    windriver::Process holder;
    ASSERT_TRUE(holder.Start("\"" + fixture::FixturePath("fx-mutex.exe") + "\" " + mutex + " " +
                             signals.path + "stop " + signals.path + "ready"));
    ASSERT_TRUE(fixture::WaitForFile(signals.path + "ready", 10000));

    BoxAnswerer answerer(Answering());
    Outcome run = RunScript(p.Header() + "SYSTEM MUTEX:" + mutex +
                            "\nFILE LIST:app.exe\nINSTALL:\nDONE:x\n",
                        RUN_MODE_UNINSTALL);

    EXPECT_EQ(run.ran, 0);
    ASSERT_TRUE(answerer.WaitForAnswers(1, 5000));
    std::vector<Answer> answers = answerer.Answers();
    ASSERT_EQ(answers.size(), 1u);
    EXPECT_EQ(answers[0].caption, "Uninstall problem...");
    EXPECT_EQ(answers[0].text, p.name +
                                   " is currently running!  You must exit the program before "
                                   "you can uninstall the existing version.");
    EXPECT_TRUE(fixture::LogHas("Command Failed 'SYSTEM MUTEX'"));
    EXPECT_TRUE(fixture::Exists(file));

    fixture::WriteAll(signals.path + "stop", "");
    EXPECT_EQ(holder.Wait(10000), 0);
    // Once the product has ended, the same check lets the script go on.
    Outcome again = RunScript(p.Header() + "SYSTEM MUTEX:" + mutex + "\n", RUN_MODE_UNINSTALL);
    EXPECT_EQ(again.ran, 1);
}

TEST(Uninstall, UpdateModeOnlyCollectsTheProductsData) {
    Sample p;
    std::string file = p.AddFile("app.exe");
    std::string shortcut = p.AddShortcut("App");
    std::string component = FixtureCopy(p, "fx-component.dll", "component.dll");
    std::string record = p.folder + "ran.txt";
    FixtureCopy(p, "fx-args.exe", "fx-args.exe");
    p.Register();

    // "DONE" starts the update check, whose question is declined: nothing is fetched.
    BoxAnswerer answerer(Answering(IDNO));
    Outcome run = RunScript(p.Header() +
                            "UPDATE URL:http://127.0.0.1/update.txt\n"
                            "FILE LIST:app.exe\n"
                            "UNINSTALL NAME:app.exe\n"
                            "INSTALL:\n"
                            "CREATE GROUP:" + p.group + "\n"
                            "ADD ITEM:0\tapp.exe\t\tApp\n"
                            "EXECUTE:01\t0\t1\tfx-args.exe\tran.txt 0 -\n"
                            "OLE:REGISTER\tcomponent.dll\n"
                            "DONE:x\n",
                        RUN_MODE_UPDATE);

    EXPECT_EQ(run.ran, 1);
    EXPECT_EQ(run.context.runMode, RUN_MODE_UPDATE);
    EXPECT_STREQ(run.context.companyName, product::kCompany);
    EXPECT_STREQ(run.context.productName, p.name.c_str());
    EXPECT_STREQ(run.context.productVersion, "1.0");
    EXPECT_STREQ(run.context.updateUrl, "http://127.0.0.1/update.txt");
    EXPECT_STREQ(run.context.installPath, p.folder.c_str());
    EXPECT_STREQ(run.context.uninstallName, "app.exe");
    EXPECT_EQ(run.context.fileCount, 1);
    std::vector<Answer> answers = answerer.Answers();
    ASSERT_EQ(answers.size(), 1u);
    EXPECT_EQ(answers[0].caption, "Electronic Update...");
    EXPECT_EQ(answers[0].text, std::string("Would you like to check for an update to ") +
                                   product::kCompany + " " + p.name + " electronically?");
    EXPECT_TRUE(fixture::Exists(file));
    EXPECT_TRUE(fixture::Exists(shortcut));
    EXPECT_FALSE(fixture::Exists(record));
    EXPECT_TRUE(product::KeyExists(HKEY_CURRENT_USER, p.registryPath));
    EXPECT_FALSE(fixture::LogHas("Update on phase"));
}

TEST(Uninstall, RelativePathsAreNeverDeleted) {
    // An empty "Install Path" makes every item relative to the current folder; files of the
    // same names there must survive. ("INSTALL" stops at such a value; a script without it
    // goes straight to the deletions.)
    Sample p;
    std::string file = p.AddFile("app.exe");
    p.Register("");
    fixture::ScratchFolder decoy(fixture::TempFolder(), "decoy");
    std::string decoyFile = decoy.Make("app.exe");
    std::string decoyUninstaller = decoy.Make("uninstall.exe");
    char previous[MAX_PATH] = {};
    GetCurrentDirectoryA(MAX_PATH, previous);
    SetCurrentDirectoryA(decoy.path.c_str());

    BoxAnswerer answerer(Answering());
    Outcome run = RunScript(p.Header() + "FILE LIST:app.exe\nUNINSTALL NAME:uninstall.exe\nDONE:x\n",
                            RUN_MODE_UNINSTALL);
    SetCurrentDirectoryA(previous);

    EXPECT_EQ(run.ran, 1);
    EXPECT_STREQ(run.context.installPath, "");
    EXPECT_TRUE(fixture::Exists(decoyFile));
    EXPECT_TRUE(fixture::Exists(decoyUninstaller));
    EXPECT_TRUE(fixture::Exists(file));
    EXPECT_TRUE(fixture::LogHas("Not an absolute path, not deleted 'app.exe'"));
}

TEST(Uninstall, CutRegistryPathDeletesNoParentKey) {
    // A registry path too long for its field would, cut, name a parent key: the run must
    // then leave the registry alone.
    Sample p;
    p.Register();
    std::string longPath = p.registryPath + "\\" + std::string(200, 'k');
    std::string script = std::string("\x16") + "COMPANY NAME:" + product::kCompany +
                         "\r\n\x16PRODUCT NAME:" + p.name + "\r\n\x16REGISTRY PATH:" + longPath +
                         "\r\n\x16INSTALL:\r\n\x16" "DONE:x\r\n";
    BoxAnswerer answerer(Answering());
    Outcome run = RunBytes(PackBytes(script.begin(), script.end()), RUN_MODE_UNINSTALL);

    EXPECT_EQ(run.ran, 1);
    EXPECT_STREQ(run.context.registryPath, "");
    EXPECT_TRUE(product::KeyExists(HKEY_CURRENT_USER, p.registryPath));
}

TEST(Execute, SwitchesTranslationAndWaiting) {
    Sample p;
    p.Register();
    std::string program = FixtureCopy(p, "fx-args.exe", "fx-args.exe");
    fixture::ScratchFolder out(fixture::TempFolder(), "execute");
    std::string go = out.path + "go";

    BoxAnswerer answerer(Answering());
    Outcome run = RunScript(
        p.Header() +
            // 0: program and parameters translated (both relative to the install path).
            "EXECUTE:01\t0\t1\tfx-args.exe\trec0.txt 5 -\n"
            // The uninstall switch off: nothing runs.
            "EXECUTE:10\t0\t1\tfx-args.exe\tskipped.txt 0 -\n"
            // 1: only the parameters are translated.
            "EXECUTE:01\t1\t1\t" + program + "\trec1.txt 6 -\n"
            // 2: only the program is translated.
            "EXECUTE:01\t2\t1\tfx-args.exe\t" + out.path + "rec2.txt 7 -\n"
            // 3: neither; and not waited for (the program waits for the go file).
            "EXECUTE:01\t3\t0\t" + program + "\t" + out.path + "rec3.txt 8 " + go + "\n",
        RUN_MODE_UNINSTALL);

    EXPECT_EQ(run.ran, 1);
    EXPECT_EQ(fixture::ReadAll(p.folder + "rec0.txt"), p.folder + "rec0.txt\r\n5\r\n-\r\n");
    EXPECT_TRUE(fixture::LogHas("Executed '" + program + "' with a result of '5'"));
    EXPECT_FALSE(fixture::Exists(p.folder + "skipped.txt"));
    EXPECT_EQ(fixture::ReadAll(p.folder + "rec1.txt"), p.folder + "rec1.txt\r\n6\r\n-\r\n");
    EXPECT_EQ(fixture::ReadAll(out.path + "rec2.txt"), out.path + "rec2.txt\r\n7\r\n-\r\n");
    // Not waited for: the record appears only once the go file exists, and the log shows 0.
    EXPECT_FALSE(fixture::Exists(out.path + "rec3.txt"));
    EXPECT_TRUE(fixture::LogHas("Executed '" + program + "' with a result of '0'"));
    fixture::WriteAll(go, "");
    EXPECT_TRUE(fixture::WaitForFile(out.path + "rec3.txt", 10000));
    EXPECT_TRUE(answerer.Answers().empty());
}

TEST(Ole, RegisterCallsBothEntryPointsOtherActionsOnlyRegistration) {
    Sample p;
    p.Register();
    FixtureCopy(p, "fx-component.dll", "component.dll");
    std::string calls = p.folder + "calls.txt";
    SetEnvironmentVariableA("FX_COMPONENT_LOG", calls.c_str());

    Outcome run = RunScript(p.Header() + "OLE:register\tcomponent.dll\n", RUN_MODE_UNINSTALL);
    EXPECT_EQ(run.ran, 1);
    EXPECT_EQ(fixture::ReadAll(calls), "DllRegisterServer\r\nDllUnregisterServer\r\n");

    DeleteFileA(calls.c_str());
    run = RunScript(p.Header() + "OLE:UNREGISTER\tcomponent.dll\n", RUN_MODE_UNINSTALL);
    EXPECT_EQ(fixture::ReadAll(calls), "DllRegisterServer\r\n");

    DeleteFileA(calls.c_str());
    run = RunScript(p.Header() + "OLE:REGISTER\tcomponent.dll\n", RUN_MODE_UPDATE);
    EXPECT_FALSE(fixture::Exists(calls));
    SetEnvironmentVariableA("FX_COMPONENT_LOG", nullptr);
}

// A run-after program: a batch file that leaves a mark when the shell opens it.
std::string MarkingBatch(const Sample& p, const std::string& mark) {
    return p.AddFile("after.bat", "@echo ran> \"" + mark + "\"\r\n");
}

TEST(Window, ClosedWindowsKeepTheRunAfterProgramForDone) {
    Sample p;
    p.Register();
    std::string mark = p.folder + "mark.txt";
    MarkingBatch(p, mark);
    std::string title = p.name + " window";
    std::string windowClass = "QxTest" + std::to_string(GetCurrentProcessId());
    windriver::Process window;
    // The window gives way only to the second close request: found again on attempt 1.
    ASSERT_TRUE(window.Start("\"" + fixture::FixturePath("fx-window.exe") + "\" " + windowClass +
                             " \"" + title + "\" 2"));
    ASSERT_NE(windriver::WaitForWindow(title.c_str(), nullptr, 10000, window.Pid()), nullptr);

    Outcome run = RunScript(p.Header() + "WINDOW:0\t0\t" + title + "\t\tafter.bat\t\nDONE:x\n",
                        RUN_MODE_UPDATE);
    EXPECT_EQ(run.ran, 1);
    EXPECT_EQ(window.Wait(10000), 0);
    EXPECT_STREQ(run.context.runAfter, (p.folder + "after.bat").c_str());
    EXPECT_TRUE(fixture::WaitForFile(mark, 20000));
}

TEST(Window, ProductNotRunningLeavesNoRunAfterProgram) {
    Sample p;
    p.Register();
    std::string mark = p.folder + "mark.txt";
    MarkingBatch(p, mark);
    Outcome run = RunScript(p.Header() + "WINDOW:0\t0\tno such window " + p.name +
                            "\t\tafter.bat\t\nDONE:x\n",
                        RUN_MODE_UPDATE);
    EXPECT_EQ(run.ran, 1);
    EXPECT_STREQ(run.context.runAfter, "");
    Sleep(500);
    EXPECT_FALSE(fixture::Exists(mark));
}

TEST(Window, NotifyOrStubbornWindowStopsTheScript) {
    Sample p;
    p.Register();
    std::string file = p.AddFile("app.exe");
    std::string title = p.name + " window";
    windriver::Process window;
    ASSERT_TRUE(window.Start("\"" + fixture::FixturePath("fx-window.exe") + "\" QxStubborn \"" +
                             title + "\" 0"));
    ASSERT_NE(windriver::WaitForWindow(title.c_str(), nullptr, 10000, window.Pid()), nullptr);

    {
        BoxAnswerer answerer(Answering());
        Outcome run = RunScript(p.Header() + "WINDOW:1\t0\t" + title +
                                "\t\t\tPlease close the product first.\nFILE LIST:app.exe\n"
                                "INSTALL:\nDONE:x\n",
                            RUN_MODE_UNINSTALL);
        EXPECT_EQ(run.ran, 0);
        ASSERT_TRUE(answerer.WaitForAnswers(1, 5000));
        EXPECT_EQ(answerer.Answers()[0].text, "Please close the product first.");
        EXPECT_EQ(answerer.Answers().size(), 1u);
    }
    {
        // Close mode with a window that never gives way: ten attempts, then the stop.
        BoxAnswerer answerer(Answering());
        Outcome run = RunScript(p.Header() + "WINDOW:0\t0\t" + title +
                                "\t\t\t\nFILE LIST:app.exe\nINSTALL:\nDONE:x\n",
                            RUN_MODE_UNINSTALL);
        EXPECT_EQ(run.ran, 0);
        EXPECT_TRUE(answerer.Answers().empty());
        EXPECT_TRUE(fixture::LogHas("Unable to close Window 0:'" + title + "'"));
    }
    EXPECT_TRUE(fixture::Exists(file));
    window.Kill();
}

}  // namespace

namespace {

std::string FolderFrom(UINT (*get)(char*, UINT)) {
    char path[MAX_PATH] = {};
    get(path, MAX_PATH);
    std::string folder = path;
    if (folder.back() != '\\') folder += '\\';
    return folder;
}
UINT WindowsFolder(char* b, UINT n) { return GetWindowsDirectoryA(b, n); }
UINT SystemFolder(char* b, UINT n) { return GetSystemDirectoryA(b, n); }
UINT TempFolderOf(char* b, UINT n) { return GetTempPathA(n, b); }
UINT CurrentFolder(char* b, UINT n) { return GetCurrentDirectoryA(n, b); }

std::string ProgramFiles() {
    char value[MAX_PATH] = {};
    DWORD size = sizeof value;
    HKEY key;
    RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software\\Microsoft\\Windows\\CurrentVersion", 0, KEY_READ,
                  &key);
    RegQueryValueExA(key, "ProgramFilesDir", nullptr, nullptr, reinterpret_cast<BYTE*>(value),
                     &size);
    RegCloseKey(key);
    std::string folder = value;
    if (folder.back() != '\\') folder += '\\';
    return folder;
}

std::string Translate(ScriptContext* context, const std::string& text, int* flags = nullptr,
                      int* result = nullptr) {
    char out[SCRIPT_PATH_SIZE];
    int ignored = 0;
    int ok = TranslatePath(context, text.c_str(), out, flags != nullptr ? flags : &ignored);
    if (result != nullptr) *result = ok;
    return out;
}

}  // namespace

TEST(TranslatePath, EveryPathCode) {
    ScriptContext context{};
    context.runMode = RUN_MODE_UNINSTALL;
    StrCopy(context.installPath, "C:\\Program Files\\Quorvex Test\\");
    const std::string install = context.installPath;
    const std::string exeFolder =
        windriver::BesideSelf("x").substr(0, windriver::BesideSelf("x").size() - 1);

    EXPECT_EQ(Translate(&context, "bin\\app.exe"), install + "bin\\app.exe");
    EXPECT_EQ(Translate(&context, "\\bin\\app.exe"), install + "bin\\app.exe");  // one '\' dropped
    EXPECT_EQ(Translate(&context, "$0Maker\\app.exe"), ProgramFiles() + "Maker\\app.exe");
    EXPECT_EQ(Translate(&context, "$1win.ini"), FolderFrom(WindowsFolder) + "win.ini");
    EXPECT_EQ(Translate(&context, "$2x.dll"), FolderFrom(SystemFolder) + "x.dll");
    EXPECT_EQ(Translate(&context, "$3x"), exeFolder + "x");
    EXPECT_EQ(Translate(&context, "$4x"), FolderFrom(TempFolderOf) + "x");
    EXPECT_EQ(Translate(&context, "$5x"), FolderFrom(CurrentFolder) + "x");
    EXPECT_EQ(Translate(&context, "$6x"), FolderFrom(TempFolderOf) + "x");
    EXPECT_EQ(Translate(&context, "$7x"), install + "x");
    EXPECT_TRUE(fixture::LogHas("$0 Translates to '" + ProgramFiles() + "'"));

    // "$?" only raises a flag; codes apply in a row, and "$7" keeps what is there.
    int flags = 0;
    EXPECT_EQ(Translate(&context, "$0$?setup.exe", &flags), ProgramFiles() + "setup.exe");
    EXPECT_EQ(flags, 1);
    EXPECT_EQ(Translate(&context, "$4$7x", &flags), FolderFrom(TempFolderOf) + "x");
    EXPECT_EQ(flags, 0);
    EXPECT_EQ(Translate(&context, "$qx"), install + "x");
    EXPECT_TRUE(fixture::LogHas("Unknown command 'q'"));
    EXPECT_EQ(Translate(&context, "$"), install + "$");  // no code follows: nothing read past

    // The temporary folder only while uninstalling.
    context.runMode = RUN_MODE_UPDATE;
    EXPECT_EQ(Translate(&context, "$6x"), install + "x");

    // A path too long for the buffer is not cut into another one: it is refused.
    int result = 1;
    EXPECT_EQ(Translate(&context, std::string(400, 'a'), nullptr, &result), "");
    EXPECT_EQ(result, 0);
}

TEST(Keywords, NamingKeywordsFillTheContextAndPassedOverLinesDoNotDisturb) {
    Sample p;
    p.Register();
    Outcome run = RunScript(p.Header() +
                                "TEXT:Some words\n"
                                "SUPPORT URL:http://www.quorvex.example/help\n"
                                "FONT:anything at all, even:colons\n"
                                "LICENSE:license.txt\n"
                                "INSTALL SIZE:1234\n"
                                "INSTALL NAME:setup.exe\n"
                                "BREAK:\n"
                                "UPDATE URL:http://127.0.0.1/u.txt\n",
                            RUN_MODE_UPDATE);
    EXPECT_EQ(run.ran, 1);
    EXPECT_STREQ(run.context.text, "Some words");
    EXPECT_STREQ(run.context.supportUrl, "http://www.quorvex.example/help");
    EXPECT_EQ(run.context.installSize, 1234);
    EXPECT_STREQ(run.context.installName, "setup.exe");
    EXPECT_STREQ(run.context.updateUrl, "http://127.0.0.1/u.txt");
    EXPECT_STREQ(run.context.installDir, (p.name + "\\").c_str());

    // Without a product key the install path is the program-files folder and the install
    // folder; a number too long to read is no size, and the run goes on.
    std::string digits(100, '9');
    std::string script = std::string("\x16") + "INSTALL DIR:Maker\\Product\r\n\x16INSTALL PATH:\r\n" +
                         "\x16INSTALL SIZE:" + digits + "\r\n\x16TEXT:after\r\n";
    run = RunBytes(PackBytes(script.begin(), script.end()), RUN_MODE_UNINSTALL);
    EXPECT_EQ(run.ran, 1);
    EXPECT_STREQ(run.context.installPath, (ProgramFiles() + "Maker\\Product\\").c_str());
    EXPECT_EQ(run.context.installSize, 0);
    EXPECT_STREQ(run.context.text, "after");
    EXPECT_TRUE(fixture::LogHas("Install size not a number"));

    // An install folder that climbs out of the program-files folder gives no install path,
    // so no item is taken for a file of the folder it reaches.
    script = std::string("\x16") + "INSTALL DIR:Maker\\..\\..\\Windows\r\n\x16INSTALL PATH:\r\n";
    run = RunBytes(PackBytes(script.begin(), script.end()), RUN_MODE_UNINSTALL);
    EXPECT_EQ(run.ran, 1);
    EXPECT_STREQ(run.context.installPath, "");
    EXPECT_TRUE(fixture::LogHas("Path reaches outside its folder, passed over 'Maker\\..\\..\\Windows\\'"));
}

TEST(Keywords, UpdateKeyAsksForSignedUpdatesEvenWhenItCannotBeRead) {
    Sample p;
    p.Register();
    Outcome run = RunScript(p.Header(), RUN_MODE_UPDATE);
    EXPECT_EQ(run.context.signedUpdates, 0);

    // In every mode; the key is kept as written.
    const std::string key = signtest::Hex(signtest::PublicBlob(2048));
    for (int32_t mode : {RUN_MODE_UPDATE, RUN_MODE_UNINSTALL}) {
        run = RunScript(p.Header() + "UPDATE KEY:" + key + "\n", mode);
        EXPECT_EQ(run.ran, 1);
        EXPECT_EQ(run.context.signedUpdates, 1);
        EXPECT_EQ(run.context.updateKey, key);
    }
    EXPECT_FALSE(fixture::LogHas("Update key cannot be read"));

    // A key the builder would refuse still asks for signatures, which then never check out;
    // one too long for its field is not cut into another key.
    run = RunBytes(product::Unchecked("UPDATE KEY:zz\nTEXT:after"), RUN_MODE_UPDATE);
    EXPECT_EQ(run.context.signedUpdates, 1);
    EXPECT_STREQ(run.context.updateKey, "zz");
    EXPECT_STREQ(run.context.text, "after");
    EXPECT_TRUE(fixture::LogHas("Update key cannot be read (not hexadecimal): no downloaded "
                                "installer will run"));
    run = RunBytes(product::Unchecked("UPDATE KEY:" + key + key + "\nTEXT:after"), RUN_MODE_UPDATE);
    EXPECT_EQ(run.context.signedUpdates, 1);
    EXPECT_STREQ(run.context.updateKey, "");
    EXPECT_STREQ(run.context.text, "after");
    EXPECT_TRUE(fixture::LogHas("Update key cannot be read (empty)"));
}

TEST(Window, AskModeClosesOnYesAndStopsOnNo) {
    Sample p;
    p.Register();
    std::string title = p.name + " window";
    for (int answer : {IDYES, IDNO}) {
        windriver::Process window;
        ASSERT_TRUE(window.Start("\"" + fixture::FixturePath("fx-window.exe") + "\" QxAsk \"" +
                                 title + "\" 1"));
        ASSERT_NE(windriver::WaitForWindow(title.c_str(), nullptr, 10000, window.Pid()), nullptr);
        BoxAnswerer answerer([answer](const std::string&, const std::string&) { return answer; });
        Outcome run = RunScript(p.Header() + "WINDOW:2\t0\t" + title + "\t\t\tClose it now?\n",
                                RUN_MODE_UNINSTALL);
        ASSERT_TRUE(answerer.WaitForAnswers(1, 5000));
        EXPECT_EQ(answerer.Answers()[0].caption, "Attempt #1");
        EXPECT_EQ(answerer.Answers()[0].text, "Close it now?");
        if (answer == IDYES) {
            EXPECT_EQ(run.ran, 1);
            EXPECT_EQ(window.Wait(10000), 0);
        } else {
            EXPECT_EQ(run.ran, 0);
            EXPECT_TRUE(IsWindow(windriver::FindWindowOf(title.c_str(), nullptr, window.Pid())));
            window.Kill();
        }
    }
}
