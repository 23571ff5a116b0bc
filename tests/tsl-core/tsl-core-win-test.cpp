// Win32 tests of the core under Wine: the abort box of a real program, the log file in
// text mode, a program started through a long-form path, and the log-file error box.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "support/windriver.h"
#include "tessel/tsl-core.h"
#include "tsl-core/temp-log.h"

namespace {

const char kFixture[] = "tsl-core-fixture.exe";

TEST(CoreWin, AbortShowsTheBoxAndExitsWithOne) {
    windriver::Process program;
    ASSERT_TRUE(program.Start("\"" + windriver::BesideSelf(kFixture) + "\" -abort"));
    HWND box = windriver::WaitForWindow("Internal error...", "#32770", 30000, program.Pid());
    ASSERT_NE(box, nullptr);
    std::string text = windriver::MessageBoxText(box);
    EXPECT_EQ(text.find("ABORT: Pointer is NULL\n"), 0u) << text;
    EXPECT_NE(text.find("\n       (tsl-str/"), std::string::npos) << text;
    EXPECT_EQ(program.Wait(200), -1);  // still waiting for the user
    ASSERT_TRUE(windriver::PressButton(box, IDOK));
    EXPECT_EQ(program.Wait(30000), 1);
}

// Unattended, the same fatal error shows nothing: the program ends at once with the code it
// asked for, and its log still has the entry.
TEST(CoreWin, QuietAbortShowsNoBoxAndEndsWithItsCode) {
    tsltest::TempDir dir;
    const std::string program = dir.File(kFixture);
    ASSERT_TRUE(CopyFileA(windriver::BesideSelf(kFixture).c_str(), program.c_str(), FALSE));
    windriver::BoxAnswerer answerer([](const std::string&, const std::string&) { return IDOK; },
                                    0);
    windriver::Process process;
    ASSERT_TRUE(process.Start("\"" + program + "\" -debug -quiet -abort"));
    EXPECT_EQ(process.Wait(30000), 1603);
    Sleep(200);
    EXPECT_TRUE(answerer.Answers().empty());
    const std::string log = tsltest::ReadFile(dir.File("debug.log"));
    EXPECT_NE(log.find("ABORT: Pointer is NULL\r\n"), std::string::npos) << log;
}

// Started through "\\?\" + its path, the program finds its own folder and writes its log
// there, with CR LF line ends; the entry after shutdown continues the file.
TEST(CoreWin, LogBesideTheProgramInTextMode) {
    tsltest::TempDir dir;
    const std::string program = dir.File(kFixture);
    ASSERT_TRUE(CopyFileA(windriver::BesideSelf(kFixture).c_str(), program.c_str(), FALSE));
    windriver::Process process;
    ASSERT_TRUE(process.Start("\"\\\\?\\" + program + "\" -debug -log"));
    ASSERT_EQ(process.Wait(30000), 0);
    const std::string bytes = tsltest::ReadFile(dir.File("debug.log"));
    EXPECT_EQ(bytes.find("Tessel v0.50"), 0u) << bytes;
    EXPECT_NE(bytes.find("\r\nfirst line\r\nsecond line 2\r\n"), std::string::npos) << bytes;
    EXPECT_NE(bytes.find("\r\nMaximum Memory in use (1 / 0k)\r\n"), std::string::npos) << bytes;
    EXPECT_EQ(bytes.find("Not all memory"), std::string::npos) << bytes;
    const std::string last = "Successful Exit...\r\n";
    ASSERT_GE(bytes.size(), last.size());
    EXPECT_EQ(bytes.substr(bytes.size() - last.size()), last);
    for (size_t i = 0; i < bytes.size(); ++i)
        if (bytes[i] == '\n') ASSERT_TRUE(i > 0 && bytes[i - 1] == '\r') << "bare LF at " << i;
}

TEST(CoreWin, UnwritableLogFileShowsTheErrorBox) {
    tsltest::TempDir dir;
    const std::string path = dir.File("missing\\debug.log");
    windriver::BoxAnswerer answerer([](const std::string& caption, const std::string&) {
        return caption == "Internal error..." ? IDOK : 0;
    });
    CoreStartup(path.c_str(), TSL_LOG_FILE);
    DWORD started = GetTickCount();
    LogPrint("lost %d\n", 1);
    DWORD spent = GetTickCount() - started;
    CoreShutdown();
    LogConfigure(nullptr, 0);
    ASSERT_TRUE(answerer.WaitForAnswers(1, 10000));
    std::vector<windriver::Answer> answers = answerer.Answers();
    EXPECT_EQ(answers[0].text,
              "Unable to create log file [" + path + "] due to error [2]\n -- String [lost 1\n]");
    EXPECT_GE(spent, 800u);  // ten attempts, 100 ms apart
    EXPECT_FALSE(tsltest::FileExists(path));
}

}  // namespace
