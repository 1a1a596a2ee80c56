// The main window's logic: initialisation, the first tick and its keywords, the tray, the close
// paths and the menu commands.
#include "main_window_fixture.h"
#include "store/paths.h"
#include "support/store_faults.h"
#include "templates/template_store.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

using namespace platform::main_window;
using app_testing::MainWindowRig;

namespace {

// The position of `event` in the rig's events, or -1.
int IndexOf(const MainWindowRig& rig, const std::string& event) {
    auto it = std::find(rig.events.begin(), rig.events.end(), event);
    return it == rig.events.end() ? -1 : static_cast<int>(it - rig.events.begin());
}

} // namespace

TEST(MainWindowStartup, NothingHappensBeforeTheFirstTickAt500Ms) {
    MainWindowRig rig;
    rig.AddJob("one");
    rig.Build();
    rig.window->OnInitDialog("vantaq -clear");
    EXPECT_TRUE(rig.window->Options().Has("clear"));
    int low = 0, high = 0;
    ASSERT_TRUE(rig.dialog.GetSpinRange(kBitrateMaxSpin, low, high));
    EXPECT_EQ(low, 500);
    EXPECT_EQ(high, 9800);
    ASSERT_TRUE(rig.dialog.GetSpinRange(kQFactorSpin, low, high));
    EXPECT_EQ(high, 300);
    EXPECT_EQ(rig.queue.TimeUntil(app::kTimerStartup), 500);

    rig.queue.AdvanceTime(499);
    EXPECT_TRUE(rig.events.empty());
    EXPECT_EQ(rig.dialog.GetCount(kJobList), 0);
    rig.queue.AdvanceTime(1);
    EXPECT_TRUE(rig.window->StartupDone());
    EXPECT_FALSE(rig.queue.IsTimerPending(app::kTimerStartup));
    // Further time brings no second start-up.
    rig.queue.AdvanceTime(5000);
    EXPECT_EQ(std::count(rig.events.begin(), rig.events.end(), "checks"), 1);
}

TEST(MainWindowStartup, FirstTickFillsTheWindowAfterTheChecks) {
    MainWindowRig rig;
    rig.AddJob("done", jobs::kStatusComplete);
    rig.AddJob("next");
    rig.AddJob("bad", jobs::kStatusError);
    rig.checksSucceed = false;
    rig.Build();
    rig.dialog.SetText(kName, "stale edit");
    rig.dialog.Enable(kAddJob, true);
    rig.Start("vantaq");

    EXPECT_EQ(rig.events.front(), "checks");
    EXPECT_EQ(rig.events.at(1), "log:1:There were errors loading program system information!!!");
    ASSERT_EQ(rig.dialog.GetCount(kJobList), 3);
    EXPECT_EQ(rig.dialog.GetRowText(kJobList, 1), "next");
    EXPECT_EQ(rig.dialog.GetRowImage(kJobList, 0), jobs::kImageComplete);
    EXPECT_EQ(rig.dialog.GetRowImage(kJobList, 1), jobs::kImagePending);
    EXPECT_EQ(rig.dialog.GetRowImage(kJobList, 2), jobs::kImageError);
    // The editor is idle, the job buttons follow the idle state, New Job and Exit are usable.
    EXPECT_EQ(rig.dialog.GetText(kName), "");
    EXPECT_FALSE(rig.dialog.IsEnabled(kAddJob));
    EXPECT_EQ(rig.dialog.GetText(kAddJob), "&Add Job");
    EXPECT_TRUE(rig.dialog.IsEnabled(kStart));
    EXPECT_TRUE(rig.dialog.IsEnabled(kClear));
    EXPECT_FALSE(rig.dialog.IsEnabled(kStop));
    EXPECT_TRUE(rig.dialog.IsEnabled(kNewJob));
    EXPECT_TRUE(rig.dialog.IsEnabled(kExit));
    EXPECT_EQ(rig.dialog.BadAccesses(), 0);
}

TEST(MainWindowStartup, KeywordsRunInFixedOrderWhateverTheirOrderOnTheLine) {
    MainWindowRig rig;
    rig.AddJob("a");
    rig.AddJob("b");
    std::vector<std::string> loaded;
    app::MainWindowHooks hooks;
    hooks.onStartProcessing = [&] {
        rig.events.push_back("start");
        rig.run.m_Processing = true;
    };
    hooks.loadFileList = [&](const std::string& path) {
        rig.events.push_back("load:" + path);
        EXPECT_FALSE(rig.dialog.IsEnabled(kNewJob));
    };
    rig.Build(std::move(hooks));
    rig.Start("/opt/a-b/vantaq /MINIMIZE -start -source:\"/tmp/my lists/n.txt\" -clear");

    int clear = IndexOf(rig, "log:0:Job List cleared!");
    int source = IndexOf(rig, "log:0:Processing source file: /tmp/my lists/n.txt");
    int load = IndexOf(rig, "load:/tmp/my lists/n.txt");
    int start = IndexOf(rig, "start");
    int tray = IndexOf(rig, "tray-add:Vantaq - Running");
    ASSERT_GE(clear, 0);
    EXPECT_LT(clear, source);
    EXPECT_LT(source, load);
    EXPECT_LT(load, start);
    EXPECT_LT(start, tray);
    EXPECT_EQ(rig.events.back(), "hide");
    EXPECT_TRUE(rig.window->m_InTray);
    EXPECT_EQ(rig.dialog.GetCount(kJobList), 0);
    EXPECT_EQ(jobs::ReadJobNames(rig.temp.Store()).size(), 0u);
    // The program's path opens a key of its own that nothing consults.
    EXPECT_TRUE(rig.window->Options().Has("opt/a-b/vantaq"));
}

TEST(MainWindowStartup, ALongClearIsRemovedFromTheStoreASliceAtATimeAfterwards) {
    // A queue long enough for the store to set it aside whole: the clear itself returns at once
    // and the window's idle slices then remove every row, leaving a store as a short clear would.
    MainWindowRig rig;
    store::KeyStore& s = rig.temp.Store();
    {
        store::KeyStore::Transaction unit(s);
        for (int i = 0; i < store::KeyStore::kSetAsideFrom + 10; ++i) {
            jobs::JobRecord r;
            r.name = "job " + std::to_string(i);
            ASSERT_TRUE(jobs::WriteJobRecord(s, i, r));
        }
        ASSERT_TRUE(unit.Commit());
    }
    rig.Build();
    rig.Start("vantaq -clear");
    ASSERT_GE(IndexOf(rig, "log:0:Job List cleared!"), 0);
    EXPECT_EQ(jobs::JobCount(s), 0);
    rig.queue.RunUntil([&] { return !rig.queue.IsTimerPending(app::kTimerTidyStore); }, 60000);
    EXPECT_EQ(s.PurgeSetAside(1), 0) << "nothing is left set aside";
}

TEST(MainWindowStartup, MissingPartsAndTrayFailureStayQuiet) {
    MainWindowRig rig;
    rig.tray.addSucceeds = false;
    rig.Build();
    rig.Start("vantaq -source:list.txt -start -minimize -exit -bogus:1");
    // Without a loader only the line is logged, and New Job stays usable.
    EXPECT_TRUE(rig.Saw("log:0:Processing source file: list.txt"));
    EXPECT_TRUE(rig.dialog.IsEnabled(kNewJob));
    // "minimize" tried the tray with the idle tip, failed silently, and the window stays.
    EXPECT_EQ(rig.events.back(), "tray-add:Vantaq - Idle");
    EXPECT_FALSE(rig.window->m_InTray);
    EXPECT_FALSE(rig.Saw("hide"));
    // "exit" alone closes nothing.
    EXPECT_FALSE(rig.host.ended);
}

TEST(MainWindowTray, MinimiseHidesToTrayOrLogsTheFailure) {
    MainWindowRig rig;
    rig.Build();
    rig.Start("vantaq");
    rig.tray.addSucceeds = false;
    // No tray: logged, and the window minimises the ordinary way.
    EXPECT_FALSE(rig.window->OnMinimize());
    EXPECT_TRUE(rig.Saw("log:2:ERROR: Could not add icon to taskbar."));
    EXPECT_TRUE(rig.host.visible);

    rig.tray.addSucceeds = true;
    EXPECT_TRUE(rig.window->OnMinimize());
    EXPECT_FALSE(rig.host.visible);
    EXPECT_TRUE(rig.window->m_InTray);
    // Minimise while in the tray gets the default handling.
    EXPECT_FALSE(rig.window->OnMinimize());

    // A tip longer than the tray allows is cut to 63 characters.
    rig.window->UpdateTrayIcon(std::string(80, 'x'));
    EXPECT_EQ(rig.events.back(), "tray-update:" + std::string(63, 'x'));
}

TEST(MainWindowTray, RestoreFailureKeepsTheWindowHidden) {
    MainWindowRig rig;
    rig.Build();
    rig.Start("vantaq -minimize");
    ASSERT_TRUE(rig.window->m_InTray);
    rig.tray.removeSucceeds = false;
    EXPECT_FALSE(rig.window->RestoreFromTray());
    EXPECT_TRUE(rig.Saw("log:2:ERROR: Unable to set window to normal"));
    EXPECT_TRUE(rig.window->m_InTray);
    EXPECT_FALSE(rig.host.visible);
    rig.tray.removeSucceeds = true;
    EXPECT_TRUE(rig.window->RestoreFromTray());
    EXPECT_TRUE(rig.host.visible);
    EXPECT_FALSE(rig.window->m_InTray);
    // Out of the tray it does nothing and succeeds.
    size_t before = rig.events.size();
    EXPECT_TRUE(rig.window->RestoreFromTray());
    EXPECT_EQ(rig.events.size(), before);
}

TEST(MainWindowTray, CallbackMessagesArriveThroughTheQueue) {
    MainWindowRig rig;
    rig.Build();
    rig.Start("vantaq -minimize");
    uint32_t notify = rig.window->TrayNotifyMessage();
    ASSERT_NE(notify, 0u);
    EXPECT_EQ(notify, rig.queue.RegisterMessage(app::kTrayNotifyName));

    rig.queue.Post(platform::UiQueue::Make(notify, 1, 0x0201)); // left button down: nothing
    rig.queue.Post(platform::UiQueue::Make(notify, 1, app::kTrayRightButtonDown));
    rig.queue.RunUntilIdle();
    EXPECT_EQ(rig.events.back(), "tray-menu");
    EXPECT_TRUE(rig.window->m_InTray);
    rig.queue.Post(platform::UiQueue::Make(notify, 1, app::kTrayLeftDoubleClick));
    rig.queue.RunUntilIdle();
    EXPECT_FALSE(rig.window->m_InTray);
    EXPECT_EQ(rig.events.back(), "show");
}

TEST(MainWindowClose, CancelLeavesTheTrayFirstAcceptJustEnds) {
    MainWindowRig rig;
    rig.Build();
    rig.Start("vantaq -minimize");
    rig.window->OnCancel();
    int remove = IndexOf(rig, "tray-remove");
    int end = IndexOf(rig, "end");
    ASSERT_GE(remove, 0);
    EXPECT_LT(remove, end);

    MainWindowRig other;
    other.Build();
    other.Start("vantaq -minimize");
    other.window->OnAccept();
    EXPECT_TRUE(other.host.ended);
    EXPECT_FALSE(other.Saw("tray-remove"));
}

// During a run, closing asks first; Cancel keeps the window, and the "exit" keyword never asks.
TEST(MainWindowClose, DuringARunTheUserIsAskedAndTheKeywordIsNot) {
    const std::string question = "ask:An encode is running. Quit Vantaq and leave the encode "
                                 "running?\n\nWhen Vantaq is started again, it follows the encode "
                                 "to its end and finishes the job.";
    for (bool accept : {false, true}) {
        MainWindowRig rig;
        rig.Build();
        rig.Start("vantaq");
        rig.run.m_Processing = true;
        rig.boxes.answer = 1; // Cancel
        accept ? rig.window->OnUserAccept() : rig.window->OnUserCancel();
        EXPECT_TRUE(rig.Saw(question));
        EXPECT_FALSE(rig.host.ended);
        rig.boxes.answer = 0; // Quit
        accept ? rig.window->OnUserAccept() : rig.window->OnUserCancel();
        EXPECT_TRUE(rig.host.ended);
        EXPECT_TRUE(rig.Saw("log:0:Vantaq ends during a run; the encode goes on and is followed "
                            "at the next start."));
    }
    MainWindowRig keyword;
    keyword.Build();
    keyword.Start("vantaq");
    keyword.run.m_Processing = true;
    keyword.window->OnCancel();
    EXPECT_TRUE(keyword.host.ended);
    EXPECT_FALSE(keyword.Saw(question));
}

TEST(MainWindowRouting, RunTimersAndMessagesGoToTheirHooks) {
    MainWindowRig rig;
    std::vector<int> timers;
    std::vector<int64_t> messages;
    app::MainWindowHooks hooks;
    hooks.onRunTimer = [&](int id) { timers.push_back(id); };
    hooks.onMessage = [&](platform::Message& m) {
        messages.push_back(m.lparam);
        return int64_t{7};
    };
    rig.Build(std::move(hooks));
    rig.Start("vantaq");
    rig.queue.SetTimer(app::MY_TIMER_PART2, 10);
    rig.queue.SetTimer(9, 10);
    rig.queue.SetTimer(app::MY_TIMER_NEXT_JOB, 20);
    rig.queue.AdvanceTime(20);
    EXPECT_EQ(timers, (std::vector<int>{5, 9, 4})); // 9: Stop's grace before the kill
    uint32_t finished = rig.queue.RegisterMessage("UPM_FINISHED-test");
    EXPECT_EQ(rig.queue.Send(platform::UiQueue::Make(finished, 2, 42)), 7);
    EXPECT_EQ(messages, (std::vector<int64_t>{42}));
}

TEST(MainWindowCommands, DebugBoxIsStoredAndFiltersDebugLines) {
    MainWindowRig rig;
    rig.Build();
    rig.Start("vantaq");
    rig.log.Write("hidden", logging::kLogDebug);
    EXPECT_FALSE(rig.Saw("log:3:hidden"));
    rig.dialog.SetCheck(kLogDebugInfo, true);
    rig.window->OnLogDebugInfo();
    EXPECT_TRUE(logging::ReadLogDebugInfo(rig.temp.Store()));
    rig.log.Write("shown", logging::kLogDebug);
    EXPECT_TRUE(rig.Saw("log:3:shown"));
    int rows = rig.dialog.GetCount(kLogList);
    EXPECT_EQ(rig.dialog.GetRowImage(kLogList, rows - 1), logging::kLogDebug);
}

TEST(MainWindowCommands, SettingsReloadOnlyAfterOk) {
    MainWindowRig rig;
    rig.Build();
    rig.Start("vantaq");
    rig.temp.Store().WriteNumber(store::kHive, "Software\\Pellmoor\\Vantaq", "AutoBias", 1);
    rig.host.settingsOk = false;
    rig.window->OnSettings();
    EXPECT_FALSE(rig.window->m_Settings.m_AutoBias);
    rig.host.settingsOk = true;
    rig.window->OnSettings();
    EXPECT_TRUE(rig.window->m_Settings.m_AutoBias);
    // The other values are missing: each one reports its reload error.
    EXPECT_TRUE(rig.Saw("log:2:  ERROR: Could not set DeleteMPV value from Settings dialog!"));
}

TEST(MainWindowCommands, HelpFailuresShowTheMessage) {
    MainWindowRig rig;
    rig.Build();
    rig.Start("vantaq");
    rig.window->OnHelpContents(); // no help file found at start-up
    EXPECT_EQ(rig.events.back(), "box:Failed to launch help.");

    MainWindowRig found;
    found.helpFile = "/opt/vantaq/vantaq.html";
    found.Build();
    found.Start("vantaq");
    found.window->OnHelpContents();
    EXPECT_EQ(found.events.back(), "help:/opt/vantaq/vantaq.html");
    found.host.helpOpens = false;
    found.window->OnHelpContents();
    EXPECT_EQ(found.events.back(), "box:Failed to launch help.");
}

TEST(MainWindowCommands, DeleteLogAndAboutCaption) {
    MainWindowRig rig;
    rig.Build();
    rig.Start("vantaq");
    rig.window->OnDeleteLog();
    EXPECT_EQ(rig.events.back(), "log:0:Log file not found");
    testing_support::WriteFile(rig.log.FilePath(), "old\r\n");
    // An existing file goes only after the question; Cancel keeps it.
    rig.boxes.answer = 1;
    rig.window->OnDeleteLog();
    EXPECT_EQ(rig.events.back().rfind("ask:Delete the log file " + rig.log.FilePath(), 0), 0u);
    EXPECT_TRUE(testing_support::FileExists(rig.log.FilePath()));
    rig.boxes.answer = 0;
    rig.window->OnDeleteLog();
    EXPECT_EQ(rig.events.back(), "log:0:Log file deleted");
    EXPECT_FALSE(testing_support::FileExists(rig.log.FilePath()));
    // A program without a version resource still gets a caption.
    rig.window->OnAbout();
    EXPECT_EQ(rig.events.back(), "about:Vantaq");
}

// On a full disk every change of the window is refused: each refusal is logged with the store's
// error, and the rows stay as the store has them.
TEST(MainWindowCommands, RefusedWritesAreLoggedAndTheRowsFollowTheStore) {
    testing_support::SmallDisk disk(1 << 20);
    if (!disk.Mounted()) {
        VANTAQ_SKIP_OR_FAIL(disk.Reason());
    }
    MainWindowRig rig;
    store::KeyStore& s = rig.temp.Store();
    s.Close();
    std::filesystem::copy_file(rig.temp.Path(), disk.File("store.sqlite"));
    ASSERT_TRUE(s.Open(disk.File("store.sqlite")));
    for (const char* name : {"A", "B", "C", "D"}) {
        rig.AddJob(name, name[0] == 'B' ? jobs::kStatusComplete : jobs::kStatusPending);
    }
    templates::InitTemplates(s);
    rig.Build();
    rig.Start("vantaq");
    auto rows = [&] {
        std::vector<std::string> r;
        for (int i = 0; i < rig.dialog.GetCount(kJobList); ++i) {
            r.push_back(rig.dialog.GetRowText(kJobList, i) + ":" +
                        std::to_string(rig.dialog.GetRowImage(kJobList, i)));
        }
        return r;
    };
    const std::vector<std::string> before{"A:0", "B:2", "C:0", "D:0"};
    ASSERT_EQ(rows(), before);
    ASSERT_TRUE(disk.Fill());
    rig.events.clear();

    rig.dialog.SetSelection(kJobList, 1);
    rig.window->OnDeleteJob();
    rig.window->OnMoveJobUp();
    rig.window->OnMoveJobDown();
    rig.window->OnResetJob();
    rig.window->OnClearJobList();
    rig.dialog.SetCheck(kLogDebugInfo, true);
    rig.window->OnLogDebugInfo();
    rig.host.duringSettings = [&] { s.WriteNumber(store::kHive, store::kRootPath, "AutoBias", 1); };
    rig.window->OnSettings();
    rig.dialog.InsertRow(kTemplateList, -1, "first template");
    rig.dialog.SetSelection(kTemplateList, 0);
    rig.window->OnSetTemplateDefault();

    std::vector<std::string> errors;
    for (const std::string& e : rig.events) {
        if (e.rfind("log:2:ERROR: Could not ", 0) == 0) {
            EXPECT_NE(e.find("(database or disk is full)."), std::string::npos) << e;
            errors.push_back(e.substr(23, e.find(':', 23) - 23));
        }
    }
    EXPECT_EQ(errors,
              (std::vector<std::string>{"delete job B", "move job B", "move job B", "reset job B",
                                        "clear the Job List", "store \"Log debug info\"",
                                        "store the settings", "store the template default"}));
    EXPECT_EQ(rows(), before);
    EXPECT_EQ(rig.dialog.GetSelection(kJobList), 1);
    disk.Free();
    EXPECT_EQ(jobs::JobCount(s), 4);
    EXPECT_EQ(jobs::JobStatusImage(s, 1), jobs::kImageComplete);
}
