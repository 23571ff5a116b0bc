// Never a false success and never a hang: what the uninstaller finds in the registry may be
// of any type and size, and a script may ask for any time-out; the run either works or
// stops before anything is removed, and always ends.
#include <gtest/gtest.h>

#include <string>

#include "fixtures/fixture-test.h"
#include "run-script.h"
#include "vacate/ffs.h"
#include "vacate/prompt.h"

using product::Answering;
using product::Outcome;
using product::Sample;
using windriver::Answer;
using windriver::BoxAnswerer;

namespace {

struct Value {
    const char* what;
    DWORD type;
    std::string bytes;
};

TEST(Faults, AnInstallPathThatCannotBeUsedStopsTheRunBeforeAnythingGoes) {
    const std::string longFolder = fixture::TempFolder() + std::string(170, 'd') + "\\";
    const Value values[] = {
        {"longer than the install path's field", REG_SZ, longFolder + '\0'},
        {"a number", REG_DWORD, std::string("\x01\x02\x03\x04", 4)},
        {"bytes", REG_BINARY, "C:\\x\\"},
        {"empty", REG_SZ, std::string(1, '\0')},
        {"relative", REG_SZ, std::string("Prod\\", 6)},
    };
    for (const Value& value : values) {
        SCOPED_TRACE(value.what);
        Sample p;
        std::string file = p.AddFile("app.exe");
        p.Register();
        product::SetValue(HKEY_CURRENT_USER, p.registryPath, "Install Path", value.type,
                          value.bytes);

        BoxAnswerer answerer(Answering());
        Outcome run = product::RunScript(
            p.Header() + "FILE LIST:app.exe\nUNINSTALL NAME:app.exe\nINSTALL:\nDONE:x\n",
            RUN_MODE_UNINSTALL);
        EXPECT_EQ(run.ran, 1);
        EXPECT_EQ(run.context.runMode, RUN_MODE_CANCELLED);
        ASSERT_TRUE(answerer.WaitForAnswers(2, 5000));
        std::vector<Answer> answers = answerer.Answers();
        ASSERT_EQ(answers.size(), 2u);
        EXPECT_EQ(answers[1].text,
                  "Unable to find previous installation; files could not be removed.");
        // The product is there; it cannot be removed: a failure, never "not found".
        EXPECT_EQ(OutcomeExitCode(), EXIT_FAILED);
        EXPECT_TRUE(fixture::Exists(file));
        EXPECT_TRUE(product::KeyExists(HKEY_CURRENT_USER, p.registryPath));
        EXPECT_TRUE(product::KeyExists(HKEY_LOCAL_MACHINE, p.uninstallKey));
    }

    // A folder named outside the ANSI code page that has no short form (it is not there):
    // the 8-bit read would give a look-alike, whose files are all "already gone". The 9x line
    // has no such names.
    if (fixture::NineX()) return;
    Sample p;
    std::string file = p.AddFile("app.exe");
    p.Register();
    const std::wstring foreign = L"C:\\\u03A9" + std::wstring(p.name.begin(), p.name.end()) + L"\\";
    HKEY key;
    ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, p.registryPath.c_str(), 0, KEY_SET_VALUE, &key),
              ERROR_SUCCESS);
    RegSetValueExW(key, L"Install Path", 0, REG_SZ,
                   reinterpret_cast<const BYTE*>(foreign.c_str()),
                   static_cast<DWORD>((foreign.size() + 1) * sizeof(wchar_t)));
    RegCloseKey(key);
    BoxAnswerer answerer(Answering());
    Outcome run = product::RunScript(p.Header() + "FILE LIST:app.exe\nINSTALL:\nDONE:x\n",
                                     RUN_MODE_UNINSTALL);
    EXPECT_EQ(run.context.runMode, RUN_MODE_CANCELLED);
    ASSERT_TRUE(answerer.WaitForAnswers(2, 5000));
    EXPECT_EQ(answerer.Answers()[1].text.find(" cannot be uninstalled: the install folder cannot "
                                              "be used: it does not exist, or its name holds"),
              std::string(product::kCompany).size() + 1 + p.name.size());
    EXPECT_TRUE(product::KeyExists(HKEY_CURRENT_USER, p.registryPath));
    EXPECT_TRUE(product::KeyExists(HKEY_LOCAL_MACHINE, p.uninstallKey));
}

// An install folder too long for the install path's field (159 characters and its
// backslash) as it is named is taken in its short form; one that fits is taken as it is.
// Either way everything of the product goes.
TEST(Faults, AnInstallFolderTooLongForItsFieldIsTakenInItsShortForm) {
    const struct {
        size_t length;  // of the folder's path, without its closing backslash
        bool stored;    // the value holds that backslash
    } folders[] = {{158, false}, {159, false}, {159, true}, {163, false}, {240, true}};
    for (const auto& folder : folders) {
        SCOPED_TRACE(std::to_string(folder.length) + (folder.stored ? " with" : " without") +
                     " its backslash");
        Sample p;
        fixture::ScratchFolder parent(fixture::TempFolder(), "long");
        ASSERT_LT(parent.path.size(), folder.length);
        const std::string path =
            parent.path + std::string(folder.length - parent.path.size(), 'd');
        const std::string file = parent.Make(path.substr(parent.path.size()) + "\\app.exe");
        const std::string uninstaller = parent.Make(path.substr(parent.path.size()) +
                                                    "\\uninstall.exe");
        ASSERT_TRUE(fixture::Exists(file));
        p.Register(folder.stored ? path + "\\" : path);

        BoxAnswerer answerer(Answering());
        Outcome run = product::RunScript(
            p.Header() + "FILE LIST:app.exe\nUNINSTALL NAME:uninstall.exe\nINSTALL:\nDONE:x\n",
            RUN_MODE_UNINSTALL);
        EXPECT_EQ(run.ran, 1);
        ASSERT_TRUE(answerer.WaitForAnswers(2, 5000));
        EXPECT_EQ(answerer.Answers()[1].text, product::Uninstalled(p));
        EXPECT_EQ(OutcomeExitCode(), EXIT_UNINSTALLED);
        EXPECT_FALSE(fixture::Exists(file));
        EXPECT_FALSE(fixture::Exists(uninstaller));
        EXPECT_FALSE(fixture::Exists(path)) << "the emptied folder goes too";
        EXPECT_FALSE(product::KeyExists(HKEY_CURRENT_USER, p.registryPath));
        EXPECT_FALSE(product::KeyExists(HKEY_LOCAL_MACHINE, p.uninstallKey));
    }
}

// "ProgramFilesDir" as the system keeps it, put back when the test ends.
class ProgramFilesValue {
public:
    ProgramFilesValue() {
        HKEY key;
        if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kKey, 0, KEY_READ, &key) != ERROR_SUCCESS) return;
        char data[1024];
        DWORD size = sizeof data;
        if (RegQueryValueExA(key, "ProgramFilesDir", nullptr, &type_,
                             reinterpret_cast<BYTE*>(data), &size) == ERROR_SUCCESS) {
            saved_ = true;
            bytes_.assign(data, size);
        }
        RegCloseKey(key);
    }
    ~ProgramFilesValue() {
        if (saved_) product::SetValue(HKEY_LOCAL_MACHINE, kKey, "ProgramFilesDir", type_, bytes_);
    }
    ProgramFilesValue(const ProgramFilesValue&) = delete;
    ProgramFilesValue& operator=(const ProgramFilesValue&) = delete;
    static constexpr const char* kKey = "Software\\Microsoft\\Windows\\CurrentVersion";

private:
    bool saved_ = false;
    DWORD type_ = REG_SZ;
    std::string bytes_;
};

// "$0" names the program-files folder from the registry; a value of any other type or
// size, or one that names no folder, gives the folder on the system's drive instead, never
// a relative or cut path.
TEST(Faults, AProgramFilesValueThatCannotBeUsedGivesTheSystemDrivesFolder) {
    ProgramFilesValue kept;
    char system[MAX_PATH] = {};
    GetSystemDirectoryA(system, MAX_PATH);
    const std::string fallback = std::string(system, 3) + "Program Files\\";
    const Value values[] = {
        {"a number", REG_DWORD, std::string("\x01\x02\x03\x04", 4)},
        {"bytes", REG_BINARY, "D:\\Apps\\"},
        {"longer than a path", REG_SZ, "C:\\" + std::string(400, 'p') + '\0'},
        {"empty", REG_SZ, std::string(1, '\0')},
        {"relative", REG_SZ, std::string("Apps\0", 5)},
    };
    for (const Value& value : values) {
        SCOPED_TRACE(value.what);
        product::SetValue(HKEY_LOCAL_MACHINE, ProgramFilesValue::kKey, "ProgramFilesDir",
                          value.type, value.bytes);
        ScriptContext context{};
        context.runMode = RUN_MODE_UNINSTALL;
        char out[SCRIPT_PATH_SIZE];
        int flags = 0;
        EXPECT_EQ(TranslatePath(&context, "$0Maker\\app.exe", out, &flags), 1);
        EXPECT_EQ(std::string(out), fallback + "Maker\\app.exe");
    }
}

TEST(Faults, AnInstallPathStoredWithoutItsTerminatorIsReadWhole) {
    Sample p;
    std::string file = p.AddFile("app.exe");
    p.Register();
    product::SetValue(HKEY_CURRENT_USER, p.registryPath, "Install Path", REG_SZ, p.folder);

    BoxAnswerer answerer(Answering());
    Outcome run = product::RunScript(p.Header() + "FILE LIST:app.exe\nINSTALL:\nDONE:x\n",
                                     RUN_MODE_UNINSTALL);
    EXPECT_EQ(run.ran, 1);
    ASSERT_TRUE(answerer.WaitForAnswers(2, 5000));
    EXPECT_EQ(answerer.Answers()[1].text, product::Uninstalled(p));
    EXPECT_FALSE(fixture::Exists(file));
}

}  // namespace

namespace {

TEST(Faults, AWindowTimeOutIsCutToOneMinute) {
    // The window gives way at the first close request; the wait behind it is a tenth of
    // the time-out, which would be days for the script's number.
    Sample p;
    p.Register();
    std::string title = p.name + " window";
    windriver::Process window;
    ASSERT_TRUE(window.Start("\"" + fixture::FixturePath("fx-window.exe") + "\" QxSlow \"" +
                             title + "\" 1"));
    ASSERT_NE(windriver::WaitForWindow(title.c_str(), nullptr, 10000, window.Pid()), nullptr);

    DWORD started = GetTickCount();
    Outcome run = product::RunScript(
        p.Header() + "WINDOW:0\t99999999999\t" + title + "\t\t\t\n", RUN_MODE_UNINSTALL);
    DWORD spent = GetTickCount() - started;
    EXPECT_EQ(run.ran, 1);
    EXPECT_EQ(window.Wait(10000), 0);
    EXPECT_TRUE(fixture::LogHas("Window time-out of 2147483647 ms cut to 60000 ms"));
    EXPECT_GE(spent, 5500u);
    EXPECT_LT(spent, 30000u);
}

}  // namespace

namespace {

// The archive cut at every length from its whole size down to nothing: the reader refuses
// it (the program then shows the damaged-archive notice), or what it serves runs to a clean
// end. A crash or an abort ends this test program.
TEST(Faults, ATruncatedArchiveIsRefusedOrRunsCleanlyAtEveryLength) {
    Sample p;
    std::string file = p.AddFile("app.exe");
    p.Register();
    PackBytes packed;
    std::string error;
    ASSERT_TRUE(PackArchive(PackBytes(600, 'x'),
                            product::Script(p.Header() +
                                            "FILE LIST:app.exe\nUNINSTALL NAME:uninstall.exe\n"
                                            "INSTALL:\nDONE:x\n"),
                            &packed, &error))
        << error;
    fixture::ScratchFolder scratch(fixture::TempFolder(), "truncated");
    const std::string path = scratch.path + "vacate.exe";
    ASSERT_TRUE(product::WriteBytes(path, packed));
    HANDLE cut = CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                             nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(cut, INVALID_HANDLE_VALUE);

    BoxAnswerer answerer(Answering(IDNO));
    int opened = 0;
    for (size_t length = packed.size() + 1; length-- > 0;) {
        ASSERT_EQ(SetFilePointer(cut, static_cast<LONG>(length), nullptr, FILE_BEGIN), length);
        ASSERT_TRUE(SetEndOfFile(cut));
        if (!FfsOpen(path.c_str())) continue;
        ++opened;
        ScriptContext* context = nullptr;
        // An archive that opens always serves its script.
        ASSERT_EQ(ScriptLoad(&context, "install.dat", RUN_MODE_UNINSTALL), 1) << length;
        ScriptRun(context, nullptr);
        ScriptFree(&context);
        FfsClose();
    }
    CloseHandle(cut);
    EXPECT_GE(opened, 1);  // the whole archive, at least
    for (const Answer& answer : answerer.Answers()) EXPECT_NE(answer.caption, "Internal error...");
    EXPECT_TRUE(fixture::Exists(file));  // every question was answered No
}

}  // namespace
