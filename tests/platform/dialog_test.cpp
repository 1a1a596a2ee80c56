// The in-memory dialog: spin and buddy rules, radio groups, list rows and the control lists.
#include "platform/control_ids.h"
#include "platform/memory_dialog.h"
#include "platform/spin_rules.h"

#include <gtest/gtest.h>

#include <set>

using platform::MemoryDialog;
namespace mw = platform::main_window;
namespace sd = platform::settings_dialog;

TEST(SpinRules, TextMovesTheSpinOnlyWhenItIsANumberInRange) {
    int pos = 7;
    EXPECT_TRUE(platform::SpinPosFromText("500", 500, 9800, pos));
    EXPECT_EQ(pos, 500);
    EXPECT_TRUE(platform::SpinPosFromText(" -3 ", -5, 5, pos));
    EXPECT_EQ(pos, -3);
    EXPECT_TRUE(platform::SpinPosFromText("42", 100, 1, pos)); // reversed range
    EXPECT_EQ(pos, 42);
    pos = 7;
    for (const char* bad :
         {"", " ", "499", "9801", "12a", "1 2", "0x10", "+", "abc", "99999999999999999999"}) {
        EXPECT_FALSE(platform::SpinPosFromText(bad, 500, 9800, pos)) << bad;
        EXPECT_EQ(pos, 7) << bad;
    }
}

TEST(SpinRules, RequestsKeepTheLow16BitsAndClamp) {
    EXPECT_EQ(platform::SpinPosFromRequest(50, 1, 100), 50);
    EXPECT_EQ(platform::SpinPosFromRequest(0, 1, 100), 1);
    EXPECT_EQ(platform::SpinPosFromRequest(70000, 0, 9800), 4464); // 70000 - 65536
    EXPECT_EQ(platform::SpinPosFromRequest(65535, 0, 9800), 0);    // -1 as 16 bits
    EXPECT_EQ(platform::SpinPosFromRequest(40000, 0, 99999), 0);   // negative as 16 bits
    EXPECT_EQ(platform::SpinPosFromRequest(-1, 1, 9), 1);
    EXPECT_EQ(platform::SpinPosFromRequest(12000, 500, 9800), 9800);
}

TEST(MemoryDialog, SpinFollowsItsBuddyField) {
    MemoryDialog d(platform::MainWindowControls());
    d.SetSpinRange(mw::kBitrateAvgSpin, 500, 9800);
    d.SetSpinPos(mw::kBitrateAvgSpin, 3000);
    EXPECT_EQ(d.GetText(mw::kBitrateAvg), "3000");
    d.SetText(mw::kBitrateAvg, "4500");
    EXPECT_EQ(d.GetSpinPos(mw::kBitrateAvgSpin), 4500);
    d.SetText(mw::kBitrateAvg, "45x"); // not a number: the spin keeps its last position
    EXPECT_EQ(d.GetSpinPos(mw::kBitrateAvgSpin), 4500);
    d.SetText(mw::kBitrateAvg, "100"); // out of range: likewise
    EXPECT_EQ(d.GetSpinPos(mw::kBitrateAvgSpin), 4500);
    EXPECT_EQ(d.GetText(mw::kBitrateAvg), "100");
    d.SetSpinPos(mw::kBitrateAvgSpin, 20000);
    EXPECT_EQ(d.GetSpinPos(mw::kBitrateAvgSpin), 9800);
    EXPECT_EQ(d.GetText(mw::kBitrateAvg), "9800");

    // A frame field typed before its range is widened counts once the range admits it.
    d.SetSpinRange(mw::kEndFrameSpin, 1, 100);
    d.SetText(mw::kEndFrame, "1000");
    EXPECT_EQ(d.GetSpinPos(mw::kEndFrameSpin), 0);
    d.SetSpinRange(mw::kEndFrameSpin, 1, 1000);
    EXPECT_EQ(d.GetSpinPos(mw::kEndFrameSpin), 1000);
    int low = 0, high = 0;
    ASSERT_TRUE(d.GetSpinRange(mw::kEndFrameSpin, low, high));
    EXPECT_EQ(high, 1000);
    EXPECT_EQ(d.BadAccesses(), 0);
}

TEST(MemoryDialog, RadioGroupsAndChecks) {
    MemoryDialog d(platform::MainWindowControls());
    EXPECT_EQ(d.GetCheckedRadioButton(mw::kAspectSquare, mw::kAspect16x9), 0);
    d.CheckRadioButton(mw::kAspectSquare, mw::kAspect16x9, mw::kAspect4x3);
    EXPECT_EQ(d.GetCheckedRadioButton(mw::kAspectSquare, mw::kAspect16x9), mw::kAspect4x3);
    d.CheckRadioButton(mw::kAspectSquare, mw::kAspect16x9, mw::kAspect16x9);
    EXPECT_FALSE(d.IsChecked(mw::kAspect4x3));
    EXPECT_TRUE(d.IsChecked(mw::kAspect16x9));
    d.SetCheck(mw::kPulldown, true);
    EXPECT_TRUE(d.IsChecked(mw::kPulldown));
    EXPECT_FALSE(d.IsEnabled(mw::kTemplateList)); // created disabled
    d.Enable(mw::kTemplateList, true);
    EXPECT_TRUE(d.IsEnabled(mw::kTemplateList));
    EXPECT_EQ(d.GetText(mw::kAddJob), "&Add Job");
    d.SetText(mw::kAddJob, "&Replace");
    EXPECT_EQ(d.GetText(mw::kAddJob), "&Replace");
    EXPECT_FALSE(d.IsVisible(mw::kTemplateOrder));
    EXPECT_EQ(d.BadAccesses(), 0);

    MemoryDialog s(platform::SettingsDialogControls());
    s.CheckRadioButton(sd::kOutputSameDir, sd::kOutputSelected, sd::kOutputSelected);
    EXPECT_TRUE(s.IsChecked(sd::kOutputSelected));
    EXPECT_FALSE(s.IsChecked(sd::kOutputSameDir));
    EXPECT_EQ(s.BadAccesses(), 0);
}

TEST(MemoryDialog, ListRowsImagesSelectionAndTopRow) {
    MemoryDialog d(platform::MainWindowControls());
    EXPECT_EQ(d.InsertRow(mw::kJobList, -1, "A", 0), 0);
    EXPECT_EQ(d.InsertRow(mw::kJobList, -1, "B", 1), 1);
    EXPECT_EQ(d.InsertRow(mw::kJobList, -1, "C", 2), 2);
    EXPECT_EQ(d.InsertRow(mw::kJobList, 9, "X", 0), -1);
    d.SetSelection(mw::kJobList, 1);
    // Moving B up: take row 0 out and put it back after B; the selection follows B.
    std::string a = d.GetRowText(mw::kJobList, 0);
    ASSERT_TRUE(d.DeleteRow(mw::kJobList, 0));
    EXPECT_EQ(d.GetSelection(mw::kJobList), 0);
    EXPECT_EQ(d.InsertRow(mw::kJobList, 1, a, 3), 1);
    EXPECT_EQ(d.GetSelection(mw::kJobList), 0);
    EXPECT_EQ(d.GetRowText(mw::kJobList, 0), "B");
    EXPECT_EQ(d.GetRowImage(mw::kJobList, 1), 3);
    ASSERT_TRUE(d.DeleteRow(mw::kJobList, 0));
    EXPECT_EQ(d.GetSelection(mw::kJobList), -1);
    EXPECT_FALSE(d.DeleteRow(mw::kJobList, 5));
    EXPECT_EQ(d.GetRowImage(mw::kJobList, 5), -1);

    // The log list keeps its newest five rows in view the way the log does it.
    for (int i = 0; i < 8; ++i) {
        d.InsertRow(mw::kLogList, -1, "line " + std::to_string(i), i % 4);
        if (d.GetCount(mw::kLogList) > 5) {
            d.SetTopRow(mw::kLogList, d.GetCount(mw::kLogList) - 5);
        }
    }
    EXPECT_EQ(d.GetTopRow(mw::kLogList), 3);
    d.SetTopRow(mw::kLogList, 100);
    EXPECT_EQ(d.GetTopRow(mw::kLogList), 7);
    d.ResetContent(mw::kLogList);
    EXPECT_EQ(d.GetCount(mw::kLogList), 0);
    EXPECT_EQ(d.GetTopRow(mw::kLogList), 0);

    // The template drop-down: rows without images, its text is the selected row's.
    d.InsertRow(mw::kTemplateList, -1, "Reroziz-Urud");
    d.InsertRow(mw::kTemplateList, -1, "CBR");
    d.SetSelection(mw::kTemplateList, 1);
    EXPECT_EQ(d.GetText(mw::kTemplateList), "CBR");
    EXPECT_EQ(d.GetRowImage(mw::kTemplateList, 0), -1);
    d.SetSelection(mw::kTemplateList, 2);
    EXPECT_EQ(d.GetSelection(mw::kTemplateList), -1);

    d.SetProgressRange(mw::kProgress, 0, 100);
    d.SetProgressPos(mw::kProgress, 130);
    EXPECT_EQ(d.GetProgressPos(mw::kProgress), 100);
    EXPECT_EQ(d.BadAccesses(), 0);
}

TEST(MemoryDialog, UnknownOrMismatchedIdsChangeNothingAndAreCounted) {
    MemoryDialog d(platform::MainWindowControls());
    d.SetText(4242, "x");
    EXPECT_EQ(d.GetText(4242), "");
    d.SetSpinPos(mw::kBitrateAvg, 5); // the field, not its spin
    d.SetCheck(mw::kStart, true);     // a push button
    EXPECT_EQ(d.InsertRow(mw::kName, -1, "row"), -1);
    EXPECT_EQ(d.BadAccesses(), 5);
    EXPECT_EQ(d.LastBadId(), mw::kName);
    EXPECT_EQ(d.GetText(mw::kBitrateAvg), "");
}

TEST(ControlLists, NumbersAreUniqueAndSpinsHaveEditBuddies) {
    for (const auto* list :
         {&platform::MainWindowControls(), &platform::SettingsDialogControls()}) {
        std::set<int> ids;
        for (const auto& c : *list) {
            EXPECT_TRUE(ids.insert(c.id).second) << c.id;
        }
        for (const auto& c : *list) {
            if (c.kind == platform::ControlKind::Spin) {
                auto buddy = std::find_if(list->begin(), list->end(),
                                          [&](const auto& b) { return b.id == c.buddy; });
                ASSERT_NE(buddy, list->end()) << c.id;
                EXPECT_EQ(buddy->kind, platform::ControlKind::Edit) << c.id;
            }
        }
    }
}
