// The job panels' helpers and the settings dialog's logic over in-memory dialogs.
#include "app/settings_dialog.h"
#include "cluster/cluster_settings.h"
#include "jobs/job_panels.h"
#include "main_window_fixture.h"
#include "platform/message_boxes.h"
#include "store/paths.h"
#include "support/store_faults.h"

#include <gtest/gtest.h>

#include <filesystem>

using namespace platform::main_window;
using app_testing::MainWindowRig;

TEST(JobPanels, RefreshListsLongNamesWholeAndStopsAtAGapSayingSo) {
    MainWindowRig rig;
    rig.AddJob("first");
    rig.AddJob("second");
    rig.AddJob("third");
    rig.AddJob("fourth");
    std::string longName(5000, 'n');
    jobs::SetJobString(rig.temp.Store(), 1, jobs::kName, longName);
    jobs::RefreshJobList(rig.dialog, rig.temp.Store(), &rig.log);
    ASSERT_EQ(rig.dialog.GetCount(kJobList), 4);
    EXPECT_EQ(rig.dialog.GetRowText(kJobList, 1), longName);
    EXPECT_TRUE(rig.events.empty());
    // A missing position (only a damaged store has one) ends the list, with a warning.
    ASSERT_TRUE(rig.temp.Store().DeleteTree(store::kHive, jobs::JobKeyPath(2)));
    jobs::RefreshJobList(rig.dialog, rig.temp.Store(), &rig.log);
    EXPECT_EQ(rig.dialog.GetCount(kJobList), 2);
    EXPECT_TRUE(
        rig.Saw("log:1:WARNING: Job 3 follows a missing job 2; the Job List ends before it."));

    // Without a damaged job the refresh logs nothing.
    MainWindowRig clean;
    clean.AddJob("a");
    clean.AddJob("b");
    jobs::RefreshJobList(clean.dialog, clean.temp.Store(), &clean.log);
    EXPECT_EQ(clean.dialog.GetCount(kJobList), 2);
    EXPECT_TRUE(clean.events.empty());

    jobs::RefreshJobRow(clean.dialog, clean.temp.Store(), 1, jobs::kImageRunning);
    EXPECT_EQ(clean.dialog.GetRowText(kJobList, 1), "b");
    EXPECT_EQ(clean.dialog.GetRowImage(kJobList, 1), jobs::kImageRunning);
    jobs::RefreshJobRow(clean.dialog, clean.temp.Store(), 2, jobs::kImageRunning);
    EXPECT_EQ(clean.dialog.GetCount(kJobList), 2);
}

TEST(JobPanels, ClearRemovesTheListedJobsAndButtonsFollowTheRun) {
    MainWindowRig rig;
    rig.AddJob("a");
    rig.AddJob("b");
    rig.AddJob("c");
    jobs::RefreshJobList(rig.dialog, rig.temp.Store(), nullptr);
    EXPECT_TRUE(jobs::ClearJobList(rig.dialog, rig.temp.Store(), rig.log));
    EXPECT_EQ(rig.dialog.GetCount(kJobList), 0);
    for (int i = 0; i < 3; ++i) {
        EXPECT_FALSE(
            rig.temp.Store().OpenKey(store::kHive, jobs::JobKeyPath(i), store::Access::Read));
    }
    jobs::UpdateJobButtons(rig.dialog, true);
    EXPECT_FALSE(rig.dialog.IsEnabled(kStart));
    EXPECT_FALSE(rig.dialog.IsEnabled(kClear));
    EXPECT_TRUE(rig.dialog.IsEnabled(kStop));
    EXPECT_TRUE(rig.dialog.IsEnabled(kMoveUp));
}

TEST(JobPanels, ResetEmptiesTextsAndKeepsNumbers) {
    MainWindowRig rig;
    jobs::SetJobSpinRanges(rig.dialog);
    rig.dialog.SetText(kBitrateAvg, "4000");
    rig.dialog.SetText(kInfoFrameRate, "23.976");
    rig.dialog.SetText(kChapterList, "0,100");
    rig.dialog.SetText(kAddJob, "&Replace");
    rig.dialog.SetCheck(kPulldown, true);
    rig.dialog.SetCheck(kAspect16x9, true);
    jobs::ResetJobEditor(rig.dialog);
    EXPECT_EQ(rig.dialog.GetText(kBitrateAvg), "4000");
    EXPECT_EQ(rig.dialog.GetSpinPos(kBitrateAvgSpin), 4000);
    EXPECT_FALSE(rig.dialog.IsEnabled(kBitrateAvg));
    EXPECT_EQ(rig.dialog.GetText(kInfoFrameRate), "");
    EXPECT_EQ(rig.dialog.GetText(kChapterList), "");
    EXPECT_EQ(rig.dialog.GetText(kAddJob), "&Add Job");
    EXPECT_FALSE(rig.dialog.IsChecked(kPulldown));
    EXPECT_TRUE(rig.dialog.IsChecked(kAspect16x9));
    EXPECT_FALSE(rig.dialog.IsEnabled(kAspect16x9));
    EXPECT_EQ(rig.dialog.BadAccesses(), 0);
}

namespace {

class FixedChooser : public app::FolderChooser {
public:
    bool ChooseFolder(const std::string& title, std::string& folder) override {
        lastTitle = title;
        if (answer.empty()) {
            return false;
        }
        folder = answer;
        return true;
    }
    std::string answer;
    std::string lastTitle;
};

class SettingsShownBoxes : public platform::MessageBoxes {
public:
    int ShowError(const std::string& text, const std::string&,
                  platform::MessageBoxButtons) override {
        shown.push_back(text);
        return platform::kAnswerOk;
    }
    std::vector<std::string> shown;
};

struct SettingsRig {
    testing_support::TempStore temp;
    testing_support::TempDir folders;
    platform::MemoryDialog dialog{platform::SettingsDialogControls()};
    FixedChooser chooser;
    SettingsShownBoxes boxes;
    app::CSettingsDlg dlg{dialog, temp.Store(), chooser, boxes};

    uint32_t Number(const char* name) {
        uint32_t v = 99;
        temp.Store().ReadNumber(store::kHive, store::kRootPath, name, v);
        return v;
    }
};

} // namespace

using namespace platform::settings_dialog;

TEST(SettingsDialog, FreshStoreShowsNothingSetAndOkStillSaves) {
    SettingsRig rig;
    rig.dlg.OnInitDialog();
    EXPECT_EQ(rig.dialog.GetTitle(), "Vantaq Settings");
    EXPECT_EQ(rig.dialog.GetCheckedRadioButton(kOutputSameDir, kOutputSelected), 0);
    EXPECT_FALSE(rig.dialog.IsChecked(kDeleteMpv));
    EXPECT_TRUE(rig.dlg.OnOK());
    // The root key did not exist: OK creates it rather than dropping the user's choices.
    EXPECT_EQ(rig.Number("OutputSameDir"), 0u);
    EXPECT_EQ(rig.Number("EnableLogging"), 0u);
    std::string folder = "x";
    EXPECT_TRUE(rig.temp.Store().ReadString(store::kHive, store::kRootPath, "OutputDirectory", 1024,
                                            folder));
    EXPECT_EQ(folder, "");
    // Reopened, it shows where the outputs go: beside their sources, as no folder is chosen.
    platform::MemoryDialog second(platform::SettingsDialogControls());
    app::CSettingsDlg dlg2(second, rig.temp.Store(), rig.chooser, rig.boxes);
    dlg2.OnInitDialog();
    EXPECT_TRUE(second.IsChecked(kOutputSameDir));
    EXPECT_FALSE(second.IsEnabled(kBrowse));
    EXPECT_TRUE(dlg2.OnOK());
}

TEST(SettingsDialog, RoundTripWithRadiosAndBrowse) {
    SettingsRig rig;
    auto& s = rig.temp.Store();
    s.WriteNumber(store::kHive, store::kRootPath, "OutputSameDir", 1);
    s.WriteNumber(store::kHive, store::kRootPath, "AutoBias", 1);
    s.WriteNumber(store::kHive, store::kRootPath, "CCEPriority", 0);
    s.WriteString(store::kHive, store::kRootPath, "OutputDirectory", "/old");
    rig.dlg.OnInitDialog();
    EXPECT_TRUE(rig.dialog.IsChecked(kOutputSameDir));
    EXPECT_FALSE(rig.dialog.IsEnabled(kOutputDirectory));
    EXPECT_FALSE(rig.dialog.IsEnabled(kBrowse));
    // Off, the folder says which choice turns it on.
    EXPECT_NE(rig.dialog.GetToolTip(kOutputDirectory).find("directory selected below"),
              std::string::npos);
    EXPECT_TRUE(rig.dialog.IsChecked(kAutoBias));
    EXPECT_EQ(rig.dialog.GetText(kOutputDirectory), "/old");

    rig.dialog.CheckRadioButton(kOutputSameDir, kOutputSelected, kOutputSelected);
    rig.dlg.OnOutputSelected();
    EXPECT_TRUE(rig.dialog.IsEnabled(kBrowse));
    EXPECT_EQ(rig.dialog.GetToolTip(kBrowse), "");
    rig.dlg.OnBrowse(); // cancelled
    EXPECT_EQ(rig.chooser.lastTitle, "Select the output directory:");
    EXPECT_EQ(rig.dialog.GetText(kOutputDirectory), "/old");
    const std::string out = rig.folders.File("out");
    std::filesystem::create_directories(out);
    rig.chooser.answer = out;
    rig.dlg.OnBrowse();
    EXPECT_EQ(rig.dialog.GetText(kOutputDirectory), out);
    rig.dialog.SetCheck(kEnableLogging, true);
    EXPECT_TRUE(rig.dlg.OnOK());
    EXPECT_TRUE(rig.boxes.shown.empty());
    EXPECT_EQ(rig.Number("OutputSameDir"), 0u);
    EXPECT_EQ(rig.Number("EnableLogging"), 1u);
    EXPECT_EQ(rig.Number("AutoBias"), 1u);

    // Reopened, the dialog shows what was stored; same-dir disables the folder again.
    platform::MemoryDialog second(platform::SettingsDialogControls());
    app::CSettingsDlg dlg2(second, s, rig.chooser, rig.boxes);
    dlg2.OnInitDialog();
    EXPECT_TRUE(second.IsChecked(kOutputSelected));
    EXPECT_FALSE(second.IsChecked(kOutputSameDir));
    EXPECT_EQ(second.GetText(kOutputDirectory), out);
    second.CheckRadioButton(kOutputSameDir, kOutputSelected, kOutputSameDir);
    dlg2.OnOutputSameDir();
    EXPECT_FALSE(second.IsEnabled(kOutputDirectory));
    // Cancel writes nothing.
    EXPECT_FALSE(dlg2.OnCancel());
    EXPECT_EQ(rig.Number("OutputSameDir"), 0u);
}

TEST(SettingsDialog, WhereEncodesRunIsStoredWithTheClusterFields) {
    SettingsRig rig;
    rig.dlg.OnInitDialog();
    // A fresh store runs here; the cluster's fields wait until the cluster is chosen.
    EXPECT_TRUE(rig.dialog.IsChecked(kRunHere));
    EXPECT_FALSE(rig.dialog.IsEnabled(kSlurmOptions));
    EXPECT_NE(rig.dialog.GetToolTip(kSlurmOptions).find("Slurm cluster"), std::string::npos);
    EXPECT_EQ(rig.dialog.GetText(kSlurmMaxJobs), "4");
    rig.dialog.CheckRadioButton(kRunHere, kRunOnSlurm, kRunOnSlurm);
    rig.dlg.OnRunOnSlurm();
    EXPECT_TRUE(rig.dialog.IsEnabled(kSlurmPartition));
    rig.dialog.SetText(kSlurmPartition, " encode ");
    rig.dialog.SetText(kSlurmMaxJobs, "lots");
    rig.dialog.SetText(kSlurmOptions, "--time=1:00\r\n\n  --comment=a b $HOME \"x\"  \n");
    rig.dlg.OnOK();
    cluster::ClusterSettings stored = cluster::ReadClusterSettings(rig.temp.Store());
    EXPECT_TRUE(stored.m_UseSlurm);
    EXPECT_EQ(stored.m_Partition, "encode");
    EXPECT_EQ(stored.m_MaxJobs, 4); // not a number: the stored one stays
    // One argument per line, kept whole: blanks, quotes and "$" reach sbatch as typed.
    EXPECT_EQ(stored.m_SbatchOptions,
              (std::vector<std::string>{"--time=1:00", "--comment=a b $HOME \"x\""}));

    platform::MemoryDialog second(platform::SettingsDialogControls());
    app::CSettingsDlg dlg2(second, rig.temp.Store(), rig.chooser, rig.boxes);
    dlg2.OnInitDialog();
    EXPECT_TRUE(second.IsChecked(kRunOnSlurm));
    EXPECT_TRUE(second.IsEnabled(kSlurmMaxJobs));
    EXPECT_EQ(second.GetText(kSlurmOptions), "--time=1:00\n--comment=a b $HOME \"x\"");
    second.SetText(kSlurmMaxJobs, "3");
    second.CheckRadioButton(kRunHere, kRunOnSlurm, kRunHere);
    dlg2.OnRunHere();
    EXPECT_FALSE(second.IsEnabled(kSlurmPartition));
    dlg2.OnOK();
    stored = cluster::ReadClusterSettings(rig.temp.Store());
    EXPECT_FALSE(stored.m_UseSlurm);
    EXPECT_EQ(stored.m_MaxJobs, 3);
    EXPECT_EQ(stored.m_Partition, "encode");
}

// OK with the outputs in a chosen folder checks that folder first: a refused one is named in a
// box, nothing is stored and the dialog stays; the same folder beside the sources is not checked.
TEST(SettingsDialog, OkRefusesAnOutputFolderThatCannotTakeTheOutputs) {
    SettingsRig rig;
    const std::string file = rig.folders.File("a file");
    ASSERT_TRUE(testing_support::WriteFile(file, "x"));
    const std::string locked = rig.folders.File("locked");
    std::filesystem::create_directories(locked);
    testing_support::ReadOnlyMount readOnly(locked);
    if (!readOnly.Mounted()) {
        VANTAQ_SKIP_OR_FAIL(readOnly.Reason());
    }
    const struct {
        std::string folder;
        std::string problem; // "" when accepted
    } cases[] = {
        {"", "Choose the folder for the output, or place the output in the same directory as the "
             "assets."},
        {"out", "The output folder \"out\" is not a full path: it must begin with \"/\"."},
        {rig.folders.File("gone"),
         "The output folder \"" + rig.folders.File("gone") + "\" does not exist."},
        {file, "The output folder \"" + file + "\" is not a folder."},
        {locked, "The output folder \"" + locked +
                     "\" cannot be written to: choose a folder you may write in."},
        {rig.folders.Path(), ""},
    };
    rig.dlg.OnInitDialog();
    rig.dialog.CheckRadioButton(kOutputSameDir, kOutputSelected, kOutputSelected);
    rig.dlg.OnOutputSelected();
    for (const auto& c : cases) {
        rig.boxes.shown.clear();
        rig.dialog.SetText(kOutputDirectory, c.folder);
        EXPECT_EQ(rig.dlg.OnOK(), c.problem.empty()) << c.folder;
        EXPECT_EQ(rig.boxes.shown, c.problem.empty() ? std::vector<std::string>{}
                                                     : std::vector<std::string>{c.problem});
        // Refused: nothing was stored.
        EXPECT_EQ(rig.Number("OutputSameDir"), c.problem.empty() ? 0u : 99u) << c.folder;
    }
    // Outputs beside the sources: the folder field is not looked at.
    rig.boxes.shown.clear();
    rig.dialog.CheckRadioButton(kOutputSameDir, kOutputSelected, kOutputSameDir);
    rig.dialog.SetText(kOutputDirectory, "");
    EXPECT_TRUE(rig.dlg.OnOK());
    EXPECT_TRUE(rig.boxes.shown.empty());
}
