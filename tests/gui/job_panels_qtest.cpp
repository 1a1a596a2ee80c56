// The job list and the job editor on real widgets: the user's events reach the logic, the
// logic's own changes of the lists do not come back as events.
#include "gui/up_down.h"
#include "platform/control_ids.h"
#include "program_folder.h"
#include "store/paths.h"
#include "support/media.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QListView>
#include <QToolButton>

#include <gtest/gtest.h>

using namespace platform::main_window;
using gui_testing::ProgramFolder;
using gui_testing::SpinUntil;
using gui_testing::Widget;

namespace {

void Click(gui::Program& program, int id) {
    Widget<QAbstractButton>(program, id)->click();
}

} // namespace

TEST(WindowJobs, ListEventsAndButtonsDriveTheQueue) {
    ProgramFolder folder;
    folder.WriteJobs(3);
    auto program = folder.MakeProgram({});
    program->Start();
    ASSERT_TRUE(SpinUntil([&] { return program->Logic().StartupDone(); }));
    platform::Dialog& d = program->Window().Dialog();
    for (int id : {kMoveUp, kDelete, kMoveDown, kReset, kNewJob}) {
        EXPECT_TRUE(program->Window().Controls().Widget(id)->isEnabled()) << id;
    }
    EXPECT_FALSE(program->Window().Controls().Widget(kTemplateEdit)->isEnabled());

    // A double-click loads the job; the logic's own selection change keeps the edit, the
    // user's discards it.
    QListView* list = Widget<QListView>(*program, kJobList);
    list->setCurrentIndex(list->model()->index(2, 0));
    emit list->doubleClicked(list->model()->index(2, 0));
    EXPECT_EQ(d.GetText(kName), "job 2");
    EXPECT_EQ(d.GetText(kAddJob), "&Replace");
    d.SetSelection(kJobList, 0);
    EXPECT_EQ(d.GetText(kName), "job 2");
    list->setCurrentIndex(list->model()->index(1, 0));
    EXPECT_EQ(d.GetText(kName), "");
    EXPECT_TRUE(program->Window().Controls().Widget(kNewJob)->isEnabled());

    Click(*program, kMoveDown);
    EXPECT_EQ(d.GetRowText(kJobList, 2), "job 1");
    EXPECT_EQ(d.GetSelection(kJobList), 2);
    Click(*program, kDelete);
    EXPECT_EQ(d.GetCount(kJobList), 2);
}

TEST(WindowJobs, NewJobWithTemplateAndAutoBiasIsAdded) {
    ProgramFolder folder;
    auto program = folder.MakeProgram({});
    // The templates are made at start-up once the program's root key exists.
    program->Store().WriteNumber(store::kHive, store::kRootPath, "AutoBias", 0);
    std::string source = folder.Dir().File("clip.avi");
    media::AviSpec spec;
    spec.totalFrames = 250;
    spec.streams[0].length = 250;
    ASSERT_TRUE(testing_support::WriteFile(source, media::BuildAvi(spec)));
    program->Start();
    program->Window().SetSourceChooser([&] { return source; });
    ASSERT_TRUE(SpinUntil([&] { return program->Logic().StartupDone(); }));
    platform::Dialog& d = program->Window().Dialog();

    Click(*program, kNewJob);
    EXPECT_EQ(d.GetText(kName), "clip");
    EXPECT_EQ(d.GetText(kEndFrame), "250");
    auto* templates = Widget<QComboBox>(*program, kTemplateList);
    ASSERT_TRUE(templates->isEnabled());
    templates->setCurrentIndex(3);
    emit templates->activated(3);
    EXPECT_EQ(d.GetText(kBitrateAvg), "3000");
    EXPECT_TRUE(program->Window().Controls().Widget(kAddJob)->isEnabled());

    program->Logic().m_Settings.m_AutoBias = true;
    auto* avg = Widget<gui::UpDown>(*program, kBitrateAvgSpin);
    avg->findChildren<QToolButton*>().front()->click();
    EXPECT_EQ(d.GetText(kBitrateAvg), "3001");
    EXPECT_EQ(d.GetText(kBias), "35");

    Click(*program, kAddJob);
    ASSERT_EQ(d.GetCount(kJobList), 1);
    EXPECT_EQ(d.GetRowText(kJobList, 0), "clip");
    EXPECT_EQ(d.GetText(kAddJob), "&Add Job");
    EXPECT_FALSE(program->Window().Controls().Widget(kAddJob)->isEnabled());
}
