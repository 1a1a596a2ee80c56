// The real window offscreen: start-up in a laid-out program folder, the log view, the
// settings dialog, and screenshots of the window.
#include "cluster/cluster_settings.h"
#include "gui/settings_window.h"
#include "platform/control_ids.h"
#include "program_folder.h"
#include "store/paths.h"

#include <QAbstractButton>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QListView>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QTest>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>

using namespace platform::main_window;
using gui_testing::Has;
using gui_testing::LogRows;
using gui_testing::ProgramFolder;
using gui_testing::SpinUntil;

namespace {

QListWidget* List(gui::Program& program, int id) {
    return dynamic_cast<QListWidget*>(program.Window().Controls().Widget(id));
}

} // namespace

TEST(WindowStartup, ChecksThenQueueThenKeywords) {
    ProgramFolder folder;
    folder.WriteJobs(3);
    auto program = folder.MakeProgram({"-clear", "-minimize", "-source:/tmp/list a.txt"});
    program->Start();
    platform::Dialog& d = program->Window().Dialog();
    // Before the first tick the window is up but nothing is loaded.
    EXPECT_EQ(d.GetCount(kJobList), 0);
    EXPECT_EQ(d.GetTitle(), "Vantaq");
    ASSERT_TRUE(SpinUntil([&] { return program->Logic().StartupDone(); }));
    EXPECT_TRUE(folder.exits.empty());
    EXPECT_EQ(d.GetTitle(), "Vantaq " VANTAQ_TEST_VERSION);

    std::vector<std::string> rows = LogRows(*program);
    ASSERT_FALSE(rows.empty());
    EXPECT_EQ(rows.front(), "0 Vantaq " VANTAQ_TEST_VERSION " Started!!!");
    EXPECT_FALSE(Has(rows, "1 There were errors loading program system information!!!"));
    // The keywords after the checks, clear before source; no tray offscreen, and silently so.
    auto cleared = std::find(rows.begin(), rows.end(), "0 Job List cleared!");
    auto source = std::find(rows.begin(), rows.end(), "0 Processing source file: /tmp/list a.txt");
    ASSERT_NE(cleared, rows.end());
    EXPECT_EQ(cleared + 1, source);
    ASSERT_NE(source, rows.end());
    // The list file does not exist: the loader says so and adds nothing.
    ASSERT_EQ(source + 2, rows.end());
    EXPECT_EQ(*(source + 1), "2 ERROR: The file (/tmp/list a.txt) does not exist");
    EXPECT_EQ(d.GetCount(kJobList), 0);
    EXPECT_TRUE(program->Window().isVisible());
    EXPECT_FALSE(program->Logic().m_InTray);
    // Idle buttons; parts not in the program stay disabled on screen.
    EXPECT_TRUE(program->Window().Controls().Widget(kClear)->isEnabled());
    EXPECT_TRUE(program->Window().Controls().Widget(kExit)->isEnabled());
    EXPECT_TRUE(d.IsEnabled(kNewJob));
    EXPECT_TRUE(program->Window().Controls().Widget(kNewJob)->isEnabled());
    EXPECT_FALSE(program->Window().Controls().Widget(kTemplateEdit)->isEnabled());
    EXPECT_TRUE(program->Window().Controls().Widget(kStart)->isEnabled());
    EXPECT_FALSE(program->Window().Controls().Widget(kStop)->isEnabled());
    EXPECT_EQ(d.GetCount(kTemplateList), 4);
}

TEST(WindowStartup, TenThousandJobsAreListedQuickly) {
    ProgramFolder folder;
    folder.WriteJobs(10000);
    auto program = folder.MakeProgram({});
    QElapsedTimer clock;
    clock.start();
    program->Start();
    ASSERT_TRUE(SpinUntil([&] { return program->Logic().StartupDone(); }));
    qint64 ready = clock.elapsed();
    auto* list = dynamic_cast<QListView*>(program->Window().Controls().Widget(kJobList));
    ASSERT_NE(list, nullptr);
    ASSERT_EQ(list->model()->rowCount(), 10000);
    EXPECT_EQ(list->model()->index(9999, 0).data().toString().toStdString(), "job 9999");
    EXPECT_EQ(program->Window().Dialog().GetRowImage(kJobList, 0), 0);
    std::printf("[ perf ] window ready with 10000 jobs: %lld ms after start (timer 1: 500 ms)\n",
                static_cast<long long>(ready));
}

TEST(WindowLog, ScrollsToTheNewestRowsAndFiltersDebugLines) {
    ProgramFolder folder;
    auto program = folder.MakeProgram({});
    program->Start();
    ASSERT_TRUE(SpinUntil([&] { return program->Logic().StartupDone(); }));
    QListWidget* log = List(*program, kLogList);

    program->Log().Write("debug hidden", logging::kLogDebug);
    EXPECT_FALSE(Has(LogRows(*program), "3 debug hidden"));
    auto* box = dynamic_cast<QAbstractButton*>(program->Window().Controls().Widget(kLogDebugInfo));
    box->click();
    EXPECT_TRUE(logging::ReadLogDebugInfo(program->Store()));
    program->Log().Write("debug shown", logging::kLogDebug);
    EXPECT_EQ(LogRows(*program).back(), "3 debug shown");
    box->click();
    EXPECT_FALSE(logging::ReadLogDebugInfo(program->Store()));

    for (int i = 0; i < 40; ++i) {
        program->Log().Write("line " + std::to_string(i), logging::kLogInfo);
    }
    SpinUntil([] { return false; }, 100);
    // The newest row is in view, the first rows are scrolled away.
    QRect viewport = log->viewport()->rect();
    EXPECT_TRUE(viewport.contains(log->visualItemRect(log->item(log->count() - 1)).center()));
    EXPECT_FALSE(viewport.intersects(log->visualItemRect(log->item(0))));
    int top = log->indexAt(QPoint(2, 2)).row();
    EXPECT_GE(top, log->count() - 5 - 10);
    EXPECT_LE(top, log->count() - 5);

    // 10,000 lines in a row, then the window must answer again.
    QElapsedTimer clock;
    clock.start();
    for (int i = 0; i < 10000; ++i) {
        program->Log().Write("bulk " + std::to_string(i), logging::kLogInfo);
    }
    qint64 written = clock.elapsed();
    SpinUntil([] { return false; }, 50);
    qint64 settled = clock.elapsed();
    EXPECT_TRUE(viewport.contains(log->visualItemRect(log->item(log->count() - 1)).center()));
    std::printf("[ perf ] 10000 log lines: %lld ms to append, %lld ms until drawn and scrolled\n",
                static_cast<long long>(written), static_cast<long long>(settled));
}

TEST(WindowSettings, DialogShowsAndStoresTheSettings) {
    ProgramFolder folder;
    auto program = folder.MakeProgram({});
    store::KeyStore& s = program->Store();
    s.WriteNumber(store::kHive, store::kRootPath, "OutputSameDir", 1);
    s.WriteNumber(store::kHive, store::kRootPath, "EnableLogging", 1);
    gui::SettingsWindow window(s);
    platform::Dialog& d = window.Dialog();
    using namespace platform::settings_dialog;
    EXPECT_EQ(d.GetTitle(), "Vantaq Settings");
    EXPECT_TRUE(d.IsChecked(kEnableLogging));
    EXPECT_TRUE(d.IsChecked(kOutputSameDir));
    EXPECT_FALSE(window.Dialog().IsEnabled(kBrowse));
    dynamic_cast<QAbstractButton*>(static_cast<gui::WidgetDialog&>(d).Widget(kOutputSelected))
        ->click();
    EXPECT_FALSE(d.IsChecked(kOutputSameDir));
    EXPECT_TRUE(d.IsEnabled(kBrowse));
    // Where encodes run: the cluster's fields open with its radio; the sbatch arguments are
    // typed one per line.
    auto& widgets = static_cast<gui::WidgetDialog&>(d);
    EXPECT_TRUE(d.IsChecked(kRunHere));
    EXPECT_FALSE(widgets.Widget(kSlurmOptions)->isEnabled());
    dynamic_cast<QAbstractButton*>(widgets.Widget(kRunOnSlurm))->click();
    EXPECT_FALSE(d.IsChecked(kRunHere));
    ASSERT_TRUE(widgets.Widget(kSlurmOptions)->isEnabled());
    auto* options = qobject_cast<QPlainTextEdit*>(widgets.Widget(kSlurmOptions));
    ASSERT_NE(options, nullptr);
    QTest::keyClicks(options, "--time=5");
    QTest::keyClick(options, Qt::Key_Return);
    QTest::keyClicks(options, "--comment=a b");
    // The output folder is typed; one that does not exist is refused and nothing is stored.
    auto* typed = qobject_cast<QLineEdit*>(widgets.Widget(kOutputDirectory));
    ASSERT_NE(typed, nullptr);
    const std::string out = folder.Dir().File("out");
    QTest::keyClicks(typed, QString::fromStdString(out));
    dynamic_cast<QAbstractButton*>(widgets.Widget(kOk))->click();
    EXPECT_NE(window.result(), QDialog::Accepted);
    uint32_t same = 9;
    EXPECT_FALSE(s.ReadNumber(store::kHive, store::kRootPath, "OutputSameDir", same) && same == 0);
    std::filesystem::create_directories(out);
    dynamic_cast<QAbstractButton*>(widgets.Widget(kOk))->click();
    EXPECT_EQ(window.result(), QDialog::Accepted);
    ASSERT_TRUE(s.ReadNumber(store::kHive, store::kRootPath, "OutputSameDir", same));
    EXPECT_EQ(same, 0u);
    std::string stored;
    ASSERT_TRUE(s.ReadString(store::kHive, store::kRootPath, "OutputDirectory", 1024, stored));
    EXPECT_EQ(stored, out);
    cluster::ClusterSettings where = cluster::ReadClusterSettings(s);
    EXPECT_TRUE(where.m_UseSlurm);
    EXPECT_EQ(where.m_SbatchOptions, (std::vector<std::string>{"--time=5", "--comment=a b"}));
}

TEST(WindowLook, Screenshots) {
    ProgramFolder folder;
    folder.WriteJobs(12);
    auto program = folder.MakeProgram({});
    program->Start();
    ASSERT_TRUE(SpinUntil([&] { return program->Logic().StartupDone(); }));
    platform::Dialog& d = program->Window().Dialog();
    d.DeleteRow(kJobList, 1);
    d.InsertRow(kJobList, 1, "job 1", 1);
    d.DeleteRow(kJobList, 2);
    d.InsertRow(kJobList, 2, "job 2", 3);
    d.DeleteRow(kJobList, 0);
    d.InsertRow(kJobList, 0, "job 0", 2);
    program->Log().Write("WARNING: a warning line", logging::kLogWarning);
    program->Log().Write("ERROR: an error line", logging::kLogError);
    SpinUntil([] { return false; }, 100);
    std::string dir = VANTAQ_TEST_BIN_DIR;
    for (QSize size : {QSize(), QSize(760, 560), QSize(1400, 900)}) {
        if (size.isValid()) {
            program->Window().resize(size);
            SpinUntil([] { return false; }, 50);
        }
        QPixmap shot = program->Window().grab();
        ASSERT_FALSE(shot.isNull());
        std::string name = dir + "/vantaq-window-" + std::to_string(shot.width()) + "x" +
                           std::to_string(shot.height()) + ".png";
        EXPECT_TRUE(shot.save(QString::fromStdString(name)));
    }
}
