// The cache tuner when its files and the registry are not as it wrote them: a preset file
// cut short or held by another program, files it may not write, registry values of another
// type, a folder whose path is too long or named outside the code page. It always starts,
// shows what it could read, keeps the user's files as they were, writes only beside itself
// and says in its log what it could not do.
#include <gtest/gtest.h>

#include <stdio.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "program.h"
#include "spd-core/preset_bytes.h"

using presetbytes::Named;
using presetbytes::Record;
using spdtest::AnswerAll;
using spdtest::NamePrompt;
using spdtest::Spindrel;
using spdtest::Vcache;

namespace {

constexpr int kMinField = 1001;
constexpr int kNameField = 1004;
constexpr int kPathField = 1005;
constexpr int kRemove = 1019;
constexpr int kApply = 1024;

class Faults : public ::testing::Test {
protected:
    spdtest::SystemState state;
};

// Sets or clears a file's read-only attribute for the life of the object.
class ReadOnly {
public:
    explicit ReadOnly(std::string path) : path_(std::move(path)) {
        SetFileAttributesA(path_.c_str(), FILE_ATTRIBUTE_READONLY);
    }
    ~ReadOnly() { SetFileAttributesA(path_.c_str(), FILE_ATTRIBUTE_NORMAL); }
    ReadOnly(const ReadOnly&) = delete;
    ReadOnly& operator=(const ReadOnly&) = delete;

private:
    std::string path_;
};

std::vector<std::string> PresetNames(const Spindrel& spd) {
    std::vector<std::string> names = spd.Items();
    names.erase(std::remove(names.begin(), names.end(), spdtest::kCurrent), names.end());
    return names;
}

TEST_F(Faults, PresetFileCutShortShowsTheWholeRecordsBeforeTheCut) {
    std::string file = Record(Named("Alpha", 7, 1024, 4096, 512, 2048, 64)) +
                       Record(Named("Beta", 7, 2048, 8192, 512, 2048, 64));
    const size_t first = Record(Named("Alpha", 7, 1024, 4096, 512, 2048, 64)).size();
    // Cuts inside the first record, at its end, inside the second and just before its end.
    for (size_t cut : {size_t{0}, size_t{1}, first - 1, first, first + 9, file.size() - 1}) {
        SCOPED_TRACE(cut);
        Spindrel spd;
        ASSERT_TRUE(fixture::WriteAll(spd.datPath, file.substr(0, cut)));
        ASSERT_TRUE(spd.Start());
        std::vector<std::string> expected;
        if (cut >= first) expected.push_back("Alpha");
        EXPECT_EQ(PresetNames(spd), expected);
        EXPECT_EQ(spd.Exit(), 0);
    }
}

TEST_F(Faults, ReadOnlySystemIniIsLeftAsItWasAndTheTemplateStillGoes) {
    spdtest::SetVcache("1024", "8192", "512");
    spdtest::SetTemplate("Desktop", 2048, 64);
    const std::string before = fixture::ReadAll(spdtest::IniPath());
    ReadOnly locked(spdtest::IniPath());
    Spindrel spd;
    ASSERT_TRUE(spd.Start(AnswerAll(IDYES)));
    windriver::SetControlText(spd.window, kMinField, "3000");
    windriver::PressButton(spd.window, kApply);
    ASSERT_TRUE(spd.WaitForLog("Applied '"));
    EXPECT_TRUE(spd.LogHas("': the file is read-only")) << spd.Log();
    EXPECT_EQ(fixture::ReadAll(spdtest::IniPath()), before);
    // The registry is another store: the template in force is written all the same.
    EXPECT_EQ(spdtest::TemplateInForce(), "Desktop");
    EXPECT_EQ(spd.Exit(), 0);
}

// Held open by another program when the tuner starts, the file cannot be read; it is never
// written over in that run, whether the presets were changed meanwhile or not. The first
// change says once that it cannot be kept.
TEST_F(Faults, PresetFileUnreadableAtStartIsNeverWrittenOver) {
    const std::string stored = Record(Named("Stored", 7, 1024, 8192, 512, 2048, 64));
    for (bool change : {false, true}) {
        SCOPED_TRACE(change ? "presets changed" : "nothing changed");
        Spindrel spd;
        ASSERT_TRUE(fixture::WriteAll(spd.datPath, stored));
        {
            fixture::Holding held("fx-lock.exe", spd.datPath);
            ASSERT_TRUE(held.held());
            ASSERT_TRUE(spd.Start(AnswerAll(IDYES)));
        }
        EXPECT_TRUE(spd.LogHas("Unable to load file '" + spd.datPath + "'")) << spd.Log();
        EXPECT_EQ(PresetNames(spd), std::vector<std::string>{});
        if (change) {
            NamePrompt(spd, "First");
            ASSERT_TRUE(spd.WaitForAnswers(1));
            EXPECT_NE(spd.Answers()[0].text.find(spd.datPath), std::string::npos);
            NamePrompt(spd, "Second");
            windriver::PressButton(spd.window, kRemove);  // "Second", after its question
            ASSERT_TRUE(spd.WaitForAnswers(2));
            // The answer is recorded before its button goes down: the list follows.
            const std::vector<std::string> first = {"First"};
            EXPECT_TRUE(spdtest::WaitFor([&] { return PresetNames(spd) == first; }))
                << ::testing::PrintToString(PresetNames(spd));
        }
        EXPECT_EQ(spd.Exit(), 0);
        EXPECT_EQ(spd.Answers().size(), change ? 2u : 0u);
        EXPECT_EQ(fixture::ReadAll(spd.datPath), stored);
    }
}

// Folders below "C:\\" named from `name` (cut where needed), `length` characters in all with
// the last backslash, removed with everything in them at the end. The first has a name of 8
// characters of its own, its own short form.
class DeepFolder {
public:
    DeepFolder(const std::string& name, size_t length) {
        static int count;
        char unique[16];
        snprintf(unique, sizeof unique, "%06lX%02X", GetTickCount() & 0xFFFFFFul, ++count);
        top_ = std::string("C:\\") + unique;
        for (path = top_ + "\\"; path.size() < length; path += "\\") {
            CreateDirectoryA(path.c_str(), nullptr);
            path += name.substr(0, length - path.size() - 1);
        }
        CreateDirectoryA(path.c_str(), nullptr);
    }
    ~DeepFolder() { fixture::RemoveTree(top_); }
    DeepFolder(const DeepFolder&) = delete;
    DeepFolder& operator=(const DeepFolder&) = delete;

    std::string path;

private:
    std::string top_;
};

// The names in a folder.
std::vector<std::string> Entries(const std::string& folder) {
    std::vector<std::string> names;
    WIN32_FIND_DATAA entry;
    HANDLE find = FindFirstFileA((folder + "*").c_str(), &entry);
    if (find == INVALID_HANDLE_VALUE) return names;
    do {
        const std::string name = entry.cFileName;
        if (name != "." && name != "..") names.push_back(name);
    } while (FindNextFileA(find, &entry));
    FindClose(find);
    std::sort(names.begin(), names.end());
    return names;
}

// A presets file read at start that cannot be saved later (read-only; held by another
// program) keeps what it held; the presets changed stay for the run, and the first change
// that cannot be saved says once that changes last only until the program is closed.
TEST_F(Faults, APresetFileThatCannotBeSavedKeepsItsPresetsAndSaysSoOnce) {
    spdtest::SetVcache("1024", "8192", "512");
    const std::string stored = Record(Named("Stored", 7, 1024, 8192, 512, 2048, 64));
    for (bool held : {false, true}) {
        SCOPED_TRACE(held ? "held by another program" : "read-only");
        Spindrel spd;
        ASSERT_TRUE(fixture::WriteAll(spd.datPath, stored));
        const std::string folder = spd.datPath.substr(0, spd.datPath.size() - 7);
        std::unique_ptr<ReadOnly> locked;
        if (!held) locked = std::make_unique<ReadOnly>(spd.datPath);
        ASSERT_TRUE(spd.Start(AnswerAll(IDOK)));
        std::unique_ptr<fixture::Holding> holder;
        if (held) {
            holder = std::make_unique<fixture::Holding>("fx-lock.exe", spd.datPath);
            ASSERT_TRUE(holder->held());
        }
        NamePrompt(spd, "Added");
        ASSERT_TRUE(spd.WaitForLog("Unable to save file '"));
        ASSERT_TRUE(spd.WaitForAnswers(1));
        EXPECT_NE(spd.Answers()[0].text.find(spd.datPath), std::string::npos);
        EXPECT_NE(spd.Answers()[0].text.find("last only until Spindrel is closed"),
                  std::string::npos)
            << spd.Answers()[0].text;
        NamePrompt(spd, "Again");
        EXPECT_TRUE(spdtest::WaitFor([&] { return spd.Count("Unable to save file '") == 2; }));
        EXPECT_EQ(PresetNames(spd), (std::vector<std::string>{"Added", "Again", "Stored"}));
        EXPECT_EQ(spd.Exit(), 0);
        EXPECT_EQ(spd.Answers().size(), 1u);
        holder.reset();
        EXPECT_EQ(fixture::ReadAll(spd.datPath), stored);
        EXPECT_EQ(Entries(folder), (std::vector<std::string>{"debug.log", "spd.dat", "spd.exe"}));
    }
}

// Started from another folder, the tuner keeps its presets and its log beside itself, in
// the short form of a folder whose 8-bit name has no such characters or is too long for its
// buffer. Where no form fits, it runs without presets and without a log file, says so once
// each, and writes nothing anywhere.
TEST_F(Faults, ProgramFolderNamedOutsideTheCodePageOrTooLongForItsBuffer) {
    fixture::ScratchFolder current(fixture::TempFolder(), "spd-current");
    fixture::ForeignFolder foreign(fixture::TempFolder(), "spd");
    ASSERT_FALSE(foreign.path.empty());
    DeepFolder longNames("a folder with a long name", 251);
    DeepFolder shortNames("abcdefgh", 251);
    ASSERT_EQ(longNames.path.size() + shortNames.path.size(), 2u * 251);
    struct Case {
        const char* what;
        std::string folder;
        bool beside;  // presets and log beside the program
    };
    const Case cases[] = {
        {"named outside the code page", foreign.path, true},
        {"too long, but not in its short form", longNames.path, true},
        {"too long in every form", shortNames.path, false},
    };
    // The 9x line has no names outside its code page.
    const size_t first = fixture::NineX() ? 1 : 0;
    const std::string stored = Record(Named("Stored", 7, 1024, 8192, 512, 2048, 64));
    // A case that cannot go on ends without ending the others.
    auto run = [&](const Case& c) {
        Spindrel spd(c.folder);
        ASSERT_TRUE(fixture::WriteAll(spd.datPath, stored));
        ASSERT_TRUE(spd.Start(AnswerAll(IDOK), true, "-debug", c.beside));
        EXPECT_EQ(PresetNames(spd),
                  c.beside ? std::vector<std::string>{"Stored"} : std::vector<std::string>{});
        EXPECT_EQ(spd.Exit(), 0);
        std::vector<std::string> captions;
        for (const windriver::Answer& answer : spd.Answers()) captions.push_back(answer.caption);
        const std::vector<std::string> once = {"Internal error...", spdtest::kCaption};
        EXPECT_EQ(captions, c.beside ? std::vector<std::string>{} : once);
        EXPECT_EQ(fixture::ReadAll(spd.datPath), stored);
        EXPECT_EQ(spd.LogHas("Successful Exit..."), c.beside);
        std::vector<std::string> beside = {"spd.dat", "spd.exe"};
        if (c.beside) beside.insert(beside.begin(), "debug.log");
        EXPECT_EQ(Entries(c.folder), beside);
        EXPECT_EQ(Entries(current.path), std::vector<std::string>{});
    };
    char saved[MAX_PATH] = {};
    GetCurrentDirectoryA(MAX_PATH, saved);
    SetCurrentDirectoryA(current.path.c_str());  // the program inherits it
    for (size_t i = first; i < sizeof cases / sizeof cases[0]; i++) {
        SCOPED_TRACE(cases[i].what);
        run(cases[i]);
    }
    SetCurrentDirectoryA(saved);
    EXPECT_FALSE(fixture::Exists(foreign.ansiLookAlike));
}

// A template value whose 4 bytes are no number (the text "512") cannot be read: it is shown
// at its lower limit and never written back as the number its bytes would make. Four binary
// bytes are a number, as Windows 98 keeps it.
TEST_F(Faults, TemplateValuesStoredAsTextAreNoNumbers) {
    spdtest::SetVcache("1024", "8192", "512");
    spdtest::SetTemplate("Spindrel", 2048, 64);
    spdtest::SetDword(HKEY_CURRENT_USER, spdtest::kConfigKey, "Ask for reboot", 0);
    const std::string own = std::string(spdtest::kTemplates) + "\\Spindrel";
    product::SetValue(HKEY_LOCAL_MACHINE, own, "NameCache", REG_SZ, std::string("512\0", 4));
    product::SetValue(HKEY_LOCAL_MACHINE, own, "PathCache", REG_BINARY,
                      std::string("\x20\0\0\0", 4));
    Spindrel spd;
    ASSERT_TRUE(spd.Start(AnswerAll(IDYES)));
    EXPECT_EQ(spd.Field(kNameField), "337");
    EXPECT_EQ(spd.Field(kPathField), "32");
    windriver::PressButton(spd.window, kApply);
    ASSERT_TRUE(spd.WaitForLog("Applied '"));
    EXPECT_EQ(spdtest::DwordOf(HKEY_LOCAL_MACHINE, own, "NameCache"), 337);
    EXPECT_EQ(spdtest::DwordOf(HKEY_LOCAL_MACHINE, own, "PathCache"), 32);
    EXPECT_EQ(spd.Exit(), 0);
    EXPECT_TRUE(spd.LogHas("Unable to get NameCache"));
}

TEST_F(Faults, ConfigurationValuesOfTheWrongTypeLeaveTheDefaults) {
    // Text, a short binary value and an 8-byte number where 4-byte numbers belong.
    product::SetValue(HKEY_CURRENT_USER, spdtest::kConfigKey, "Dialog X", REG_SZ,
                      std::string("300\0", 4));
    product::SetValue(HKEY_CURRENT_USER, spdtest::kConfigKey, "Tray Minimize", REG_BINARY,
                      std::string("\x00", 1));
    product::SetValue(HKEY_CURRENT_USER, spdtest::kConfigKey, "Ask for reboot", REG_QWORD,
                      std::string("\x00\x00\x00\x00\x00\x00\x00\x00", 8));
    product::SetValue(HKEY_CURRENT_USER, spdtest::kConfigKey, "Dialog W", REG_DWORD,
                      std::string("\x10\x00", 2));
    Spindrel spd;
    ASSERT_TRUE(spd.Start());
    RECT rect;
    GetWindowRect(spd.window, &rect);
    EXPECT_EQ(rect.left, 20);  // the default, not the bytes of "300"
    EXPECT_EQ(rect.top, 20);
    EXPECT_EQ(spd.Exit(), 0);
    // Closing stores all eight as numbers again.
    EXPECT_EQ(spdtest::ConfigValue("Dialog X"), 20);
    EXPECT_EQ(spdtest::ConfigValue("Tray Minimize"), 1);
    EXPECT_EQ(spdtest::ConfigValue("Ask for reboot"), 1);
}

}  // namespace
