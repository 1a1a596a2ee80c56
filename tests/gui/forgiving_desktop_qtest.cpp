// The queue that forgives and explains, through real events in the X session: the question
// before an edit or the queue is lost, the wheel over fields without the focus, the standard
// keys, several rows at once, disabled commands that say why, openers that fail, and the
// end-of-queue notification.
#include "gui/job_list_delegate.h"
#include "gui/qt_tray.h"
#include "jobs/job_store.h"
#include "platform/control_ids.h"
#include "program_folder.h"
#include "store/paths.h"
#include "x_session.h"

#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QSystemTrayIcon>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <QWheelEvent>

#include <gtest/gtest.h>

#include <filesystem>

using namespace platform::main_window;
using gui_testing::AnswerNextBox;
using gui_testing::Has;
using gui_testing::kLong;
using gui_testing::LogRows;
using gui_testing::ProgramFolder;
using gui_testing::Started;
using gui_testing::Widget;

namespace {

QListView* JobList(gui::Program& program) {
    return Widget<QListView>(program, kJobList);
}

// Clicks row `row` of the job list, with `modifiers` (Ctrl adds to the selection).
void ClickRow(gui::Program& program, int row, Qt::KeyboardModifiers modifiers = {}) {
    QListView* list = JobList(program);
    QTest::mouseClick(list->viewport(), Qt::LeftButton, modifiers,
                      list->visualRect(list->model()->index(row, 0)).center());
}

// A real double click (through X) on row `row`: the job goes into the editor.
bool LoadRow(gui::Program& program, int row) {
    QListView* list = JobList(program);
    QPoint at = list->viewport()->mapTo(&program.Window(),
                                        list->visualRect(list->model()->index(row, 0)).center());
    gui_testing::ClickIn(program.Window().winId(), at, 1, 2);
    return QTest::qWaitFor(
        [&] { return program.Window().Dialog().IsEnabled(platform::main_window::kCancel); }, kLong);
}

// One real turn of the wheel (through X) over `widget`, up or down. (Qt does not pass wheel
// events that the program sends itself on to the parents, so only a real one can scroll.)
void WheelOver(QWidget* widget, bool up) {
    QWidget* window = widget->window();
    gui_testing::ClickIn(window->winId(), widget->mapTo(window, widget->rect().center()),
                         up ? 4 : 5);
}

} // namespace

TEST(DesktopForgiving, EscapeAndClearAskBeforeAnythingIsLost) {
    ProgramFolder folder;
    folder.WriteJobs(3);
    auto program = Started(folder);
    platform::Dialog& d = program->Window().Dialog();
    ASSERT_TRUE(LoadRow(*program, 1));
    ASSERT_EQ(d.GetText(kAddJob), "&Replace");
    auto* name = Widget<QLineEdit>(*program, kName);
    name->setFocus();
    name->end(false);
    QTest::keyClicks(name, " renamed");

    // Escape in the name field: the question, and Cancel keeps window and edit.
    QString seen;
    AnswerNextBox("Cancel", &seen);
    QTest::keyClick(name, Qt::Key_Escape);
    EXPECT_TRUE(seen.contains("job 1 renamed")) << seen.toStdString();
    EXPECT_FALSE(program->Window().Ended());
    EXPECT_EQ(name->text(), "job 1 renamed");

    // Space on the focused Clear button: the count is asked for, Cancel keeps every job.
    auto* clear = Widget<QToolButton>(*program, kClear);
    clear->setFocus();
    AnswerNextBox("Cancel", &seen);
    QTest::keyClick(clear, Qt::Key_Space);
    EXPECT_EQ(seen.toStdString(),
              "Remove all 3 jobs from the Job List?\nEdit > Undo brings them back.");
    EXPECT_EQ(d.GetCount(kJobList), 3);

    // Escape again, "Save as job": the changed job is stored, then the window ends.
    AnswerNextBox("Save as job", &seen);
    QTest::keyClick(name, Qt::Key_Escape);
    EXPECT_TRUE(program->Window().Ended());
    std::string stored;
    jobs::GetJobString(program->Store(), 1, jobs::kName, jobs::kWholeValue, stored);
    EXPECT_EQ(stored, "job 1 renamed");
}

TEST(DesktopForgiving, ClearRemovesAfterTheQuestionAndLogsIt) {
    ProgramFolder folder;
    folder.WriteJobs(2);
    {
        store::KeyStore s;
        ASSERT_TRUE(s.Open(folder.StorePath()));
        ASSERT_TRUE(s.WriteNumber(store::kHive, store::kRootPath, "LogDebugInfo", 1));
    }
    auto program = Started(folder);
    QString seen;
    AnswerNextBox("Clear", &seen);
    QTest::mouseClick(Widget<QToolButton>(*program, kClear), Qt::LeftButton);
    EXPECT_EQ(program->Window().Dialog().GetCount(kJobList), 0);
    EXPECT_EQ(jobs::JobCount(program->Store()), 0);
    EXPECT_TRUE(Has(LogRows(*program),
                    "0 Cleared the Job List: removed 2 jobs (Edit > Undo brings them back)."));
    EXPECT_TRUE(Has(LogRows(*program), "3   Removed job job 0"));
    EXPECT_TRUE(Has(LogRows(*program), "3   Removed job job 1"));
    // With no edit in the editor, Escape closes at once, as it always did.
    QTest::keyClick(&program->Window(), Qt::Key_Escape);
    EXPECT_TRUE(program->Window().Ended());
}

TEST(DesktopForgiving, TheWheelChangesOnlyTheFocusedField) {
    ProgramFolder folder;
    folder.WriteJobs(1);
    auto program = Started(folder);
    program->Window().resize(900, 480); // small enough for the editor to scroll
    platform::Dialog& d = program->Window().Dialog();
    ASSERT_TRUE(LoadRow(*program, 0));
    auto* quality = Widget<QLineEdit>(*program, kQuality);
    auto* templates = Widget<QComboBox>(*program, kTemplateList);
    ASSERT_TRUE(quality->isEnabled());
    d.SetText(kQuality, "16");
    Widget<QLineEdit>(*program, kName)->setFocus();
    ASSERT_TRUE(QTest::qWaitFor([&] { return Widget<QLineEdit>(*program, kName)->hasFocus(); }));
    QScrollArea* area = nullptr;
    for (QWidget* w = quality->parentWidget(); w && !area; w = w->parentWidget()) {
        area = qobject_cast<QScrollArea*>(w);
    }
    ASSERT_NE(area, nullptr);
    area->verticalScrollBar()->setValue(area->verticalScrollBar()->maximum());
    area->ensureWidgetVisible(quality);
    const int scrolled = area->verticalScrollBar()->value();
    ASSERT_GT(scrolled, 0);
    const int templateBefore = templates->currentIndex();
    WheelOver(quality, true);
    // The panel scrolls instead of the field.
    EXPECT_TRUE(
        QTest::qWaitFor([&] { return area->verticalScrollBar()->value() < scrolled; }, kLong));
    area->ensureWidgetVisible(templates);
    WheelOver(templates, false);

    // With the focus the field follows the wheel. The events come in order, so once this one
    // is seen the two before it have been handled: one step in all means they did nothing.
    quality->setFocus();
    ASSERT_TRUE(QTest::qWaitFor([&] { return quality->hasFocus(); }));
    // (Sent to the field itself: a real turn right after the scrolling ones still goes to the
    // widget that took the scrolling.)
    QPoint at = quality->rect().center();
    QWheelEvent turn(at, quality->mapToGlobal(at), QPoint(), QPoint(0, 120), Qt::NoButton,
                     Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(quality, &turn);
    EXPECT_TRUE(QTest::qWaitFor([&] { return d.GetText(kQuality) != "16"; }, kLong));
    EXPECT_EQ(d.GetText(kQuality), "17");
    EXPECT_EQ(templates->currentIndex(), templateBefore);
}

TEST(DesktopForgiving, StandardKeysAndSeveralRowsAtOnce) {
    ProgramFolder folder;
    folder.WriteJobs(4);
    // An opener first in PATH that cannot open anything.
    std::filesystem::create_directories(folder.Dir().File("bin"));
    std::string opener = folder.Dir().File("bin/xdg-open");
    ASSERT_TRUE(testing_support::WriteFile(opener, "#!/bin/sh\nexit 4\n"));
    std::filesystem::permissions(opener, std::filesystem::perms::owner_all);
    const QByteArray path = qgetenv("PATH");
    qputenv("PATH", QByteArray::fromStdString(folder.Dir().File("bin")) + ":" + path);
    auto program = Started(folder);
    platform::Dialog& d = program->Window().Dialog();
    int chosen = 0;
    program->Window().SetSourceChooser([&] {
        ++chosen;
        return std::string();
    });

    QTest::keyClick(&program->Window(), Qt::Key_N, Qt::ControlModifier);
    EXPECT_EQ(chosen, 1);

    // F1 with an opener that fails: the failure is shown, not swallowed.
    QString seen;
    AnswerNextBox("OK", &seen);
    QTest::keyClick(&program->Window(), Qt::Key_F1);
    EXPECT_TRUE(QTest::qWaitFor([&] { return !seen.isEmpty(); }, kLong));
    EXPECT_EQ(seen.toStdString(), "Failed to launch help.");
    qputenv("PATH", path);
    // The window manager gives the window back its activation after the box, in its own time:
    // until then a key reaches the list but not its shortcuts.
    ASSERT_TRUE(QTest::qWaitForWindowActive(&program->Window(), kLong));

    // Ctrl+click two rows, Delete: both go, the others stay in order.
    ClickRow(*program, 0);
    ClickRow(*program, 2, Qt::ControlModifier);
    EXPECT_EQ(d.GetSelectedRows(kJobList), (std::vector<int>{0, 2}));
    QTest::keyClick(JobList(*program), Qt::Key_Delete);
    ASSERT_EQ(d.GetCount(kJobList), 2);
    EXPECT_EQ(d.GetRowText(kJobList, 0), "job 1");
    EXPECT_EQ(d.GetRowText(kJobList, 1), "job 3");
    EXPECT_EQ(jobs::JobCount(program->Store()), 2);

    // Shift+F10 and the Menu key open the row menu at the current row.
    ClickRow(*program, 1);
    for (const auto& [key, modifier] :
         {std::pair{Qt::Key_F10, Qt::ShiftModifier}, std::pair{Qt::Key_Menu, Qt::NoModifier}}) {
        QTest::keyClick(JobList(*program), key, modifier);
        ASSERT_TRUE(
            QTest::qWaitFor([] { return QApplication::activePopupWidget() != nullptr; }, kLong));
        QTest::keyClick(QApplication::activePopupWidget(), Qt::Key_Escape);
        ASSERT_TRUE(
            QTest::qWaitFor([] { return QApplication::activePopupWidget() == nullptr; }, kLong));
    }

    // Ctrl+Q with nothing to lose: the window ends without a question.
    QTest::keyClick(&program->Window(), Qt::Key_Q, Qt::ControlModifier);
    EXPECT_TRUE(program->Window().Ended());
}

TEST(DesktopForgiving, DisabledCommandsSayWhy) {
    ProgramFolder folder;
    folder.WriteJobs(1);
    auto program = Started(folder);
    platform::Dialog& d = program->Window().Dialog();
    EXPECT_FALSE(d.IsEnabled(kStop));
    EXPECT_NE(d.GetToolTip(kStop).find("No run is in progress"), std::string::npos);
    EXPECT_FALSE(d.IsEnabled(kAddJob));
    auto* reason = program->Window().findChild<QLabel*>("addJobReason");
    ASSERT_NE(reason, nullptr);
    EXPECT_EQ(reason->text().toStdString(), "Choose a source with New Job first.");
    EXPECT_TRUE(reason->isVisible());
    // New Job and Add Job in sight on a small screen.
    program->Window().resize(1024, 560);
    ASSERT_TRUE(QTest::qWaitFor([&] { return program->Window().height() <= 600; }));
    for (int id : {kNewJob, kAddJob}) {
        QWidget* button = program->Window().Controls().Widget(id);
        QRect inWindow(button->mapTo(&program->Window(), QPoint()), button->size());
        EXPECT_TRUE(program->Window().rect().contains(inWindow)) << id;
        EXPECT_FALSE(button->visibleRegion().isEmpty()) << id;
    }

    // The tray's Stop Processing is off while idle.
    ASSERT_TRUE(program->Logic().OnMinimize());
    QMenu* menu = program->Tray().Menu();
    ASSERT_NE(menu, nullptr);
    program->Tray().ShowMenu();
    ASSERT_TRUE(QTest::qWaitFor([&] { return menu->isVisible(); }, kLong));
    EXPECT_FALSE(menu->actions().value(1)->isEnabled());
    menu->close();
    EXPECT_TRUE(program->Logic().RestoreFromTray());
}

TEST(DesktopForgiving, TheNotificationPointsAtTheIconAndItsClickBringsTheWindowBack) {
    ProgramFolder folder;
    auto program = Started(folder);
    ASSERT_TRUE(program->Logic().OnMinimize());
    ASSERT_TRUE(QTest::qWaitFor([&] { return !program->Window().isVisible(); }, kLong));
    QSystemTrayIcon* icon = program->Tray().Icon();
    ASSERT_NE(icon, nullptr);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !icon->geometry().isEmpty(); }, kLong));

    program->Logic().OnQueueFinished(2, 1);
    QWidget* balloon = nullptr;
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            for (QWidget* w : QApplication::topLevelWidgets()) {
                if (w->isVisible() && QByteArray(w->metaObject()->className()) == "QBalloonTip") {
                    balloon = w;
                }
            }
            return balloon != nullptr;
        },
        kLong));
    // Beside the icon, not in a corner of the screen.
    QRect near = icon->geometry().adjusted(-400, -400, 400, 400);
    EXPECT_TRUE(near.intersects(balloon->geometry()))
        << balloon->geometry().x() << "," << balloon->geometry().y();
    // The balloon takes a press as the click (and closes on it).
    QTest::mousePress(balloon, Qt::LeftButton, {}, balloon->rect().center());
    EXPECT_TRUE(QTest::qWaitFor([&] { return program->Window().isVisible(); }, kLong));
    EXPECT_FALSE(program->Logic().m_InTray);
}

TEST(DesktopForgiving, ALongListKeepsItsRowsAcrossPagesThroughKeysSelectionResetAndDelete) {
    // More rows than one page of the list's store reads, with complete jobs to reset.
    ProgramFolder folder;
    folder.WriteJobs(200);
    {
        store::KeyStore s;
        ASSERT_TRUE(s.Open(folder.StorePath()));
        for (int row : {62, 63, 64, 65}) {
            ASSERT_TRUE(jobs::SetJobString(s, row, jobs::kStatus, jobs::kStatusComplete));
        }
    }
    auto program = Started(folder);
    platform::Dialog& d = program->Window().Dialog();
    QListView* list = JobList(*program);
    ASSERT_EQ(d.GetCount(kJobList), 200);

    // End goes to the last row, read from its own page; the rows about a page edge are right.
    ClickRow(*program, 0);
    EXPECT_TRUE(d.IsOnlySelectedRow(kJobList, 0));
    QTest::keyClick(list, Qt::Key_End);
    EXPECT_EQ(d.GetSelection(kJobList), 199);
    EXPECT_TRUE(d.IsOnlySelectedRow(kJobList, 199));
    EXPECT_FALSE(d.IsOnlySelectedRow(kJobList, 0));
    EXPECT_TRUE(list->viewport()->rect().intersects(list->visualRect(list->currentIndex())));
    for (int row : {0, 63, 64, 127, 128, 199}) {
        EXPECT_EQ(d.GetRowText(kJobList, row), "job " + std::to_string(row));
    }

    // Rows 62 to 65 (across the edge) by Shift+Down; Reset makes all four pending.
    d.SetSelection(kJobList, 62);
    list->setCurrentIndex(list->model()->index(62, 0));
    for (int k = 0; k < 3; ++k) {
        QTest::keyClick(list, Qt::Key_Down, Qt::ShiftModifier);
    }
    ASSERT_EQ(d.GetSelectedRows(kJobList), (std::vector<int>{62, 63, 64, 65}));
    EXPECT_FALSE(d.IsOnlySelectedRow(kJobList, 62));
    QTest::mouseClick(Widget<QToolButton>(*program, kReset), Qt::LeftButton);
    for (int row : {62, 63, 64, 65}) {
        EXPECT_EQ(d.GetRowImage(kJobList, row), jobs::kImagePending) << row;
        EXPECT_EQ(list->model()->index(row, 0).data(gui::kJobDetailsRole).toString().left(9),
                  "Pending  ")
            << row;
    }
    EXPECT_EQ(d.GetSelectedRows(kJobList), (std::vector<int>{62, 63, 64, 65}));

    // Move Down moves the block past job 66, store and rows alike, and keeps it selected; Move
    // Up brings it back.
    QTest::mouseClick(Widget<QToolButton>(*program, kMoveDown), Qt::LeftButton);
    EXPECT_EQ(d.GetSelectedRows(kJobList), (std::vector<int>{63, 64, 65, 66}));
    for (int row : {61, 62, 63, 66, 67}) {
        const int job = row == 62 ? 66 : row > 62 && row <= 66 ? row - 1 : row;
        EXPECT_EQ(d.GetRowText(kJobList, row), "job " + std::to_string(job)) << row;
        std::string stored;
        jobs::GetJobString(program->Store(), row, jobs::kName, jobs::kWholeValue, stored);
        EXPECT_EQ(stored, "job " + std::to_string(job)) << row;
    }
    QTest::mouseClick(Widget<QToolButton>(*program, kMoveUp), Qt::LeftButton);
    EXPECT_EQ(d.GetSelectedRows(kJobList), (std::vector<int>{62, 63, 64, 65}));
    EXPECT_EQ(d.GetRowText(kJobList, 66), "job 66");

    // Delete takes the four from list and store; the rows after them move up in order.
    QTest::keyClick(list, Qt::Key_Delete);
    ASSERT_EQ(d.GetCount(kJobList), 196);
    EXPECT_EQ(jobs::JobCount(program->Store()), 196);
    for (int row : {61, 62, 63, 64, 195}) {
        std::string expected = "job " + std::to_string(row < 62 ? row : row + 4);
        EXPECT_EQ(d.GetRowText(kJobList, row), expected);
        std::string stored;
        jobs::GetJobString(program->Store(), row, jobs::kName, jobs::kWholeValue, stored);
        EXPECT_EQ(stored, expected);
    }
}
