// The keyword registry: order, lookup in any letter case, dispatch, release and the fatal
// registration errors.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support.h"
#include "vacate/command.h"
#include "vacate/keywords.h"
#include "vacate/script.h"

namespace {

std::vector<std::string> gCalls;

int First(ScriptContext*, const char* data, int32_t* consumed) {
    gCalls.push_back(std::string("first:") + data);
    *consumed = 3;
    return 1;
}

int Second(ScriptContext*, const char*, int32_t*) {
    gCalls.push_back("second");
    return 0;
}

int Named(const KeywordSpec& entry, ScriptContext*, const char*, int32_t*) {
    gCalls.push_back(entry.keyword);
    return 1;
}

class Registry : public ::testing::Test {
protected:
    void SetUp() override {
        gCalls.clear();
        blocks_ = vt::BlocksInUse();
    }
    void TearDown() override {
        KeywordsRelease();
        EXPECT_EQ(KeywordList(), nullptr);
        EXPECT_EQ(vt::BlocksInUse(), blocks_);
    }
    int32_t blocks_ = 0;
};

std::vector<std::string> Order() {
    std::vector<std::string> order;
    for (const KeywordEntry* e = KeywordList(); e != nullptr; e = e->next)
        order.push_back(e->keyword);
    return order;
}

TEST_F(Registry, KeepsLongestFirstAndNewerBeforeOlderOfEqualLength) {
    for (const char* keyword : {"TEXT", "COMPANY NAME", "DONE", "WINDOW", "OLE", "FONT"})
        ASSERT_TRUE(KeywordAdd(keyword, First));
    EXPECT_EQ(Order(), (std::vector<std::string>{"COMPANY NAME", "WINDOW", "FONT", "DONE",
                                                 "TEXT", "OLE"}));
}

TEST_F(Registry, FindsEveryTableKeywordInAnyCaseAndDispatchesToItsHandler) {
    ASSERT_TRUE(KeywordsRegisterTable<Named>());
    ScriptContext context{};
    for (const KeywordSpec& entry : KEYWORD_TABLE) {
        std::string lower = entry.keyword;
        for (char& c : lower) c = static_cast<char>(tolower(c));
        EXPECT_TRUE(KeywordKnown(entry.keyword)) << entry.keyword;
        EXPECT_TRUE(KeywordKnown(lower.c_str())) << lower;
        int32_t consumed = 0;
        gCalls.clear();
        EXPECT_TRUE(KeywordDispatch(lower.c_str(), &context, "", &consumed));
        EXPECT_EQ(gCalls, std::vector<std::string>{entry.keyword});
    }
    for (const char* unknown : {"COMPANY NAMES", "COMPANY", "INSTALLER", "", "DONE "})
        EXPECT_FALSE(KeywordKnown(unknown)) << unknown;
}

TEST_F(Registry, DispatchReturnsTheHandlersResultAndFalseForUnknownKeywords) {
    ASSERT_TRUE(KeywordAdd("ONE", First));
    ASSERT_TRUE(KeywordAdd("TWO", Second));
    ScriptContext context{};
    int32_t consumed = 0;
    EXPECT_TRUE(KeywordDispatch("one", &context, "abc", &consumed));
    EXPECT_EQ(consumed, 3);
    EXPECT_FALSE(KeywordDispatch("Two", &context, "", &consumed));
    EXPECT_FALSE(KeywordDispatch("THREE", &context, "", &consumed));
    EXPECT_EQ(gCalls, (std::vector<std::string>{"first:abc", "second"}));
}

TEST_F(Registry, ReleaseForgetsEveryKeyword) {
    ASSERT_TRUE(KeywordsRegisterTable<Named>());
    KeywordsRelease();
    EXPECT_FALSE(KeywordKnown("COMPANY NAME"));
    EXPECT_EQ(vt::BlocksInUse(), blocks_);
}

#ifndef _WIN32
TEST_F(Registry, FatalRegistrationErrors) {
    const std::string forty(40, 'K');
    EXPECT_EXIT(KeywordAdd(forty.c_str(), First), ::testing::ExitedWithCode(1),
                "Command keyword too long \\(K+\\) \\(40 > 40\\)");
    EXPECT_TRUE(KeywordAdd(std::string(39, 'K').c_str(), First));
    // The lookup cannot tell these apart: same length, same case-folded checksum.
    EXPECT_TRUE(KeywordAdd("DONE", First));
    EXPECT_EXIT(KeywordAdd("DONE", Second), ::testing::ExitedWithCode(1),
                "Matching lengths failure \\(4\\)");
    EXPECT_EXIT(KeywordAdd("done", Second), ::testing::ExitedWithCode(1),
                "Matching lengths failure \\(4\\)");
    EXPECT_EXIT(KeywordAdd(nullptr, First), ::testing::ExitedWithCode(1), "Pointer is NULL");
}
#endif

}  // namespace
