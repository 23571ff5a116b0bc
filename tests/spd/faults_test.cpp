// The cache tuner when its files and the registry are not as it wrote them: a preset file
// cut short, files it may not write, configuration values of the wrong type. It always
// starts, shows what it could read, keeps the user's files as they were and says in its
// log what it could not do.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "program.h"
#include "spd-core/preset_bytes.h"

using presetbytes::Named;
using presetbytes::Record;
using spdtest::AnswerAll;
using spdtest::Spindrel;
using spdtest::Vcache;

namespace {

constexpr int kMinField = 1001;
constexpr int kAdd = 1018;
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

TEST_F(Faults, ReadOnlyPresetFileKeepsItsPresetsAndTheProgramGoesOn) {
    spdtest::SetVcache("1024", "8192", "512");
    Spindrel spd;
    const std::string stored = Record(Named("Stored", 7, 1024, 8192, 512, 2048, 64));
    ASSERT_TRUE(fixture::WriteAll(spd.datPath, stored));
    ReadOnly locked(spd.datPath);
    ASSERT_TRUE(spd.Start());
    windriver::PressButton(spd.window, kAdd);
    HWND prompt = spd.WaitForDialog("Save Settings...");
    ASSERT_NE(prompt, nullptr);
    windriver::SetControlText(prompt, 1025, "Added");
    windriver::PressKey(GetDlgItem(prompt, 1025), VK_RETURN);
    ASSERT_TRUE(spd.WaitForLog("Unable to save file '"));
    // The new preset stays in the list for this run; the file keeps what it held.
    std::vector<std::string> names = PresetNames(spd);
    EXPECT_NE(std::find(names.begin(), names.end(), "Added"), names.end());
    EXPECT_EQ(fixture::ReadAll(spd.datPath), stored);
    EXPECT_EQ(spd.Exit(), 0);
    EXPECT_EQ(fixture::ReadAll(spd.datPath), stored);
    EXPECT_FALSE(fixture::Exists(spd.datPath + ".new"));
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
