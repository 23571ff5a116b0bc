// The script interpreter and its field readers, with every table keyword registered to a
// handler that records what it read (fields cut at their capacity are marked with '!').
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support.h"
#include "tessel/tsl-os.h"
#include "vacate/command.h"
#include "vacate/ffs.h"
#include "vacate/keywords.h"
#include "vacate/script.h"

using ::testing::HasSubstr;

namespace {

std::vector<std::string> gRead;

int Record(const KeywordSpec& entry, ScriptContext* context, const char* data,
           int32_t* consumed) {
    std::string seen = std::string(entry.keyword) + "[";
    if (entry.shape == KW_FIELDS) {
        for (int i = 0; i < entry.fieldCount; ++i) {
            std::vector<char> field(entry.capacity[i]);
            const int whole =
                ScriptReadField(context, data, consumed, field.data(), entry.capacity[i]);
            seen += (i > 0 ? "|" : "") + std::string(field.data()) + (whole ? "" : "!");
        }
    } else if (entry.shape == KW_LIST) {
        const char* cursor = nullptr;
        int32_t count = 0;
        ScriptReadList(context, data, consumed, &cursor, &count);
        char item[SCRIPT_ITEM_SIZE];
        for (int32_t i = 0; i < count; ++i) {
            const int whole = ScriptListItem(&cursor, item);
            seen += (i > 0 ? "," : "") + std::string(item) + (whole ? "" : "!");
        }
    } else if (entry.shape == KW_LINE) {
        const int32_t before = *consumed;
        ScriptSkipLine(context, data, consumed);
        seen.append(data + before, *consumed - before);
    }
    gRead.push_back(seen + "]");
    return 1;
}

int Stop(ScriptContext*, const char*, int32_t*) {
    gRead.push_back("STOP");
    return 0;
}

int Overreach(ScriptContext* context, const char*, int32_t* consumed) {
    *consumed = context->scriptSize + 10;
    return 1;
}

const std::string kKeyword39(39, 'K');

int Long(ScriptContext* context, const char* data, int32_t* consumed) {
    char field[SCRIPT_TEXT_SIZE];
    ScriptReadField(context, data, consumed, field, sizeof field);
    gRead.push_back("K39[" + std::string(field) + "]");
    return 1;
}

class Interpreter : public ::testing::Test {
protected:
    void SetUp() override {
        gRead.clear();
        blocks_ = vt::BlocksInUse();
        ASSERT_TRUE(KeywordsRegisterTable<Record>());
        ASSERT_TRUE(KeywordAdd("STOP", Stop));
        ASSERT_TRUE(KeywordAdd(kKeyword39.c_str(), Long));
    }
    void TearDown() override {
        if (context_ != nullptr) ScriptFree(&context_);
        KeywordsRelease();
        EXPECT_EQ(vt::BlocksInUse(), blocks_);
    }
    // Loads the bytes from a file on disk (no archive open) and runs them.
    int Run(const std::string& bytes) {
        if (context_ != nullptr) ScriptFree(&context_);
        const std::string path = dir_.Path("install.dat");
        vt::WriteBytes(path, bytes);
        if (!ScriptLoad(&context_, path.c_str(), RUN_MODE_UNINSTALL)) return -1;
        return ScriptRun(context_, nullptr);
    }
    std::vector<std::string> Read() const { return gRead; }

    vt::TempDir dir_;
    ScriptContext* context_ = nullptr;
    int32_t blocks_ = 0;
};

using Reads = std::vector<std::string>;

TEST_F(Interpreter, RunsCommandsInOrderPassingOverTextBetweenThem) {
    vt::LogTail log;
    const std::string script =
        "junk\r\n\x16" "COMPANY NAME:Quorvex\r\n  \x16product name:Spindrel\r\n"
        "\x16" "ADD ITEM:1\tSpindrel\t$0spd.exe\t\r\n\x16INSTALL:\r\n\x16" "FONT:a\tb c\r\n"
        "\x16" "FILE LIST:$0a.exe,$0b.dll\r\n\x16" "DONE:\r\n\x12\x34\x56\x78";
    ASSERT_EQ(Run(script), 1);
    EXPECT_EQ(Read(), (Reads{"COMPANY NAME[Quorvex]", "PRODUCT NAME[Spindrel]",
                             "ADD ITEM[1|Spindrel|$0spd.exe|]", "INSTALL[]", "FONT[a\tb c]",
                             "FILE LIST[$0a.exe,$0b.dll]", "DONE[]"}));
    EXPECT_EQ(context_->position, context_->script + context_->scriptSize);
    EXPECT_EQ(context_->runMode, RUN_MODE_UNINSTALL);
    EXPECT_EQ(context_->installSize, 0);
    EXPECT_THAT(log.Text(), HasSubstr("Company Name   : \n"));
    EXPECT_THAT(log.Text(), HasSubstr("File Count     : 0\n"));
}

TEST_F(Interpreter, KeywordsAreCutAtThirtyNineBytesAndTheFortiethIsPassedOver) {
    ASSERT_EQ(Run("\x16" + kKeyword39 + "Xdata\r\n\x16" + kKeyword39 + "KKKKK:more\r\n"), 1);
    // The second keyword's 40th byte is a 'K'; its data starts behind it.
    EXPECT_EQ(Read(), (Reads{"K39[data]", "K39[KKKK:more]"}));

    vt::LogTail log;
    vt::Boxes boxes(OS_IDOK);
    ASSERT_EQ(Run("\x16" + std::string(38, 'K') + "ZZ:data\r\n"), 0);
    EXPECT_THAT(log.Text(), HasSubstr("Unknown script command '" + std::string(38, 'K') + "Z'"));
}

TEST_F(Interpreter, ACommandRightBehindTheLastSeparatorIsSkipped) {
    ASSERT_EQ(Run("\x16TEXT:a\r\x16TEXT:b\r\n\x16TEXT:c\r\n"), 1);
    EXPECT_EQ(Read(), (Reads{"TEXT[a]", "TEXT[c]"}));
}

TEST_F(Interpreter, BytesOutsideThePrintableRangeEndFields) {
    ASSERT_EQ(Run("\x16" "ADD ITEM:a\x80" "b\xff" "c\x01" "d\r\n\x16TEXT:x\x7fy\r\n"), 1);
    EXPECT_EQ(Read(), (Reads{"ADD ITEM[a|b|c|d]", "TEXT[x\x7fy]"}));
}

TEST_F(Interpreter, OverlongFieldsAndItemsAreCutButConsumedWhole) {
    vt::LogTail log;
    const std::string longText(200, 'A'), longItem(300, 'i');
    ASSERT_EQ(Run("\x16TEXT:" + longText + "\r\n\x16" "ADD ITEM:123456789012345678901\tb\tc\td\r\n"
                  "\x16" "FILE LIST:x," + longItem + ",y\r\n\x16" "DONE:z\r\n"),
              1);
    EXPECT_EQ(Read(), (Reads{"TEXT[" + longText.substr(0, 159) + "!]",
                             "ADD ITEM[1234567890123456789!|b|c|d]",
                             "FILE LIST[x," + longItem.substr(0, 259) + "!,y]", "DONE[z]"}));
    EXPECT_THAT(log.Text(), HasSubstr("cut to 159 of 200 bytes"));
}

TEST_F(Interpreter, ListsCountOneItemMoreThanTheirCommas) {
    ASSERT_EQ(Run("\x16" "FILE LIST:\r\n\x16TEMP LIST:a,,b,\r\n"), 1);
    EXPECT_EQ(Read(), (Reads{"FILE LIST[]", "TEMP LIST[a,,b,]"}));
}

TEST_F(Interpreter, ReadsStopAtTheEndOfTheScript) {
    // Commands cut short by the end: missing fields read as empty, nothing is read beyond
    // the script (the host build runs under AddressSanitizer).
    vt::Boxes boxes(OS_IDOK);
    for (const std::string& script :
         {std::string("\x16" "WINDOW:a\tb"), std::string("\x16" "WINDOW:"),
          std::string("\x16" "WINDOW"), std::string("\x16" "FILE LIST:a,b"),
          std::string("\x16" "FONT:abc"), std::string("\x16" "INSTALL"), std::string("\x16")}) {
        gRead.clear();
        const int ran = Run(script);
        if (script == "\x16") {
            EXPECT_EQ(ran, 0);  // the empty keyword is not registered
        } else {
            EXPECT_EQ(ran, 1) << script;
            EXPECT_EQ(gRead.size(), 1u) << script;
            EXPECT_EQ(context_->position, context_->script + context_->scriptSize);
        }
        ScriptFree(&context_);
    }
}

TEST_F(Interpreter, FieldReadersCountTheBytesTheyTake) {
    ASSERT_EQ(Run("ab\tcd\re,f\r\nrest of line\r\n"), 1);  // no command: loads the text only
    const char* data = context_->script;
    int32_t consumed = 0;
    char field[4];
    EXPECT_TRUE(ScriptReadField(context_, data, &consumed, field, sizeof field));
    EXPECT_STREQ(field, "ab");
    EXPECT_EQ(consumed, 3);  // with its separator
    EXPECT_TRUE(ScriptReadField(context_, data, &consumed, field, sizeof field));
    EXPECT_EQ(consumed, 6);
    const char* list = nullptr;
    int32_t count = 0;
    EXPECT_TRUE(ScriptReadList(context_, data, &consumed, &list, &count));
    EXPECT_EQ(count, 2);
    EXPECT_EQ(consumed, 9);  // without the byte that ends the list
    consumed += 2;
    EXPECT_TRUE(ScriptSkipLine(context_, data, &consumed));
    EXPECT_EQ(consumed, 23);
    // Past the last item the cursor stays put and items are empty.
    char item[SCRIPT_ITEM_SIZE];
    for (const char* expected : {"e", "f", "", ""}) {
        EXPECT_TRUE(ScriptListItem(&list, item));
        EXPECT_STREQ(item, expected);
    }
    // At the end of the script fields are empty and nothing more is consumed.
    consumed = context_->scriptSize;
    EXPECT_TRUE(ScriptReadField(context_, data, &consumed, field, sizeof field));
    EXPECT_STREQ(field, "");
    EXPECT_EQ(consumed, context_->scriptSize);
}

TEST_F(Interpreter, AnUnknownKeywordStopsTheRunAndTellsTheUser) {
    vt::LogTail log;
    vt::Boxes boxes(OS_IDOK);
    ASSERT_EQ(Run("\x16TEXT:a\r\n\x16" "BOGUS:x\r\n\x16TEXT:b\r\n"), 0);
    EXPECT_THAT(boxes.Seen(1), HasSubstr("Uninstall problem...\nInstallation script corrupted!"));
    EXPECT_EQ(Read(), (Reads{"TEXT[a]"}));
    EXPECT_THAT(log.Text(), HasSubstr("Unknown script command 'BOGUS'\n"));
    EXPECT_EQ(*context_->position, '\x16');
    EXPECT_EQ(context_->position[1], 'B');
}

TEST_F(Interpreter, AFailingHandlerStopsTheRun) {
    vt::LogTail log;
    ASSERT_EQ(Run("\x16TEXT:a\r\n\x16stop:\r\n\x16TEXT:b\r\n"), 0);
    EXPECT_EQ(Read(), (Reads{"TEXT[a]", "STOP"}));
    EXPECT_THAT(log.Text(), HasSubstr("Command Failed 'stop'\n"));
    EXPECT_THAT(log.Text(), ::testing::Not(HasSubstr("Company Name")));
}

TEST_F(Interpreter, LoadsTheScriptFromTheArchiveWithItsTrailer) {
    std::string error;
    PackBytes script, packed;
    ASSERT_TRUE(PackScript("TEXT:from the archive\n", "s.txt", &script, &error)) << error;
    ASSERT_TRUE(PackArchive(PackBytes(100, 'x'), script, &packed, &error)) << error;
    const std::string path = dir_.Path("vacate.exe");
    vt::WriteBytes(path, std::string(packed.begin(), packed.end()));
    ASSERT_TRUE(FfsOpen(path.c_str()));
    ASSERT_TRUE(ScriptLoad(&context_, "install.dat", RUN_MODE_UPDATE));
    FfsClose();
    EXPECT_EQ(context_->scriptSize, static_cast<int32_t>(packed.size() - 104));
    EXPECT_EQ(context_->runMode, RUN_MODE_UPDATE);
    EXPECT_EQ(context_->script[context_->scriptSize], '\0');
    ASSERT_EQ(ScriptRun(context_, nullptr), 1);
    EXPECT_EQ(Read(), (Reads{"TEXT[from the archive]"}));
}

TEST_F(Interpreter, LoadFailsForAMissingFile) {
    EXPECT_FALSE(ScriptLoad(&context_, dir_.Path("none.dat").c_str(), RUN_MODE_UNINSTALL));
    EXPECT_EQ(context_, nullptr);
}

#ifndef _WIN32
TEST_F(Interpreter, AHandlerConsumingBeyondTheScriptIsFatal) {
    ASSERT_TRUE(KeywordAdd("GREEDY", Overreach));
    EXPECT_EXIT(Run("\x16GREEDY:abc\r\n"), ::testing::ExitedWithCode(1),
                "Command 'GREEDY' consumed 23 of 5 bytes");
}
#endif

}  // namespace
