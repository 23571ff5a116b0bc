// The uninstaller acts inside the product only: names that climb out of their folder, a
// base folder without its closing backslash, files that were never there, relative
// component and program paths and an uninstall entry name too long for its buffer must
// never make it touch anything beside the product. The scripts bypass the package
// builder's checks, as a damaged or foreign script would.
#include <gtest/gtest.h>

#include <string>

#include "fixtures/fixture-test.h"
#include "run-script.h"

using product::Answering;
using product::Outcome;
using product::RunBytes;
using product::Sample;
using product::Unchecked;
using windriver::BoxAnswerer;

namespace {

TEST(Inside, ListItemsAndTheUninstallNameMayNotClimbOutOfTheProduct) {
    Sample p;
    std::string app = p.AddFile("app.exe");
    // Beside the product folder, and in the user's profile folder above the temporary one,
    // where a temporary-list item "..\x" would be copied to.
    std::string neighbour = fixture::TempFolder() + p.name + "-outside.txt";
    std::string productNotes = fixture::TempFolder() + p.name + "-notes.txt";
    std::string userNotes = fixture::TempFolder() + "..\\" + p.name + "-notes.txt";
    fixture::WriteAll(neighbour, "neighbour");
    fixture::WriteAll(productNotes, "product copy");
    fixture::WriteAll(userNotes, "user's notes");
    p.Register();

    BoxAnswerer answerer(Answering());
    Outcome run = RunBytes(Unchecked(p.Header() + "FILE LIST:app.exe,..\\" + p.name +
                                     "-outside.txt,$7..\\" + p.name + "-outside.txt\n"
                                     "TEMP LIST:..\\" + p.name + "-notes.txt\n"
                                     "UNINSTALL NAME:sub\\...\\" + p.name + "-outside.txt\n"
                                     "INSTALL:\nDONE:x\n"),
                           RUN_MODE_UNINSTALL);

    EXPECT_EQ(run.ran, 1);
    EXPECT_FALSE(fixture::Exists(app));
    EXPECT_EQ(fixture::ReadAll(neighbour), "neighbour");
    EXPECT_EQ(fixture::ReadAll(userNotes), "user's notes");
    EXPECT_FALSE(product::IsPendingDelete(userNotes));
    EXPECT_TRUE(fixture::LogHas("Path reaches outside its folder, passed over '..\\" + p.name +
                                "-outside.txt'"));
    EXPECT_TRUE(fixture::LogHas("passed over '..\\" + p.name + "-notes.txt'"));
    fixture::ForgetPendingDeletion(userNotes);
    for (const std::string& f : {neighbour, productNotes, userNotes}) DeleteFileA(f.c_str());
}

TEST(Inside, GroupAndItemNamesMayNotClimbOutOfTheGroup) {
    Sample p;
    p.Register();
    std::string shortcut = p.AddShortcut("App");
    // In the Start menu above the programs folder, and in the programs folder beside the
    // product's group.
    std::string outsideGroup = product::ProgramsFolder() + "..\\" + p.name + "-out";
    CreateDirectoryA(outsideGroup.c_str(), nullptr);
    std::string outsideShortcut = fixture::MakeBelow(outsideGroup + "\\", "App.lnk", "keep");
    ASSERT_TRUE(fixture::Exists(outsideShortcut));
    std::string besideGroup =
        fixture::MakeBelow(product::ProgramsFolder(), p.name + "-item.lnk", "keep");

    BoxAnswerer answerer(Answering());
    Outcome run = RunBytes(Unchecked(p.Header() + "INSTALL:\n"
                                                  "CREATE GROUP:..\\" + p.name + "-out\n"
                                                  "ADD ITEM:0\tapp.exe\t\tApp\n"
                                                  "CREATE GROUP:" + p.group + "\n"
                                                  "ADD ITEM:0\tapp.exe\t\t..\\" + p.name +
                                     "-item\n"
                                     "ADD ITEM:0\tapp.exe\t\tApp\n"
                                     "DONE:x\n"),
                           RUN_MODE_UNINSTALL);

    EXPECT_EQ(run.ran, 1);
    EXPECT_TRUE(fixture::Exists(outsideShortcut));
    EXPECT_TRUE(fixture::Exists(besideGroup));
    EXPECT_FALSE(fixture::Exists(shortcut));
    EXPECT_TRUE(fixture::LogHas("passed over '..\\" + p.name + "-out'"));
    fixture::RemoveTree(outsideGroup);
    DeleteFileA(besideGroup.c_str());
}

TEST(Inside, ComponentsAndProgramsNeedAFullPathInsideTheProduct) {
    Sample p;
    fixture::ScratchFolder elsewhere(fixture::TempFolder(), "elsewhere");
    // A component and a program in a folder beside the product, which is also made the
    // current folder.
    CopyFileA(fixture::FixturePath("fx-component.dll").c_str(),
              (elsewhere.path + "component.dll").c_str(), FALSE);
    CopyFileA(fixture::FixturePath("fx-args.exe").c_str(), (elsewhere.path + "fx-args.exe").c_str(),
              FALSE);
    std::string calls = elsewhere.path + "calls.txt";
    std::string record = elsewhere.path + "ran.txt";
    SetEnvironmentVariableA("FX_COMPONENT_LOG", calls.c_str());
    std::string sibling = elsewhere.path.substr(fixture::TempFolder().size());
    char previous[MAX_PATH] = {};
    GetCurrentDirectoryA(MAX_PATH, previous);
    SetCurrentDirectoryA(elsewhere.path.c_str());

    // An empty "Install Path" leaves the names relative: they would be looked up from the
    // current folder and the search path.
    p.Register("");
    Outcome run = RunBytes(Unchecked(p.Header() + "OLE:REGISTER\tcomponent.dll\n"
                                                  "EXECUTE:01\t0\t1\tfx-args.exe\t" + record +
                                     " 0 -\n"
                                     "EXECUTE:01\t3\t1\tfx-args.exe\t" + record + " 0 -\n"),
                           RUN_MODE_UNINSTALL);
    EXPECT_EQ(run.ran, 1);
    EXPECT_TRUE(fixture::LogHas("Not an absolute path, not loaded 'component.dll'"));
    EXPECT_TRUE(fixture::LogHas("Not an absolute path, not run 'fx-args.exe'"));

    // With the product's folder, names that climb out of it into the folder beside.
    p.Register();
    run = RunBytes(Unchecked(p.Header() + "OLE:REGISTER\t..\\" + sibling + "component.dll\n"
                                          "EXECUTE:01\t0\t1\t..\\" + sibling + "fx-args.exe\t" +
                             record + " 0 -\n"
                                      "EXECUTE:01\t1\t1\t" + p.folder + "..\\" + sibling +
                             "fx-args.exe\t" + record + " 0 -\n"),
                   RUN_MODE_UNINSTALL);
    SetCurrentDirectoryA(previous);
    SetEnvironmentVariableA("FX_COMPONENT_LOG", nullptr);

    EXPECT_EQ(run.ran, 1);
    EXPECT_FALSE(fixture::Exists(calls));
    EXPECT_FALSE(fixture::Exists(record));
    EXPECT_TRUE(fixture::LogHas("passed over '..\\" + sibling + "component.dll'"));
    EXPECT_TRUE(fixture::LogHas("passed over '..\\" + sibling + "fx-args.exe'"));
}

TEST(Inside, ARunAfterProgramMustStayInsideTheProduct) {
    // The product's window is closed, so the run-after program would be started at the
    // end; one beside the product is not.
    Sample p;
    p.Register();
    fixture::ScratchFolder elsewhere(fixture::TempFolder(), "elsewhere");
    std::string mark = elsewhere.path + "mark.txt";
    fixture::WriteAll(elsewhere.path + "after.bat", "@echo ran> \"" + mark + "\"\r\n");
    std::string sibling = elsewhere.path.substr(fixture::TempFolder().size());
    std::string title = p.name + " window";
    windriver::Process window;
    ASSERT_TRUE(window.Start("\"" + fixture::FixturePath("fx-window.exe") + "\" QxAfter \"" +
                             title + "\" 1"));
    ASSERT_NE(windriver::WaitForWindow(title.c_str(), nullptr, 10000, window.Pid()), nullptr);

    Outcome run = RunBytes(Unchecked(p.Header() + "WINDOW:0\t0\t" + title + "\t\t..\\" +
                                     sibling + "after.bat\t\nDONE:x\n"),
                           RUN_MODE_UPDATE);
    EXPECT_EQ(run.ran, 1);
    EXPECT_EQ(window.Wait(10000), 0);
    EXPECT_STREQ(run.context.runAfter, "");
    EXPECT_TRUE(fixture::LogHas("passed over '..\\" + sibling + "after.bat'"));
    Sleep(1000);
    EXPECT_FALSE(fixture::Exists(mark));
}

TEST(Inside, AnInstallPathWithoutItsBackslashStillNamesTheProductsFolder) {
    Sample p;
    std::string file = p.AddFile("x.txt");
    std::string base = p.folder.substr(0, p.folder.size() - 1);
    std::string neighbour = base + "x.txt";  // "C:\...\Prod" joined to "x.txt" directly
    fixture::WriteAll(neighbour, "neighbour");
    p.Register(base);

    BoxAnswerer answerer(Answering());
    Outcome run = product::RunScript(p.Header() + "FILE LIST:x.txt\nINSTALL:\nDONE:x\n",
                                     RUN_MODE_UNINSTALL);
    EXPECT_EQ(run.ran, 1);
    EXPECT_STREQ(run.context.installPath, p.folder.c_str());
    EXPECT_FALSE(fixture::Exists(file));
    EXPECT_EQ(fixture::ReadAll(neighbour), "neighbour");
    DeleteFileA(neighbour.c_str());
}

TEST(Inside, OnlyFoldersOfDeletedFilesAreTidied) {
    Sample p;
    std::string app = p.AddFile("bin\\app.exe");
    fixture::ScratchFolder empty(fixture::TempFolder(), "empty");
    std::string emptyName = empty.path.substr(fixture::TempFolder().size());
    p.AddFile("gone\\");
    p.Register();

    BoxAnswerer answerer(Answering());
    Outcome run = product::RunScript(p.Header() + "FILE LIST:bin\\app.exe,gone\\never.txt,$4" +
                                         emptyName + "never.txt\nINSTALL:\nDONE:x\n",
                                     RUN_MODE_UNINSTALL);
    EXPECT_EQ(run.ran, 1);
    EXPECT_FALSE(fixture::Exists(app));
    EXPECT_FALSE(fixture::Exists(p.folder + "bin\\"));
    // Nothing was deleted from these: they stay, empty as they are.
    EXPECT_TRUE(fixture::Exists(p.folder + "gone\\"));
    EXPECT_TRUE(fixture::Exists(empty.path));
}

TEST(Inside, AnUninstallEntryNameTooLongForItsBufferIsNotActedOn) {
    // The full name needs more than 320 bytes; cut there, it would name another entry.
    // (Wine holds no key path of 319 characters, so such an entry cannot be made here to
    // show it surviving; the log shows the name was not used.)
    Sample p;
    p.Register();
    const std::string company = std::string(150, 'c');
    const std::string name = std::string(150, 'p');

    BoxAnswerer answerer(Answering());
    Outcome run = RunBytes(Unchecked("COMPANY NAME:" + company + "\nPRODUCT NAME:" + name +
                                     "\nREGISTRY PATH:" + p.registryPath +
                                     "\nUNINSTALL NAME:uninstall.exe\nINSTALL:\nDONE:x\n"),
                           RUN_MODE_UNINSTALL);
    EXPECT_EQ(run.ran, 1);
    EXPECT_TRUE(fixture::LogHas("Uninstall entry name too long, not removed '" +
                                std::string(product::kUninstallRoot) + company + " " + name +
                                "'"));
    // The product's own key is named whole and goes as before.
    EXPECT_FALSE(product::KeyExists(HKEY_CURRENT_USER, p.registryPath));
}

// A company name longer than its field is cut to 159 bytes; the entry that cut name gives
// belongs to another product and stays, while the product's own key goes as before.
TEST(Inside, AnUninstallEntryNamedAfterACutNameIsNotActedOn) {
    Sample p;
    p.Register();
    const std::string company(200, 'c');
    const std::string other = std::string(product::kUninstallRoot) + company.substr(0, 159) +
                              " " + p.name;
    product::SetString(HKEY_LOCAL_MACHINE, other, "DisplayName", "another product");

    BoxAnswerer answerer(Answering());
    Outcome run = RunBytes(Unchecked("COMPANY NAME:" + company + "\nPRODUCT NAME:" + p.name +
                                     "\nREGISTRY PATH:" + p.registryPath +
                                     "\nUNINSTALL NAME:uninstall.exe\nINSTALL:\nDONE:x\n"),
                           RUN_MODE_UNINSTALL);
    EXPECT_EQ(run.ran, 1);
    EXPECT_TRUE(product::KeyExists(HKEY_LOCAL_MACHINE, other));
    EXPECT_TRUE(fixture::LogHas("Uninstall entry named after a cut name, not removed '" + other));
    EXPECT_FALSE(product::KeyExists(HKEY_CURRENT_USER, p.registryPath));
    product::DeleteKeyTree(HKEY_LOCAL_MACHINE, other);
}

}  // namespace
