// The dialog-control wrappers on a real dialog made from an in-memory template.

#include <gtest/gtest.h>
#include <windows.h>
#include <commctrl.h>

#include <cmath>
#include <limits>
#include <string>

#include "support/windriver.h"
#include "tessel/winhelpr.h"
#include "winhelpr/gui_support.h"

namespace {

enum {
    kText = 101,
    kNumber = 102,
    kCheck = 103,
    kCombo = 104,
    kSorted = 105,
    kSlider = 106,
    kProgress = 107,
    kButton = 108,
    kMissing = 999,
};

INT_PTR CALLBACK QuietDialog(HWND, UINT, WPARAM, LPARAM) {
    return FALSE;
}

class Controls : public testing::Test {
protected:
    void SetUp() override {
        WinInitCommonControls();
        guitest::DialogTemplate t("Controls", WS_POPUP | WS_CAPTION | DS_MODALFRAME, 200, 200);
        t.Add(kText, "Edit", "", ES_AUTOHSCROLL | WS_BORDER | WS_TABSTOP, 5, 5, 100, 12);
        t.Add(kNumber, "Edit", "", ES_AUTOHSCROLL | WS_BORDER | WS_TABSTOP, 5, 20, 100, 12);
        t.Add(kCheck, "Button", "Check", BS_AUTO3STATE | WS_TABSTOP, 5, 35, 100, 12);
        t.Add(kCombo, "ComboBox", "", CBS_DROPDOWNLIST | WS_VSCROLL, 5, 50, 100, 80);
        t.Add(kSorted, "ComboBox", "", CBS_DROPDOWNLIST | CBS_SORT | WS_VSCROLL, 5, 65, 100, 80);
        t.Add(kSlider, "msctls_trackbar32", "", TBS_AUTOTICKS, 5, 80, 100, 15);
        t.Add(kProgress, "msctls_progress32", "", 0, 5, 100, 100, 10);
        t.Add(kButton, "Button", "Push", BS_PUSHBUTTON, 5, 115, 50, 14);
        dialog = CreateDialogIndirectParamA(GetModuleHandleA(nullptr), t.Get(), nullptr,
                                            QuietDialog, 0);
        ASSERT_NE(nullptr, dialog);
    }
    void TearDown() override {
        if (dialog != nullptr) DestroyWindow(dialog);
    }

    std::string Text(int id, int size = 256) {
        std::string buffer(size, '#');
        DlgGetText(dialog, id, &buffer[0], size);
        return buffer.c_str();
    }
    int Selection(int id) {
        return static_cast<int>(SendDlgItemMessageA(dialog, id, CB_GETCURSEL, 0, 0));
    }
    int Position(int id, UINT message) {
        return static_cast<int>(SendDlgItemMessageA(dialog, id, message, 0, 0));
    }

    HWND dialog = nullptr;
};

TEST_F(Controls, TextIsSetLimitedSelectedAndReadBack) {
    EXPECT_EQ(1, DlgSetText(dialog, kText, "Spindrel cache", 8));
    EXPECT_EQ("Spindrel cache", Text(kText));
    EXPECT_EQ(8, Position(kText, EM_GETLIMITTEXT));
    DWORD start = 0;
    DWORD end = 0;
    SendDlgItemMessageA(dialog, kText, EM_GETSEL, reinterpret_cast<WPARAM>(&start),
                        reinterpret_cast<LPARAM>(&end));
    EXPECT_EQ(0u, start);
    EXPECT_EQ(14u, end);
    // Reading into a small buffer keeps size - 1 characters.
    EXPECT_EQ("Spin", Text(kText, 5));

    // Typing replaces the selected text and stops at the limit.
    EXPECT_EQ(1, DlgSetText(dialog, kText, "abc", 3));
    HWND edit = GetDlgItem(dialog, kText);
    for (char c : std::string("wxyz")) SendMessageA(edit, WM_CHAR, c, 0);
    EXPECT_EQ("wxy", Text(kText));

    EXPECT_EQ(0, DlgSetText(dialog, kMissing, "x", 5));
    char buffer[8] = "stale";
    EXPECT_EQ(0, DlgGetText(dialog, kMissing, buffer, sizeof buffer));
    EXPECT_STREQ("", buffer);
}

TEST_F(Controls, NumbersAreSignedAndTextIsNoNumber) {
    int32_t value = 7;
    EXPECT_EQ(1, DlgSetInt(dialog, kNumber, -42, 6));
    EXPECT_EQ("-42", Text(kNumber));
    EXPECT_EQ(6, Position(kNumber, EM_GETLIMITTEXT));
    EXPECT_EQ(1, DlgGetInt(dialog, kNumber, &value));
    EXPECT_EQ(-42, value);

    EXPECT_EQ(1, DlgSetInt(dialog, kNumber, 2147483647, 12));
    EXPECT_EQ(1, DlgGetInt(dialog, kNumber, &value));
    EXPECT_EQ(2147483647, value);
    EXPECT_EQ(1, DlgSetInt(dialog, kNumber, -2147483647 - 1, 12));
    EXPECT_EQ("-2147483648", Text(kNumber));

    // The system reads the digits in front of other text.
    SetDlgItemTextA(dialog, kNumber, " 12abc");
    EXPECT_EQ(1, DlgGetInt(dialog, kNumber, &value));
    EXPECT_EQ(12, value);

    for (const char* text : {"", "abc", "-", "99999999999"}) {
        SCOPED_TRACE(text);
        SetDlgItemTextA(dialog, kNumber, text);
        value = 7;
        EXPECT_EQ(0, DlgGetInt(dialog, kNumber, &value));
        EXPECT_EQ(0, value);
    }
}

TEST_F(Controls, CheckStatesAndEnabling) {
    int state = -1;
    const int states[][2] = {{1, 1}, {2, 2}, {0, 0}, {1, 1}, {7, 0}, {-1, 0}};
    for (const auto& s : states) {
        EXPECT_EQ(1, DlgSetCheck(dialog, kCheck, s[0]));
        EXPECT_EQ(1, DlgGetCheck(dialog, kCheck, &state));
        EXPECT_EQ(s[1], state) << "set " << s[0];
    }
    EXPECT_EQ(0, DlgGetCheck(dialog, kMissing, &state));
    EXPECT_EQ(0, state);

    HWND button = GetDlgItem(dialog, kButton);
    EXPECT_EQ(1, DlgEnable(dialog, kButton, 0));
    EXPECT_FALSE(IsWindowEnabled(button));
    EXPECT_EQ(1, DlgEnable(dialog, kButton, 1));
    EXPECT_TRUE(IsWindowEnabled(button));
    EXPECT_EQ(1, DlgEnable(dialog, kButton, 2));  // only 1 enables
    EXPECT_FALSE(IsWindowEnabled(button));
    EXPECT_EQ(0, DlgEnable(dialog, kMissing, 1));
}

TEST_F(Controls, ComboFillSelectAndRead) {
    int count = -1;
    int index = -1;
    char text[64];
    ASSERT_EQ(1, ComboFill(dialog, kCombo, "Fastest", "Fast", "Faster", nullptr));
    EXPECT_EQ(1, ComboCount(dialog, kCombo, &count));
    EXPECT_EQ(3, count);
    EXPECT_EQ(1, ComboGetSel(dialog, kCombo, &index));
    EXPECT_EQ(0, index);
    EXPECT_EQ(1, ComboGetSelText(dialog, kCombo, text));
    EXPECT_STREQ("Fastest", text);

    // "Fast" is a prefix of the item before it: the exact item is the one selected.
    EXPECT_EQ(1, ComboSelectExact(dialog, kCombo, "Fast"));
    EXPECT_EQ(1, Selection(kCombo));
    EXPECT_EQ(1, ComboSelectExact(dialog, kCombo, "Faster"));
    EXPECT_EQ(2, Selection(kCombo));
    // Only prefix or case-blind matches: refused, and the selection stays where it was.
    for (const char* miss : {"fast", "Fas", "FASTER", "Fastest!", "Slow", ""}) {
        EXPECT_EQ(0, ComboSelectExact(dialog, kCombo, miss)) << miss;
        EXPECT_EQ(2, Selection(kCombo)) << miss;
    }

    EXPECT_EQ(1, ComboGetText(dialog, kCombo, 1, text));
    EXPECT_STREQ("Fast", text);
    EXPECT_EQ(0, ComboGetText(dialog, kCombo, 1, text, 4));  // no room for the NUL
    EXPECT_STREQ("", text);
    EXPECT_EQ(1, ComboGetText(dialog, kCombo, 1, text, 5));
    EXPECT_STREQ("Fast", text);
    EXPECT_EQ(0, ComboGetText(dialog, kCombo, 3, text));
    EXPECT_EQ(0, ComboGetSelText(dialog, kCombo, text, 6));  // "Faster" needs 7

    EXPECT_EQ(1, ComboDelete(dialog, kCombo, 0));
    EXPECT_EQ(1, ComboCount(dialog, kCombo, &count));
    EXPECT_EQ(2, count);
    EXPECT_EQ(1, ComboGetText(dialog, kCombo, 0, text));
    EXPECT_STREQ("Fast", text);
    EXPECT_EQ(0, ComboDelete(dialog, kCombo, 5));
    EXPECT_EQ(1, ComboSetSel(dialog, kCombo, 1));
    EXPECT_EQ(0, ComboSetSel(dialog, kCombo, 2));

    EXPECT_EQ(1, ComboReset(dialog, kCombo));
    EXPECT_EQ(1, ComboCount(dialog, kCombo, &count));
    EXPECT_EQ(0, count);
    index = 9;
    EXPECT_EQ(0, ComboGetSel(dialog, kCombo, &index));
    EXPECT_EQ(0, index);
    EXPECT_EQ(0, ComboGetSelText(dialog, kCombo, text));
    EXPECT_EQ(0, ComboSelectExact(dialog, kCombo, "Fast"));
    // Nothing to select after filling with no texts.
    EXPECT_EQ(0, ComboFill(dialog, kCombo, static_cast<const char*>(nullptr)));
}

TEST_F(Controls, SortedComboAddsInItsOrder) {
    int index = -1;
    EXPECT_EQ(1, ComboAdd(dialog, kSorted, &index, "mid"));
    EXPECT_EQ(0, index);
    EXPECT_EQ(1, ComboAdd(dialog, kSorted, &index, "alpha"));
    EXPECT_EQ(0, index);
    EXPECT_EQ(1, ComboAdd(dialog, kSorted, &index, "zulu"));
    EXPECT_EQ(2, index);
    ASSERT_EQ(1, ComboFill(dialog, kSorted, "z", "m", "a", nullptr));
    char text[8];
    EXPECT_EQ(1, ComboGetSelText(dialog, kSorted, text));
    EXPECT_STREQ("a", text);

    index = 5;
    EXPECT_EQ(0, ComboAdd(dialog, kMissing, &index, "x"));
    EXPECT_EQ(0, index);
    int count = 5;
    EXPECT_EQ(0, ComboCount(dialog, kMissing, &count));
    EXPECT_EQ(0, count);
    EXPECT_EQ(0, ComboReset(dialog, kMissing));
}

// A missing control is a programming error: the process ends through the abort path.
TEST_F(Controls, ComboFillOnAMissingControlAborts) {
    EXPECT_EXIT(
        {
            windriver::BoxAnswerer answer([](const std::string& caption, const std::string& text) {
                fprintf(stderr, "[%s] %s\n", caption.c_str(), text.c_str());
                fflush(stderr);
                return IDOK;
            });
            ComboFill(dialog, kMissing, "a", nullptr);
        },
        testing::ExitedWithCode(1), "TempHWND is NULL");
}

TEST_F(Controls, SliderRangeStepAndPosition) {
    EXPECT_EQ(1, TrackSetRange(dialog, kSlider, 10, 200));
    EXPECT_EQ(10, Position(kSlider, TBM_GETRANGEMIN));
    EXPECT_EQ(200, Position(kSlider, TBM_GETRANGEMAX));
    EXPECT_EQ(1, TrackSetStep(dialog, kSlider, 25));
    EXPECT_EQ(25, Position(kSlider, TBM_GETPAGESIZE));
    // Ticks every 25 from 10: 35, 60, ..., 185 between the two ends.
    EXPECT_EQ(9, Position(kSlider, TBM_GETNUMTICS));

    int position = -1;
    EXPECT_EQ(1, TrackSetPos(dialog, kSlider, 130));
    EXPECT_EQ(1, TrackGetPos(dialog, kSlider, &position));
    EXPECT_EQ(130, position);
    TrackSetPos(dialog, kSlider, 500);
    TrackGetPos(dialog, kSlider, &position);
    EXPECT_EQ(200, position);
    TrackSetPos(dialog, kSlider, -3);
    TrackGetPos(dialog, kSlider, &position);
    EXPECT_EQ(10, position);

    EXPECT_EQ(0, TrackSetRange(dialog, kMissing, 0, 1));
    EXPECT_EQ(0, TrackGetPos(dialog, kMissing, &position));
}

TEST_F(Controls, ProgressPercentIsScaledAndClamped) {
    SendDlgItemMessageA(dialog, kProgress, PBM_SETPOS, 77, 0);
    EXPECT_EQ(1, ProgressReset(dialog, kProgress));
    EXPECT_EQ(0, Position(kProgress, PBM_GETPOS));
    EXPECT_EQ(0, static_cast<int>(SendDlgItemMessageA(dialog, kProgress, PBM_GETRANGE, TRUE, 0)));
    EXPECT_EQ(2000,
              static_cast<int>(SendDlgItemMessageA(dialog, kProgress, PBM_GETRANGE, FALSE, 0)));

    const struct {
        double percent;
        int position;
    } cases[] = {
        {37.5, 750},  {150, 2000},   {-3, 0},      {99.99, 1999}, {0.049, 0},
        {0.05, 1},    {100, 2000},   {1e300, 2000}, {-1e300, 0},
        {std::numeric_limits<double>::quiet_NaN(), 0},
        {std::numeric_limits<double>::infinity(), 2000},
    };
    for (const auto& c : cases) {
        SendDlgItemMessageA(dialog, kProgress, PBM_SETPOS, 1234, 0);
        EXPECT_EQ(1, ProgressSetPercent(dialog, kProgress, c.percent));
        EXPECT_EQ(c.position, Position(kProgress, PBM_GETPOS)) << c.percent;
    }
    EXPECT_EQ(0, ProgressSetPercent(dialog, kMissing, 5));
}

}  // namespace
