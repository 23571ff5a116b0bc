// The cache tuner end to end under Wine: the real spd.exe shows the system's settings and
// the presets, edits, adds, removes and applies them, and keeps its configuration; every
// message box and dialog is met through the window-driving helper.
#include <gtest/gtest.h>

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
using namespace std::string_literals;

namespace {

// Controls of the main window.
enum {
    kList = 1000,
    kMinField = 1001,
    kMaxField = 1002,
    kChunkField = 1003,
    kNameField = 1004,
    kPathField = 1005,
    kMinSlider = 1006,
    kMaxSlider = 1007,
    kChunkSlider = 1008,
    kNameSlider = 1009,
    kPathSlider = 1011,
    kAbout = 1014,
    kConfigure = 1016,
    kAdd = 1018,
    kRemove = 1019,
    kMinActive = 1020,
    kMaxActive = 1021,
    kChunkActive = 1022,
    kTemplateActive = 1023,
    kApply = 1024,
};

class Program : public ::testing::Test {
protected:
    spdtest::SystemState state;
};

// The vcache entries and the template of a typical machine.
void TypicalSystem() {
    spdtest::SetVcache("1024", "8192", "512");
    spdtest::SetTemplate("Spindrel", 2048, 64);
}

std::string Text(int value) {
    return std::to_string(value);
}

TEST_F(Program, FirstStartShowsTheSystemsSettingsAndStoresTheDefaults) {
    TypicalSystem();
    Spindrel spd;
    ASSERT_TRUE(spd.Start());
    // The configuration key was made with the eight defaults before they were read.
    EXPECT_EQ(spdtest::ConfigValue("Dialog X"), 20);
    EXPECT_EQ(spdtest::ConfigValue("Dialog Y"), 20);
    EXPECT_EQ(spdtest::ConfigValue("Dialog W"), 0);
    EXPECT_EQ(spdtest::ConfigValue("Dialog H"), 0);
    EXPECT_EQ(spdtest::ConfigValue("Always On Top"), 0);
    EXPECT_EQ(spdtest::ConfigValue("Tray Minimize"), 1);
    EXPECT_EQ(spdtest::ConfigValue("Ask for reboot"), 1);
    EXPECT_EQ(spdtest::ConfigValue("Start Minimized"), 0);

    EXPECT_EQ(spd.Items(), std::vector<std::string>{spdtest::kCurrent});
    EXPECT_EQ(spd.Selected(), spdtest::kCurrent);
    EXPECT_EQ(spd.Field(kMinField), "1024");
    EXPECT_EQ(spd.Field(kMaxField), "8192");
    EXPECT_EQ(spd.Field(kChunkField), "512");
    EXPECT_EQ(spd.Field(kNameField), "2048");
    EXPECT_EQ(spd.Field(kPathField), "64");
    for (int box : {kMinActive, kMaxActive, kChunkActive, kTemplateActive})
        EXPECT_EQ(windriver::CheckState(spd.window, box), BST_CHECKED) << box;

    // Slider ranges follow P up to the ceiling; the fixed rows have their own.
    const int32_t p = spdtest::CacheTop();
    windriver::Slider min = windriver::SliderOf(spd.window, kMinSlider);
    EXPECT_EQ(min.position, 1024);
    EXPECT_EQ(min.minimum, 512);
    EXPECT_EQ(min.maximum, p);
    EXPECT_EQ(min.page, p / 100);
    windriver::Slider chunk = windriver::SliderOf(spd.window, kChunkSlider);
    EXPECT_EQ(chunk.minimum, 16);
    EXPECT_EQ(chunk.maximum, 4096);
    EXPECT_EQ(chunk.page, 40);
    windriver::Slider name = windriver::SliderOf(spd.window, kNameSlider);
    EXPECT_EQ(name.position, 2048);
    EXPECT_EQ(name.minimum, 337);
    EXPECT_EQ(name.maximum, 6144);
    EXPECT_EQ(name.page, 100);
    windriver::Slider path = windriver::SliderOf(spd.window, kPathSlider);
    EXPECT_EQ(path.minimum, 16);
    EXPECT_EQ(path.maximum, 128);
    EXPECT_EQ(path.page, 2);

    // The window stacks normally.
    EXPECT_EQ(GetWindowLongA(spd.window, GWL_EXSTYLE) & WS_EX_TOPMOST, 0);

    EXPECT_EQ(spd.Exit(), 0);
    std::string log = spd.Log();
    EXPECT_NE(log.find("Spindrel Version 1.01 (Release)"), std::string::npos);
    EXPECT_NE(log.find("Min File Cache : 1024"), std::string::npos);
    EXPECT_NE(log.find("Config         : Spindrel"), std::string::npos);
    EXPECT_NE(log.find("Name Cache     : 2048"), std::string::npos);
    EXPECT_NE(log.find("Total Physical : "), std::string::npos);
    EXPECT_NE(log.find("Successful Exit..."), std::string::npos);
    // At exit the (empty) store was written.
    EXPECT_EQ(fixture::ReadAll(spd.datPath), "");
}

TEST_F(Program, PresetWithTheSystemsValuesIsSelectedAndPercentPresetsAreConverted) {
    TypicalSystem();
    Spindrel spd;
    CacheSettings office = Named("Office", CS_MIN_SET, 600, 700, 800, 900, 20);
    CacheSettings same = Named("Same", 0, 1024, 8192, 512, 2048, 64);
    CacheSettings percent = Named("Percent", CS_PERCENT | CS_MIN_SET | CS_MAX_SET |
                                                 CS_TEMPLATE_ACTIVE,
                                  1, 2, 50, 50, 50);
    fixture::WriteAll(spd.datPath, Record(office) + Record(same) + Record(percent));
    ASSERT_TRUE(spd.Start());
    // Sorted by the list; the match with the system is selected instead of the current one.
    EXPECT_EQ(spd.Items(),
              (std::vector<std::string>{spdtest::kCurrent, "Office", "Percent", "Same"}));
    EXPECT_EQ(spd.Selected(), "Same");
    EXPECT_EQ(spd.Field(kMinField), "1024");

    // Office: only the minimum row is switched on; the template rows are off.
    ASSERT_TRUE(spd.Select("Office"));
    EXPECT_EQ(spd.Field(kMinField), "600");
    EXPECT_EQ(spd.Field(kPathField), "20");
    EXPECT_EQ(windriver::CheckState(spd.window, kMinActive), BST_CHECKED);
    EXPECT_EQ(windriver::CheckState(spd.window, kMaxActive), BST_UNCHECKED);
    EXPECT_TRUE(windriver::IsControlEnabled(spd.window, kMinField));
    EXPECT_TRUE(windriver::IsControlEnabled(spd.window, kMinSlider));
    EXPECT_FALSE(windriver::IsControlEnabled(spd.window, kMaxField));
    EXPECT_FALSE(windriver::IsControlEnabled(spd.window, kMaxSlider));
    EXPECT_FALSE(windriver::IsControlEnabled(spd.window, kNameField));
    EXPECT_FALSE(windriver::IsControlEnabled(spd.window, kPathSlider));

    // Percent: converted from this machine's P (up to the ceiling) and rounded, then clamped.
    ASSERT_TRUE(spd.Select("Percent"));
    const int32_t p = spdtest::CacheTop();
    auto rounded = [](long long v) { return static_cast<int>((v + 128) & ~0xFFLL); };
    int min = rounded(static_cast<long long>(1.0 * p / 100));
    int max = rounded(static_cast<long long>(2.0 * p / 100));
    EXPECT_EQ(spd.Field(kMinField), Text(min < 512 ? 512 : min));
    EXPECT_EQ(spd.Field(kMaxField), Text(max));
    EXPECT_EQ(spd.Field(kChunkField), "2048");
    EXPECT_EQ(spd.Field(kNameField), "3072");
    EXPECT_EQ(spd.Field(kPathField), "64");
    EXPECT_TRUE(windriver::IsControlEnabled(spd.window, kNameSlider));

    // Choosing the entry shown already keeps what was typed since.
    windriver::SetControlText(spd.window, kChunkField, "777");
    ASSERT_TRUE(spd.Select("Percent"));
    EXPECT_EQ(spd.Field(kChunkField), "777");
    EXPECT_EQ(spd.Count("Selected 'Percent'"), 1);
    EXPECT_EQ(spd.Exit(), 0);
}

TEST_F(Program, ApplyWritesTheValuesAsTypedAfterTheQuestion) {
    TypicalSystem();
    Spindrel spd;
    ASSERT_TRUE(spd.Start([](const std::string&, const std::string& text) {
        return text == "Apply the current settings?" ? IDNO : IDOK;
    }));
    // No: nothing is written.
    windriver::SetControlText(spd.window, kMinField, "999999");
    windriver::PressButton(spd.window, kApply);
    ASSERT_TRUE(spd.WaitForAnswers(1));
    EXPECT_EQ(spd.Answers()[0].caption, spdtest::kCaption);
    EXPECT_EQ(spd.Exit(), 0);
    EXPECT_EQ(Vcache()["minfilecache"], "1024");
    EXPECT_FALSE(spd.LogHas("Applied"));

    // Yes: 999999 goes out unchanged once the question about the ceiling was answered Yes
    // too, the chunk row switched off removes its entry, and the restart prompt is offered
    // ("Ask for reboot" is on by default).
    Spindrel again;
    ASSERT_TRUE(again.Start(AnswerAll(IDYES)));
    windriver::SetControlText(again.window, kMinField, "999999");
    windriver::SetControlText(again.window, kPathField, "100");
    windriver::ClickButton(again.window, kChunkActive);
    EXPECT_FALSE(windriver::IsControlEnabled(again.window, kChunkField));
    windriver::PressButton(again.window, kApply);
    ASSERT_TRUE(again.WaitForLog("Restart prompt answered"));
    std::map<std::string, std::string> vcache = Vcache();
    EXPECT_EQ(vcache["minfilecache"], "999999");
    EXPECT_EQ(vcache["maxfilecache"], "8192");
    EXPECT_EQ(vcache.count("chunksize"), 0u);
    EXPECT_EQ(spdtest::TemplateInForce(), "Spindrel");
    std::string own = std::string(spdtest::kTemplates) + "\\Spindrel";
    EXPECT_EQ(spdtest::DwordOf(HKEY_LOCAL_MACHINE, own, "PathCache"), 100);
    EXPECT_EQ(spdtest::DwordOf(HKEY_LOCAL_MACHINE, own, "NameCache"), 2048);
    EXPECT_EQ(again.Exit(), 0);
    ASSERT_EQ(again.Answers().size(), 2u);
    EXPECT_EQ(again.Answers()[0].text, "Apply the current settings?");
    EXPECT_EQ(again.Answers()[0].button, IDYES);
    EXPECT_EQ(again.Answers()[1].text.rfind("A disk cache of 999999 Kb is above 524288 Kb", 0),
              0u);
    EXPECT_EQ(again.Answers()[1].button, IDYES);
}

// Whatever the memory, the disk cache shown, applied from a percent preset at 100 %, from a
// slider at its top, typed above the ceiling (answered No) or applied from the tray, stays
// at or below 524288 Kb, which the 9x line starts with. The 64 MB row keeps the figures of
// a machine below the ceiling: P 32768, step 327, 10 % of it 3328.
TEST_F(Program, TheDiskCacheStaysAtOrBelowItsCeilingWhateverTheMemory) {
    struct Row {
        uint64_t megabytes;
        int32_t top;
        int32_t tenth;  // a percent preset's 10 %, rounded to 256
    } rows[] = {{64, 32768, 3328}, {768, 393216, 39424}, {2048, 524288, 52480},
                {6144, 524288, 52480}};
    for (const Row& row : rows) {
        SCOPED_TRACE(row.megabytes);
        TypicalSystem();
        spdtest::SetDword(HKEY_CURRENT_USER, spdtest::kConfigKey, "Ask for reboot", 0);
        spdtest::ShownMemory memory(row.megabytes << 20);
        Spindrel spd;
        const uint32_t percent = CS_PERCENT | CS_MIN_SET | CS_MAX_SET;
        fixture::WriteAll(spd.datPath, Record(Named("Full", percent, 10, 100, 50, 50, 50)));
        ASSERT_TRUE(spd.Start([](const std::string&, const std::string& text) {
            if (text == "Apply the current settings?") return IDYES;
            return text.find('?') != std::string::npos ? IDNO : IDOK;
        })) << spd.Log();
        // The figures of the memory as it is, beyond 4 GB too.
        EXPECT_TRUE(spd.LogHas("Total Physical : " + std::to_string(row.megabytes << 20) + " [" +
                               std::to_string(row.megabytes << 10) + "k]"));
        windriver::Slider max = windriver::SliderOf(spd.window, kMaxSlider);
        EXPECT_EQ(max.maximum, row.top);
        EXPECT_EQ(max.page, row.top / 100);
        ASSERT_TRUE(spd.Select("Full"));
        EXPECT_EQ(spd.Field(kMinField), Text(row.tenth));
        EXPECT_EQ(spd.Field(kMaxField), Text(row.top));

        int applied = 0;
        auto apply = [&](const char* what) {
            SCOPED_TRACE(what);
            windriver::PressButton(spd.window, kApply);
            ASSERT_TRUE(spdtest::WaitFor([&] { return spd.Count("Applied '") > applied; }));
            applied = spd.Count("Applied '");
            EXPECT_LE(std::stoi(Vcache()["maxfilecache"]), 524288);
        };
        apply("a percent preset at 100 %");
        EXPECT_EQ(Vcache()["maxfilecache"], Text(row.top));
        windriver::SetSliderPos(spd.window, kMaxSlider, row.top);
        apply("the slider at its top");
        EXPECT_EQ(Vcache()["maxfilecache"], Text(row.top));
        windriver::SetControlText(spd.window, kMaxField, "800000");
        apply("typed above the ceiling, answered No");
        EXPECT_EQ(Vcache()["maxfilecache"], "524288");
        // The tray applies the list's entry 1 ("Full") without a question.
        ASSERT_TRUE(spd.Select(spdtest::kCurrent));
        PostMessageA(spd.window, WM_COMMAND, 4001, 0);
        ASSERT_TRUE(spdtest::WaitFor([&] { return spd.Count("Applied '") > applied; }));
        EXPECT_EQ(Vcache()["maxfilecache"], Text(row.top));
        EXPECT_EQ(spd.Exit(), 0);
    }
}

// The tray applies what the window holds without a question: a disk cache typed above the
// ceiling is held to it, and the user hears of it once.
TEST_F(Program, TheTrayHoldsADiskCacheAboveTheCeilingAndSaysSoOnce) {
    TypicalSystem();
    spdtest::SetDword(HKEY_CURRENT_USER, spdtest::kConfigKey, "Ask for reboot", 0);
    spdtest::ShownMemory memory(6144ull << 20);
    Spindrel spd;
    fixture::WriteAll(spd.datPath, Record(Named("Big", CS_MIN_SET | CS_MAX_SET, 1024, 8192,
                                                512, 2048, 64)));
    ASSERT_TRUE(spd.Start(AnswerAll(IDOK)));
    ASSERT_TRUE(spd.Select("Big"));
    for (int time = 1; time <= 2; ++time) {
        SCOPED_TRACE(time);
        windriver::SetControlText(spd.window, kMaxField, "900000");
        PostMessageA(spd.window, WM_COMMAND, 4001, 0);
        // Its notices answered: the first time the one about the ceiling too.
        ASSERT_TRUE(spd.WaitForAnswers(time + 1));
        EXPECT_EQ(Vcache()["maxfilecache"], "524288");
    }
    EXPECT_EQ(spd.Exit(), 0);
    std::vector<std::string> texts;
    for (const windriver::Answer& answer : spd.Answers()) texts.push_back(answer.text);
    const std::string held = "A disk cache above 524288 Kb (512 MB) can keep Windows 95, 98 and "
                             "Me from starting: it was written as 524288 Kb.";
    const std::string later = "The new settings will be applied when the system reboots.";
    EXPECT_EQ(texts, (std::vector<std::string>{held, later, later}));
}

// A system without the setup library (the first Windows 95 may lack it): the restart prompt
// is a question of the program's own in the same words, which a No leaves at that.
TEST_F(Program, WithoutTheSetupLibraryTheRestartQuestionIsAskedInItsPlace) {
    TypicalSystem();
    // Wine loads no library that the prefix's overrides for the program leave without a
    // load order.
    struct NoSetupLibrary {
        const char* key = "Software\\Wine\\AppDefaults\\spd.exe";
        NoSetupLibrary() {
            product::SetString(HKEY_CURRENT_USER, std::string(key) + "\\DllOverrides", "setupapi",
                               "");
        }
        ~NoSetupLibrary() { fixture::DeleteKeyTree(HKEY_CURRENT_USER, key); }
    } noSetupLibrary;
    Spindrel spd;
    const bool started = spd.Start([](const std::string&, const std::string& text) {
        return text == "Apply the current settings?" ? IDYES : IDNO;
    });
    ASSERT_TRUE(started);
    windriver::PressButton(spd.window, kApply);
    ASSERT_TRUE(spd.WaitForLog("Restart prompt answered 0"));
    EXPECT_TRUE(spd.LogHas("No SetupPromptReboot in setupapi.dll here: its fallback stands in"));
    EXPECT_EQ(spd.Exit(), 0);
    ASSERT_EQ(spd.Answers().size(), 2u);
    EXPECT_EQ(spd.Answers()[1].caption, "System Settings Change");
    EXPECT_EQ(spd.Answers()[1].text,
              "You must restart your computer before the new settings will take effect.\n\n"
              "Do you want to restart your computer now?");
    EXPECT_EQ(spd.Answers()[1].button, IDNO);
}

TEST_F(Program, OwnTemplateSwitchedOffRestoresDesktopAndOnMakesItsKey) {
    spdtest::SetVcache("2048", "4096", nullptr);
    spdtest::SetTemplate("Spindrel", 3000, 90);
    spdtest::SetDword(HKEY_CURRENT_USER, spdtest::kConfigKey, "Ask for reboot", 0);
    Spindrel spd;
    ASSERT_TRUE(spd.Start(AnswerAll(IDYES)));
    EXPECT_EQ(windriver::CheckState(spd.window, kChunkActive), BST_UNCHECKED);
    windriver::ClickButton(spd.window, kTemplateActive);
    EXPECT_FALSE(windriver::IsControlEnabled(spd.window, kNameField));
    EXPECT_FALSE(windriver::IsControlEnabled(spd.window, kPathSlider));
    windriver::PressButton(spd.window, kApply);
    ASSERT_TRUE(spd.WaitForLog("Applied '* Current Settings'"));
    EXPECT_EQ(spdtest::TemplateInForce(), "Desktop");
    std::string own = std::string(spdtest::kTemplates) + "\\Spindrel";
    EXPECT_EQ(spdtest::DwordOf(HKEY_LOCAL_MACHINE, own, "NameCache"), 3000);
    // With "Ask for reboot" off Apply shows nothing after its question.
    EXPECT_EQ(spd.Exit(), 0);
    EXPECT_EQ(spd.Answers().size(), 1u);
    EXPECT_FALSE(spd.LogHas("Restart prompt"));

    // Read back, the template in force is no longer the program's own; its values are 4-byte
    // binary values, as Windows 98 keeps them. Switched on again where its key has gone, the
    // own template is made anew with the values shown, as numbers.
    product::DeleteKeyTree(HKEY_LOCAL_MACHINE, own);
    const std::string desktop = std::string(spdtest::kTemplates) + "\\Desktop";
    product::SetValue(HKEY_LOCAL_MACHINE, desktop, "NameCache", REG_BINARY, "\xA5\x02\0\0"s);
    product::SetValue(HKEY_LOCAL_MACHINE, desktop, "PathCache", REG_BINARY, "\x20\0\0\0"s);
    Spindrel again;
    ASSERT_TRUE(again.Start(AnswerAll(IDYES)));
    EXPECT_EQ(windriver::CheckState(again.window, kTemplateActive), BST_UNCHECKED);
    EXPECT_EQ(again.Field(kNameField), "677");
    EXPECT_EQ(again.Field(kPathField), "32");
    windriver::ClickButton(again.window, kTemplateActive);
    EXPECT_TRUE(windriver::IsControlEnabled(again.window, kNameField));
    windriver::SetControlText(again.window, kPathField, "48");
    windriver::PressButton(again.window, kApply);
    ASSERT_TRUE(again.WaitForLog("Applied '"));
    EXPECT_EQ(spdtest::TemplateInForce(), "Spindrel");
    EXPECT_EQ(spdtest::DwordOf(HKEY_LOCAL_MACHINE, own, "NameCache"), 677);
    EXPECT_EQ(spdtest::DwordOf(HKEY_LOCAL_MACHINE, own, "PathCache"), 48);
    spdtest::KeyTree created = spdtest::ReadTree(HKEY_LOCAL_MACHINE, own);
    EXPECT_EQ(created.values[""].second, std::string("Spindrel", 9));
    EXPECT_EQ(created.values["NameCache"].first, static_cast<DWORD>(REG_DWORD));
    EXPECT_EQ(again.Exit(), 0);
    EXPECT_NE(again.Log().find("Config         : Desktop"), std::string::npos);
}

TEST_F(Program, AddNewExistingWithNoAndExistingWithYes) {
    TypicalSystem();
    Spindrel spd;
    int overwrite = IDNO;
    ASSERT_TRUE(spd.Start([&overwrite](const std::string&, const std::string& text) {
        return text.find("already exists") != std::string::npos ? overwrite : IDOK;
    }));
    // New: added to the list, selected, and the file holds it byte for byte.
    windriver::SetControlText(spd.window, kMinField, "2000");
    NamePrompt(spd, "Gaming");
    CacheSettings gaming = Named("Gaming", CS_MIN_SET | CS_MAX_SET | CS_CHUNK_SET |
                                               CS_TEMPLATE_ACTIVE,
                                 2000, 8192, 512, 2048, 64);
    EXPECT_TRUE(spdtest::WaitFor([&] { return fixture::ReadAll(spd.datPath) == Record(gaming); }))
        << fixture::ReadAll(spd.datPath).size();
    EXPECT_EQ(spd.Items(), (std::vector<std::string>{spdtest::kCurrent, "Gaming"}));
    EXPECT_EQ(spd.Selected(), "Gaming");

    // Existing, answered No: the list, the store and the file stay as they were.
    windriver::SetControlText(spd.window, kMinField, "3000");
    NamePrompt(spd, "gaming");
    ASSERT_TRUE(spd.WaitForAnswers(1));
    EXPECT_EQ(spd.Answers()[0].text,
              "The name you have selected already exists; do you wish to overwrite it?");
    EXPECT_EQ(spd.Answers()[0].caption, spdtest::kCaption);
    EXPECT_FALSE(spd.WaitForLog("Delete", 500));
    EXPECT_EQ(fixture::ReadAll(spd.datPath), Record(gaming));
    EXPECT_EQ(spd.Items().size(), 2u);

    // Existing, answered Yes: replaced under the name typed, still one list entry.
    overwrite = IDYES;
    NamePrompt(spd, "GAMING");
    ASSERT_TRUE(spd.WaitForAnswers(2));
    CacheSettings replaced = gaming;
    strcpy(replaced.name, "GAMING");
    replaced.minFileCache = 3000;
    EXPECT_TRUE(
        spdtest::WaitFor([&] { return fixture::ReadAll(spd.datPath) == Record(replaced); }));
    EXPECT_EQ(spd.Items(), (std::vector<std::string>{spdtest::kCurrent, "Gaming"}));
    EXPECT_TRUE(spd.LogHas("Delete"));

    // Escape in the prompt adds nothing; the file is written all the same.
    windriver::PressButton(spd.window, kAdd);
    HWND prompt = spd.WaitForDialog("Save Settings...");
    ASSERT_NE(prompt, nullptr);
    EXPECT_EQ(windriver::ControlText(prompt, 1025), "Gaming");
    windriver::PressKey(GetDlgItem(prompt, 1025), VK_ESCAPE);
    ASSERT_TRUE(windriver::WaitForWindowGone(prompt, spdtest::kWaitMs));
    EXPECT_EQ(spd.Exit(), 0);
    EXPECT_EQ(fixture::ReadAll(spd.datPath), Record(replaced));
}

TEST_F(Program, RemoveAPresetAndTheCurrentSettingsEntry) {
    TypicalSystem();
    Spindrel spd;
    CacheSettings a = Named("Alpha", 0, 1, 2, 3, 4, 5);
    CacheSettings b = Named("Beta", 0, 6, 7, 8, 9, 10);
    fixture::WriteAll(spd.datPath, Record(a) + Record(b));
    int remove = IDNO;
    ASSERT_TRUE(spd.Start([&remove](const std::string&, const std::string&) { return remove; }));
    ASSERT_TRUE(spd.Select("Alpha"));
    windriver::PressButton(spd.window, kRemove);
    ASSERT_TRUE(spd.WaitForAnswers(1));
    EXPECT_EQ(spd.Answers()[0].text, "Remove 'Alpha' from the settings?");
    Sleep(300);
    EXPECT_EQ(spd.Items().size(), 3u);

    remove = IDYES;
    windriver::PressButton(spd.window, kRemove);
    ASSERT_TRUE(spd.WaitForAnswers(2));
    EXPECT_TRUE(spdtest::WaitFor([&] { return fixture::ReadAll(spd.datPath) == Record(b); }))
        << fixture::ReadAll(spd.datPath).size() << "\n" << spd.Log();
    EXPECT_EQ(spd.Items(), (std::vector<std::string>{spdtest::kCurrent, "Beta"}));
    EXPECT_EQ(spd.Selected(), spdtest::kCurrent);
    EXPECT_EQ(spd.Field(kMinField), "1024");

    // "* Current Settings" itself leaves the list until the next start; the store does not
    // hold it and says so, and the presets stay.
    windriver::PressButton(spd.window, kRemove);
    ASSERT_TRUE(spd.WaitForAnswers(3));
    EXPECT_EQ(spd.Answers()[2].text, "Remove '* Current Settings' from the settings?");
    ASSERT_TRUE(spd.WaitForLog("Couldn't find [* Current Settings]"));
    EXPECT_TRUE(spdtest::WaitFor([&] { return spd.Items().size() == 1; }));
    EXPECT_EQ(spd.Selected(), "");
    EXPECT_EQ(spd.Field(kMinField), "1024");
    EXPECT_EQ(spd.Exit(), 0);
    EXPECT_EQ(fixture::ReadAll(spd.datPath), Record(b));

    Spindrel again;
    fixture::WriteAll(again.datPath, Record(b));
    ASSERT_TRUE(again.Start());
    EXPECT_EQ(again.Items(), (std::vector<std::string>{spdtest::kCurrent, "Beta"}));
    EXPECT_EQ(again.Exit(), 0);
}

TEST_F(Program, SlidersPullEachOther) {
    spdtest::SetVcache("1024", "2048", "512");
    Spindrel spd;
    ASSERT_TRUE(spd.Start());
    windriver::SetSliderPos(spd.window, kMinSlider, 4096);
    EXPECT_EQ(spd.Field(kMinField), "4096");
    EXPECT_EQ(spd.Field(kMaxField), "4096");
    EXPECT_EQ(windriver::SliderOf(spd.window, kMaxSlider).position, 4096);
    windriver::SetSliderPos(spd.window, kMaxSlider, 1000);
    EXPECT_EQ(spd.Field(kMaxField), "1000");
    EXPECT_EQ(spd.Field(kMinField), "1000");
    EXPECT_EQ(windriver::SliderOf(spd.window, kMinSlider).position, 1000);
    windriver::SetSliderPos(spd.window, kPathSlider, 40);
    EXPECT_EQ(spd.Field(kPathField), "40");
    // Typing never moves a slider.
    windriver::SetControlText(spd.window, kChunkField, "2000");
    EXPECT_EQ(windriver::SliderOf(spd.window, kChunkSlider).position, 512);
    EXPECT_EQ(spd.Exit(), 0);
}

TEST_F(Program, WhateverTheFilesAndTheRegistryHoldTheProgramStarts) {
    // Numbers too long for any integer, a name cache stored as text, a template in force
    // stored as binary bytes: the program starts, shows what it could read, and changes
    // nothing it was not asked to.
    std::string digits(300, '9');
    spdtest::SetVcache(digits.c_str(), "-", "0x200");
    spdtest::SetTemplate("Odd", 0, 0);
    product::SetString(HKEY_LOCAL_MACHINE, std::string(spdtest::kTemplates) + "\\Odd", "NameCache",
                       "123456");
    Spindrel spd;
    // Bytes that are no file of presets, and a name longer than the field.
    std::string junk;
    for (int i = 0; i < 4000; ++i) junk += static_cast<char>((i * 7919) >> 3);
    std::string longName = std::string("\x00\x02\xC8", 3) + std::string(200, 'L') +
                           presetbytes::Number(0x03, 700) + "\xFF";
    fixture::WriteAll(spd.datPath, junk + longName);
    std::string iniBefore = fixture::ReadAll(spdtest::IniPath());
    spdtest::KeyTree templatesBefore = spdtest::ReadTree(HKEY_LOCAL_MACHINE, spdtest::kTemplates);
    ASSERT_TRUE(spd.Start());
    EXPECT_EQ(spd.Field(kMinField), "0");
    EXPECT_EQ(spd.Field(kChunkField), "512");  // 0x200
    EXPECT_EQ(spd.Field(kNameField), "337");   // unreadable: 0, shown at its lower limit
    std::vector<std::string> items = spd.Items();
    bool cut = false;
    for (const std::string& item : items) cut = cut || item == std::string(119, 'L');
    EXPECT_TRUE(cut);
    EXPECT_EQ(spd.Exit(), 0);
    std::string log = spd.Log();
    EXPECT_NE(log.find("Number too long for minfilecache, taken as 0"), std::string::npos);
    EXPECT_NE(log.find("Unable to get NameCache"), std::string::npos);
    EXPECT_EQ(fixture::ReadAll(spdtest::IniPath()), iniBefore);
    EXPECT_TRUE(spdtest::SameTree(spdtest::ReadTree(HKEY_LOCAL_MACHINE, spdtest::kTemplates),
                                  templatesBefore));

    // A template in force that is no string is passed over.
    HKEY key;
    RegOpenKeyExA(HKEY_LOCAL_MACHINE, spdtest::kTemplates, 0, KEY_ALL_ACCESS, &key);
    RegSetValueExA(key, "", 0, REG_BINARY, reinterpret_cast<const BYTE*>("Spindrel"), 8);
    RegCloseKey(key);
    Spindrel again;
    ASSERT_TRUE(again.Start());
    EXPECT_EQ(windriver::CheckState(again.window, kTemplateActive), BST_UNCHECKED);
    EXPECT_EQ(again.Exit(), 0);
    EXPECT_NE(again.Log().find("Unable to get Default templace"), std::string::npos);
}

TEST_F(Program, StoredSwitchesAreReducedAndThePlacementIsKept) {
    spdtest::SetDword(HKEY_CURRENT_USER, spdtest::kConfigKey, "Tray Minimize", 5);
    spdtest::SetDword(HKEY_CURRENT_USER, spdtest::kConfigKey, "Start Minimized",
                      static_cast<DWORD>(-1));
    spdtest::SetDword(HKEY_CURRENT_USER, spdtest::kConfigKey, "Dialog X", 110);
    spdtest::SetDword(HKEY_CURRENT_USER, spdtest::kConfigKey, "Dialog Y", 70);
    Spindrel spd;
    ASSERT_TRUE(spd.Start());
    RECT rect;
    GetWindowRect(spd.window, &rect);
    EXPECT_EQ(rect.left, 110);
    EXPECT_EQ(rect.top, 70);
    const int width = rect.right - rect.left;
    const int height = rect.bottom - rect.top;
    SetWindowPos(spd.window, nullptr, 150, 90, width + 20, height + 10,
                 SWP_NOZORDER | SWP_NOACTIVATE);
    EXPECT_EQ(spd.Exit(), 0);
    EXPECT_EQ(spdtest::ConfigValue("Tray Minimize"), 1);
    EXPECT_EQ(spdtest::ConfigValue("Start Minimized"), 0);
    EXPECT_EQ(spdtest::ConfigValue("Dialog X"), 150);
    EXPECT_EQ(spdtest::ConfigValue("Dialog Y"), 90);
    EXPECT_EQ(spdtest::ConfigValue("Dialog W"), width + 20);
    EXPECT_EQ(spdtest::ConfigValue("Dialog H"), height + 10);

    Spindrel again;
    ASSERT_TRUE(again.Start());
    GetWindowRect(again.window, &rect);
    EXPECT_EQ(rect.left, 150);
    EXPECT_EQ(rect.top, 90);
    EXPECT_EQ(rect.right - rect.left, width + 20);
    EXPECT_EQ(again.Exit(), 0);
}

TEST_F(Program, ConfigureStoresOnEscapeButNotOnTheCloseBox) {
    Spindrel spd;
    ASSERT_TRUE(spd.Start());
    windriver::PressButton(spd.window, kConfigure);
    HWND dialog = spd.WaitForDialog("Configure...");
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(windriver::ControlText(dialog, 1010), "Disabled");
    EXPECT_EQ(windriver::ControlText(dialog, 1013), "Enabled");
    EXPECT_EQ(windriver::ControlText(dialog, 1015), "Enabled");
    EXPECT_EQ(windriver::ControlText(dialog, 1017), "Disabled");
    windriver::ClickButton(dialog, 1010);
    windriver::ClickButton(dialog, 1015);
    EXPECT_EQ(windriver::ControlText(dialog, 1010), "Enabled");
    EXPECT_EQ(windriver::ControlText(dialog, 1015), "Disabled");
    windriver::PressKey(dialog, VK_ESCAPE);
    ASSERT_TRUE(windriver::WaitForWindowGone(dialog, spdtest::kWaitMs));
    // "Always on Top" does what it says at once.
    EXPECT_TRUE(spdtest::WaitFor(
        [&] { return (GetWindowLongA(spd.window, GWL_EXSTYLE) & WS_EX_TOPMOST) != 0; }));
    // Reaches the registry when the window closes.
    EXPECT_EQ(spdtest::ConfigValue("Always On Top"), 0);

    windriver::PressButton(spd.window, kConfigure);
    dialog = spd.WaitForDialog("Configure...");
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(windriver::ControlText(dialog, 1010), "Enabled");
    windriver::ClickButton(dialog, 1013);
    windriver::ClickButton(dialog, 1010);
    PostMessageA(dialog, WM_SYSCOMMAND, SC_CLOSE, 0);
    ASSERT_TRUE(windriver::WaitForWindowGone(dialog, spdtest::kWaitMs));
    EXPECT_EQ(spd.Exit(), 0);
    EXPECT_EQ(spdtest::ConfigValue("Always On Top"), 1);
    EXPECT_EQ(spdtest::ConfigValue("Tray Minimize"), 1);
    EXPECT_EQ(spdtest::ConfigValue("Ask for reboot"), 0);

    // Started again, it stands on top from the beginning.
    Spindrel again;
    ASSERT_TRUE(again.Start());
    EXPECT_NE(GetWindowLongA(again.window, GWL_EXSTYLE) & WS_EX_TOPMOST, 0);
    EXPECT_EQ(again.Exit(), 0);
}

TEST_F(Program, SecondInstanceIsTurnedAwayWhileTheFirstRuns) {
    Spindrel first;
    ASSERT_TRUE(first.Start());
    Spindrel second;
    windriver::BoxAnswerer answerer([](const std::string&, const std::string&) { return IDOK; },
                                    0);
    ASSERT_TRUE(second.process.Start("\"" + second.exe + "\" -debug"));
    ASSERT_TRUE(answerer.WaitForAnswers(1, spdtest::kWaitMs));
    EXPECT_EQ(second.process.Wait(spdtest::kWaitMs), 0);
    std::vector<windriver::Answer> answers = answerer.Answers();
    ASSERT_EQ(answers.size(), 1u);
    EXPECT_EQ(answers[0].caption, "Spindrel");
    EXPECT_EQ(answers[0].text, "Only a single instance of this application can run");
    // The second never started the library; the first goes on.
    EXPECT_EQ(fixture::ReadAll(second.logPath), "<missing>");
    EXPECT_TRUE(IsWindow(first.window));
    EXPECT_EQ(first.Exit(), 0);
}

TEST_F(Program, TrayPresetWithoutRestartPromptSaysWhenItApplies) {
    spdtest::SetVcache("1024", "8192", "512");
    spdtest::SetDword(HKEY_CURRENT_USER, spdtest::kConfigKey, "Ask for reboot", 0);
    Spindrel spd;
    CacheSettings game = Named("Game", CS_MIN_SET | CS_CHUNK_SET, 3000, 5000, 1024, 400, 30);
    fixture::WriteAll(spd.datPath, Record(game));
    ASSERT_TRUE(spd.Start(AnswerAll(IDNO)));
    // The menu's id for list entry 1 (the list: "* Current Settings", "Game").
    PostMessageA(spd.window, WM_COMMAND, 4001, 0);
    ASSERT_TRUE(spd.WaitForAnswers(1));
    EXPECT_EQ(spd.Answers()[0].text, "The new settings will be applied when the system reboots.");
    EXPECT_EQ(spd.Answers()[0].caption, spdtest::kCaption);
    std::map<std::string, std::string> vcache = Vcache();
    EXPECT_EQ(vcache["minfilecache"], "3000");
    EXPECT_EQ(vcache.count("maxfilecache"), 0u);
    EXPECT_EQ(vcache["chunksize"], "1024");
    EXPECT_EQ(spd.Selected(), "Game");
    EXPECT_EQ(spd.Exit(), 0);
}

TEST_F(Program, MinimisedWithoutANotificationAreaAndStartedMinimized) {
    // Under the null display driver the shell has no notification area: minimising to the
    // tray cannot hide the window for good, so it is minimised normally.
    Spindrel spd;
    ASSERT_TRUE(spd.Start());
    PostMessageA(spd.window, WM_SYSCOMMAND, SC_MINIMIZE, 0);
    ASSERT_TRUE(spd.WaitForLog("Unable to add the tray icon"));
    EXPECT_TRUE(spdtest::WaitFor([&] { return IsIconic(spd.window) != 0; }));
    PostMessageA(spd.window, WM_SYSCOMMAND, SC_RESTORE, 0);
    EXPECT_TRUE(spdtest::WaitFor([&] { return !IsIconic(spd.window); }));
    EXPECT_TRUE(IsWindowVisible(spd.window));
    EXPECT_EQ(spd.Exit(), 0);

    // "Start Minimized" with a normal minimise: the dialog stays minimised after opening.
    spdtest::SetDword(HKEY_CURRENT_USER, spdtest::kConfigKey, "Start Minimized", 1);
    spdtest::SetDword(HKEY_CURRENT_USER, spdtest::kConfigKey, "Tray Minimize", 0);
    Spindrel minimised;
    ASSERT_TRUE(minimised.Start(nullptr, false));
    Sleep(500);
    EXPECT_TRUE(IsIconic(minimised.window));
    PostMessageA(minimised.window, WM_SYSCOMMAND, SC_RESTORE, 0);
    EXPECT_TRUE(spdtest::WaitFor([&] { return !IsIconic(minimised.window); }));
    EXPECT_EQ(minimised.Exit(), 0);
    // The place kept is the window's own, not the minimised one's.
    EXPECT_EQ(spdtest::ConfigValue("Dialog X"), 20);
}

TEST_F(Program, AboutBoxNamesTheProduct) {
    Spindrel spd;
    ASSERT_TRUE(spd.Start());
    windriver::PressButton(spd.window, kAbout);
    HWND about = spd.WaitForDialog("About Spindrel...");
    ASSERT_NE(about, nullptr);
    EXPECT_EQ(windriver::ControlText(about, 2000), "Quorvex Spindrel - Windows 95/98 Only");
    EXPECT_EQ(windriver::ControlText(about, 2001), "Version 1.01 - Release");
    EXPECT_EQ(windriver::ControlText(about, 2004), "Quorvex Website (www.quorvex.example)");
    windriver::PressButton(about, IDOK);
    EXPECT_TRUE(windriver::WaitForWindowGone(about, spdtest::kWaitMs));
    EXPECT_EQ(spd.Exit(), 0);
}

TEST_F(Program, ChangedExecutableEndsThroughTheAbortPath) {
    Spindrel spd;
    std::string bytes = fixture::ReadAll(spd.exe);
    ASSERT_GT(bytes.size(), 100000u);
    bytes[bytes.size() / 2] = static_cast<char>(bytes[bytes.size() / 2] ^ 0x01);
    ASSERT_TRUE(fixture::WriteAll(spd.exe, bytes));
    windriver::BoxAnswerer answerer([](const std::string&, const std::string&) { return IDOK; },
                                    0);
    ASSERT_TRUE(spd.process.Start("\"" + spd.exe + "\" -debug"));
    ASSERT_TRUE(answerer.WaitForAnswers(1, spdtest::kWaitMs));
    EXPECT_EQ(spd.process.Wait(spdtest::kWaitMs), 1);
    EXPECT_EQ(answerer.Answers()[0].caption, "Internal error...");
    EXPECT_NE(answerer.Answers()[0].text.find(
                  "Spindrel has been corrupted, please re-install to correct the problem."),
              std::string::npos);
    EXPECT_NE(spd.Log().find("ABORT"), std::string::npos);
    EXPECT_NE(spd.Log().find("winmain"), std::string::npos);
}

}  // namespace
