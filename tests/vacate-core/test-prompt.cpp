// The uninstaller's question and notice boxes: captions, texts and answers.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "support.h"
#include "tessel/tsl-os.h"
#include "vacate/prompt.h"

using ::testing::HasSubstr;

namespace {

TEST(Prompt, NoticeUsesTheDefaultCaptionUnlessGivenOne) {
    vt::Boxes boxes(OS_IDOK);
    EXPECT_EQ(ShowProblem("Something went wrong.", nullptr), 1);
    EXPECT_EQ(ShowProblem("Spindrel has been uninstalled!", "Uninstaller..."), 1);
    const std::string seen = boxes.Seen(2);
    EXPECT_THAT(seen, HasSubstr("Uninstall problem...\nSomething went wrong.\n"));
    EXPECT_THAT(seen, HasSubstr("Uninstaller...\nSpindrel has been uninstalled!\n"));
}

TEST(Prompt, QuestionIsTrueForYes) {
    vt::Boxes boxes(OS_IDYES);
    EXPECT_EQ(AskYesNo("Are you sure you want to uninstall Quorvex Spindrel?", nullptr), 1);
    EXPECT_THAT(boxes.Seen(1),
                HasSubstr("Uninstall...\nAre you sure you want to uninstall Quorvex Spindrel?\n"));
}

#ifdef _WIN32
TEST(Prompt, QuestionIsFalseForNo) {
    vt::Boxes boxes(OS_IDNO);
    EXPECT_EQ(AskYesNo("Remove the shared files?", "Shared files..."), 0);
    EXPECT_THAT(boxes.Seen(1), HasSubstr("Shared files...\nRemove the shared files?\n"));
}
#endif

// Quiet: no box at all (an answerer of No would make the question false), every text in
// the log instead.
TEST(Prompt, QuietRunShowsNoBoxAndLogsTheTexts) {
    vt::LogTail log;
    vt::Boxes boxes(OS_IDNO);
    PromptSetQuiet(1);
    EXPECT_EQ(AskYesNo("Are you sure you want to uninstall Quorvex Spindrel?", nullptr), 1);
    EXPECT_EQ(ShowProblem("Quorvex Spindrel has been uninstalled!", "Uninstaller..."), 1);
    PromptSetQuiet(0);
    EXPECT_EQ(boxes.Seen(0), "");
    EXPECT_THAT(log.Text(),
                HasSubstr("Quiet: [Uninstall...] Are you sure you want to uninstall Quorvex "
                          "Spindrel? -> Yes\nQuiet: [Uninstaller...] Quorvex Spindrel has been "
                          "uninstalled!\n"));
}

}  // namespace
