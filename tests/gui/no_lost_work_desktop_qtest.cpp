// No click loses work, through the real window in the X session: the close right after the
// start, the same-output choice, jobs of one file stem, Delete with Undo and Delete Log.
#include "ecl/ecl_writer.h"
#include "jobs/job_last_error.h"
#include "jobs/job_store.h"
#include "platform/control_ids.h"
#include "program_folder.h"
#include "run/output_clash.h"
#include "support/media.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QListView>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QToolButton>

#include <gtest/gtest.h>

#include <filesystem>

using namespace platform::main_window;
using gui_testing::AnswerNextBox;
using gui_testing::LogRows;
using gui_testing::ProgramFolder;
using gui_testing::Started;
using gui_testing::Widget;

namespace {

// Records the text of every message box that opens while it lives and closes it unanswered:
// a test that expects no question sees the one that came anyway instead of hanging on it.
class BoxWatch {
public:
    BoxWatch() {
        QObject::connect(&m_Poll, &QTimer::timeout, [this] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (box != nullptr && box->isVisible()) {
                texts.push_back(box->text().toStdString());
                box->reject();
            }
        });
        m_Poll.start(20);
    }
    std::vector<std::string> texts;

private:
    QTimer m_Poll;
};

constexpr int kNoLossWait = 20000; // ms; every wait ends as soon as its condition holds

bool LogHas(gui::Program& program, const std::string& row) {
    std::vector<std::string> rows = LogRows(program);
    return std::find(rows.begin(), rows.end(), row) != rows.end();
}

std::vector<std::string> ListedJobs(gui::Program& program) {
    platform::Dialog& d = program.Window().Dialog();
    std::vector<std::string> rows;
    for (int i = 0; i < d.GetCount(kJobList); ++i) {
        rows.push_back(d.GetRowText(kJobList, i));
    }
    return rows;
}

QAction* MenuAction(gui::Program& program, const QString& menuText, const QString& text) {
    for (QAction* menu : program.Window().menuBar()->actions()) {
        if (menu->text() == menuText) {
            for (QAction* item : menu->menu()->actions()) {
                if (item->text() == text) {
                    return item;
                }
            }
        }
    }
    return nullptr;
}

// New Job on `source` through the button, with template list row `templateRow` picked with
// the keys when none is chosen yet.
void NewJobFrom(gui::Program& program, const std::string& source, int templateRow) {
    program.Window().SetSourceChooser([source] { return source; });
    QTest::mouseClick(Widget<QPushButton>(program, kNewJob), Qt::LeftButton);
    auto* templates = Widget<QComboBox>(program, kTemplateList);
    if (templates->currentIndex() < 0) {
        QTest::keyClick(templates, Qt::Key_F4);
        ASSERT_TRUE(QTest::qWaitFor([] { return QApplication::activePopupWidget() != nullptr; },
                                    kNoLossWait));
        QAbstractItemView* view = templates->view();
        for (int i = 0; i < 4 && view->currentIndex().row() != templateRow; ++i) {
            QTest::keyClick(view, Qt::Key_Down);
        }
        QTest::keyClick(view, Qt::Key_Return);
        ASSERT_TRUE(QTest::qWaitFor([] { return QApplication::activePopupWidget() == nullptr; },
                                    kNoLossWait));
    }
    ASSERT_TRUE(Widget<QPushButton>(program, kAddJob)->isEnabled());
}

int StoredNumber(gui::Program& program, int position, const char* name) {
    int n = 0;
    jobs::GetJobNumber(program.Store(), position, name, n);
    return n;
}

} // namespace

TEST(DesktopNoLostWork, CloseRightAfterTheStartAsksNothing) {
    ProgramFolder folder;
    folder.WriteJobs(1);
    auto program = folder.MakeProgram({});
    BoxWatch boxes;
    program->Start();
    // The close box before the start-up has run: no event has been handled since the window
    // was shown, so the start-up timer cannot have fired.
    ASSERT_FALSE(program->Logic().StartupDone());
    QCloseEvent close;
    QCoreApplication::sendEvent(&program->Window(), &close);
    EXPECT_TRUE(boxes.texts.empty()) << boxes.texts.front();
    EXPECT_TRUE(program->Window().Ended());
}

// Sources of one stem in one folder: box.avi, then box.AVI and box.avi again, each with the
// same-output question answered another way. Nothing is queued before the answer, and every
// job that is queued has an ECL of its own.
TEST(DesktopNoLostWork, TheSameOutputWaitsForTheChoiceAndSharedStemsGetTheirOwnFiles) {
    ProgramFolder folder;
    media::AviSpec spec;
    spec.totalFrames = 50;
    spec.streams[0].length = 50;
    const std::string first = folder.Dir().File("box.avi");
    const std::string second = folder.Dir().File("box.AVI");
    ASSERT_TRUE(testing_support::WriteFile(first, media::BuildAvi(spec)));
    ASSERT_TRUE(testing_support::WriteFile(second, media::BuildAvi(spec)));
    // A runner that names the list it was given in its output and fails.
    const std::string runner = folder.Dir().File("EclCCE");
    std::filesystem::remove(runner);
    ASSERT_TRUE(testing_support::WriteFile(runner, "#!/bin/sh\necho \"list $2\"\nexit 1\n"));
    std::filesystem::permissions(runner, std::filesystem::perms::owner_all);
    auto program = Started(folder);
    platform::Dialog& d = program->Window().Dialog();
    auto* add = Widget<QPushButton>(*program, kAddJob);
    NewJobFrom(*program, first, 2);
    QTest::mouseClick(add, Qt::LeftButton);
    ASSERT_EQ(jobs::JobCount(program->Store()), 1);
    const std::string stream = folder.Dir().File("box.mpv");

    // Cancel: not queued, and the job stays in the editor.
    NewJobFrom(*program, second, 2);
    QString seen;
    AnswerNextBox("Cancel", &seen);
    QTest::mouseClick(add, Qt::LeftButton);
    EXPECT_TRUE(seen.startsWith(
        QString::fromStdString("Job box would write " + stream + ", the output file of job box.")))
        << seen.toStdString();
    EXPECT_EQ(jobs::JobCount(program->Store()), 1);
    EXPECT_EQ(d.GetCount(kJobList), 1);
    EXPECT_EQ(d.GetText(kInputFile), second);
    EXPECT_TRUE(add->isEnabled());
    EXPECT_TRUE(LogHas(*program, "0 Job box was not added: it would write " + stream +
                                     ", the output of job box."));

    // Another output name: queued as box.2, with ECL, runner log and description of its own.
    AnswerNextBox("Add with another output name", &seen);
    QTest::mouseClick(add, Qt::LeftButton);
    ASSERT_EQ(jobs::JobCount(program->Store()), 2);
    EXPECT_EQ(run::JobStreamPath(program->Store(), program->Logic().m_Settings, 1),
              folder.Dir().File("box.2.mpv"));
    EXPECT_EQ(ecl::JobEclPath(program->Store(), 0), folder.Dir().File("box.ecl"));
    EXPECT_EQ(ecl::JobEclPath(program->Store(), 1), folder.Dir().File("box.2.ecl"));
    EXPECT_TRUE(LogHas(*program, "0 Job box uses the ECL file " + folder.Dir().File("box.2.ecl") +
                                     ", since another job uses " + folder.Dir().File("box.ecl") +
                                     "."));

    // Replace: queued to write box.mpv when it runs, still with an ECL of its own.
    NewJobFrom(*program, first, 2);
    AnswerNextBox("Replace", &seen);
    QTest::mouseClick(add, Qt::LeftButton);
    ASSERT_EQ(jobs::JobCount(program->Store()), 3);
    EXPECT_EQ(StoredNumber(*program, 2, run::kReplaceOutput), 1);
    EXPECT_EQ(run::JobStreamPath(program->Store(), program->Logic().m_Settings, 2), stream);
    EXPECT_EQ(ecl::JobEclPath(program->Store(), 2), folder.Dir().File("box.3.ecl"));
    EXPECT_EQ(d.GetCount(kJobList), 3);

    // The run: every job fails, and each failure is kept in the runner log of its own list.
    QTest::mouseClick(Widget<QToolButton>(*program, kStart), Qt::LeftButton);
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            return !program->Logic().Processing() &&
                   jobs::CountJobStatuses(program->Store(), 3).error == 3;
        },
        60000));
    for (const char* stem : {"box", "box.2", "box.3"}) {
        const std::string list = folder.Dir().File(std::string(stem) + ".ecl");
        EXPECT_EQ(testing_support::ReadFile(folder.Dir().File(std::string(stem) + ".run.log")),
                  "list " + list + "\n")
            << stem;
    }

    // A job refused at its start for a finished job's stream says why, not a bare "Error".
    store::KeyStore& store = program->Store();
    ASSERT_TRUE(jobs::SetJobString(store, 0, jobs::kStatus, jobs::kStatusComplete));
    ASSERT_TRUE(testing_support::WriteFile(stream, "stream"));
    ASSERT_TRUE(jobs::SetJobNumber(store, 2, run::kReplaceOutput, 0));
    ASSERT_TRUE(jobs::SetJobString(store, 2, jobs::kStatus, jobs::kStatusPending));
    QTest::mouseClick(Widget<QToolButton>(*program, kStart), Qt::LeftButton);
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            return !program->Logic().Processing() && jobs::CountJobStatuses(store, 3).pending == 0;
        },
        60000));
    EXPECT_EQ(jobs::GetJobLastError(store, 2).rfind(
                  "Job box would write " + stream + ", the output of the completed job box;", 0),
              0u)
        << jobs::GetJobLastError(store, 2);
    EXPECT_EQ(testing_support::ReadFile(stream), "stream");
}

// Delete of several rows logs each job, and Ctrl+Z in the list brings them back where they
// were; a Clear comes back the same way.
TEST(DesktopNoLostWork, DeleteAndClearAreUndone) {
    ProgramFolder folder;
    folder.WriteJobs(4);
    auto program = Started(folder);
    platform::Dialog& d = program->Window().Dialog();
    auto* list = Widget<QListView>(*program, kJobList);
    auto clickRow = [&](int row, Qt::KeyboardModifiers modifiers) {
        QTest::mouseClick(list->viewport(), Qt::LeftButton, modifiers,
                          list->visualRect(list->model()->index(row, 0)).center());
    };
    const std::vector<std::string> all = {"job 0", "job 1", "job 2", "job 3"};
    clickRow(1, {});
    clickRow(3, Qt::ControlModifier);
    QTest::keyClick(list, Qt::Key_Delete);
    ASSERT_EQ(ListedJobs(*program), (std::vector<std::string>{"job 0", "job 2"}));
    EXPECT_TRUE(LogHas(*program, "0 Deleted 2 jobs (Edit > Undo brings them back):"));
    EXPECT_TRUE(LogHas(*program, "0   Deleted job job 1"));
    EXPECT_TRUE(LogHas(*program, "0   Deleted job job 3"));

    // The Edit menu names what Undo would do.
    QAction* undo = MenuAction(*program, "E&dit", "&Undo");
    ASSERT_NE(undo, nullptr);
    auto* editMenu = qobject_cast<QMenu*>(undo->parent());
    ASSERT_NE(editMenu, nullptr);
    emit editMenu->aboutToShow();
    EXPECT_EQ(undo->text(), "&Undo Delete");
    emit editMenu->aboutToHide();
    QTest::keyClick(list, Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(ListedJobs(*program), all);
    EXPECT_EQ(jobs::JobCount(program->Store()), 4);
    EXPECT_TRUE(LogHas(*program, "0 Undo Delete: put back 2 jobs where they were."));
    // Once undone there is nothing left to undo.
    QTest::keyClick(list, Qt::Key_Z, Qt::ControlModifier);
    EXPECT_TRUE(LogHas(*program, "0 Nothing to undo."));
    EXPECT_EQ(ListedJobs(*program), all);

    QString seen;
    AnswerNextBox("Clear", &seen);
    QTest::mouseClick(Widget<QToolButton>(*program, kClear), Qt::LeftButton);
    EXPECT_EQ(seen.toStdString(),
              "Remove all 4 jobs from the Job List?\nEdit > Undo brings them back.");
    ASSERT_EQ(d.GetCount(kJobList), 0);
    undo->trigger();
    EXPECT_EQ(ListedJobs(*program), all);
    EXPECT_TRUE(LogHas(*program, "0 Undo Clear: put back 4 jobs where they were."));
}

TEST(DesktopNoLostWork, DeleteLogAsksFirst) {
    ProgramFolder folder;
    auto program = Started(folder);
    const std::string log = program->Log().FilePath();
    ASSERT_TRUE(testing_support::WriteFile(log, "kept\r\n"));
    QAction* deleteLog = MenuAction(*program, "&Utilities", "&Delete Log");
    ASSERT_NE(deleteLog, nullptr);
    QString seen;
    AnswerNextBox("Cancel", &seen);
    deleteLog->trigger();
    EXPECT_TRUE(seen.startsWith(QString::fromStdString("Delete the log file " + log)))
        << seen.toStdString();
    EXPECT_TRUE(std::filesystem::exists(log));
    AnswerNextBox("Delete", &seen);
    deleteLog->trigger();
    EXPECT_TRUE(LogHas(*program, "0 Log file deleted"));
}
